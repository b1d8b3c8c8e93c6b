#ifndef YAZ0MATCHINGENCODER_H
#define YAZ0MATCHINGENCODER_H

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// The Yaz0 encoder that makes the choices of the compressor the games were built with, so that a
// file comes out byte for byte as the original ROM stores it:
// - at each position, the longest match of 3 to 0x111 bytes that starts in the 0x1000 bytes
//   before it (it may run on into the bytes it produces); of equal lengths the one that starts
//   earliest; no match of 3 bytes: a literal;
// - when that match has n bytes and the match one position further has at least n + 2, the byte
//   is a literal and the further match is the next token, taken as it was found;
// - tokens in groups of up to 8 behind a code byte, most significant bit first, 1 for a literal;
//   with d = distance - 1, a match of 3 to 17 bytes is (n - 2) << 4 | d >> 8, d & 0xFF, a longer
//   one d >> 8, d & 0xFF, n - 0x12; the unused bits of the last code byte are 0.
// Hash chains find the same matches as searching the whole window would, only sooner.
namespace Yaz0MatchingEncoder {

constexpr int windowSize = 0x1000;
constexpr int minimumMatch = 3;
constexpr int maximumMatch = 0x111;

// The largest input: positions are ints, and at worst the output is an eighth longer than the
// input, which must still fit a QByteArray. The way back never encodes more than 128 MiB.
constexpr qint64 maxInputSize = 0x70000000;

// The compressed stream alone. size must be at most maxInputSize.
QByteArray encodeStream(const char *data, qint64 size);

// A whole Yaz0 file: "Yaz0", the size as a big-endian word, 8 zero bytes, the stream. data must
// be at most maxInputSize bytes long.
QByteArray encodeFile(const QByteArray &data);

// A large file's encoding in parts that the caller's threads can work out at the same time,
// giving byte for byte what encodeFile gives. Each part is parsed by the rule from its start as
// if a token began there, once the window before it has been indexed. Where two parts meet, the
// parse that comes from the earlier part goes on until a token of the later part starts where it
// is, with no match pending; from there the two parses are the same, and they meet within a few
// tokens.
class PartedFile
{
public:
    static constexpr int defaultPartSize = 1 << 20;

    // data (at most maxInputSize bytes) must stay as it is until file() has returned. Parts of
    // fewer bytes give the threads more to share out, and cost more where they meet.
    explicit PartedFile(const QByteArray &data, int partSize = defaultPartSize);

    int parts() const { return int(partList.size()); }
    // Each part once, in any order, on any threads.
    void encodePart(int index);
    // The whole Yaz0 file, once every part is encoded.
    QByteArray file();

    struct Part
    {
        int start;
        int end; // where its parse stopped: the first token start at or after the next part's
        std::vector<char> bytes; // its tokens' bytes, without code bytes
        std::vector<quint8> kinds; // per token: a literal, a match, a match found one ahead
    };

private:
    QByteArray source;
    std::vector<Part> partList;
};

} // namespace Yaz0MatchingEncoder

#endif // YAZ0MATCHINGENCODER_H
