// From a loaded ROM to a saved, decompressed one through the real window: the three game
// families end to end, the address field, the file table check, the save dialog and refusals.
#include "debuglog.h"
#include "mainwindow.h"
#include "modaldialogs.h"
#include "plancases.h"
#include "romfixture.h"
#include "windowdriver.h"
#include "windowtest.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace WindowDriver;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray();
}

// Where two images first differ, for a readable failure.
QString firstDifference(const QByteArray &a, const QByteArray &b)
{
    const int common = int(std::min(a.size(), b.size()));
    for (int i = 0; i < common; ++i) {
        if (a.at(i) != b.at(i))
            return QStringLiteral("first difference at 0x%1").arg(i, 0, 16);
    }
    return QStringLiteral("lengths %1 and %2").arg(a.size()).arg(b.size());
}

} // namespace

class TestDecompressing : public WindowTest
{
    Q_OBJECT

private slots:

    void factsTellThePlan_data();
    void factsTellThePlan();
    void decompressesEachFamily_data();
    void decompressesEachFamily();
    void parsesTheAddressField_data();
    void parsesTheAddressField();
    void proposesASaveName_data();
    void proposesASaveName();
    void cancellingTheSaveDialogChangesNothing();
    void emptyTableIsRefused();
    void malformedTableIsRefused();
    void windowClosedDuringThePass();
    void savingFaults_data();
    void savingFaults();
    void loadDuringTheSaveIsIgnored_data();
    void loadDuringTheSaveIsIgnored();
    void progressCannotBeDismissed();
    void factsFitAtTheDefaultSize_data();
    void factsFitAtTheDefaultSize();

private:
    // Loads a ROM of the fixture and waits until it is ready.
    void load(MainWindow &window, const QString &path);
};

void TestDecompressing::load(MainWindow &window, const QString &path)
{
    dropFiles(window, {path});
    QTRY_VERIFY_WITH_TIMEOUT(decompressButton(window)->isEnabled(), 20000);
}

// The area below the form tells what decompressing will do: the plan's cases, on the program's
// own list of dumps.
void TestDecompressing::factsTellThePlan_data()
{
    PlanCases::addFrontEndRows();
}

void TestDecompressing::factsTellThePlan()
{
    QFETCH(int, index);
    const PlanCases::Case &c = PlanCases::all().at(index);
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("case.z64", c.rom));
    QTRY_VERIFY(!romFacts(window).startsWith("Looking"));
    const QString facts = romFacts(window);
    QCOMPARE(facts.contains("No file table found"), c.refusal == PlanCases::Refusal::NoTableFound);
    for (const QString &warning : c.warnings)
        QVERIFY2(facts.contains(warning), qPrintable(facts));
    QVERIFY(dialogs.messageBoxes.isEmpty());
}

void TestDecompressing::decompressesEachFamily_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("chip");
    QTest::addColumn<QString>("game");
    // How the files are stored, and what the area says of it: "" for Yaz0 alone, "deflate" as
    // the iQue Player versions store them, "mixed" for the hack compressor's codecs in turn.
    QTest::addColumn<QString>("codecs");
    QTest::addColumn<QString>("codecLine");
    const QString ocarina = QStringLiteral("Ocarina of Time NTSC 1.0 & 1.1");
    QTest::newRow("Ocarina of Time, z64") << 0 << "z64" << 6105 << ocarina << ""
                                          << "";
    QTest::newRow("Majora's Mask, v64") << 1 << "v64" << 6105 << "Majora's Mask NTSC-U"
                                        << ""
                                        << "";
    QTest::newRow("Doubutsu no Mori, n64")
        << 2 << "n64" << 6102 << "Doubutsu no Mori (Animal Crossing)"
        << ""
        << "";
    QTest::newRow("Ocarina of Time, DEFLATE files, n64")
        << 0 << "n64" << 6105 << ocarina << "deflate"
        << "Files compressed with DEFLATE (iQue Player)";
    QTest::newRow("Ocarina of Time, the hack compressor's codecs")
        << 0 << "z64" << 6105 << ocarina << "mixed"
        << "Files compressed with LZO, UCL, aPLib and zlib (hacks' codecs; the game needs its "
           "patch to read them)";
}

