// Boot chip identification and the two header checksum words, checked against an implementation
// written separately from the program's.
#include "checksum.h"
#include "romfixture.h"

#include <QtTest>

namespace {

QByteArray imageFor(int chip, quint32 seed, int length = 0x101000)
{
    QByteArray image = RomFixture::noise(length, seed);
    image.replace(0x40, 4032, bootCodeFor(chip, seed));
    return image;
}

quint32 crcTable[Checksum::tableSize];

} // namespace

class TestChecksum : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Checksum::buildCrcTable(crcTable); }
    void crc32KnownValue();
    void identifiesBootChips_data();
    void identifiesBootChips();
    void matchesReference_data();
    void matchesReference();
    void tieTakesTheRotation();
    void only6105ReadsItsSideWords();
    void shortImagesReadAsZeroPadded();
    void tinyImageHasNoBootCode();
    void unknownChipComputesNothing();
};

void TestChecksum::crc32KnownValue()
{
    QCOMPARE(Checksum::crc32(crcTable, "123456789", 9), 0xCBF43926u); // the standard check value
    QCOMPARE(Checksum::crc32(crcTable, "", 0), 0u);
}

void TestChecksum::identifiesBootChips_data()
{
    QTest::addColumn<int>("chip");
    QTest::addColumn<QString>("name");
    QTest::newRow("6101") << 6101 << "CIC-NUS-6101";
    QTest::newRow("6102") << 6102 << "CIC-NUS-6102";
    QTest::newRow("6103") << 6103 << "CIC-NUS-6103";
    QTest::newRow("6105") << 6105 << "CIC-NUS-6105";
    QTest::newRow("6106") << 6106 << "CIC-NUS-6106";
    QTest::newRow("other") << 0 << "Unknown";
}

void TestChecksum::identifiesBootChips()
{
    QFETCH(int, chip);
    QFETCH(QString, name);
    const QByteArray image = imageFor(chip, 3, 0x2000);
    const quint32 crc = Checksum::bootCodeCrc(crcTable, image);
    QCOMPARE(crc, referenceCrc32(image.mid(64, 4032)));
    QCOMPARE(Checksum::bootChipForCrc(crc), chip);
    QCOMPARE(Checksum::chipName(chip), name);
}

void TestChecksum::matchesReference_data()
{
    QTest::addColumn<int>("chip");
    QTest::addColumn<quint32>("seed");
    for (const int chip : {6101, 6102, 6103, 6105, 6106}) {
        for (const quint32 seed : {1u, 2u, 3u})
            QTest::addRow("%d, data %u", chip, seed) << chip << seed;
    }
}

void TestChecksum::matchesReference()
{
    QFETCH(int, chip);
    QFETCH(quint32, seed);
    // Sparse data makes ties, zero rotations and carries common.
    QByteArray image = seed == 3 ? RomFixture::sparse(0x101000, seed) : imageFor(chip, seed);
    image.replace(0x40, 4032, bootCodeFor(chip, seed));
    quint32 expected[2];
    referenceChecksum(image, chip, &expected[0], &expected[1]);
    quint32 actual[2] = {};
    QVERIFY(Checksum::calculate(image, chip, actual));
    QCOMPARE(actual[0], expected[0]);
    QCOMPARE(actual[1], expected[1]);
}

void TestChecksum::tieTakesTheRotation()
{
    // The word at 0x1000 equals the seed, so t2 == d on the first step. With "t2 > d" the other
    // branch would be taken and the checksum would differ.
    QByteArray image(0x101000, '\0');
    image.replace(0x40, 4032, bootCodeFor(6102));
    putWord(image, 0x1000, 0xF8CA4DDC);
    quint32 expected[2];
    referenceChecksum(image, 6102, &expected[0], &expected[1]);
    quint32 actual[2] = {};
    QVERIFY(Checksum::calculate(image, 6102, actual));
    QCOMPARE(actual[1], expected[1]);
    // 6101 shares the seed and the combination with 6102.
    quint32 as6101[2] = {};
    QVERIFY(Checksum::calculate(image, 6101, as6101));
    QCOMPARE(as6101[0], actual[0]);
    QCOMPARE(as6101[1], actual[1]);
}

void TestChecksum::only6105ReadsItsSideWords()
{
    QByteArray image = imageFor(6105, 9);
    quint32 before6105[2], before6102[2];
    QVERIFY(Checksum::calculate(image, 6105, before6105));
    QVERIFY(Checksum::calculate(image, 6102, before6102));
    image[0x800] = char(image.at(0x800) ^ 0x40); // inside 0x750..0x84F
    quint32 after6105[2], after6102[2];
    QVERIFY(Checksum::calculate(image, 6105, after6105));
    QVERIFY(Checksum::calculate(image, 6102, after6102));
    QVERIFY(after6105[1] != before6105[1]);
    QCOMPARE(after6102[0], before6102[0]);
    QCOMPARE(after6102[1], before6102[1]);
}

void TestChecksum::shortImagesReadAsZeroPadded()
{
    const QByteArray image = imageFor(6103, 4, 0x54322);
    QByteArray padded = image;
    padded.append(QByteArray(0x101000 - image.size(), '\0'));
    quint32 shortResult[2], paddedResult[2];
    QVERIFY(Checksum::calculate(image, 6103, shortResult));
    QVERIFY(Checksum::calculate(padded, 6103, paddedResult));
    QCOMPARE(shortResult[0], paddedResult[0]);
    QCOMPARE(shortResult[1], paddedResult[1]);
}

void TestChecksum::tinyImageHasNoBootCode()
{
    QCOMPARE(Checksum::bootCodeCrc(crcTable, QByteArray(64, 'x')), 0u);
    QCOMPARE(Checksum::bootChipForCrc(0), 0);
    // A boot code cut short is checksummed over what there is.
    const QByteArray cut = imageFor(6102, 5, 2000);
    QCOMPARE(Checksum::bootCodeCrc(crcTable, cut), referenceCrc32(cut.mid(64)));
}

void TestChecksum::unknownChipComputesNothing()
{
    quint32 result[2] = {7, 8};
    QVERIFY(!Checksum::calculate(imageFor(0, 1), 0, result));
    QCOMPARE(result[0], 7u);
    QCOMPARE(result[1], 8u);
}

QTEST_GUILESS_MAIN(TestChecksum)
#include "tst_checksum.moc"
