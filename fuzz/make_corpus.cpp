// Writes seed ROMs for fuzz_wholerom, made by the test fixture builder: one small ROM of each game
// family in each byte order, one whose files are raw DEFLATE streams, and one whose files are
// stored in each of the hack compressor's codecs in turn. With --codecs FOLDER it writes instead
// the seeds of fuzz_hackcodecs: a stream of each codec, with its codec and length in front.
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QFile::WriteOnly) && file.write(bytes) == bytes.size();
}

// fuzz_hackcodecs's input: the codec's number, the length (little endian), the stream.
int writeCodecSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    const Codec codecs[] = {Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib};
    const QByteArray data = RomFixture::codeLike(3000, 9) + RomFixture::sparse(1000, 10);
    for (int i = 0; i < 4; ++i) {
        const QByteArray file = CodecFile::encodeFile(codecs[i], data);
        QByteArray seed(1, char(i));
        const quint32 length = quint32(data.size());
        seed.append(reinterpret_cast<const char *>(&length), 4);
        seed.append(file.mid(CodecFile::hackHeaderSize));
        if (!writeFile(QStringLiteral("%1/%2").arg(folder, CodecFile::name(codecs[i])), seed))
            return 1;
    }
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--codecs")
        return writeCodecSeeds(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [--codecs] FOLDER\n", argv[0]);
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
    if (!writeFile(
            QStringLiteral("%1/ique-deflate.z64").arg(QString::fromLocal8Bit(argv[1])), deflate))
        return 1;
    // The hack compressor's way: each codec in turn, Yaz0 among them.
    RomFixture hack = smallRom(0);
    hack.storeWith({Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib, Codec::Yaz0});
    return writeFile(QStringLiteral("%1/hack-codecs.z64").arg(QString::fromLocal8Bit(argv[1])),
               hack.build())
        ? 0
        : 1;
}
