// tidepool-cli run as a process, the way scripts run it: outputs, refusals, exit statuses.
#include "plancases.h"
#include "romfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

namespace {

struct Run
{
    int status = -1;
    bool crashed = false;
    QString out;
    QString err;
};

// Runs tidepool-cli; input, when given, is written to its standard input, and stdoutFile, when
// given, takes its standard output.
Run runCli(const QStringList &arguments, const QByteArray &input = QByteArray(),
    const QString &stdoutFile = QString())
{
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(TIDEPOOL_CLI_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Starts tidepool-cli with a resource limit (as ulimit sets one), which the child inherits when
// it starts; this process has its own limit back at once.
bool startUnderLimit(QProcess &process, int resource, rlim_t limit, const QStringList &arguments)
{
    rlimit original {};
    getrlimit(resource, &original);
    rlimit limited = original;
    limited.rlim_cur = limit;
    setrlimit(resource, &limited);
    process.start(QStringLiteral(TIDEPOOL_CLI_PATH), arguments);
    const bool started = process.waitForStarted();
    setrlimit(resource, &original);
    return started;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray();
}

RomFixture family(int index)
{
    return index == 0 ? RomFixture::ocarinaLike()
        : index == 1  ? RomFixture::majoraLike()
                      : RomFixture::doubutsuLike();
}

QByteArray inOrder(const QByteArray &rom, const QString &order)
{
    if (order == "v64")
        return RomFixture::toV64(rom);
    if (order == "n64")
        return RomFixture::toN64(rom);
    return rom;
}

// The image the window's job writes for a fixture: the pass's output with the checksums a
// reference implementation computes.
QByteArray expectedImage(RomFixture &fixture, int chip)
{
    QByteArray expected = fixture.expectedOutput();
    quint32 crc1 = 0, crc2 = 0;
    referenceChecksum(expected, chip, &crc1, &crc2);
    putWord(expected, 16, crc1);
    putWord(expected, 20, crc2);
    return expected;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writesWhatTheWindowWrites_data();
    void writesWhatTheWindowWrites();
    void refusesWithItsReason_data();
    void refusesWithItsReason();
    void replacesOnlyWithForce();
    void tableCheckCanBeSkipped();
    void batchGoesOnPastABadRom();
    void infoAsJson();
    void usageErrors_data();
    void usageErrors();
    void fileSizeLimitIsReported();
    void neverWritesOverAnInput_data();
    void neverWritesOverAnInput();
    void racingRunsNeverReplaceEachOther();
    void clashFailsOnlyTheClashingRoms();
    void standardInputAndOutput();
    void directoryIsMade();
    void writeErrorsOnStandardOutputFail_data();
    void writeErrorsOnStandardOutputFail();
    void warnsOfACutOffRom();
    void infoTellsThePlan_data();
    void infoTellsThePlan();
    void compressTellsThePlan_data() { PlanCases::addCompressionRows(); }
    void compressTellsThePlan();
    void lackOfMemoryFailsOneRomAtATime_data();
    void lackOfMemoryFailsOneRomAtATime();
    void messages_data();
    void messages();
    void compressesBackToTheOriginal();

private:
    QString write(const QString &name, const QByteArray &content);
    std::unique_ptr<QTemporaryDir> dir;
};

void TestCli::init()
{
    dir = std::make_unique<QTemporaryDir>();
}

QString TestCli::write(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QFile::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestCli::writesWhatTheWindowWrites_data()
{
    QTest::addColumn<int>("game");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("chip");
    for (const char *order : {"z64", "v64", "n64"}) {
        QTest::addRow("Ocarina of Time, %s", order) << 0 << order << 6105;
        QTest::addRow("Majora's Mask, %s", order) << 1 << order << 6105;
        QTest::addRow("Doubutsu no Mori, %s", order) << 2 << order << 6102;
    }
}

void TestCli::writesWhatTheWindowWrites()
{
    QFETCH(int, game);
    QFETCH(QString, order);
    QFETCH(int, chip);
    RomFixture fixture = family(game);
    const QString rom = write("game." + order, inOrder(fixture.build(), order));
    const Run run = runCli({"decompress", rom});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.err, QString());
    const QByteArray output = readAll(dir->filePath("dec_game.z64"));
    QVERIFY(output == expectedImage(fixture, chip));
}

void TestCli::refusesWithItsReason_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a ROM") << "text"
                               << "This is not a ROM: its first bytes are not those of a z64";
    QTest::newRow("missing") << "missing"
                             << "No such file or directory";
    QTest::newRow("a folder") << "folder"
                              << "It is a folder, not a file";
    QTest::newRow("no build string") << "anonymous"
                                     << "No file table found";
    QTest::newRow("wrong address") << "--table=0x1000"
                                   << "The File Table does not start with 00000000 00001060";
    QTest::newRow("malformed table") << "malformed"
                                     << "Entry 4 of the file table at 0x00007430";
}

void TestCli::refusesWithItsReason()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    QStringList arguments {"decompress"};
    QString path = dir->filePath("game.z64");
    if (kind == "text") {
        rom = QByteArray(4096, 'a');
    } else if (kind == "anonymous") {
        rom.replace(rom.indexOf("zelda@"), 6, "ZELDA#");
    } else if (kind == "malformed") {
        putWord(rom, fixture.tableAddress() + 4 * 16 + 4, 0xFFFFFFF0);
    } else if (kind.startsWith("--")) {
        arguments << kind;
    }
    if (kind == "folder")
        QVERIFY(QDir(dir->path()).mkdir("game.z64"));
    else if (kind != "missing")
        write("game.z64", rom);

    const Run run = runCli(arguments << path);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("tidepool-cli: " + path + ": " + reason), qPrintable(run.err));
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(!QFile::exists(dir->filePath("dec_game.z64")));
}

