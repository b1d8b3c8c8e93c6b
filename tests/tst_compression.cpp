// The way back: a decompressed ROM compressed again, laid out like its original or packed. An
// unmodified ROM must come back bit for bit, an edited one must decompress to the edit, and what
// cannot be done is refused.
#include "compressionjob.h"
#include "compressionlayout.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "imagebuffer.h"
#include "knowndumps.h"
#include "originalrom.h"
#include "outputnames.h"
#include "plancases.h"
#include "poolrunner.h"
#include "romfixture.h"
#include "romjob.h"
#include "romplan.h"
#include "yaz0matchingencoder.h"
#include "zeropagedimage.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

RomFixture likeAnOriginal(int family)
{
    RomFixture fixture = RomFixture::ofFamily(family);
    fixture.storeLikeAnOriginal();
    return fixture;
}

// The image the program's own decompression makes of a big-endian ROM.
QByteArray decompressed(const QByteArray &rom, qint32 tableAddress)
{
    const RomPlan::Plan plan = RomPlan::prepare(rom, RomPlan::TableChoice::at(tableAddress, false));
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    DecompressionJob::run(rom, image, plan);
    return QByteArray(image.constData(), int(image.size()));
}

// How a test asks for the way back: like an original, or packed.
struct Layout
{
    QByteArray original;
    bool likeOriginal = false;
    QVector<RomPlan::IndexRange> compressedFiles;
    bool codecGiven = false;
    Codec codec = Codec::Yaz0;
    qint64 targetSize = 0;
};

RomPlan::CompressionPlan planFor(const QByteArray &rom, qint32 table, const Layout &layout)
{
    RomPlan::Layout asked;
    asked.likeOriginal = layout.likeOriginal;
    asked.original = &layout.original;
    asked.compressedFiles = layout.compressedFiles;
    asked.codecGiven = layout.codecGiven;
    asked.codec = layout.codec;
    asked.targetSize = layout.targetSize;
    return RomPlan::prepareCompression(rom, RomPlan::TableChoice::at(table, false), asked);
}

// The plan's refusal, or what the job made of it.
CompressionJob::Result build(const QByteArray &rom, qint32 table, const Layout &layout)
{
    const RomPlan::CompressionPlan plan = planFor(rom, table, layout);
    if (!plan.ok()) {
        CompressionJob::Result refused;
        refused.refusal = plan.refusal;
        return refused;
    }
    return CompressionJob::build(rom, layout.original, plan);
}

CompressionJob::Result compress(const QByteArray &rom, qint32 table, const Layout &layout,
    const CompressionJob::Runner &runner = CompressionJob::Runner())
{
    const RomPlan::CompressionPlan plan = planFor(rom, table, layout);
    if (!plan.ok()) {
        CompressionJob::Result refused;
        refused.refusal = plan.refusal;
        return refused;
    }
    return CompressionJob::compress(rom, layout.original, plan, runner);
}

QString check(
    const CompressionJob::Result &result, const QByteArray &rom, qint32 table, const Layout &layout)
{
    return CompressionJob::check(result, rom, planFor(rom, table, layout));
}

Layout layoutLike(const QByteArray &original)
{
    Layout layout;
    layout.likeOriginal = true;
    layout.original = original;
    return layout;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QFile::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Every file of the table at the same place in both images, the checksum words aside, and the
// physical words of the table's entries too: a decompressed ROM keeps the original's there for the
// entries before the table's own, which tell nothing of the files.
QString firstDifferentFile(QByteArray a, const QByteArray &b, qint32 tableAddress)
{
    const QVector<FileRecord> files = FileTable::read(a, tableAddress);
    for (const FileRecord &file : files) {
        const int words = tableAddress + FileTable::entrySize * file.index + 8;
        a.replace(words, 8, b.mid(words, 8));
    }
    for (const FileRecord &file : files) {
        if (file.physicalEnd == FileTable::absentFile || file.index == 0)
            continue;
        const int length = file.virtualEnd - file.virtualStart;
        if (a.mid(file.virtualStart, length) != b.mid(file.virtualStart, length))
            return QStringLiteral("entry %1 differs").arg(file.index);
    }
    return QString();
}

} // namespace

