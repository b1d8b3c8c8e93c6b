// Runs the program's whole job on a ROM file without the window: read, byte order, file table,
// checks, decompression pass, header checksums, save. Run it under /usr/bin/time -v to see the
// job's peak memory.
#include "byteorder.h"
#include "checksum.h"
#include "decompressionpass.h"
#include "filetable.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROM OUTPUT\n", argv[0]);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QFile::ReadOnly))
        return 1;
    QByteArray rom = in.readAll();
    in.close();
    QByteArray output(DecompressionPass::outputImageSize, '\0');

    const ByteOrder order = RomByteOrder::classify(rom);
    if (order == ByteOrder::NotRom)
        return 1;
    RomByteOrder::convertToBigEndian(rom.data(), rom.size(), order);
    qint32 address = 0;
    if (!FileTable::findAddress(rom, &address))
        return 1;
    const QVector<FileRecord> files = FileTable::read(rom, address);
    if (files.isEmpty()
        || DecompressionPass::findProblem(rom, output.size(), address, files).problem
            != DecompressionPass::Problem::None)
        return 1;
    for (const FileRecord &file : files)
        DecompressionPass::placeFile(rom, output, address, file);

    quint32 table[Checksum::tableSize];
    Checksum::buildCrcTable(table);
    quint32 crc[2];
    if (Checksum::calculate(
            output, Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, output)), crc)) {
        QByteArray header(8, '\0');
        for (int i = 0; i < 8; ++i)
            header[i] = char(crc[i / 4] >> (24 - 8 * (i % 4)));
        output.replace(Checksum::crc1Offset, 8, header);
    }
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QFile::WriteOnly) || out.write(output) != output.size() || !out.commit())
        return 1;
    std::printf("%d files, %d MiB ROM, %d bytes written\n", int(files.size()),
        int(rom.size() >> 20), int(output.size()));
    return 0;
}
