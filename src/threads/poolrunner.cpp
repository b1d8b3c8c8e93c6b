#include "poolrunner.h"

#include <QThreadPool>

CompressionJob::Runner poolRunner(QThreadPool &pool)
{
    return [&pool](int count, const std::function<void(int index)> &task) {
        for (int i = 0; i < count; ++i)
            pool.start([&task, i] { task(i); });
        pool.waitForDone();
    };
}
