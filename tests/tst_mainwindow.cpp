// The window as it stands after start-up: menus, presets, form, flags, the slot and signal
// contract with the worker, and a quick shutdown.
#include "mainwindow.h"
#include "modaldialogs.h"
#include "windowarguments.h"
#include "windowtest.h"
#include "worker.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

class TestMainWindow : public WindowTest
{
    Q_OBJECT

private slots:
    void startsIdle();
    void menusInOrder();
    void presets_data();
    void presets();
    void choosingAPresetWritesItsAddress_data();
    void choosingAPresetWritesItsAddress();
    void windowHasFixedSizeFlags();
    void slotsInMetaObjectOrder();
    void workerSignalsInMetaObjectOrder();
    void aboutBoxNamesTheProgram();
    void closesAtOnceWithoutEverStartingTheWorker();
    void iconResourceHoldsFiveSizes();
    void commandLine_data();
    void commandLine();
    void unansweredDialogFailsAtOnce_data();
    void unansweredDialogFailsAtOnce();
    void openUnansweredDialog_data();
    void openUnansweredDialog(); // only in the child process of the test before
};

void TestMainWindow::startsIdle()
{
    MainWindow window;
    QCOMPARE(window.findChild<QComboBox *>()->currentIndex(), 0);
    QCOMPARE(window.findChild<QComboBox *>()->currentText(), QStringLiteral("Other"));
    QCOMPARE(window.findChild<QLineEdit *>()->text(), QStringLiteral("0x00000000"));
    QPushButton *decompress = window.findChild<QPushButton *>();
    QCOMPARE(decompress->text(), QStringLiteral("Decompress"));
    QVERIFY(!decompress->isEnabled());
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Ready"));
    QVERIFY(!window.statusBar()->isSizeGripEnabled());
    QVERIFY(window.windowTitle().isEmpty());
    QVERIFY(window.acceptDrops());
}

void TestMainWindow::menusInOrder()
{
    MainWindow window;
    const QList<QAction *> bar = window.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar.at(0)->text(), QStringLiteral("File"));
    QCOMPARE(bar.at(1)->text(), QStringLiteral("Help"));

    const QList<QAction *> file = bar.at(0)->menu()->actions();
    QCOMPARE(file.size(), 10);
    QCOMPARE(file.at(0)->text(), QStringLiteral("Open..."));
    QCOMPARE(file.at(0)->shortcuts(), QKeySequence::keyBindings(QKeySequence::Open));
    QCOMPARE(file.at(0)->statusTip(), QStringLiteral("Open a ROM"));
    QCOMPARE(file.at(1)->text(), QStringLiteral("Compress..."));
    QVERIFY2(!file.at(1)->isEnabled(), "no ROM is loaded");
    QVERIFY(file.at(2)->isSeparator());
    for (int i = 3; i < 8; ++i)
        QVERIFY2(!file.at(i)->isVisible(), "no recent file is stored yet");
    QVERIFY(file.at(8)->isSeparator());
    QCOMPARE(file.at(9)->text(), QStringLiteral("Exit"));
    QCOMPARE(file.at(9)->shortcuts(), QKeySequence::keyBindings(QKeySequence::Quit));
    QCOMPARE(file.at(9)->statusTip(), QStringLiteral("Exit the application"));

    const QList<QAction *> help = bar.at(1)->menu()->actions();
    QCOMPARE(help.size(), 1);
    QCOMPARE(help.at(0)->text(), QStringLiteral("About Tidepool"));
    QCOMPARE(help.at(0)->statusTip(), QStringLiteral("About Tidepool"));
    QVERIFY(help.at(0)->shortcuts().isEmpty());
}