class TestCompression : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namesOfWhatIsWritten_data();
    void namesOfWhatIsWritten();
    void suggestsTheOriginal_data();
    void suggestsTheOriginal();
    void checkDecodesWhatChanged_data();
    void checkDecodesWhatChanged();
    void refusalNamesItsInput_data();
    void refusalNamesItsInput();
    void sizeAsked_data();
    void sizeAsked();
    void planDecides_data() { PlanCases::addCompressionRows(); }
    void planDecides();
    void unmodifiedRomComesBackBitForBit_data();
    void unmodifiedRomComesBackBitForBit();
    void editedRomDecompressesToTheEdit_data();
    void editedRomDecompressesToTheEdit();
    void packedRomDecompressesToTheRom();
    void refusesWhatCannotBeDone_data();
    void refusesWhatCannotBeDone();
    void checkFindsAFaultyResult_data();
    void checkFindsAFaultyResult();
    void usersEditsComeBack_data();
    void usersEditsComeBack();
    void damagedOriginalsAreRefused_data();
    void damagedOriginalsAreRefused();
    void rangesMustNameEntriesThatMayBeCompressed_data();
    void rangesMustNameEntriesThatMayBeCompressed();
    void inputFilesOfAnyLength_data();
    void inputFilesOfAnyLength();
    void largeFileIsEncodedAsWhole();
    void jobNamesTheDumpOrStops_data();
    void jobNamesTheDumpOrStops();
    void placedFilesNeverOverlap_data();
    void placedFilesNeverOverlap();
    void checkSaysWhatDecompressingWouldDo_data();
    void checkSaysWhatDecompressingWouldDo();
};

void TestCompression::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Marrowfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Tidepool"));
}

void TestCompression::namesOfWhatIsWritten_data()
{
    QTest::addColumn<QString>("rom");
    QTest::addColumn<QString>("decompressed");
    QTest::addColumn<QString>("compressed");
    QTest::addColumn<QStringList>("originals");
    const QStringList none;
    QTest::newRow("a v64 ROM") << "game.v64"
                               << "dec_game.z64"
                               << "cmp_game.z64" << none;
    QTest::newRow("its decompressed copy")
        << "dec_game.z64"
        << "dec_dec_game.z64"
        << "cmp_game.z64" << QStringList {"game.z64", "game.v64", "game.n64"};
    QTest::newRow("dots in the name")
        << "dec_a.b.z64"
        << "dec_dec_a.b.z64"
        << "cmp_a.b.z64" << QStringList {"a.b.z64", "a.b.v64", "a.b.n64"};
    QTest::newRow("no extension") << "game"
                                  << "dec_game.z64"
                                  << "cmp_game.z64" << none;
    QTest::newRow("the prefix alone") << "dec_"
                                      << "dec_dec_.z64"
                                      << "cmp_.z64" << none;
}

void TestCompression::namesOfWhatIsWritten()
{
    QFETCH(QString, rom);
    QFETCH(QString, decompressed);
    QFETCH(QString, compressed);
    QFETCH(QStringList, originals);
    QCOMPARE(OutputNames::decompressedName(rom), decompressed);
    QCOMPARE(OutputNames::compressedName(rom), compressed);
    QCOMPARE(OutputNames::originalNames(rom), originals);
}

// The original the window suggests: the one remembered for the decompressed ROM, else one beside
// it in any byte order, and only one that can be the original.
void TestCompression::suggestsTheOriginal_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("suggested"); // the file's name, or empty for none
    QTest::newRow("remembered, before the one beside") << "remembered"
                                                       << "elsewhere.z64";
    QTest::newRow("beside, in v64 order") << "beside v64"
                                          << "game.v64";
    QTest::newRow("beside, but decompressed") << "beside decompressed"
                                              << "";
    QTest::newRow("nowhere") << "nowhere"
                             << "";
}

void TestCompression::suggestsTheOriginal()
{
    QFETCH(QString, where);
    QFETCH(QString, suggested);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const QByteArray rom = decompressed(original, fixture.tableAddress());
    QTemporaryDir dir;
    const QString romPath = dir.filePath("dec_game.z64");
    writeAll(romPath, rom);
    if (where == "beside v64")
        writeAll(dir.filePath("game.v64"), RomFixture::toV64(original));
    else if (where == "beside decompressed")
        writeAll(dir.filePath("game.z64"), rom);
    else if (where == "remembered")
        writeAll(dir.filePath("game.z64"), original);
    QSettings settings;
    settings.clear();
    if (where == "remembered") {
        writeAll(dir.filePath("elsewhere.z64"), original);
        OriginalRom::remember(settings, romPath, dir.filePath("elsewhere.z64"));
    }
    RomPlan::Layout layout;
    layout.likeOriginal = true;
    const RomPlan::CompressionPlan plan = RomPlan::prepareCompression(
        rom, RomPlan::TableChoice::at(fixture.tableAddress(), true), layout);
    QVERIFY(plan.ok());
    const OriginalRom::Candidate candidate = OriginalRom::suggest(settings, romPath, plan);
    QCOMPARE(QFileInfo(candidate.path).fileName(), suggested);
    QCOMPARE(candidate.ok(), !suggested.isEmpty());
    if (candidate.ok())
        QVERIFY(candidate.image == original); // in big-endian order, whatever it came in
}

// A kept file is not decoded twice when its stored bytes are the ones already decoded; a byte of
// them changed after the build must still be found, in every codec.
void TestCompression::checkDecodesWhatChanged_data()
{
    QTest::addColumn<int>("codec");
    QTest::newRow("Yaz0") << int(Codec::Yaz0);
    QTest::newRow("UCL") << int(Codec::Ucl);
    QTest::newRow("aPLib") << int(Codec::Aplib);
    QTest::newRow("zlib") << int(Codec::Zlib);
}

