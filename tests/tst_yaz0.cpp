// The Yaz0 decoder: the format's corner cases, malformed streams, and agreement with a plain
// byte-at-a-time decoder on random input.
#include "romfixture.h"
#include "yaz0.h"
#include "yaz0encoder.h"
#include "yaz0matchingencoder.h"
#include "yaz0rule.h"

#include <QRandomGenerator>
#include <QtTest>

Q_DECLARE_METATYPE(Yaz0::Kernel)

namespace {

// The decoding rules written out one byte at a time, as the format describes them, to check the
// fast decoder against.
QByteArray referenceDecode(const QByteArray &stream, qint32 declaredSize)
{
    QByteArray out;
    int in = 0;
    const auto next = [&]() -> uchar { return in < stream.size() ? uchar(stream.at(in++)) : 0; };
    int bits = 0;
    uchar header = 0;
    while (out.size() < declaredSize) {
        if (bits == 0) {
            header = next();
            bits = 8;
        }
        if (header & 0x80) {
            out.append(char(next()));
        } else {
            const uchar b1 = next();
            const uchar b2 = next();
            const int distance = ((b1 & 0x0F) << 8) | b2;
            const int count = (b1 >> 4) ? (b1 >> 4) + 2 : next() + 0x12;
            int source = std::max(0, int(out.size()) - distance - 1);
            for (int i = 0; i < count; ++i)
                out.append(out.isEmpty() ? '\0' : out.at(source++));
        }
        header <<= 1;
        --bits;
    }
    return out;
}

// Decodes with the chosen main loop, into a buffer with the slack the decoder asks for and a
// guard after it that must stay as it was.
QByteArray decodeWith(const QByteArray &stream, qint32 declaredSize, Yaz0::Kernel kernel)
{
    constexpr int guardSize = 64;
    const int room = Yaz0::cappedDeclaredSize(declaredSize) + Yaz0::outputSlack;
    QByteArray out(room + guardSize, '\x5A');
    const qint64 produced
        = Yaz0::decodeInto(stream.constData(), stream.size(), declaredSize, out.data(), kernel);
    if (out.mid(room) != QByteArray(guardSize, '\x5A'))
        return QByteArrayLiteral("wrote past the slack");
    out.truncate(int(produced));
    return out;
}

// Every distance under 18 with runs of many lengths: copies that overlap their own output by
// each amount, shorter and longer than one 16-byte block.
QByteArray shortPeriods()
{
    QByteArray data;
    quint32 seed = 1;
    for (int period = 1; period <= 17; ++period) {
        for (const int length : {3, 15, 16, 17, 18, 31, 33, 100, 273, 600}) {
            const QByteArray pattern = RomFixture::noise(period, seed++);
            data += pattern.repeated(length / period + 1).left(length + period);
            data += RomFixture::noise(5, seed++);
        }
    }
    return data;
}

void addKernelRows()
{
    QTest::addColumn<Yaz0::Kernel>("kernel");
    QTest::newRow("fastest") << Yaz0::Kernel::Fastest;
    QTest::newRow("portable") << Yaz0::Kernel::Portable;
}

} // namespace

class TestYaz0 : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void longestReferenceReachesExactly4096Back();
    void roundTrips_data();
    void roundTrips();
    void agreesWithPlainDecoderOnRandomStreams_data();
    void agreesWithPlainDecoderOnRandomStreams();
    void hugeDeclaredSizeIsCapped();
    void longestReferenceAtTheGoalStaysInSlack_data();
    void longestReferenceAtTheGoalStaysInSlack();
    void matchingEncoderKnownAnswers_data();
    void matchingEncoderKnownAnswers();
    void matchingEncoderFollowsTheRule_data();
    void matchingEncoderFollowsTheRule();
    void partedFileIsTheWholeFile_data();
    void partedFileIsTheWholeFile();
};

