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

QByteArray withCodecs(const QVector<Codec> &codecs)
{
    RomFixture fixture = RomFixture::ocarinaLike();
    fixture.storeWith(codecs);
    return fixture.build();
}

// ROMs of the hack compressor: each codec, one of each mixed, a damaged magic over a Yaz0 file,
// and each codec's stream cut short (its entry ending 10 bytes into the stream).
QVector<Case> hackCodecCases()
{
    QVector<Case> cases;
    const QVector<Codec> hacks {Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib};
    for (const Codec codec : hacks) {
        const QString name = CodecFile::displayName(codec);
        Case files = found(QStringLiteral("%1 files").arg(name), withCodecs({codec}));
        files.codec = CodecFile::name(codec);
        cases << files;

        QByteArray cut = files.rom;
        const quint32 start = wordAt(cut, ocarinaTable + 16 * 3 + 8);
        setEntryWord(cut, 3, 3, start + CodecFile::hackHeaderSize + 10);
        Case corrupt
            = found(QStringLiteral("%1 stream cut short").arg(CodecFile::withArticle(codec)), cut);
        corrupt.codec = files.codec;
        corrupt.refusal = Refusal::Files;
        corrupt.refusalText = QStringLiteral("%1 stream that").arg(name);
        cases << corrupt;
    }
    Case mixed = found(QStringLiteral("a mixed-codec ROM"),
        withCodecs({Codec::Yaz0, Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib}));
    mixed.codec = QStringLiteral("mixed");
    cases << mixed;

    QByteArray odd = RomFixture::ocarinaLike().build();
    odd.replace(int(wordAt(odd, ocarinaTable + 16 * 3 + 8)), 4, "ZX70");
    cases << found(QStringLiteral("a magic that is not Yaz0's"), odd,
        {QStringLiteral("Entry 3 of the file table at 0x00007430 starts with 'ZX70', not 'Yaz0': "
                        "decoded as Yaz0")});
    return cases;
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
    none.codec.clear();
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
    deflate.codec = QStringLiteral("deflate");
    cases << deflate;

    Case decompressed = found(QStringLiteral("already decompressed"),
        RomFixture::ocarinaLike().expectedOutput(), {QStringLiteral("already decompressed")});
    decompressed.codec.clear();
    cases << decompressed;

    cases << hackCodecCases();
    return cases;
}

// A decompressed ROM whose table's own entry (4) comes after entries that lie far after it in the
// image, as in ROMs whose table is not among the first files: packed one after another in table
// order, those files would push the table away from where decompressing reads it.
QByteArray tableAfterStoredEntries()
{
    QByteArray rom(0x200000, '\0');
    rom.replace(0, 0x1060, RomFixture::ocarinaLike().build().left(0x1060));
    const qint32 table = 0x7430;
    rom.replace(0x7400, 6, "zelda@");
    struct Entry
    {
        qint32 start;
        qint32 end;
    };
    const Entry entries[] = {{0, 0x1060}, {0x100000, 0x110000}, {0x110000, 0x118000},
        {0x118000, 0x120000}, {0x7000, 0x7600}, {0x120000, 0x128000}};
    for (int i = 0; i < 6; ++i) {
        const Entry &e = entries[i];
        if (i != 0 && i != 4) {
            rom.replace(
                e.start, e.end - e.start, RomFixture::codeLike(e.end - e.start, quint32(40 + i)));
        }
        putWord(rom, table + 16 * i, quint32(e.start));
        putWord(rom, table + 16 * i + 4, quint32(e.end));
        putWord(rom, table + 16 * i + 8, quint32(e.start));
        putWord(rom, table + 16 * i + 12, 0);
    }
    return rom;
}

CompressionCase compressionCase(const QString &name, const QByteArray &rom,
    const QByteArray &original, const QString &reason = QString(), bool aboutOriginal = false)
{
    CompressionCase c;
    c.name = name;
    c.rom = rom;
    c.original = original;
    c.refused = !reason.isEmpty();
    c.reason = reason;
    c.aboutOriginal = aboutOriginal;
    return c;
}

