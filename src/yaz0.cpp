#include "yaz0.h"

#include <algorithm>
#include <cstring>

namespace Yaz0 {

namespace {

// Bytes a group can consume at most: its header and eight three-byte back-references. While this
// many bytes remain, a whole group is read without a bounds check per byte.
constexpr qint64 maxGroupLength = 1 + 8 * 3;

constexpr int shortCountBias = 2; // N + 2: 3 to 17 bytes
constexpr int longCountBias = 0x12; // b3 + 18: 18 to 273 bytes

// Reads the stream, yielding 0 past its end.
class Input
{
public:
    Input(const char *data, qint64 length)
        : p(reinterpret_cast<const uchar *>(data)), end(p + length)
    { }

    bool wholeGroupLeft() const { return end - p >= maxGroupLength; }
    uchar next() { return p < end ? *p++ : 0; }
    uchar nextUnchecked() { return *p++; }
    const uchar *position() const { return p; }
    void skip(qint64 n) { p += n; }

private:
    const uchar *p;
    const uchar *end;
};

// Appends count bytes copied from distance bytes back, byte by byte as far as the copy overlaps
// its own output. The source is never before the output's start: a reference reaching further
// back starts at the first byte, and an empty output yields zeros.
inline char *copyBack(char *begin, char *out, qint64 distance, int count)
{
    const qint64 produced = out - begin;
    if (produced == 0) {
        std::memset(out, 0, count);
        return out + count;
    }
    if (distance > produced)
        distance = produced;
    const char *src = out - distance;
    char *const stop = out + count;
    if (distance >= 8) {
        // Each 8-byte block reads only bytes already written; the last block may write a few
        // bytes past stop, which the caller's slack allows and later output overwrites.
        while (out < stop) {
            std::memcpy(out, src, 8);
            out += 8;
            src += 8;
        }
        return stop;
    }
    while (out < stop)
        *out++ = *src++;
    return stop;
}

// In a group that started with maxGroupLength bytes left, at least 24 - 3 * bit bytes remain
// before chunk bit, so an 8-byte literal copy stays inside the stream up to bit 5.
constexpr int lastBitForLiteralRun = 5;

inline int leadingOnes(uchar header)
{
    return __builtin_clz(~(uint(header) << 24));
}

template <bool Checked> inline uchar read(Input &in)
{
    return Checked ? in.next() : in.nextUnchecked();
}

// One chunk of the group; returns the new output end.
template <bool Checked> inline char *decodeChunk(Input &in, bool literal, char *begin, char *out)
{
    if (literal) {
        *out = char(read<Checked>(in));
        return out + 1;
    }
    const uchar b1 = read<Checked>(in);
    const uchar b2 = read<Checked>(in);
    const qint64 distance = ((b1 & 0x0F) << 8 | b2) + 1;
    const int nibble = b1 >> 4;
    const int count = nibble != 0 ? nibble + shortCountBias : read<Checked>(in) + longCountBias;
    return copyBack(begin, out, distance, count);
}

} // namespace

qint32 cappedDeclaredSize(qint32 declaredSize)
{
    return std::clamp(declaredSize, 0, maxDeclaredSize);
}

qint64 decodeInto(const char *stream, qint64 streamLength, qint32 declaredSize, char *out)
{
    Input in(stream, streamLength);
    char *const begin = out;
    char *const goal = out + cappedDeclaredSize(declaredSize);
    while (out < goal) {
        const bool fast = in.wholeGroupLeft();
        uchar header = fast ? in.nextUnchecked() : in.next();
        for (int bit = 0; bit < 8 && out < goal;) {
            const bool literal = header & 0x80;
            if (literal && fast && bit <= lastBitForLiteralRun) {
                // A run of literals is copied in one go: 8 bytes are moved, as many as the run
                // holds are kept. Stopping at the goal is the same as testing after each byte.
                const int run = std::min<qint64>({leadingOnes(header), 8 - bit, goal - out});
                std::memcpy(out, in.position(), 8);
                in.skip(run);
                out += run;
                bit += run;
                header = uchar(header << run);
                continue;
            }
            out = fast ? decodeChunk<false>(in, literal, begin, out)
                       : decodeChunk<true>(in, literal, begin, out);
            ++bit;
            header = uchar(header << 1);
        }
    }
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
