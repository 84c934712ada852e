// Under an address-space limit (ctest's prlimit --as=1GiB), work that does not fit waits for room, neither failing nor
// going ahead.
#include "conversion/core/memory/address_space.h"
#include "conversion/core/memory/address_space_budget.h"
#include "conversion/core/memory/address_space_gate.h"
#include "conversion/core/memory/room_pass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <sys/mman.h>
#include <thread>

using namespace tessavo;

// While one holds 600 MB and has mapped them, a second asking as much gets in only after the first has let go.
template <typename Room>
void waitsForRoom(Room& room)
{
    constexpr size_t kNeed = size_t(600) << 20;
    std::atomic<bool> holding{true};
    std::optional<RoomPass<Room>> first(std::in_place, room, kNeed);
    void* held = ::mmap(nullptr, kNeed, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_TRUE(*first && held != MAP_FAILED);
    std::jthread second([&] {
        const RoomPass pass(room, kNeed);
        EXPECT_TRUE(pass) << "refused instead of waiting";
        EXPECT_FALSE(holding) << "went ahead without room";
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // time for a fault to let it in
    holding = false;
    ::munmap(held, kNeed);
    first.reset();
}

TEST(AddressSpace, WorkThatDoesNotFitWaitsForRoom)
{
    ASSERT_TRUE(addressSpaceLimited());
    AddressSpaceGate gate;
    AddressSpaceBudget budget;
    waitsForRoom(gate);
    waitsForRoom(budget);
    // What can never fit: the gate refuses it, the budget lets it run alone.
    EXPECT_FALSE(RoomPass(gate, size_t(2) << 30));
    EXPECT_TRUE(RoomPass(budget, size_t(2) << 30));
}