void TestCli::replacesOnlyWithForce()
{
    const QString rom = write("game.z64", RomFixture::ocarinaLike().build());
    const QString existing = write("dec_game.z64", "old content");
    const Run refused = runCli({"decompress", rom});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.startsWith("tidepool-cli: " + existing + ": "), qPrintable(refused.err));
    QCOMPARE(readAll(existing), QByteArray("old content"));

    QCOMPARE(runCli({"decompress", "-f", rom}).status, 0);
    QCOMPARE(QFileInfo(existing).size(), 0x4000000);
}

void TestCli::tableCheckCanBeSkipped()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    putWord(rom, fixture.tableAddress() + 4, 0x1050); // an unusual first entry
    const QString path = write("game.z64", rom);
    const QString output = dir->filePath("out.z64");
    QCOMPARE(runCli({"decompress", path, "-o", output}).status, 1);
    QVERIFY(!QFile::exists(output));
    QCOMPARE(runCli({"decompress", "--no-table-check", path, "-o", output}).status, 0);
    QCOMPARE(QFileInfo(output).size(), 0x4000000);
}

void TestCli::batchGoesOnPastABadRom()
{
    const QString first = write("first.v64", RomFixture::toV64(RomFixture::majoraLike().build()));
    const QString bad = write("bad.z64", QByteArray(100, 'x'));
    const QString last = write("last.z64", RomFixture::doubutsuLike().build());
    QVERIFY(QDir(dir->path()).mkdir("out"));
    const QString out = dir->filePath("out");
    const Run run = runCli({"decompress", "-j", "2", "-d", out, first, bad, last});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err,
        "tidepool-cli: " + bad
            + ": This is not a ROM: its first bytes are not those of a z64, v64 or n64 ROM\n");
    QCOMPARE(QFileInfo(out + "/dec_first.z64").size(), 0x4000000);
    QCOMPARE(QFileInfo(out + "/dec_last.z64").size(), 0x4000000);
    QVERIFY(!QFile::exists(out + "/dec_bad.z64"));
}