void TestCompression::checkDecodesWhatChanged()
{
    QFETCH(int, codec);
    RomFixture fixture = likeAnOriginal(0);
    fixture.storeWith({Codec(codec)});
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(original, table);
    const Layout layout = layoutLike(original);
    CompressionJob::Result result = build(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.keptFiles, result.compressedFiles);
    QCOMPARE(check(result, rom, table, layout), QString());
    const FileRecord file = FileTable::read(result.image, table).at(3);
    const int at = (file.physicalStart + file.physicalEnd) / 2;
    result.image[at] = char(result.image.at(at) ^ 0x10);
    const QString why = check(result, rom, table, layout);
    // Found by the decompression's own plan, or by decoding the file.
    QVERIFY2(why.contains("Entry 3 of the file table") && why.contains("bug in Tidepool"),
        qPrintable(why));
}

// Each refusal of the whole job names the file it is about, which the command line puts first.
void TestCompression::refusalNamesItsInput_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("named"); // "rom", "original" or "output"
    QTest::addColumn<int>("kind");
    QTest::newRow("no such ROM") << "rom"
                                 << "rom" << int(Refusal::Kind::Unreadable);
    QTest::newRow("no such original") << "original"
                                      << "original" << int(Refusal::Kind::Unreadable);
    QTest::newRow("an original with no table") << "original table"
                                               << "original" << int(Refusal::Kind::Table);
    QTest::newRow("an output that is a folder") << "output"
                                                << "output" << int(Refusal::Kind::Output);
}

void TestCompression::refusalNamesItsInput()
{
    QFETCH(QString, fault);
    QFETCH(QString, named);
    QFETCH(int, kind);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    QTemporaryDir dir;
    RomJob::Request request;
    request.romPath = dir.filePath("dec_game.z64");
    request.outputPath = dir.filePath(fault == "output" ? "folder" : "cmp_game.z64");
    RomJob::CompressRequest how;
    how.originalPath = dir.filePath("game.z64");
    if (fault != "rom")
        writeAll(request.romPath, decompressed(original, fixture.tableAddress()));
    QByteArray stored = original;
    if (fault == "original table") // no first entry where the ROM has its table
        stored.replace(fixture.tableAddress(), 16, QByteArray(16, '\0'));
    if (fault != "original")
        writeAll(how.originalPath, stored);
    QDir(dir.path()).mkdir("folder");
    const RomJob::Result result = RomJob::compressFile(request, how);
    QCOMPARE(int(result.refusal.kind), kind);
    const QString path = named == "rom" ? request.romPath
        : named == "original"           ? how.originalPath
                                        : request.outputPath;
    QCOMPARE(result.failedPath, path);
}

// --mb makes the result that long, padded as the original pads its end; without it, a result
// past 32 MiB is written with a warning.
void TestCompression::sizeAsked_data()
{
    QTest::addColumn<bool>("likeOriginal");
    QTest::addColumn<int>("megabytes"); // 0: none asked
    QTest::addColumn<int>("size");
    QTest::addColumn<char>("padding");
    QTest::newRow("like an original padded with 0xFF") << true << 3 << (3 << 20) << '\xFF';
    QTest::newRow("packed, padded with zeros") << false << 2 << (2 << 20) << '\0';
    QTest::newRow("past 32 MiB, none asked") << false << 0 << (34 << 20) << '\0';
}

void TestCompression::sizeAsked()
{
    QFETCH(bool, likeOriginal);
    QFETCH(int, megabytes);
    QFETCH(int, size);
    QFETCH(char, padding);
    RomFixture fixture = likeAnOriginal(0);
    QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    QByteArray rom = decompressed(original, table);
    const int used = fixture.entries().last().physicalStart + 0x2000;
    original.replace(used, original.size() - used, QByteArray(original.size() - used, '\xFF'));
    if (megabytes == 0) {
        // The last file, stored, grown to 33 MiB.
        const int entry = table + 16 * (fixture.entries().size() - 1);
        rom.replace(0x1000000, 33 << 20, QByteArray(33 << 20, 'r'));
        putWord(rom, entry, 0x1000000);
        putWord(rom, entry + 4, 0x1000000 + (33 << 20));
    }
    Layout layout = likeOriginal ? layoutLike(original) : Layout();
    if (!likeOriginal)
        layout.compressedFiles = {{3, 3}};
    layout.targetSize = qint64(megabytes) << 20;
    const CompressionJob::Result result = compress(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.image.size(), size);
    QCOMPARE(result.image.at(size - 1), padding);
    QCOMPARE(result.warnings.join('\n').contains("more than the 32 MiB"), megabytes == 0);
}

