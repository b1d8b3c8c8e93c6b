// Writes one of the benchmarks' Ocarina-of-Time-sized ROMs to a file: the game-like ROM (for
// job_peakmemory), or with --like-an-original the one stored as the games' own compressor stores
// it (for timing the way back); --codec NAME then stores its files as the hack compressor does in
// that codec.
#include "benchdata.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    const bool likeAnOriginal = argc >= 3 && std::strcmp(argv[1], "--like-an-original") == 0;
    Codec codec = Codec::Yaz0;
    const bool codecGiven = argc == 5 && likeAnOriginal && std::strcmp(argv[2], "--codec") == 0
        && CodecFile::fromName(QString::fromLocal8Bit(argv[3]), &codec);
    if (argc != 2 && !(likeAnOriginal && argc == 3) && !codecGiven) {
        std::fprintf(stderr, "usage: %s [--like-an-original [--codec NAME]] OUTPUT\n", argv[0]);
        return 2;
    }
    RomFixture fixture = likeAnOriginal ? originalLikeRom() : RomFixture(0, "", 0);
    if (codecGiven)
        fixture.storeWith({codec});
    const QByteArray rom = likeAnOriginal ? fixture.build() : gameLikeRom().build();
    QFile file(QString::fromLocal8Bit(argv[argc - 1]));
    return file.open(QFile::WriteOnly) && file.write(rom) == rom.size() ? 0 : 1;
}
