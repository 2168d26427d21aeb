#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace orvik {

// Captured blocks waiting for the main thread: one producer (the audio
// thread), one consumer (the main thread), no locks, no allocation after
// resize(). A full queue refuses the newest block.
class CapturedBlockQueue {
public:
    static constexpr int32_t kDepth = 4;

    // Only while neither side runs.
    void resize(int32_t samplesPerBlock)
    {
        for (Entry& entry : entries_)
            entry.samples.assign(static_cast<size_t>(samplesPerBlock), 0);
        clear();
    }

    // Producer: the storage of the next entry, nullptr when full.
    int16_t* beginPush()
    {
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= kDepth)
            return nullptr;
        return entries_[tail % kSlots].samples.data();
    }
    void commitPush(int32_t eventId)
    {
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        entries_[tail % kSlots].eventId = eventId;
        tail_.store(tail + 1, std::memory_order_release);
    }

    // Consumer.
    bool empty() const { return head_.load(std::memory_order_relaxed) == tail_.load(std::memory_order_acquire); }
    int32_t frontEventId() const { return empty() ? 0 : entries_[head_.load() % kSlots].eventId; }
    const std::vector<int16_t>& frontSamples() const { return entries_[head_.load() % kSlots].samples; }
    void pop()
    {
        if (!empty())
            head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // Consumer side; the producer must not run meanwhile.
    void clear() { head_.store(tail_.load()); }

private:
    static constexpr uint32_t kSlots = kDepth;
    struct Entry {
        std::vector<int16_t> samples;
        int32_t eventId = 0;
    };
    std::array<Entry, kSlots> entries_;
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
};

} // namespace orvik