// The shared cases of the way back through its plan, and the job run on the plans that pass: one
// refusal, the most telling, about the right input.
void TestCompression::planDecides()
{
    QFETCH(int, index);
    const PlanCases::CompressionCase &c = PlanCases::compressionCases().at(index);
    Layout layout;
    layout.likeOriginal = !c.original.isEmpty();
    layout.original = c.original;
    for (const QString &range : c.ranges.split(',', Qt::SkipEmptyParts)) {
        const QString last = range.section('-', 1, 1);
        layout.compressedFiles.append(
            {range.section('-', 0, 0).toInt(), last == "END" ? RomPlan::lastEntry : last.toInt()});
    }
    layout.codecGiven = CodecFile::fromName(c.codec, &layout.codec);
    layout.targetSize = qint64(c.megabytes) << 20;
    const RomPlan::CompressionPlan plan = planFor(c.rom, 0x7430, layout);
    const CompressionJob::Result result = compress(c.rom, 0x7430, layout);
    if (c.refused) {
        QVERIFY(!result.ok());
        QVERIFY2(result.refusal.text.contains(c.reason), qPrintable(result.refusal.text));
        // Only what the layout decides is refused after the plan.
        QCOMPARE(plan.ok(), result.refusal.kind == Refusal::Kind::Layout);
        QCOMPARE(result.refusal.input == Refusal::Input::Original, c.aboutOriginal);
        QVERIFY(!c.aboutOriginal || result.refusal.text.startsWith("ORIGINAL "));
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.tableAddress, 0x7430);
    if (c.identical)
        QVERIFY2(result.image == c.original,
            qPrintable(firstDifferentFile(result.image, c.original, 0x7430)));
    if (!c.codec.isEmpty()) {
        const QVector<FileRecord> written = FileTable::read(result.image, 0x7430);
        QCOMPARE(result.image.mid(written.at(3).physicalStart, 4), QByteArray("APL0"));
    }
}

void TestCompression::unmodifiedRomComesBackBitForBit_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("order");
    for (const char *order : {"z64", "v64", "n64"}) {
        QTest::addRow("Ocarina of Time, %s", order) << 0 << order;
        QTest::addRow("Majora's Mask, %s", order) << 1 << order;
        QTest::addRow("Doubutsu no Mori, %s", order) << 2 << order;
    }
}

// Through the files, as the command line runs it: the original in any byte order, decompressed,
// then compressed like the original.
void TestCompression::unmodifiedRomComesBackBitForBit()
{
    QFETCH(int, family);
    QFETCH(QString, order);
    RomFixture fixture = likeAnOriginal(family);
    const QByteArray original = fixture.build();
    QTemporaryDir dir;
    const QString originalPath = dir.filePath("original." + order);
    writeAll(originalPath,
        order == "v64"       ? RomFixture::toV64(original)
            : order == "n64" ? RomFixture::toN64(original)
                             : original);

    RomJob::Request decompress;
    decompress.romPath = originalPath;
    decompress.outputPath = dir.filePath("decompressed.z64");
    QVERIFY(RomJob::decompressFile(decompress).ok());
    RomJob::Request compress;
    compress.romPath = decompress.outputPath;
    compress.outputPath = dir.filePath("again.z64");
    RomJob::CompressRequest how;
    how.originalPath = originalPath;
    const RomJob::Result result = RomJob::compressFile(compress, how);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.movedFiles, 0);
    QCOMPARE(result.keptFiles, result.compressedFiles);
    const QByteArray again = readAll(compress.outputPath);
    QCOMPARE(again.size(), original.size());
    QVERIFY2(again == original, qPrintable(firstDifferentFile(again, original, 0)));
}

void TestCompression::editedRomDecompressesToTheEdit_data()
{
    QTest::addColumn<bool>("incompressible");
    QTest::newRow("a few bytes changed") << false;
    QTest::newRow("a file that no longer fits its place") << true;
}

void TestCompression::editedRomDecompressesToTheEdit()
{
    QFETCH(bool, incompressible);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    QByteArray edited = decompressed(original, table);
    const auto compressed = std::find_if(
        fixture.entries().cbegin(), fixture.entries().cend(), [](const RomFixture::File &file) {
            return file.storage == RomFixture::Storage::Compressed;
        });
    QVERIFY(compressed != fixture.entries().cend());
    const int start = compressed->virtualStart;
    const int length = compressed->virtualEnd - start;
    if (incompressible)
        edited.replace(start, length, RomFixture::noise(length, 9));
    else
        edited.replace(start + length / 2, 4, "EDIT");

    const Layout layout = layoutLike(original);
    const CompressionJob::Result result = compress(edited, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.movedFiles, incompressible ? 1 : 0);
    QCOMPARE(result.keptFiles, result.compressedFiles - 1);
    QCOMPARE(result.image.size(), original.size());
    const QByteArray back = decompressed(result.image, table);
    QCOMPARE(firstDifferentFile(back, edited, table), QString());
}