void TestYaz0::decodes_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("declaredSize");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("two literals, overlapping copy")
        << QByteArray::fromHex("C061622001") << 6 << QByteArray("ababab");
    QTest::newRow("three-byte form, distance 1")
        << QByteArray::fromHex("8078000002") << 21 << QByteArray(21, 'x');
    QTest::newRow("two-byte form at 17")
        << QByteArray::fromHex("8041F000") << 16 << QByteArray(18, 'A');
    QTest::newRow("three-byte form at 18")
        << QByteArray::fromHex("8041000000") << 19 << QByteArray(19, 'A');
    QTest::newRow("declared 0 reads nothing") << QByteArray() << 0 << QByteArray();
    QTest::newRow("declared negative") << QByteArray::fromHex("FF41") << -5 << QByteArray();
    QTest::newRow("empty stream gives one zero reference")
        << QByteArray() << 5 << QByteArray(18, '\0');
    QTest::newRow("last reference runs 3 past")
        << QByteArray::fromHex("C061622001") << 3 << QByteArray("ababab");
    QTest::newRow("output longer than declared")
        << QByteArray::fromHex("C061621001") << 4 << QByteArray("ababa");
    QTest::newRow("truncated: repeats the last byte")
        << QByteArray::fromHex("E0616263") << 30 << QByteArray("abc") + QByteArray(36, 'c');
    QTest::newRow("reference before start copies from 0")
        << QByteArray::fromHex("C0616220FF") << 6 << QByteArray("ababab");
    QTest::newRow("header FF: eight literals")
        << QByteArray::fromHex("FF3132333435363738") << 8 << QByteArray("12345678");
    QTest::newRow("stops mid-group")
        << QByteArray::fromHex("FF3132333435363738") << 3 << QByteArray("123");
}

void TestYaz0::decodes()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, declaredSize);
    QFETCH(QByteArray, expected);
    QCOMPARE(decodeYaz0(stream, declaredSize), expected);
    QCOMPARE(decodeYaz0(stream, declaredSize), referenceDecode(stream, declaredSize));
}

void TestYaz0::longestReferenceReachesExactly4096Back()
{
    // 4096 literals 0..255 repeating, then one reference with D = 4095 and count 273.
    const QByteArray literals = RomFixture::noise(4096, 42);
    QByteArray stream;
    for (int i = 0; i < 4096; i += 8)
        stream += QByteArray(1, '\xFF') + literals.mid(i, 8);
    stream += QByteArray::fromHex("000FFFFF");
    const QByteArray decoded = decodeYaz0(stream, 4096 + 273);
    QCOMPARE(decoded.size(), 4096 + 273);
    QCOMPARE(decoded.mid(4096), literals.left(273));
}

void TestYaz0::roundTrips_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("code") << RomFixture::codeLike(30000, 1);
    QTest::newRow("texture") << RomFixture::textureLike(20000, 2);
    QTest::newRow("text") << RomFixture::textLike(12345, 3);
    QTest::newRow("sparse") << RomFixture::sparse(40000, 4);
    QTest::newRow("noise") << RomFixture::noise(5000, 5);
    QTest::newRow("zeros") << QByteArray(100000, '\0');
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("short period") << QByteArray("abcdefg").repeated(999);
    QTest::newRow("periods 1 to 17") << shortPeriods();
}

void TestYaz0::roundTrips()
{
    QFETCH(QByteArray, data);
    const QByteArray file = Yaz0Encoder::encodeFile(data);
    QCOMPARE(file.left(4), QByteArray("Yaz0"));
    const QByteArray stream = file.mid(16);
    QCOMPARE(decodeYaz0(stream, data.size()), data);
    QCOMPARE(decodeWith(stream, data.size(), Yaz0::Kernel::Portable), data);
}

void TestYaz0::agreesWithPlainDecoderOnRandomStreams_data()
{
    addKernelRows();
}

