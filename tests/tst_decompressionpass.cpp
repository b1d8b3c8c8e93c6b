// Laying files into the output image and rewriting their entries, and the checks that keep a
// malformed table from harming the pass.
#include "decompressionpass.h"
#include "referencepass.h"
#include "romfixture.h"
#include "yaz0encoder.h"
#include "zeropagedimage.h"

#include <QtTest>

#include <cstring>

using DecompressionPass::Problem;
Q_DECLARE_METATYPE(Problem)
Q_DECLARE_METATYPE(FileRecord)
Q_DECLARE_METATYPE(QVector<FileRecord>)

namespace {

constexpr int tableAddress = 0x100;
constexpr int outputSize = 0x4000000;

// A ROM holding a plain file at 0x1000 and a compressed one at 0x2000.
struct SmallRom
{
    QByteArray rom = QByteArray(0x8000, '\0');
    QByteArray plain = RomFixture::textLike(0x300, 1);
    QByteArray packed = RomFixture::codeLike(0x800, 2);
    QByteArray packedFile = Yaz0Encoder::encodeFile(packed);

    SmallRom()
    {
        rom.replace(0x1000, plain.size(), plain);
        rom.replace(0x2000, packedFile.size(), packedFile);
    }
    FileRecord plainRecord(int index, int at) const
    {
        return {index, at, at + qint32(plain.size()), 0x1000, 0};
    }
    FileRecord packedRecord(int index, int at, int length) const
    {
        return {index, at, at + length, 0x2000, 0x2000 + qint32(packedFile.size())};
    }
};

} // namespace

class TestDecompressionPass : public QObject
{
    Q_OBJECT

private slots:
    void copiesAPlainFile();
    void decodesACompressedFileInPlace();
    void skipsAnAbsentFile();
    void longerFileMovesWhatFollows();
    void shorterFileClosesTheGap();
    void startPastTheEndFillsWithBlanks();
    void plainFileCutShortByTheRom();
    void emptyPlainFileOnlyRewritesItsEntry();
    void rewriteAtTheEndIsAppended();
    void tableFileOverwritesEarlierRewrites();
    void findsProblems_data();
    void findsProblems();
    void boundHoldsForGrowingTables();
    void adversarialTablesStayBounded_data();
    void adversarialTablesStayBounded();
    void imagesFillWhatTheyGain();
    void workIsBoundedByTheTable_data();
    void workIsBoundedByTheTable();
    void passGivesTheReferenceBytes_data();
    void passGivesTheReferenceBytes();
};

void TestDecompressionPass::copiesAPlainFile()
{
    SmallRom small;
    QByteArray out(outputSize, '\0');
    DecompressionPass::placeFile(small.rom, out, tableAddress, small.plainRecord(2, 0x40000));
    QCOMPARE(out.size(), outputSize);
    QCOMPARE(out.mid(0x40000, small.plain.size()), small.plain);
    QCOMPARE(wordAt(out, tableAddress + 2 * 16 + 8), 0x40000u);
    QCOMPARE(wordAt(out, tableAddress + 2 * 16 + 12), 0u);
    QCOMPARE(wordAt(out, tableAddress + 2 * 16), 0u); // the virtual words are not written
}

void TestDecompressionPass::decodesACompressedFileInPlace()
{
    SmallRom small;
    QByteArray out(outputSize, '\x11');
    DecompressionPass::placeFile(
        small.rom, out, tableAddress, small.packedRecord(3, 0x50000, small.packed.size()));
    QCOMPARE(out.size(), outputSize);
    QCOMPARE(out.mid(0x50000, small.packed.size()), small.packed);
    QCOMPARE(out.mid(0x50000 + small.packed.size(), 0x200), QByteArray(0x200, '\x11'));
    QCOMPARE(out.mid(0x50000 - 0x10, 0x10), QByteArray(0x10, '\x11'));
    QCOMPARE(wordAt(out, tableAddress + 3 * 16 + 8), 0x50000u);
}

void TestDecompressionPass::skipsAnAbsentFile()
{
    SmallRom small;
    QByteArray out(outputSize, '\0');
    const QByteArray before = out;
    DecompressionPass::placeFile(small.rom, out, tableAddress, {1, 0x3000, 0x4000, -1, -1});
    QVERIFY(out == before);
}

