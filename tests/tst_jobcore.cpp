// The job's steps that every front end shares: strict address reading, game names, the bound on
// table length, reading and writing files that are not what they seem, and what a ROM is.
#include "checksumrepair.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "knowndumps.h"
#include "outputfile.h"
#include "outputfilesystem.h"
#include "plancases.h"
#include "romfile.h"
#include "romfixture.h"
#include "rominfo.h"
#include "romjob.h"
#include "romplan.h"
#include "zeropagedimage.h"

#include <QCryptographicHash>

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(NotRomReason)
Q_DECLARE_METATYPE(DecompressionPass::Codec)

class TestJobCore : public QObject
{
    Q_OBJECT

private slots:
    void readsAddressTextStrictly_data();
    void readsAddressTextStrictly();
    void findsGamesByName_data();
    void findsGamesByName();
    void refusesTablesLongerThanAnyGames();
    void stopsReadingAStreamPastTheLimit();
    void refusesAFifoAsOutputAtOnce();
    void writesToACharacterDeviceDirectly();
    void anUnseenWriteShowsOnlyWhenPlaced_data();
    void anUnseenWriteShowsOnlyWhenPlaced();
    void outputKeepsItsPromises_data();
    void outputKeepsItsPromises();
    void tellsWhatARomIs_data();
    void tellsWhatARomIs();
    void planDecides_data();
    void planDecides();
    void recognisesKnownDumps_data();
    void recognisesKnownDumps();
    void refusesAKnownDeflateDumpWithBadStreams();
    void refusesANonRomFromItsFirstBytes_data();
    void refusesANonRomFromItsFirstBytes();
    void readsAnyLengthOnlyInBigEndianAndWhenAsked_data();
    void readsAnyLengthOnlyInBigEndianAndWhenAsked();
    void namesAStreamCutShort_data();
    void namesAStreamCutShort();
    void namesACutOffRom_data();
    void namesACutOffRom();
    void everyCodecGivesTheYaz0RomsImage_data();
    void everyCodecGivesTheYaz0RomsImage();
    void refusesBrokenDeflateFiles_data();
    void refusesBrokenDeflateFiles();
    void jobAnswersToItsObserver_data();
    void jobAnswersToItsObserver();
};

void TestJobCore::readsAddressTextStrictly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("address");
    QTest::newRow("hex") << "0x00007430" << true << 0x7430;
    QTest::newRow("upper-case X") << "0X7430" << true << 0x7430;
    QTest::newRow("spaces around") << " 0x7430 " << true << 0x7430;
    QTest::newRow("decimal") << "29744" << true << 0x7430;
    QTest::newRow("largest") << "0x7FFFFFFF" << true << 0x7FFFFFFF;
    QTest::newRow("not hex") << "zz" << false << 0;
    QTest::newRow("prefix only") << "0x" << false << 0;
    QTest::newRow("more than 32 bits") << "0xFFFFFFFFF" << false << 0;
    QTest::newRow("negative as hex") << "0x80000000" << false << 0;
    QTest::newRow("negative") << "-16" << false << 0;
    QTest::newRow("plus sign") << "+16" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("space inside") << "0x74 30" << false << 0;
}

void TestJobCore::readsAddressTextStrictly()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, address);
    qint32 read = -1;
    QCOMPARE(FileTable::readAddressText(text, &read), valid);
    if (valid)
        QCOMPARE(read, address);
}

void TestJobCore::findsGamesByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("address"); // -1: refused
    QTest::newRow("whole name, any case") << "majora's mask ntsc-u" << 0x1A500;
    QTest::newRow("unique prefix") << "ocarina of time ntsc 1.2" << 0x7960;
    QTest::newRow("short unique prefix") << "doubutsu" << 0x19D40;
    QTest::newRow("ambiguous prefix") << "Majora" << -1;
    QTest::newRow("no such game") << "Zelda" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestJobCore::findsGamesByName()
{
    QFETCH(QString, name);
    QFETCH(int, address);
    QString error;
    const int index = GamePresets::indexForName(name, &error);
    if (address < 0) {
        QCOMPARE(index, -1);
        QVERIFY(!error.isEmpty());
    } else {
        QVERIFY2(index > 0, qPrintable(error));
        QCOMPARE(GamePresets::at(index).fileTableAddress, address);
    }
}

