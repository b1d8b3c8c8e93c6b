#include "yaz0matchingencoder.h"

#include "bigendian.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Yaz0MatchingEncoder {

namespace {

struct Match
{
    int length = 0; // 0: no match of minimumMatch bytes or more
    int distance = 0;
};

// Finds, for positions in increasing order, the match the rule asks for. Every earlier position
// is on a chain of those whose first three bytes hash alike, newest first. The candidates inside
// the window are gathered, then tried oldest first, so that the first one to reach the longest
// possible length ends the search, and a candidate can only win if it also matches the byte at
// which the best so far stopped. A run of one repeated byte puts a candidate at every position of
// the run; of those only the first and the one whose run is exactly as long as the searched
// position's can be longer than all before them, so a run is gathered as one stretch.
class MatchFinder
{
public:
    MatchFinder(const uchar *data, int size)
        : source(data), length(size), hashBits(bitsFor(size)), head(size_t(1) << hashBits, -1),
          previous(size_t(std::max(size, 1)), -1), runAhead(size_t(std::max(size, 1)), 1),
          runBehind(size_t(std::max(size, 1)), 0)
    {
        for (int i = size - 2; i >= 0; --i) {
            if (source[i] == source[i + 1])
                runAhead[size_t(i)] = runAhead[size_t(i) + 1] + 1;
        }
        for (int i = 1; i < size; ++i) {
            if (source[i] == source[i - 1])
                runBehind[size_t(i)] = runBehind[size_t(i) - 1] + 1;
        }
        stretches.reserve(windowSize);
    }

    Match find(int position)
    {
        addPositionsBefore(position);
        if (position + minimumMatch > length)
            return {};
        const int windowStart = position - windowSize;
        stretches.clear();
        for (int c = head[hashAt(position)]; c >= 0 && c >= windowStart;) {
            int from = c;
            if (runAhead[size_t(c)] >= minimumMatch)
                from = std::max(c - runBehind[size_t(c)], std::max(windowStart, 0));
            stretches.push_back({from, c});
            c = from > 0 ? previous[size_t(from)] : -1;
        }

        Search search {position, std::min(maximumMatch, length - position)};
        for (auto it = stretches.rbegin(); it != stretches.rend() && search.best < search.limit;
             ++it) {
            consider(search, it->from);
            // In a run, the one position whose run ends where the searched one's does.
            const int sameRun = it->from + runAhead[size_t(it->from)] - runAhead[size_t(position)];
            if (sameRun > it->from && sameRun <= it->to && search.best < search.limit)
                consider(search, sameRun);
        }
        if (search.bestStart < 0)
            return {};
        return {search.best, position - search.bestStart};
    }

private:
    struct Stretch
    {
        int from; // the oldest candidate of the stretch
        int to; // the newest
    };

    struct Search
    {
        int position;
        int limit;
        int best = minimumMatch - 1;
        int bestStart = -1;
    };

    static int bitsFor(int size)
    {
        int bits = 10;
        while (bits < 16 && (1 << bits) < size)
            ++bits;
        return bits;
    }

    quint32 hashAt(int position) const
    {
        const uchar *p = source + position;
        return (quint32(p[0] << 16 | p[1] << 8 | p[2]) * 2654435761u) >> (32 - hashBits);
    }

    // How many bytes at candidate equal those at the position, up to the limit. Two runs of one
    // byte that end at different lengths match as far as the shorter goes.
    int matchLength(const Search &search, int candidate) const
    {
        const uchar *there = source + candidate;
        const uchar *here = source + search.position;
        if (there[0] != here[0])
            return 0;
        const int runThere = runAhead[size_t(candidate)];
        const int runHere = runAhead[size_t(search.position)];
        if (runThere != runHere)
            return std::min({runThere, runHere, search.limit});
        return std::min(runHere, search.limit)
            + commonLength(there + runHere, here + runHere, search.limit - runHere);
    }

    void consider(Search &search, int candidate) const
    {
        if (source[candidate + search.best] != source[search.position + search.best])
            return;
        const int matched = matchLength(search, candidate);
        if (matched > search.best) {
            search.best = matched;
            search.bestStart = candidate;
        }
    }

    void addPositionsBefore(int position)
    {
        for (; added < position; ++added) {
            if (added + minimumMatch > length)
                continue;
            const quint32 hash = hashAt(added);
            previous[size_t(added)] = head[hash];
            head[hash] = added;
        }
    }

    // How many of the first (up to) limit bytes at a and b agree, eight at a time.
    static int commonLength(const uchar *a, const uchar *b, int limit)
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

    const uchar *source;
    int length;
    int hashBits;
    std::vector<int> head;
    std::vector<int> previous;
    std::vector<int> runAhead; // per position: how many bytes from it (itself included) equal it
    std::vector<int> runBehind; // per position: how many bytes just before it equal it
    std::vector<Stretch> stretches;
    int added = 0;
};

// Writes the token of a match at out and returns the position after it.
char *putMatch(char *out, const Match &match)
{
    const int d = match.distance - 1;
    if (match.length < 0x12) {
        *out++ = char((match.length - 2) << 4 | d >> 8);
        *out++ = char(d & 0xFF);
    } else {
        *out++ = char(d >> 8);
        *out++ = char(d & 0xFF);
        *out++ = char(match.length - 0x12);
    }
    return out;
}

} // namespace

QByteArray encodeStream(const char *data, qint64 size)
{
    const auto *source = reinterpret_cast<const uchar *>(data);
    const int length = int(size);
    MatchFinder finder(source, length);
    // At worst every byte is a literal: one code byte for every eight.
    QByteArray encoded(length + (length + 7) / 8, Qt::Uninitialized);
    char *const start = encoded.data();
    char *out = start;
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
    encoded.truncate(int(out - start));
    return encoded;
}

QByteArray encodeFile(const QByteArray &data)
{
    QByteArray file("Yaz0", 4);
    file.append(QByteArray(12, '\0'));
    BigEndian::writeWord(file, 4, quint32(data.size()));
    file.append(encodeStream(data.constData(), data.size()));
    return file;
}

} // namespace Yaz0MatchingEncoder
