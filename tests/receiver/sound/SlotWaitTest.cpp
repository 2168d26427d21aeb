#include "receiver/sound/SlotWait.h"

#include <gtest/gtest.h>

#include <ctime>

namespace orvik {
namespace {

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The writer waited by spinning on yield: at real-time priority that starved the
// holder. Waiting must cost little processor time and end on release.
TEST(SlotWait, WaitsForTheHolderWithoutSpinningAndTakesTheSlot)
{
    std::atomic<bool> busy{true};
    std::thread holder([&busy] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        busy.store(false, std::memory_order_release);
    });
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    const bool taken = takeSlot(busy, std::chrono::seconds(60));
    const double cpu = threadCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    holder.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(busy.load()) << "the waiter holds the slot now";
    EXPECT_GE(wall, 0.19);
    EXPECT_LT(cpu, wall / 2) << "cpu " << cpu << " s in " << wall << " s";
}

TEST(SlotWait, GivesUpAfterTheLimitWithoutTakingTheSlot)
{
    std::atomic<bool> busy{true};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(takeSlot(busy, std::chrono::milliseconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_TRUE(busy.load()) << "still the holder's";

    std::atomic<bool> free{false};
    EXPECT_TRUE(takeSlot(free, std::chrono::microseconds(0)));
    EXPECT_TRUE(free.load());
}

} // namespace
} // namespace orvik
