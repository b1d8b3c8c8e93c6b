#ifndef COMPRESSFLOW_H
#define COMPRESSFLOW_H

#include "knowndumps.h"
#include "originalrom.h"
#include "romjob.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

class CompressionRun;
class FactsArea;
class QMainWindow;
class QSettings;

// File -> Compress...: the way back for the window's loaded ROM. Everything that can be refused is
// refused before the user picks an original or a name; the original is suggested when it can be
// found (OriginalRom::suggest) and asked for otherwise; the job runs off the window's thread
// behind a "Compressing" dialog whose Cancel stops it within a moment, writing nothing. The dialog
// leaves the window free to be closed, which stops the job as Cancel does; the window keeps its
// own controls off meanwhile (see runningChanged). What was done goes to the facts area.
class CompressFlow : public QObject
{
    Q_OBJECT

public:
    CompressFlow(QMainWindow *window, QSettings &settings, FactsArea *facts);
    ~CompressFlow() override; // waits for a job still running: it reads the window's ROM

    void useKnownDumps(KnownDumps::Table table) { knownDumps = table; }

    // The ROM (big endian) was loaded from romPath; its table is at address.
    void start(const QByteArray &rom, const QString &romPath, qint32 address);
    bool running() const { return dialog != nullptr; }
    // As Cancel: the job stops after the file in hand, and nothing is written.
    void stop();

signals:
    void runningChanged(bool running);

private:
    OriginalRom::Candidate chooseOriginal(
        const RomPlan::CompressionPlan &romPlan, const QString &romPath);
    OriginalRom::Candidate askForOriginal(
        const RomPlan::CompressionPlan &romPlan, const QString &romPath);
    QString askForOutput(const QString &romPath, const QString &originalPath);
    void run(const RomJob::Request &request, const RomJob::CompressRequest &how, int files);
    void finish(const RomJob::Result &result);

    QMainWindow *const window;
    QSettings &settings;
    FactsArea *const facts;
    CompressionRun *const job;
    QPointer<QProgressDialog> dialog;
    QString output; // where the running job writes
    KnownDumps::Table knownDumps = KnownDumps::builtInTable();
};

#endif // COMPRESSFLOW_H
