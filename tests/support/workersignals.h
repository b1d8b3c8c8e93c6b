#ifndef WORKERSIGNALS_H
#define WORKERSIGNALS_H

#include <QList>
#include <QObject>
#include <QString>

class Worker;

// Records a worker's signals on the thread that made the recorder, through queued connections.
// (QSignalSpy records on the emitting thread, which races with a test reading it.)
class WorkerSignals : public QObject
{
    Q_OBJECT

public:
    explicit WorkerSignals(Worker *worker);

    QList<int> values;
    QStringList texts;
    int converted = 0;
    int decompressed = 0;
    int finished = 0;

private slots:
    void onValueChanged(int i, const QString &value);
};

#endif // WORKERSIGNALS_H