// Entries of empty files pass every other check; only the bound stops such a table.
void TestJobCore::refusesTablesLongerThanAnyGames()
{
    const qint32 address = 0x100;
    const int entries = FileTable::maxFiles + 100;
    QByteArray rom(address + FileTable::entrySize * (entries + 1), '\0');
    rom.replace(0, 4, QByteArray::fromHex("80371240"));
    for (int i = 0; i < entries; ++i) {
        putWord(rom, address + FileTable::entrySize * i, 0x1000);
        putWord(rom, address + FileTable::entrySize * i + 4, 0x1000);
    }

    QCOMPARE(FileTable::read(rom, address).size(), FileTable::maxFiles + 1);
    const RomPlan::Plan plan = RomPlan::prepare(rom, RomPlan::TableChoice::at(address, false));
    QVERIFY2(plan.refusal.text.contains("more than 65536 files"), qPrintable(plan.refusal.text));
    QVERIFY(plan.files.isEmpty());
}

// Files under /proc report a size of 0 and then stream their content.
void TestJobCore::stopsReadingAStreamPastTheLimit()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QFile::ReadOnly) || file.size() != 0)
        QSKIP("needs a /proc file that reports no size");
    const RomFile::Contents contents = RomFile::readOpened(file, 64);
    QVERIFY(!contents.ok());
    QVERIFY2(contents.error.contains("more than the 64 bytes"), qPrintable(contents.error));
    QCOMPARE(file.pos(), qint64(65));
}

void TestJobCore::refusesAFifoAsOutputAtOnce()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    OutputFile output(fifo);
    // Opening a FIFO for writing would block here until a reader came.
    QCOMPARE(output.open(),
        QStringLiteral("It is neither a regular file nor a device such as /dev/null"));
}

void TestJobCore::writesToACharacterDeviceDirectly()
{
    OutputFile output(QStringLiteral("/dev/null"));
    QCOMPARE(output.open(), QString());
    QCOMPARE(output.write(QByteArray(4096, 'x')), QString());
    QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
}

// The way back writes its image while it checks it; an image that fails the check must leave no
// trace, and an existing file must stay as it was.
void TestJobCore::anUnseenWriteShowsOnlyWhenPlaced_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("placed");
    QTest::newRow("new file, placed") << false << true;
    QTest::newRow("new file, dropped") << false << false;
    QTest::newRow("over a file, placed") << true << true;
    QTest::newRow("over a file, dropped") << true << false;
}

void TestJobCore::anUnseenWriteShowsOnlyWhenPlaced()
{
    QFETCH(bool, existing);
    QFETCH(bool, placed);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.z64");
    if (existing) {
        QFile old(path);
        QVERIFY(old.open(QFile::WriteOnly) && old.write("old") == 3);
    }
    const QByteArray image(1 << 20, 'n');
    {
        OutputFile output(path);
        QCOMPARE(output.open(), QString());
        QVERIFY(output.writesUnseen());
        QCOMPARE(output.writeUnseen(image.constData(), image.size()), QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            existing ? QStringList {"out.z64"} : QStringList());
        if (placed)
            QCOMPARE(output.place(), QString());
    }
    QFile result(path);
    QCOMPARE(result.exists(), existing || placed);
    if (result.exists()) {
        QVERIFY(result.open(QFile::ReadOnly));
        QCOMPARE(result.readAll(), placed ? image : QByteArray("old"));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), int(result.exists()));
}

