#include "ucl.h"

#include <ucl/ucl.h>

#include <algorithm>
#include <new>

namespace Ucl {

namespace {

constexpr int bestLevel = 10;

// The library checks once that it was built for this compiler's types.
bool ready()
{
    static const bool initialised = ucl_init() == UCL_E_OK;
    return initialised;
}

} // namespace

DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected)
{
    if (!ready())
        return DecodeOutcome::Corrupt;
    ucl_uint produced = ucl_uint(expected);
    const int result = ucl_nrv2b_decompress_safe_8(reinterpret_cast<const ucl_bytep>(stream),
        ucl_uint(std::max<qint64>(streamLength, 0)), reinterpret_cast<ucl_bytep>(out), &produced,
        nullptr);
    using CodecFile::LibraryEnd;
    const LibraryEnd end = result == UCL_E_OK || result == UCL_E_INPUT_NOT_CONSUMED
        ? LibraryEnd::StreamEnded
        : result == UCL_E_OUTPUT_OVERRUN ? LibraryEnd::OutOfRoom
                                         : LibraryEnd::Failed;
    return CodecFile::outcomeOf(end, qint64(produced), expected);
}

QByteArray encode(const QByteArray &data)
{
    if (!ready())
        throw std::bad_alloc();
    // The library's bound for data that does not compress.
    QByteArray stream(data.size() + data.size() / 8 + 256, Qt::Uninitialized);
    ucl_uint length = ucl_uint(stream.size());
    if (ucl_nrv2b_99_compress(reinterpret_cast<const ucl_bytep>(data.constData()),
            ucl_uint(data.size()), reinterpret_cast<ucl_bytep>(stream.data()), &length, nullptr,
            bestLevel, nullptr, nullptr)
        != UCL_E_OK)
        throw std::bad_alloc();
    stream.truncate(int(length));
    return stream;
}

} // namespace Ucl