void TestCli::infoAsJson()
{
    RomFixture fixture = RomFixture::majoraLike();
    const QString rom = write("mm.n64", RomFixture::toN64(fixture.build()));
    const Run run = runCli({"info", "--json", rom});
    QCOMPARE(run.status, 0);
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject facts = document.array().at(0).toObject();
    QCOMPARE(facts.value("path").toString(), rom);
    QCOMPARE(facts.value("byteOrder").toString(), QStringLiteral("n64"));
    QCOMPARE(facts.value("game").toString(), QStringLiteral("Majora's Mask NTSC-U"));
    QCOMPARE(facts.value("tableAddress").toString(), QStringLiteral("0x0001A500"));
    QCOMPARE(facts.value("bootChip").toString(), QStringLiteral("CIC-NUS-6105"));
    QCOMPARE(facts.value("files").toInt(), fixture.entries().size());
    QVERIFY(facts.value("compressedFiles").toInt() > 0);
    QCOMPARE(facts.value("alreadyDecompressed").toBool(), false);
    QCOMPARE(facts.value("codec").toString(), QStringLiteral("yaz0"));
    for (const char *key :
        {"size", "title", "gameCode", "region", "revision", "crc1", "crc2", "tableProblem"})
        QVERIFY2(facts.contains(key), key);
    QVERIFY(facts.value("crc1").toObject().contains("good"));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList {};
    QTest::newRow("unknown command") << QStringList {"squash", "a.z64"};
    QTest::newRow("no ROM") << QStringList {"decompress"};
    QTest::newRow("unknown option") << QStringList {"decompress", "--fast", "a.z64"};
    QTest::newRow("-o with two ROMs") << QStringList {"decompress", "-o", "x", "a.z64", "b.z64"};
    QTest::newRow("bad address") << QStringList {"decompress", "--table", "0x", "a.z64"};
    QTest::newRow("ambiguous game") << QStringList {"decompress", "--game", "majora", "a.z64"};
    QTest::newRow("no jobs") << QStringList {"decompress", "-j", "0", "a.z64"};
    QTest::newRow("json for decompress") << QStringList {"decompress", "--json", "a.z64"};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = runCli(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.err.startsWith("tidepool-cli: "));
    QCOMPARE(run.out, QString());
}

// A file size limit (ulimit -f) must give an error, not end the program with SIGXFSZ.
void TestCli::fileSizeLimitIsReported()
{
    const QString rom = write("game.z64", RomFixture::ocarinaLike().build());
    QProcess process;
    QVERIFY(startUnderLimit(process, RLIMIT_FSIZE, 1 << 20, {"decompress", rom}));
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(!QFile::exists(dir->filePath("dec_game.z64")));
}

void TestCli::neverWritesOverAnInput_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "decompress -f"; "a" and "b" are ROMs
    QTest::addColumn<QString>("lost"); // the input that the old behaviour wrote over
    QTest::newRow("another ROM's output") << QStringList {"a.z64", "dec_a.z64"} << "dec_a.z64";
    QTest::newRow("its own output") << QStringList {"-o", "a.z64", "a.z64"} << "a.z64";
    QTest::newRow("through a link") << QStringList {"-o", "link.z64", "a.z64"} << "a.z64";
}

void TestCli::neverWritesOverAnInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, lost);
    const QByteArray rom = RomFixture::ocarinaLike().build();
    write("a.z64", rom);
    write("dec_a.z64", rom);
    QVERIFY(QFile::link(dir->filePath("a.z64"), dir->filePath("link.z64")));
    QDir::setCurrent(dir->path());
    const Run run = runCli(QStringList {"decompress", "-f"} + arguments);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(", an input of this run, which is never written over"),
        qPrintable(run.err));
    QCOMPARE(readAll(dir->filePath(lost)), rom);
}

// Without -f, of two runs that write the same new file one fails; neither replaces the other.
void TestCli::racingRunsNeverReplaceEachOther()
{
    write("a.z64", RomFixture::ocarinaLike().build());
    write("b.z64", RomFixture::majoraLike().build());
    for (int round = 0; round < 3; ++round) {
        const QString output = dir->filePath(QStringLiteral("race%1.z64").arg(round));
        QProcess first, second;
        first.start(TIDEPOOL_CLI_PATH, {"decompress", "-o", output, dir->filePath("a.z64")});
        second.start(TIDEPOOL_CLI_PATH, {"decompress", "-o", output, dir->filePath("b.z64")});
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode() + second.exitCode(), 1);
        QProcess &loser = first.exitCode() ? first : second;
        QVERIFY(loser.readAllStandardError().contains("The file exists; -f replaces it"));
    }
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files).size(), 5); // no temporary file left
}