void TestCompression::packedRomDecompressesToTheRom()
{
    RomFixture fixture = likeAnOriginal(1);
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(fixture.build(), table);
    Layout layout;
    layout.compressedFiles = {{3, 4}, {6, RomPlan::lastEntry}};
    const CompressionJob::Result result = compress(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.image.size() % (1 << 20), 0);
    const QVector<FileRecord> entries = FileTable::read(result.image, result.tableAddress);
    for (const FileRecord &file : entries) {
        if (file.physicalEnd == FileTable::absentFile)
            continue;
        const bool listed = (file.index >= 3 && file.index <= 4) || file.index >= 6;
        QCOMPARE(FileTable::isCompressed(file), listed);
        QCOMPARE(file.physicalStart % 16, 0);
    }
    const QByteArray back = decompressed(result.image, result.tableAddress);
    QCOMPARE(firstDifferentFile(back, rom, table), QString());
}

void TestCompression::refusesWhatCannotBeDone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("still compressed")
        << "compressed"
        << "This ROM is still compressed (entry 3 of the file table at 0x00007430 is a Yaz0 "
           "file): decompress it first";
    QTest::newRow("original without a table") << "no table"
                                              << "ORIGINAL has no file table at 0x00007430";
    QTest::newRow("larger than 64 MiB") << "too large"
                                        << "The compressed ROM would be larger than 64 MiB";
    QTest::newRow("files overlapping many times")
        << "overlapping"
        << "add up to more than 128 MiB, more than a decompressed ROM holds";
}

void TestCompression::refusesWhatCannotBeDone()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    QByteArray rom = kind == "compressed" ? original : decompressed(original, table);
    Layout layout;
    layout.likeOriginal = kind != "too large" && kind != "overlapping";
    layout.original = kind == "no table" ? QByteArray(1 << 20, '\0') : original;
    if (kind == "too large" || kind == "overlapping") {
        // Stored files of 40 MiB each, over the same bytes: packed, two need 80 MiB.
        const QVector<int> entries
            = kind == "too large" ? QVector<int> {3, 4} : QVector<int> {3, 4, 5, 6};
        for (const int entry : entries) {
            putWord(rom, table + 16 * entry, 0x100000);
            putWord(rom, table + 16 * entry + 4, 0x2900000);
        }
    }
    const CompressionJob::Result result = compress(rom, table, layout);
    QVERIFY2(result.refusal.text.contains(reason), qPrintable(result.refusal.text));
    QVERIFY(result.image.isEmpty());
}

// The check is what stands between a bug in the layout and a wrong ROM on the disk: results
// spoiled after building must fail it, naming the file that does not come back.
void TestCompression::checkFindsAFaultyResult_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("entry");
    QTest::newRow("a byte of a compressed file") << "compressed byte" << 3;
    QTest::newRow("a byte of a stored file") << "stored byte" << 5;
    QTest::newRow("an entry pointing at another file") << "entry" << 4;
    QTest::newRow("nothing") << "none" << -1;
}

void TestCompression::checkFindsAFaultyResult()
{
    QFETCH(QString, fault);
    QFETCH(int, entry);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(original, table);
    const Layout layout = layoutLike(original);
    CompressionJob::Result result = build(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(check(result, rom, table, layout), QString());

    const QVector<FileRecord> files = FileTable::read(result.image, result.tableAddress);
    if (fault == "compressed byte" || fault == "stored byte") {
        const FileRecord &file = files.at(entry);
        QCOMPARE(FileTable::isCompressed(file), fault == "compressed byte");
        // Past the Yaz0 header, so that the file still decodes, to other bytes.
        result.image[file.physicalStart + 20] = char(result.image.at(file.physicalStart + 20) ^ 1);
    } else if (fault == "entry") {
        const qint32 at = result.tableAddress + FileTable::entrySize * entry + 8;
        result.image.replace(at, 8,
            result.image.mid(result.tableAddress + FileTable::entrySize * (entry - 1) + 8, 8));
    }
    const QString why = check(result, rom, table, layout);
    if (entry < 0) {
        QCOMPARE(why, QString());
    } else {
        QVERIFY2(why.startsWith(QStringLiteral("Entry %1 of the file table").arg(entry))
                && why.endsWith("this is a bug in Tidepool, and nothing was written"),
            qPrintable(why));
    }
}

// What users bring back: a decompressed ROM edited by hand or by tools. Each edit is made to the
// decompressed image of the Ocarina-like fixture (entries: 0 header, 1 boot, 2 table, 3 and 4
// compressed, 5 stored, 6 and 7 compressed, 8 absent, 9 stored).
void TestCompression::usersEditsComeBack_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("entry"); // the entry edited
    QTest::addColumn<bool>("compressed"); // how the result stores it
    QTest::addColumn<bool>("moved"); // whether it left the original's place
    QTest::newRow("physical start other than the virtual")
        << "physical start" << 5 << false << false;
    QTest::newRow("leftover compressed words before the table")
        << "leftover" << 1 << false << false;
    QTest::newRow("a stored file grown past its slot") << "grown" << 9 << false << true;
    QTest::newRow("a compressed file shrunk") << "shrunk" << 3 << true << false;
    QTest::newRow("a file added in a slot the original marks absent")
        << "added" << 8 << true << true;
    QTest::newRow("an entry the original does not have") << "new entry" << 9 << true << true;
}

