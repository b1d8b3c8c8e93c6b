#include "imagebuffer.h"

#include <cstring>

ImageBuffer::~ImageBuffer() = default;

void ByteArrayImage::resize(qint64 size, char fill)
{
    const qint64 old = bytes.size();
    bytes.resize(int(size));
    if (size > old)
        std::memset(bytes.data() + old, fill, size_t(size - old));
}
