#include "checksumrepair.h"

#include "bigendian.h"
#include "checksum.h"

#include <algorithm>

namespace HeaderChecksums {

Report inspect(const QByteArray &image)
{
    quint32 table[Checksum::tableSize];
    Checksum::buildCrcTable(table);
    Report report;
    report.chip = Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, image));
    report.stored[0] = BigEndian::readWord(image, Checksum::crc1Offset);
    report.stored[1] = BigEndian::readWord(image, Checksum::crc2Offset);
    report.known = Checksum::calculate(image, report.chip, report.computed);
    return report;
}

Report repair(QByteArray &image)
{
    ByteArrayImage bytes(image);
    return repair(bytes);
}

Report repair(ImageBuffer &image)
{
    // Only the first 1 MiB and 4 KiB count, and they are read through a view, not copied.
    const QByteArray counted = QByteArray::fromRawData(
        image.constData(), int(std::min(image.size(), Checksum::checkedEnd)));
    Report report = inspect(counted);
    if (report.known && image.size() >= Checksum::crc2Offset + 4) {
        BigEndian::store32(image.data() + Checksum::crc1Offset, report.computed[0]);
        BigEndian::store32(image.data() + Checksum::crc2Offset, report.computed[1]);
        report.repaired = true;
    }
    return report;
}

} // namespace HeaderChecksums
