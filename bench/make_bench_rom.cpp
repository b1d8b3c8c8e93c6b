// Writes the benchmarks' Ocarina-of-Time-sized ROM to a file, for job_peakmemory.
#include "benchdata.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    const QByteArray rom = gameLikeRom().build();
    QFile file(QString::fromLocal8Bit(argv[1]));
    return file.open(QFile::WriteOnly) && file.write(rom) == rom.size() ? 0 : 1;
}
