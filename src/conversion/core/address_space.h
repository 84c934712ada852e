#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

// Under an address-space limit (ulimit -v) work that needs much memory waits
// for room instead of failing beside other work that holds it. Without a
// limit everything goes through at once.
namespace tessavo {

// Whether the process runs under an address-space limit.
bool addressSpaceLimited();

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

// Holds room at a gate or in a budget for a scope.
template <typename Room>
class RoomPass {
public:
    RoomPass(Room& room, size_t bytes) : room_(room), bytes_(bytes) { entered_ = enter(); }
    ~RoomPass()
    {
        if (!entered_)
            return;
        if constexpr (requires { room_.leave(bytes_); })
            room_.leave(bytes_);
        else
            room_.leave();
    }
    RoomPass(const RoomPass&) = delete;
    RoomPass& operator=(const RoomPass&) = delete;
    explicit operator bool() const { return entered_; }

private:
    bool enter()
    {
        if constexpr (requires { { room_.enter(bytes_) } -> std::same_as<bool>; })
            return room_.enter(bytes_);
        else
            return room_.enter(bytes_), true;
    }

    Room& room_;
    size_t bytes_;
    bool entered_ = false;
};

} // namespace tessavo
