#include "conversion/core/memory/address_space.h"

#include "conversion/core/base/owners.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tessavo {
namespace {

rlim_t limitOfAddressSpace()
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_AS, &limit) == 0 ? limit.rlim_cur : RLIM_INFINITY;
}

// Under a limit, malloc must give address space back: every thread's own
// arena would reserve 64 MB up front, and large blocks freed into an arena
// stay mapped. A few shared arenas, and large blocks mapped on their own.
const bool limited = [] {
    const bool isLimited = limitOfAddressSpace() != RLIM_INFINITY;
    if (isLimited) {
        ::mallopt(M_ARENA_MAX, 2);
        ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    }
    return isLimited;
}();

} // namespace

bool addressSpaceLimited() { return limited; }

size_t addressSpaceLimit()
{
    const rlim_t limit = limitOfAddressSpace();
    return limit == RLIM_INFINITY || limit > SIZE_MAX ? SIZE_MAX : size_t(limit);
}

bool roomFor(size_t bytes)
{
    void* probe = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED)
        return false;
    ::munmap(probe, bytes);
    return true;
}

size_t addressSpaceInUse()
{
    unsigned long pages = 0;
    if (const Owned<std::FILE> statm = openFile("/proc/self/statm", "r")) {
        if (std::fscanf(statm.get(), "%lu", &pages) != 1)
            pages = 0;
    }
    return size_t(pages) * size_t(::sysconf(_SC_PAGESIZE));
}

} // namespace tessavo