void TestDecompressing::decompressesEachFamily()
{
    QFETCH(int, family);
    QFETCH(QString, order);
    QFETCH(int, chip);
    QFETCH(QString, game);
    QFETCH(QString, codecs);
    QFETCH(QString, codecLine);
    RomFixture fixture = RomFixture::ofFamily(family);
    if (codecs == "deflate")
        fixture.storeWithDeflate();
    else if (codecs == "mixed")
        fixture.storeWith({Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib});
    QByteArray rom = fixture.build();
    if (order == "v64")
        rom = RomFixture::toV64(rom);
    else if (order == "n64")
        rom = RomFixture::toN64(rom);
    const QString romFile = writeFile("game." + order, rom);
    const QString saved = testPath("out.z64");

    DebugLog log;
    MainWindow window;
    ModalDialogs dialogs;
    load(window, romFile);
    QCOMPARE(gameCombo(window)->currentText(), game);
    QTRY_VERIFY(!romFacts(window).startsWith("Looking"));
    QVERIFY2(codecLine.isEmpty() ? !romFacts(window).contains("Files compressed with")
                                 : romFacts(window).contains(codecLine),
        qPrintable(romFacts(window)));
    dialogs.queueFilePath(saved);
    decompressButton(window)->click();
    QCOMPARE(dialogs.fileDialogTitles, QStringList {"Save File"});
    auto *progress = window.findChildren<QProgressDialog *>().value(0);
    QVERIFY(progress);
    QCOMPARE(progress->maximum(), fixture.entries().size());
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
    QVERIFY(dialogs.messageBoxes.isEmpty());
    QVERIFY(!decompressButton(window)->isEnabled());
    QVERIFY(!QApplication::overrideCursor());

    const QByteArray output = readAll(saved);
    QCOMPARE(output.size(), 0x4000000);
    quint32 crc1 = 0, crc2 = 0;
    referenceChecksum(output, chip, &crc1, &crc2);
    QCOMPARE(wordAt(output, 16), crc1);
    QCOMPARE(wordAt(output, 20), crc2);
    QByteArray expected = fixture.expectedOutput();
    putWord(expected, 16, crc1);
    putWord(expected, 20, crc2);
    QVERIFY2(output == expected, qPrintable(firstDifference(output, expected)));
    QCOMPARE(log.count("\"CIC-NUS-" + QString::number(chip) + "\""), 1);
    QVERIFY(romFacts(window).endsWith("\nSaved to " + saved));

    // Each decompression needs a fresh load.
    load(window, romFile);
    QVERIFY(decompressButton(window)->isEnabled());
}

void TestDecompressing::parsesTheAddressField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("outcome"); // the first box, or "save" for the save dialog
    const QString warning = "The File Table does not start";
    const QString unreadable = "is not a file table address";
    QTest::newRow("hex") << "0x00007430"
                         << "save";
    QTest::newRow("decimal") << "29744"
                             << "save";
    QTest::newRow("upper-case X") << "0X7430"
                                  << "save";
    QTest::newRow("spaces around") << " 0x7430 "
                                   << "save";
    QTest::newRow("past the end") << "0x7FFFFFF0" << warning;
    QTest::newRow("not a table") << "0x00001000" << warning;
    QTest::newRow("not hexadecimal") << "zz" << unreadable;
    QTest::newRow("prefix only") << "0x" << unreadable;
    QTest::newRow("more than 32 bits") << "0xFFFFFFFFF" << unreadable;
    QTest::newRow("negative") << "-16" << unreadable;
}

