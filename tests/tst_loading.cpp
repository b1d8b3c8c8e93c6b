// Loading ROMs through the real window: open, drop and recent files, the three byte orders
// through the real worker thread, game detection, rejections, and what is remembered.
#include "debuglog.h"
#include "mainwindow.h"
#include "modaldialogs.h"
#include "romfixture.h"
#include "windowdriver.h"
#include "windowtest.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace WindowDriver;

namespace {

// A small big-endian ROM carrying the given build strings at the given offsets.
QByteArray romWith(
    std::initializer_list<std::pair<int, const char *>> strings = {}, int length = 0x40000)
{
    QByteArray rom(length, '\0');
    rom.replace(0, 8, QByteArray::fromHex("803712400000000F"));
    rom.replace(59, 4, "CZLE");
    rom[63] = 1;
    for (const auto &s : strings)
        rom.replace(s.first, int(qstrlen(s.second)), s.second);
    return rom;
}

const QString gameCodeLine = QStringLiteral("\"CZLE1\"");

QString startHint()
{
    return QStringLiteral("Open a ROM with File \u2192 Open... or drop it on the window.");
}

} // namespace

class TestLoading : public WindowTest
{
    Q_OBJECT

private slots:

    void z64LoadsAtOnce();
    void convertsOtherByteOrders_data();
    void convertsOtherByteOrders();
    void secondConversionUsesTheRunningThread();
    void noLoadWhileConverting();
    void rejectsWhatIsNotARom_data();
    void rejectsWhatIsNotARom();
    void factsBelongToTheLastFile_data();
    void factsBelongToTheLastFile();
    void unreadableFileChangesNothing_data();
    void unreadableFileChangesNothing();
    void detectsTheGame_data();
    void detectsTheGame();
    void noBuildStringKeepsTheTypedAddress();
    void recentFilesKeepNewestFirst();
    void recentFilesKeepFive();
    void recentFilesCompareExactly();
    void recentEntryOpensItsFile();
    void recentEntryOfADeletedFileStays();
    void fileDialogPathIsWrittenOnce();
    void dropLoadsOnlyTheLastFile();
    void dropWithoutFilesLoadsNothing();
    void openStartsAtTheDesktopThenTheLastRom();
    void recentEntryWithoutReadPermission();
    void saysWhatTheRomIs_data();
    void saysWhatTheRomIs();
    void corruptSettingsFile();
    void unwritableSettingsStore();
};

void TestLoading::z64LoadsAtOnce()
{
    DebugLog log;
    MainWindow window;
    ModalDialogs dialogs;
    const QString path = writeFile("oot.z64", romWith({{0x7400, "zelda@"}}));
    dropFiles(window, {path});
    // All of it happens before the drop returns: no dialog, no worker.
    QCOMPARE(statusMessage(window), QStringLiteral("File loaded"));
    QVERIFY(decompressButton(window)->isEnabled());
    QCOMPARE(addressEdit(window)->text(), QStringLiteral("0x00007430"));
    QVERIFY(!window.findChild<QProgressDialog *>());
    QVERIFY(dialogs.messageBoxes.isEmpty());
    QCOMPARE(window.windowTitle(), path + "[*]");
    QCOMPARE(QSettings().value("romPath").toString(), path);
    QCOMPARE(log.count(QStringLiteral("This is a z64 ROM.")), 1);
    QCOMPARE(log.count(gameCodeLine), 1);
    QVERIFY(log.lines().contains(QStringLiteral("\"803712400000000f\"")));
    QVERIFY(!QApplication::overrideCursor());
}

void TestLoading::convertsOtherByteOrders_data()
{
    QTest::addColumn<bool>("byteSwapped");
    QTest::newRow("v64") << true;
    QTest::newRow("n64") << false;
}

