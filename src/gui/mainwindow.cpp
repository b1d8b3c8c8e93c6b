#include "mainwindow.h"

#include "checksum.h"
#include "compressflow.h"
#include "factsarea.h"
#include "filetable.h"
#include "filewarnings.h"
#include "gamepresets.h"
#include "jobprogressdialog.h"
#include "originalrom.h"
#include "outputfile.h"
#include "outputnames.h"
#include "romfile.h"
#include "rominspection.h"
#include "windowsettings.h"
#include "worker.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QUrl>

namespace {

constexpr int statusTimeout = 2000;

const char makerAddress[] = "https://marrowfen.example/tidepool";

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setAcceptDrops(true);
    createActions();
    createMenus();
    createForm();
    statusBar()->setSizeGripEnabled(false);
    setWindowFlags(
        (windowFlags() & ~Qt::WindowMaximizeButtonHint) | Qt::MSWindowsFixedSizeDialogHint);
    createWorker();
    statusBar()->showMessage(tr("Ready"), statusTimeout);
}

MainWindow::~MainWindow()
{
    delete compressFlow; // waits for a compression still running: it reads the ROM
    delete inspection;
    worker->abort();
    thread->wait();
    delete thread;
    delete worker;
}

void MainWindow::createActions()
{
    for (QAction *&action : recentFileActions) {
        action = new QAction(this);
        action->setVisible(false);
        connect(action, SIGNAL(triggered()), this, SLOT(openRecentFile()));
    }
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("File"));
    openAction = new QAction(QIcon(), tr("Open..."), this);
    openAction->setShortcuts(QKeySequence::Open);
    openAction->setStatusTip(tr("Open a ROM"));
    fileMenu->addAction(openAction);
    connect(openAction, SIGNAL(triggered()), this, SLOT(open()));
    compressAction = new QAction(QIcon(), tr("Compress..."), this);
    compressAction->setStatusTip(tr("Compress the decompressed ROM like its original"));
    compressAction->setEnabled(false);
    fileMenu->addAction(compressAction);
    // Not a slot: the window's slots are the ones its menus, form and worker reach by name.
    connect(compressAction, &QAction::triggered, this, [this] { startCompression(); });
    fileMenu->addSeparator();

    for (QAction *action : recentFileActions)
        fileMenu->addAction(action);
    refreshRecentFileActions();
    fileMenu->addSeparator();

    exitAction = new QAction(QIcon(), tr("Exit"), this);
    exitAction->setShortcuts(QKeySequence::Quit);
    exitAction->setStatusTip(tr("Exit the application"));
    connect(exitAction, SIGNAL(triggered()), this, SLOT(close()));
    fileMenu->addAction(exitAction);

    const QString aboutText = QLatin1String("About ") + QApplication::applicationName();
    aboutAction = new QAction(QIcon(), aboutText, this);
    aboutAction->setStatusTip(aboutText);
    connect(aboutAction, SIGNAL(triggered()), this, SLOT(about()));

    helpMenu = menuBar()->addMenu(tr("Help"));
    helpMenu->addAction(aboutAction);
}

void MainWindow::createForm()
{
    auto *form = new QFormLayout;

    gameCombo = new QComboBox;
    for (int i = 0; i < GamePresets::count(); ++i) {
        const GamePresets::Preset &preset = GamePresets::at(i);
        if (preset.name)
            gameCombo->addItem(QIcon(), GamePresets::nameAt(i), preset.fileTableAddress);
        else
            gameCombo->insertSeparator(gameCombo->count());
    }
    connect(gameCombo, SIGNAL(currentIndexChanged(int)), this, SLOT(setGame(int)));

    tableAddressEdit = new QLineEdit;
    tableAddressEdit->setText(QStringLiteral("0x00000000"));

    decompressButton = new QPushButton(QStringLiteral("Decompress"));
    decompressButton->setEnabled(false);
    connect(decompressButton, SIGNAL(clicked(bool)), this, SLOT(startDecompression()));

    form->addRow(tr("&Game:"), gameCombo);
    form->addRow(tr("&File Table Address:"), tableAddressEdit);
    form->addRow(decompressButton);

    factsArea = new FactsArea;
    factsArea->showFacts({startHint()});
    form->addRow(factsArea);
    // Not a slot: the window's slots are the ones its menus, form and worker reach by name.
    inspection = new RomInspection(this);
    connect(inspection, &RomInspection::inspected, this,
        [this](const RomInfo::Facts &facts) { showRomFacts(facts); });

    auto *central = new QWidget;
    central->setLayout(form);
    setCentralWidget(central);
}

