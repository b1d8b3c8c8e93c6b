#include "mainwindow.h"

#include "byteorder.h"
#include "checksum.h"
#include "checksumrepair.h"
#include "compressionrun.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "originalrom.h"
#include "outputfile.h"
#include "passplan.h"
#include "romfile.h"
#include "romplan.h"
#include "worker.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>

namespace {

constexpr int statusTimeout = 2000;
constexpr int infoLines = 7;

const char makerAddress[] = "https://marrowfen.example/tidepool";

// Decompressed ROMs whose originals are remembered; past this, those no longer on disk are let go.
constexpr int rememberedOriginals = 50;

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

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
    delete compression; // waits for a compression still running: it reads the ROM
    factsWatcher.waitForFinished();
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

    infoLabel = new QLabel(startHint());
    infoLabel->setObjectName(QStringLiteral("romFacts"));
    infoLabel->setWordWrap(true);
    infoLabel->setTextFormat(Qt::PlainText);
    infoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoLabel->setFrameShape(QFrame::StyledPanel);
    infoLabel->setMargin(4);
    infoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the lines of most ROMs, so the window keeps its size from one ROM to the next.
    factsAreaHeight = infoLines * infoLabel->fontMetrics().lineSpacing() + 12;
    infoLabel->setMinimumHeight(factsAreaHeight);
    form->addRow(infoLabel);
    // Not a slot: the window's slots are the ones its menus, form and worker reach.
    connect(
        &factsWatcher, &QFutureWatcher<RomInfo::Facts>::finished, this, [this] { showRomFacts(); });

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
    compression = new CompressionRun;
    connect(compression, &CompressionRun::finished, this,
        [this](const RomJob::Result &result) { finishCompression(result); });
}

void MainWindow::closeEvent(QCloseEvent *) { }

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

// ---------------------------------------------------------------------------------------------
// Recent files and the window title

