// Classification and conversion of any image; a conversion done twice gives the image back.
#include "byteorder.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray original(reinterpret_cast<const char *>(data), int(size));
    const ByteOrder order = RomByteOrder::classify(original);
    const ByteOrder source = RomByteOrder::conversionSource(original);
    if (order != ByteOrder::NotRom && order != ByteOrder::Z64 && order != source)
        std::abort();
    const int unit = RomByteOrder::unitSize(source);
    if (unit == 0)
        return 0;
    QByteArray image = original;
    const qint64 whole = image.size() / unit * unit;
    RomByteOrder::convertToBigEndian(image.data(), whole, source);
    if (order != ByteOrder::NotRom && RomByteOrder::classify(image) != ByteOrder::Z64)
        std::abort();
    RomByteOrder::convertToBigEndian(image.data(), whole, source);
    if (image != original)
        std::abort();
    // Report points always advance and fall on whole units.
    const qint64 interval = image.size() / 100;
    for (qint64 at = RomByteOrder::nextReportCount(0, interval, unit), last = 0; at <= whole;
         last = at, at = RomByteOrder::nextReportCount(at, interval, unit)) {
        if (at <= last || at % unit != 0)
            std::abort();
    }
    return 0;
}
