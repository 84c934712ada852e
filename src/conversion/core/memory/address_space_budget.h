#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tessavo {

// Shares what the limit leaves free at the first request among work in
// flight by its estimates: work waits while the others' estimates and its
// own exceed it, but never when it would run alone.
class AddressSpaceBudget {
public:
    void enter(size_t bytes);
    void leave(size_t bytes);

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    size_t budget_ = 0;
    size_t used_ = 0;
    int inFlight_ = 0;
    bool measured_ = false;
};

} // namespace tessavo