// Writing a file is never seen half-done: a program stopped by a signal at any moment leaves the
// target as it was and no other file, and with Keep a file that appears meanwhile is kept. Both
// the Linux ways (a file without a name) and the portable ones (a named temporary file, link and
// rename) must keep these promises. A stop is made in a child process, which the signal ends.
void TestJobCore::outputKeepsItsPromises_data()
{
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("event"); // what happens while the output is written
    QTest::addColumn<bool>("keep"); // Existing::Keep rather than Replace
    QTest::addColumn<QByteArray>("result"); // what the target holds afterwards
    for (const bool portable : {false, true}) {
        const char *ways = portable ? "portable" : "Linux";
        QTest::addRow("%s: stopped while writing", ways)
            << portable << "stop writing" << false << QByteArray("old");
        QTest::addRow("%s: stopped before the rename", ways)
            << portable << "stop renaming" << false << QByteArray("old");
        QTest::addRow("%s: replaced", ways) << portable << "none" << false << QByteArray("new");
        QTest::addRow("%s: a file appears, kept", ways)
            << portable << "appears" << true << QByteArray("other");
    }
}

void TestJobCore::outputKeepsItsPromises()
{
    QFETCH(bool, portable);
    QFETCH(QString, event);
    QFETCH(bool, keep);
    QFETCH(QByteArray, result);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.z64");
    const auto writeFile = [&path](const QByteArray &bytes) {
        QFile file(path);
        return file.open(QFile::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (!keep)
        QVERIFY(writeFile("old"));
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGTERM, SIG_DFL); // not the test framework's handler, which reports a crash
        OutputFileSystem::usePortableOnly(portable);
        if (event == "stop renaming")
            OutputFileSystem::PendingName::beforeRename = [] { std::raise(SIGTERM); };
        const QByteArray image("new");
        OutputFile output(path, keep ? OutputFile::Existing::Keep : OutputFile::Existing::Replace);
        bool done = output.open().isEmpty() && output.writeUnseen(image.constData(), 3).isEmpty();
        if (event == "stop writing")
            std::raise(SIGTERM);
        if (event == "appears")
            done = writeFile("other") && !output.place().isEmpty() && output.metExistingFile();
        else
            done = done && output.place().isEmpty();
        ::_exit(done ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    const bool stopped = event.startsWith("stop");
    QVERIFY(stopped ? WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM
                    : WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"out.z64"});
    QFile target(path);
    QVERIFY(target.open(QFile::ReadOnly));
    QCOMPARE(target.readAll(), result);
}

void TestJobCore::tellsWhatARomIs_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<bool>("decompressed");
    QTest::addColumn<bool>("brokenChecksum");
    QTest::newRow("z64") << "z64" << false << false;
    QTest::newRow("n64, broken checksum") << "n64" << false << true;
    QTest::newRow("an output of the pass") << "z64" << true << false;
}

void TestJobCore::tellsWhatARomIs()
{
    QFETCH(QString, order);
    QFETCH(bool, decompressed);
    QFETCH(bool, brokenChecksum);
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = decompressed ? fixture.expectedOutput() : fixture.build();
    HeaderChecksums::repair(rom);
    if (brokenChecksum)
        putWord(rom, 20, wordAt(rom, 20) ^ 1);
    if (order == "n64")
        rom = RomFixture::toN64(rom);

    const RomInfo::Facts facts = RomInfo::inspect(rom);
    QCOMPARE(facts.order, order == "n64" ? ByteOrder::N64 : ByteOrder::Z64);
    QCOMPARE(facts.title, QStringLiteral("TIDEPOOL FIX"));
    QCOMPARE(facts.gameCode, QStringLiteral("CZLE"));
    QCOMPARE(RomInfo::regionName(facts.region), QStringLiteral("North America"));
    QCOMPARE(facts.preset, QStringLiteral("Ocarina of Time NTSC 1.0 & 1.1"));
    QCOMPARE(facts.tableAddress, 0x7430);
    QCOMPARE(facts.checksums.chip, 6105);
    QVERIFY(facts.checksums.good(0));
    QCOMPARE(facts.checksums.good(1), !brokenChecksum);
    QCOMPARE(facts.files, fixture.entries().size());
    QCOMPARE(facts.alreadyDecompressed, decompressed);
    QCOMPARE(facts.compressedFiles == 0, decompressed);
    QVERIFY(facts.tableProblem.isEmpty());
}