void MainWindow::refreshRecentFileActions()
{
    const QStringList files = settings.value(QStringLiteral("recentFileList")).toStringList();
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
        QStringList files = settings.value(QStringLiteral("recentFileList")).toStringList();
        files.removeAll(fileName);
        files.prepend(fileName);
        while (files.size() > RecentFileLimit)
            files.removeLast();
        settings.setValue(QStringLiteral("recentFileList"), files);
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

// ---------------------------------------------------------------------------------------------
// Loading a ROM

void MainWindow::open()
{
    if (jobInProgress)
        return;
    if (!settings.contains(QStringLiteral("romPath"))) {
        settings.setValue(QStringLiteral("romPath"),
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    }
    const QString start = existingStart(settings.value(QStringLiteral("romPath")).toString());
    const QString fileName
        = QFileDialog::getOpenFileName(this, tr("Open ROM"), start, tr("Any files (*)"));
    if (!fileName.isEmpty())
        loadFile(fileName);
}

// The stored path when it exists, else its folder when that exists (a ROM since deleted, or a
// Desktop folder that was never made), else the home folder: a dialog opened on a missing path
// would offer its last part as a file name.
QString MainWindow::existingStart(const QString &stored)
{
    const QFileInfo info(stored);
    if (info.exists())
        return stored;
    if (info.absoluteDir().exists())
        return info.absolutePath();
    return QDir::homePath();
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
    factsWatcher.setFuture(QFuture<RomInfo::Facts>());
    showFacts(QStringList {reason + QLatin1Char('.'), startHint()});
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
        QMessageBox::warning(
            this, tr("Application"), tr("Cannot read file %1:\n%2.").arg(fileName, reason));
        // The box is gone in a moment; the reason stays below the facts of what is loaded.
        noteInFacts(tr("Cannot read file %1: %2.").arg(fileName, reason));
        return false;
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
    factsNotes.clear(); // a file was read: what came before no longer matters
    settings.setValue(QStringLiteral("romPath"), fileName);
    const QFileInfo info(fileName);
    if (!settings.contains(QStringLiteral("fileDialogPath")))
        settings.setValue(QStringLiteral("fileDialogPath"), info.absolutePath() + QLatin1Char('/'));
    romState.fileName = info.fileName();
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
    auto *dialog = new QProgressDialog(label, QString(), 0, maximum, this);
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowCloseButtonHint);
    dialog->setCancelButton(nullptr);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->installEventFilter(this);
    dialog->setValue(0);
    dialog->show();
    return dialog;
}

// While its job runs the progress dialog cannot be dismissed: Escape or the window manager's
// close would hide it and leave a window that looks idle but ignores every click.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == progressDialog && jobInProgress) {
        const bool escape = event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
        if (escape || event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::runOnWorker(int method)
{
    jobInProgress = true;
    compressAction->setEnabled(false);
    thread->start();
    worker->requestMethod(Worker::Method(method));
}

// ---------------------------------------------------------------------------------------------
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

// Hashing a whole ROM takes a while, so what the ROM is appears once a pool thread has found
// out. The worker is not used: its requests belong to the loading and decompressing jobs.
void MainWindow::startInspection()
{
    showFacts(QStringList {tr("Looking at the ROM...")});
    factsWatcher.setFuture(
        QtConcurrent::run([rom = romState.romImage, order = loadedOrder, dumps = knownDumps] {
            return RomInfo::inspectBigEndian(rom, order, dumps);
        }));
}

void MainWindow::showRomFacts()
{
    // A refused file leaves the watcher on an empty future, which counts as finished.
    const QFuture<RomInfo::Facts> future = factsWatcher.future();
    if (future.isCanceled() || future.resultCount() == 0)
        return;
    const RomInfo::Facts facts = future.result();
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
    showFacts(lines);
}

// Every line must stay readable: the area grows (and the window with it) when the lines need more
// room than it has.
void MainWindow::showFacts(const QStringList &lines)
{
    // Notes about files that could not be read stay below the facts that arrive after them.
    infoLabel->setText((lines + factsNotes).join(QLatin1Char('\n')));
    infoLabel->setToolTip(QString());
    fitFactsArea();
}

// A long path would not wrap, so it is shortened in the middle to the area's width; the tooltip
// has it whole.
void MainWindow::noteSavedFile(const QString &path, const QStringList &whatWasDone)
{
    const QString full = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    QString shown = full;
    if (infoLabel->isVisible()) {
        const QFontMetrics metrics = infoLabel->fontMetrics();
        const int room = infoLabel->contentsRect().width() - 2 * infoLabel->margin()
            - metrics.horizontalAdvance(tr("Saved to %1").arg(QString()));
        shown = metrics.elidedText(full, Qt::ElideMiddle, room);
    }
    const QString facts = infoLabel->text();
    const QString done = whatWasDone.isEmpty()
        ? QString()
        : QLatin1Char('\n') + whatWasDone.join(QLatin1Char('\n'));
    infoLabel->setText(facts + QLatin1Char('\n') + tr("Saved to %1").arg(shown) + done);
    infoLabel->setToolTip(facts + QLatin1Char('\n') + tr("Saved to %1").arg(full) + done);
    fitFactsArea();
}

void MainWindow::noteInFacts(const QString &line)
{
    factsNotes << line;
    const QString facts = infoLabel->text();
    infoLabel->setText(facts.isEmpty() ? line : facts + QLatin1Char('\n') + line);
    fitFactsArea();
}

void MainWindow::fitFactsArea()
{
    // Before the window is shown the area has no width of its own to wrap at.
    if (!infoLabel->isVisible())
        return;
    const int needed = infoLabel->heightForWidth(infoLabel->width());
    infoLabel->setMinimumHeight(std::max(factsAreaHeight, needed));
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

// ---------------------------------------------------------------------------------------------
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
            QString::fromLatin1(PassPlan::firstEntryWarning),
            QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }
    // A table that will be refused is refused before anyone picks a name for its output.
    initFilesystem(address);
    if (!checkFileList())
        return;

    const QFileInfo romPath(settings.value(QStringLiteral("romPath")).toString());
    const QString defaultPath
        = romPath.path() + QLatin1Char('/') + OutputFile::defaultName(romState.fileName);
    romState.outputFileName
        = QFileDialog::getSaveFileName(this, tr("Save File"), defaultPath, tr("Any files (*)"));
    if (romState.outputFileName.isEmpty())
        return;
    const QString targetProblem = OutputFile::checkTarget(romState.outputFileName);
    if (!targetProblem.isEmpty()) {
        QMessageBox::warning(this, tr("Application"),
            tr("Cannot write file %1:\n%2.")
                .arg(QDir::toNativeSeparators(romState.outputFileName), targetProblem));
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
        PassPlan::TableChoice::at(romState.fileTableAddress, false), knownDumpLookup(),
        RomPlan::Use::Decompress, options);
    if (romState.plan.ok()) {
        romState.plan.files = romState.files; // the same list, shared rather than held twice
        return true;
    }
    romState.files = QVector<FileRecord>();
    QMessageBox::warning(this, tr("Warning"), romState.plan.refusal);
    return false;
}

// The inspection has hashed the ROM already once it is done; until then the plan hashes it only
// if its decisions need to know.
PassPlan::KnownDumpLookup MainWindow::knownDumpLookup() const
{
    const QFuture<RomInfo::Facts> future = factsWatcher.future();
    if (future.isFinished() && !future.isCanceled() && future.resultCount() > 0)
        return RomPlan::answered(future.result().knownDump);
    return RomPlan::lookUpOnce(romState.romImage, knownDumps);
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
        noteSavedFile(romState.outputFileName);
        rememberOriginal(romState.outputFileName);
    }
    jobInProgress = false;
    compressAction->setEnabled(true); // the loaded ROM is still there to compress
}

