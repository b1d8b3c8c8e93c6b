// Writes seed ROMs for fuzz_wholerom, made by the test fixture builder: one small ROM of each game
// family in each byte order, and one whose files are raw DEFLATE streams.
#include "romfixture.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

RomFixture smallRom(int family)
{
    static const struct
    {
        qint32 tableAddress;
        const char *buildString;
        int chip;
    } families[]
        = {{0x7430, "zelda@", 6105}, {0x1A500, "zelda@", 6105}, {0x19D40, "forest@", 6102}};
    RomFixture rom(
        families[family].tableAddress, families[family].buildString, families[family].chip);
    rom.setSizeGranule(0x1000);
    rom.addFile(RomFixture::codeLike(1500, 1), RomFixture::Storage::Compressed);
    rom.addFile(RomFixture::textLike(700, 2), RomFixture::Storage::Plain);
    rom.addFile(RomFixture::sparse(2000, 3), RomFixture::Storage::Compressed);
    rom.addFile(QByteArray(), RomFixture::Storage::Absent);
    return rom;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    const char *names[] = {"ocarina", "majora", "doubutsu"};
    for (int family = 0; family < 3; ++family) {
        const QByteArray z64 = smallRom(family).build();
        const QByteArray orders[] = {z64, RomFixture::toV64(z64), RomFixture::toN64(z64)};
        const char *suffixes[] = {"z64", "v64", "n64"};
        for (int order = 0; order < 3; ++order) {
            QFile file(QStringLiteral("%1/%2.%3")
                           .arg(QString::fromLocal8Bit(argv[1]), names[family], suffixes[order]));
            if (!file.open(QFile::WriteOnly) || file.write(orders[order]) != orders[order].size())
                return 1;
        }
    }
    // The iQue Player versions' way: the same files as raw DEFLATE streams.
    RomFixture ique = smallRom(0);
    ique.storeWithDeflate();
    const QByteArray deflate = ique.build();
    QFile file(QStringLiteral("%1/ique-deflate.z64").arg(QString::fromLocal8Bit(argv[1])));
    if (!file.open(QFile::WriteOnly) || file.write(deflate) != deflate.size())
        return 1;
    return 0;
}
