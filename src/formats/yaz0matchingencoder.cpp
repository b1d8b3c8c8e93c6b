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
    // Ready to search from position on: the window before it is indexed first. The run of equal
    // bytes that the window starts in, if it began before, is listed as a whole.
    MatchFinder(const uchar *data, int size, Scratch &scratch, int position = 0)
        : source(data), length(size), hashBits(bitsFor(size)), head(headOf(scratch, hashBits)),
          previous(scratch.previous.data()), older(scratch.older),
          added(std::max(position - windowSize, 0))
    {
        older.reserve(windowSize);
        int runStart = added;
        while (runStart > 0 && source[runStart - 1] == source[added])
            --runStart;
        if (runStart < added && startAt(runStart).run)
            runIndex.add(source, length, runStart);
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
    int added; // the positions before it are indexed
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

// The bytes of a match token that starts with first: three for the long ones.
int matchTokenSize(uchar first)
{
    return first >> 4 == 0 ? 3 : 2;
}

// How many bytes of the data the match token at token stands for.
int matchTokenLength(const uchar *token)
{
    return token[0] >> 4 == 0 ? token[2] + longMatch : (token[0] >> 4) + 2;
}

// Writes tokens behind a code byte for each group of eight, most significant bit first, 1 for a
// literal; the unused bits of the last code byte are 0.
class TokenWriter
{
public:
    explicit TokenWriter(char *at) : out(at) { }

    void literal(uchar byte)
    {
        begin(true);
        *out++ = char(byte);
    }
    void match(const Match &match)
    {
        begin(false);
        out = putMatch(out, match);
    }
    void pendingMatch(const Match &match) { this->match(match); }
    // A token already encoded: a literal's byte, or a match's two or three bytes.
    void token(bool isLiteral, const char *bytes, int size)
    {
        begin(isLiteral);
        std::memcpy(out, bytes, size_t(size));
        out += size;
    }
    // Whether the next token begins a group of eight.
    bool atGroupStart() const { return bit == 8; }
    // A whole group of eight tokens already encoded: their code byte, then their bytes.
    void group(uchar groupCode, const char *bytes, int size)
    {
        if (codeAt)
            *codeAt = char(code);
        codeAt = nullptr;
        *out++ = char(groupCode);
        std::memcpy(out, bytes, size_t(size));
        out += size;
    }

    // The end of what was written.
    char *finish()
    {
        if (codeAt)
            *codeAt = char(code);
        return out;
    }

private:
    void begin(bool isLiteral)
    {
        if (bit == 8) {
            if (codeAt)
                *codeAt = char(code);
            codeAt = out++;
            code = 0;
            bit = 0;
        }
        code |= isLiteral ? uchar(0x80 >> bit) : uchar(0);
        ++bit;
    }

    char *out;
    char *codeAt = nullptr;
    uchar code = 0;
    int bit = 8;
};

// The rule's parse, a step at a time, from a position where a token starts with no match pending
// (such a position decides the whole parse after it): a step gives the tokens up to the next.
class Parser
{
public:
    Parser(const uchar *data, int size, Scratch &scratch, int from)
        : source(data), finder(data, size, scratch, from), position(from)
    { }

    int at() const { return position; }

    template <typename Sink> void step(Sink &sink)
    {
        const Match match = finder.find(position);
        if (match.length < minimumMatch) {
            sink.literal(source[position]);
            ++position;
            return;
        }
        const Match next = finder.find(position + 1);
        if (next.length >= match.length + 2) {
            sink.literal(source[position]);
            sink.pendingMatch(next);
            position += 1 + next.length;
            return;
        }
        sink.match(match);
        position += match.length;
    }

private:
    const uchar *source;
    MatchFinder finder;
    int position;
};

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
    TokenWriter writer(encoded.data() + prefix);
    Parser parser(reinterpret_cast<const uchar *>(data), length, scratch, 0);
    while (parser.at() < length)
        parser.step(writer);
    encoded.truncate(int(writer.finish() - encoded.constData()));
    return encoded;
}

// The tokens of a part as they are found, without code bytes: their bytes, and of each whether
// it is a literal, a match, or a match found one position ahead (its start is no place for a
// parse to begin).
enum TokenKind : quint8 { Literal, MatchToken, PendingMatch };

class PartRecorder
{
public:
    // Room for the tokens of up to positions bytes of data: no token has more bytes than the
    // positions it stands for.
    explicit PartRecorder(int positions)
        : bytes(size_t(positions)), kinds(size_t(positions)), byteAt(bytes.data()),
          kindAt(kinds.data())
    { }

    void literal(uchar byte)
    {
        *kindAt++ = Literal;
        *byteAt++ = char(byte);
    }
    void match(const Match &match) { record(MatchToken, match); }
    void pendingMatch(const Match &match) { record(PendingMatch, match); }

