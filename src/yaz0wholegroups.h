#ifndef YAZ0WHOLEGROUPS_H
#define YAZ0WHOLEGROUPS_H

// The decoder's main loop over whole groups, away from both ends of the stream. It is compiled
// twice: with the portable back-reference copy in yaz0.cpp and with the SSSE3 one in
// yaz0ssse3.cpp. The unnamed namespace gives each file its own copy, so the linker never swaps a
// copy built for SSSE3 into the portable decoder.

#include <QtGlobal>

#include <cstring>

namespace Yaz0 {

#if defined(TIDEPOOL_YAZ0_SSSE3)
namespace Ssse3 {
// The whole-group loop with back-references copied through a byte shuffle; only for processors
// with SSSE3.
char *decodeWholeGroups(const uchar *&in, const uchar *end, char *begin, char *out, char *goal);
} // namespace Ssse3
#endif

namespace {

constexpr int shortCountBias = 2; // N + 2: 3 to 17 bytes
constexpr int longCountBias = 0x12; // b3 + 18: 18 to 273 bytes
constexpr int longestReference = 0xFF + longCountBias;

// A reference reaches at most this far back, so past this much output none starts before the
// first byte and the copy need not check.
constexpr qint64 window = 4096;

// A group reads its header and at most eight three-byte references, and a literal run moves 8
// bytes at once, so 33 bytes of stream let a whole group go without a bounds check.
constexpr qint64 wholeGroupInput = 1 + 8 * 3 + 8;

// Eight longest references: a group that starts further than this from the goal cannot reach it,
// so its chunks need not be checked against it.
constexpr qint64 wholeGroupOutput = 8 * longestReference;

inline int referencesIn(quint32 header)
{
    // Bits counted by hand: without a popcount instruction in the target, the builtin is a call.
    quint32 refs = ~header & 0xFF;
    refs = refs - ((refs >> 1) & 0x55);
    refs = (refs & 0x33) + ((refs >> 2) & 0x33);
    return int((refs + (refs >> 4)) & 0x0F);
}

// One group as literal runs, each followed by a reference, then the trailing run. Knowing the
// number of references up front lets the loop end without waiting for the copies, and each run
// moves 8 bytes whether it holds none or seven.
template <class CopyBack, bool NearStart>
inline char *decodeWholeGroup(const uchar *&in, char *begin, char *out)
{
    const quint32 header = *in++;
    if (header == 0xFF) {
        // Eight literals, common in data that does not compress.
        std::memcpy(out, in, 8);
        in += 8;
        return out + 8;
    }
    quint32 bits = header << 24;
    for (int refs = referencesIn(header); refs > 0; --refs) {
        const int run = __builtin_clz(~bits); // literals before the reference
        std::memcpy(out, in, 8);
        in += run;
        out += run;
        bits <<= run + 1;
        const uchar b1 = in[0];
        const qint64 distance = ((b1 & 0x0F) << 8 | in[1]) + 1;
        int count;
        if (Q_LIKELY(b1 >> 4)) {
            count = (b1 >> 4) + shortCountBias;
            in += 2;
        } else {
            count = in[2] + longCountBias;
            in += 3;
        }
        out = CopyBack::template copy<NearStart>(begin, out, distance, count);
    }
    const int trailing = __builtin_ctz(~header);
    std::memcpy(out, in, 8);
    in += trailing;
    return out + trailing;
}

// Decodes whole groups while they can neither run out of stream nor reach the goal, and returns
// the output position; in is left at the next group.
template <class CopyBack>
inline char *decodeWholeGroupsWith(
    const uchar *&in, const uchar *end, char *begin, char *out, char *goal)
{
    while (out - begin < window && goal - out > wholeGroupOutput && end - in >= wholeGroupInput)
        out = decodeWholeGroup<CopyBack, true>(in, begin, out);
    while (goal - out > wholeGroupOutput && end - in >= wholeGroupInput)
        out = decodeWholeGroup<CopyBack, false>(in, begin, out);
    return out;
}

} // namespace
} // namespace Yaz0

#endif // YAZ0WHOLEGROUPS_H