void TestLoading::convertsOtherByteOrders()
{
    QFETCH(bool, byteSwapped);
    DebugLog log;
    MainWindow window;
    const QByteArray rom = romWith({{0x1A4D0, "zelda@"}});
    const QString path
        = writeFile("mm.rom", byteSwapped ? RomFixture::toV64(rom) : RomFixture::toN64(rom));
    dropFiles(window, {path});

    auto *progress = window.findChild<QProgressDialog *>();
    QVERIFY(progress);
    QCOMPARE(progress->labelText(),
        byteSwapped ? QStringLiteral("Converting ROM from Byteswapped Big Endian to Big Endian.")
                    : QStringLiteral("Converting ROM from Little Endian to Big Endian."));
    QCOMPARE(progress->windowModality(), Qt::WindowModal);
    QVERIFY(!(progress->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!progress->findChild<QPushButton *>());
    QCOMPARE(progress->maximum(), rom.size());
    QVERIFY(progress->isVisible());
    QVERIFY(!decompressButton(window)->isEnabled());
    QVERIFY(QApplication::overrideCursor());

    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File loaded"), 20000);
    // Detection found the string, so the image was big endian by then.
    QCOMPARE(gameCombo(window)->currentText(), QStringLiteral("Majora's Mask NTSC-U"));
    QCOMPARE(addressEdit(window)->text(), QStringLiteral("0x0001A500"));
    QVERIFY(decompressButton(window)->isEnabled());
    QVERIFY(!progress->isVisible());
    QCOMPARE(log.count(gameCodeLine), 1);
    QVERIFY(!QApplication::overrideCursor());
}

void TestLoading::secondConversionUsesTheRunningThread()
{
    DebugLog log;
    MainWindow window;
    dropFiles(window, {writeFile("a.v64", RomFixture::toV64(romWith({{0x7400, "zelda@"}})))});
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File loaded"), 20000);
    window.statusBar()->clearMessage();
    dropFiles(window, {writeFile("b.n64", RomFixture::toN64(romWith({{0x19D00, "forest@"}})))});
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File loaded"), 20000);
    QCOMPARE(addressEdit(window)->text(), QStringLiteral("0x00019D40"));
    QCOMPARE(log.count(QStringLiteral("Starting worker mainLoop in Thread ")), 1);
    QCOMPARE(log.count(QStringLiteral("Starting Method2 in Thread ")), 2);
    QCOMPARE(window.findChildren<QProgressDialog *>().size(), 1);
}

void TestLoading::noLoadWhileConverting()
{
    MainWindow window;
    const QString converting = writeFile("big.v64", RomFixture::toV64(romWith({}, 0x400000)));
    dropFiles(window, {converting});
    const QString other = writeFile("other.z64", romWith({{0x7400, "zelda@"}}));
    dropFiles(window, {other});
    QCOMPARE(window.windowTitle(), converting + "[*]");
    QCOMPARE(QSettings().value("romPath").toString(), converting);
    QTRY_COMPARE_WITH_TIMEOUT(statusMessage(window), QStringLiteral("File loaded"), 20000);
    QCOMPARE(visibleRecentFiles(window), QStringList {"&1 " + converting});
}

void TestLoading::rejectsWhatIsNotARom_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    const QByteArray z64 = QByteArray::fromHex("803712400000000F");
    const QString noSignature = "its first bytes are not those of a z64, v64 or n64 ROM";
    QTest::newRow("64 bytes") << z64 + QByteArray(56, '\0')
                              << "at 64 bytes it is too short for a ROM header and boot code";
    QTest::newRow("length not a multiple of 4")
        << z64 + QByteArray(3356154, '\0') << "its length, 3,356,162 bytes, is not a multiple of 4";
    QTest::newRow("wrong signature")
        << QByteArray::fromHex("8037124000000010") + QByteArray(1016, 0) << noSignature;
    QTest::newRow("signature not at 0")
        << QByteArray(4, '\0') + z64 + QByteArray(1012, '\0') << noSignature;
    QTest::newRow("text") << QByteArray("Just some notes.\n").repeated(64) << noSignature;
    QTest::newRow("empty file") << QByteArray() << "it is empty";
}

