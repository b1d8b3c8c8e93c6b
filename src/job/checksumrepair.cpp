#include "checksumrepair.h"

#include "bigendian.h"
#include "checksum.h"

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
    Report report = inspect(image);
    if (report.known) {
        BigEndian::writeWord(image, Checksum::crc1Offset, report.computed[0]);
        BigEndian::writeWord(image, Checksum::crc2Offset, report.computed[1]);
        report.repaired = true;
    }
    return report;
}

} // namespace HeaderChecksums
