// Writes a synthetic Ocarina-of-Time-like ROM made by the test fixture builder, in the byte order
// its file name ends with (.z64, .v64 or .n64), for checks of the installed programs. With
// --like-an-original, the ROM is stored as the games' own are, so that compressing its
// decompressed image gives it back byte for byte.
#include "romfixture.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    const bool likeAnOriginal = argc == 3 && std::strcmp(argv[1], "--like-an-original") == 0;
    if (argc != 2 && !likeAnOriginal) {
        std::fprintf(stderr, "usage: %s [--like-an-original] ROM.{z64,v64,n64}\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[argc - 1]);
    RomFixture fixture = RomFixture::ocarinaLike();
    if (likeAnOriginal)
        fixture.storeLikeAnOriginal();
    QByteArray rom = fixture.build();
    if (path.endsWith(QLatin1String(".v64")))
        rom = RomFixture::toV64(rom);
    else if (path.endsWith(QLatin1String(".n64")))
        rom = RomFixture::toN64(rom);
    QFile file(path);
    if (!file.open(QFile::WriteOnly) || file.write(rom) != rom.size())
        return 1;
    return 0;
}