void TestLoading::rejectsWhatIsNotARom()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    DebugLog log;
    MainWindow window;
    ModalDialogs dialogs;
    dropFiles(window, {writeFile("good.z64", romWith({{0x7400, "zelda@"}}))});
    QVERIFY(decompressButton(window)->isEnabled());

    const QString path = writeFile("bad.bin", content);
    dropFiles(window, {path});
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QCOMPARE(dialogs.messageBoxes.at(0).title, QStringLiteral("Application"));
    QCOMPARE(dialogs.messageBoxes.at(0).text, QStringLiteral("This is not a ROM."));
    QVERIFY(!decompressButton(window)->isEnabled());
    QCOMPARE(window.windowTitle(), QStringLiteral("No File Loaded[*]"));
    QCOMPARE(visibleRecentFiles(window).value(0), "&1 " + path);
    QCOMPARE(QSettings().value("romPath").toString(), path);
    // The form no longer shows the good ROM's game.
    QCOMPARE(gameCombo(window)->currentIndex(), 0);
    QCOMPARE(addressEdit(window)->text(), QStringLiteral("0x00000000"));
    QCOMPARE(log.count(QStringLiteral("This is not a ROM.")), 1);
    QVERIFY(!QApplication::overrideCursor());
    // What was queued for the good ROM, or by the refusal, runs before the checks below.
    QTest::qWait(100);
    QCOMPARE(romFacts(window), "This is not a ROM: " + reason + ".\n" + startHint());
    QVERIFY(!decompressButton(window)->isEnabled());
}

// The facts shown are always those of the file loaded last, even when it was loaded while the
// one before was still being looked at.
void TestLoading::factsBelongToTheLastFile_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("line"); // a line of the second file's facts
    QTest::newRow("then a ROM") << romWith({{0x1A4D0, "zelda@"}}) << "File table at 0x0001A500";
    QTest::newRow("then a file that is not a ROM") << QByteArray("text") << startHint();
}

void TestLoading::factsBelongToTheLastFile()
{
    QFETCH(QByteArray, second);
    QFETCH(QString, line);
    MainWindow window;
    ModalDialogs dialogs;
    dropFiles(window, {writeFile("first.z64", romWith({{0x7400, "zelda@"}}, 64 << 20))});
    dropFiles(window, {writeFile("second.bin", second)});
    QTRY_VERIFY(romFacts(window).contains(line));
    QTest::qWait(300); // long enough for the first ROM's hash to be done
    QVERIFY2(romFacts(window).contains(line), qPrintable(romFacts(window)));
    QVERIFY(!romFacts(window).contains("0x00007430"));
}

void TestLoading::unreadableFileChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.z64"
                             << "No such file or directory";
    QTest::newRow("folder") << "folder"
                            << "It is a folder, not a file";
    QTest::newRow("empty path") << ""
                                << "No file name specified";
    QTest::newRow("FIFO, which would block") << "pipe"
                                             << "It is not a regular file";
    QTest::newRow("over 1 GiB")
        << "huge.z64"
        << "At 1025 MiB the file is larger than the 1024 MiB any ROM fits in";
}

void TestLoading::unreadableFileChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    MainWindow window;
    ModalDialogs dialogs;
    const QString good = writeFile("good.z64", romWith({{0x7400, "zelda@"}}));
    dropFiles(window, {good});
    QDir(testFolder()).mkdir("folder");
    QVERIFY(::mkfifo(QFile::encodeName(testPath("pipe")).constData(), 0600) == 0);
    QFile huge(testPath("huge.z64")); // sparse: takes no room on disk
    QVERIFY(huge.open(QFile::WriteOnly) && huge.resize((qint64(1) << 30) + 1));
    huge.close();
    const QString path = name.isEmpty() ? QString() : testPath(name);

    if (name.isEmpty())
        dropFiles(window, {QString()});
    else
        dropFiles(window, {path});
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QCOMPARE(dialogs.messageBoxes.at(0).title, QStringLiteral("Application"));
    QCOMPARE(dialogs.messageBoxes.at(0).text,
        QStringLiteral("Cannot read file %1:\n%2.").arg(path, reason));
    // The reason stays below the form, under the facts of the ROM still loaded.
    QTRY_VERIFY_WITH_TIMEOUT(!romFacts(window).startsWith("Looking at the ROM"), 5000);
    QVERIFY2(
        romFacts(window).endsWith(QStringLiteral("\nCannot read file %1: %2.").arg(path, reason)),
        qPrintable(romFacts(window)));
    QVERIFY(decompressButton(window)->isEnabled());
    QCOMPARE(window.windowTitle(), good + "[*]");
    QCOMPARE(QSettings().value("romPath").toString(), good);
    QCOMPARE(visibleRecentFiles(window), QStringList {"&1 " + good});
    QVERIFY(!QApplication::overrideCursor());
}