void MainWindow::createWorker()
{
    thread = new QThread;
    worker = new Worker;
    worker->romState = &romState;
    worker->moveToThread(thread);
    connect(thread, SIGNAL(started()), worker, SLOT(mainLoop()));
    connect(worker, SIGNAL(finished()), thread, SLOT(quit()), Qt::DirectConnection);
    connect(worker, SIGNAL(decompressed()), this, SLOT(saveFile()));
    connect(worker, SIGNAL(converted()), this, SLOT(endConvertion()));
    connect(
        worker, SIGNAL(valueChanged(int, QString)), this, SLOT(updateProgressDialog(int, QString)));
    compressFlow = new CompressFlow(this, settings, factsArea);
    connect(compressFlow, &CompressFlow::runningChanged, this, [this](bool running) {
        jobInProgress = running;
        // The Compressing dialog does not block the window, so its controls are off instead.
        centralWidget()->setEnabled(!running);
        compressAction->setEnabled(!running);
        openAction->setEnabled(!running);
        for (QAction *action : recentFileActions)
            action->setEnabled(!running);
    });
}

// Closing while a compression runs stops it, as Cancel does: nothing is written.
void MainWindow::closeEvent(QCloseEvent *)
{
    compressFlow->stop();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    const QString path = urls.last().toLocalFile();
    qDebug() << "Dropping" << path;
    loadFile(path);
}

void MainWindow::useKnownDumps(KnownDumps::Table table)
{
    inspection->useKnownDumps(table);
    compressFlow->useKnownDumps(table);
}

void MainWindow::openRom(const QString &fileName)
{
    loadFile(fileName);
}

void MainWindow::about()
{
    const QString name = QApplication::applicationName();
    const QString version = QApplication::applicationVersion();
    const QString link = QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(makerAddress));
    QMessageBox::about(this, QStringLiteral("About"),
        QLatin1String("<b>") + name + QLatin1Char(' ') + version
            + QLatin1String("</b><br><br>Byteswapped Big Endian and Little Endian ROMs are "
                            "converted to Big Endian.<br>After the decompression is done, the "
                            "CRC of the ROM file is fixed.<br>The ROM is cleaned up and do not "
                            "contain leftover data between the files.<br><br>Visit ")
            + link + QLatin1Char('.'));
}

// Recent files and the window title

void MainWindow::refreshRecentFileActions()
{
    const QStringList files = WindowSettings::recentFiles(settings);
    const int shown = qMin(int(files.size()), int(RecentFileLimit));
    for (int i = 0; i < shown; ++i) {
        // A "&" in a path would be read as a mnemonic.
        QString path = files.at(i);
        path.replace(QLatin1Char('&'), QLatin1String("&&"));
        recentFileActions[i]->setText(tr("&%1 %2").arg(i + 1).arg(path));
        recentFileActions[i]->setData(files.at(i));
        recentFileActions[i]->setVisible(true);
    }
    for (int i = shown; i < RecentFileLimit; ++i)
        recentFileActions[i]->setVisible(false);
}

void MainWindow::noteCurrentFile(const QString &fileName)
{
    setWindowModified(false);
    QString shownName = tr("No File Loaded");
    if (!fileName.isEmpty()) {
        shownName = fileName;
        WindowSettings::addRecentFile(settings, fileName, RecentFileLimit);
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(widget))
                window->refreshRecentFileActions();
        }
    }
    setWindowTitle(shownName + QLatin1String("[*]"));
}

void MainWindow::openRecentFile()
{
    if (auto *action = qobject_cast<QAction *>(sender()))
        loadFile(action->data().toString());
}

