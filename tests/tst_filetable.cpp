// Reading the file table, finding it by its build string, and the texts around it.
#include "filetable.h"
#include "romfixture.h"

#include <QtTest>

Q_DECLARE_METATYPE(QVector<FileRecord>)

bool operator==(const FileRecord &a, const FileRecord &b)
{
    return a.index == b.index && a.virtualStart == b.virtualStart && a.virtualEnd == b.virtualEnd
        && a.physicalStart == b.physicalStart && a.physicalEnd == b.physicalEnd;
}

namespace {

QByteArray entries(const QVector<QVector<quint32>> &words)
{
    QByteArray data;
    for (const QVector<quint32> &entry : words) {
        for (const quint32 word : entry) {
            QByteArray bytes(4, '\0');
            putWord(bytes, 0, word);
            data += bytes;
        }
    }
    return data;
}

} // namespace

class TestFileTable : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void findsTheTableByBuildString_data();
    void findsTheTableByBuildString();
    void checksTheFirstEntry_data();
    void checksTheFirstEntry();
    void gameCode_data();
    void gameCode();
    void addressText_data();
    void addressText();
    void parsesAddressText_data();
    void parsesAddressText();
    void tellsATableCutOff_data();
    void tellsATableCutOff();
    void findsTheEntryHoldingAnOffset_data();
    void findsTheEntryHoldingAnOffset();
};

// A table cut by the end of the image lost its end mark: the entries read are all that survive.
void TestFileTable::tellsATableCutOff_data()
{
    QTest::addColumn<int>("cut"); // bytes of the image kept after the table's start
    QTest::addColumn<bool>("cutOff");
    QTest::newRow("the whole table and its end mark") << 48 << false;
    QTest::newRow("half of the end mark") << 40 << true;
    QTest::newRow("inside the second entry") << 20 << true;
    QTest::newRow("the first entry alone") << 16 << true;
}

void TestFileTable::tellsATableCutOff()
{
    QFETCH(int, cut);
    QFETCH(bool, cutOff);
    const QByteArray table
        = entries({{0, 0x1060, 0, 0}, {0x1060, 0x2000, 0x1060, 0}, {0, 0, 0, 0}});
    const QByteArray image = (QByteArray(0x100, 'x') + table).left(0x100 + cut);
    const QVector<FileRecord> files = FileTable::read(image, 0x100);
    QCOMPARE(!FileTable::endMarkInside(image, 0x100, files), cutOff);
}

void TestFileTable::findsTheEntryHoldingAnOffset_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("entry");
    QTest::newRow("its first byte") << 0x1060 << 1;
    QTest::newRow("its last byte") << 0x1FFF << 1;
    QTest::newRow("just past it, in a gap") << 0x2000 << -1;
    QTest::newRow("inside an absent file's range") << 0x3000 << -1;
    QTest::newRow("where two overlap: the first") << 0x4800 << 3;
}

void TestFileTable::findsTheEntryHoldingAnOffset()
{
    QFETCH(int, offset);
    QFETCH(int, entry);
    const QVector<FileRecord> files {{0, 0, 0x1060, 0, 0}, {1, 0x1060, 0x2000, 0x1060, 0},
        {2, 0x3000, 0x4000, -1, -1}, {3, 0x4000, 0x5000, 0x4000, 0},
        {4, 0x4800, 0x6000, 0x4800, 0}};
    QCOMPARE(FileTable::entryHolding(files, offset), entry);
}

void TestFileTable::reads_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("address");
    QTest::addColumn<QVector<FileRecord>>("expected");

    const QByteArray table = entries({{0, 0x1060, 0, 0}, {0x1060, 0x2000, 0x1060, 0},
        {0x2000, 0x3000, 0x2000, 0x2800}, {0x3000, 0x3010, 0xFFFFFFFF, 0xFFFFFFFF},
        {0, 0, 0x1234, 0x5678}, {0x4000, 0x5000, 0, 0}});
    const QVector<FileRecord> four = {{0, 0, 0x1060, 0, 0}, {1, 0x1060, 0x2000, 0x1060, 0},
        {2, 0x2000, 0x3000, 0x2000, 0x2800}, {3, 0x3000, 0x3010, -1, -1}};
    QTest::newRow("ends at a zero entry") << QByteArray(32, 'x') + table << 32 << four;
    QTest::newRow("ends with the image") << table.left(64) << 0 << four;
    QTest::newRow("first entry zero") << entries({{0, 0, 1, 2}}) << 0 << QVector<FileRecord>();
    QTest::newRow("address past the end") << table << table.size() << QVector<FileRecord>();
    QTest::newRow("negative address") << table << -16 << QVector<FileRecord>();
    QTest::newRow("trailing piece of 12 bytes") << table.left(
        16 + 12) << 0 << QVector<FileRecord> {{0, 0, 0x1060, 0, 0}, {1, 0x1060, 0x2000, 0x1060, 0}};
    QTest::newRow("trailing piece of 6 bytes") << table.left(
        16 + 6) << 0 << QVector<FileRecord> {{0, 0, 0x1060, 0, 0}, {1, 0x1060, 0, 0, 0}};
    QTest::newRow("trailing piece of 2 bytes reads as zero")
        << table.left(16 + 2) << 0 << QVector<FileRecord> {{0, 0, 0x1060, 0, 0}};
    QTest::newRow("trailing piece of 10 bytes keeps its whole words") << table.left(
        16 + 10) << 0 << QVector<FileRecord> {{0, 0, 0x1060, 0, 0}, {1, 0x1060, 0x2000, 0, 0}};
    QTest::newRow("unaligned address") << QByteArray(3, 'x') + table << 3 << four;
}

