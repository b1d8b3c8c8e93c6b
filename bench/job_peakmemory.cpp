// Runs the command line's whole job on a ROM file, the same function tidepool-cli calls: read,
// byte order, file table, checks, decompression pass, header checksums, save. Run it under
// /usr/bin/time -v to see the job's peak memory.
#include "romjob.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROM OUTPUT\n", argv[0]);
        return 2;
    }
    RomJob::Request request;
    request.romPath = QString::fromLocal8Bit(argv[1]);
    request.outputPath = QString::fromLocal8Bit(argv[2]);
    request.replaceOutput = true;
    const RomJob::Result result = RomJob::decompressFile(request);
    if (!result.ok()) {
        std::fprintf(
            stderr, "%s: %s\n", qPrintable(result.failedPath), qPrintable(result.refusal.text));
        return 1;
    }
    std::printf("%d files written to %s\n", result.files, argv[2]);
    return 0;
}
