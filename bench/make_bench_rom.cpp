// Writes one of the benchmarks' Ocarina-of-Time-sized ROMs to a file: the game-like ROM (for
// job_peakmemory), or with --like-an-original the one stored as the games' own compressor stores
// it (for timing the way back).
#include "benchdata.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    const bool likeAnOriginal = argc == 3 && std::strcmp(argv[1], "--like-an-original") == 0;
    if (argc != 2 && !likeAnOriginal) {
        std::fprintf(stderr, "usage: %s [--like-an-original] OUTPUT\n", argv[0]);
        return 2;
    }
    const QByteArray rom = likeAnOriginal ? originalLikeRom().build() : gameLikeRom().build();
    QFile file(QString::fromLocal8Bit(argv[argc - 1]));
    return file.open(QFile::WriteOnly) && file.write(rom) == rom.size() ? 0 : 1;
}
