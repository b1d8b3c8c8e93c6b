#include "knowndumps.h"

#include <QCryptographicHash>
#include <QList>

namespace KnownDumps {

namespace {

// The known original dumps of the three games: each version's name, the MD5 of the whole ROM in
// big-endian order (several for the debug versions, whose dumps circulate with and without their
// overdump) and its file table address. The facts come from the public decompilation projects of
// Ocarina of Time, Majora's Mask and Doubutsu no Mori: their per-version base ROM checksum lists
// and file table starts, as published in mid-2026. The iQue Player version keeps its files as raw
// DEFLATE streams instead of Yaz0.
const Dump builtIn[] = {
    {"Ocarina of Time NTSC 1.0 (Japan)", "9f04c8e68534b870f707c247fa4b50fc", 0x7430,
        Compression::Yaz0},
    {"Ocarina of Time NTSC 1.0 (USA)", "5bd1fe107bf8106b2ab6650abecd54d6", 0x7430,
        Compression::Yaz0},
    {"Ocarina of Time NTSC 1.1 (Japan)", "1bf5f42b98c3e97948f01155f12e2d88", 0x7430,
        Compression::Yaz0},
    {"Ocarina of Time NTSC 1.1 (USA)", "721fdcc6f5f34be55c43a807f2a16af4", 0x7430,
        Compression::Yaz0},
    {"Ocarina of Time PAL 1.0 (Europe)", "e040de91a74b61e3201db0e2323f768a", 0x7950,
        Compression::Yaz0},
    {"Ocarina of Time NTSC 1.2 (Japan)", "2258052847bdd056c8406a9ef6427f13", 0x7960,
        Compression::Yaz0},
    {"Ocarina of Time NTSC 1.2 (USA)", "57a9719ad547c516342e1a15d5c28c3d", 0x7960,
        Compression::Yaz0},
    {"Ocarina of Time PAL 1.1 (Europe)", "d714580dd74c2c033f5e1b6dc0aeac77", 0x7950,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Japan", "33fb7852c180b18ea0b9620b630f413f", 0x7170,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Japan Master Quest", "69895c5c78442260f6eafb2506dc482a", 0x7170,
        Compression::Yaz0},
    {"Ocarina of Time GameCube US", "cd09029edcfb7c097ac01986a0f83d3f", 0x7170, Compression::Yaz0},
    {"Ocarina of Time GameCube US Master Quest", "da35577fe54579f6a266931cc75f512d", 0x7170,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Europe/PAL Debug (earlier build)",
        "ab1ca59d0039e3b34d82db650b54d7b9,2814fde8d6cfe23a220de6be955b4196", 0x12F70,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Europe/PAL Master Quest Debug",
        "8ca71e87de4ce5e9f6ec916202a623e9,f751d1a097764e2337b1ac9ba1e27699,"
        "dde376d47187b931820d5b2957cded14,75e344f41c26ec2ec5ad92caa9e25629",
        0x12F70, Compression::Yaz0},
    {"Ocarina of Time GameCube Europe/PAL Debug",
        "3c10b67a76616ae2c162def7528724cf,382dc484e317d6522745c95387e7d5b9", 0x12F70,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Europe/PAL", "2c27b4e000e85fd78dbca551f1b1c965", 0x7170,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Europe/PAL Master Quest", "1618403427e4344a57833043db5ce3c3", 0x7170,
        Compression::Yaz0},
    {"Ocarina of Time GameCube Japan (Collector's Edition Disc)",
        "0c13e0449a28ea5b925cdb8af8d29768", 0x7170, Compression::Yaz0},
    {"Ocarina of Time iQue Player (Simplified Chinese)", "0ab48b2d44a74b3bb2d384f6170c2742", 0xB7A0,
        Compression::Deflate},
    {"Majora's Mask N64 USA 1.0", "2a0a8acb61538235bc1094d297fb6556", 0x1A500, Compression::Yaz0},
    {"Majora's Mask N64 Japan 1.1", "c38a7f6f6b61862ea383a75cdf888279", 0x1C050, Compression::Yaz0},
    {"Doubutsu no Mori (Animal Forest) N64 Japan", "a4f7c57c180297b2e7ba5a5feb44fe0b", 0x19D40,
        Compression::Yaz0},
};

} // namespace

Table builtInTable()
{
    return {builtIn, int(sizeof builtIn / sizeof builtIn[0])};
}

const Dump *find(const QByteArray &md5Hex, Table table)
{
    for (int i = 0; i < table.count; ++i) {
        const QList<QByteArray> hashes = QByteArray(table.dumps[i].md5).split(',');
        if (hashes.contains(md5Hex.toLower()))
            return &table.dumps[i];
    }
    return nullptr;
}

QByteArray md5Of(const QByteArray &rom)
{
    return QCryptographicHash::hash(rom, QCryptographicHash::Md5).toHex();
}

} // namespace KnownDumps