void TestMainWindow::presets_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("address"); // invalid for separators

    const QVariant none;
    QTest::newRow("Other") << 0 << "Other" << QVariant(0);
    QTest::newRow("separator 1") << 1 << "" << none;
    QTest::newRow("Doubutsu") << 2 << "Doubutsu no Mori (Animal Crossing)" << QVariant(0x19D40);
    QTest::newRow("separator 3") << 3 << "" << none;
    QTest::newRow("OoT NTSC 1.0") << 4 << "Ocarina of Time NTSC 1.0 & 1.1" << QVariant(0x7430);
    QTest::newRow("OoT NTSC 1.2") << 5 << "Ocarina of Time NTSC 1.2" << QVariant(0x7960);
    QTest::newRow("OoT PAL") << 6 << "Ocarina of Time PAL 1.0 & 1.1" << QVariant(0x7950);
    QTest::newRow("OoT GCN") << 7 << "Ocarina of Time GCN & Master Quest" << QVariant(0x7170);
    QTest::newRow("OoT MQ Debug") << 8 << "Ocarina of Time Master Quest Debug PAL"
                                  << QVariant(0x12F70);
    QTest::newRow("separator 9") << 9 << "" << none;
    QTest::newRow("MM NTSC-U") << 10 << "Majora's Mask NTSC-U" << QVariant(0x1A500);
    QTest::newRow("MM Demo") << 11 << "Majora's Mask NTSC-U Demo" << QVariant(0x1AB50);
    QTest::newRow("MM J 1.0") << 12 << "Majora's Mask NTSC-J 1.0" << QVariant(0x1C110);
    QTest::newRow("MM J 1.1") << 13 << "Majora's Mask NTSC-J 1.1" << QVariant(0x1C050);
    QTest::newRow("MM PAL 1.0") << 14 << "Majora's Mask PAL 1.0" << QVariant(0x1A650);
    QTest::newRow("MM PAL 1.1") << 15 << "Majora's Mask PAL 1.1" << QVariant(0x1A8D0);
    QTest::newRow("MM Debug") << 16 << "Majora's Mask Debug PAL" << QVariant(0x24F60);
}

void TestMainWindow::presets()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QVariant, address);

    MainWindow window;
    const auto *combo = window.findChild<QComboBox *>();
    QCOMPARE(combo->count(), 17);
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->itemText(index), text);
    const QVariant data = combo->itemData(index, Qt::UserRole);
    QCOMPARE(data.isValid(), address.isValid());
    if (address.isValid()) {
        QCOMPARE(data.userType(), int(QMetaType::Int));
        QCOMPARE(data.toInt(), address.toInt());
    } else {
        QVERIFY2(!(combo->model()->flags(combo->model()->index(index, 0)) & Qt::ItemIsEnabled),
            "separators cannot be chosen");
    }
}

void TestMainWindow::choosingAPresetWritesItsAddress_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Doubutsu") << 2 << "0x00019D40";
    QTest::newRow("OoT NTSC 1.0") << 4 << "0x00007430";
    QTest::newRow("OoT MQ Debug") << 8 << "0x00012F70";
    QTest::newRow("MM Debug") << 16 << "0x00024F60";
}

void TestMainWindow::choosingAPresetWritesItsAddress()
{
    QFETCH(int, index);
    QFETCH(QString, shown);
    MainWindow window;
    auto *combo = window.findChild<QComboBox *>();
    auto *address = window.findChild<QLineEdit *>();
    address->setText(QStringLiteral("typed by hand"));
    combo->setCurrentIndex(index);
    QCOMPARE(address->text(), shown);
    combo->setCurrentIndex(0);
    QCOMPARE(address->text(), QStringLiteral("0x00000000"));
}

void TestMainWindow::windowHasFixedSizeFlags()
{
    MainWindow window;
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
}

void TestMainWindow::slotsInMetaObjectOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    const QList<QByteArray> expected = {"openRecentFile()", "setGame(int)", "startDecompression()",
        "about()", "open()", "saveFile()", "endConvertion()", "updateProgressDialog(int,QString)"};
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), expected.at(i));
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
    }
    const QMetaMethod update = meta.method(meta.methodOffset() + 7);
    QCOMPARE(update.parameterNames(), (QList<QByteArray> {"i", "value"}));
    QCOMPARE(meta.method(meta.methodOffset() + 1).parameterNames(), QList<QByteArray> {"game"});
}

void TestMainWindow::workerSignalsInMetaObjectOrder()
{
    const QMetaObject &meta = Worker::staticMetaObject;
    QCOMPARE(meta.className(), "Worker");
    const QList<QByteArray> expected = {
        "valueChanged(int,QString)", "finished()", "decompressed()", "converted()", "mainLoop()"};
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), expected.at(i));
        QCOMPARE(method.methodType(), i < 4 ? QMetaMethod::Signal : QMetaMethod::Slot);
    }
    QCOMPARE(meta.method(meta.methodOffset()).parameterNames(), (QList<QByteArray> {"i", "value"}));
    QCOMPARE(int(Worker::Method1), 1);
    QCOMPARE(int(Worker::Method2), 2);
    QCOMPARE(int(Worker::Method3), 3);
}

void TestMainWindow::aboutBoxNamesTheProgram()
{
    MainWindow window;
    ModalDialogs dialogs;
    window.menuBar()->actions().at(1)->menu()->actions().at(0)->trigger();
    QCOMPARE(dialogs.messageBoxes.size(), 1);
    QCOMPARE(dialogs.messageBoxes.at(0).title, QStringLiteral("About"));
    QVERIFY(
        dialogs.messageBoxes.at(0).text.startsWith(QStringLiteral("<b>Tidepool 1.0</b><br><br>")));
    QVERIFY(dialogs.messageBoxes.at(0).text.contains(QStringLiteral("<a href=")));
}

