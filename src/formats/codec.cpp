#include "codec.h"

#include "aplib.h"
#include "aplibencoder.h"
#include "bigendian.h"
#include "deflate.h"
#include "lzo.h"
#include "ucl.h"

#include <cstring>

namespace CodecFile {

namespace {

struct Known
{
    Codec codec;
    const char *magic;
    const char *name;
    const char *displayName;
};

// The hack compressor's magics, and the names of every codec.
constexpr Known known[] = {
    {Codec::Yaz0, "Yaz0", "yaz0", "Yaz0"},
    {Codec::Deflate, "", "deflate", "DEFLATE"},
    {Codec::Lzo, "LZO0", "lzo", "LZO"},
    {Codec::Ucl, "UCL0", "ucl", "UCL"},
    {Codec::Aplib, "APL0", "aplib", "aPLib"},
    {Codec::Zlib, "ZLIB", "zlib", "zlib"},
};

const Known &entryOf(Codec codec)
{
    for (const Known &entry : known) {
        if (entry.codec == codec)
            return entry;
    }
    return known[0];
}

} // namespace

Codec fromMagic(const char *file, qint64 length)
{
    if (length < magicSize)
        return Codec::Yaz0;
    for (const Known &entry : known) {
        if (isHackCodec(entry.codec) && std::memcmp(file, entry.magic, magicSize) == 0)
            return entry.codec;
    }
    return Codec::Yaz0;
}

bool isHackCodec(Codec codec)
{
    return codec == Codec::Lzo || codec == Codec::Ucl || codec == Codec::Aplib
        || codec == Codec::Zlib;
}

int headerSize(Codec codec)
{
    if (codec == Codec::Yaz0)
        return 16;
    return codec == Codec::Deflate ? 0 : hackHeaderSize;
}

const char *magic(Codec codec)
{
    return entryOf(codec).magic;
}

void writeHeader(char *file, Codec codec, qint32 declaredSize)
{
    std::memset(file, 0, size_t(headerSize(codec)));
    std::memcpy(file, magic(codec), std::strlen(magic(codec)));
    if (codec != Codec::Deflate)
        BigEndian::store32(file + declaredSizeOffset, quint32(declaredSize));
}

DecodeOutcome decodeWhole(
    Codec codec, const char *stream, qint64 streamLength, char *out, qint64 expected)
{
    switch (codec) {
    case Codec::Deflate:
    case Codec::Zlib:
        return Deflate::decodeInto(stream, streamLength, out, expected);
    case Codec::Lzo:
        return Lzo::decodeInto(stream, streamLength, out, expected);
    case Codec::Ucl:
        return Ucl::decodeInto(stream, streamLength, out, expected);
    case Codec::Aplib:
        return Aplib::decodeInto(stream, streamLength, out, expected);
    case Codec::Yaz0:
        break;
    }
    return DecodeOutcome::Corrupt;
}

QByteArray encodeFile(Codec codec, const QByteArray &data)
{
    const QByteArray stream = codec == Codec::Lzo ? Lzo::encode(data)
        : codec == Codec::Ucl                     ? Ucl::encode(data)
        : codec == Codec::Aplib                   ? AplibEncoder::encode(data)
                                                  : Deflate::encode(data);
    QByteArray file(headerSize(codec), '\0');
    writeHeader(file.data(), codec, qint32(data.size()));
    return file + stream;
}

QString name(Codec codec)
{
    return QLatin1String(entryOf(codec).name);
}

bool fromName(const QString &text, Codec *codec)
{
    const QString lower = text.toLower();
    for (const Known &entry : known) {
        if (lower == QLatin1String(entry.name) || (entry.codec == Codec::Yaz0 && lower == "yaz")) {
            *codec = entry.codec;
            return true;
        }
    }
    return false;
}

QString displayName(Codec codec)
{
    return QLatin1String(entryOf(codec).displayName);
}

QString withArticle(Codec codec)
{
    // Said "el-zed-oh" and "ay-plib": the names that start with a vowel's sound.
    const bool vowel = codec == Codec::Lzo || codec == Codec::Aplib;
    return (vowel ? QLatin1String("an ") : QLatin1String("a ")) + displayName(codec);
}

} // namespace CodecFile