void TestDecompressing::parsesTheAddressField()
{
    QFETCH(QString, text);
    QFETCH(QString, outcome);
    RomFixture fixture = RomFixture::ocarinaLike();
    MainWindow window;
    ModalDialogs dialogs;
    dialogs.answerMessageBoxesWith(QMessageBox::Cancel);
    load(window, writeFile("oot.z64", fixture.build()));
    addressEdit(window)->setText(text);
    decompressButton(window)->click();
    if (outcome == "save") {
        QVERIFY(dialogs.messageBoxes.isEmpty());
        QCOMPARE(dialogs.fileDialogTitles.size(), 1);
    } else {
        QCOMPARE(dialogs.messageBoxes.size(), 1);
        QCOMPARE(dialogs.messageBoxes.at(0).title, QStringLiteral("Warning"));
        QVERIFY2(dialogs.messageBoxes.at(0).text.contains(outcome),
            qPrintable(dialogs.messageBoxes.at(0).text));
        QVERIFY2(dialogs.fileDialogTitles.isEmpty(), "nothing goes on to the save dialog");
    }
    if (outcome.startsWith("The File Table")) {
        QCOMPARE(dialogs.messageBoxes.at(0).text,
            QStringLiteral("The File Table does not start with 00000000 00001060 00000000 "
                           "00000000.\nThis usually indicates that the specified address "
                           "isn't the start of a file table.\nAre you sure that you want to "
                           "continue?"));
        QCOMPARE(dialogs.messageBoxes.at(0).buttons, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(dialogs.messageBoxes.at(0).defaultButton, QMessageBox::Cancel);
    }
    QVERIFY(decompressButton(window)->isEnabled());
    QVERIFY(!window.findChild<QProgressDialog *>());
}

void TestDecompressing::proposesASaveName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("extension") << "oot.rom"
                               << "dec_oot.z64";
    QTest::newRow("no extension") << "game"
                                  << "dec_game.z64";
    QTest::newRow("two dots") << "a.b.z64"
                              << "dec_a.b.z64";
}

void TestDecompressing::proposesASaveName()
{
    QFETCH(QString, name);
    QFETCH(QString, proposed);
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile(name, RomFixture::ocarinaLike().build()));
    decompressButton(window)->click();
    QCOMPARE(dialogs.fileDialogSelections, QStringList {testPath(proposed)});
}

void TestDecompressing::cancellingTheSaveDialogChangesNothing()
{
    DebugLog log;
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("oot.z64", RomFixture::ocarinaLike().build()));
    decompressButton(window)->click();
    QCOMPARE(dialogs.fileDialogTitles.size(), 1);
    QVERIFY(decompressButton(window)->isEnabled());
    QVERIFY(!window.findChild<QProgressDialog *>());
    QCOMPARE(log.count("Starting worker mainLoop"), 0);
}

void TestDecompressing::emptyTableIsRefused()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    fixture.setMinimumSize(0x200000); // so that the address below lies inside the ROM
    QByteArray rom = fixture.build();
    MainWindow window;
    ModalDialogs dialogs;
    dialogs.answerMessageBoxesWith(QMessageBox::Yes);
    load(window, writeFile("oot.z64", rom));
    addressEdit(window)->setText("0x00100000"); // zeros: no entries
    dialogs.queueFilePath(testPath("out.z64"));
    decompressButton(window)->click();
    QCOMPARE(dialogs.messageBoxes.size(), 2);
    QCOMPARE(dialogs.messageBoxes.at(1).text,
        QStringLiteral("The file table at 0x00100000 lists no files, so there is nothing to "
                       "decompress."));
    QVERIFY2(dialogs.fileDialogTitles.isEmpty(), "refused before asking for a name");
    QVERIFY(decompressButton(window)->isEnabled());
    QVERIFY(!window.findChild<QProgressDialog *>());
    QVERIFY(!QFile::exists(testPath("out.z64")));
}

void TestDecompressing::malformedTableIsRefused()
{
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    putWord(rom, fixture.tableAddress() + 4 * 16 + 4, 0xFFFFFFF0); // entry 4 ends at -16
    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("oot.z64", rom));
    dialogs.queueFilePath(testPath("out.z64"));
    decompressButton(window)->click();
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QVERIFY2(dialogs.messageBoxes.at(0).text.startsWith("Entry 4 of the file table at 0x00007430"),
        qPrintable(dialogs.messageBoxes.at(0).text));
    QVERIFY(dialogs.messageBoxes.at(0).text.contains("holds a negative address"));
    QVERIFY2(dialogs.fileDialogTitles.isEmpty(), "refused before asking for a name");
    QVERIFY(decompressButton(window)->isEnabled());
    QVERIFY(!QFile::exists(testPath("out.z64")));
}

