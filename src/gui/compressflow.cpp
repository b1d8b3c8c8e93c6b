#include "compressflow.h"

#include "compressionrun.h"
#include "factsarea.h"
#include "filewarnings.h"
#include "outputfile.h"
#include "outputnames.h"
#include "windowtext.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>

namespace {

constexpr int statusTimeout = 2000;

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString cancelledText()
{
    return windowText("Compression cancelled: nothing was written");
}

} // namespace

CompressFlow::CompressFlow(QMainWindow *parent, QSettings &store, FactsArea *area)
    : QObject(parent), window(parent), settings(store), facts(area), job(new CompressionRun(this))
{
    connect(job, &CompressionRun::finished, this, &CompressFlow::finish);
}

CompressFlow::~CompressFlow()
{
    delete job;
}

void CompressFlow::start(const QByteArray &rom, const QString &romPath, qint32 address)
{
    if (running())
        return;
    RomPlan::Layout layout;
    layout.likeOriginal = true;
    const RomPlan::CompressionPlan romPlan
        = RomPlan::prepareCompression(rom, RomPlan::TableChoice::at(address, true), layout);
    if (!romPlan.ok()) {
        QMessageBox::warning(window, windowText("Warning"), romPlan.refusal.text);
        return;
    }
    const OriginalRom::Candidate original = chooseOriginal(romPlan, romPath);
    if (!original.ok())
        return;
    const QString target = askForOutput(romPath, original.path);
    if (target.isEmpty())
        return;

    RomJob::Request request;
    request.romPath = romPath;
    request.romImage = rom;
    request.outputPath = target;
    request.replaceOutput = true; // the Save dialog has asked
    request.addressGiven = true;
    request.address = address;
    RomJob::CompressRequest how;
    how.originalPath = original.path;
    how.originalImage = original.image;
    how.plan = original.plan;
    run(request, how, original.plan.rom.files.size());
}

void CompressFlow::stop()
{
    if (running())
        job->stop();
}

// The suggestion, shown for the user to take or change; the Open dialog when there is none.
OriginalRom::Candidate CompressFlow::chooseOriginal(
    const RomPlan::CompressionPlan &romPlan, const QString &romPath)
{
    const OriginalRom::Candidate suggested = OriginalRom::suggest(settings, romPath, romPlan);
    if (suggested.path.isEmpty())
        return askForOriginal(romPlan, romPath);
    QMessageBox box(QMessageBox::Question, windowText("Compress"),
        windowText("The ROM will be compressed like its original:\n%1")
            .arg(nativePath(suggested.path)),
        QMessageBox::NoButton, window);
    QPushButton *compress = box.addButton(windowText("Compress"), QMessageBox::AcceptRole);
    QPushButton *another = box.addButton(windowText("Choose another..."), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(compress);
    box.exec();
    if (box.clickedButton() == compress)
        return suggested;
    if (box.clickedButton() == another)
        return askForOriginal(romPlan, romPath);
    return OriginalRom::Candidate();
}

OriginalRom::Candidate CompressFlow::askForOriginal(
    const RomPlan::CompressionPlan &romPlan, const QString &romPath)
{
    const QString path = QFileDialog::getOpenFileName(window, windowText("Original ROM"),
        QFileInfo(romPath).absolutePath(), windowText("Any files (*)"));
    if (path.isEmpty())
        return OriginalRom::Candidate();
    OriginalRom::Candidate candidate = OriginalRom::read(path, romPlan);
    if (!candidate.ok()) {
        QMessageBox::warning(window, windowText("Warning"),
            windowText("%1 cannot be the original of this ROM:\n%2")
                .arg(nativePath(path), candidate.plan.refusal.text));
    }
    return candidate;
}

QString CompressFlow::askForOutput(const QString &romPath, const QString &originalPath)
{
    const QFileInfo loaded(romPath);
    const QString proposed
        = loaded.absoluteDir().filePath(OutputNames::compressedName(loaded.fileName()));
    const QString target = QFileDialog::getSaveFileName(
        window, windowText("Save File"), proposed, windowText("Any files (*)"));
    if (target.isEmpty())
        return QString();
    QString problem = OutputFile::checkTarget(target);
    if (problem.isEmpty() && QFileInfo(target) == QFileInfo(originalPath))
        problem = windowText("it is the original ROM, which would be lost");
    if (problem.isEmpty())
        return target;
    FileWarnings::cannotWrite(window, target, problem);
    return QString();
}

void CompressFlow::run(
    const RomJob::Request &request, const RomJob::CompressRequest &how, int files)
{
    output = request.outputPath;
    // Not modal: a window blocked by a modal dialog never hears of the window manager's close.
    dialog = new QProgressDialog(windowText("Compressing"), windowText("Cancel"), 0, files, window);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    connect(dialog, &QProgressDialog::canceled, job, &CompressionRun::stop);
    connect(job, &CompressionRun::filesEncoded, dialog,
        [shown = dialog](int done, int) { shown->setValue(done); });
    dialog->setValue(0);
    dialog->show();
    emit runningChanged(true);
    job->start(request, how, knownDumps);
}

void CompressFlow::finish(const RomJob::Result &result)
{
    const bool stopped = job->stopRequested();
    dialog->hide();
    dialog->deleteLater();
    dialog = nullptr;
    emit runningChanged(false);
    if (!result.ok() && stopped) {
        window->statusBar()->showMessage(cancelledText(), statusTimeout);
        facts->showResult(QStringList {cancelledText()});
        return;
    }
    if (!result.ok()) {
        QMessageBox::warning(window, windowText("Warning"),
            windowText("Cannot compress %1:\n%2")
                .arg(nativePath(result.failedPath), result.refusal.text));
        return;
    }
    window->statusBar()->showMessage(windowText("File saved"), statusTimeout);
    QStringList done {windowText("%1 files compressed, %2 moved from their original place")
                          .arg(result.compressedFiles)
                          .arg(result.movedFiles)};
    done << result.warnings;
    if (!result.identicalDump.isEmpty())
        done << RomJob::identicalDumpText(result.identicalDump);
    facts->showResult(output, done);
}
