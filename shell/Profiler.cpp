#include "shell/Profiler.h"
#include "common/Product.h"

#include "common/Format.h"
#include "platform/MessageService.h"

#include <chrono>
#include <limits>

namespace orvik {

namespace {

int64_t steadyTicks100ns()
{
    using namespace std::chrono;
    return duration_cast<duration<int64_t, std::ratio<1, Profiler::DefaultTicksPerSec>>>(
               steady_clock::now().time_since_epoch())
        .count();
}

void reportNoCounter()
{
    messages().show("Your hardware doesn't support a high-resolution performance counter!", QString::fromLatin1(ProductName),
                    MessageButtons::Ok, MessageIcon::Information);
}

} // namespace

Profiler::Profiler(TickSource ticks, int64_t ticksPerSec)
    : ticks_(ticks ? std::move(ticks) : TickSource(steadyTicks100ns))
{
    if (ticksPerSec <= 0) {
        reportNoCounter();
        return;
    }
    TicksPerSec = ticksPerSec;
}

int Profiler::StartTiming()
{
    StartTick = ticks_();
    return 0;
}

int Profiler::StopTiming()
{
    StopTick = ticks_();
    // A long pause (a knob left alone) must read as long, not as the last short
    // interval, so the time comes from the 64-bit difference and only the 32-bit
    // field saturates.
    const int64_t diff = StopTick - StartTick;
    constexpr int64_t hi = std::numeric_limits<int32_t>::max();
    constexpr int64_t lo = std::numeric_limits<int32_t>::min();
    DurationInTicks = static_cast<int32_t>(diff > hi ? hi : (diff < lo ? lo : diff));
    if (TicksPerSec > 0)
        Duration = static_cast<double>(diff) / static_cast<double>(TicksPerSec) * 1'000'000.0;
    return 0;
}

double Profiler::CPUFreq()
{
    if (TicksPerSec <= 0)
        reportNoCounter();
    cuFrequency = TicksPerSec;
    return static_cast<double>(cuFrequency);
}

void Profiler::Start()
{
    StartTiming();
    StartTime = TicksPerSec > 0 ? static_cast<double>(StartTick) / static_cast<double>(TicksPerSec) : 0.0;
}

void Profiler::Stopp()
{
    StopTiming();
    EndTime = TicksPerSec > 0 ? static_cast<double>(StopTick) / static_cast<double>(TicksPerSec) : 0.0;
    Duration = EndTime - StartTime;
    DurationMS = Format(Duration * 1000.0, "#,##0.000 ms");
}

} // namespace orvik
