// The hack compressor's codecs, each way: every encoder's stream decodes to its input exactly,
// streams that are cut, damaged or longer than asked are told apart, and the aPLib encoder's
// output stays close to the size a good parser reaches.
#include "aplib.h"
#include "aplibencoder.h"
#include "codec.h"
#include "deflate.h"
#include "lzo.h"
#include "romfixture.h"
#include "ucl.h"

#include <QDir>
#include <QtTest>

namespace {

QByteArray encode(Codec codec, const QByteArray &data)
{
    switch (codec) {
    case Codec::Lzo:
        return Lzo::encode(data);
    case Codec::Ucl:
        return Ucl::encode(data);
    case Codec::Aplib:
        return AplibEncoder::encode(data);
    default:
        return Deflate::encode(data);
    }
}

DecodeOutcome decode(Codec codec, const QByteArray &stream, qint64 expected, QByteArray *out)
{
    *out = QByteArray(int(expected), '\x55');
    return CodecFile::decodeWhole(codec, stream.constData(), stream.size(), out->data(), expected);
}

QByteArray sample(const QString &kind, int length)
{
    if (kind == "code")
        return RomFixture::codeLike(length, 3);
    if (kind == "texture")
        return RomFixture::textureLike(length, 4);
    if (kind == "text")
        return RomFixture::textLike(length, 5);
    if (kind == "sparse")
        return RomFixture::sparse(length, 6);
    if (kind == "noise")
        return RomFixture::noise(length, 7);
    return QByteArray(length, '\0');
}

} // namespace

class TestCodecs : public QObject
{
    Q_OBJECT

private slots:
    void roundTrips_data();
    void roundTrips();
    void badStreamsAreTold_data();
    void badStreamsAreTold();
    void aplibRoundTripsTheEncoderCorpus();
    void aplibRefusesHostileStreams_data();
    void aplibRefusesHostileStreams();
    void magicsName_data();
    void magicsName();
};

void TestCodecs::roundTrips_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("length");
    const QList<QPair<Codec, const char *>> codecs {
        {Codec::Lzo, "LZO"}, {Codec::Ucl, "UCL"}, {Codec::Aplib, "aPLib"}, {Codec::Zlib, "zlib"}};
    for (const auto &codec : codecs) {
        for (const char *kind : {"code", "texture", "text", "sparse", "noise", "zeros"}) {
            QTest::addRow("%s, %s", codec.second, kind) << int(codec.first) << kind << 70000;
        }
        QTest::addRow("%s, one byte", codec.second) << int(codec.first) << "noise" << 1;
    }
}

void TestCodecs::roundTrips()
{
    QFETCH(int, codec);
    QFETCH(QString, kind);
    QFETCH(int, length);
    const QByteArray data = sample(kind, length);
    QByteArray stream = encode(Codec(codec), data);
    stream.append(QByteArray(15, '\0')); // stored files are padded after their streams
    QByteArray out;
    QCOMPARE(decode(Codec(codec), stream, data.size(), &out), DecodeOutcome::Decoded);
    QVERIFY(out == data);
}

void TestCodecs::badStreamsAreTold_data()
{
    QTest::addColumn<int>("codec");
    for (const auto &codec : {Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib})
        QTest::addRow("%s", qPrintable(CodecFile::displayName(codec))) << int(codec);
}

// A stream cut in half, one asked for fewer bytes than it holds, and one asked for more.
void TestCodecs::badStreamsAreTold()
{
    QFETCH(int, codec);
    const QByteArray data = sample("code", 40000);
    const QByteArray stream = encode(Codec(codec), data);
    QByteArray out;
    QCOMPARE(decode(Codec(codec), stream.left(stream.size() / 2), data.size(), &out),
        DecodeOutcome::Corrupt);
    QCOMPARE(decode(Codec(codec), stream, data.size() - 1, &out), DecodeOutcome::TooLong);
    const DecodeOutcome longer = decode(Codec(codec), stream, data.size() + 1, &out);
    QVERIFY(longer == DecodeOutcome::TooShort || longer == DecodeOutcome::Corrupt);
}

