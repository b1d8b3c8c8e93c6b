#ifndef BYTEORDER_H
#define BYTEORDER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

// The three byte orders a ROM file comes in, told apart by the first 8 bytes of the header.
enum class ByteOrder {
    NotRom,
    Z64, // big endian, the order everything else works in
    V64, // the two bytes of every 16-bit unit exchanged
    N64, // the four bytes of every 32-bit word reversed
};

// Which part of the rule that tells ROMs from other files a file breaks.
enum class NotRomReason {
    None, // it may be a ROM
    Empty,
    TooShort, // 64 bytes or fewer: not even a header and boot code
    LengthNotMultipleOf4,
    NoSignature, // its first bytes are none of the three signatures
};

namespace RomByteOrder {

// Signature texts of the header start 80 37 12 40 00 00 00 0F in each order.
extern const char z64Signature[];
extern const char v64Signature[];
extern const char n64Signature[];

// The loader's rule: a ROM is longer than 64 bytes, a multiple of 4 long, and starts with one of
// the three signatures (checked as z64, v64, n64).
ByteOrder classify(const QByteArray &image);

// The same rule from a file's size and its first bytes (at least the first 8, when it has them),
// so that a file can be refused before it is read whole.
ByteOrder classify(qint64 size, const QByteArray &head);

// Which part of that rule a file of this size starting with these bytes breaks.
NotRomReason whyNotRom(qint64 size, const QByteArray &head);

// A big-endian image of any length the loader's rule would take but for its length: a
// decompressed ROM grows by what a file decodes past its range, and a ROM cut short can end
// anywhere; neither needs converting.
bool isBigEndianOfAnyLength(qint64 size, const QByteArray &head);

// Bytes a caller needs from the start of a file to classify it.
constexpr int headLength = 8;

// The conversion's own test: only the v64 and n64 signatures are looked at, so a z64 image (or
// anything else) reads as NotRom here and is left alone.
ByteOrder conversionSource(const QByteArray &image);

// "z64", "v64" or "n64"; empty for NotRom.
QString name(ByteOrder order);

// Bytes in one conversion unit: 2 for v64, 4 for n64, 0 for anything else.
int unitSize(ByteOrder order);

// Brings length bytes at data into big-endian order in place. length must be a multiple of the
// unit size; a v64 or n64 conversion is its own inverse.
void convertToBigEndian(char *data, qint64 length, ByteOrder order);

// Progress is reported once each time the converted count reaches or passes a multiple of
// interval (the image length / 100); when the interval is not larger than a unit, after every
// unit. Returns the count, a multiple of unit, at which the next report falls after converted.
qint64 nextReportCount(qint64 converted, qint64 interval, int unit);

// Brings a ROM to big endian in place and says which order it came in; NotRom leaves it alone.
ByteOrder toBigEndian(QByteArray &rom);

// Converts a v64 or n64 image in place, unit by unit as far as the image's length allows, and
// calls report with the count of bytes converted at every point where progress is shown (see
// nextReportCount; the interval is the length / 100). Anything but V64 and N64 leaves the image
// alone.
void convertWithReports(
    QByteArray &image, ByteOrder order, const std::function<void(qint64 converted)> &report);

} // namespace RomByteOrder

#endif // BYTEORDER_H