void TestDecompressionPass::longerFileMovesWhatFollows()
{
    // The range is 0x100 bytes shorter than what the file decodes to.
    SmallRom small;
    QByteArray out(outputSize, '\0');
    out.replace(0x60000 + small.packed.size() - 0x100, 4, "MARK");
    DecompressionPass::placeFile(
        small.rom, out, tableAddress, small.packedRecord(0, 0x60000, small.packed.size() - 0x100));
    QCOMPARE(out.size(), outputSize + 0x100);
    QCOMPARE(out.mid(0x60000, small.packed.size()), small.packed);
    QCOMPARE(out.mid(0x60000 + small.packed.size(), 4), QByteArray("MARK"));
}

void TestDecompressionPass::shorterFileClosesTheGap()
{
    SmallRom small;
    QByteArray out(outputSize, '\0');
    out.replace(0x70000 + 0x400, 4, "MARK");
    const FileRecord record {0, 0x70000, 0x70000 + 0x400, 0x1000, 0}; // copies 0x400 bytes
    QByteArray rom = small.rom.left(0x1000 + 0x200); // but the ROM has 0x200
    DecompressionPass::placeFile(rom, out, tableAddress, record);
    QCOMPARE(out.size(), outputSize - 0x200);
    QCOMPARE(out.mid(0x70000, 0x200), small.plain.left(0x200));
    QCOMPARE(out.mid(0x70200, 4), QByteArray("MARK"));
}

void TestDecompressionPass::startPastTheEndFillsWithBlanks()
{
    SmallRom small;
    QByteArray out(0x1000, '\0');
    DecompressionPass::placeFile(small.rom, out, 0, small.plainRecord(0, 0x1010));
    QCOMPARE(out.size(), 0x1010 + small.plain.size());
    QCOMPARE(out.mid(0x1000, 0x10), QByteArray(0x10, ' '));
    QCOMPARE(out.mid(0x1010), small.plain);
}

void TestDecompressionPass::plainFileCutShortByTheRom()
{
    SmallRom small;
    QByteArray out(outputSize, '\0');
    DecompressionPass::placeFile(small.rom, out, tableAddress, {0, 0x1000, 0x3000, 0x9000, 0});
    QCOMPARE(out.size(), outputSize - 0x2000); // nothing to copy: the range is removed
}

void TestDecompressionPass::emptyPlainFileOnlyRewritesItsEntry()
{
    // No bytes to copy, and no ROM bytes behind them either.
    SmallRom small;
    const QByteArray before(0x2000, 'x');
    QByteArray out = before;
    DecompressionPass::placeFile(small.rom, out, 0x1800, {0, 0x500, 0x500, 0x9000, 0});
    QCOMPARE(out.size(), before.size());
    QCOMPARE(wordAt(out, 0x1808), 0x500u);
    QCOMPARE(wordAt(out, 0x180C), 0u);
    out.replace(0x1808, 8, before.mid(0x1808, 8));
    QCOMPARE(out, before);
}

void TestDecompressionPass::rewriteAtTheEndIsAppended()
{
    SmallRom small;
    QByteArray out(0x2000, '\0');
    DecompressionPass::placeFile(small.rom, out, 0x3000, small.plainRecord(4, 0x100));
    QCOMPARE(out.size(), 0x2000 + 8);
    QCOMPARE(wordAt(out, 0x2000), 0x100u);
    QCOMPARE(wordAt(out, 0x2004), 0u);
}

void TestDecompressionPass::tableFileOverwritesEarlierRewrites()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    const QByteArray rom = fixture.build();
    QVector<FileRecord> records;
    QByteArray out(outputSize, '\0');
    // Rewrite entry 5 first, then place the table's own file (entry 2) over it.
    const auto record = [&](int i) {
        const RomFixture::File &f = fixture.entries().at(i);
        return FileRecord {i, f.virtualStart, f.virtualEnd, f.physicalStart, f.physicalEnd};
    };
    DecompressionPass::placeFile(rom, out, fixture.tableAddress(), record(5));
    QCOMPARE(wordAt(out, fixture.tableAddress() + 5 * 16 + 12), 0u);
    DecompressionPass::placeFile(rom, out, fixture.tableAddress(), record(2));
    QCOMPARE(wordAt(out, fixture.tableAddress() + 5 * 16 + 12),
        quint32(fixture.entries().at(5).physicalEnd));
}