void TestCompression::usersEditsComeBack()
{
    QFETCH(QString, edit);
    QFETCH(int, entry);
    QFETCH(bool, compressed);
    QFETCH(bool, moved);
    RomFixture fixture = likeAnOriginal(0);
    QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    QByteArray rom = decompressed(original, table);
    const int words = table + FileTable::entrySize * entry;
    const int start = int(wordAt(rom, words));
    if (edit == "physical start") {
        putWord(rom, words + 8, start + 0x100);
    } else if (edit == "leftover") {
        putWord(rom, words + 8, 0x3000);
        putWord(rom, words + 12, 0x3400);
    } else if (edit == "grown") {
        const QByteArray grown = RomFixture::codeLike(0x10000, 21);
        rom.replace(start, grown.size(), grown);
        putWord(rom, words + 4, start + grown.size());
    } else if (edit == "shrunk") {
        putWord(rom, words + 4, wordAt(rom, words + 4) - 1000);
    } else if (edit == "added") {
        const QByteArray added = RomFixture::textLike(0x4000, 22);
        rom.replace(0x200000, added.size(), added);
        putWord(rom, words, 0x200000);
        putWord(rom, words + 4, 0x200000 + added.size());
        putWord(rom, words + 8, 0x200000);
        putWord(rom, words + 12, 0);
    } else if (edit == "new entry") {
        original.replace(words, FileTable::entrySize, QByteArray(FileTable::entrySize, '\0'));
    }

    const CompressionJob::Result result = compress(rom, table, layoutLike(original));
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    const FileRecord written = FileTable::read(result.image, result.tableAddress).at(entry);
    QCOMPARE(FileTable::isCompressed(written), compressed);
    const FileRecord before = FileTable::read(original, table).value(entry);
    QCOMPARE(written.physicalStart != before.physicalStart, moved);
    const QByteArray back = decompressed(result.image, result.tableAddress);
    QCOMPARE(firstDifferentFile(back, rom, table), QString());
}

// Originals that are damaged or hostile are refused before any work, naming ORIGINAL and the
// entry; none may make the job read or write outside its buffers.
void TestCompression::damagedOriginalsAreRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a physical start with the top bit set")
        << "top bit"
        << "ORIGINAL: Entry 4 of the file table at 0x00007430 (";
    QTest::newRow("a file that starts inside its neighbour")
        << "inside"
        << "ORIGINAL: Entry 4 of the file table at 0x00007430 stores its bytes at";
    QTest::newRow("a Yaz0 file declaring more than 64 MiB")
        << "declared"
        << "is a compressed file of more than 64 MiB.";
    QTest::newRow("DEFLATE files") << "deflate"
                                   << "ORIGINAL stores its files with DEFLATE (iQue Player); "
                                      "compress writes Yaz0 only";
}

void TestCompression::damagedOriginalsAreRefused()
{
    QFETCH(QString, damage);
    QFETCH(QString, reason);
    RomFixture fixture = likeAnOriginal(0);
    if (damage == "deflate")
        fixture.storeWithDeflate();
    QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(original, table);
    const int words = table + FileTable::entrySize * 4;
    if (damage == "top bit") {
        putWord(original, words + 8, 0x80001000);
    } else if (damage == "inside") {
        putWord(original, words + 8, wordAt(original, words + 8) - 16);
        putWord(original, words + 12, wordAt(original, words + 12) - 16);
    } else if (damage == "declared") {
        putWord(original, int(wordAt(original, words + 8)) + 4, 0x7FFFFFFF);
    }
    const CompressionJob::Result result = compress(rom, table, layoutLike(original));
    QVERIFY2(result.refusal.text.startsWith("ORIGINAL") && result.refusal.text.contains(reason),
        qPrintable(result.refusal.text));
    QCOMPARE(result.refusal.input, Refusal::Input::Original);
    QVERIFY(result.image.isEmpty());
}

void TestCompression::rangesMustNameEntriesThatMayBeCompressed_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("reason"); // empty: compressed, the last entry alone
    const int end = RomPlan::lastEntry;
    QTest::newRow("no such entries")
        << 5000 << 6000
        << "5000-6000 names no entry: the file table at 0x00007430 has entries 0 to 9";
    QTest::newRow("END alone") << end << end << "";
    QTest::newRow("the header's entry")
        << 0 << 0 << "Entry 0 holds the ROM's header and boot code and must stay stored";
    QTest::newRow("the table's entry") << 1 << end << "Entry 2 holds the file table";
    QTest::newRow("the build string's entry")
        << 1 << 1 << "Entry 1 holds the build string that leads to the file table";
}

