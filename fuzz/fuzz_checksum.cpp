// Boot chip identification and the checksum of any image, short ones included.
#include "checksum.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static quint32 table[Checksum::tableSize];
    static const bool built = (Checksum::buildCrcTable(table), true);
    (void)built;
    const QByteArray image(reinterpret_cast<const char *>(data), int(size));
    const int chip = Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, image));
    Checksum::chipName(chip);
    quint32 result[2];
    for (const int candidate : {chip, 6101, 6103, 6105, 6106})
        Checksum::calculate(image, candidate, result);
    return 0;
}
