// Writes a synthetic Ocarina-of-Time-like ROM made by the test fixture builder, in the byte order
// its file name ends with (.z64, .v64 or .n64), for checks of the installed programs. With
// --like-an-original, the ROM is stored as the games' own are, so that compressing its
// decompressed image gives it back byte for byte; with --codec NAME (lzo, ucl, aplib, zlib), its
// compressed files are stored as the hack compressor stores them, in that codec.
#include "romfixture.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    bool likeAnOriginal = false;
    QVector<Codec> codecs;
    int next = 1;
    for (; next < argc - 1; ++next) {
        Codec codec = Codec::Yaz0;
        if (std::strcmp(argv[next], "--like-an-original") == 0) {
            likeAnOriginal = true;
        } else if (std::strcmp(argv[next], "--codec") == 0 && next + 2 < argc
            && CodecFile::fromName(QString::fromLocal8Bit(argv[next + 1]), &codec)) {
            codecs << codec;
            ++next;
        } else {
            break;
        }
    }
    if (next != argc - 1) {
        std::fprintf(
            stderr, "usage: %s [--like-an-original] [--codec NAME] ROM.{z64,v64,n64}\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[argc - 1]);
    RomFixture fixture = RomFixture::ocarinaLike();
    if (likeAnOriginal)
        fixture.storeLikeAnOriginal();
    if (!codecs.isEmpty())
        fixture.storeWith(codecs);
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