void TestDecompressionPass::findsProblems_data()
{
    QTest::addColumn<FileRecord>("record");
    QTest::addColumn<Problem>("expected");
    SmallRom small;
    QTest::newRow("plain") << small.plainRecord(0, 0x1000) << Problem::None;
    QTest::newRow("compressed") << small.packedRecord(0, 0x1000, 0x800) << Problem::None;
    QTest::newRow("absent, whatever its words") << FileRecord {0, -5, -9, -1, -1} << Problem::None;
    QTest::newRow("past the ROM's end")
        << FileRecord {0, 0x1000, 0x2000, 0x900000, 0} << Problem::None;
    QTest::newRow("negative virtual start")
        << FileRecord {0, -16, 0x100, 0, 0} << Problem::NegativeAddress;
    QTest::newRow("negative virtual end")
        << FileRecord {0, 0x100, -1, 0, 0} << Problem::NegativeAddress;
    QTest::newRow("negative ROM start")
        << FileRecord {0, 0, 0x100, -0x100, 0} << Problem::NegativeAddress;
    QTest::newRow("virtual end before start")
        << FileRecord {0, 0x200, 0x100, 0, 0} << Problem::InvertedRange;
    QTest::newRow("ROM end before start")
        << FileRecord {0, 0x100, 0x200, 0x2000, 0x1000} << Problem::InvertedRange;
    QTest::newRow("ROM end negative")
        << FileRecord {0, 0x100, 0x200, 0x2000, -2} << Problem::InvertedRange;
    QTest::newRow("range past 256 MiB")
        << FileRecord {0, 0x7FFF0000, 0x7FFF0010, 0x1000, 0} << Problem::OutputTooLarge;
}

void TestDecompressionPass::findsProblems()
{
    QFETCH(FileRecord, record);
    QFETCH(Problem, expected);
    SmallRom small;
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(small.rom, outputSize, tableAddress, {record});
    QCOMPARE(finding.problem, expected);
    QCOMPARE(finding.index, expected == Problem::None ? -1 : 0);
}

void TestDecompressionPass::boundHoldsForGrowingTables()
{
    // Every compressed file declares 64 MiB but its range is empty: four of them are too many.
    QByteArray rom(0x1000, '\0');
    QByteArray header = QByteArray("Yaz0") + QByteArray(12, '\0');
    putWord(header, 4, 0x4000000);
    rom.replace(0x100, header.size(), header);
    QVector<FileRecord> files;
    for (int i = 0; i < 4; ++i)
        files.append({i, 0x1000, 0x1000, 0x100, 0x110});
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, 0, files);
    QCOMPARE(finding.problem, Problem::OutputTooLarge);
    QCOMPARE(finding.index, 2);

    // What is accepted stays within the bound when the pass runs.
    QByteArray out(outputSize, '\0');
    files.resize(2);
    QCOMPARE(DecompressionPass::findProblem(rom, outputSize, 0, files).problem, Problem::None);
    for (const FileRecord &file : files)
        DecompressionPass::placeFile(rom, out, 0, file);
    QVERIFY(out.size() <= DecompressionPass::maxOutputSize);
    QVERIFY(out.size() > outputSize);

    // A declared size past the decoder's limit is refused outright.
    putWord(rom, 0x104, 0x4000001);
    QCOMPARE(DecompressionPass::findProblem(rom, outputSize, 0, files).problem,
        Problem::DeclaredSizeTooLarge);
}

namespace {

// A Yaz0 file whose stream is empty: it decodes to declared zero bytes (plus a little).
QByteArray emptyStreamDeclaring(quint32 declared)
{
    QByteArray header = QByteArray("Yaz0") + QByteArray(12, '\0');
    putWord(header, 4, declared);
    return header;
}

} // namespace

