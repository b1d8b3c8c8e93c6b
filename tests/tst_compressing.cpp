// File -> Compress... through the real window: the original found each way, the job cancelled,
// refusals before any dialog, and the known-dump line. The layouts are the core's tests' part.
#include "knowndumps.h"
#include "mainwindow.h"
#include "modaldialogs.h"
#include "plancases.h"
#include "romfixture.h"
#include "romjob.h"
#include "windowdriver.h"
#include "windowtest.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

using namespace WindowDriver;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray();
}

// An original as the games store theirs, which compressing its decompressed image gives back.
QByteArray originalRom(int extraFiles = 0)
{
    RomFixture fixture = RomFixture::ocarinaLike();
    for (int i = 0; i < extraFiles; ++i)
        fixture.addFile(
            RomFixture::textLike(20000 + 97 * i, quint32(i)), RomFixture::Storage::Compressed);
    fixture.storeLikeAnOriginal();
    return fixture.build();
}

} // namespace

class TestCompressing : public WindowTest
{
    Q_OBJECT

private slots:
    void compressesLikeTheOriginal_data();
    void compressesLikeTheOriginal();
    void cancelStopsAndWritesNothing();
    void closingStopsAndWritesNothing();
    void compressingAgainShowsTheLastResultOnly();
    void refusesACompressedRomBeforeAnyDialog();
    void windowTellsThePlan_data() { PlanCases::addCompressionRows(false); }
    void windowTellsThePlan();

private:
    void load(MainWindow &window, const QString &path);
    // Decompresses the ROM at path into outputPath, as the command line does.
    void decompress(const QString &path, const QString &outputPath);
    void decompressInTheWindow(MainWindow &window, const QString &path, const QString &outputPath);
};

void TestCompressing::load(MainWindow &window, const QString &path)
{
    dropFiles(window, {path});
    QTRY_VERIFY_WITH_TIMEOUT(compressAction(window)->isEnabled(), 20000);
    QTRY_VERIFY(!romFacts(window).startsWith("Looking"));
}

void TestCompressing::decompress(const QString &path, const QString &outputPath)
{
    RomJob::Request request;
    request.romPath = path;
    request.outputPath = outputPath;
    const RomJob::Result result = RomJob::decompressFile(request);
    QVERIFY2(result.ok(), qPrintable(result.refusal.text));
}

void TestCompressing::decompressInTheWindow(
    MainWindow &window, const QString &path, const QString &outputPath)
{
    ModalDialogs dialogs;
    load(window, path);
    dialogs.queueFilePath(outputPath);
    decompressButton(window)->click();
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
    QVERIFY(dialogs.failures.isEmpty());
}

void TestCompressing::compressesLikeTheOriginal_data()
{
    QTest::addColumn<QString>("found"); // how the original is found
    QTest::addColumn<bool>("known"); // the original is in the window's list of known dumps
    QTest::newRow("remembered when it was decompressed") << "remembered" << false;
    QTest::newRow("beside it, without dec_") << "beside" << true;
    QTest::newRow("beside it, in v64 order") << "beside v64" << false;
    QTest::newRow("chosen: no suggestion") << "chosen" << false;
    QTest::newRow("chosen instead of the suggestion") << "another" << false;
}

void TestCompressing::compressesLikeTheOriginal()
{
    QFETCH(QString, found);
    QFETCH(bool, known);
    const QByteArray original = originalRom();
    // The suggestion, when there is one, is a copy; the original chosen is another file.
    const bool v64 = found == "beside v64";
    if (v64)
        found = "beside";
    const QString suggested = v64 ? writeFile("game.v64", RomFixture::toV64(original))
                                  : writeFile("game.z64", original);
    const QString chosen = writeFile("elsewhere.z64", original);
    const QString decompressed
        = testPath(found == "beside" || found == "another" ? "dec_game.z64" : "mine.z64");
    const QByteArray md5 = QCryptographicHash::hash(original, QCryptographicHash::Md5).toHex();
    const KnownDumps::Dump dump {
        "Test Dump (USA)", md5.constData(), 0x7430, KnownDumps::Compression::Yaz0};

    MainWindow window;
    if (known)
        window.useKnownDumps({&dump, 1});
    if (found == "remembered")
        decompressInTheWindow(window, suggested, decompressed);
    else
        decompress(suggested, decompressed);
    ModalDialogs dialogs;
    load(window, decompressed);
    QVERIFY(romFacts(window).contains(QStringLiteral("File \u2192 Compress... rebuilds")));
    if (found == "another")
        dialogs.queueButtonText("Choose another...");
    else if (found != "chosen")
        dialogs.queueButtonText("Compress");
    if (found == "chosen" || found == "another")
        dialogs.queueFilePath(chosen);
    const QString output = testPath("cmp_out.z64");
    dialogs.queueFilePath(output);
    compressAction(window)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);

    const QStringList expectedDialogs = found == "chosen" || found == "another"
        ? QStringList {"Original ROM", "Save File"}
        : QStringList {"Save File"};
    QCOMPARE(dialogs.fileDialogTitles, expectedDialogs);
    QCOMPARE(QFileInfo(dialogs.fileDialogSelections.last()).fileName(),
        found == "beside" || found == "another" ? QStringLiteral("cmp_game.z64")
                                                : QStringLiteral("cmp_mine.z64"));
    if (found != "chosen") {
        QCOMPARE(dialogs.messageBoxes.size(), 1);
        QVERIFY2(dialogs.messageBoxes.first().text.contains(QFileInfo(suggested).fileName()),
            qPrintable(dialogs.messageBoxes.first().text));
    } else {
        QVERIFY(dialogs.messageBoxes.isEmpty());
    }
    QVERIFY(readAll(output) == original);
    const QString facts = romFacts(window);
    QVERIFY2(facts.contains("Saved to") && facts.contains("files compressed, 0 moved"),
        qPrintable(facts));
    QCOMPARE(facts.contains("Identical to the original dump: Test Dump (USA)"), known);
    QVERIFY(compressAction(window)->isEnabled());
}