// Loading a ROM

void MainWindow::open()
{
    if (jobInProgress)
        return;
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Open ROM"), WindowSettings::openDialogStart(settings), tr("Any files (*)"));
    if (!fileName.isEmpty())
        loadFile(fileName);
}

void MainWindow::loadFile(const QString &fileName)
{
    // A drop can still reach the window behind the modal progress dialog; the worker owns the
    // images until its job ends.
    if (jobInProgress)
        return;
    QString notRomReason;
    if (!readRomFile(fileName, &notRomReason))
        return;
    romState.outputImage = QByteArray(DecompressionPass::outputImageSize, '\0');
    noteCurrentFile(fileName);

    loadedOrder = RomByteOrder::classify(romState.romImage);
    switch (loadedOrder) {
    case ByteOrder::Z64:
        qDebug() << "This is a z64 ROM.";
        finishLoading();
        break;
    case ByteOrder::V64:
        startConversion(true);
        break;
    case ByteOrder::N64:
        startConversion(false);
        break;
    case ByteOrder::NotRom:
        refuseNotRom(notRomReason);
        break;
    }
}

void MainWindow::refuseNotRom(const QString &reason)
{
    qDebug() << "This is not a ROM.";
    QApplication::restoreOverrideCursor();
    // The facts of the ROM loaded before, or still being found out, no longer apply.
    inspection->forget();
    factsArea->showFacts({reason + QLatin1Char('.'), startHint()});
    QMessageBox::warning(this, tr("Application"), tr("This is not a ROM."));
    decompressButton->setEnabled(false);
    compressAction->setEnabled(false);
    noteCurrentFile(QString());
    // The form must not show a game for a ROM that is not loaded.
    gameCombo->setCurrentIndex(0);
    tableAddressEdit->setText(FileTable::addressText(0));
}

// Reads the whole file into the ROM image and records it as the last ROM path. On failure the
// user is told why and nothing changes. A file that is not a ROM is read only as far as needed to
// tell, and notRomReason says why. Leaves the wait cursor on when it succeeds.
bool MainWindow::readRomFile(const QString &fileName, QString *notRomReason)
{
    const auto refuse = [this, &fileName](const QString &reason) {
        // The box is gone in a moment; the reason stays below the facts of what is loaded.
        factsArea->addNote(FileWarnings::cannotReadLine(fileName, reason));
        return FileWarnings::cannotRead(this, fileName, reason);
    };
    QFile file(fileName);
    const QString refusal = RomFile::open(file);
    if (!refusal.isEmpty())
        return refuse(refusal);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    RomFile::Contents content = RomFile::readRom(file);
    if (!content.ok() && content.notRom == NotRomReason::None) {
        QApplication::restoreOverrideCursor();
        return refuse(content.error);
    }
    *notRomReason = content.notRom == NotRomReason::None ? QString() : content.error;
    factsArea->startOver(); // a file was read: what came before no longer matters
    WindowSettings::noteRomRead(settings, fileName);
    romState.fileName = QFileInfo(fileName).fileName();
    romState.romImage = content.bytes;
    return true;
}

void MainWindow::startConversion(bool byteSwapped)
{
    const QString label = byteSwapped
        ? QStringLiteral("Converting ROM from Byteswapped Big Endian to Big Endian.")
        : QStringLiteral("Converting ROM from Little Endian to Big Endian.");
    progressDialog = createProgressDialog(label, romState.romImage.size());
    runOnWorker(Worker::Method2);
}

// The job counts as running until this slot is done: the dialog's last update runs the event
// loop, and a load or decompression started there would pull the images from under it.
void MainWindow::endConvertion()
{
    thread->quit();
    progressDialog->setValue(romState.romImage.size());
    finishLoading();
    jobInProgress = false;
}

void MainWindow::updateProgressDialog(int i, QString value)
{
    progressDialog->setLabelText(value);
    progressDialog->setValue(i);
}

