#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tessavo {

// Lets work in while there is room for it, probed with a real mapping:
// otherwise it waits for work in flight to give its room back, and is
// refused only when there is none left to wait for.
class AddressSpaceGate {
public:
    bool enter(size_t bytes);
    void leave();

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    int inFlight_ = 0;
};

} // namespace tessavo
