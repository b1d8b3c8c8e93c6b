// The worker on a real thread: the request protocol, the conversion's progress reports, and the
// decompression pass being interrupted.
#include "debuglog.h"
#include "romfixture.h"
#include "romstate.h"
#include "worker.h"
#include "workersignals.h"
#include "yaz0encoder.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

// A worker on its own thread, wired as the window wires it.
class WorkerRig
{
public:
    WorkerRig()
    {
        worker.romState = &state;
        worker.moveToThread(&thread);
        QObject::connect(&thread, SIGNAL(started()), &worker, SLOT(mainLoop()));
        QObject::connect(&worker, SIGNAL(finished()), &thread, SLOT(quit()), Qt::DirectConnection);
    }
    ~WorkerRig()
    {
        worker.abort();
        thread.wait();
    }
    // Starts the thread and asks it to quit at once, which makes every pause of the worker
    // return immediately, as it does in the program after the first job.
    void startWithoutPauses()
    {
        thread.start();
        thread.quit();
    }

    RomState state;
    QThread thread;
    Worker worker;
};

QByteArray v64Header(int length)
{
    QByteArray image(length, '\0');
    const QByteArray signature = QByteArray::fromHex("3780401200000F00");
    image.replace(0, 8, signature);
    for (int i = 8; i < length; ++i)
        image[i] = char(i * 7);
    return image;
}

// The report counts of the conversion loop written out unit by unit.
QList<int> expectedReportCounts(int length, int unit)
{
    const int interval = length / 100;
    QList<int> counts;
    for (int converted = unit; converted <= length; converted += unit) {
        if (interval == 0 || converted % interval <= unit - 1)
            counts << converted;
    }
    return counts;
}

} // namespace

class TestWorker : public QObject
{
    Q_OBJECT

private slots:
    void requestBeforeStartIsServed();
    void onlyTheLastOfTwoRequestsRuns();
    void abortWhileIdleEndsTheThread();
    void abortDropsAPendingRequest();
    void unknownMethodRunsNothing();
    void conversionReports_data();
    void conversionReports();
    void conversionLeavesOtherImagesAlone();
    void requestStopsThePassBeforeTheNextFile();
    void abortStopsThePass();
    void emptyFileListEndsSilently();
    void passReportsEachFileThenFinishes();
    void imageIsWholeWhenAnnounced();
    void pausesThatReturnAtOnceLeaveNothingBehind();
    void survivesRandomRequestsAndAborts();
};

void TestWorker::requestBeforeStartIsServed()
{
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.state.romImage = v64Header(400);
    rig.worker.requestMethod(Worker::Method2);
    rig.startWithoutPauses();
    QTRY_VERIFY_WITH_TIMEOUT(sig.converted > 0, 10000);
    QCOMPARE(rig.state.romImage.left(8), QByteArray::fromHex("803712400000000F"));
}

void TestWorker::onlyTheLastOfTwoRequestsRuns()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.state.romImage = v64Header(400);
    rig.worker.requestMethod(Worker::Method3);
    rig.worker.requestMethod(Worker::Method2);
    rig.startWithoutPauses();
    QTRY_VERIFY_WITH_TIMEOUT(sig.converted > 0, 10000);
    rig.worker.abort();
    QVERIFY(rig.thread.wait(10000));
    QCOMPARE(sig.converted, 1);
    QCOMPARE(log.count(QStringLiteral("Starting Method2 in Thread ")), 1);
    QCOMPARE(log.count(QStringLiteral("Starting Method3 in Thread ")), 0);
}

void TestWorker::abortWhileIdleEndsTheThread()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.thread.start();
    QTRY_COMPARE(log.count(QStringLiteral("Starting worker mainLoop in Thread ")), 1);
    rig.worker.abort();
    QVERIFY(rig.thread.wait(10000));
    QTRY_COMPARE(sig.finished, 1);
    QCOMPARE(log.count(QStringLiteral("Aborting worker mainLoop in Thread ")), 1);
}

void TestWorker::abortDropsAPendingRequest()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.state.romImage = v64Header(400);
    const QByteArray before = rig.state.romImage;
    rig.worker.requestMethod(Worker::Method2);
    rig.worker.abort();
    rig.thread.start();
    QVERIFY(rig.thread.wait(10000));
    QTRY_COMPARE(sig.finished, 1);
    QCOMPARE(rig.state.romImage, before);
    QCOMPARE(log.count(QStringLiteral("Starting Method2")), 0);
}

void TestWorker::unknownMethodRunsNothing()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.startWithoutPauses();
    rig.worker.requestMethod(Worker::Method(0));
    rig.worker.requestMethod(Worker::Method(7));
    rig.worker.requestMethod(Worker::Method3);
    QTRY_COMPARE(log.count(QStringLiteral("Starting Method3 in Thread ")), 1);
    QCOMPARE(log.count(QStringLiteral("Request worker Method 7 in Thread ")), 1);
}

void TestWorker::conversionReports_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("byteSwapped");
    for (const int length : {68, 96, 100, 200, 204, 400, 1000, 9996, 10000, 10004, 65536, 100004}) {
        QTest::addRow("v64 %d", length) << length << true;
        QTest::addRow("n64 %d", length) << length << false;
    }
}

