// Telling the three byte orders apart, and bringing v64 and n64 images to big endian.
#include "byteorder.h"
#include "romfixture.h"

#include <QtTest>

Q_DECLARE_METATYPE(ByteOrder)

namespace {

QByteArray imageStartingWith(const char *hex, int length)
{
    QByteArray image(length, '\x5A');
    const QByteArray start = QByteArray::fromHex(hex);
    image.replace(0, start.size(), start);
    return image;
}

} // namespace

class TestByteOrder : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void conversionIgnoresZ64();
    void convertsEveryUnit_data();
    void convertsEveryUnit();
    void reportCountsMatchTheUnitByUnitRule_data();
    void reportCountsMatchTheUnitByUnitRule();
};

void TestByteOrder::classify_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<ByteOrder>("expected");

    QTest::newRow("z64, 68 bytes") << imageStartingWith("803712400000000F", 68) << ByteOrder::Z64;
    QTest::newRow("v64") << imageStartingWith("3780401200000F00", 1024) << ByteOrder::V64;
    QTest::newRow("n64") << imageStartingWith("401237800F000000", 1024) << ByteOrder::N64;
    QTest::newRow("z64 but 64 bytes")
        << imageStartingWith("803712400000000F", 64) << ByteOrder::NotRom;
    QTest::newRow("z64 but 70 bytes")
        << imageStartingWith("803712400000000F", 70) << ByteOrder::NotRom;
    QTest::newRow("v64 but 66 bytes")
        << imageStartingWith("3780401200000F00", 66) << ByteOrder::NotRom;
    QTest::newRow("bytes 4 to 7 differ")
        << imageStartingWith("8037124000000010", 1024) << ByteOrder::NotRom;
    QTest::newRow("first 4 bytes only") << imageStartingWith("80371240", 1024) << ByteOrder::NotRom;
    QByteArray shifted = imageStartingWith("00000000803712400000000F", 1024);
    QTest::newRow("signature not at 0") << shifted << ByteOrder::NotRom;
    QTest::newRow("empty") << QByteArray() << ByteOrder::NotRom;
    QTest::newRow("zeros") << QByteArray(4096, '\0') << ByteOrder::NotRom;
}

void TestByteOrder::classify()
{
    QFETCH(QByteArray, image);
    QFETCH(ByteOrder, expected);
    QCOMPARE(RomByteOrder::classify(image), expected);
}

void TestByteOrder::conversionIgnoresZ64()
{
    QCOMPARE(RomByteOrder::conversionSource(imageStartingWith("803712400000000F", 1024)),
        ByteOrder::NotRom);
    // The conversion only looks at the signature, not at the loader's length rules.
    QCOMPARE(
        RomByteOrder::conversionSource(imageStartingWith("3780401200000F00", 10)), ByteOrder::V64);
}

void TestByteOrder::convertsEveryUnit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("byteSwapped");
    for (const int length : {68, 72, 100, 1004, 4096, 65540}) {
        QTest::addRow("v64 %d", length) << length << true;
        QTest::addRow("n64 %d", length) << length << false;
    }
}

void TestByteOrder::convertsEveryUnit()
{
    QFETCH(int, length);
    QFETCH(bool, byteSwapped);
    QByteArray bigEndian = RomFixture::noise(length, quint32(length));
    bigEndian.replace(0, 8, QByteArray::fromHex("803712400000000F"));
    QByteArray image = byteSwapped ? RomFixture::toV64(bigEndian) : RomFixture::toN64(bigEndian);

    const ByteOrder order = RomByteOrder::classify(image);
    QCOMPARE(order, byteSwapped ? ByteOrder::V64 : ByteOrder::N64);
    // Converting a slice at an odd unit offset must give the same bytes as converting whole.
    const int unit = RomByteOrder::unitSize(order);
    const int split = (length / 3) / unit * unit + unit;
    RomByteOrder::convertToBigEndian(image.data(), split, order);
    RomByteOrder::convertToBigEndian(image.data() + split, length - split, order);
    QCOMPARE(image, bigEndian);
    QCOMPARE(RomByteOrder::classify(image), ByteOrder::Z64);
}

void TestByteOrder::reportCountsMatchTheUnitByUnitRule_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("unit");
    for (const int length : {68, 96, 100, 196, 200, 204, 396, 400, 404, 9996, 10000, 33554432}) {
        QTest::addRow("unit 2, %d", length) << length << 2;
        QTest::addRow("unit 4, %d", length) << length << 4;
    }
}

void TestByteOrder::reportCountsMatchTheUnitByUnitRule()
{
    QFETCH(int, length);
    QFETCH(int, unit);
    const qint64 interval = length / 100;
    QList<qint64> expected;
    for (qint64 converted = unit; converted <= length; converted += unit) {
        if (interval == 0 || converted % interval <= unit - 1)
            expected << converted;
    }
    QList<qint64> actual;
    for (qint64 at = RomByteOrder::nextReportCount(0, interval, unit); at <= length;
         at = RomByteOrder::nextReportCount(at, interval, unit))
        actual << at;
    QCOMPARE(actual, expected);
    if (length == 33554432) {
        QCOMPARE(actual.first(), 0x51EB8);
        QCOMPARE(actual.last(), 0x1FFFFE0);
    }
}

QTEST_GUILESS_MAIN(TestByteOrder)
#include "tst_byteorder.moc"
