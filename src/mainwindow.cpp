#include "mainwindow.h"

#include "bigendian.h"
#include "byteorder.h"
#include "checksum.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "worker.h"
#include "yaz0.h"

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
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QUrl>

namespace {

constexpr int statusTimeout = 2000;

// ROM files are read whole and kept next to the output image; nothing this large is a ROM, and
// refusing it up front keeps a stray file from exhausting memory.
constexpr qint64 maxRomFileSize = 0x40000000;

struct GamePreset
{
    const char *name; // nullptr: a separator
    int fileTableAddress;
};

constexpr GamePreset gamePresets[] = {
    {"Other", 0},
    {nullptr, 0},
    {"Doubutsu no Mori (Animal Crossing)", 0x19D40},
    {nullptr, 0},
    {"Ocarina of Time NTSC 1.0 & 1.1", 0x7430},
    {"Ocarina of Time NTSC 1.2", 0x7960},
    {"Ocarina of Time PAL 1.0 & 1.1", 0x7950},
    {"Ocarina of Time GCN & Master Quest", 0x7170},
    {"Ocarina of Time Master Quest Debug PAL", 0x12F70},
    {nullptr, 0},
    {"Majora's Mask NTSC-U", 0x1A500},
    {"Majora's Mask NTSC-U Demo", 0x1AB50},
    {"Majora's Mask NTSC-J 1.0", 0x1C110},
    {"Majora's Mask NTSC-J 1.1", 0x1C050},
    {"Majora's Mask PAL 1.0", 0x1A650},
    {"Majora's Mask PAL 1.1", 0x1A8D0},
    {"Majora's Mask Debug PAL", 0x24F60},
};

const char fileTableWarning[]
    = "The File Table does not start with 00000000 00001060 00000000 00000000.\n"
      "This usually indicates that the specified address isn't the start of a file table.\n"
      "Are you sure that you want to continue?";

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
    fileMenu->addSeparator();
    connect(openAction, SIGNAL(triggered()), this, SLOT(open()));

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
    for (const GamePreset &preset : gamePresets) {
        if (preset.name)
            gameCombo->addItem(QIcon(), QString::fromUtf8(preset.name), preset.fileTableAddress);
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
    const int shown = qMin(files.size(), int(RecentFileLimit));
    for (int i = 0; i < shown; ++i) {
        recentFileActions[i]->setText(tr("&%1 %2").arg(i + 1).arg(files.at(i)));
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
    const QString start = settings.value(QStringLiteral("romPath")).toString();
    const QString fileName
        = QFileDialog::getOpenFileName(this, tr("Open ROM"), start, tr("Any files (*)"));
    if (!fileName.isEmpty())
        loadFile(fileName);
}

void MainWindow::loadFile(const QString &fileName)
{
    // A drop can still reach the window behind the modal progress dialog; the worker owns the
    // images until its job ends.
    if (jobInProgress)
        return;
    if (!readRomFile(fileName))
        return;
    romState.outputImage = QByteArray(DecompressionPass::outputImageSize, '\0');
    noteCurrentFile(fileName);

    switch (RomByteOrder::classify(romState.romImage)) {
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
        qDebug() << "This is not a ROM.";
        QApplication::restoreOverrideCursor();
        QMessageBox::warning(this, tr("Application"), tr("This is not a ROM."));
        decompressButton->setEnabled(false);
        noteCurrentFile(QString());
        break;
    }
}

// Reads the whole file into the ROM image and records it as the last ROM path. On failure the
// user is told why and nothing changes. Leaves the wait cursor on when it succeeds.
bool MainWindow::readRomFile(const QString &fileName)
{
    const auto refuse = [this, &fileName](const QString &reason) {
        QMessageBox::warning(
            this, tr("Application"), tr("Cannot read file %1:\n%2.").arg(fileName, reason));
        return false;
    };
    // Opening a FIFO or a device would block or never end, so only plain files are opened.
    const QFileInfo info(fileName);
    if (info.exists() && info.isDir())
        return refuse(tr("It is a folder, not a file"));
    if (info.exists() && !info.isFile())
        return refuse(tr("It is not a regular file"));
    QFile file(fileName);
    if (!file.open(QFile::ReadOnly))
        return refuse(file.errorString());
    if (file.size() > maxRomFileSize)
        return refuse(tr("At %1 MiB the file is larger than the %2 MiB any ROM fits in")
                          .arg((file.size() + (1 << 20) - 1) >> 20)
                          .arg(maxRomFileSize >> 20));

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QByteArray content = file.readAll();
    if (content.size() != file.size() || file.error() != QFile::NoError) {
        QApplication::restoreOverrideCursor();
        return refuse(file.error() != QFile::NoError ? file.errorString()
                                                     : tr("The file could not be read whole"));
    }
    settings.setValue(QStringLiteral("romPath"), fileName);
    if (!settings.contains(QStringLiteral("fileDialogPath")))
        settings.setValue(QStringLiteral("fileDialogPath"), info.absolutePath() + QLatin1Char('/'));
    romState.fileName = info.fileName();
    romState.romImage = content;
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

void MainWindow::endConvertion()
{
    thread->quit();
    jobInProgress = false;
    progressDialog->setValue(romState.romImage.size());
    finishLoading();
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
    dialog->setValue(0);
    dialog->show();
    return dialog;
}

void MainWindow::runOnWorker(int method)
{
    jobInProgress = true;
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
    qint32 address = 0;
    if (FileTable::findAddress(image, &address)) {
        for (int i = 0; i < gameCombo->count(); ++i) {
            const QVariant presetAddress = gameCombo->itemData(i, Qt::UserRole);
            if (i > 0 && presetAddress.isValid() && presetAddress.toInt() == address) {
                gameCombo->setCurrentIndex(i);
                break;
            }
        }
        if (gameCombo->currentIndex() == 0)
            tableAddressEdit->setText(FileTable::addressText(address));
    }
    statusBar()->showMessage(tr("File loaded"), statusTimeout);
    decompressButton->setEnabled(true);
    QApplication::restoreOverrideCursor();
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
    const qint32 address = FileTable::parseAddressText(tableAddressEdit->text());
    if (!FileTable::startsWithExpectedEntry(romState.romImage, address)) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(this, tr("Warning"),
            QString::fromLatin1(fileTableWarning), QMessageBox::Yes | QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }

    const QFileInfo romPath(settings.value(QStringLiteral("romPath")).toString());
    const QString fileName = romState.fileName;
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString defaultPath = romPath.path() + QLatin1String("/dec_")
        + (dot < 0 ? fileName : fileName.left(dot)) + QLatin1String(".z64");
    romState.outputFileName
        = QFileDialog::getSaveFileName(this, tr("Save File"), defaultPath, tr("Any files (*)"));
    if (romState.outputFileName.isEmpty())
        return;

    initFilesystem(address);
    if (!checkFileList())
        return;
    qDebug() << "Starting thread in Thread " << QThread::currentThreadId();
    progressDialog = createProgressDialog(QStringLiteral("Decompressing"), romState.files.size());
    runOnWorker(Worker::Method1);
}

// Refuses, with the reason, a file list that the pass could not finish (no files: it would never
// report back) or that could crash it or grow the image without bound.
bool MainWindow::checkFileList()
{
    const QString address = FileTable::addressText(romState.fileTableAddress);
    if (romState.files.isEmpty()) {
        QMessageBox::warning(this, tr("Warning"),
            tr("The file table at %1 lists no files, so there is nothing to "
               "decompress.")
                .arg(address));
        return false;
    }
    using DecompressionPass::Problem;
    const DecompressionPass::Finding finding = DecompressionPass::findProblem(
        romState.romImage, romState.outputImage.size(), romState.fileTableAddress, romState.files);
    if (finding.problem == Problem::None)
        return true;

    QString reason;
    switch (finding.problem) {
    case Problem::NegativeAddress:
        reason = tr("holds a negative address");
        break;
    case Problem::InvertedRange:
        reason = tr("ends before it starts");
        break;
    case Problem::DeclaredSizeTooLarge:
        reason = tr("is a compressed file that declares more than %1 MiB")
                     .arg(Yaz0::maxDeclaredSize >> 20);
        break;
    case Problem::OutputTooLarge:
        reason = tr("would grow the decompressed ROM past %1 MiB")
                     .arg(DecompressionPass::maxOutputSize >> 20);
        break;
    case Problem::None:
        break;
    }
    const FileRecord &file = romState.files.at(finding.index);
    const QString entry = QStringLiteral("%1 %2 %3 %4")
                              .arg(FileTable::addressText(file.virtualStart),
                                  FileTable::addressText(file.virtualEnd),
                                  FileTable::addressText(file.physicalStart),
                                  FileTable::addressText(file.physicalEnd));
    QMessageBox::warning(this, tr("Warning"),
        tr("Entry %1 of the file table at %2 (%3) %4.\nNothing was "
           "decompressed.")
            .arg(finding.index)
            .arg(address, entry, reason));
    return false;
}

void MainWindow::saveFile()
{
    thread->quit();
    jobInProgress = false;
    decompressButton->setEnabled(false);
    progressDialog->setValue(romState.files.size());
    if (writeOutputImage())
        statusBar()->showMessage(tr("File saved"), statusTimeout);
}

// Writes through a temporary file that replaces the target only once everything is written, so
// a failed save leaves an existing file as it was. A target that exists but is not a regular file
// (a device such as /dev/null) is written to directly: replacing it would destroy the device.
bool MainWindow::writeOutputImage()
{
    const QString &path = romState.outputFileName;
    const QFileInfo target(path);
    const auto refuse = [this, &path](const QString &reason) {
        QMessageBox::warning(this, tr("Application"),
            tr("Cannot write file %1:\n%2.").arg(QDir::toNativeSeparators(path), reason));
        return false;
    };
    if (target.isDir())
        return refuse(tr("It is a folder, not a file"));
    QSaveFile replacement(path);
    QFile device(path);
    const bool direct = target.exists() && !target.isFile();
    QFileDevice &file = direct ? static_cast<QFileDevice &>(device) : replacement;
    if (!file.open(QFile::WriteOnly))
        return refuse(file.errorString());

    QApplication::setOverrideCursor(Qt::WaitCursor);
    fixCRC();
    const QByteArray &image = romState.outputImage;
    const qint64 count = file.write(image);
    const bool written = count == image.size() && (direct ? device.flush() : replacement.commit());
    QApplication::restoreOverrideCursor();
    if (written)
        return true;
    // A short write without an error (the disk or a size limit ran out) has no system text.
    if (file.error() == QFileDevice::NoError && count >= 0 && count < image.size())
        return refuse(tr("Only %1 of %2 bytes could be written").arg(count).arg(image.size()));
    return refuse(file.errorString());
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
    buildCrcTable();
    QByteArray &image = romState.outputImage;
    qDebug() << "BootChip: ";
    qDebug() << Checksum::chipName(bootChip(image));

    quint32 calculated[2];
    if (calculateChecksum(calculated, image) != 0) {
        qDebug() << "Unable to calculate CRC\n";
        return;
    }
    const quint32 stored[2] = {BigEndian::readWord(image, Checksum::crc1Offset),
        BigEndian::readWord(image, Checksum::crc2Offset)};
    const auto hex
        = [](quint32 value) { return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')); };
    qDebug().noquote() << QStringLiteral("CRC 1: %1").arg(hex(stored[0]));
    qDebug().noquote() << QStringLiteral("Calculated: %1").arg(hex(calculated[0]));
    qDebug() << (stored[0] == calculated[0] ? "(Good)\n" : "(Bad)");
    qDebug().noquote() << QStringLiteral("CRC 2: %1").arg(hex(stored[1]));
    qDebug().noquote() << QStringLiteral("Calculated: %1").arg(hex(calculated[1]));
    qDebug() << (stored[1] == calculated[1] ? "(Good)" : "(Bad)");

    BigEndian::writeWord(image, Checksum::crc1Offset, calculated[0]);
    BigEndian::writeWord(image, Checksum::crc2Offset, calculated[1]);
}
