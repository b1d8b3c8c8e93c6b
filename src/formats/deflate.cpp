#include "deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>

namespace Deflate {

namespace {

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *decompressor) const
    {
        libdeflate_free_decompressor(decompressor);
    }
};

// One decompressor per thread: it holds tables that every call would otherwise build again.
libdeflate_decompressor *decompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> own(
        libdeflate_alloc_decompressor());
    return own.get();
}

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *compressor) const
    {
        libdeflate_free_compressor(compressor);
    }
};

constexpr int highestLevel = 12;

} // namespace

QByteArray encode(const QByteArray &data)
{
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(highestLevel));
    if (!compressor)
        throw std::bad_alloc();
    QByteArray stream(int(libdeflate_deflate_compress_bound(compressor.get(), size_t(data.size()))),
        Qt::Uninitialized);
    const size_t length = libdeflate_deflate_compress(compressor.get(), data.constData(),
        size_t(data.size()), stream.data(), size_t(stream.size()));
    stream.truncate(int(length));
    return stream;
}

Outcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected)
{
    libdeflate_decompressor *const d = decompressor();
    if (!d)
        throw std::bad_alloc();
    // Without a place for the length produced, libdeflate insists on exactly the length given.
    switch (libdeflate_deflate_decompress(
        d, stream, size_t(std::max<qint64>(streamLength, 0)), out, size_t(expected), nullptr)) {
    case LIBDEFLATE_SUCCESS:
        return Outcome::Decoded;
    case LIBDEFLATE_SHORT_OUTPUT:
        return Outcome::TooShort;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return Outcome::TooLong;
    case LIBDEFLATE_BAD_DATA:
        break;
    }
    return Outcome::Corrupt;
}

} // namespace Deflate