void TestCli::clashFailsOnlyTheClashingRoms()
{
    const QByteArray rom = RomFixture::ocarinaLike().build();
    QVERIFY(QDir(dir->path()).mkpath("x") && QDir(dir->path()).mkpath("y"));
    const QStringList clashing {write("x/game.z64", rom), write("y/game.v64", rom),
        write("game.n64", RomFixture::toN64(rom))};
    const QString other = write("other.z64", rom);
    const QString out = dir->filePath("out");
    const Run run = runCli(QStringList {"decompress", "-d", out} + clashing + QStringList {other});
    QCOMPARE(run.status, 1);
    for (const QString &path : clashing)
        QVERIFY2(run.err.contains("tidepool-cli: " + path
                     + ": Another ROM of this run would be "
                       "written to "
                     + out + "/dec_game.z64 too"),
            qPrintable(run.err));
    QCOMPARE(run.err.count('\n'), 3);
    QVERIFY(!QFile::exists(out + "/dec_game.z64"));
    QCOMPARE(QFileInfo(out + "/dec_other.z64").size(), 0x4000000);
}

void TestCli::standardInputAndOutput()
{
    RomFixture fixture = RomFixture::majoraLike();
    const QByteArray v64 = RomFixture::toV64(fixture.build());
    const QString rom = write("mm.v64", v64);
    const QByteArray expected = expectedImage(fixture, 6105);

    const QString piped = dir->filePath("piped.z64");
    QCOMPARE(runCli({"decompress", "-o", "-", rom}, {}, piped).status, 0);
    QVERIFY(readAll(piped) == expected);

    const QString fromInput = dir->filePath("from-input.z64");
    QCOMPARE(runCli({"decompress", "-o", fromInput, "-"}, v64).status, 0);
    QVERIFY(readAll(fromInput) == expected);

    const Run noOutput = runCli({"decompress", "-"}, v64);
    QCOMPARE(noOutput.status, 2);
    QVERIFY(noOutput.err.contains("needs -o"));
    QVERIFY(!QFile::exists("-") && !QFile::exists(dir->filePath("-")));
}

void TestCli::directoryIsMade()
{
    const QString rom = write("game.z64", RomFixture::doubutsuLike().build());
    const QString out = dir->filePath("new/deeper");
    QCOMPARE(runCli({"decompress", "-d", out, rom}).status, 0);
    QCOMPARE(QFileInfo(out + "/dec_game.z64").size(), 0x4000000);
    // A folder given as the output file is named as such.
    const Run folder = runCli({"decompress", "-f", "-o", out, rom});
    QCOMPARE(folder.status, 1);
    QCOMPARE(folder.err, "tidepool-cli: " + out + ": It is a folder, not a file\n");
}

void TestCli::writeErrorsOnStandardOutputFail_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("info") << QStringList {"info"};
    QTest::newRow("info --json") << QStringList {"info", "--json"};
    QTest::newRow("--list-games") << QStringList {"--list-games"};
}

void TestCli::writeErrorsOnStandardOutputFail()
{
    QFETCH(QStringList, arguments);
    if (arguments.first() == "info")
        arguments << write("game.z64", RomFixture::ocarinaLike().build());
    const Run run = runCli(arguments, {}, "/dev/full");
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QStringLiteral("tidepool-cli: write error: No space left on device\n"));
}

void TestCli::warnsOfACutOffRom()
{
    const QString rom = write("cut.z64", RomFixture::ocarinaLike().build().left(50936));
    const Run run = runCli({"decompress", rom});
    QCOMPARE(run.status, 0);
    QVERIFY2(QRegularExpression("^tidepool-cli: " + QRegularExpression::escape(rom)
                 + ": warning: \\d+ of \\d+ files lie past the end of the ROM, which is 50936 "
                   "bytes long \\(it looks cut off\\)\n$")
                 .match(run.err)
                 .hasMatch(),
        qPrintable(run.err));
    QCOMPARE(runCli({"decompress", "-q", "-f", rom}).err, QString());

    const Run info = runCli({"info", "--json", rom});
    const QJsonObject facts = QJsonDocument::fromJson(info.out.toUtf8()).array().at(0).toObject();
    QCOMPARE(facts.value("warnings").toArray().size(), 1);
    QVERIFY(run.err.contains(facts.value("warnings").toArray().at(0).toString()));
}

// info tells what decompressing will do: the plan's cases, on the program's own list of dumps.
void TestCli::infoTellsThePlan_data()
{
    PlanCases::addFrontEndRows();
}