void TestCompression::rangesMustNameEntriesThatMayBeCompressed()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, reason);
    RomFixture fixture = likeAnOriginal(0);
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(fixture.build(), table);
    Layout layout;
    layout.compressedFiles = {{first, last}};
    const CompressionJob::Result result = compress(rom, table, layout);
    if (reason.isEmpty()) {
        QVERIFY2(result.ok(), qPrintable(result.refusal.text));
        QCOMPARE(result.compressedFiles, 1);
        QVERIFY(FileTable::isCompressed(FileTable::read(result.image, result.tableAddress).at(9)));
    } else {
        QVERIFY2(result.refusal.text.contains(reason), qPrintable(result.refusal.text));
        QCOMPARE(result.refusal.kind, Refusal::Kind::Ranges);
    }
}

// A decompressed ROM that grew by a few bytes (a file decoded past its range) is Tidepool's own
// output and comes back; an original cut short is used, with a warning.
void TestCompression::inputFilesOfAnyLength_data()
{
    QTest::addColumn<int>("romExtra"); // bytes added to the decompressed ROM
    QTest::addColumn<int>("originalLength"); // 0: whole
    QTest::addColumn<QString>("warning");
    QTest::newRow("a ROM two bytes longer") << 2 << 0 << "";
    QTest::newRow("an original cut inside its files") << 0 << 0x12345 << "ORIGINAL looks cut off: ";
}

void TestCompression::inputFilesOfAnyLength()
{
    QFETCH(int, romExtra);
    QFETCH(int, originalLength);
    QFETCH(QString, warning);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    QByteArray rom = decompressed(original, fixture.tableAddress());
    rom.append(QByteArray(romExtra, 'x'));
    QTemporaryDir dir;
    RomJob::Request request;
    request.romPath = dir.filePath("dec_game.z64");
    request.outputPath = dir.filePath("cmp_game.z64");
    writeAll(request.romPath, rom);
    RomJob::CompressRequest how;
    how.originalPath = dir.filePath("game.z64");
    writeAll(how.originalPath, originalLength > 0 ? original.left(originalLength) : original);
    const RomJob::Result result = RomJob::compressFile(request, how);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    QCOMPARE(result.warnings.isEmpty(), warning.isEmpty());
    QVERIFY(warning.isEmpty() || result.warnings.join('\n').startsWith(warning));
    const QByteArray written = readAll(request.outputPath);
    QCOMPARE(written.size() % 4, 0);
    const QByteArray back = decompressed(written, fixture.tableAddress());
    QCOMPARE(firstDifferentFile(back, rom, fixture.tableAddress()), QString());
}

// A file large enough to be encoded in parts, on several threads, is stored as it would be
// encoded whole.
void TestCompression::largeFileIsEncodedAsWhole()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    const QByteArray large
        = RomFixture::codeLike(5 * Yaz0MatchingEncoder::PartedFile::defaultPartSize / 2, 14);
    fixture.addFile(large, RomFixture::Storage::Compressed);
    fixture.storeLikeAnOriginal();
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    QByteArray rom = decompressed(original, table);
    const RomFixture::File &file = fixture.entries().last();
    rom[file.virtualStart + 100000] = char(rom.at(file.virtualStart + 100000) ^ 0x55);

    QThreadPool pool;
    pool.setMaxThreadCount(3);
    const CompressionJob::Runner runner = poolRunner(pool);
    const CompressionJob::Result result = compress(rom, table, layoutLike(original), runner);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    const FileRecord stored = FileTable::read(result.image, table).last();
    const QByteArray whole
        = Yaz0MatchingEncoder::encodeFile(rom.mid(file.virtualStart, large.size()));
    QVERIFY(result.image.mid(stored.physicalStart, whole.size()) == whole);
}

// A way back that gives a known dump says so; one asked to stop, while encoding or after its
// check, writes nothing.
void TestCompression::jobNamesTheDumpOrStops_data()
{
    QTest::addColumn<QString>("stop"); // "", "encoding", "after the check"
    QTest::newRow("runs through to a known dump") << "";
    QTest::newRow("stopped while encoding") << "encoding";
    QTest::newRow("stopped after the check") << "after the check";
}

void TestCompression::jobNamesTheDumpOrStops()
{
    QFETCH(QString, stop);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const QByteArray md5 = QCryptographicHash::hash(original, QCryptographicHash::Md5).toHex();
    const KnownDumps::Dump dump {
        "Test Dump", md5.constData(), 0x7430, KnownDumps::Compression::Yaz0};
    QTemporaryDir dir;
    RomJob::Request request;
    request.romPath = dir.filePath("dec_game.z64");
    request.outputPath = dir.filePath("cmp_game.z64");
    QByteArray rom = decompressed(original, fixture.tableAddress());
    rom[0x20] = 'X'; // in the header's title: the result is no longer the dump
    writeAll(request.romPath, rom);
    RomJob::CompressRequest how;
    how.originalPath = dir.filePath("game.z64");
    writeAll(how.originalPath, original);
    how.stopRequested = [&stop] { return stop == "after the check"; };
    int reports = 0;
    const CompressionJob::FilesEncoded encoded = [&](int, int) {
        ++reports;
        return stop != "encoding";
    };
    const RomJob::Result result = RomJob::compressFile(request, how, {}, encoded, {&dump, 1});
    QCOMPARE(result.ok(), stop.isEmpty());
    QCOMPARE(QFile::exists(request.outputPath), stop.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), stop.isEmpty() ? 3 : 2);
    if (stop == "encoding")
        QCOMPARE(reports, 1);
    else
        QCOMPARE(reports, fixture.entries().size());
    QCOMPARE(result.identicalDump, QString());
    if (stop.isEmpty()) {
        writeAll(request.romPath, decompressed(original, fixture.tableAddress()));
        request.replaceOutput = true;
        QCOMPARE(RomJob::compressFile(request, how, {}, {}, {&dump, 1}).identicalDump,
            QStringLiteral("Test Dump"));
    }
}

