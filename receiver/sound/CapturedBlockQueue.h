#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace orvik {

// Captured blocks waiting for the main thread: one producer (the audio
// thread), one consumer (the main thread), no locks, no allocation after
// resize(). Deep enough for the burst a sound server hands over after the
// process was stopped; a full queue refuses the newest block and says so
// through takeOverflow(), so that the consumer can give up the whole backlog
// with it as one stretch.
class CapturedBlockQueue {
public:
    static constexpr int32_t kDepth = 64;

    // Only while neither side runs.
    void resize(int32_t samplesPerBlock)
    {
        for (Entry& entry : entries_)
            entry.samples.assign(static_cast<size_t>(samplesPerBlock), 0);
        clear();
    }

    // Producer: the storage of the next entry, nullptr (and an overflow noted) when full.
    int16_t* beginPush()
    {
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= kDepth) {
            overflow_.store(true, std::memory_order_release);
            return nullptr;
        }
        return entries_[tail % kDepth].samples.data();
    }
    // `capturedAt`: when the block's last sample was taken; `arrivedAt`: when it came;
    // both in steady-clock nanoseconds.
    void commitPush(int32_t eventId, int64_t capturedAt, int64_t arrivedAt)
    {
        const uint32_t tail = tail_.load(std::memory_order_relaxed);
        Entry& entry = entries_[tail % kDepth];
        entry.eventId = eventId;
        entry.capturedAt = capturedAt;
        entry.arrivedAt = arrivedAt;
        tail_.store(tail + 1, std::memory_order_release);
    }

    // Consumer.
    bool empty() const { return size() == 0; }
    int32_t size() const
    {
        return static_cast<int32_t>(tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_relaxed));
    }
    int32_t frontEventId() const { return empty() ? 0 : front().eventId; }
    int64_t frontCapturedAt() const { return front().capturedAt; }
    int64_t frontArrivedAt() const { return front().arrivedAt; }
    const std::vector<int16_t>& frontSamples() const { return front().samples; }
    void pop()
    {
        if (!empty())
            head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // True once after the producer refused a block.
    bool takeOverflow() { return overflow_.exchange(false, std::memory_order_acq_rel); }
    // Consumer side; the producer must not run meanwhile.
    void clear()
    {
        head_.store(tail_.load());
        overflow_.store(false);
    }

private:
    struct Entry {
        std::vector<int16_t> samples;
        int32_t eventId = 0;
        int64_t capturedAt = 0;
        int64_t arrivedAt = 0;
    };
    const Entry& front() const { return entries_[head_.load(std::memory_order_relaxed) % kDepth]; }

    std::array<Entry, kDepth> entries_;
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
    std::atomic<bool> overflow_{false};
};

} // namespace orvik