void TestDecompressing::windowClosedDuringThePass()
{
    DebugLog log;
    auto *window = new MainWindow;
    ModalDialogs dialogs;
    // A z64 load leaves the worker's pauses on, so the pass takes a while.
    load(*window, writeFile("oot.z64", RomFixture::ocarinaLike().build()));
    dialogs.queueFilePath(testPath("out.z64"));
    decompressButton(*window)->click();
    QTRY_VERIFY(log.count(QStringLiteral("Starting Method1 in Thread ")) == 1);
    delete window;
    QCOMPARE(log.count(QStringLiteral("Aborting worker mainLoop in Thread ")), 1);
    QVERIFY(!QFile::exists(testPath("out.z64")));
}

void TestDecompressing::savingFaults_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<QString>("failure"); // empty: the save succeeds
    QTest::newRow("missing folder") << "no/such/folder/out.z64"
                                    << "No such file or directory";
    QTest::newRow("a full device") << "full"
                                   << "No space left on device";
    QTest::newRow("disk full over an existing file")
        << "existing.z64"
        << "Only 1048576 of 67108864 bytes could be written";
    QTest::newRow("read-only folder") << "locked/out.z64"
                                      << "Permission denied";
    QTest::newRow("over an existing file") << "existing.z64"
                                           << "";
    QTest::newRow("over the loaded ROM") << "oot.z64"
                                         << "";
}

void TestDecompressing::savingFaults()
{
    QFETCH(QString, target);
    QFETCH(QString, failure);
    const QString path = testPath(target);
    writeFile("existing.z64", "old content");
    if (target == "full") {
        // A node like /dev/full of the test's own: writes to it fail after it opened.
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("making a device node needs root");
    }
    if (target.startsWith("locked/")) {
        QDir(testFolder()).mkdir("locked");
        QFile::setPermissions(testPath("locked"), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(testPath("locked")).isWritable())
            QSKIP("this user can write anywhere");
    }
    // A file size limit makes every write past 1 MiB fail, as a full disk would.
    const bool diskFull = failure.startsWith(QLatin1String("Only"));
    rlimit original {};
    getrlimit(RLIMIT_FSIZE, &original);

    RomFixture fixture = RomFixture::ocarinaLike();
    MainWindow window;
    ModalDialogs dialogs;
    dialogs.answerMessageBoxesWith(QMessageBox::Yes); // replace an existing file
    load(window, writeFile("oot.z64", fixture.build()));
    dialogs.queueFilePath(path);
    if (diskFull) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limited = original;
        limited.rlim_cur = 1 << 20;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    decompressButton(window)->click();
    // A target that cannot be written is refused before the pass; others after it.
    const bool early = target.contains('/');
    if (early)
        QVERIFY(!window.findChild<QProgressDialog *>());
    else
        QTRY_VERIFY_WITH_TIMEOUT(!decompressButton(window)->isEnabled(), 30000);
    QCOMPARE(decompressButton(window)->isEnabled(), early);
    QTRY_VERIFY(
        statusMessage(window) == QLatin1String("File saved") || !dialogs.messageBoxes.isEmpty());
    setrlimit(RLIMIT_FSIZE, &original);
    QVERIFY(!QApplication::overrideCursor());

    QList<ModalDialogs::Seen> errors;
    for (const ModalDialogs::Seen &seen : dialogs.messageBoxes) {
        if (seen.title == QLatin1String("Application"))
            errors << seen;
    }
    if (failure.isEmpty()) {
        QVERIFY(errors.isEmpty());
        QCOMPARE(statusMessage(window), QStringLiteral("File saved"));
        QCOMPARE(QFileInfo(path).size(), 0x4000000);
        return;
    }
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).text, QStringLiteral("Cannot write file %1:\n%2.").arg(path, failure));
    QVERIFY(statusMessage(window) != QStringLiteral("File saved"));
    QCOMPARE(readAll(testPath("existing.z64")), QByteArray("old content"));
    if (target == "full")
        QVERIFY2(!QFileInfo(path).isFile(), "the device must not be replaced by a file");
}

void TestDecompressing::loadDuringTheSaveIsIgnored_data()
{
    QTest::addColumn<QString>("droppedOrder");
    QTest::newRow("z64 dropped") << "z64";
    QTest::newRow("v64 dropped") << "v64";
}

