#ifndef CHECKSUM_H
#define CHECKSUM_H

#include "romheader.h"

#include <QByteArray>
#include <QString>

// The two header checksum words of an N64 ROM cover the 1 MiB after the boot code and start from
// a seed that depends on the boot chip (CIC) the boot code is written for. The chip is recognised
// by the CRC-32 of the boot code.
namespace Checksum {

constexpr int crc1Offset = RomHeader::crc1Offset;
constexpr int crc2Offset = RomHeader::crc2Offset;
constexpr int bootCodeOffset = RomHeader::bootCodeOffset;
constexpr int bootCodeEnd = RomHeader::bootCodeEnd;
constexpr qint64 checkedStart = 0x1000;
constexpr qint64 checkedEnd = 0x101000; // also the length of the part of the image that matters

constexpr int tableSize = 256;

// The standard (reflected, 0xEDB88320) CRC-32 lookup table.
void buildCrcTable(quint32 *table);
quint32 crc32(const quint32 *table, const char *data, qint64 length);

// CRC-32 of bytes 64 to 4095 of the image, or of as many of them as it has.
quint32 bootCodeCrc(const quint32 *table, const QByteArray &image);

// 6101, 6102, 6103, 6105 or 6106 by the CRC-32 of the boot code; 0 for anything else.
int bootChipForCrc(quint32 bootCodeCrc);

// "CIC-NUS-6102" and so on, "Unknown" for chip 0.
QString chipName(int chip);

// Computes CRC1 and CRC2 of the image for the given chip. Words past the end of the image read
// as 0. Returns false, leaving result alone, when the chip has no known seed.
bool calculate(const QByteArray &image, int chip, quint32 *result);

} // namespace Checksum

#endif // CHECKSUM_H