void TestLoading::detectsTheGame_data()
{
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<QString>("game");
    QTest::addColumn<QString>("address");
    QTest::newRow("OoT NTSC 1.0") << romWith({{0x7400, "zelda@"}})
                                  << "Ocarina of Time NTSC 1.0 & 1.1"
                                  << "0x00007430";
    QTest::newRow("MM NTSC-U") << romWith({{0x1A4D0, "zelda@"}}) << "Majora's Mask NTSC-U"
                               << "0x0001A500";
    QTest::newRow("Doubutsu") << romWith({{0x19D00, "forest@"}})
                              << "Doubutsu no Mori (Animal Crossing)"
                              << "0x00019D40";
    QTest::newRow("unknown address") << romWith({{0x8000, "zelda@"}}) << "Other"
                                     << "0x00008030";
    QTest::newRow("both strings") << romWith({{0x19D00, "forest@"}, {0x7400, "zelda@"}})
                                  << "Ocarina of Time NTSC 1.0 & 1.1"
                                  << "0x00007430";
    QTest::newRow("neither") << romWith() << "Other"
                             << "0x00000000";
}

void TestLoading::detectsTheGame()
{
    QFETCH(QByteArray, rom);
    QFETCH(QString, game);
    QFETCH(QString, address);
    MainWindow window;
    // Start from another preset, so that landing on "Other" is seen.
    gameCombo(window)->setCurrentIndex(16);
    dropFiles(window, {writeFile("game.z64", rom)});
    QCOMPARE(gameCombo(window)->currentText(), game);
    QCOMPARE(addressEdit(window)->text(), address);
}

void TestLoading::noBuildStringKeepsTheTypedAddress()
{
    MainWindow window;
    addressEdit(window)->setText("0x00001234");
    dropFiles(window, {writeFile("plain.z64", romWith())});
    QCOMPARE(gameCombo(window)->currentIndex(), 0);
    QCOMPARE(addressEdit(window)->text(), QStringLiteral("0x00001234"));
    QVERIFY(decompressButton(window)->isEnabled());
}

void TestLoading::recentFilesKeepNewestFirst()
{
    MainWindow window;
    const QString a = writeFile("a.z64", romWith());
    const QString b = writeFile("b.z64", romWith());
    dropFiles(window, {a});
    dropFiles(window, {b});
    dropFiles(window, {a});
    QCOMPARE(visibleRecentFiles(window), (QStringList {"&1 " + a, "&2 " + b}));
    QCOMPARE(QSettings().value("recentFileList").toStringList(), (QStringList {a, b}));
    QCOMPARE(recentFileActions(window).at(1)->data().toString(), b);
}

void TestLoading::recentFilesKeepFive()
{
    MainWindow window;
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths.prepend(writeFile(QStringLiteral("rom%1.z64").arg(i), romWith()));
        dropFiles(window, {paths.first()});
    }
    QCOMPARE(QSettings().value("recentFileList").toStringList(), paths.mid(0, 5));
    QCOMPARE(visibleRecentFiles(window).size(), 5);
    QCOMPARE(visibleRecentFiles(window).at(4), "&5 " + paths.at(4));

    // A longer list written by something else shows its first five.
    QSettings().setValue("recentFileList", paths + QStringList {"x", "y"});
    MainWindow second;
    QCOMPARE(visibleRecentFiles(second).size(), 5);
}

