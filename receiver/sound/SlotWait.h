#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace orvik {

// Takes a slot flag another thread holds only briefly. The wait sleeps rather
// than spins: a real-time thread spinning on yield keeps the core from a holder
// of lower priority on the same core, which then never lets go. False, with the
// slot not taken, once limit has passed.
inline bool takeSlot(std::atomic<bool>& busy, std::chrono::microseconds limit)
{
    if (!busy.exchange(true, std::memory_order_acquire))
        return true;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (busy.exchange(true, std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

} // namespace orvik
