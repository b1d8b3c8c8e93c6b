#ifndef CODEC_H
#define CODEC_H

#include <QString>
#include <QtGlobal>

// How a ROM's compressed file is stored. The games as sold use Yaz0; the iQue Player versions
// store raw DEFLATE streams with no header at all (one codec for the whole ROM, known by the
// dump or by its first file); and the hack compressor of the field writes four more codecs, each
// file starting with a magic of its own in place of "Yaz0".
enum class Codec {
    Yaz0, // "Yaz0", the declared size, 8 reserved bytes, the stream
    Deflate, // the iQue Player's: a raw DEFLATE stream that decodes to exactly its range
    Lzo, // "LZO0", the declared size, an LZO1X stream
    Ucl, // "UCL0", the declared size, a UCL NRV2B stream (8-bit)
    Aplib, // "APL0", the declared size, an aPLib stream
    Zlib, // "ZLIB", the declared size, a raw DEFLATE stream
};

// How a stream that must decode whole to an expected length came out.
enum class DecodeOutcome {
    Decoded, // exactly the expected length
    Corrupt, // not a stream of the codec, or one that ends early
    TooShort, // a valid stream that ends before the expected length
    TooLong, // one that would go on past it
};

namespace CodecFile {

// How a library's checking decoder came out, told as a whole file's outcome: it reached its
// stream's end (input left over is a stored file's padding) having produced this many bytes, it
// ran out of output room, or it failed otherwise.
enum class LibraryEnd { StreamEnded, OutOfRoom, Failed };
inline DecodeOutcome outcomeOf(LibraryEnd end, qint64 produced, qint64 expected)
{
    if (end == LibraryEnd::StreamEnded)
        return produced == expected ? DecodeOutcome::Decoded : DecodeOutcome::TooShort;
    return end == LibraryEnd::OutOfRoom ? DecodeOutcome::TooLong : DecodeOutcome::Corrupt;
}

// The hack codecs' files: the magic, the declared size as a big-endian word, then the stream.
constexpr int hackHeaderSize = 8;
constexpr int magicSize = 4;
constexpr int declaredSizeOffset = 4;

// The codec a stored file's magic names: one of the four hack codecs, or Yaz0 for anything else
// ("Yaz0", or a damaged magic over what may still be a Yaz0 stream).
Codec fromMagic(const char *file, qint64 length);

// Whether the codec is one of the hack compressor's, whose files carry their own magic.
bool isHackCodec(Codec codec);

// The bytes before the stream: 16 for Yaz0, 8 for the hack codecs, none for raw DEFLATE.
int headerSize(Codec codec);

// The magic a codec's files start with ("Yaz0", "LZO0"...); empty for raw DEFLATE.
const char *magic(Codec codec);

// Writes the header of a file of the codec declaring declaredSize bytes; headerSize bytes.
void writeHeader(char *file, Codec codec, qint32 declaredSize);

// Decodes a stream of any codec but Yaz0 (whose streams say when they end only by their declared
// size) into out, which is expected bytes long; never reads or writes outside either. Bytes after
// the stream's end (the padding of a stored file) are ignored. Throws std::bad_alloc when a
// thread's decompressor cannot be made, as Qt's containers do.
DecodeOutcome decodeWhole(
    Codec codec, const char *stream, qint64 streamLength, char *out, qint64 expected);

// A whole stored file of a hack codec: its header and the stream its library (or, for aPLib, the
// program's encoder) makes of data, at the best ratio the hack compressor asks for. Throws
// std::bad_alloc when a compressor cannot be made.
QByteArray encodeFile(Codec codec, const QByteArray &data);

// The name the command line's options and JSON use: "yaz0", "deflate", "lzo", "ucl", "aplib",
// "zlib".
QString name(Codec codec);
// The codec of such a name (and "yaz" for Yaz0); false for any other text.
bool fromName(const QString &name, Codec *codec);
// How the user is told of it: "Yaz0", "DEFLATE", "LZO", "UCL", "aPLib", "zlib".
QString displayName(Codec codec);
// The same after its article, as it is said: "a Yaz0", "an LZO".
QString withArticle(Codec codec);

} // namespace CodecFile

#endif // CODEC_H