void TestLoading::recentFilesCompareExactly()
{
    MainWindow window;
    const QString path = writeFile("Same&Name.z64", romWith());
    dropFiles(window, {path});
    // The same file by another spelling is another entry.
    const QString dotted = testFolder() + "/./Same&Name.z64";
    dropFiles(window, {dotted});
    QCOMPARE(QSettings().value("recentFileList").toStringList().size(), 2);
    // The ampersand is doubled, so the menu shows it instead of taking it as a mnemonic.
    QCOMPARE(recentFileActions(window).at(1)->text(), "&2 " + QString(path).replace("&", "&&"));
    QCOMPARE(recentFileActions(window).at(1)->data().toString(), path);
}

void TestLoading::recentEntryOpensItsFile()
{
    const QString path = writeFile("again.z64", romWith({{0x7400, "zelda@"}}));
    QSettings().setValue("recentFileList", QStringList {path});
    MainWindow window;
    QCOMPARE(visibleRecentFiles(window), QStringList {"&1 " + path});
    recentFileActions(window).at(0)->trigger();
    QCOMPARE(window.windowTitle(), path + "[*]");
    QCOMPARE(statusMessage(window), QStringLiteral("File loaded"));
}

void TestLoading::recentEntryOfADeletedFileStays()
{
    const QString path = writeFile("gone.z64", romWith());
    const QString kept = writeFile("kept.z64", romWith());
    MainWindow window;
    ModalDialogs dialogs;
    dropFiles(window, {path});
    dropFiles(window, {kept});
    QVERIFY(QFile::remove(path));
    recentFileActions(window).at(1)->trigger();
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QVERIFY(dialogs.messageBoxes.at(0).text.startsWith("Cannot read file " + path));
    QCOMPARE(QSettings().value("recentFileList").toStringList(), (QStringList {kept, path}));
    QCOMPARE(window.windowTitle(), kept + "[*]");
}

void TestLoading::fileDialogPathIsWrittenOnce()
{
    MainWindow window;
    dropFiles(window, {writeFile("first.z64", romWith())});
    QDir(testFolder()).mkdir("elsewhere");
    dropFiles(window, {writeFile("elsewhere/second.z64", romWith())});
    QCOMPARE(QSettings().value("fileDialogPath").toString(), testFolder() + "/");
}

void TestLoading::dropLoadsOnlyTheLastFile()
{
    MainWindow window;
    const QStringList paths = {writeFile("1.z64", romWith()), writeFile("2.z64", romWith()),
        writeFile("3.z64", romWith())};
    dropFiles(window, paths);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), QStringList {paths.last()});
}

void TestLoading::dropWithoutFilesLoadsNothing()
{
    MainWindow window;
    ModalDialogs dialogs;
    dropText(window, "just text");
    QVERIFY(dialogs.messageBoxes.isEmpty());
    QVERIFY(window.windowTitle().isEmpty());
    QVERIFY(!QSettings().contains("romPath"));
}

void TestLoading::openStartsAtTheDesktopThenTheLastRom()
{
    MainWindow window;
    ModalDialogs dialogs;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    for (const bool made : {false, true}) {
        QVERIFY(made ? QDir().mkpath(desktop) : QDir(desktop).removeRecursively());
        openAction(window)->trigger(); // cancelled
        QCOMPARE(QSettings().value("romPath").toString(), desktop);
        // Without a Desktop folder the dialog opens in the home folder, with no name typed.
        QCOMPARE(dialogs.fileDialogDirectories.last(), made ? desktop : QDir::homePath());
        QVERIFY(!dialogs.fileDialogSelections.last().endsWith("Desktop"));
    }
    QCOMPARE(dialogs.fileDialogTitles, QStringList({"Open ROM", "Open ROM"}));

    const QString path = writeFile("picked.z64", romWith({{0x7400, "zelda@"}}));
    dialogs.queueFilePath(path);
    openAction(window)->trigger();
    QCOMPARE(window.windowTitle(), path + "[*]");

    openAction(window)->trigger(); // cancelled again: starts where the last ROM was
    QCOMPARE(dialogs.fileDialogDirectories.last(), testFolder());
}