void TestWorker::conversionReports()
{
    QFETCH(int, length);
    QFETCH(bool, byteSwapped);
    QByteArray bigEndian = v64Header(length);
    bigEndian.replace(0, 8, QByteArray::fromHex("803712400000000F"));

    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.state.romImage = byteSwapped ? RomFixture::toV64(bigEndian) : RomFixture::toN64(bigEndian);
    rig.worker.requestMethod(Worker::Method2);
    rig.startWithoutPauses();
    QTRY_VERIFY_WITH_TIMEOUT(sig.converted > 0, 10000);

    QCOMPARE(rig.state.romImage, bigEndian);
    const QList<int> expected = expectedReportCounts(length, byteSwapped ? 2 : 4);
    QCOMPARE(sig.values.size(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(sig.values.at(i), expected.at(i));
    if (length >= 10000)
        QCOMPARE(expected.size(), 100);

    const QString first = sig.texts.at(0);
    const QString hexLength = QString::number(length, 16).toUpper().rightJustified(8, '0');
    const QString hexFirst = QString::number(expected.at(0), 16).toUpper().rightJustified(8, '0');
    QCOMPARE(first,
        (byteSwapped ? QStringLiteral("Converting ROM from Byteswapped Big Endian to "
                                      "Big Endian.\n0x")
                     : QStringLiteral("Converting ROM from Little Endian to Big "
                                      "Endian.\n0x"))
            + hexFirst + "/0x" + hexLength + " bytes converted.");
    QCOMPARE(sig.values.last(), length);
    QCOMPARE(sig.texts.last(), QString::number(length));
}

void TestWorker::conversionLeavesOtherImagesAlone()
{
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    QByteArray z64 = v64Header(1000);
    z64.replace(0, 8, QByteArray::fromHex("803712400000000F"));
    rig.state.romImage = z64;
    rig.worker.requestMethod(Worker::Method2);
    rig.startWithoutPauses();
    QTRY_VERIFY_WITH_TIMEOUT(sig.converted > 0, 10000);
    QCOMPARE(rig.state.romImage, z64);
    QCOMPARE(sig.values.size(), 1);
    QCOMPARE(sig.texts.at(0), QStringLiteral("1000"));
}

namespace {

// A file list of many small plain files, so that a pass takes a while with its pauses on.
void fillManyFiles(RomState &state, int count)
{
    state.romImage = QByteArray(0x10000, 'r');
    state.outputImage = QByteArray(0x4000000, '\0');
    state.fileTableAddress = 0x100;
    for (int i = 0; i < count; ++i)
        state.files.append(FileRecord {i, 0x1000 + 16 * i, 0x1010 + 16 * i, 16 * i, 0});
}

} // namespace

void TestWorker::requestStopsThePassBeforeTheNextFile()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    fillManyFiles(rig.state, 300);
    rig.thread.start(); // pauses on: 10 ms before each file
    rig.worker.requestMethod(Worker::Method1);
    QTRY_VERIFY_WITH_TIMEOUT(sig.values.size() > 0, 10000);
    rig.worker.requestMethod(Worker::Method3);
    QTRY_COMPARE(log.count(QStringLiteral("Starting Method3 in Thread ")), 1);
    QCOMPARE(log.count(QStringLiteral("Interrupting Method1 in Thread ")), 1);
    QCoreApplication::processEvents(); // deliver what the worker sent before it stopped
    QCOMPARE(sig.decompressed, 0);
    QVERIFY(sig.values.size() < 300);
    // Files that were reported are in the output image; the rest were not touched.
    const int done = sig.values.size();
    QCOMPARE(rig.state.outputImage.mid(0x1000 + 16 * (done - 1), 16), QByteArray(16, 'r'));
    QCOMPARE(rig.state.outputImage.mid(0x1000 + 16 * (done + 1), 16), QByteArray(16, '\0'));
}

void TestWorker::abortStopsThePass()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    fillManyFiles(rig.state, 300);
    rig.thread.start();
    rig.worker.requestMethod(Worker::Method1);
    QTRY_VERIFY_WITH_TIMEOUT(sig.values.size() > 0, 10000);
    rig.worker.abort();
    QVERIFY(rig.thread.wait(10000));
    QCoreApplication::processEvents();
    QCOMPARE(sig.decompressed, 0);
    QCOMPARE(log.count(QStringLiteral("Interrupting Method1 in Thread ")), 1);
    QCOMPARE(log.count(QStringLiteral("Aborting worker mainLoop in Thread ")), 1);
}

void TestWorker::emptyFileListEndsSilently()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    rig.startWithoutPauses();
    rig.worker.requestMethod(Worker::Method1);
    QTRY_COMPARE(log.count(QStringLiteral("Starting Method1 in Thread ")), 1);
    rig.worker.requestMethod(Worker::Method3);
    QTRY_COMPARE(log.count(QStringLiteral("Starting Method3")), 1);
    QCOMPARE(sig.values.size(), 0);
    QCOMPARE(sig.decompressed, 0);
}