void TestCli::infoTellsThePlan()
{
    QFETCH(int, index);
    const PlanCases::Case &c = PlanCases::all().at(index);
    const Run run = runCli({"info", "--json", write("case.z64", c.rom)});
    QCOMPARE(run.status, 0);
    const QJsonObject facts = QJsonDocument::fromJson(run.out.toUtf8()).array().at(0).toObject();
    const bool found = c.refusal != PlanCases::Refusal::NoTableFound;
    QCOMPARE(facts.value("tableAddress").toString(),
        found ? QStringLiteral("0x%1")
                    .arg(c.tableAddress, 8, 16, QLatin1Char('0'))
                    .toUpper()
                    .replace("0X", "0x")
              : QString());
    QCOMPARE(facts.value("tableProblem").isNull(), c.refusal == PlanCases::Refusal::None);
    QCOMPARE(facts.value("codec").toString(), c.codec);
    const QJsonArray warnings = facts.value("warnings").toArray();
    QCOMPARE(warnings.size(), c.warnings.size());
    for (int i = 0; i < c.warnings.size(); ++i)
        QVERIFY2(warnings.at(i).toString().contains(c.warnings.at(i)),
            qPrintable(warnings.at(i).toString()));
}

// compress says what the way back's plan says, naming the input it is about.
void TestCli::compressTellsThePlan()
{
    QFETCH(int, index);
    const PlanCases::CompressionCase &c = PlanCases::compressionCases().at(index);
    const QString rom = write("dec_game.z64", c.rom);
    const QString output = dir->filePath("cmp_game.z64");
    QStringList arguments {"compress", "-o", output};
    if (!c.codec.isEmpty())
        arguments << "--codec" << c.codec;
    if (c.megabytes > 0)
        arguments << "--mb" << QString::number(c.megabytes);
    if (c.original.isEmpty())
        arguments << "--files" << c.ranges;
    else
        arguments << "--like" << write("original.z64", c.original);
    const Run run = runCli(arguments << rom);
    QCOMPARE(run.status, c.refused ? 1 : 0);
    QCOMPARE(QFile::exists(output), !c.refused);
    if (c.identical)
        QVERIFY(readAll(output) == c.original);
    if (c.megabytes > 0 && !c.refused)
        QCOMPARE(QFileInfo(output).size(), qint64(c.megabytes) << 20);
    if (!c.refused)
        return;
    const QString path = c.aboutOriginal ? arguments.at(arguments.size() - 2) : rom;
    QVERIFY2(run.err.startsWith("tidepool-cli: " + path + ": ") && run.err.contains(c.reason),
        qPrintable(run.err));
    QVERIFY(!c.aboutOriginal || run.err.contains(": ORIGINAL "));
}

// Under a memory limit too small for every ROM of a batch, those that do not fit fail with a
// message and the program ends normally.
void TestCli::lackOfMemoryFailsOneRomAtATime_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::newRow("decompress") << QStringList {"decompress", "-j", "2"};
    // Its files are encoded on threads of their own: what they run out of must come back.
    QTest::newRow("compress") << QStringList {"compress", "-j", "2", "--files", "3-END"};
}

void TestCli::lackOfMemoryFailsOneRomAtATime()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers reserve more address space than the limit allows");
#endif
    QFETCH(QStringList, command);
    RomFixture fixture = RomFixture::ocarinaLike();
    const QByteArray rom
        = command.first() == "decompress" ? fixture.build() : expectedImage(fixture, 6105);
    QStringList roms;
    for (int i = 0; i < 4; ++i)
        roms << write(QStringLiteral("rom%1.z64").arg(i), rom);
    QProcess process;
    QVERIFY(startUnderLimit(process, RLIMIT_AS, 250 << 20, command + roms));
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QStringList errors
        = QString::fromLocal8Bit(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(process.exitCode(), errors.isEmpty() ? 0 : 1);
    for (const QString &line : errors)
        QVERIFY2(line.endsWith(": not enough memory"), qPrintable(line));
}

