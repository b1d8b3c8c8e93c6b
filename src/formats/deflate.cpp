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

} // namespace

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
