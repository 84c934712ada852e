#include "conversion/core/heif/thread_share.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace tessavo {
namespace {

std::atomic<int> conversionsInFlight{0};

} // namespace

ThreadShare::ThreadShare() { ++conversionsInFlight; }
ThreadShare::~ThreadShare() { --conversionsInFlight; }

int ThreadShare::threads() const
{
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    return std::max(1, cores / std::max(1, conversionsInFlight.load()));
}

} // namespace tessavo
