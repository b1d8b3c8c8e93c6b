#include "aplibencoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace AplibEncoder {

namespace {

constexpr quint32 longOffset = 32000;
constexpr quint32 mediumOffset = 1280;
constexpr quint32 shortOffset = 128;
constexpr int tinyReach = 15; // the one-byte token's farthest offset
constexpr int shortReach = 127; // the short match's
constexpr int chainDepth = 48; // candidates looked at for each position
constexpr int shortChainDepth = 16;
constexpr int allLengthsUpTo = 64; // longer matches are priced at their full length only
constexpr int takeAtOnce = 256; // a match this long is taken without pricing what it covers
constexpr int hashBits = 16;

int gammaBits(quint32 value) // value >= 2
{
    int bits = 0;
    while (value > 1) {
        value >>= 1;
        bits += 2;
    }
    return bits;
}

// The length a long match's gamma codes: what the decoder adds back for its offset.
qint64 codedLength(quint32 offset, qint64 length)
{
    if (offset >= longOffset)
        --length;
    if (offset >= mediumOffset)
        --length;
    if (offset < shortOffset)
        length -= 2;
    return length;
}

enum class Token : quint8 { Literal, Tiny, Short, Repeat, Long };

// The cheapest way found to a position: its cost in bits, how it ends, and the offset and
// whether a match ended it, which decide what the next token may be.
struct Way
{
    qint64 bits = std::numeric_limits<qint64>::max();
    int from = 0;
    quint32 offset = 0; // of the token that ends here
    Token token = Token::Literal;
    quint32 lastOffset = 0; // the repeatable offset after it
    bool afterMatch = false;
};

class BitWriter
{
public:
    explicit BitWriter(QByteArray &output) : out(output) { }
    void bit(unsigned value)
    {
        if (left == 0) {
            tag = out.size();
            out.append('\0');
            left = 8;
        }
        --left;
        if (value)
            out[tag] = char(uchar(out.at(tag)) | (1u << left));
    }
    void byte(unsigned value) { out.append(char(value)); }
    void gamma(quint32 value)
    {
        int top = 31;
        while (!(value >> top))
            --top;
        for (int i = top - 1; i >= 0; --i) {
            bit((value >> i) & 1);
            bit(i > 0);
        }
    }

private:
    QByteArray &out;
    int tag = 0;
    int left = 0;
};

class Parser
{
public:
    explicit Parser(const QByteArray &input)
        : data(reinterpret_cast<const uchar *>(input.constData())), size(int(input.size())),
          ways(size_t(size) + 1), previous(size_t(size), -1), previousPair(size_t(size), -1),
          heads(size_t(1) << hashBits, -1), pairHeads(size_t(1) << 16, -1)
    { }

    QByteArray encode()
    {
        ways[1].bits = 8;
        insert(0);
        int coveredUntil = 0; // positions inside a match taken at once are not priced
        for (int i = 1; i < size; ++i) {
            if (i >= coveredUntil)
                coveredUntil = price(i);
            insert(i);
        }
        return writeStream();
    }

private:
    int matchLength(int at, int from) const
    {
        const int most = size - at;
        int length = 0;
        while (length < most && data[at + length] == data[from + length])
            ++length;
        return length;
    }

    quint32 hashAt(int at) const
    {
        const quint32 value = quint32(data[at]) << 16 | quint32(data[at + 1]) << 8 | data[at + 2];
        return (value * 2654435761u) >> (32 - hashBits);
    }

    void insert(int at)
    {
        if (at + 2 < size) {
            const quint32 h = hashAt(at);
            previous[size_t(at)] = heads[h];
            heads[h] = at;
        }
        if (at + 1 < size) {
            const quint32 pair = quint32(data[at]) << 8 | data[at + 1];
            previousPair[size_t(at)] = pairHeads[pair];
            pairHeads[pair] = at;
        }
    }

    void offer(int from, int to, qint64 bits, Token token, quint32 offset)
    {
        Way &way = ways[size_t(to)];
        if (bits >= way.bits)
            return;
        const Way &before = ways[size_t(from)];
        way.bits = bits;
        way.from = from;
        way.token = token;
        way.offset = offset;
        const bool match = token == Token::Short || token == Token::Repeat || token == Token::Long;
        way.afterMatch = match;
        way.lastOffset = token == Token::Short || token == Token::Long ? offset : before.lastOffset;
    }

    void offerLong(int at, quint32 offset, int longest, bool afterMatch, qint64 base)
    {
        const int highBits = gammaBits(quint32(offset >> 8) + (afterMatch ? 2 : 3));
        const int least = int(std::max<qint64>(2, 2 + (2 - codedLength(offset, 2))));
        const auto priceLength = [&](int length) {
            const qint64 coded = codedLength(offset, length);
            if (coded < 2)
                return;
            offer(at, at + length, base + 2 + highBits + 8 + gammaBits(quint32(coded)), Token::Long,
                offset);
        };
        for (int length = least; length <= std::min(longest, allLengthsUpTo); ++length)
            priceLength(length);
        if (longest > allLengthsUpTo)
            priceLength(longest);
    }