void TestJobCore::planDecides_data()
{
    QTest::addColumn<int>("index");
    const QVector<PlanCases::Case> &cases = PlanCases::all();
    for (int i = 0; i < cases.size(); ++i)
        QTest::newRow(qPrintable(cases.at(i).name)) << i;
}

void TestJobCore::planDecides()
{
    QFETCH(int, index);
    const PlanCases::Case &c = PlanCases::all().at(index);
    const KnownDumps::Dump dump {
        "Test Dump", c.knownDumpMd5.constData(), c.knownDumpAddress, KnownDumps::Compression::Yaz0};
    const KnownDumps::Table dumps {&dump, c.knownDumpMd5.isEmpty() ? 0 : 1};
    const RomPlan::TableChoice choice
        = c.addressGiven ? RomPlan::TableChoice::at(c.address, true) : RomPlan::TableChoice();
    RomPlan::Options options;
    options.walkStreams = true;
    const RomPlan::Plan plan
        = RomPlan::prepare(c.rom, choice, RomPlan::lookUpOnce(c.rom, dumps), options);

    const QMap<Refusal::Kind, PlanCases::Refusal> kinds {
        {Refusal::Kind::None, PlanCases::Refusal::None},
        {Refusal::Kind::NoTableFound, PlanCases::Refusal::NoTableFound},
        {Refusal::Kind::FirstEntry, PlanCases::Refusal::FirstEntry},
        {Refusal::Kind::Table, PlanCases::Refusal::Files}};
    QVERIFY2(kinds.value(plan.refusal.kind) == c.refusal, qPrintable(plan.refusal.text));
    QCOMPARE(plan.ok(), c.refusal == PlanCases::Refusal::None);
    if (c.refusal != PlanCases::Refusal::NoTableFound)
        QCOMPARE(plan.address, c.tableAddress);
    QCOMPARE(!plan.knownDump.isEmpty(), c.knownDumpUsed);
    if (c.refusal == PlanCases::Refusal::None) {
        const QMap<Codec, int> codecs = RomPlan::filesByCodec(plan.files, plan.codecs);
        QCOMPARE(codecs.size() > 1 ? QStringLiteral("mixed")
                : codecs.isEmpty() ? QString()
                                   : CodecFile::name(codecs.firstKey()),
            c.codec);
    }
    if (!c.refusalText.isEmpty())
        QVERIFY2(plan.refusal.text.contains(c.refusalText), qPrintable(plan.refusal.text));
    QCOMPARE(plan.warnings.size(), c.warnings.size());
    for (int i = 0; i < c.warnings.size(); ++i)
        QVERIFY2(plan.warnings.at(i).contains(c.warnings.at(i)), qPrintable(plan.warnings.at(i)));
}

void TestJobCore::recognisesKnownDumps_data()
{
    QTest::addColumn<bool>("changed"); // one byte off: a hack or a bad dump
    QTest::addColumn<QString>("order");
    QTest::newRow("the dump, z64") << false << "z64";
    QTest::newRow("the dump, v64") << false << "v64";
    QTest::newRow("one byte changed") << true << "z64";
}

