#ifndef WORKER_H
#define WORKER_H

#include "romplan.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

struct RomState;

// Runs the long jobs on a ROM (byte-order conversion and the decompression pass) on its own
// thread. mainLoop sleeps until the window posts a request, runs it and sleeps again; only
// abort() ends it.
class Worker : public QObject
{
    Q_OBJECT

public:
    enum Method : int {
        Method1 = 1, // decompression pass
        Method2 = 2, // byte-order conversion
        Method3 = 3, // writes a debug line only
    };

    explicit Worker(QObject *parent = nullptr);
    ~Worker() override;

    void requestMethod(Worker::Method method);
    void abort();

    RomState *romState = nullptr; // the window's; never owned

signals:
    void valueChanged(int i, QString value);
    void finished();
    void decompressed();
    void converted();

public slots:
    void mainLoop();

private:
    void doMethod1();
    void doMethod2();
    void doMethod3();
    RomPlan::Plan planToRun() const;
    void placeFile(qint32 index, qint32 virtualStart, qint32 virtualEnd, qint32 physicalStart,
        qint32 physicalEnd);
    bool interruptRequested();
    void pause();
    void reportConversion(qint64 converted, qint64 length, const QString &text);

    Method method = Method3; // read only after a request has stored one
    bool abortRequested;
    bool requestPending;
    QMutex mutex;
    QWaitCondition condition;
};

#endif // WORKER_H
