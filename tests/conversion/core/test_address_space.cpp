// Under an address-space limit (ctest runs this under prlimit --as=1GiB),
// work that does not fit waits for room, neither failing nor going ahead.
#include "conversion/core/address_space.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/mman.h>
#include <thread>

using namespace tessavo;

// Four workers each map the 600 MB they asked room for while in; two never fit at once.
template <typename Room>
void takeTurns(Room& room)
{
    constexpr size_t kNeed = size_t(600) << 20;
    std::atomic<int> inside{0}, most{0}, entered{0};
    std::vector<std::jthread> workers(4);
    for (std::jthread& worker : workers)
        worker = std::jthread([&] {
            const RoomPass pass(room, kNeed);
            void* held = pass ? ::mmap(nullptr, kNeed, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)
                              : MAP_FAILED;
            entered += held != MAP_FAILED;
            most = std::max(most.load(), ++inside);
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // room for a fault to let two in
            --inside;
            if (held != MAP_FAILED)
                ::munmap(held, kNeed);
        });
    workers.clear();
    EXPECT_EQ(entered, 4) << "refused, or let in without room";
    EXPECT_EQ(most, 1) << "went ahead without room";
}

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
