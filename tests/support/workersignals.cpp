#include "workersignals.h"

#include "worker.h"

WorkerSignals::WorkerSignals(Worker *worker)
{
    connect(
        worker, &Worker::valueChanged, this, &WorkerSignals::onValueChanged, Qt::QueuedConnection);
    connect(
        worker, &Worker::converted, this, [this] { ++converted; }, Qt::QueuedConnection);
    connect(
        worker, &Worker::decompressed, this, [this] { ++decompressed; }, Qt::QueuedConnection);
    connect(
        worker, &Worker::finished, this, [this] { ++finished; }, Qt::QueuedConnection);
}

void WorkerSignals::onValueChanged(int i, const QString &value)
{
    values << i;
    texts << value;
}
