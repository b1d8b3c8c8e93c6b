#include "anonymousmemory.h"

#include <cstring>
#include <sys/mman.h>

namespace AnonymousMemory {

char *map(qint64 bytes)
{
    void *memory = ::mmap(
        nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    ::madvise(memory, size_t(bytes), MADV_HUGEPAGE);
#endif
    return static_cast<char *>(memory);
}

char *grow(char *base, qint64 oldBytes, qint64 newBytes)
{
#ifdef MREMAP_MAYMOVE
    void *memory = ::mremap(base, size_t(oldBytes), size_t(newBytes), MREMAP_MAYMOVE);
    return memory == MAP_FAILED ? nullptr : static_cast<char *>(memory);
#else
    char *memory = map(newBytes);
    if (!memory)
        return nullptr;
    std::memcpy(memory, base, size_t(oldBytes));
    unmap(base, oldBytes);
    return memory;
#endif
}

void preferLargePages(char *data, qint64 bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr page = 4096;
    const quintptr start = (quintptr(data) + page - 1) & ~(page - 1);
    const quintptr end = (quintptr(data) + quintptr(bytes)) & ~(page - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), size_t(end - start), MADV_HUGEPAGE);
#else
    Q_UNUSED(data)
    Q_UNUSED(bytes)
#endif
}

void unmap(char *base, qint64 bytes)
{
    ::munmap(base, size_t(bytes));
}

} // namespace AnonymousMemory