void TestFileTable::reads()
{
    QFETCH(QByteArray, image);
    QFETCH(int, address);
    QFETCH(QVector<FileRecord>, expected);
    QCOMPARE(FileTable::read(image, address), expected);
}

void TestFileTable::findsTheTableByBuildString_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("address");

    const auto with = [](std::initializer_list<std::pair<int, const char *>> strings) {
        QByteArray image(0x30000, '\0');
        for (const auto &s : strings)
            image.replace(s.first, int(qstrlen(s.second)), s.second);
        return image;
    };
    QTest::newRow("zelda@ for OoT") << with({{0x7400, "zelda@"}}) << true << 0x7430;
    QTest::newRow("zelda@ for MM") << with({{0x1A4D0, "zelda@"}}) << true << 0x1A500;
    QTest::newRow("forest@") << with({{0x19D00, "forest@"}}) << true << 0x19D40;
    QTest::newRow("zelda@ wins over forest@")
        << with({{0x19D00, "forest@"}, {0x8000, "zelda@"}}) << true << 0x8030;
    QTest::newRow("first zelda@ counts")
        << with({{0x9000, "zelda@"}, {0x8000, "zelda@"}}) << true << 0x8030;
    QTest::newRow("zelda@ at 0 is no match") << with({{0, "zelda@"}}) << false << 0;
    QTest::newRow("zelda@ at 0 then forest@")
        << with({{0, "zelda@"}, {0x100, "forest@"}}) << true << 0x140;
    QTest::newRow("neither") << with({}) << false << 0;
    QTest::newRow("partial string") << with({{0x500, "zelda"}}) << false << 0;
}

void TestFileTable::findsTheTableByBuildString()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, found);
    QFETCH(int, address);
    qint32 actual = -1;
    QCOMPARE(FileTable::findAddress(image, &actual), found);
    if (found)
        QCOMPARE(actual, address);
}

void TestFileTable::checksTheFirstEntry_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("expected");
    const QByteArray good = entries({{0, 0x1060, 0, 0}, {0x1060, 0x2000, 0x1060, 0}});
    QTest::newRow("genuine") << QByteArray(16, 'x') + good << 16 << true;
    QTest::newRow("wrong address") << QByteArray(16, 'x') + good << 0 << false;
    QTest::newRow("past the end") << good << 1000 << false;
    QTest::newRow("negative") << good << -4 << false;
    QTest::newRow("missing last word reads as 0") << good.left(12) << 0 << true;
}

void TestFileTable::checksTheFirstEntry()
{
    QFETCH(QByteArray, image);
    QFETCH(int, address);
    QFETCH(bool, expected);
    QCOMPARE(FileTable::startsWithExpectedEntry(image, address), expected);
}

void TestFileTable::gameCode_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<char>("version");
    QTest::addColumn<QString>("expected");
    QTest::newRow("OoT") << QByteArray("CZLE") << char(0) << "CZLE0";
    QTest::newRow("version 15") << QByteArray("NZSJ") << char(15) << "NZSJ15";
    QTest::newRow("version 200 is unsigned") << QByteArray("NZSE") << char(200) << "NZSE200";
    QTest::newRow("cut at zero") << QByteArray("NA\0E", 4) << char(1) << "NA1";
}

void TestFileTable::gameCode()
{
    QFETCH(QByteArray, id);
    QFETCH(char, version);
    QFETCH(QString, expected);
    QByteArray image(0x1000, '\0');
    image.replace(59, 4, id);
    image[63] = version;
    QCOMPARE(FileTable::gameCode(image), expected);
}

void TestFileTable::addressText_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "0x00000000";
    QTest::newRow("OoT") << 0x7430 << "0x00007430";
    QTest::newRow("upper case") << 0x1AB50 << "0x0001AB50";
    QTest::newRow("large") << 0x7FFFFFFF << "0x7FFFFFFF";
}

void TestFileTable::addressText()
{
    QFETCH(int, address);
    QFETCH(QString, expected);
    QCOMPARE(FileTable::addressText(address), expected);
}

void TestFileTable::parsesAddressText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("hex") << "0x00007430" << 0x7430;
    QTest::newRow("lower-case digits") << "0x1ab50" << 0x1AB50;
    QTest::newRow("decimal") << "29744" << 0x7430;
    QTest::newRow("upper-case X is decimal and fails") << "0X7430" << 0;
    QTest::newRow("negative decimal") << "-16" << -16;
    QTest::newRow("does not fit") << "0xFFFFFFFF" << 0;
    QTest::newRow("junk") << "table" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("just the prefix") << "0x" << 0;
}

void TestFileTable::parsesAddressText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(FileTable::parseAddressText(text), expected);
}

QTEST_GUILESS_MAIN(TestFileTable)
#include "tst_filetable.moc"
