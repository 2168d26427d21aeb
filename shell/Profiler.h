#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvik {

// Measures one interval at a time on a monotonic counter of 100 ns ticks: the sound
// handler times each block with it, the encoder the gap between two knob pulses.
class Profiler {
public:
    // The counter; tests hand in their own. Empty: std::chrono::steady_clock.
    using TickSource = std::function<int64_t()>;
    static constexpr int64_t DefaultTicksPerSec = 10'000'000;

    explicit Profiler(TickSource ticks = {}, int64_t ticksPerSec = DefaultTicksPerSec);

    double StartTime = 0;   // seconds, written by Start
    double EndTime = 0;     // seconds, written by Stopp
    double Duration = 0;    // microseconds after StopTiming, seconds after Stopp
    std::string DurationMS; // written by Stopp
    double Count = 0;       // for the caller
    int64_t TicksPerSec = 0;
    int64_t StartTick = 0;
    int64_t StopTick = 0;
    int32_t DurationInTicks = 0; // saturates; Duration comes from the full 64-bit difference
    int64_t cuFrequency = 0;
    int64_t cuStart = 0; // for the caller
    int64_t cuStop = 0;  // for the caller

    int StartTiming();
    int StopTiming();
    double CPUFreq();
    void Start();
    void Stopp();

private:
    TickSource ticks_;
};

} // namespace orvik
