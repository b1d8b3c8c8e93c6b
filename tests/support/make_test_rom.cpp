// Writes a synthetic Ocarina-of-Time-like ROM made by the test fixture builder, in the byte order
// its file name ends with (.z64, .v64 or .n64), for checks of the installed programs.
#include "romfixture.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ROM.{z64,v64,n64}\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QByteArray rom = RomFixture::ocarinaLike().build();
    if (path.endsWith(QLatin1String(".v64")))
        rom = RomFixture::toV64(rom);
    else if (path.endsWith(QLatin1String(".n64")))
        rom = RomFixture::toN64(rom);
    QFile file(path);
    if (!file.open(QFile::WriteOnly) || file.write(rom) != rom.size())
        return 1;
    return 0;
}