// The dump is named whatever its table; where the table is, the plan's cases say.
void TestJobCore::recognisesKnownDumps()
{
    QFETCH(bool, changed);
    QFETCH(QString, order);
    const QByteArray rom = RomFixture::ocarinaLike().build();
    const QByteArray md5 = QCryptographicHash::hash(rom, QCryptographicHash::Md5).toHex();
    const QByteArray listed = "0123456789abcdef0123456789abcdef," + md5;
    const KnownDumps::Dump dumps[]
        = {{"Test Dump (Europe)", listed.constData(), 0x7950, KnownDumps::Compression::Yaz0}};
    QByteArray given = rom;
    if (changed)
        given[0x2000] = char(given.at(0x2000) ^ 1);
    if (order == "v64")
        given = RomFixture::toV64(given);

    const RomInfo::Facts facts = RomInfo::inspect(given, {dumps, 1});
    QCOMPARE(facts.knownDump != nullptr, !changed);
    QCOMPARE(facts.buildStringAddress, 0x7430);
    QCOMPARE(facts.tableAddress, 0x7430);
    QCOMPARE(RomInfo::summary(facts).value(1),
        changed ? QStringLiteral("Not a known original dump (modified, a hack, or a bad dump)")
                : QStringLiteral("Known dump: Test Dump (Europe)"));
}

void TestJobCore::refusesAKnownDeflateDumpWithBadStreams()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    for (const RomFixture::File &file : fixture.entries()) {
        if (file.storage == RomFixture::Storage::Compressed)
            rom.replace(file.physicalStart, 4, "\x78\x9c\x01\x02"); // not "Yaz0"
    }
    const QByteArray md5 = QCryptographicHash::hash(rom, QCryptographicHash::Md5).toHex();
    const KnownDumps::Dump dumps[]
        = {{"Test Player (China)", md5.constData(), 0x7430, KnownDumps::Compression::Deflate}};
    QTemporaryDir dir;
    QFile file(dir.filePath("ique.z64"));
    QVERIFY(file.open(QFile::WriteOnly) && file.write(rom) == rom.size());
    file.close();

    RomJob::Request request;
    request.romPath = file.fileName();
    request.outputPath = dir.filePath("out.z64");
    const RomJob::Result result = RomJob::decompressFile(request, {}, {dumps, 1});
    // The known dump says DEFLATE, and these streams are none: the first is named.
    QVERIFY2(result.refusal.text.contains("is a DEFLATE stream that is corrupt or ends early"),
        qPrintable(result.refusal.text));
    QVERIFY(!QFile::exists(request.outputPath));
}

void TestJobCore::refusesANonRomFromItsFirstBytes_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<NotRomReason>("reason");
    QTest::addColumn<QString>("text");
    const QByteArray z64 = QByteArray::fromHex("803712400000000F");
    QTest::newRow("1 GiB of zeros")
        << QByteArray() << (qint64(1) << 30) << NotRomReason::NoSignature
        << "This is not a ROM: its first bytes are not those of a z64, "
           "v64 or n64 ROM";
    QTest::newRow("a ROM's start, odd length")
        << z64 << qint64(3356162) << NotRomReason::LengthNotMultipleOf4
        << "This is not a ROM: its length, 3,356,162 bytes, is not a multiple of 4";
}

// A large file that cannot be a ROM is refused after its first bytes, not read whole.
void TestJobCore::refusesANonRomFromItsFirstBytes()
{
    QFETCH(QByteArray, start);
    QFETCH(qint64, size);
    QFETCH(NotRomReason, reason);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile file(dir.filePath("large.bin")); // sparse: takes no room on disk
    QVERIFY(file.open(QFile::WriteOnly) && file.write(start) == start.size() && file.resize(size));
    file.close();
    const RomFile::Contents contents = RomFile::read(file.fileName());
    QCOMPARE(contents.notRom, reason);
    QCOMPARE(contents.error, text);
    QVERIFY(contents.bytes.size() <= RomByteOrder::headLength);
}

// The way back reads decompressed ROMs that grew by a few bytes and originals cut anywhere; only a
// big-endian image needs no conversion, so only it may have any length.
void TestJobCore::readsAnyLengthOnlyInBigEndianAndWhenAsked_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<bool>("anyLength");
    QTest::addColumn<bool>("read");
    QTest::newRow("z64, the loader's rule") << "z64" << false << false;
    QTest::newRow("z64, any length") << "z64" << true << true;
    QTest::newRow("v64, any length") << "v64" << true << false;
}