QProgressDialog *MainWindow::createProgressDialog(const QString &label, int maximum)
{
    // Only the newest dialog is ever updated; the one before it has done its job.
    delete progressDialog;
    return new JobProgressDialog(label, maximum, this);
}

void MainWindow::runOnWorker(int method)
{
    jobInProgress = true;
    compressAction->setEnabled(false);
    thread->start();
    worker->requestMethod(Worker::Method(method));
}

// Game presets and the file table

void MainWindow::setGame(int game)
{
    const int address = gameCombo->itemData(game, Qt::UserRole).toInt();
    tableAddressEdit->setText(FileTable::addressText(address));
}

void MainWindow::finishLoading()
{
    const QByteArray &image = romState.romImage;
    romState.gameCode = FileTable::gameCode(image);
    qDebug() << romState.gameCode;
    qDebug() << image.left(8).toHex();

    gameCombo->setCurrentIndex(0);
    const GamePresets::Detection detection = GamePresets::detect(image);
    if (detection.found) {
        gameCombo->setCurrentIndex(detection.preset);
        if (detection.preset == 0)
            tableAddressEdit->setText(FileTable::addressText(detection.address));
    }
    statusBar()->showMessage(tr("File loaded"), statusTimeout);
    decompressButton->setEnabled(true);
    compressAction->setEnabled(true);
    QApplication::restoreOverrideCursor();
    startInspection();
}

void MainWindow::startInspection()
{
    factsArea->showFacts({tr("Looking at the ROM...")});
    inspection->start(romState.romImage, loadedOrder);
}

void MainWindow::showRomFacts(const RomInfo::Facts &facts)
{
    QStringList lines = RomInfo::summary(facts);
    if (facts.alreadyDecompressed)
        lines << tr("File \u2192 Compress... rebuilds the compressed ROM.");
    if (facts.knownDump && facts.tableAddress != facts.buildStringAddress) {
        // The known dump's address is certain; the build string's is a rule of thumb.
        qDebug() << "Known dump" << facts.knownDump->name << "has its file table at"
                 << FileTable::addressText(facts.tableAddress) << "instead of"
                 << FileTable::addressText(facts.buildStringAddress);
        const int preset = GamePresets::indexForAddress(facts.tableAddress);
        gameCombo->setCurrentIndex(preset);
        if (preset == 0)
            tableAddressEdit->setText(FileTable::addressText(facts.tableAddress));
    }
    factsArea->showFacts(lines);
}

QString MainWindow::startHint()
{
    return tr("Open a ROM with File \u2192 Open... or drop it on the window.");
}

void MainWindow::initFilesystem(int address)
{
    romState.files = FileTable::read(romState.romImage, address);
    qDebug() << "Length" << romState.files.size();
    romState.fileTableAddress = address;
}

// Decompressing and saving

void MainWindow::startDecompression()
{
    if (jobInProgress)
        return;
    qint32 address = 0;
    if (!readTableAddress(&address))
        return;
    if (!FileTable::startsWithExpectedEntry(romState.romImage, address)) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(this, tr("Warning"),
            QString::fromLatin1(RomPlan::firstEntryWarning), QMessageBox::Yes | QMessageBox::Cancel,
            QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }
    // A table that will be refused is refused before anyone picks a name for its output.
    initFilesystem(address);
    if (!checkFileList())
        return;

    const QFileInfo romPath(WindowSettings::romPath(settings));
    const QString defaultPath
        = romPath.path() + QLatin1Char('/') + OutputNames::decompressedName(romState.fileName);
    romState.outputFileName
        = QFileDialog::getSaveFileName(this, tr("Save File"), defaultPath, tr("Any files (*)"));
    if (romState.outputFileName.isEmpty())
        return;
    const QString targetProblem = OutputFile::checkTarget(romState.outputFileName);
    if (!targetProblem.isEmpty()) {
        FileWarnings::cannotWrite(this, romState.outputFileName, targetProblem);
        return;
    }

    qDebug() << "Starting thread in Thread " << QThread::currentThreadId();
    progressDialog = createProgressDialog(QStringLiteral("Decompressing"), romState.files.size());
    runOnWorker(Worker::Method1);
}

