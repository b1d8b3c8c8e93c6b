#include "checksum.h"

#include "bigendian.h"

#include <algorithm>

namespace Checksum {

namespace {

constexpr quint32 crcPolynomial = 0xEDB88320;

// The 6105 boot code mixes in 64 words of its own, at 0x750 to 0x84F, cycling with the address.
constexpr qint64 side6105Offset = 0x750;

struct Chip
{
    int number;
    quint32 bootCodeCrc;
    quint32 seed;
};

constexpr Chip knownChips[] = {
    {6101, 0x6170A4A1, 0xF8CA4DDC},
    {6102, 0x90BB6CB5, 0xF8CA4DDC},
    {6103, 0x0B050EE0, 0xA3886759},
    {6105, 0x98BC2C86, 0xDF26F436},
    {6106, 0xACC8580A, 0x1FEA617A},
};

const Chip *findChip(int number)
{
    for (const Chip &chip : knownChips) {
        if (chip.number == number)
            return &chip;
    }
    return nullptr;
}

// Rotates by the low five bits of bits; by 0 leaves the value as it is. Written so that the
// compiler makes a single rotate instruction of it.
inline quint32 rotateLeft(quint32 value, quint32 bits)
{
    return (value << (bits & 31)) | (value >> ((32 - bits) & 31));
}

struct Accumulators
{
    quint32 t1, t2, t3, t4, t5, t6;
};

// data holds at least checkedEnd bytes.
template <bool Is6105> Accumulators accumulate(const char *data, quint32 seed)
{
    quint32 t1 = seed, t2 = seed, t3 = seed, t4 = seed, t5 = seed, t6 = seed;
    for (qint64 i = checkedStart; i < checkedEnd; i += 4) {
        const quint32 d = BigEndian::load32(data + i);
        const quint32 sum = t6 + d;
        t4 += sum < t6;
        t6 = sum;
        t3 ^= d;
        const quint32 r = rotateLeft(d, d);
        t5 += r;
        // The boot code compares with an unsigned "greater or equal" (bgeu): on a tie it takes
        // the rotation, and the console rejects a header computed the other way. Both outcomes
        // are computed and one is picked, as the comparison is as good as random and a branch
        // would be mispredicted half the time.
        const quint32 ifAtLeast = t2 ^ r;
        const quint32 ifBelow = t2 ^ t6 ^ d;
        t2 = t2 >= d ? ifAtLeast : ifBelow;
        if (Is6105)
            t1 += BigEndian::load32(data + side6105Offset + (i & 0xFF)) ^ d;
        else
            t1 += t5 ^ d;
    }
    return {t1, t2, t3, t4, t5, t6};
}

} // namespace

void buildCrcTable(quint32 *table)
{
    for (quint32 n = 0; n < tableSize; ++n) {
        quint32 c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = c & 1 ? (c >> 1) ^ crcPolynomial : c >> 1;
        table[n] = c;
    }
}

quint32 crc32(const quint32 *table, const char *data, qint64 length)
{
    quint32 crc = 0xFFFFFFFF;
    for (qint64 i = 0; i < length; ++i)
        crc = (crc >> 8) ^ table[(crc ^ uchar(data[i])) & 0xFF];
    return ~crc;
}

quint32 bootCodeCrc(const quint32 *table, const QByteArray &image)
{
    const qint64 end = std::min<qint64>(image.size(), bootCodeEnd);
    if (end <= bootCodeOffset)
        return 0;
    return crc32(table, image.constData() + bootCodeOffset, end - bootCodeOffset);
}

int bootChipForCrc(quint32 crc)
{
    for (const Chip &chip : knownChips) {
        if (chip.bootCodeCrc == crc)
            return chip.number;
    }
    return 0;
}

QString chipName(int chip)
{
    return chip == 0 ? QStringLiteral("Unknown") : QStringLiteral("CIC-NUS-%1").arg(chip);
}

bool calculate(const QByteArray &image, int chip, quint32 *result)
{
    const Chip *known = findChip(chip);
    if (!known)
        return false;
    // A short image reads as if padded with zeros; only then is a padded copy made.
    QByteArray padded;
    const char *data = image.constData();
    if (image.size() < checkedEnd) {
        padded = image;
        padded.append(QByteArray(int(checkedEnd - image.size()), '\0'));
        data = padded.constData();
    }
    const Accumulators t
        = chip == 6105 ? accumulate<true>(data, known->seed) : accumulate<false>(data, known->seed);
    if (chip == 6103) {
        result[0] = (t.t6 ^ t.t4) + t.t3;
        result[1] = (t.t5 ^ t.t2) + t.t1;
    } else if (chip == 6106) {
        result[0] = t.t6 * t.t4 + t.t3;
        result[1] = t.t5 * t.t2 + t.t1;
    } else {
        result[0] = t.t6 ^ t.t4 ^ t.t3;
        result[1] = t.t5 ^ t.t2 ^ t.t1;
    }
    return true;
}

} // namespace Checksum
