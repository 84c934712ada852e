#include "conversion/core/memory/address_space_gate.h"

#include "conversion/core/memory/address_space.h"

namespace tessavo {

bool AddressSpaceGate::enter(size_t bytes)
{
    if (!addressSpaceLimited())
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
    if (!addressSpaceLimited())
        return;
    {
        const std::lock_guard lock(mutex_);
        --inFlight_;
    }
    freed_.notify_all();
}

} // namespace tessavo
