#include "yaz0matchingencoder.h"

#include "yaz0.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace Yaz0MatchingEncoder {

namespace {

// Knuth's multiplicative hash: the golden ratio times 2^32; the top bits of the product are the
// bucket.
constexpr quint32 hashMultiplier = 2654435761u;

// Chain heads, one per bucket: 2^10 for the smallest files, up to 2^16 (256 KiB, which stays in
// the second-level cache) for files of 64 KiB and more.
constexpr int fewestHashBits = 10;
constexpr int mostHashBits = 16;

// A match of 3 to 17 bytes takes two bytes, its length less 2 in the high nibble of the first; a
// longer one takes a third byte, its length less 0x12.
constexpr int longMatch = 0x12;

struct Match
{
    int length = 0; // 0: no match of minimumMatch bytes or more
    int distance = 0;
};

// How many of the first (up to) limit bytes at a and b agree, eight at a time.
int commonLength(const uchar *a, const uchar *b, int limit)
{
    int matched = 0;
    while (matched + 8 <= limit) {
        quint64 wordA;
        quint64 wordB;
        std::memcpy(&wordA, a + matched, sizeof wordA);
        std::memcpy(&wordB, b + matched, sizeof wordB);
        if (const quint64 differ = qFromLittleEndian(wordA ^ wordB))
            return matched + qCountTrailingZeroBits(differ) / 8;
        matched += 8;
    }
    while (matched < limit && a[matched] == b[matched])
        ++matched;
    return std::max(matched, 0);
}

// Every run of three or more equal bytes that starts before the position searched, in order,
// listed by its byte and by its byte with the byte that ends it. A position inside such a run can
// only match positions inside runs of the same byte: those whose run ends exactly as far ahead
// (with the same byte after it) are the only ones that can go on past the run, and of the rest the
// oldest that reaches as far wins. The lists are walked oldest first from a cursor that moves with
// the window, so a search looks at a handful of runs where the hash chains would hand it every run
// in the window.
class RunIndex
{
public:
    RunIndex()
        : firstOfByte(256, -1), lastOfByte(256, -1), firstOfEnd(endBuckets, -1),
          lastOfEnd(endBuckets, -1)
    { }

    // Lists the run of three or more equal bytes that starts at start; runs are added in order.
    void add(const uchar *source, int length, int start)
    {
        const uchar byte = source[start];
        const int end
            = int(std::find_if(source + start + minimumMatch, source + length, [byte](uchar b) {
                  return b != byte;
              }) - source);
        const int index = int(runs.size());
        const int after = end < length ? source[end] : 256;
        runs.push_back({start, end, -1, -1, byte * 257 + after});
        link(firstOfByte, lastOfByte, byte, index, &Run::nextOfByte);
        link(firstOfEnd, lastOfEnd, bucket(runs.back().key), index, &Run::nextOfEnd);
    }

    // The match at position, which lies in a run of runHere bytes ahead (counted up to limit),
    // that is longer than longerThan and at most limit bytes long.
    Match find(const uchar *source, int position, int runHere, int longerThan, int limit)
    {
        const int windowStart = std::max(position - windowSize, 0);
        const uchar byte = source[position];
        // Only a position whose run ends runHere bytes ahead, before the same byte, goes on.
        if (runHere < limit) {
            int best = std::max(longerThan, runHere);
            int bestStart = -1;
            const int key = byte * 257 + source[position + runHere];
            const int list = bucket(key);
            for (int r = advance(firstOfEnd[size_t(list)], windowStart, &Run::nextOfEnd);
                 r >= 0 && runs[size_t(r)].start < position; r = runs[size_t(r)].nextOfEnd) {
                const Run &run = runs[size_t(r)];
                const int candidate = run.end - runHere;
                if (run.key != key || candidate < std::max(run.start, windowStart)
                    || candidate >= position)
                    continue;
                const int matched = runHere
                    + commonLength(
                        source + candidate + runHere, source + position + runHere, limit - runHere);
                if (matched > best) {
                    best = matched;
                    bestStart = candidate;
                    if (best == limit)
                        break;
                }
            }
            firstOfEnd[size_t(list)]
                = advance(firstOfEnd[size_t(list)], windowStart, &Run::nextOfEnd);
            if (bestStart >= 0)
                return {best, position - bestStart};
        }
        // The rest match as far as the shorter of the two runs: the oldest that reaches as far as
        // this one (or the limit) wins, else the longest, oldest first.
        const int reach = std::min(runHere, limit);
        int best = std::max(longerThan, minimumMatch - 1);
        int bestStart = -1;
        firstOfByte[byte] = advance(firstOfByte[byte], windowStart, &Run::nextOfByte);
        for (int r = firstOfByte[byte]; r >= 0; r = runs[size_t(r)].nextOfByte) {
            const Run &run = runs[size_t(r)];
            const int from = std::max(run.start, windowStart);
            if (from >= position)
                break;
            const int matched = std::min(run.end - from, reach);
            if (matched > best) {
                best = matched;
                bestStart = from;
                if (best == reach)
                    break;
            }
        }
        if (bestStart < 0)
            return {};
        return {best, position - bestStart};
    }

private:
    struct Run
    {
        int start;
        int end; // exclusive: the first byte that differs, or the end of the data
        int nextOfByte; // the next run of the same byte
        int nextOfEnd; // the next run in the same list of runs by their ends
        int key; // its byte * 257 + the byte after it (256: the data's end)
    };

