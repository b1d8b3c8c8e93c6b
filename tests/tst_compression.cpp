// The way back: a decompressed ROM compressed again, laid out like its original or packed. An
// unmodified ROM must come back bit for bit, an edited one must decompress to the edit, and what
// cannot be done is refused.
#include "compressionjob.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "imagebuffer.h"
#include "passplan.h"
#include "romfixture.h"
#include "romjob.h"

#include <QTemporaryDir>
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
    const PassPlan::Plan plan
        = PassPlan::make(rom, DecompressionPass::outputImageSize, tableAddress);
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    DecompressionJob::run(rom, image, plan);
    return QByteArray(image.constData(), int(image.size()));
}

CompressionJob::Layout layoutLike(const QByteArray &original)
{
    CompressionJob::Layout layout;
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

// Every file of the table at the same place in both images, the checksum words aside.
QString firstDifferentFile(const QByteArray &a, const QByteArray &b, qint32 tableAddress)
{
    for (const FileRecord &file : FileTable::read(a, tableAddress)) {
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
    void unmodifiedRomComesBackBitForBit_data();
    void unmodifiedRomComesBackBitForBit();
    void editedRomDecompressesToTheEdit_data();
    void editedRomDecompressesToTheEdit();
    void packedRomDecompressesToTheRom();
    void refusesWhatCannotBeDone_data();
    void refusesWhatCannotBeDone();
    void checkFindsAFaultyResult_data();
    void checkFindsAFaultyResult();
};

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
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.movedFiles, 0);
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

    const CompressionJob::Layout layout = layoutLike(original);
    const CompressionJob::Result result = CompressionJob::compress(edited, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.movedFiles, incompressible ? 1 : 0);
    QCOMPARE(result.image.size(), original.size());
    const QByteArray back = decompressed(result.image, table);
    QCOMPARE(firstDifferentFile(back, edited, table), QString());
}

void TestCompression::packedRomDecompressesToTheRom()
{
    RomFixture fixture = likeAnOriginal(1);
    const qint32 table = fixture.tableAddress();
    const QByteArray rom = decompressed(fixture.build(), table);
    CompressionJob::Layout layout;
    layout.compressedFiles = {{3, 4}, {6, CompressionJob::lastEntry}};
    const CompressionJob::Result result = CompressionJob::compress(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.error));
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
    CompressionJob::Layout layout;
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
    const CompressionJob::Result result = CompressionJob::compress(rom, table, layout);
    QVERIFY2(result.error.contains(reason), qPrintable(result.error));
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
    const CompressionJob::Layout layout = layoutLike(original);
    CompressionJob::Result result = CompressionJob::build(rom, table, layout);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(CompressionJob::check(result, rom, table), QString());

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
    const QString why = CompressionJob::check(result, rom, table);
    if (entry < 0) {
        QCOMPARE(why, QString());
    } else {
        QVERIFY2(why.startsWith(QStringLiteral("Entry %1 of the file table").arg(entry))
                && why.endsWith("this is a bug in Tidepool, and nothing was written"),
            qPrintable(why));
    }
}

QTEST_GUILESS_MAIN(TestCompression)
#include "tst_compression.moc"