void TestJobCore::readsAnyLengthOnlyInBigEndianAndWhenAsked()
{
    QFETCH(QString, order);
    QFETCH(bool, anyLength);
    QFETCH(bool, read);
    const QByteArray rom = RomFixture::ocarinaLike().build() + "xy";
    QTemporaryDir dir;
    QFile file(dir.filePath("game"));
    QVERIFY(file.open(QFile::WriteOnly));
    file.write(order == "v64" ? RomFixture::toV64(rom) : rom);
    file.close();
    const RomFile::Contents contents = RomFile::read(file.fileName(),
        anyLength ? RomFile::Lengths::AnyInBigEndian : RomFile::Lengths::MultipleOf4);
    QCOMPARE(contents.ok(), read);
    QCOMPARE(contents.notRom, read ? NotRomReason::None : NotRomReason::LengthNotMultipleOf4);
}

// A Yaz0 file whose data ends inside the ROM before its declared size decodes with zeros; the
// facts (a walk over the streams) and the decompression (the decoder itself) name it alike.
void TestJobCore::namesAStreamCutShort_data()
{
    QTest::addColumn<int>("kept"); // 64: 64 bytes short; 16: only its header; -1: whole
    QTest::newRow("64 bytes short of its stream") << 64;
    QTest::newRow("nothing past its header") << 16;
    QTest::newRow("whole") << -1;
}

void TestJobCore::namesAStreamCutShort()
{
    QFETCH(int, kept);
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    const RomFixture::File &file = fixture.entries().at(3);
    QCOMPARE(file.storage, RomFixture::Storage::Compressed);
    const int words = fixture.tableAddress() + 16 * 3;
    if (kept == 64)
        putWord(rom, words + 12, file.physicalEnd - 64);
    else if (kept == 16)
        putWord(rom, words + 12, file.physicalStart + 16);
    const QStringList facts = RomInfo::inspect(rom).warnings;
    QTemporaryDir dir;
    RomJob::Request request;
    request.romPath = dir.filePath("game.z64");
    request.outputPath = dir.filePath("dec_game.z64");
    QFile romFile(request.romPath);
    QVERIFY(romFile.open(QFile::WriteOnly) && romFile.write(rom) == rom.size());
    romFile.close();
    const RomJob::Result result = RomJob::decompressFile(request);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.warnings, facts);
    if (kept < 0) {
        QVERIFY(facts.isEmpty());
    } else {
        QCOMPARE(facts.size(), 1);
        QVERIFY2(facts.first().startsWith("Entry 3 of the file table at 0x00007430 is a Yaz0 file "
                                          "whose data ends "),
            qPrintable(facts.first()));
    }
}

// A ROM cut short, at any length: decompressed (the files past its end come out short or empty,
// as the pass makes them) and told as cut off, never as a table that is not one.
void TestJobCore::namesACutOffRom_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("kept"); // bytes of the ROM
    QTest::newRow("a few files, cut inside them") << 0 << 50936;
    QTest::newRow("300 more files, 200 KB kept") << 300 << 200000;
    QTest::newRow("300 more files, 700 KB kept") << 300 << 700000;
}

void TestJobCore::namesACutOffRom()
{
    QFETCH(int, files);
    QFETCH(int, kept);
    RomFixture fixture = RomFixture::ocarinaLike();
    for (int i = 0; i < files; ++i) {
        fixture.addFile(RomFixture::codeLike(700 + 37 * i, quint32(i)),
            i % 3 ? RomFixture::Storage::Compressed : RomFixture::Storage::Plain);
    }
    const QByteArray whole = fixture.build();
    const QByteArray rom = whole.left(kept);
    const RomPlan::Plan plan = RomPlan::prepare(rom, RomPlan::TableChoice::at(0x7430, false));
    QCOMPARE(plan.refusal.text, QString());
    int past = 0;
    for (const RomFixture::File &file : fixture.entries()) {
        const qint64 stored = file.storage == RomFixture::Storage::Compressed
            ? file.physicalEnd - file.physicalStart
            : file.virtualEnd - file.virtualStart;
        if (file.storage != RomFixture::Storage::Absent && file.physicalStart + stored > rom.size())
            ++past;
    }
    QVERIFY(past > 0);
    const QString warning = QStringLiteral("%1 of %2 files lie past the end of the ROM, which is "
                                           "%3 bytes long (it looks cut off)")
                                .arg(past)
                                .arg(fixture.entries().size())
                                .arg(rom.size());
    QCOMPARE(plan.warnings, QStringList {warning});
    QCOMPARE(RomInfo::inspect(rom).warnings, QStringList {warning});
    // A whole ROM has no such warning.
    QVERIFY(RomInfo::inspect(whole).warnings.isEmpty());
}

