#ifndef YAZ0WHOLEGROUPS_H
#define YAZ0WHOLEGROUPS_H

// The decoder's main loop over whole groups, up to the last 33 bytes of the stream. It is compiled
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

// What a group header says, worked out once for all 256: the number of references (top 4 bits)
// and, 4 bits each from the bottom, the literals before each reference and after the last.
struct GroupPlans
{
    quint64 plan[256] {};
};

constexpr GroupPlans makeGroupPlans()
{
    GroupPlans plans;
    for (int header = 0; header < 256; ++header) {
        quint64 plan = 0;
        int refs = 0;
        int run = 0;
        for (int chunk = 0; chunk < 8; ++chunk) {
            if (header & (0x80 >> chunk)) {
                ++run;
                continue;
            }
            plan |= quint64(run) << (4 * refs++);
            run = 0;
        }
        plans.plan[header] = plan | quint64(run) << (4 * refs) | quint64(refs) << 60;
    }
    return plans;
}

constexpr GroupPlans groupPlans = makeGroupPlans();

// Moves a run of literals: 8 bytes are copied whether the run holds none or eight. Near the goal
// the run stops there, as the decoder stops after the chunk that reaches it.
template <bool NearGoal> inline char *copyLiterals(const uchar *&in, char *out, char *goal, int run)
{
    if (NearGoal && Q_UNLIKELY(goal - out < run))
        run = int(goal - out);
    std::memcpy(out, in, 8);
    in += run;
    return out + run;
}

// One group as literal runs, each followed by a reference, then the trailing run. Knowing the
// number of references up front lets the loop end without waiting for the copies. NearStart: a
// reference may reach before the first byte. NearGoal: the group may reach the goal.
template <class CopyBack, bool NearStart, bool NearGoal>
inline char *decodeWholeGroup(const uchar *&in, char *begin, char *out, char *goal)
{
    const quint32 header = *in++;
    if (header == 0xFF && (!NearGoal || goal - out >= 8)) {
        // Eight literals, common in data that does not compress; a branch here lets the next
        // header load start at once.
        std::memcpy(out, in, 8);
        in += 8;
        return out + 8;
    }
    quint64 plan = groupPlans.plan[header];
    for (int refs = int(plan >> 60); refs > 0; --refs) {
        out = copyLiterals<NearGoal>(in, out, goal, int(plan & 0xF));
        plan >>= 4;
        if (NearGoal && out >= goal)
            return out;
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
        if (NearGoal && out >= goal)
            return out;
    }
    return copyLiterals<NearGoal>(in, out, goal, int(plan & 0xF));
}

// Decodes whole groups while 33 bytes of stream remain and the goal is not reached, and returns
// the output position; in is left at the next group. Only groups near the start or near the goal
// pay for the checks those need.
template <class CopyBack>
inline char *decodeWholeGroupsWith(
    const uchar *&in, const uchar *end, char *begin, char *out, char *goal)
{
    // A local cursor: the output is written through char pointers, which could alias in, so
    // working on in itself would send it to memory and back for every chunk.
    const uchar *at = in;
    while (out - begin < window && goal - out > wholeGroupOutput && end - at >= wholeGroupInput)
        out = decodeWholeGroup<CopyBack, true, false>(at, begin, out, goal);
    while (goal - out > wholeGroupOutput && end - at >= wholeGroupInput)
        out = decodeWholeGroup<CopyBack, false, false>(at, begin, out, goal);
    while (out < goal && end - at >= wholeGroupInput)
        out = decodeWholeGroup<CopyBack, true, true>(at, begin, out, goal);
    in = at;
    return out;
}

} // namespace
} // namespace Yaz0

#endif // YAZ0WHOLEGROUPS_H