// The progress dialog's last update runs the event loop while the window finishes the job; a
// ROM dropped there must neither replace the image being saved nor delete the dialog.
void TestDecompressing::loadDuringTheSaveIsIgnored()
{
    QFETCH(QString, droppedOrder);
    RomFixture fixture = RomFixture::ocarinaLike();
    const QByteArray other = RomFixture::majoraLike().build();
    const QString dropped = writeFile(
        "other." + droppedOrder, droppedOrder == "v64" ? RomFixture::toV64(other) : other);
    const QString saved = testPath("out.z64");

    MainWindow window;
    ModalDialogs dialogs;
    load(window, writeFile("oot.z64", fixture.build()));
    dialogs.queueFilePath(saved);
    decompressButton(window)->click();
    auto *bar = window.findChild<QProgressDialog *>()->findChild<QProgressBar *>();
    QVERIFY(bar);
    bool droppedOnce = false;
    connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
        if (value == bar->maximum() && !droppedOnce) {
            droppedOnce = true;
            dropFiles(window, {dropped});
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
    QVERIFY(droppedOnce);
    const QByteArray output = readAll(saved);
    QCOMPARE(output.size(), 0x4000000);
    QVERIFY2(output.mid(0x1000, 0x1000) == fixture.expectedOutput().mid(0x1000, 0x1000),
        "the decompressed image was saved");
}

void TestDecompressing::progressCannotBeDismissed()
{
    MainWindow window;
    ModalDialogs dialogs;
    // A z64 load leaves the worker's pauses on, so the pass lasts long enough to try.
    load(window, writeFile("oot.z64", RomFixture::ocarinaLike().build()));
    dialogs.queueFilePath(testPath("out.z64"));
    decompressButton(window)->click();
    auto *progress = window.findChild<QProgressDialog *>();
    QVERIFY(progress && progress->isVisible());
    QTest::keyClick(progress, Qt::Key_Escape);
    QVERIFY(progress->isVisible());
    QVERIFY(!progress->close());
    QVERIFY(progress->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
    QVERIFY(!progress->isVisible());
}

void TestDecompressing::factsFitAtTheDefaultSize_data()
{
    QTest::addColumn<bool>("save"); // into a folder whose path makes a 200-character file path
    QTest::addColumn<QString>("last"); // how the area's last line starts
    QTest::newRow("save path") << true << "Saved to ";
    QTest::newRow("table refusal") << false << "Entry 4 of the file table";
}

// Every line of the facts area can be read in the window as it first opens: no line is cut off
// at the bottom, and no word is wider than the area.
void TestDecompressing::factsFitAtTheDefaultSize()
{
    QFETCH(bool, save);
    QFETCH(QString, last);
    RomFixture fixture = RomFixture::ocarinaLike();
    QByteArray rom = fixture.build();
    if (!save)
        putWord(rom, fixture.tableAddress() + 4 * 16 + 4, 0x00001000); // entry 4 ends too soon
    const QString deep = testPath(QString(200 - testFolder().size() - 13, 'f'));
    QVERIFY(QDir().mkpath(deep));
    const QString saved = deep + "/dec_oot.z64";
    QCOMPARE(saved.size(), 200);

    MainWindow window;
    ModalDialogs dialogs;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    load(window, writeFile("oot.z64", rom));
    if (save) {
        dialogs.queueFilePath(saved);
        decompressButton(window)->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File saved"), 60000);
    }
    QTRY_VERIFY(romFacts(window).section('\n', -1).startsWith(last));
    QTest::qWait(50); // the layout settles in queued events

    auto *area = window.findChild<QLabel *>(QStringLiteral("romFacts"));
    const int width = area->contentsRect().width() - 2 * area->margin();
    QVERIFY2(area->heightForWidth(area->width()) <= area->height(),
        qPrintable(QStringLiteral("needs %1 pixels, has %2")
                       .arg(area->heightForWidth(area->width()))
                       .arg(area->height())));
    QVERIFY(window.geometry().contains(area->geometry().translated(area->parentWidget()->pos())));
    const QStringList words = area->text().split(QRegularExpression("\\s+"));
    for (const QString &word : words)
        QVERIFY2(area->fontMetrics().horizontalAdvance(word) <= width, qPrintable(word));
    if (save)
        QVERIFY(area->toolTip().endsWith("Saved to " + saved));
    QVERIFY(dialogs.failures.isEmpty());
}

QTEST_MAIN(TestDecompressing)
#include "tst_decompressing.moc"