void TestJobCore::everyCodecGivesTheYaz0RomsImage_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("codecs"); // "deflate", one of the hack codecs, or "mixed"
    QTest::newRow("Ocarina of Time, z64, DEFLATE") << 0 << "z64"
                                                   << "deflate";
    QTest::newRow("Majora's Mask, v64, DEFLATE") << 1 << "v64"
                                                 << "deflate";
    QTest::newRow("Doubutsu no Mori, n64, DEFLATE") << 2 << "n64"
                                                    << "deflate";
    QTest::newRow("Ocarina of Time, LZO") << 0 << "z64"
                                          << "lzo";
    QTest::newRow("Majora's Mask, UCL") << 1 << "z64"
                                        << "ucl";
    QTest::newRow("Doubutsu no Mori, aPLib") << 2 << "z64"
                                             << "aplib";
    QTest::newRow("Ocarina of Time, n64, zlib") << 0 << "n64"
                                                << "zlib";
    QTest::newRow("Majora's Mask, every codec") << 1 << "z64"
                                                << "mixed";
}

// The same ROM with its files stored as raw DEFLATE streams, or as the hack compressor stores
// them, decompresses to exactly the image it gives with Yaz0 files, and says which codec it
// found.
void TestJobCore::everyCodecGivesTheYaz0RomsImage()
{
    QFETCH(int, family);
    QFETCH(QString, order);
    QFETCH(QString, codecs);
    QTemporaryDir dir;
    QByteArray outputs[2];
    for (const bool other : {false, true}) {
        RomFixture fixture = RomFixture::ofFamily(family);
        Codec codec = Codec::Yaz0;
        if (other && codecs == "deflate")
            fixture.storeWithDeflate();
        else if (other && codecs == "mixed")
            fixture.storeWith({Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib, Codec::Yaz0});
        else if (other && CodecFile::fromName(codecs, &codec))
            fixture.storeWith({codec});
        QByteArray rom = fixture.build();
        const QMap<Codec, int> found = RomInfo::inspect(rom).filesByCodec;
        QCOMPARE(found.size() > 1 ? QStringLiteral("mixed") : CodecFile::name(found.firstKey()),
            other ? codecs : QStringLiteral("yaz0"));
        rom = order == "v64" ? RomFixture::toV64(rom)
            : order == "n64" ? RomFixture::toN64(rom)
                             : rom;
        QFile file(dir.filePath("rom." + order));
        QVERIFY(file.open(QFile::WriteOnly) && file.write(rom) == rom.size());
        file.close();
        RomJob::Request request;
        request.romPath = file.fileName();
        request.outputPath = dir.filePath(other ? "other.z64" : "yaz0.z64");
        const RomJob::Result result = RomJob::decompressFile(request);
        QVERIFY2(result.ok(), qPrintable(result.refusal.text));
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join('\n')));
        QFile out(request.outputPath);
        QVERIFY(out.open(QFile::ReadOnly));
        outputs[other] = out.readAll();
    }
    QCOMPARE(outputs[1].size(), outputs[0].size());
    QVERIFY(outputs[1] == outputs[0]);
}

