#include "conversion/core/address_space.h"

#include "conversion/core/owners.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tessavo {
namespace {

rlim_t addressSpaceLimit()
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_AS, &limit) == 0 ? limit.rlim_cur : RLIM_INFINITY;
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

// Under a limit, malloc must give address space back: every thread's own
// arena would reserve 64 MB up front, and large blocks freed into an arena
// stay mapped. A few shared arenas, and large blocks mapped on their own.
const bool limited = [] {
    const bool isLimited = addressSpaceLimit() != RLIM_INFINITY;
    if (isLimited) {
        ::mallopt(M_ARENA_MAX, 2);
        ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    }
    return isLimited;
}();

} // namespace

bool addressSpaceLimited()
{
    return limited;
}

bool AddressSpaceGate::enter(size_t bytes)
{
    if (!limited)
        return true;
    std::unique_lock lock(mutex_);
    while (!roomFor(bytes)) {
        if (inFlight_ == 0)
            return false;
        freed_.wait(lock);
    }
    ++inFlight_;
    return true;
}

void AddressSpaceGate::leave()
{
    if (!limited)
        return;
    {
        const std::lock_guard lock(mutex_);
        --inFlight_;
    }
    freed_.notify_all();
}

void AddressSpaceBudget::enter(size_t bytes)
{
    if (!limited)
        return;
    std::unique_lock lock(mutex_);
    if (!measured_) {
        const size_t limit = addressSpaceLimit(), inUse = addressSpaceInUse();
        budget_ = limit > inUse ? limit - inUse : 0;
        measured_ = true;
    }
    freed_.wait(lock, [&] { return inFlight_ == 0 || used_ + bytes <= budget_; });
    used_ += bytes;
    ++inFlight_;
}

void AddressSpaceBudget::leave(size_t bytes)
{
    if (!limited)
        return;
    {
        const std::lock_guard lock(mutex_);
        used_ -= bytes;
        --inFlight_;
    }
    freed_.notify_all();
}

} // namespace tessavo