void TestYaz0::agreesWithPlainDecoderOnRandomStreams()
{
    QFETCH(Yaz0::Kernel, kernel);
    QRandomGenerator random(2024);
    for (int round = 0; round < 3000; ++round) {
        // Every tenth stream is long enough for whole groups far from the start and the goal.
        const bool longStream = round % 10 == 0;
        QByteArray stream(random.bounded(1, longStream ? 6000 : 200), '\0');
        for (char &c : stream)
            c = char(random.generate());
        // Favour literal-heavy headers now and then, to reach the literal runs.
        if (round % 3 == 0)
            stream[0] = char(0xF0 | random.bounded(16));
        const qint32 declared = random.bounded(-2, longStream ? 40000 : 3000);
        const QByteArray expected = referenceDecode(stream, declared);
        const QByteArray actual = decodeWith(stream, declared, kernel);
        if (actual != expected)
            QFAIL(qPrintable(QStringLiteral("round %1: stream %2 (%3 bytes), declared %4")
                                 .arg(round)
                                 .arg(QString::fromLatin1(stream.left(64).toHex()))
                                 .arg(stream.size())
                                 .arg(declared)));
    }
}

void TestYaz0::hugeDeclaredSizeIsCapped()
{
    const QByteArray decoded = decodeYaz0(QByteArray::fromHex("80AA"), 0x7FFFFFFF);
    QVERIFY(decoded.size() >= Yaz0::maxDeclaredSize);
    QVERIFY(decoded.size() <= Yaz0::maxDeclaredSize + Yaz0::maxOverrun);
    QCOMPARE(decoded.count('\xAA'), decoded.size());
}

void TestYaz0::longestReferenceAtTheGoalStaysInSlack_data()
{
    QTest::addColumn<Yaz0::Kernel>("kernel");
    QTest::addColumn<int>("distance");
    for (const auto &[name, kernel] : {std::pair("fastest", Yaz0::Kernel::Fastest),
             std::pair("portable", Yaz0::Kernel::Portable)}) {
        for (const int distance : {1, 2, 3, 5, 8, 15, 16, 17, 40})
            QTest::addRow("%s, distance %d", name, distance) << kernel << distance;
    }
}

void TestYaz0::longestReferenceAtTheGoalStaysInSlack()
{
    // 40 literals, then a 273-byte reference one byte before the goal, with plenty of stream
    // after it so that the decoder's unchecked loops take it.
    QFETCH(Yaz0::Kernel, kernel);
    QFETCH(int, distance);
    const QByteArray literals = RomFixture::noise(40, 9);
    QByteArray stream;
    for (int i = 0; i < literals.size(); i += 8)
        stream += QByteArray(1, '\xFF') + literals.mid(i, 8);
    stream += char(0x00);
    stream += char((distance - 1) >> 8);
    stream += char(distance - 1);
    stream += char(0xFF);
    stream += QByteArray(64, '\0');
    const QByteArray decoded = decodeWith(stream, literals.size() + 1, kernel);
    QCOMPARE(decoded, referenceDecode(stream, literals.size() + 1));
    QCOMPARE(decoded.size(), literals.size() + 273);
}

void TestYaz0::matchingEncoderKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("stream");
    // Worked out by hand from the rule.
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("two bytes: literals") << QByteArray("ab") << QByteArray::fromHex("C06162");
    QTest::newRow("a match overlapping what it makes")
        << QByteArray("abcabcabc") << QByteArray::fromHex("E06162634002");
    // At "abcdefg" the match "abc" has 3 bytes, "bcdefg" one further has 6: a literal first.
    QTest::newRow("a longer match one byte on")
        << QByteArray("abcXbcdefgYabcdefg")
        << QByteArray::fromHex("FF6162635862636465F06667596140"
                               "07");
    QTest::newRow("18 bytes and more: three-byte token")
        << QByteArray(40, 'z') << QByteArray::fromHex("807A000015");
}

void TestYaz0::matchingEncoderKnownAnswers()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, stream);
    QCOMPARE(
        Yaz0MatchingEncoder::encodeStream(data.constData(), data.size()).toHex(), stream.toHex());
}

