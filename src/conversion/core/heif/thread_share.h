#pragma once

namespace tessavo {

// How many threads one conversion may use now: the cores shared by the
// conversions in flight, so one file alone uses them all and many files do
// not oversubscribe. Hold one for the whole conversion.
class ThreadShare {
public:
    ThreadShare();
    ~ThreadShare();
    ThreadShare(const ThreadShare&) = delete;
    ThreadShare& operator=(const ThreadShare&) = delete;
    int threads() const;
};

} // namespace tessavo
