#ifndef COMPRESSIONRUN_H
#define COMPRESSIONRUN_H

#include "romjob.h"

#include <QAtomicInt>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

// The way back's job for the window: RomJob::compressFile on a pool thread, its files encoded by
// the pool's other threads, with progress and a stop that takes effect after the file being
// encoded. Nothing is written unless the job runs to its end and its check passes. The count of
// files encoded is sent a few times a second rather than once per file, so that a modal dialog
// that runs the event loop as it updates is never fed faster than it draws.
class CompressionRun : public QObject
{
    Q_OBJECT

public:
    explicit CompressionRun(QObject *parent = nullptr);
    ~CompressionRun() override;

    void start(const RomJob::Request &request, const RomJob::CompressRequest &how,
        KnownDumps::Table knownDumps);
    // Asks the job to stop; finished follows within a moment.
    void stop();
    bool stopRequested() const { return stopping.loadAcquire() != 0; }

signals:
    void filesEncoded(int done, int total);
    void finished(const RomJob::Result &result);

private:
    void reportProgress();

    QFutureWatcher<RomJob::Result> watcher;
    QTimer progressTimer;
    QAtomicInt stopping = 0;
    QAtomicInt done = 0;
    QAtomicInt total = 0;
    int reported = -1;
};

#endif // COMPRESSIONRUN_H