// Placing like an original, on a table written out: 0 header [0, 0x100), 1 the table's file at
// 0x100, 2 and 3 compressed files after it. Whatever the original says and however the files
// changed, no two placed files overlap, and only the files that must move do.
void TestCompression::placedFilesNeverOverlap_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QVector<int>>("moved");
    QTest::newRow("nothing changed") << "none" << QVector<int> {};
    QTest::newRow("a file shrunk") << "shrunk" << QVector<int> {};
    QTest::newRow("the table's file grew over its neighbour") << "table grew" << QVector<int> {2};
    QTest::newRow("two files at one place in the original") << "same place" << QVector<int> {3};
    QTest::newRow("a file past the original's end") << "past the end" << QVector<int> {3};
}

void TestCompression::placedFilesNeverOverlap()
{
    using CompressionLayout::Piece;
    using CompressionLayout::Storage;
    QFETCH(QString, change);
    QFETCH(QVector<int>, moved);
    const QByteArray original(0x1000, '\0');
    QVector<FileRecord> originalFiles {{0, 0, 0x100, 0, 0}, {1, 0x100, 0x200, 0x100, 0},
        {2, 0x200, 0x500, 0x200, 0x300}, {3, 0x500, 0x900, 0x300, 0x400}};
    QVector<Piece> pieces(4);
    for (int i = 0; i < 4; ++i) {
        pieces[i].storage = i < 2 ? Storage::Plain : Storage::Compressed;
        pieces[i].length = 0x100;
    }
    if (change == "shrunk")
        pieces[3].length = 0x80;
    else if (change == "table grew")
        pieces[1].length = 0x180;
    else if (change == "same place")
        originalFiles[3].physicalStart = 0x200, originalFiles[3].physicalEnd = 0x300;
    else if (change == "past the end")
        originalFiles[3].physicalStart = 0xF80, originalFiles[3].physicalEnd = 0x1080;
    int movedCount = 0;
    const qint64 size
        = CompressionLayout::placeLikeOriginal(pieces, original, originalFiles, 1, &movedCount)
              .size;
    QVector<int> left;
    for (int i = 0; i < pieces.size(); ++i) {
        if (pieces.at(i).place != originalFiles.at(i).physicalStart)
            left << i;
        for (int j = 0; j < i; ++j) {
            const bool apart = pieces.at(i).place >= pieces.at(j).place + pieces.at(j).length
                || pieces.at(j).place >= pieces.at(i).place + pieces.at(i).length;
            QVERIFY2(apart, qPrintable(QStringLiteral("%1 and %2 overlap").arg(j).arg(i)));
        }
        QVERIFY(pieces.at(i).place + pieces.at(i).length <= size);
    }
    QCOMPARE(left, moved);
    QCOMPARE(movedCount, moved.size());
}

// The check speaks of what the user will meet: a result decompress would not open is told as
// such, not as a bug, and a file that would decode past its range is named.
void TestCompression::checkSaysWhatDecompressingWouldDo_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("bug");
    QTest::newRow("the build string gone")
        << "build string"
        << "Decompressing the compressed ROM would fail (No file table found)" << false;
    QTest::newRow("a Yaz0 file declaring more than its range")
        << "declared"
        << "Entry 3 of the file table at 0x00007430 would decode to 40016 bytes, not the 40000"
        << true;
}

void TestCompression::checkSaysWhatDecompressingWouldDo()
{
    QFETCH(QString, fault);
    QFETCH(QString, start);
    QFETCH(bool, bug);
    RomFixture fixture = likeAnOriginal(0);
    const QByteArray original = fixture.build();
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(original, table);
    const Layout layout = layoutLike(original);
    CompressionJob::Result result = build(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
    if (fault == "build string") {
        const int at = result.image.indexOf("zelda@");
        QVERIFY(at > 0);
        result.image[at] = 'Z';
    } else {
        const FileRecord file = FileTable::read(result.image, result.tableAddress).at(3);
        putWord(result.image, file.physicalStart + 4, file.virtualEnd - file.virtualStart + 16);
    }
    const QString why = check(result, rom, table, layout);
    QVERIFY2(why.startsWith(start), qPrintable(why));
    QCOMPARE(why.contains("bug in Tidepool"), bug);
}

QTEST_GUILESS_MAIN(TestCompression)
#include "tst_compression.moc"
