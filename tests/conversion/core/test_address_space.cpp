// Under an address-space limit (ctest runs this under prlimit --as=1GiB),
// work that does not fit waits for room, neither failing nor going ahead.
#include "conversion/core/address_space.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sys/mman.h>
#include <thread>
#include <vector>

using namespace tessavo;

namespace {

constexpr size_t kNeed = size_t(600) << 20; // two never fit at once

// Four workers each map what they asked room for while in.
template <typename Room>
void takeTurns(Room& room)
{
    std::atomic<int> inside{0}, most{0}, entered{0};
    std::vector<std::jthread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&] {
            const RoomPass pass(room, kNeed);
            if (!pass)
                return;
            ++entered;
            const int now = ++inside;
            most = std::max(most.load(), now);
            void* held = ::mmap(nullptr, kNeed, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            EXPECT_NE(held, MAP_FAILED) << "let in without room";
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // gives a fault the chance to let two in
            --inside;
            if (held != MAP_FAILED)
                ::munmap(held, kNeed);
        });
    workers.clear();
    EXPECT_EQ(entered, 4) << "refused instead of waiting";
    EXPECT_EQ(most, 1) << "went ahead without room";
}

} // namespace

TEST(AddressSpace, WorkThatDoesNotFitWaitsForRoom)
{
    ASSERT_TRUE(addressSpaceLimited());
    AddressSpaceGate gate;
    AddressSpaceBudget budget;
    takeTurns(gate);
    takeTurns(budget);
    // What can never fit: the gate refuses it, the budget lets it run alone.
    EXPECT_FALSE(RoomPass(gate, size_t(2) << 30));
    EXPECT_TRUE(RoomPass(budget, size_t(2) << 30));
}