// Once the thread was asked to quit, a pause returns before its timer fires; the timer must not
// stay behind (Qt's own single-shot timers hang on the thread's event dispatcher until they fire).
void TestWorker::pausesThatReturnAtOnceLeaveNothingBehind()
{
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    fillManyFiles(rig.state, 500);
    rig.startWithoutPauses();
    rig.worker.requestMethod(Worker::Method1);
    QTRY_COMPARE_WITH_TIMEOUT(sig.decompressed, 1, 20000);
    QVERIFY(rig.thread.eventDispatcher());
    QVERIFY2(rig.thread.eventDispatcher()->children().size() < 10,
        qPrintable(QString::number(rig.thread.eventDispatcher()->children().size())));
}

void TestWorker::passReportsEachFileThenFinishes()
{
    DebugLog log;
    WorkerRig rig;
    WorkerSignals sig(&rig.worker);
    fillManyFiles(rig.state, 3);
    rig.state.files[1].physicalEnd = -1; // absent: skipped, but still counted
    rig.startWithoutPauses();
    rig.worker.requestMethod(Worker::Method1);
    QTRY_VERIFY_WITH_TIMEOUT(sig.decompressed > 0, 10000);
    QCOMPARE(sig.values.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(sig.values.at(i), i);
        QCOMPARE(sig.texts.at(i), QStringLiteral("%1/3 files done.").arg(i + 1));
    }
    QCOMPARE(sig.decompressed, 1);
    QCOMPARE(log.count(QStringLiteral("3 / 3 done.")), 1);
    const QByteArray &out = rig.state.outputImage;
    QCOMPARE(out.mid(0x1000, 16), QByteArray(16, 'r'));
    QCOMPARE(out.mid(0x1010, 16), QByteArray(16, '\0'));
    QCOMPARE(wordAt(out, 0x100 + 8), 0x1000u);
    QCOMPARE(wordAt(out, 0x100 + 16 + 8), 0u); // the absent file's entry is not rewritten
    QCOMPARE(wordAt(out, 0x100 + 32 + 8), 0x1020u);
}

// A file that decodes past its range grows the image by the difference; the slot that saves the
// image must find it whole when decompressed() arrives. A direct connection reads it at the very
// moment of the emission, on the worker's thread, so no queued delay can hide an early one.
void TestWorker::imageIsWholeWhenAnnounced()
{
    WorkerRig rig;
    fillManyFiles(rig.state, 3);
    const QByteArray content = RomFixture::codeLike(0x1000 + 19, 5);
    const QByteArray yaz0 = Yaz0Encoder::encodeFile(content);
    rig.state.romImage.replace(0x2000, yaz0.size(), yaz0);
    rig.state.files[1] = FileRecord {1, 0x3000, 0x4000, 0x2000, 0x2000 + int(yaz0.size())};
    QByteArray seen;
    QObject::connect(
        &rig.worker, &Worker::decompressed, &rig.worker, [&] { seen = rig.state.outputImage; },
        Qt::DirectConnection);
    WorkerSignals sig(&rig.worker);
    rig.startWithoutPauses();
    rig.worker.requestMethod(Worker::Method1);
    QTRY_COMPARE_WITH_TIMEOUT(sig.decompressed, 1, 10000);
    QCOMPARE(seen.size(), 0x4000000 + 19);
    QVERIFY(seen.mid(0x3000, content.size()) == content);
    // A later file still goes to its own offset.
    QCOMPARE(seen.mid(0x1020, 16), QByteArray(16, 'r'));
}

// Requests of every kind at random moments, and the worker torn down at random moments: nothing
// may deadlock, lose a wake-up or touch freed memory (run it under the sanitizers).
void TestWorker::survivesRandomRequestsAndAborts()
{
    QRandomGenerator random(77);
    const Worker::Method methods[] = {Worker::Method1, Worker::Method2, Worker::Method3};
    for (int round = 0; round < 25; ++round) {
        auto rig = std::make_unique<WorkerRig>();
        WorkerSignals sig(&rig->worker);
        fillManyFiles(rig->state, 40);
        rig->state.romImage = v64Header(0x10000);
        if (random.bounded(2))
            rig->thread.start(); // with pauses: passes last long enough to be interrupted
        else
            rig->startWithoutPauses();
        const int requests = random.bounded(1, 30);
        for (int i = 0; i < requests; ++i) {
            rig->worker.requestMethod(methods[random.bounded(3)]);
            QThread::usleep(random.bounded(3000));
            if (random.bounded(4) == 0)
                QCoreApplication::processEvents();
        }
        if (random.bounded(3) == 0) { // let the last request finish before tearing down
            const int before = sig.converted;
            rig->worker.requestMethod(Worker::Method2);
            QTRY_VERIFY_WITH_TIMEOUT(sig.converted > before, 10000);
        }
        rig->worker.abort();
        QVERIFY2(rig->thread.wait(20000), "the worker must end after abort()");
        QCoreApplication::processEvents();
        QVERIFY(sig.decompressed <= requests);
    }
}

QTEST_GUILESS_MAIN(TestWorker)
#include "tst_worker.moc"
