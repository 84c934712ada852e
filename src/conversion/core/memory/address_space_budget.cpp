#include "conversion/core/memory/address_space_budget.h"

#include "conversion/core/memory/address_space.h"

namespace tessavo {

void AddressSpaceBudget::enter(size_t bytes)
{
    if (!addressSpaceLimited())
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
    if (!addressSpaceLimited())
        return;
    {
        const std::lock_guard lock(mutex_);
        used_ -= bytes;
        --inFlight_;
    }
    freed_.notify_all();
}

} // namespace tessavo
