// Counts heap allocations made while blocks run. This binary replaces the
// global operator new, so it holds no other tests.

#include "ReceiverRig.h"

#include "dsp/ORVIK.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <new>

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* allocate(std::size_t n)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t n, std::align_val_t alignment)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(alignment);
    if (void* p = std::aligned_alloc(a, (n + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void* operator new(std::size_t n, std::align_val_t a) { return allocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocateAligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace orvik::testing {
namespace {

TEST(ReceiverAllocation, BlocksAllocateNothingInAnyMode)
{
    ORVIK::INIT();
    const bool vendor = ORVIK::SPLPresent;
    for (int backend = 0; backend < (vendor ? 2 : 1); ++backend) {
        ORVIK::UseSPL = backend == 1;
        // Modes 0 to 5, then the playback path.
        for (int32_t mode = 0; mode <= 6; ++mode) {
            ReceiverRig rig(mode == 6 ? kDemodUSB : mode);
            SetAGC(*rig.handlers, true, 1);
            SetIFFilter(*rig.handlers, true, 1);
            SetNoiseReduction(*rig.handlers, true, 0.1f);
            SetNotch(*rig.handlers, true, 1, mode % 2, 1000, 200);
            SetDynamicFilter(*rig.handlers, true);
            ApplyBFO(rig.vars, mode == kDemodUSB ? 300 : 0);
            rig.spectrum.active = true;
            rig.vars.SpectrumSource = mode % 4;
            rig.vars.PerfStatsOn = true;
            if (mode == 6) {
                rig.player.mode = PlayerRecorder::kPlaying;
                rig.player.playSource.assign(200 * kBlockSamples, 1000);
            }
            rig.sound.samples.reserve(120 * kBlockSamples);
            rig.powerOn();
            // Computed in place: building tone() functions per sample would allocate.
            const auto signal = [](int64_t n) {
                const double t = static_cast<double>(n) / kSampleRate;
                return 5000 * std::cos(kTwoPi * 13100 * t) + 2000 * std::cos(kTwoPi * 11500 * t) + (n % 7) * 30;
            };
            rig.run(10, signal);

            g_allocations = 0;
            g_counting = true;
            rig.run(100, signal);
            g_counting = false;
            EXPECT_EQ(g_allocations.load(), 0) << "mode " << mode << " backend " << backend;
        }
    }
    ORVIK::UseSPL = false;
}

// The first block of a new mode designs the mode's filters and primes its detectors.
TEST(ReceiverAllocation, TheFirstBlocksOfANewModeAllocateNothing)
{
    ReceiverRig rig(kDemodAM);
    SetAGC(*rig.handlers, true, 2);
    SetIFFilter(*rig.handlers, true, 1);
    SetNotch(*rig.handlers, true, 0, 1, 1000, 200);
    SetDynamicFilter(*rig.handlers, true);
    rig.sound.samples.reserve(200 * kBlockSamples);
    rig.powerOn();
    const auto signal = [](int64_t n) { return 5000 * std::cos(kTwoPi * 13100 * static_cast<double>(n) / kSampleRate); };
    rig.run(4, signal);
    for (int32_t mode : {kDemodUSB, kDemodFM, kDemodBC, kDemodLSB, kDemodDRM, kDemodAM}) {
        // Every other change comes too late for the block waiting: the next block hands over.
        rig.sound.replaceable = !rig.sound.replaceable;
        SetDemodMode(*rig.handlers, mode);
        g_allocations = 0;
        g_counting = true;
        rig.run(3, signal);
        g_counting = false;
        EXPECT_EQ(g_allocations.load(), 0) << "into mode " << mode;
    }
}

// A stage switched, moved or redesigned hands over as a mode does: its blocks, and the
// rebuilds between them, allocate nothing either.
TEST(ReceiverAllocation, TheBlocksAfterASwitchAllocateNothing)
{
    ReceiverRig rig(kDemodAM);
    SetAGC(*rig.handlers, true, 2);
    rig.sound.samples.reserve(200 * kBlockSamples);
    rig.powerOn();
    const auto signal = [](int64_t n) { return 5000 * std::cos(kTwoPi * 13100 * static_cast<double>(n) / kSampleRate); };
    rig.run(4, signal);
    const std::function<void()> switches[] = {
        [&] { SetNotch(*rig.handlers, true, 0, 0, 1000, 200); },
        [&] { SetNotch(*rig.handlers, true, 0, 0, 1500, 200); },
        [&] { SetNotch(*rig.handlers, true, 0, 1, 1000, 200); },
        [&] { SetNotch(*rig.handlers, true, 1, 0, 1000, 200); },
        [&] { SetNotch(*rig.handlers, false, 0, 0, 0, 0); },
        [&] { SetIFFilter(*rig.handlers, true, 1); },
        [&] { SetIFFilter(*rig.handlers, true, 2); },
        [&] { SetIFFilter(*rig.handlers, false, 1); },
        [&] { SetNoiseReduction(*rig.handlers, true, 0.05f); },
        [&] { SetNoiseReduction(*rig.handlers, true, 0.1f); },
        [&] { SetNoiseReduction(*rig.handlers, false, 0.1f); },
    };
    for (size_t k = 0; k < std::size(switches); ++k) {
        switches[k]();
        // A mode beside every other one.
        if (k % 2 == 1)
            SetDemodMode(*rig.handlers, rig.vars.DemodMode == kDemodAM ? kDemodUSB : kDemodAM);
        g_allocations = 0;
        g_counting = true;
        rig.run(3, signal);
        g_counting = false;
        EXPECT_EQ(g_allocations.load(), 0) << "switch " << k;
    }
}

} // namespace
} // namespace orvik::testing