void TestCli::messages_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("start"); // how stdout (status 0) or stderr begins
    QTest::newRow("--help-all") << QStringList {"--help-all"} << 0
                                << "Usage: tidepool-cli COMMAND [options] [--] ROM...\n";
    QTest::newRow("a command's help") << QStringList {"decompress", "--help"} << 0
                                      << "Usage: tidepool-cli decompress [options] [--] ROM...\n";
    QTest::newRow("a file that looks like an option")
        << QStringList {"decompress", "-x.z64"} << 2
        << "tidepool-cli: unknown option '-x.z64' (to name a file that starts with '-', put "
           "'--' before it)\n";
    QTest::newRow("empty game") << QStringList {"decompress", "--game", "", "a.z64"} << 2
                                << "tidepool-cli: no game named";
    QTest::newRow("ambiguous game")
        << QStringList {"decompress", "--game", "ocarina of time ntsc", "a.z64"} << 2
        << "tidepool-cli: \"ocarina of time ntsc\" could be any of \"Ocarina of Time NTSC 1.0 & "
           "1.1\", \"Ocarina of Time NTSC 1.2\" (see --list-games)\n";
    QTest::newRow("address out of range")
        << QStringList {"decompress", "--table", "0x80000000", "a.z64"} << 2
        << "tidepool-cli: \"0x80000000\" is out of range: the largest file table address is "
           "0x7FFFFFFF\n";
    QTest::newRow("an option of another command")
        << QStringList {"info", "-q", "a.z64"} << 2 << "tidepool-cli: '-q' goes with decompress";
    QTest::newRow("empty output") << QStringList {"decompress", "-o", "", "a.z64"} << 2
                                  << "tidepool-cli: -o needs a file name\n";
    QTest::newRow("empty folder") << QStringList {"decompress", "-d", "", "a.z64"} << 2
                                  << "tidepool-cli: -d needs a folder\n";
    QTest::newRow("compress without a layout")
        << QStringList {"compress", "a.z64"} << 2
        << "tidepool-cli: compress needs --like ORIGINAL or --files RANGES, one of them\n";
    QTest::newRow("compress with both layouts")
        << QStringList {"compress", "--like", "b.z64", "--files", "1-END", "a.z64"} << 2
        << "tidepool-cli: compress needs --like ORIGINAL or --files RANGES, one of them\n";
    QTest::newRow("ranges that are not ranges")
        << QStringList {"compress", "--files", "9-3", "a.z64"} << 2
        << "tidepool-cli: --files takes table indices such as 10-941,1000-END, not \"9-3\"\n";
    QTest::newRow("an original from standard input") << QStringList {"compress", "--like", "-",
        "a.z64"} << 2 << "tidepool-cli: ORIGINAL cannot be standard input\n";
}

void TestCli::messages()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, start);
    const Run run = runCli(arguments);
    QCOMPARE(run.status, status);
    const QString &text = status == 0 ? run.out : run.err;
    QVERIFY2(text.startsWith(start), qPrintable(text));
}

// decompress, then compress like the original: the original's big-endian bytes, beside the ROM
// as cmp_NAME.z64; a ROM that is still compressed, or an output that is the original, is refused.
void TestCli::compressesBackToTheOriginal()
{
    RomFixture fixture = RomFixture::doubutsuLike();
    fixture.storeLikeAnOriginal();
    const QByteArray original = fixture.build();
    const QString originalPath = write("animal.n64", RomFixture::toN64(original));
    QCOMPARE(runCli({"decompress", originalPath}).status, 0);
    const QString decompressed = dir->filePath("dec_animal.z64");

    const Run run = runCli({"compress", "--like", originalPath, decompressed});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out + run.err, QString());
    QVERIFY(readAll(dir->filePath("cmp_dec_animal.z64")) == original);

    const Run compressed = runCli({"compress", "--files", "3-END", "-o", "-", originalPath});
    QCOMPARE(compressed.status, 1);
    QVERIFY2(compressed.err.contains("This ROM is still compressed"), qPrintable(compressed.err));
    const Run overOriginal
        = runCli({"compress", "-f", "--like", originalPath, "-o", originalPath, decompressed});
    QCOMPARE(overOriginal.status, 1);
    QVERIFY(overOriginal.err.contains("which is never written over"));
    QCOMPARE(readAll(originalPath), RomFixture::toN64(original));
    // Ranges are checked against the table once it is read: naming no entry is a usage error.
    const Run noSuchEntries = runCli({"compress", "-o", "-", "--files", "5000-6000", decompressed});
    QCOMPARE(noSuchEntries.status, 2);
    QVERIFY2(
        noSuchEntries.err.contains(": 5000-6000 names no entry"), qPrintable(noSuchEntries.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
