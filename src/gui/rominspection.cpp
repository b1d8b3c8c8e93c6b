#include "rominspection.h"

#include <QtConcurrent>

RomInspection::RomInspection(QObject *parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<RomInfo::Facts>::finished, this, [this] {
        // A refused file leaves the watcher on an empty future, which counts as finished.
        const QFuture<RomInfo::Facts> future = watcher.future();
        if (!future.isCanceled() && future.resultCount() > 0)
            emit inspected(future.result());
    });
}

RomInspection::~RomInspection()
{
    watcher.waitForFinished();
}

void RomInspection::start(const QByteArray &rom, ByteOrder cameIn)
{
    watcher.setFuture(QtConcurrent::run([rom, cameIn, dumps = knownDumps] {
        return RomInfo::inspectBigEndian(rom, cameIn, dumps);
    }));
}

void RomInspection::forget()
{
    watcher.setFuture(QFuture<RomInfo::Facts>());
}

RomPlan::KnownDumpLookup RomInspection::knownDumpLookup(const QByteArray &rom) const
{
    const QFuture<RomInfo::Facts> future = watcher.future();
    if (future.isFinished() && !future.isCanceled() && future.resultCount() > 0)
        return RomPlan::answered(future.result().knownDump);
    return RomPlan::lookUpOnce(rom, knownDumps);
}