void TestDecompressionPass::adversarialTablesStayBounded_data()
{
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<QVector<FileRecord>>("files");
    QTest::addColumn<bool>("refused");

    QByteArray rom(0x10000, '\0');
    rom.replace(0x1000, 16, emptyStreamDeclaring(0x200000)); // 2 MiB
    rom.replace(0x2000, 16, emptyStreamDeclaring(0x4000000)); // 64 MiB
    rom.replace(0x3000, 16, emptyStreamDeclaring(0x7FFFFFFF));
    rom.replace(0x4000, 16, emptyStreamDeclaring(0xFFFFFFF0)); // negative: decodes to nothing

    QVector<FileRecord> growing;
    for (int i = 0; i < 200; ++i) // each decodes 2 MiB into a 16-byte range
        growing.append({i, 0x100000 + 16 * i, 0x100010 + 16 * i, 0x1000, 0x1010});
    QTest::newRow("many files decoding longer than their range") << rom << growing << true;
    QTest::newRow("a few of them") << rom << growing.mid(0, 20) << false;

    QVector<FileRecord> huge;
    for (int i = 0; i < 2; ++i)
        huge.append({i, 0, 0, 0x2000, 0x2010});
    QTest::newRow("64 MiB files into empty ranges") << rom << huge << false;
    huge.append({2, 0, 0, 0x2000, 0x2010});
    QTest::newRow("one more reaches 256 MiB") << rom << huge << true;
    QTest::newRow("declared past the limit")
        << rom << QVector<FileRecord> {{0, 0x1000, 0x2000, 0x3000, 0x3010}} << true;
    QTest::newRow("declared negative")
        << rom << QVector<FileRecord> {{0, 0x1000, 0x2000, 0x4000, 0x4010}} << false;

    QTest::newRow("range past the image: blank fill")
        << rom << QVector<FileRecord> {{0, 0x08000000, 0x08000100, 0x100, 0}} << false;
    QTest::newRow("range at 256 MiB")
        << rom << QVector<FileRecord> {{0, 0x10000000, 0x10000100, 0x100, 0}} << true;
    QTest::newRow("negative range")
        << rom << QVector<FileRecord> {{0, 0x1000, -0x1000, 0, 0}} << true;

    QVector<FileRecord> overlapping;
    for (int i = 0; i < 50; ++i)
        overlapping.append({i, 0x8000 + 64 * (i % 5), 0x8000 + 64 * (i % 5) + 0x4000, 0, 0});
    QTest::newRow("overlapping files") << rom << overlapping << false;

    QVector<FileRecord> shrinking;
    for (int i = 0; i < 20; ++i) // ranges of 1 MiB, files of nothing: the image shrinks
        shrinking.append({i, 0x100000 * i, 0x100000 * (i + 1), 0xFFFFFF, 0});
    QTest::newRow("files shorter than their range") << rom << shrinking << false;
}

void TestDecompressionPass::adversarialTablesStayBounded()
{
    QFETCH(QByteArray, rom);
    QFETCH(QVector<FileRecord>, files);
    QFETCH(bool, refused);
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, 0x200, files);
    QCOMPARE(finding.problem != Problem::None, refused);
    if (refused)
        return;
    QByteArray out(outputSize, '\0');
    ZeroPagedImage zeroPaged(outputSize); // the command line's image must come out the same
    for (const FileRecord &file : qAsConst(files)) {
        DecompressionPass::placeFile(rom, out, 0x200, file);
        DecompressionPass::placeFile(rom, zeroPaged, 0x200, file);
        QVERIFY(out.size() <= DecompressionPass::maxOutputSize);
    }
    QCOMPARE(zeroPaged.size(), qint64(out.size()));
    QVERIFY(std::memcmp(zeroPaged.constData(), out.constData(), size_t(out.size())) == 0);
}

// Bytes an image gains are the fill, even where it held other bytes before it shrank; what it
// keeps survives growing past its first size.
void TestDecompressionPass::imagesFillWhatTheyGain()
{
    QByteArray bytes(0x3000, 'a');
    ByteArrayImage byteArray(bytes);
    ZeroPagedImage zeroPaged(0x3000);
    std::memset(zeroPaged.data(), 'a', 0x3000);
    for (ImageBuffer *image : std::initializer_list<ImageBuffer *> {&byteArray, &zeroPaged}) {
        image->resize(0x1000, '\0');
        image->resize(0x2800, '\0');
        image->resize(0x2C00, ' ');
        image->resize(0x40000, '\0'); // past the first mapping
        const QByteArray seen = QByteArray::fromRawData(image->constData(), int(image->size()));
        QCOMPARE(seen.left(0x1000), QByteArray(0x1000, 'a'));
        QCOMPARE(seen.mid(0x1000, 0x1800), QByteArray(0x1800, '\0'));
        QCOMPARE(seen.mid(0x2800, 0x400), QByteArray(0x400, ' '));
        QCOMPARE(seen.mid(0x2C00), QByteArray(0x40000 - 0x2C00, '\0'));
    }
}

void TestDecompressionPass::workIsBoundedByTheTable_data()
{
    QTest::addColumn<QVector<FileRecord>>("files");
    QTest::addColumn<bool>("refused");
    QVector<FileRecord> sameHugeFile; // each decodes 64 MiB, all at one place
    for (int i = 0; i < 65535; ++i)
        sameHugeFile.append({i, 0, 0x4000000, 0x2000, 0x2010});
    QTest::newRow("65,535 files of 64 MiB at one address") << sameHugeFile << true;
    QTest::newRow("ten of them") << sameHugeFile.mid(0, 10) << false;

    // Three files add 60 MiB each; the rest take 0x80 bytes away, far apart by turns, so that
    // every one of them moves some 48 MiB. (Taken away at one place, they would move nothing.)
    QVector<FileRecord> shrinkingGrownImage;
    for (int i = 0; i < 3; ++i)
        shrinkingGrownImage.append({i, 0x1000, 0x1000, 0x5000, 0x5010});
    for (int i = 3; i < 65534; ++i) {
        const qint32 start = i % 2 ? 0x1000 : 0x3000000;
        shrinkingGrownImage.append({i, start, start + 0x80, 0xFFFFFF, 0});
    }
    QTest::newRow("a grown image shrunk 65,531 times at both ends") << shrinkingGrownImage << true;
    QTest::newRow("shrunk four times") << shrinkingGrownImage.mid(0, 7) << false;
}