    // The runs by their byte and the byte after them share a small number of lists, so that a
    // file's index costs little to make; a search skips the runs of other keys in its list.
    static constexpr int endBucketBits = 10;
    static constexpr int endBuckets = 1 << endBucketBits;
    static int bucket(int key)
    {
        return int((quint32(key) * hashMultiplier) >> (32 - endBucketBits));
    }

    void link(std::vector<int> &first, std::vector<int> &last, int key, int index, int Run::*next)
    {
        if (first[size_t(key)] < 0)
            first[size_t(key)] = index;
        else
            runs[size_t(last[size_t(key)])].*next = index;
        last[size_t(key)] = index;
    }

    // The first run from r on that still has a position inside the window.
    int advance(int r, int windowStart, int Run::*next) const
    {
        while (r >= 0 && runs[size_t(r)].end <= windowStart)
            r = runs[size_t(r)].*next;
        return r;
    }

    std::vector<Run> runs;
    std::vector<int> firstOfByte; // per byte: the oldest run not yet out of the window
    std::vector<int> lastOfByte;
    std::vector<int> firstOfEnd; // per list of runs by their ends
    std::vector<int> lastOfEnd;
};

// A thread's memory for searching, kept from file to file: made anew for each, its pages cost
// more to fault in than the search of a small file takes. The chain links are kept for the
// window's positions only, as a ring: no search follows a link from a position outside it.
struct Scratch
{
    std::vector<int> head;
    std::vector<int> previous = std::vector<int>(windowSize);
    std::vector<int> older; // candidates gathered to be tried oldest first
};

// Finds, for positions in increasing order, the match the rule asks for. A position whose first
// three bytes are equal is matched through the index of runs. Every other one can only match
// positions like it, so only those are put on the hash chains: each earlier such position is on
// the chain of those whose first three bytes hash alike, newest first. The candidates inside the
// window are tried in that order, and one as long as the best so far takes its place, so that of
// equal lengths the oldest wins; each is measured whole and taken without a branch, as whether it
// wins is a coin toss the processor would mostly guess wrong. Once a match reaches the limit, the
// rest of the chain is tried oldest first instead, so that a long chain of matches as long costs
// one comparison.
class MatchFinder
{
public:
    MatchFinder(const uchar *data, int size, Scratch &scratch)
        : source(data), length(size), hashBits(bitsFor(size)), head(headOf(scratch, hashBits)),
          previous(scratch.previous.data()), older(scratch.older)
    {
        older.reserve(windowSize);
    }

    // Short, so that it is inlined where the encoder asks: most positions of most data have no
    // candidate in the window, and are done with here.
    Match find(int position)
    {
        addPositionsBefore(position);
        if (position + minimumMatch > length)
            return {};
        const Start start = startAt(position);
        searched = {position, start};
        if (start.run)
            return findInRuns(position);
        const int newest = head[start.hash];
        const int windowStart = std::max(position - windowSize, 0);
        if (newest < windowStart)
            return {};
        return findOnChain(position, newest, windowStart);
    }

private:
    Q_NEVER_INLINE Match findInRuns(int position)
    {
        const int limit = std::min(maximumMatch, length - position);
        const int runHere = commonLength(source + position, source + position + 1, limit - 1) + 1;
        return runIndex.find(source, position, runHere, minimumMatch - 1, limit);
    }

    Q_NEVER_INLINE Match findOnChain(int position, int newest, int windowStart)
    {
        Search search {position, std::min(maximumMatch, length - position)};
        for (int c = newest; c >= windowStart; c = link(c)) {
            consider(search, c);
            if (search.best == search.limit) {
                takeOldestAsLong(search, link(c), windowStart);
                break;
            }
        }
        if (search.bestStart < 0)
            return {};
        return {search.best, position - search.bestStart};
    }

    struct Search
    {
        int position;
        int limit;
        int best = minimumMatch; // what a candidate must reach; it counts once bestStart is set
        int bestStart = -1;
    };

    // Once a match reaches the limit, only an older one as long can win: the rest of the chain
    // from c on is gathered and tried oldest first, and the first to reach the limit ends it.
    void takeOldestAsLong(Search &search, int c, int windowStart)
    {
        older.clear();
        for (; c >= windowStart; c = link(c))
            older.push_back(c);
        for (auto it = older.rbegin(); it != older.rend(); ++it) {
            if (reachesLimit(search, *it)) {
                search.bestStart = *it;
                return;
            }
        }
    }

    bool reachesLimit(const Search &search, int candidate) const
    {
        return commonLength(source + candidate, source + search.position, search.limit)
            == search.limit;
    }

