#include "byteorder.h"

#include <algorithm>
#include <cstring>

namespace RomByteOrder {

const char z64Signature[] = "803712400000000F";
const char v64Signature[] = "3780401200000F00";
const char n64Signature[] = "401237800F000000";

namespace {

constexpr int signatureLength = headLength;
constexpr int minimumRomLength = 65;
constexpr int reportsPerConversion = 100;

bool startsWith(const QByteArray &image, const char *signatureHex)
{
    static_assert(signatureLength == 8, "signatures are 16 hexadecimal digits");
    const QByteArray signature = QByteArray::fromHex(signatureHex);
    return image.size() >= signatureLength
        && std::memcmp(image.constData(), signature.constData(), signatureLength) == 0;
}

inline quint64 load64(const char *p)
{
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline void store64(char *p, quint64 word)
{
    std::memcpy(p, &word, sizeof word);
}

// Exchanging the bytes of every 16-bit unit, or reversing every 32-bit word, does not depend on
// where a 64-bit block starts, so whole blocks are swapped at once and the tail unit by unit.
void swapHalfwords(char *data, qint64 length)
{
    qint64 i = 0;
    for (; i + 8 <= length; i += 8) {
        const quint64 w = load64(data + i);
        store64(data + i, ((w & 0x00FF00FF00FF00FFull) << 8) | ((w >> 8) & 0x00FF00FF00FF00FFull));
    }
    for (; i + 2 <= length; i += 2)
        std::swap(data[i], data[i + 1]);
}

void swapWords(char *data, qint64 length)
{
    qint64 i = 0;
    for (; i + 8 <= length; i += 8) {
        const quint64 w = __builtin_bswap64(load64(data + i));
        store64(data + i, (w << 32) | (w >> 32));
    }
    for (; i + 4 <= length; i += 4) {
        std::swap(data[i], data[i + 3]);
        std::swap(data[i + 1], data[i + 2]);
    }
}

} // namespace

ByteOrder classify(const QByteArray &image)
{
    return classify(image.size(), image);
}

ByteOrder classify(qint64 size, const QByteArray &head)
{
    if (size < minimumRomLength || size % 4 != 0)
        return ByteOrder::NotRom;
    if (startsWith(head, z64Signature))
        return ByteOrder::Z64;
    return conversionSource(head);
}

NotRomReason whyNotRom(qint64 size, const QByteArray &head)
{
    if (size == 0)
        return NotRomReason::Empty;
    if (size < minimumRomLength)
        return NotRomReason::TooShort;
    if (size % 4 != 0)
        return NotRomReason::LengthNotMultipleOf4;
    if (classify(size, head) == ByteOrder::NotRom)
        return NotRomReason::NoSignature;
    return NotRomReason::None;
}

bool isBigEndianOfAnyLength(qint64 size, const QByteArray &head)
{
    return size >= minimumRomLength && startsWith(head, z64Signature);
}

ByteOrder conversionSource(const QByteArray &image)
{
    if (startsWith(image, v64Signature))
        return ByteOrder::V64;
    if (startsWith(image, n64Signature))
        return ByteOrder::N64;
    return ByteOrder::NotRom;
}

QString name(ByteOrder order)
{
    switch (order) {
    case ByteOrder::Z64:
        return QStringLiteral("z64");
    case ByteOrder::V64:
        return QStringLiteral("v64");
    case ByteOrder::N64:
        return QStringLiteral("n64");
    case ByteOrder::NotRom:
        break;
    }
    return QString();
}

int unitSize(ByteOrder order)
{
    switch (order) {
    case ByteOrder::V64:
        return 2;
    case ByteOrder::N64:
        return 4;
    default:
        return 0;
    }
}

void convertToBigEndian(char *data, qint64 length, ByteOrder order)
{
    if (order == ByteOrder::V64)
        swapHalfwords(data, length);
    else if (order == ByteOrder::N64)
        swapWords(data, length);
}

ByteOrder toBigEndian(QByteArray &rom)
{
    const ByteOrder order = classify(rom);
    if (order == ByteOrder::V64 || order == ByteOrder::N64)
        convertToBigEndian(rom.data(), rom.size(), order);
    return order;
}

qint64 nextReportCount(qint64 converted, qint64 interval, int unit)
{
    if (interval <= unit)
        return converted + unit;
    // The report for multiple m comes after the first unit whose count reaches m * interval.
    const qint64 multiple = (converted / interval + 1) * interval;
    return (multiple + unit - 1) / unit * unit;
}

void convertWithReports(
    QByteArray &image, ByteOrder order, const std::function<void(qint64 converted)> &report)
{
    const int unit = unitSize(order);
    if (unit == 0)
        return;
    const qint64 interval = image.size() / reportsPerConversion;
    const qint64 convertible = image.size() / unit * unit;
    char *data = image.data();
    qint64 converted = 0;
    while (converted < convertible) {
        const qint64 reportAt = nextReportCount(converted, interval, unit);
        const qint64 until = std::min(reportAt, convertible);
        convertToBigEndian(data + converted, until - converted, order);
        converted = until;
        if (reportAt <= convertible)
            report(converted);
    }
}

} // namespace RomByteOrder