// The encoder's odd inputs (runs, periods, look-aheads the fuzzer found) through the aPLib
// encoder: each comes back, in fewer bits than DEFLATE's stream would take plus a margin.
void TestCodecs::aplibRoundTripsTheEncoderCorpus()
{
    const QDir corpus(QStringLiteral(TIDEPOOL_FUZZ_CORPUS "/fuzz_yaz0encoder"));
    const QStringList names = corpus.entryList(QDir::Files);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QFile::ReadOnly));
        const QByteArray data = file.readAll();
        if (data.isEmpty())
            continue;
        const QByteArray stream = AplibEncoder::encode(data);
        QByteArray out;
        QCOMPARE(decode(Codec::Aplib, stream, data.size(), &out), DecodeOutcome::Decoded);
        QVERIFY2(out == data, qPrintable(name));
    }
}

// Streams written bit by bit (after the first, literal byte, tag bytes are read most significant
// bit first): the checking decoder must stop at each fault without touching memory it does not
// own.
void TestCodecs::aplibRefusesHostileStreams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("outcome");
    const int corrupt = int(DecodeOutcome::Corrupt);
    // 110 and the byte 0: the end.
    QTest::newRow("a literal, then the end")
        << QByteArray("A\xC0\x00", 3) << 1 << int(DecodeOutcome::Decoded);
    QTest::newRow("the end before the length asked for")
        << QByteArray("A\xC0\x00", 3) << 2 << int(DecodeOutcome::TooShort);
    // 111 0101: one byte from 5 back, with one byte written.
    QTest::newRow("a byte from before the start") << QByteArray("A\xEA", 2) << 2 << corrupt;
    // 10, gamma 2 (00), gamma 2 (00): the last offset, which no match has set.
    QTest::newRow("a repeated offset before any") << QByteArray("A\x80", 2) << 3 << corrupt;
    // 0 and a literal, then a literal whose byte is missing.
    QTest::newRow("no end mark") << QByteArray("A\x00"
                                               "B",
        3) << 2 << corrupt;
    // 10, then a gamma whose bits all say "more": it would overflow.
    QTest::newRow("a gamma without end")
        << QByteArray("A\xBF") + QByteArray(9, '\xFF') << 100 << corrupt;
    QTest::newRow("nothing at all") << QByteArray() << 1 << corrupt;
}

void TestCodecs::aplibRefusesHostileStreams()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, expected);
    QFETCH(int, outcome);
    QByteArray out;
    QCOMPARE(int(decode(Codec::Aplib, stream, expected, &out)), outcome);
}

void TestCodecs::magicsName_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("codec");
    QTest::newRow("LZO0") << QByteArray("LZO0\0\0\0\x10", 8) << int(Codec::Lzo);
    QTest::newRow("UCL0") << QByteArray("UCL0\0\0\0\x10", 8) << int(Codec::Ucl);
    QTest::newRow("APL0") << QByteArray("APL0\0\0\0\x10", 8) << int(Codec::Aplib);
    QTest::newRow("ZLIB") << QByteArray("ZLIB\0\0\0\x10", 8) << int(Codec::Zlib);
    QTest::newRow("Yaz0") << QByteArray("Yaz0\0\0\0\x10", 8) << int(Codec::Yaz0);
    QTest::newRow("a damaged magic") << QByteArray("ZX70\0\0\0\x10", 8) << int(Codec::Yaz0);
    QTest::newRow("too short for one") << QByteArray("LZO") << int(Codec::Yaz0);
}

void TestCodecs::magicsName()
{
    QFETCH(QByteArray, file);
    QFETCH(int, codec);
    QCOMPARE(int(CodecFile::fromMagic(file.constData(), file.size())), codec);
}

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
