#include "plancases.h"

#include "romfixture.h"

#include <QCryptographicHash>
#include <QtTest>

namespace PlanCases {

namespace {

constexpr qint32 ocarinaTable = 0x7430;

QByteArray withoutBuildString(QByteArray rom)
{
    const int at = rom.indexOf("zelda@");
    rom.replace(at, 6, QByteArray(6, '\0'));
    return rom;
}

QByteArray md5(const QByteArray &rom)
{
    return QCryptographicHash::hash(rom, QCryptographicHash::Md5).toHex();
}

// An Ocarina-like ROM with many more files, so that cutting it leaves many past its end.
QByteArray longOcarinaLike()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    for (int i = 0; i < 300; ++i) {
        fixture.addFile(RomFixture::codeLike(700 + 37 * i, quint32(i)),
            i % 3 ? RomFixture::Storage::Compressed : RomFixture::Storage::Plain);
    }
    return fixture.build();
}

Case found(const QString &name, const QByteArray &rom, const QStringList &warnings = {})
{
    Case c;
    c.name = name;
    c.rom = rom;
    c.tableAddress = ocarinaTable;
    c.warnings = warnings;
    return c;
}

void setEntryWord(QByteArray &rom, int entry, int word, quint32 value)
{
    putWord(rom, ocarinaTable + 16 * entry + 4 * word, value);
}

QVector<Case> build()
{
    const QByteArray rom = RomFixture::ocarinaLike().build();
    QVector<Case> cases;
    cases << found(QStringLiteral("the build string's table"), rom);

    Case given
        = found(QStringLiteral("no build string, the address given"), withoutBuildString(rom));
    given.addressGiven = true;
    given.address = ocarinaTable;
    cases << given;

    Case none = found(QStringLiteral("no build string, no known dump"), withoutBuildString(rom));
    none.refusal = Refusal::NoTableFound;
    cases << none;

    Case known = found(QStringLiteral("no build string, a known dump"), withoutBuildString(rom));
    known.knownDumpMd5 = md5(known.rom);
    known.knownDumpAddress = ocarinaTable;
    known.knownDumpUsed = true;
    cases << known;

    Case both = found(QStringLiteral("the build string's table wins over a known dump's"), rom);
    both.knownDumpMd5 = md5(rom);
    both.knownDumpAddress = 0x7950;
    cases << both;

    QByteArray firstEntry = rom;
    setEntryWord(firstEntry, 0, 1, 0x2000);
    Case unexpected = found(QStringLiteral("a table that does not start as one"), firstEntry);
    unexpected.refusal = Refusal::FirstEntry;
    cases << unexpected;

    QByteArray negative = rom;
    setEntryWord(negative, 3, 2, 0x80000000);
    Case broken = found(QStringLiteral("an entry with a negative address"), negative);
    broken.refusal = Refusal::Files;
    cases << broken;

    const QByteArray longRom = longOcarinaLike();
    for (const int kept : {50936, 200000, 700000, 1000000}) {
        cases << found(QStringLiteral("cut off after %1 bytes").arg(kept), longRom.left(kept),
            {QStringLiteral("files lie past the end of the ROM, which is %1 bytes long (it looks "
                            "cut off)")
                    .arg(kept)});
    }

    QByteArray cutShort = rom;
    RomFixture fixture = RomFixture::ocarinaLike();
    fixture.build();
    setEntryWord(cutShort, 3, 3, quint32(fixture.entries().at(3).physicalEnd - 64));
    cases << found(QStringLiteral("a Yaz0 file cut short"), cutShort,
        {QStringLiteral("Entry 3 of the file table at 0x00007430 is a Yaz0 file whose data ends")});

    RomFixture deflateFixture = RomFixture::ocarinaLike();
    deflateFixture.storeWithDeflate();
    Case deflate = found(QStringLiteral("DEFLATE files"), deflateFixture.build());
    deflate.deflate = true;
    cases << deflate;

    cases << found(QStringLiteral("already decompressed"),
        RomFixture::ocarinaLike().expectedOutput(), {QStringLiteral("already decompressed")});
    return cases;
}

} // namespace

const QVector<Case> &all()
{
    static const QVector<Case> cases = build();
    return cases;
}

void addFrontEndRows()
{
    QTest::addColumn<int>("index");
    const QVector<Case> &cases = all();
    for (int i = 0; i < cases.size(); ++i) {
        if (cases.at(i).knownDumpMd5.isEmpty() && !cases.at(i).addressGiven)
            QTest::newRow(qPrintable(cases.at(i).name)) << i;
    }
}

} // namespace PlanCases
