#include "catalog/engine/memory_pages.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace engine {

void populatePages(const void *from, std::size_t bytes)
{
#ifdef __linux__
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; an older system refuses it and faults as before
#endif
    // Only worth a call past a few pages.
    constexpr std::size_t kFewPages = std::size_t(64) << 10;
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(from) + bytes) / page * page;
    if (end > begin && end - begin >= kFewPages)
        (void)madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)from;
    (void)bytes;
#endif
}

}  // namespace engine