// The output file keeps an existing file as it was unless the whole image is written.
bool MainWindow::writeOutputImage()
{
    const QString &path = romState.outputFileName;
    const auto refuse = [this, &path](const QString &reason) {
        QMessageBox::warning(this, tr("Application"),
            tr("Cannot write file %1:\n%2.").arg(QDir::toNativeSeparators(path), reason));
        return false;
    };
    OutputFile file(path);
    const QString refusal = file.open();
    if (!refusal.isEmpty())
        return refuse(refusal);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    fixCRC();
    const QString error = file.write(romState.outputImage);
    QApplication::restoreOverrideCursor();
    return error.isEmpty() || refuse(error);
}

// ---------------------------------------------------------------------------------------------
// Compressing like the original

// Everything that can be refused is refused before the user picks an original or a name.
void MainWindow::startCompression()
{
    if (jobInProgress || romState.romImage.isEmpty())
        return;
    qint32 address = 0;
    if (!readTableAddress(&address))
        return;
    const PassPlan::Plan plan = RomPlan::prepare(
        romState.romImage, PassPlan::TableChoice::at(address, true), {}, RomPlan::Use::Compress);
    if (!plan.ok()) {
        QMessageBox::warning(this, tr("Warning"), plan.refusal);
        return;
    }
    const QString original = chooseOriginal(address);
    if (original.isEmpty())
        return;

    const QFileInfo loaded(settings.value(QStringLiteral("romPath")).toString());
    const QString proposed
        = loaded.absoluteDir().filePath(OriginalRom::compressedName(romState.fileName));
    const QString output
        = QFileDialog::getSaveFileName(this, tr("Save File"), proposed, tr("Any files (*)"));
    if (output.isEmpty())
        return;
    QString targetProblem = OutputFile::checkTarget(output);
    if (targetProblem.isEmpty() && QFileInfo(output) == QFileInfo(original))
        targetProblem = tr("it is the original ROM, which would be lost");
    if (!targetProblem.isEmpty()) {
        QMessageBox::warning(this, tr("Application"),
            tr("Cannot write file %1:\n%2.").arg(nativePath(output), targetProblem));
        return;
    }

    RomJob::Request request;
    request.romPath = loaded.filePath();
    request.romImage = romState.romImage;
    request.outputPath = output;
    request.replaceOutput = true; // the Save dialog has asked
    request.addressGiven = true;
    request.address = address;
    RomJob::CompressRequest how;
    how.originalPath = original;
    runCompression(request, how, plan.files.size());
}

