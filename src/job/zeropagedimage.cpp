#include "zeropagedimage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace {

constexpr qint64 pageSize = 4096;

qint64 roundUpToPage(qint64 bytes)
{
    return std::max<qint64>(pageSize, (bytes + pageSize - 1) / pageSize * pageSize);
}

} // namespace

ZeroPagedImage::ZeroPagedImage(qint64 size) : mapped(roundUpToPage(size))
{
    void *memory = ::mmap(
        nullptr, size_t(mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    base = static_cast<char *>(memory);
    length = size;
    highWater = size; // fresh pages are zero, which is what a new image holds
#ifdef MADV_HUGEPAGE
    ::madvise(memory, size_t(mapped), MADV_HUGEPAGE);
#endif
}

ZeroPagedImage::~ZeroPagedImage()
{
    if (!kept)
        ::munmap(base, size_t(mapped));
}

void ZeroPagedImage::resize(qint64 size, char fill)
{
    if (size > mapped) {
        const qint64 grown = roundUpToPage(std::max(size, mapped + mapped / 2));
#ifdef MREMAP_MAYMOVE
        void *memory = ::mremap(base, size_t(mapped), size_t(grown), MREMAP_MAYMOVE);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
#else
        void *memory = ::mmap(
            nullptr, size_t(grown), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
        std::memcpy(memory, base, size_t(length));
        ::munmap(base, size_t(mapped));
#endif
        base = static_cast<char *>(memory);
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
