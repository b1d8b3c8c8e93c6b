#include "lzo.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <memory>
#include <new>

namespace Lzo {

namespace {

// The library checks once that it was built for this compiler's types.
bool ready()
{
    static const bool initialised = lzo_init() == LZO_E_OK;
    return initialised;
}

} // namespace

DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected)
{
    if (!ready())
        return DecodeOutcome::Corrupt;
    lzo_uint produced = lzo_uint(expected);
    const int result = lzo1x_decompress_safe(reinterpret_cast<const lzo_bytep>(stream),
        lzo_uint(std::max<qint64>(streamLength, 0)), reinterpret_cast<lzo_bytep>(out), &produced,
        nullptr);
    using CodecFile::LibraryEnd;
    const LibraryEnd end = result == LZO_E_OK || result == LZO_E_INPUT_NOT_CONSUMED
        ? LibraryEnd::StreamEnded
        : result == LZO_E_OUTPUT_OVERRUN ? LibraryEnd::OutOfRoom
                                         : LibraryEnd::Failed;
    return CodecFile::outcomeOf(end, qint64(produced), expected);
}

QByteArray encode(const QByteArray &data)
{
    if (!ready())
        throw std::bad_alloc();
    // LZO's worst case: the input, a sixteenth more, and a little.
    QByteArray stream(data.size() + data.size() / 16 + 64 + 3, Qt::Uninitialized);
    thread_local std::unique_ptr<char[]> work(new char[LZO1X_999_MEM_COMPRESS]);
    lzo_uint length = lzo_uint(stream.size());
    if (lzo1x_999_compress(reinterpret_cast<const lzo_bytep>(data.constData()),
            lzo_uint(data.size()), reinterpret_cast<lzo_bytep>(stream.data()), &length, work.get())
        != LZO_E_OK)
        throw std::bad_alloc();
    stream.truncate(int(length));
    return stream;
}

} // namespace Lzo
