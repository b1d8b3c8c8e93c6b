// The whole-group loop for processors with SSSE3 (this file alone is built with -mssse3; yaz0.cpp
// checks the processor before calling it). A back-reference of up to 16 bytes is one load, one
// byte shuffle and one store, whatever its distance: for distances under 16 the shuffle repeats
// the first distance bytes, so a copy overlapping its own output needs no branch of its own.

#include "yaz0wholegroups.h"

#include <tmmintrin.h>

#include <array>

namespace Yaz0 {
namespace {

constexpr int vector = 16;

struct ShuffleTables
{
    // repeat[d] picks byte i % d for i = 0..15; for d = 16 (any distance of 16 or more) it keeps
    // the bytes as they are.
    alignas(vector) std::array<std::array<uchar, vector>, vector + 1> repeat {};
    // After the first 16 bytes, a copy from under 16 back goes on from a whole number of its
    // periods back, at least 16, so every 16-byte block it reads is already written.
    std::array<qint64, vector> periodsBack {};
};

constexpr ShuffleTables makeShuffleTables()
{
    ShuffleTables tables;
    for (int distance = 1; distance <= vector; ++distance) {
        for (int i = 0; i < vector; ++i)
            tables.repeat[distance][i] = uchar(i % distance);
    }
    for (int distance = 1; distance < vector; ++distance)
        tables.periodsBack[distance] = distance * ((vector + distance - 1) / distance);
    return tables;
}

constexpr ShuffleTables shuffleTables = makeShuffleTables();

inline __m128i load(const char *from)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
}

inline void store(char *to, __m128i bytes)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), bytes);
}

struct ShuffleCopyBack
{
    // Same result as the portable copy; writes up to 15 bytes past the copy's end.
    template <bool NearStart> static char *copy(char *begin, char *out, qint64 distance, int count)
    {
        if (NearStart && Q_UNLIKELY(distance > out - begin)) {
            if (out == begin) {
                std::memset(out, 0, size_t(count));
                return out + count;
            }
            distance = out - begin;
        }
        const qint64 shortDistance = distance < vector ? distance : vector;
        const auto *pattern
            = reinterpret_cast<const __m128i *>(shuffleTables.repeat[shortDistance].data());
        // For short distances this reads bytes not yet written; the shuffle drops them.
        store(out, _mm_shuffle_epi8(load(out - distance), _mm_load_si128(pattern)));
        if (Q_UNLIKELY(count > vector)) {
            const qint64 back = distance < vector ? shuffleTables.periodsBack[distance] : distance;
            char *const stop = out + count;
            for (char *block = out + vector; block < stop; block += vector)
                store(block, load(block - back));
        }
        return out + count;
    }
};

} // namespace

char *Ssse3::decodeWholeGroups(
    const uchar *&in, const uchar *end, char *begin, char *out, char *goal)
{
    return decodeWholeGroupsWith<ShuffleCopyBack>(in, end, begin, out, goal);
}

} // namespace Yaz0
