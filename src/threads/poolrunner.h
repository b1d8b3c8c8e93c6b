#ifndef POOLRUNNER_H
#define POOLRUNNER_H

#include "compressionjob.h"

class QThreadPool;

// The way back's runner for a front end: each task on a thread of the pool, returning when all
// are done. The pool must outlive the runner.
CompressionJob::Runner poolRunner(QThreadPool &pool);

#endif // POOLRUNNER_H