void TestYaz0::matchingEncoderFollowsTheRule_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("zeros past the window") << QByteArray(9000, '\0');
    QTest::newRow("text") << RomFixture::textLike(20000, 1);
    QTest::newRow("code") << RomFixture::codeLike(20000, 2);
    QTest::newRow("textures") << RomFixture::textureLike(12000, 3);
    QTest::newRow("sparse") << RomFixture::sparse(12000, 4);
    QTest::newRow("noise") << RomFixture::noise(5000, 5);
    // Repeats exactly 0x1000 and 0x1001 bytes apart: one in the window, one just out of it.
    QByteArray farApart = RomFixture::noise(0x1100, 6);
    farApart += farApart.left(300) + RomFixture::noise(1, 7) + farApart.mid(1, 300);
    QTest::newRow("matches at the window's edge") << farApart;
    QByteArray periodic;
    for (int i = 0; i < 3000; ++i)
        periodic += char("abcabdabcabe"[i % 12]) + QByteArray(i % 7 == 0 ? 1 : 0, 'q');
    QTest::newRow("short periods") << periodic;
    // Every earlier pair in the window matches to the limit, the last ones to the end of the data.
    QTest::newRow("two bytes repeated") << QByteArray("ab").repeated(3000);
    // Runs of a few bytes, of every length, that end alike: where runs, not chains, find matches.
    QByteArray runs;
    for (quint32 i = 1; runs.size() < 12000; ++i)
        runs += QByteArray(int(i * 2654435761u % 41), "\0\1\xFF"[i * 40503u % 3]);
    QTest::newRow("runs that end alike") << runs;
}

// The fast encoder makes the choices of the rule written out plainly, and its output decodes to
// what went in.
void TestYaz0::matchingEncoderFollowsTheRule()
{
    QFETCH(QByteArray, data);
    const QByteArray fast = Yaz0MatchingEncoder::encodeStream(data.constData(), data.size());
    QCOMPARE(fast.toHex(), Yaz0Rule::encodeStream(data).toHex());
    QCOMPARE(decodeYaz0(fast, data.size()), data);
    const QByteArray file = Yaz0MatchingEncoder::encodeFile(data);
    QCOMPARE(file.left(4), QByteArray("Yaz0"));
    QCOMPARE(Yaz0::declaredSize(file.constData(), file.size()), qint32(data.size()));
    QCOMPARE(file.mid(8, 8), QByteArray(8, '\0'));
}

void TestYaz0::partedFileIsTheWholeFile_data()
{
    constexpr int part = Yaz0MatchingEncoder::PartedFile::defaultPartSize;
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("partSize");
    QTest::newRow("code, parts and a bit") << RomFixture::codeLike(2 * part + 1234, 8) << part;
    QTest::newRow("noise, exactly two parts") << RomFixture::noise(2 * part, 10) << part;
    // A run that starts long before a part and ends inside the next: the window before the part
    // begins in the middle of it.
    QByteArray run = RomFixture::textureLike(part - 5000, 11) + QByteArray(part + 9000, '\0')
        + RomFixture::sparse(part, 12);
    QTest::newRow("a run across a part's start") << run << part;
    // Long matches everywhere: parts meet only after many tokens of 0x111 bytes.
    QTest::newRow("one short period") << QByteArray("tidepool").repeated(part / 3) << part;
    QTest::newRow("a single part") << RomFixture::codeLike(part / 2, 13) << part;
    // Parts shorter than the window, than a match, than a token.
    QTest::newRow("text, small parts") << RomFixture::textLike(200000, 9) << 3000;
    QTest::newRow("runs, parts of 100 bytes")
        << QByteArray(5000, 'a') + QByteArray(5000, 'b') << 100;
    QTest::newRow("code, parts of one byte") << RomFixture::codeLike(3000, 15) << 1;
    QTest::newRow("nothing at all") << QByteArray() << part;
}

// Encoded in parts, each on its own (the last first), a file comes out byte for byte as encoded
// whole.
void TestYaz0::partedFileIsTheWholeFile()
{
    QFETCH(QByteArray, data);
    QFETCH(int, partSize);
    Yaz0MatchingEncoder::PartedFile parted(data, partSize);
    for (int i = parted.parts() - 1; i >= 0; --i)
        parted.encodePart(i);
    QVERIFY(parted.file() == Yaz0MatchingEncoder::encodeFile(data));
}

QTEST_GUILESS_MAIN(TestYaz0)
#include "tst_yaz0.moc"
