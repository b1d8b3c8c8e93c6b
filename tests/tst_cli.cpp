// tidepool-cli run as a process, the way scripts run it: outputs, refusals, exit statuses.
#include "romfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

Run runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TIDEPOOL_CLI_PATH), arguments);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
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
    rlimit original {};
    getrlimit(RLIMIT_FSIZE, &original);
    rlimit limited = original;
    limited.rlim_cur = 1 << 20;
    QProcess process;
    setrlimit(RLIMIT_FSIZE, &limited); // the child inherits it when it starts
    process.start(QStringLiteral(TIDEPOOL_CLI_PATH), {"decompress", rom});
    const bool started = process.waitForStarted();
    setrlimit(RLIMIT_FSIZE, &original);
    QVERIFY(started);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(!QFile::exists(dir->filePath("dec_game.z64")));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
