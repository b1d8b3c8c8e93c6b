#include "digest.h"

#include <libdeflate.h>

namespace Digest {

quint64 of(const char *data, qint64 length)
{
    const quint32 crc = libdeflate_crc32(0, data, size_t(length));
    const quint32 adler = libdeflate_adler32(1, data, size_t(length));
    return (quint64(crc) << 32) | adler;
}

} // namespace Digest