    static int *headOf(Scratch &scratch, int bits)
    {
        scratch.head.assign(size_t(1) << bits, -1);
        return scratch.head.data();
    }

    // The position before c on c's chain, for a position c inside the window.
    int link(int c) const { return previous[size_t(c) & (windowSize - 1)]; }

    // What the first three bytes at a position (which has them) say: whether they are equal (a
    // run, matched through the index), else the hash of their chain. Worked out once for the
    // search at the position and for putting it on its chain.
    struct Start
    {
        bool run = false;
        quint32 hash = 0;
    };

    Start startAt(int position) const
    {
        const uchar *p = source + position;
        quint32 bytes = 0; // the first three, the first in the lowest byte
        if (position + 4 <= length) {
            std::memcpy(&bytes, p, sizeof bytes);
            bytes = qFromLittleEndian(bytes) & 0xFFFFFF;
        } else {
            bytes = quint32(p[0] | p[1] << 8 | p[2] << 16);
        }
        // The first two bytes equal the two after them: all three are equal.
        return {(bytes & 0xFFFF) == bytes >> 8, (bytes * hashMultiplier) >> (32 - hashBits)};
    }

    // Where a run of three or more begins: a position whose bytes start one, after a different
    // byte.
    bool beginsRun(int position) const
    {
        return position == 0 || source[position - 1] != source[position];
    }

    static int bitsFor(int size)
    {
        int bits = fewestHashBits;
        while (bits < mostHashBits && (1 << bits) < size)
            ++bits;
        return bits;
    }

    void consider(Search &search, int candidate) const
    {
        const int matched
            = commonLength(source + candidate, source + search.position, search.limit);
        const bool better = matched >= search.best; // of equal lengths, the older

        search.best = better ? matched : search.best;
        search.bestStart = better ? candidate : search.bestStart;
    }

    void addPositionsBefore(int position)
    {
        for (; added < position; ++added) {
            if (added + minimumMatch > length)
                continue;
            const Start start = added == searched.position ? searched.start : startAt(added);
            if (start.run) {
                if (beginsRun(added))
                    runIndex.add(source, length, added);
                continue;
            }
            previous[size_t(added) & (windowSize - 1)] = head[start.hash];
            head[start.hash] = added;
        }
    }

    const uchar *source;
    int length;
    int hashBits;
    int *head;
    int *previous; // per position of the window, by position modulo its size
    std::vector<int> &older;
    RunIndex runIndex;
    int added = 0;
    struct
    {
        int position = -1;
        Start start;
    } searched; // the last position searched, and what its first bytes said
};

// Writes the token of a match at out and returns the position after it.
char *putMatch(char *out, const Match &match)
{
    const int d = match.distance - 1;
    if (match.length < longMatch) {
        *out++ = char((match.length - 2) << 4 | d >> 8);
        *out++ = char(d & 0xFF);
    } else {
        *out++ = char(d >> 8);
        *out++ = char(d & 0xFF);
        *out++ = char(match.length - longMatch);
    }
    return out;
}

// Encodes the length bytes at source to out, which has room for the worst case, and returns the
// end of what it wrote.
char *encodeTo(char *out, const uchar *source, int length, Scratch &scratch)
{
    MatchFinder finder(source, length, scratch);
    int position = 0;
    bool havePending = false; // the match found one position ahead, to be taken next
    Match pending;
    while (position < length) {
        char *const codeAt = out++;
        uchar code = 0;
        for (int bit = 0; bit < 8 && position < length; ++bit) {
            Match match;
            if (havePending) {
                match = pending;
                havePending = false;
            } else {
                match = finder.find(position);
                if (match.length >= minimumMatch) {
                    const Match next = finder.find(position + 1);
                    if (next.length >= match.length + 2) {
                        pending = next;
                        havePending = true;
                        match = Match();
                    }
                }
            }
            if (match.length >= minimumMatch) {
                out = putMatch(out, match);
                position += match.length;
            } else {
                code |= uchar(0x80 >> bit);
                *out++ = char(source[position]);
                ++position;
            }
        }
        *codeAt = char(code);
    }
    return out;
}

// At worst every byte is a literal: one code byte for every eight.
int worstCase(int length)
{
    return length + (length + 7) / 8;
}

// Encodes data after the first prefix bytes of a buffer, which are left for the caller.
QByteArray encodeAfter(int prefix, const char *data, int length)
{
    thread_local Scratch scratch;
    QByteArray encoded(prefix + worstCase(length), Qt::Uninitialized);
    char *const end
        = encodeTo(encoded.data() + prefix, reinterpret_cast<const uchar *>(data), length, scratch);
    encoded.truncate(int(end - encoded.constData()));
    return encoded;
}

} // namespace

QByteArray encodeStream(const char *data, qint64 size)
{
    return encodeAfter(0, data, int(size));
}

QByteArray encodeFile(const QByteArray &data)
{
    QByteArray file = encodeAfter(Yaz0::headerSize, data.constData(), data.size());
    Yaz0::writeHeader(file.data(), data.size());
    return file;
}

} // namespace Yaz0MatchingEncoder
