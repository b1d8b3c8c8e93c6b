#include "worker.h"

#include "byteorder.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "romplan.h"
#include "romstate.h"
#include "threadsanitizer.h"

#include <QDebug>
#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

namespace {

constexpr int pauseMilliseconds = 10;

QString hexCount(qint64 value)
{
    return QString::number(value, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

} // namespace

Worker::Worker(QObject *parent) : QObject(parent), abortRequested(false), requestPending(false) { }

Worker::~Worker() = default;

void Worker::requestMethod(Worker::Method requested)
{
    qDebug() << "Request worker Method" << int(requested) << "in Thread "
             << QThread::currentThreadId();
    QMutexLocker locker(&mutex);
    ThreadSanitizer::lockTaken(&mutex);
    requestPending = true;
    method = requested;
    condition.wakeOne();
    ThreadSanitizer::lockGivenUp(&mutex);
}

void Worker::abort()
{
    qDebug() << "Request worker aborting in Thread " << QThread::currentThreadId();
    QMutexLocker locker(&mutex);
    ThreadSanitizer::lockTaken(&mutex);
    abortRequested = true;
    condition.wakeOne();
    ThreadSanitizer::lockGivenUp(&mutex);
}

void Worker::mainLoop()
{
    qDebug() << "Starting worker mainLoop in Thread " << QThread::currentThreadId();
    for (;;) {
        mutex.lock();
        ThreadSanitizer::lockTaken(&mutex);
        // Testing the flags before waiting means a request posted while a method ran, or before
        // the thread started, is never lost.
        while (!requestPending && !abortRequested) {
            ThreadSanitizer::lockGivenUp(&mutex);
            condition.wait(&mutex);
            ThreadSanitizer::lockTaken(&mutex);
        }
        const bool aborting = abortRequested;
        requestPending = false;
        if (aborting) {
            qDebug() << "Aborting worker mainLoop in Thread " << QThread::currentThreadId();
            ThreadSanitizer::lockGivenUp(&mutex);
            mutex.unlock();
            emit finished();
            return;
        }
        const Method requested = method;
        ThreadSanitizer::lockGivenUp(&mutex);
        mutex.unlock();

        switch (requested) {
        case Method1:
            doMethod1();
            break;
        case Method2:
            doMethod2();
            break;
        case Method3:
            doMethod3();
            break;
        }
    }
}

bool Worker::interruptRequested()
{
    QMutexLocker locker(&mutex);
    ThreadSanitizer::lockTaken(&mutex);
    const bool interrupted = requestPending || abortRequested;
    ThreadSanitizer::lockGivenUp(&mutex);
    return interrupted;
}

// A short local event loop. Once the thread has been asked to quit, such loops return at once and
// the timer never fires, so it lives on the stack: a single-shot timer of Qt's own would only
// free itself when it fires.
void Worker::pause()
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(pauseMilliseconds);
    loop.exec();
}

void Worker::doMethod1()
{
    qDebug() << "Starting Method1 in Thread " << QThread::currentThreadId();
    const RomPlan::Plan plan = planToRun();
    DecompressionJob::Observer observer;
    observer.beforeFile = [this](int) {
        if (interruptRequested()) {
            qDebug() << "Interrupting Method1 in Thread " << QThread::currentThreadId();
            return false;
        }
        pause();
        return true;
    };
    observer.afterFile = [this](int done, int count) {
        qDebug() << done << "/" << count << "done.";
        emit valueChanged(done - 1, QStringLiteral("%1/%2 files done.").arg(done).arg(count));
    };
    ByteArrayImage image(romState->outputImage);
    // The pass may still be moving bytes after its last file (a file that came out longer or
    // shorter than its range leaves a gap to close), so the image is announced only once the
    // pass has returned it whole.
    const bool finished = DecompressionJob::runPass(romState->romImage, image, plan, observer);
    if (finished && !plan.files.isEmpty())
        emit decompressed();
}

// The window's plan for the table it read. A table put into the record without one is planned by
// the same step; either way the pass walks the record's files at its address.
RomPlan::Plan Worker::planToRun() const
{
    RomPlan::Plan plan = romState->plan;
    if (plan.address != romState->fileTableAddress || plan.files.size() != romState->files.size()) {
        plan = RomPlan::prepare(
            romState->romImage, RomPlan::TableChoice::at(romState->fileTableAddress, false));
    }
    plan.address = romState->fileTableAddress;
    plan.files = romState->files;
    return plan;
}

void Worker::placeFile(
    qint32 index, qint32 virtualStart, qint32 virtualEnd, qint32 physicalStart, qint32 physicalEnd)
{
    const FileRecord file {index, virtualStart, virtualEnd, physicalStart, physicalEnd};
    DecompressionPass::placeFile(
        romState->romImage, romState->outputImage, romState->fileTableAddress, file);
}

void Worker::doMethod2()
{
    qDebug() << "Starting Method2 in Thread " << QThread::currentThreadId();
    QByteArray &image = romState->romImage;
    const qint64 length = image.size();
    const ByteOrder order = RomByteOrder::conversionSource(image);
    if (order == ByteOrder::V64 || order == ByteOrder::N64) {
        const bool v64 = order == ByteOrder::V64;
        qDebug() << (v64 ? "This is a v64 ROM." : "This is a n64 ROM.");
        const QString text = v64 ? QStringLiteral("Converting ROM from Byteswapped Big Endian to "
                                                  "Big Endian.\n0x")
                                 : QStringLiteral("Converting ROM from Little Endian to Big "
                                                  "Endian.\n0x");
        RomByteOrder::convertWithReports(
            image, order, [&](qint64 converted) { reportConversion(converted, length, text); });
    }
    emit valueChanged(int(length), QString::number(length));
    emit converted();
}

void Worker::reportConversion(qint64 converted, qint64 length, const QString &text)
{
    pause();
    emit valueChanged(int(converted),
        text + hexCount(converted) + QLatin1String("/0x") + hexCount(length)
            + QLatin1String(" bytes converted."));
}

void Worker::doMethod3()
{
    qDebug() << "Starting Method3 in Thread " << QThread::currentThreadId();
}