// Cancel stops the job within a moment; nothing is written, and the window takes the next job.
void TestCompressing::cancelStopsAndWritesNothing()
{
    const QString original = writeFile("game.z64", originalRom(100));
    const QString decompressed = testPath("dec_game.z64");
    decompress(original, decompressed);
    MainWindow window;
    ModalDialogs dialogs;
    load(window, decompressed);
    dialogs.queueButtonText("Compress");
    const QString output = testPath("cmp_game.z64");
    dialogs.queueFilePath(output);
    compressAction(window)->trigger();
    auto *progress = window.findChild<QProgressDialog *>();
    QVERIFY(progress);
    QCOMPARE(progress->labelText(), QStringLiteral("Compressing"));
    QVERIFY(!compressAction(window)->isEnabled());
    auto *cancel = progress->findChild<QPushButton *>();
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    cancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(compressAction(window)->isEnabled(), 10000);
    QVERIFY2(statusMessage(window).startsWith("Compression cancelled"),
        qPrintable(statusMessage(window)));
    QVERIFY(romFacts(window).endsWith("\nCompression cancelled: nothing was written"));
    QTest::qWait(50);
    QVERIFY(!QFile::exists(output));
    QCOMPARE(QDir(testFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(dialogs.failures.isEmpty());
}

// Closing the window while it compresses stops the job as Cancel does. The Compressing dialog
// blocks nothing, so a close from the window manager reaches the window at all.
void TestCompressing::closingStopsAndWritesNothing()
{
    const QString original = writeFile("game.z64", originalRom(100));
    const QString decompressed = testPath("dec_game.z64");
    decompress(original, decompressed);
    const QString output = testPath("cmp_game.z64");
    {
        MainWindow window;
        ModalDialogs dialogs;
        window.show();
        load(window, decompressed);
        dialogs.queueButtonText("Compress");
        dialogs.queueFilePath(output);
        compressAction(window)->trigger();
        auto *progress = window.findChild<QProgressDialog *>();
        QVERIFY(progress && progress->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!decompressButton(window)->isEnabled());
        QVERIFY(window.close());
        QVERIFY(dialogs.failures.isEmpty());
    }
    QVERIFY(!QFile::exists(output));
    QCOMPARE(QDir(testFolder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// The area below the form shows the ROM's facts and the last result only: compressing twice,
// or cancelling after a compress, neither piles up lines nor grows the window for good.
void TestCompressing::compressingAgainShowsTheLastResultOnly()
{
    const QString original = writeFile("game.z64", originalRom());
    const QString decompressed = testPath("dec_game.z64");
    decompress(original, decompressed);
    MainWindow window;
    ModalDialogs dialogs;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    load(window, decompressed);
    QList<int> heights;
    for (int round = 0; round < 3; ++round) {
        dialogs.queueButtonText("Compress");
        dialogs.queueFilePath(testPath(QStringLiteral("cmp_%1.z64").arg(round)));
        compressAction(window)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(romFacts(window).contains("files compressed"), 60000);
        QTest::qWait(50); // the layout settles in queued events
        heights << window.minimumSizeHint().height();
        QCOMPARE(romFacts(window).count("Saved to"), 1);
        QVERIFY(romFacts(window).contains(QStringLiteral("cmp_%1.z64").arg(round)));
        if (round < 2)
            QTRY_VERIFY(compressAction(window)->isEnabled());
    }
    QCOMPARE(heights.at(2), heights.at(0));
    QVERIFY(dialogs.failures.isEmpty());
}

// The way back's shared cases, through the window: a ROM's refusal before any dialog, an
// original's after the user chose it, naming it by its file name.
void TestCompressing::windowTellsThePlan()
{
    QFETCH(int, index);
    const PlanCases::CompressionCase &c = PlanCases::compressionCases().at(index);
    const QString original = writeFile("theirs.z64", c.original);
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("mine.z64", c.rom));
    dialogs.queueFilePath(original);
    const QString output = testPath("cmp_mine.z64");
    dialogs.queueFilePath(output);
    compressAction(window)->trigger();
    if (!c.refused) {
        QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
        QVERIFY(QFile::exists(output));
        return;
    }
    QTRY_COMPARE(dialogs.messageBoxes.size(), 1);
    const QString text = dialogs.messageBoxes.first().text;
    QVERIFY2(text.contains(c.reason), qPrintable(text));
    QCOMPARE(
        dialogs.fileDialogTitles, c.aboutOriginal ? QStringList {"Original ROM"} : QStringList());
    QVERIFY2(!c.aboutOriginal || text.contains("\ntheirs.z64 "), qPrintable(text));
    QVERIFY(!text.contains("ORIGINAL"));
    QVERIFY(!QFile::exists(output));
    QVERIFY(compressAction(window)->isEnabled());
}

// A ROM that is still compressed is refused before any dialog asks for a file.
void TestCompressing::refusesACompressedRomBeforeAnyDialog()
{
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("game.z64", originalRom()));
    compressAction(window)->trigger();
    QTRY_COMPARE(dialogs.messageBoxes.size(), 1);
    QVERIFY2(dialogs.messageBoxes.first().text.startsWith("This ROM is still compressed"),
        qPrintable(dialogs.messageBoxes.first().text));
    QVERIFY(dialogs.fileDialogTitles.isEmpty());
    QVERIFY(compressAction(window)->isEnabled());
}

QTEST_MAIN(TestCompressing)
#include "tst_compressing.moc"