void TestLoading::saysWhatTheRomIs_data()
{
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<QString>("line"); // a line the area shows once the ROM was looked at
    QByteArray large = romWith({{0x7400, "zelda@"}}, 64 << 20);
    QTest::newRow("a game, 64 MiB") << large << "File table at 0x00007430: 0 files, 0 compressed";
    QTest::newRow("no build string") << romWith({}, 1 << 20)
                                     << "No file table found: choose the game or type the table's "
                                        "address.";
    QTest::newRow("no build string in a ROM that is too short for one")
        << romWith() << "No file table found in the 262,144 bytes of the ROM, which looks cut off";
}

// The ROM is hashed off the GUI thread: the window has returned to its event loop, and shows
// that it is looking, before the facts arrive. A file that is refused clears them.
void TestLoading::saysWhatTheRomIs()
{
    QFETCH(QByteArray, rom);
    QFETCH(QString, line);
    MainWindow window;
    ModalDialogs dialogs;
    QCOMPARE(romFacts(window), startHint());
    dropFiles(window, {writeFile("game.z64", rom)});
    QCOMPARE(romFacts(window), QStringLiteral("Looking at the ROM..."));
    QTRY_VERIFY(romFacts(window).contains(line));
    QVERIFY(
        romFacts(window).contains("Not a known original dump (modified, a hack, or a bad dump)"));
    QVERIFY(romFacts(window).startsWith("(no title) · CZLE (North America), revision 1 · z64"));

    dropFiles(window, {writeFile("bad.bin", "not a ROM")});
    QTRY_VERIFY(romFacts(window).endsWith("\n" + startHint()));
}

void TestLoading::recentEntryWithoutReadPermission()
{
    const QString path = writeFile("locked.z64", romWith());
    MainWindow window;
    ModalDialogs dialogs;
    dropFiles(window, {path});
    QFile::setPermissions(path, QFile::WriteOwner);
    QFile probe(path);
    if (probe.open(QFile::ReadOnly))
        QSKIP("this user can read anything");
    recentFileActions(window).at(0)->trigger();
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QCOMPARE(dialogs.messageBoxes.at(0).text,
        QStringLiteral("Cannot read file %1:\nPermission denied.").arg(path));
    QVERIFY(decompressButton(window)->isEnabled());
}

void TestLoading::corruptSettingsFile()
{
    const QString store = QSettings().fileName();
    QDir().mkpath(QFileInfo(store).path());
    QFile file(store);
    QVERIFY(file.open(QFile::WriteOnly));
    file.write(RomFixture::noise(4096, 3));
    file.write("\n[General]\nrecentFileList=@Invalid(, \"\"\n\x01\x02=\n");
    file.close();

    MainWindow window;
    QVERIFY(visibleRecentFiles(window).size() <= 5);
    const QString path = writeFile("after.z64", romWith({{0x7400, "zelda@"}}));
    dropFiles(window, {path});
    QCOMPARE(statusMessage(window), QStringLiteral("File loaded"));
    QCOMPARE(visibleRecentFiles(window).value(0), "&1 " + path);
}

void TestLoading::unwritableSettingsStore()
{
    // The store's file is a folder: nothing can be written back, and nothing may break.
    const QString store = QSettings().fileName();
    QFile::remove(store);
    QVERIFY(QDir().mkpath(store));
    {
        MainWindow window;
        ModalDialogs dialogs;
        const QString path = writeFile("game.z64", romWith({{0x7400, "zelda@"}}));
        dropFiles(window, {path});
        QCOMPARE(statusMessage(window), QStringLiteral("File loaded"));
        QCOMPARE(window.windowTitle(), path + "[*]");
        QVERIFY(dialogs.messageBoxes.isEmpty());
    }
    QVERIFY(QDir(store).removeRecursively());
}

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
