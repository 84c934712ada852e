#pragma once

#include <concepts>
#include <cstddef>

namespace tessavo {

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
        if constexpr (requires {
                          {
                              room_.enter(bytes_)
                              } -> std::same_as<bool>;
                      })
            return room_.enter(bytes_);
        else
            return room_.enter(bytes_), true;
    }

    Room& room_;
    size_t bytes_;
    bool entered_ = false;
};

} // namespace tessavo