void TestJobCore::refusesBrokenDeflateFiles_data()
{
    QTest::addColumn<int>("change"); // to the range's end, in bytes; 0: a corrupt stream
    QTest::addColumn<QString>("problem");
    QTest::newRow("corrupt") << 0 << "is a DEFLATE stream that is corrupt or ends early";
    QTest::newRow("range too long")
        << 16 << "is a DEFLATE stream that decodes to fewer bytes than its range";
    QTest::newRow("range too short")
        << -16 << "is a DEFLATE stream that decodes to more bytes than its range";
}

// A DEFLATE file is decoded whole or not at all: one that does not fill its range exactly is
// refused, by its entry, before any pass.
void TestJobCore::refusesBrokenDeflateFiles()
{
    QFETCH(int, change);
    QFETCH(QString, problem);
    RomFixture fixture = RomFixture::ocarinaLike();
    fixture.storeWithDeflate();
    QByteArray rom = fixture.build();
    // The second compressed file; the first tells the codec.
    int seen = 0;
    int index = -1;
    for (int i = 0; i < fixture.entries().size() && index < 0; ++i) {
        if (fixture.entries().at(i).storage == RomFixture::Storage::Compressed && seen++ == 1)
            index = i;
    }
    QVERIFY(index > 0);
    const RomFixture::File &broken = fixture.entries().at(index);
    const int entry = fixture.tableAddress() + 16 * index;
    if (change == 0)
        rom.replace(broken.physicalStart, 8, QByteArray(8, '\xFF'));
    else
        putWord(rom, entry + 4, quint32(broken.virtualEnd + change));
    const RomPlan::Plan plan
        = RomPlan::prepare(rom, RomPlan::TableChoice::at(fixture.tableAddress(), false));
    QCOMPARE(plan.codecs.romWide, DecompressionPass::Codec::Deflate);
    QVERIFY2(plan.refusal.text.startsWith(QStringLiteral("Entry %1 of the file table").arg(index)),
        qPrintable(plan.refusal.text));
    QVERIFY2(plan.refusal.text.contains(problem), qPrintable(plan.refusal.text));
}

void TestJobCore::jobAnswersToItsObserver_data()
{
    QTest::addColumn<int>("stopAt"); // the file before which the observer stops it; -1: never
    QTest::newRow("runs through") << -1;
    QTest::newRow("stopped before the first file") << 0;
    QTest::newRow("stopped half-way") << 5;
}

// The job every front end runs asks its observer before each file and tells it after each one;
// stopped, it leaves the rest of the image and the checksums alone.
void TestJobCore::jobAnswersToItsObserver()
{
    QFETCH(int, stopAt);
    RomFixture fixture = RomFixture::majoraLike();
    const QByteArray rom = fixture.build();
    const RomPlan::Plan plan
        = RomPlan::prepare(rom, RomPlan::TableChoice::at(fixture.tableAddress(), false));
    QCOMPARE(plan.refusal.text, QString());
    QList<int> asked;
    QList<int> told;
    DecompressionJob::Observer observer;
    observer.beforeFile = [&](int index) {
        asked << index;
        return index != stopAt;
    };
    observer.afterFile = [&](int done, int count) {
        QCOMPARE(count, plan.files.size());
        told << done;
    };
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    const DecompressionJob::Outcome outcome = DecompressionJob::run(rom, image, plan, observer);

    const int count = plan.files.size();
    const int done = stopAt < 0 ? count : stopAt;
    QCOMPARE(outcome.finished, stopAt < 0);
    QCOMPARE(asked.size(), stopAt < 0 ? count : stopAt + 1);
    QCOMPARE(told.size(), done);
    QCOMPARE(told.value(done - 1, 0), done);
    QCOMPARE(outcome.checksums.repaired, stopAt < 0);
    if (stopAt < 0) {
        QByteArray expected = fixture.expectedOutput();
        HeaderChecksums::repair(expected);
        QCOMPARE(image.size(), qint64(expected.size()));
        QVERIFY(QByteArray::fromRawData(image.constData(), int(image.size())) == expected);
    }
}

QTEST_GUILESS_MAIN(TestJobCore)
#include "tst_jobcore.moc"