// The suggestion, shown for the user to take or change; the Open dialog when there is none.
QString MainWindow::chooseOriginal(qint32 tableAddress)
{
    const QString suggested = suggestedOriginal(tableAddress);
    if (suggested.isEmpty())
        return askForOriginal(tableAddress);
    QMessageBox box(QMessageBox::Question, tr("Compress"),
        tr("The ROM will be compressed like its original:\n%1").arg(nativePath(suggested)),
        QMessageBox::NoButton, this);
    QPushButton *compress = box.addButton(tr("Compress"), QMessageBox::AcceptRole);
    QPushButton *another = box.addButton(tr("Choose another..."), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(compress);
    box.exec();
    if (box.clickedButton() == compress)
        return suggested;
    if (box.clickedButton() == another)
        return askForOriginal(tableAddress);
    return QString();
}

// The original remembered when the loaded ROM was saved decompressed, else the file beside it
// named without "dec_"; either only when it is a compressed ROM with its table where the loaded
// ROM has its own.
QString MainWindow::suggestedOriginal(qint32 tableAddress)
{
    const QFileInfo loaded(settings.value(QStringLiteral("romPath")).toString());
    const QVariantMap remembered = settings.value(QStringLiteral("originalRoms")).toMap();
    QStringList candidates {remembered.value(loaded.absoluteFilePath()).toString()};
    const QString sibling = OriginalRom::siblingName(loaded.fileName());
    if (!sibling.isEmpty())
        candidates << loaded.absoluteDir().filePath(sibling);
    for (const QString &candidate : qAsConst(candidates)) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isFile()
            && OriginalRom::problem(candidate, tableAddress).isEmpty())
            return candidate;
    }
    return QString();
}

QString MainWindow::askForOriginal(qint32 tableAddress)
{
    const QString folder
        = QFileInfo(settings.value(QStringLiteral("romPath")).toString()).absolutePath();
    const QString path
        = QFileDialog::getOpenFileName(this, tr("Original ROM"), folder, tr("Any files (*)"));
    if (path.isEmpty())
        return QString();
    const QString problem = OriginalRom::problem(path, tableAddress);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"),
            tr("%1 cannot be the original of this ROM:\n%2").arg(nativePath(path), problem));
        return QString();
    }
    return path;
}

// A decompressed ROM remembers the ROM it came from, for compressing it back later.
void MainWindow::rememberOriginal(const QString &savedPath)
{
    QVariantMap remembered = settings.value(QStringLiteral("originalRoms")).toMap();
    if (remembered.size() >= rememberedOriginals) {
        for (auto it = remembered.begin(); it != remembered.end();)
            it = QFileInfo::exists(it.key()) ? std::next(it) : remembered.erase(it);
    }
    if (remembered.size() >= rememberedOriginals)
        remembered.erase(remembered.begin());
    const QString original = settings.value(QStringLiteral("romPath")).toString();
    remembered.insert(
        QFileInfo(savedPath).absoluteFilePath(), QFileInfo(original).absoluteFilePath());
    settings.setValue(QStringLiteral("originalRoms"), remembered);
}

// The job runs on a pool thread behind a window-modal dialog whose Cancel stops it.
void MainWindow::runCompression(
    const RomJob::Request &request, const RomJob::CompressRequest &how, int files)
{
    jobInProgress = true;
    compressAction->setEnabled(false);
    compressionOutput = request.outputPath;
    compressionDialog = new QProgressDialog(tr("Compressing"), tr("Cancel"), 0, files, this);
    compressionDialog->setWindowModality(Qt::WindowModal);
    compressionDialog->setAutoClose(false);
    compressionDialog->setAutoReset(false);
    compressionDialog->setMinimumDuration(0);
    connect(compressionDialog, &QProgressDialog::canceled, compression, &CompressionRun::stop);
    connect(compression, &CompressionRun::filesEncoded, compressionDialog,
        [dialog = compressionDialog](int done, int) { dialog->setValue(done); });
    compressionDialog->setValue(0);
    compressionDialog->show();
    compression->start(request, how, knownDumps);
}

void MainWindow::finishCompression(const RomJob::Result &result)
{
    const bool stopped = compression->stopRequested();
    compressionDialog->deleteLater();
    compressionDialog->hide();
    compressionDialog = nullptr;
    jobInProgress = false;
    compressAction->setEnabled(true);
    if (!result.ok() && stopped) {
        statusBar()->showMessage(tr("Compression cancelled: nothing was written"), statusTimeout);
        return;
    }
    if (!result.ok()) {
        QMessageBox::warning(this, tr("Warning"),
            tr("Cannot compress %1:\n%2").arg(nativePath(result.failedPath), result.error));
        return;
    }
    statusBar()->showMessage(tr("File saved"), statusTimeout);
    QStringList done {tr("%1 files compressed, %2 moved from their original place")
                          .arg(result.compressedFiles)
                          .arg(result.movedFiles)};
    done << result.warnings;
    if (!result.identicalDump.isEmpty())
        done << RomJob::identicalDumpText(result.identicalDump);
    noteSavedFile(compressionOutput, done);
}

// ---------------------------------------------------------------------------------------------
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