    // Hands the tokens over to the part. They are kept here until then, apart from the parts
    // other threads write, so that no two threads write to the same cache line for every token.
    void moveTo(PartedFile::Part &part)
    {
        bytes.resize(size_t(byteAt - bytes.data()));
        kinds.resize(size_t(kindAt - kinds.data()));
        part.bytes = std::move(bytes);
        part.kinds = std::move(kinds);
    }

private:
    void record(TokenKind kind, const Match &match)
    {
        *kindAt++ = kind;
        byteAt = putMatch(byteAt, match);
    }

    std::vector<char> bytes;
    std::vector<quint8> kinds;
    char *byteAt;
    quint8 *kindAt;
};

// Walks a part's tokens in order, with the position in the data each starts at.
class PartCursor
{
public:
    explicit PartCursor(const PartedFile::Part &walked) : part(walked), position(walked.start) { }

    bool atEnd() const { return token == part.kinds.size(); }
    // Moves on to the first token that starts at or after target (or the end); true when one
    // starts exactly there and a parse may go on from it.
    bool reach(int target)
    {
        while (!atEnd() && position < target)
            next();
        return position == target && (atEnd() || part.kinds[token] != PendingMatch);
    }
    // The tokens from here on, a group of eight at a time once the writer starts a group: the
    // bytes of a group lie together in the part, so they are copied at once behind their code.
    void copyRestTo(TokenWriter &writer)
    {
        const quint8 *const kinds = part.kinds.data();
        const uchar *const bytes = reinterpret_cast<const uchar *>(part.bytes.data());
        const size_t count = part.kinds.size();
        for (; token < count && !writer.atGroupStart(); ++token)
            copyOne(writer, kinds[token], bytes);
        for (; token + 8 <= count; token += 8) {
            uchar code = 0;
            size_t size = 0;
            for (int i = 0; i < 8; ++i) {
                const bool isLiteral = kinds[token + size_t(i)] == Literal;
                code |= isLiteral ? uchar(0x80 >> i) : uchar(0);
                size += isLiteral ? 1 : size_t(matchTokenSize(bytes[byte + size]));
            }
            writer.group(code, part.bytes.data() + byte, int(size));
            byte += size;
        }
        for (; token < count; ++token)
            copyOne(writer, kinds[token], bytes);
    }

private:
    void copyOne(TokenWriter &writer, quint8 kind, const uchar *bytes)
    {
        const bool isLiteral = kind == Literal;
        const int size = isLiteral ? 1 : matchTokenSize(bytes[byte]);
        writer.token(isLiteral, part.bytes.data() + byte, size);
        byte += size_t(size);
    }

    void next()
    {
        const uchar *const bytes = reinterpret_cast<const uchar *>(part.bytes.data()) + byte;
        if (part.kinds[token] == Literal) {
            position += 1;
            byte += 1;
        } else {
            position += matchTokenLength(bytes);
            byte += size_t(matchTokenSize(bytes[0]));
        }
        ++token;
    }

    const PartedFile::Part &part;
    size_t token = 0;
    size_t byte = 0;
    int position;
};

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

PartedFile::PartedFile(const QByteArray &data, int partSize) : source(data)
{
    const int length = source.size();
    const qint64 step = std::max(partSize, 1);
    for (qint64 start = 0; start < length || start == 0; start += step)
        partList.push_back({int(start), int(std::min(start + step, qint64(length))), {}, {}});
}

void PartedFile::encodePart(int index)
{
    thread_local Scratch scratch;
    Part &part = partList[size_t(index)];
    const int start = part.start;
    const int stop = part.end;
    const int length = source.size();
    // The parse stops at the first token start at or after stop: a literal and a longest match
    // past it at most.
    PartRecorder recorder(std::min(stop + 1 + maximumMatch, length) - start);
    Parser parser(reinterpret_cast<const uchar *>(source.constData()), length, scratch, start);
    while (parser.at() < stop)
        parser.step(recorder);
    recorder.moveTo(part);
    part.end = parser.at();
}

QByteArray PartedFile::file()
{
    thread_local Scratch scratch;
    const int length = source.size();
    QByteArray file(Yaz0::headerSize + worstCase(length), Qt::Uninitialized);
    TokenWriter writer(file.data() + Yaz0::headerSize);
    int position = 0; // where the parse is: a token starts there with no match pending
    for (const Part &part : partList) {
        if (position >= part.end)
            continue; // the parse went on past this part
        PartCursor cursor(part);
        if (!cursor.reach(position)) {
            Parser parser(
                reinterpret_cast<const uchar *>(source.constData()), length, scratch, position);
            do {
                parser.step(writer);
                position = parser.at();
            } while (position < part.end && !cursor.reach(position));
            if (position >= part.end)
                continue;
        }
        cursor.copyRestTo(writer);
        position = part.end;
    }
    file.truncate(int(writer.finish() - file.constData()));
    Yaz0::writeHeader(file.data(), length);
    partList.clear();
    return file;
}

} // namespace Yaz0MatchingEncoder
