#include "zeropagedimage.h"

#include "anonymousmemory.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr qint64 pageSize = 4096;

qint64 roundUpToPage(qint64 bytes)
{
    return std::max<qint64>(pageSize, (bytes + pageSize - 1) / pageSize * pageSize);
}

} // namespace

ZeroPagedImage::ZeroPagedImage(qint64 size) : mapped(roundUpToPage(size))
{
    base = AnonymousMemory::map(mapped);
    if (!base)
        throw std::bad_alloc();
    length = size;
    highWater = size; // fresh pages are zero, which is what a new image holds
}

ZeroPagedImage::~ZeroPagedImage()
{
    if (!kept)
        AnonymousMemory::unmap(base, mapped);
}

void ZeroPagedImage::resize(qint64 size, char fill)
{
    if (size > mapped) {
        const qint64 grown = roundUpToPage(std::max(size, mapped + mapped / 2));
        char *memory = AnonymousMemory::grow(base, mapped, grown);
        if (!memory)
            throw std::bad_alloc();
        base = memory;
        mapped = grown;
    }
    if (size > length) {
        // Past the high-water mark the pages were never written and are zero already.
        const qint64 dirtyEnd = fill == 0 ? std::min(size, highWater) : size;
        if (dirtyEnd > length)
            std::memset(base + length, fill, size_t(dirtyEnd - length));
    }
    length = size;
    highWater = std::max(highWater, length);
}