bool MainWindow::readTableAddress(qint32 *address)
{
    if (FileTable::readAddressText(tableAddressEdit->text(), address))
        return true;
    QMessageBox::warning(this, tr("Warning"),
        tr("\"%1\" is not a file table address.\nType 0x followed by hexadecimal digits, or a "
           "decimal number.")
            .arg(tableAddressEdit->text()));
    return false;
}

// Refuses, with the reason, a file list that the pass could not finish (no files: it would never
// report back) or that could crash it, grow the image without bound or run for hours. A refused
// list is let go at once: it can be long.
bool MainWindow::checkFileList()
{
    RomPlan::Options options;
    options.outputSize = romState.outputImage.size();
    romState.plan = RomPlan::prepare(romState.romImage,
        RomPlan::TableChoice::at(romState.fileTableAddress, false),
        inspection->knownDumpLookup(romState.romImage), options);
    if (romState.plan.ok()) {
        romState.plan.files = romState.files; // the same list, shared rather than held twice
        return true;
    }
    romState.files = QVector<FileRecord>();
    QMessageBox::warning(this, tr("Warning"), romState.plan.refusal.text);
    return false;
}

// Like endConvertion, the job lasts until the image is saved: the dialog's last update and any
// message box run the event loop, and a load handled there would replace the image being saved.
void MainWindow::saveFile()
{
    thread->quit();
    decompressButton->setEnabled(false);
    progressDialog->setValue(romState.files.size());
    if (writeOutputImage()) {
        statusBar()->showMessage(tr("File saved"), statusTimeout);
        factsArea->showResult(romState.outputFileName);
        OriginalRom::remember(settings, romState.outputFileName, WindowSettings::romPath(settings));
    }
    jobInProgress = false;
    compressAction->setEnabled(true); // the loaded ROM is still there to compress
}

// The output file keeps an existing file as it was unless the whole image is written.
bool MainWindow::writeOutputImage()
{
    OutputFile file(romState.outputFileName);
    const QString refusal = file.open();
    if (!refusal.isEmpty())
        return FileWarnings::cannotWrite(this, romState.outputFileName, refusal);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    fixCRC();
    const QString error = file.write(romState.outputImage);
    QApplication::restoreOverrideCursor();
    return error.isEmpty() || FileWarnings::cannotWrite(this, romState.outputFileName, error);
}

// Compressing like the original

void MainWindow::startCompression()
{
    if (jobInProgress || romState.romImage.isEmpty())
        return;
    qint32 address = 0;
    if (readTableAddress(&address))
        compressFlow->start(romState.romImage, WindowSettings::romPath(settings), address);
}

// Header checksums

void MainWindow::buildCrcTable()
{
    Checksum::buildCrcTable(crcTable);
}

int MainWindow::bootChip(QByteArray image)
{
    return Checksum::bootChipForCrc(Checksum::bootCodeCrc(crcTable, image));
}

int MainWindow::calculateChecksum(quint32 *result, QByteArray image)
{
    return Checksum::calculate(image, bootChip(image), result) ? 0 : 1;
}

void MainWindow::fixCRC()
{
    const HeaderChecksums::Report report = HeaderChecksums::repair(romState.outputImage);
    qDebug() << "BootChip: ";
    qDebug() << Checksum::chipName(report.chip);
    if (!report.known) {
        qDebug() << "Unable to calculate CRC\n";
        return;
    }
    const auto hex
        = [](quint32 value) { return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')); };
    qDebug().noquote() << QStringLiteral("CRC 1: %1").arg(hex(report.stored[0]));
    qDebug().noquote() << QStringLiteral("Calculated: %1").arg(hex(report.computed[0]));
    qDebug() << (report.good(0) ? "(Good)\n" : "(Bad)");
    qDebug().noquote() << QStringLiteral("CRC 2: %1").arg(hex(report.stored[1]));
    qDebug().noquote() << QStringLiteral("Calculated: %1").arg(hex(report.computed[1]));
    qDebug() << (report.good(1) ? "(Good)" : "(Bad)");
}
