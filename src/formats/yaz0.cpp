#include "yaz0.h"

#include "bigendian.h"
#include "yaz0wholegroups.h"

#include <algorithm>
#include <cstring>

namespace Yaz0 {

namespace {

// A copy from 1, 2 or 4 bytes back repeats those bytes: the pattern is built in a register and
// stored 8 bytes at a time, without reading back what was just written.
inline char *fillWithPattern(char *out, char *stop, const char *src, int distance)
{
    quint64 pattern;
    if (distance == 1) {
        pattern = 0x0101010101010101ull * uchar(src[0]);
    } else if (distance == 2) {
        quint16 unit;
        std::memcpy(&unit, src, sizeof unit);
        pattern = 0x0001000100010001ull * unit;
    } else {
        quint32 unit;
        std::memcpy(&unit, src, sizeof unit);
        pattern = 0x0000000100000001ull * unit;
    }
    do {
        std::memcpy(out, &pattern, 8);
        out += 8;
    } while (out < stop);
    return stop;
}

// Appends count bytes copied from distance bytes back, as if byte by byte, so a copy that
// overlaps its own output repeats it. The source is never before the output's start: a reference
// reaching further back starts at the first byte, and an empty output yields zeros. Writes up to
// 23 bytes past the copy's end, which the caller's slack allows and later output overwrites.
// Without NearStart the caller knows the reference stays inside the output.
template <bool NearStart = true>
inline char *copyBack(char *begin, char *out, qint64 distance, int count)
{
    if (NearStart) {
        const qint64 produced = out - begin;
        if (Q_UNLIKELY(produced == 0)) {
            std::memset(out, 0, size_t(count));
            return out + count;
        }
        if (Q_UNLIKELY(distance > produced))
            distance = produced;
    }
    const char *src = out - distance;
    char *const stop = out + count;
    if (distance < 8) {
        if (distance == 1 || distance == 2 || distance == 4)
            return fillWithPattern(out, stop, src, int(distance));
        // The copy repeats a pattern of distance bytes. After 8 bytes made one at a time, the
        // same pattern stands a whole number of periods back at 8 bytes or more.
        for (int i = 0; i < 8; ++i)
            out[i] = src[i];
        out += 8;
        distance *= (8 + distance - 1) / distance;
        src = out - distance;
    }
    // 8-byte blocks read only bytes already written. Most references are 17 bytes or shorter,
    // so the first two blocks are copied without asking.
    std::memcpy(out, src, 8);
    std::memcpy(out + 8, src + 8, 8);
    out += 16;
    src += 16;
    while (out < stop) {
        std::memcpy(out, src, 8);
        out += 8;
        src += 8;
    }
    return stop;
}

struct PortableCopyBack
{
    template <bool NearStart> static char *copy(char *begin, char *out, qint64 distance, int count)
    {
        return copyBack<NearStart>(begin, out, distance, count);
    }
};

// Decodes one group near the end of the stream, where every read is checked and reads past the
// end yield 0.
inline char *decodeCheckedGroup(const uchar *&in, const uchar *end, char *begin, char *out,
    char *goal, qint64 *lengthWhenDataEnded)
{
    const auto next = [&]() -> uchar {
        if (in < end)
            return *in++;
        if (*lengthWhenDataEnded < 0)
            *lengthWhenDataEnded = out - begin;
        return 0;
    };
    uchar header = next();
    for (int chunk = 0; chunk < 8 && out < goal; ++chunk, header = uchar(header << 1)) {
        if (header & 0x80) {
            *out++ = char(next());
            continue;
        }
        const uchar b1 = next();
        const uchar b2 = next();
        const qint64 distance = ((b1 & 0x0F) << 8 | b2) + 1;
        const int count = (b1 >> 4) ? (b1 >> 4) + shortCountBias : next() + longCountBias;
        out = copyBack(begin, out, distance, count);
    }
    return out;
}

bool hasSsse3()
{
#if defined(TIDEPOOL_YAZ0_SSSE3)
    static const bool present = __builtin_cpu_supports("ssse3");
    return present;
#else
    return false;
#endif
}

char *decodeWholeGroups(
    const uchar *&in, const uchar *end, char *begin, char *out, char *goal, Kernel kernel)
{
#if defined(TIDEPOOL_YAZ0_SSSE3)
    if (kernel == Kernel::Fastest && hasSsse3())
        return Ssse3::decodeWholeGroups(in, end, begin, out, goal);
#else
    Q_UNUSED(kernel)
#endif
    return decodeWholeGroupsWith<PortableCopyBack>(in, end, begin, out, goal);
}

} // namespace

bool hasMagic(const char *file, qint64 length)
{
    return length >= 4 && std::memcmp(file, "Yaz0", 4) == 0;
}

qint32 declaredSize(const char *file, qint64 length)
{
    if (length < declaredSizeOffset + 4)
        return 0;
    return qint32(BigEndian::load32(file + declaredSizeOffset));
}

void writeHeader(char *file, qint32 declaredSize)
{
    std::memcpy(file, "Yaz0", 4);
    BigEndian::store32(file + declaredSizeOffset, quint32(declaredSize));
    std::memset(file + declaredSizeOffset + 4, 0, headerSize - declaredSizeOffset - 4);
}

qint32 cappedDeclaredSize(qint32 declaredSize)
{
    return std::clamp(declaredSize, 0, maxDeclaredSize);
}

qint64 lengthBeforeStreamEnds(const char *stream, qint64 streamLength, qint32 declaredSize)
{
    const auto *in = reinterpret_cast<const uchar *>(stream);
    const uchar *const end = in + std::max<qint64>(streamLength, 0);
    const qint64 goal = cappedDeclaredSize(declaredSize);
    qint64 produced = 0;
    while (produced < goal) {
        if (in == end)
            return produced;
        uchar header = *in++;
        for (int chunk = 0; chunk < 8 && produced < goal; ++chunk, header = uchar(header << 1)) {
            if (header & 0x80) {
                if (in == end)
                    return produced;
                ++in;
                ++produced;
                continue;
            }
            if (end - in < 2 || (!(in[0] >> 4) && end - in < 3))
                return produced;
            const int count = (in[0] >> 4) ? (in[0] >> 4) + shortCountBias : in[2] + longCountBias;
            in += (in[0] >> 4) ? 2 : 3;
            produced += count;
        }
    }
    return goal;
}

qint64 decodeInto(const char *stream, qint64 streamLength, qint32 declaredSize, char *out,
    Kernel kernel, qint64 *lengthBeforeDataEnds)
{
    const auto *in = reinterpret_cast<const uchar *>(stream);
    const uchar *const end = in + streamLength;
    char *const begin = out;
    char *const goal = out + cappedDeclaredSize(declaredSize);
    qint64 ended = -1;
    out = decodeWholeGroups(in, end, begin, out, goal, kernel);
    while (out < goal)
        out = decodeCheckedGroup(in, end, begin, out, goal, &ended);
    if (lengthBeforeDataEnds)
        *lengthBeforeDataEnds = ended < 0 ? out - begin : ended;
    return out - begin;
}

} // namespace Yaz0

QByteArray decodeYaz0(const QByteArray &stream, qint32 declaredSize)
{
    const qint32 capped = Yaz0::cappedDeclaredSize(declaredSize);
    if (capped == 0)
        return QByteArray();
    QByteArray output(capped + Yaz0::outputSlack, Qt::Uninitialized);
    const qint64 produced
        = Yaz0::decodeInto(stream.constData(), stream.size(), declaredSize, output.data());
    output.truncate(int(produced));
    return output;
}
