#include "compressionrun.h"

#include "poolrunner.h"
#include "windowtext.h"

#include <QThreadPool>
#include <QtConcurrent>

#include <new>

namespace {

constexpr int progressMilliseconds = 100;

} // namespace

CompressionRun::CompressionRun(QObject *parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<RomJob::Result>::finished, this, [this] {
        progressTimer.stop();
        reportProgress();
        emit finished(watcher.future().result());
    });
    progressTimer.setInterval(progressMilliseconds);
    connect(&progressTimer, &QTimer::timeout, this, &CompressionRun::reportProgress);
}

// The job reads the window's ROM; it must be over before the window goes.
CompressionRun::~CompressionRun()
{
    stop();
    watcher.waitForFinished();
}

void CompressionRun::start(const RomJob::Request &request, const RomJob::CompressRequest &how,
    KnownDumps::Table knownDumps)
{
    stopping.storeRelease(0);
    done.storeRelease(0);
    total.storeRelease(0);
    reported = -1;
    progressTimer.start();
    RomJob::CompressRequest stoppable = how;
    stoppable.stopRequested = [this] { return stopRequested(); };
    watcher.setFuture(QtConcurrent::run([this, request, how = stoppable, knownDumps] {
        QThreadPool pool;
        const CompressionJob::Runner runner = poolRunner(pool);
        const CompressionJob::FilesEncoded encoded = [this](int filesDone, int files) {
            total.storeRelease(files);
            // Threads finish out of order; the count only goes up.
            for (int now = done.loadAcquire(); now < filesDone; now = done.loadAcquire()) {
                if (done.testAndSetOrdered(now, filesDone))
                    break;
            }
            return !stopRequested();
        };
        try {
            return RomJob::compressFile(request, how, runner, encoded, knownDumps);
        } catch (const std::bad_alloc &) {
            RomJob::Result result;
            result.failedPath = request.romPath;
            result.refusal = Refusal::of(
                Refusal::Kind::Unreadable, windowText("Not enough memory to compress this ROM"));
            return result;
        }
    }));
}

void CompressionRun::reportProgress()
{
    const int now = done.loadAcquire();
    if (now == reported)
        return;
    reported = now;
    emit filesEncoded(now, total.loadAcquire());
}

void CompressionRun::stop()
{
    stopping.storeRelease(1);
}