QVector<CompressionCase> buildCompressionCases()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    fixture.storeLikeAnOriginal();
    const QByteArray original = fixture.build();
    const QByteArray decompressed = fixture.expectedOutput();
    RomFixture deflateFixture = RomFixture::ocarinaLike();
    deflateFixture.storeWithDeflate();
    const QByteArray deflate = deflateFixture.build();

    // Its last file decodes past the end of the compressed ROM, which a table's virtual ranges
    // would call cut off: the ROM being still compressed must be what is said.
    RomFixture grown = RomFixture::ocarinaLike();
    grown.addFile(RomFixture::sparse(0x180000, 9), RomFixture::Storage::Compressed);
    grown.storeLikeAnOriginal();
    const QByteArray grownOriginal = grown.build();

    QVector<CompressionCase> cases;
    cases << compressionCase(QStringLiteral("like the original"), decompressed, original);
    cases << compressionCase(QStringLiteral("a still-compressed ROM"), grownOriginal, grownOriginal,
        QStringLiteral("This ROM is still compressed (entry 3 of the file table at 0x00007430 is "
                       "a Yaz0 file): decompress it first"));
    cases << compressionCase(QStringLiteral("a decompressed original"), decompressed, decompressed,
        QStringLiteral("has no compressed file: it is no compressed ROM"), true);
    cases << compressionCase(QStringLiteral("a DEFLATE original"), deflateFixture.expectedOutput(),
        deflate, QStringLiteral("stores its files with DEFLATE (iQue Player)"), true);
    cases << compressionCase(QStringLiteral("a ROM cut inside its table"),
        decompressed.left(0x7430 + 3 * 16), original,
        QStringLiteral("without its end mark: the ROM is cut off inside its table, after 3 "
                       "entries"));
    CompressionCase packed = compressionCase(
        QStringLiteral("packed, a table after stored entries"), tableAfterStoredEntries(), {});
    packed.ranges = QStringLiteral("1-3,5-END");
    cases << packed;

    for (const QVector<Codec> &codecs :
        {QVector<Codec> {Codec::Ucl}, QVector<Codec> {Codec::Lzo, Codec::Aplib, Codec::Zlib}}) {
        RomFixture hack = RomFixture::ocarinaLike();
        hack.storeLikeAnOriginal();
        hack.storeWith(codecs);
        CompressionCase like = compressionCase(codecs.size() == 1
                ? QStringLiteral("like a UCL original")
                : QStringLiteral("like an original of LZO, aPLib and zlib files"),
            hack.expectedOutput(), hack.build());
        like.identical = true;
        cases << like;
    }
    CompressionCase aplib
        = compressionCase(QStringLiteral("packed, in aPLib"), decompressed, QByteArray());
    aplib.ranges = QStringLiteral("3-END");
    aplib.codec = QStringLiteral("aplib");
    cases << aplib;
    CompressionCase small
        = compressionCase(QStringLiteral("a size the files do not fit"), grown.expectedOutput(),
            QByteArray(), QStringLiteral("The files need 1.6 MiB; 1 MiB asked"));
    small.ranges = QStringLiteral("3-3");
    small.megabytes = 1;
    cases << small;
    return cases;
}

} // namespace

const QVector<CompressionCase> &compressionCases()
{
    static const QVector<CompressionCase> cases = buildCompressionCases();
    return cases;
}

void addCompressionRows(bool withPacked)
{
    QTest::addColumn<int>("index");
    const QVector<CompressionCase> &cases = compressionCases();
    for (int i = 0; i < cases.size(); ++i) {
        const CompressionCase &c = cases.at(i);
        if (withPacked || (!c.original.isEmpty() && c.codec.isEmpty() && c.megabytes == 0))
            QTest::newRow(qPrintable(cases.at(i).name)) << i;
    }
}

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
