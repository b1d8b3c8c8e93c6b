#include "aplib.h"

#include <algorithm>
#include <cstring>

namespace Aplib {

namespace {

// The thresholds past which a long match's length is coded one shorter, and below which two.
constexpr quint32 longOffset = 32000;
constexpr quint32 mediumOffset = 1280;
constexpr quint32 shortOffset = 128;

class Reader
{
public:
    Reader(const unsigned char *stream, qint64 length) : next(stream), end(stream + length) { }

    bool failed = false; // read past the end of the stream

    unsigned byte()
    {
        if (next == end) {
            failed = true;
            return 0;
        }
        return *next++;
    }
    unsigned bit()
    {
        if (bitsLeft == 0) {
            tag = byte();
            bitsLeft = 8;
        }
        --bitsLeft;
        const unsigned value = (tag >> 7) & 1;
        tag <<= 1;
        return value;
    }
    // A gamma-coded number, 2 or more; a run of bits that would overflow it fails the stream.
    quint32 gamma()
    {
        quint32 value = 1;
        do {
            if (value >= 0x80000000u) {
                failed = true;
                return 0;
            }
            value = (value << 1) + bit();
        } while (bit() && !failed);
        return value;
    }

private:
    const unsigned char *next;
    const unsigned char *const end;
    unsigned tag = 0;
    int bitsLeft = 0;
};

} // namespace

DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected)
{
    Reader in(reinterpret_cast<const unsigned char *>(stream), std::max<qint64>(streamLength, 0));
    unsigned char *const start = reinterpret_cast<unsigned char *>(out);
    unsigned char *const limit = start + expected;
    unsigned char *at = start;
    // Copies length bytes from offset back, byte by byte (they may overlap what they write).
    const auto copy = [&](quint32 offset, quint32 length) {
        if (offset == 0 || offset > quint64(at - start))
            return DecodeOutcome::Corrupt;
        if (length > quint64(limit - at))
            return DecodeOutcome::TooLong;
        const unsigned char *from = at - offset;
        if (offset >= length) {
            std::memcpy(at, from, length);
            at += length;
        } else {
            for (quint32 i = 0; i < length; ++i)
                *at++ = *from++;
        }
        return DecodeOutcome::Decoded;
    };
    const auto literal = [&](unsigned value) {
        if (at == limit)
            return DecodeOutcome::TooLong;
        *at++ = static_cast<unsigned char>(value);
        return DecodeOutcome::Decoded;
    };

    DecodeOutcome outcome = literal(in.byte());
    quint32 lastOffset = 0;
    bool afterMatch = false; // the last token was a match, so no repeated offset may follow
    while (outcome == DecodeOutcome::Decoded && !in.failed) {
        if (!in.bit()) {
            outcome = literal(in.byte());
            afterMatch = false;
        } else if (!in.bit()) {
            quint32 high = in.gamma();
            if (!afterMatch && high == 2) {
                outcome = copy(lastOffset, in.gamma());
            } else {
                high -= afterMatch ? 2 : 3;
                if (high > 0xFFFFFF) { // an offset past any output this stream can make
                    outcome = DecodeOutcome::Corrupt;
                    break;
                }
                const quint32 offset = (high << 8) + in.byte();
                quint32 length = in.gamma();
                if (offset >= longOffset)
                    ++length;
                if (offset >= mediumOffset)
                    ++length;
                if (offset < shortOffset)
                    length += 2;
                outcome = copy(offset, length);
                lastOffset = offset;
            }
            afterMatch = true;
        } else if (!in.bit()) {
            const unsigned value = in.byte();
            const quint32 offset = value >> 1;
            if (offset == 0)
                break; // the end of the stream
            outcome = copy(offset, 2 + (value & 1));
            lastOffset = offset;
            afterMatch = true;
        } else {
            quint32 offset = 0;
            for (int i = 0; i < 4; ++i)
                offset = (offset << 1) + in.bit();
            outcome = offset ? copy(offset, 1) : literal(0);
            afterMatch = false;
        }
    }
    if (in.failed)
        return DecodeOutcome::Corrupt;
    if (outcome != DecodeOutcome::Decoded)
        return outcome;
    return at == limit ? DecodeOutcome::Decoded : DecodeOutcome::TooShort;
}

} // namespace Aplib