void TestMainWindow::closesAtOnceWithoutEverStartingTheWorker()
{
    // A hang here (waiting on a thread that never ran) trips the test's time limit.
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.close());
}

void TestMainWindow::iconResourceHoldsFiveSizes()
{
    Q_INIT_RESOURCE(tidepool);
    const QIcon icon(QStringLiteral(":/app/ico"));
    QCOMPARE(
        icon.availableSizes(), (QList<QSize> {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}));
    QCOMPARE(icon.pixmap(64, 64).toImage().hasAlphaChannel(), true);
    Q_CLEANUP_RESOURCE(tidepool);
}

void TestMainWindow::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode"); // -1: the window opens
    QTest::addColumn<QString>("rom");
    QTest::addColumn<QString>("output"); // how the output starts
    const QString rom = QDir::current().absoluteFilePath("game.z64");
    QTest::newRow("nothing") << QStringList {} << -1 << ""
                             << "";
    QTest::newRow("a ROM, made absolute") << QStringList {"game.z64"} << -1 << rom << "";
    QTest::newRow("Qt's own options")
        << QStringList {"-platform", "offscreen", "-reverse", "--style=fusion", "game.z64"} << -1
        << rom << "";
    QTest::newRow("after --") << QStringList {"--", "--help"} << -1
                              << QDir::current().absoluteFilePath("--help") << "";
    QTest::newRow("--help") << QStringList {"--help", "game.z64"} << 0 << ""
                            << "Usage: tidepool [ROM]";
    QTest::newRow("-h") << QStringList {"-h"} << 0 << ""
                        << "Usage: tidepool [ROM]";
    QTest::newRow("--version") << QStringList {"--version"} << 0 << ""
                               << "Tidepool 1.0\n";
    QTest::newRow("unknown option") << QStringList {"--frobnicate"} << 2 << ""
                                    << "tidepool: Unknown option 'frobnicate'.";
    QTest::newRow("two ROMs") << QStringList {"a.z64", "b.z64"} << 2 << ""
                              << "tidepool: one ROM at a time";
}

void TestMainWindow::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, rom);
    QFETCH(QString, output);
    const WindowArguments::Parsed parsed
        = WindowArguments::parse(QStringList {"tidepool"} + arguments);
    QCOMPARE(parsed.exitCode, exitCode);
    QCOMPARE(parsed.rom, rom);
    QVERIFY2(output.isEmpty() ? parsed.output.isEmpty() : parsed.output.startsWith(output),
        qPrintable(parsed.output));
}

void TestMainWindow::unansweredDialogFailsAtOnce_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("failure");
    QTest::newRow("unknown") << "unknown"
                             << "QDialog \"Nobody answers\" is a modal widget that no test answers";
    QTest::newRow("stays open") << "stays open"
                                << "QFileDialog \"Open ROM\" is still open after it was answered";
}

// A dialog that the tests cannot answer fails the test that opened it within seconds, by name,
// instead of hanging until the test's time limit. Run in a child process, whose failure is the
// expected outcome.
void TestMainWindow::unansweredDialogFailsAtOnce()
{
    QFETCH(QString, row);
    QFETCH(QString, failure);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TIDEPOOL_UNANSWERED_DIALOG", "1");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(),
        {"-platform", "offscreen", "openUnansweredDialog:" + row});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(clock.elapsed() < 15000, qPrintable(output));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1); // one failed test function
    QVERIFY2(output.contains("ModalDialogs: " + failure), qPrintable(output));
}

void TestMainWindow::openUnansweredDialog_data()
{
    QTest::addColumn<bool>("fileDialog");
    QTest::newRow("unknown") << false;
    QTest::newRow("stays open") << true;
}

void TestMainWindow::openUnansweredDialog()
{
    if (qEnvironmentVariableIsEmpty("TIDEPOOL_UNANSWERED_DIALOG"))
        QSKIP("runs in the child process of unansweredDialogFailsAtOnce");
    QFETCH(bool, fileDialog);
    ModalDialogs dialogs;
    if (fileDialog) {
        // Given a folder, the dialog opens it and stays open.
        dialogs.queueFilePath(QDir::tempPath());
        QFileDialog::getOpenFileName(nullptr, "Open ROM", QDir::tempPath());
    } else {
        QDialog dialog;
        dialog.setWindowTitle("Nobody answers");
        dialog.exec();
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