    // Offers every token that can start at at; returns where a match taken at once ends, or 0.
    int price(int at)
    {
        const Way &here = ways[size_t(at)];
        const qint64 base = here.bits;
        const uchar value = data[at];
        offer(at, at + 1, base + 9, Token::Literal, 0);
        if (value == 0) {
            offer(at, at + 1, base + 7, Token::Tiny, 0);
        } else {
            for (int offset = 1; offset <= tinyReach && offset <= at; ++offset) {
                if (data[at - offset] == value) {
                    offer(at, at + 1, base + 7, Token::Tiny, quint32(offset));
                    break;
                }
            }
        }
        if (!here.afterMatch && here.lastOffset > 0 && here.lastOffset <= quint32(at)) {
            const int length = matchLength(at, at - int(here.lastOffset));
            for (int n = 2; n <= std::min(length, allLengthsUpTo); ++n)
                offer(at, at + n, base + 4 + gammaBits(quint32(n)), Token::Repeat, here.lastOffset);
            if (length > allLengthsUpTo)
                offer(at, at + length, base + 4 + gammaBits(quint32(length)), Token::Repeat,
                    here.lastOffset);
            if (length >= takeAtOnce)
                return at + length;
        }
        if (at + 1 >= size)
            return 0;
        // Short matches: 2 or 3 bytes from at most 127 back. The chains hold the positions before
        // at, newest first.
        int depth = 0;
        for (int from = pairHeads[quint32(data[at]) << 8 | data[at + 1]];
             from >= 0 && at - from <= shortReach && depth < shortChainDepth;
             from = previousPair[size_t(from)], ++depth) {
            const int length = std::min(3, matchLength(at, from));
            if (length >= 2) {
                offer(at, at + 2, base + 11, Token::Short, quint32(at - from));
                if (length == 3)
                    offer(at, at + 3, base + 11, Token::Short, quint32(at - from));
            }
        }
        if (at + 2 >= size)
            return 0;
        // Long matches, nearest first; a farther one counts only when it is longer.
        int best = 1;
        depth = 0;
        for (int from = heads[hashAt(at)]; from >= 0 && depth < chainDepth;
             from = previous[size_t(from)], ++depth) {
            if (at + best >= size || data[from + best] != data[at + best])
                continue;
            const int length = matchLength(at, from);
            if (length <= best)
                continue;
            best = length;
            offerLong(at, quint32(at - from), length, here.afterMatch, base);
            if (length >= takeAtOnce)
                return at + length;
            if (at + length == size)
                break;
        }
        return 0;
    }

    QByteArray writeStream() const
    {
        std::vector<int> ends;
        for (int at = size; at > 1; at = ways[size_t(at)].from)
            ends.push_back(at);
        QByteArray out;
        out.reserve(size / 2 + 16);
        BitWriter writer(out);
        writer.byte(data[0]);
        bool afterMatch = false;
        for (auto it = ends.rbegin(); it != ends.rend(); ++it) {
            const Way &way = ways[size_t(*it)];
            const int length = *it - way.from;
            switch (way.token) {
            case Token::Literal:
                writer.bit(0);
                writer.byte(data[way.from]);
                break;
            case Token::Tiny:
                writer.bit(1), writer.bit(1), writer.bit(1);
                for (int i = 3; i >= 0; --i)
                    writer.bit((way.offset >> i) & 1);
                break;
            case Token::Short:
                writer.bit(1), writer.bit(1), writer.bit(0);
                writer.byte(way.offset << 1 | quint32(length - 2));
                break;
            case Token::Repeat:
                writer.bit(1), writer.bit(0);
                writer.gamma(2);
                writer.gamma(quint32(length));
                break;
            case Token::Long:
                writer.bit(1), writer.bit(0);
                writer.gamma((way.offset >> 8) + (afterMatch ? 2 : 3));
                writer.byte(way.offset & 0xFF);
                writer.gamma(quint32(codedLength(way.offset, length)));
                break;
            }
            afterMatch = way.afterMatch;
        }
        writer.bit(1), writer.bit(1), writer.bit(0);
        writer.byte(0);
        return out;
    }

    const uchar *const data;
    const int size;
    std::vector<Way> ways;
    std::vector<int> previous; // the 3-byte hash chains
    std::vector<int> previousPair; // the 2-byte chains, for short matches
    std::vector<int> heads;
    std::vector<int> pairHeads;
};

} // namespace

QByteArray encode(const QByteArray &data)
{
    if (data.isEmpty())
        return QByteArray();
    return Parser(data).encode();
}

} // namespace AplibEncoder