// A pass that would decode or move far more than a game's 64 MiB is refused from the table
// alone, before anything is decoded.
void TestDecompressionPass::workIsBoundedByTheTable()
{
    QFETCH(QVector<FileRecord>, files);
    QFETCH(bool, refused);
    QByteArray rom(0x10000, '\0');
    rom.replace(0x2000, 16, emptyStreamDeclaring(0x4000000)); // 64 MiB
    rom.replace(0x5000, 16, emptyStreamDeclaring(60 << 20));
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, 0x200, files);
    QCOMPARE(finding.problem, refused ? Problem::TooMuchWork : Problem::None);
    // Found at the entry where the bound is passed, long before the end of the table.
    QVERIFY(finding.index < 100);
}

// The pass keeps a gap where files came out shorter or longer than their ranges instead of
// moving every later byte each time; its bytes must be those of the plain rules all the same, on
// ROMs cut short (the files past the end come out short or empty, by the hundred) and on every
// input of the pass's fuzz corpus.
void TestDecompressionPass::passGivesTheReferenceBytes_data()
{
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<qint32>("address");
    QTest::addColumn<int>("outputSize");
    for (int family = 0; family < 3; ++family) {
        RomFixture fixture = RomFixture::ofFamily(family);
        const QByteArray whole = fixture.build();
        for (const int percent : {20, 55, 90}) {
            QTest::addRow("family %d cut to %d%%", family, percent)
                << whole.left(whole.size() * percent / 100) << fixture.tableAddress() << 0x400000;
        }
    }
    RomFixture many(0x7430, "zelda@", 6105);
    for (int i = 0; i < 300; ++i) {
        many.addFile(RomFixture::codeLike(700 + 37 * i, quint32(i)),
            i % 3 ? RomFixture::Storage::Compressed : RomFixture::Storage::Plain);
    }
    const QByteArray manyFiles = many.build();
    QTest::newRow("300 files, cut to a tenth")
        << manyFiles.left(manyFiles.size() / 10) << many.tableAddress() << 0x400000;
    const QDir corpus(QStringLiteral(TIDEPOOL_FUZZ_CORPUS "/fuzz_decompressionpass"));
    for (const QString &name : corpus.entryList(QDir::Files)) {
        QFile file(corpus.filePath(name));
        if (!file.open(QFile::ReadOnly) || file.size() < 8)
            continue;
        const QByteArray input = file.readAll();
        qint32 rawAddress = 0;
        qint32 rawOutputSize = 0;
        std::memcpy(&rawAddress, input.constData(), 4);
        std::memcpy(&rawOutputSize, input.constData() + 4, 4);
        const QByteArray rom = input.mid(8);
        const qint32 address = qint32((rawAddress & 0x7FFFFFFF) % (rom.size() + 32));
        const int size = int((rawOutputSize & 0x7FFFFFFF) % 0x40000);
        if (DecompressionPass::findProblem(rom, size, address, FileTable::read(rom, address))
                .problem
            == DecompressionPass::Problem::None) // the pass runs over this table
            QTest::newRow(qPrintable(name)) << rom << address << size;
    }
}

void TestDecompressionPass::passGivesTheReferenceBytes()
{
    QFETCH(QByteArray, rom);
    QFETCH(qint32, address);
    QFETCH(int, outputSize);
    const QVector<FileRecord> files = FileTable::read(rom, address);
    QCOMPARE(DecompressionPass::findProblem(rom, outputSize, address, files).problem,
        DecompressionPass::Problem::None);
    QByteArray image(outputSize, '\0');
    {
        ByteArrayImage buffer(image);
        DecompressionPass::PassImage output(buffer);
        for (const FileRecord &file : files)
            DecompressionPass::placeFile(rom, output, address, file);
    }
    const QByteArray expected = referencePass(rom, QByteArray(outputSize, '\0'), address, files);
    QCOMPARE(image.size(), expected.size());
    QVERIFY(image == expected);
}

QTEST_GUILESS_MAIN(TestDecompressionPass)
#include "tst_decompressionpass.moc"
