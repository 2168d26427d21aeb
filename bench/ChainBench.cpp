// The whole receive chain per block (DoDSP), every mode on both back-ends,
// plain and with every optional stage on ("heavy": noise reduction, manual IF
// filter, notch and dynamic filter), on a seeded IF with an AM station, two
// carriers, a whistle and noise. Time per iteration is time per block; for
// ModeChangeBlock and SwitchBlock, that of the block that takes a change of mode or a switch.

#include "dsp/ORVIK.h"
#include "dsp/VendorFft.h"
#include "receiver/ReceiverModes.h"
#include "receiver/ui/ReceiverAssembly.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace orvik;

constexpr int kRecordingBlocks = 16;

std::vector<int16_t> recording()
{
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> noise(-900, 900);
    std::vector<int16_t> x(static_cast<size_t>(kRecordingBlocks) * kBlockSamples);
    const double w = 2 * std::numbers::pi / kSampleRate;
    for (size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n);
        const double v = 3000 * (1 + 0.4 * std::sin(w * 600 * t)) * std::cos(w * 12000 * t)
                         + 1500 * std::cos(w * 13200 * t) + 1000 * std::cos(w * 10900 * t)
                         + 2500 * std::cos(w * 14500 * t) + noise(gen);
        x[n] = static_cast<int16_t>(std::lround(v));
    }
    return x;
}

struct Chain {
    Chain(int32_t mode, bool heavy)
    {
        ReceiverHandlers& h = receiver.handlers;
        SetDemodMode(h, mode);
        SelectFilterPreset(h, 0);
        SetAGC(h, true, 2);
        if (heavy) {
            SetNoiseReduction(h, true, 0.1f);
            SetIFFilter(h, true, 1);
            const bool audioNotch = mode == kDemodUSB || mode == kDemodLSB || mode == kDemodBC;
            SetNotch(h, true, 0, audioNotch ? 0 : 1, audioNotch ? 1000.0f : 2500.0f, 200);
            SetDynamicFilter(h, mode != kDemodDRM);
        }
        receiver.core.ApplyFilterSettings();
        receiver.core.RunStatisticsPass();
    }

    ReceiverHandlers::Hooks hooks()
    {
        ReceiverHandlers::Hooks h;
        h.vfoHiSideLO = [this] { return vars.HiSideLO; };
        return h;
    }

    // The next block of the recording, round and round, through the chain.
    void nextBlock()
    {
        std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(b * kBlockSamples), kBlockSamples, left.begin());
        b = (b + 1) % kRecordingBlocks;
        receiver.core.DoDSP(left.data(), right.data(), kBlockSamples);
        benchmark::DoNotOptimize(left.data());
    }

    PublicVars vars;
    NullSoundOutput sound;
    NullSpectrumFeed spectrum;
    NullPlayerRecorder player;
    FixedTuning tuning{0};
    ReceiverAssembly receiver{vars, sound, spectrum, player, tuning, hooks()};
    const std::vector<int16_t> x = recording();
    std::array<int16_t, kBlockSamples + 1> left{};
    std::array<int16_t, kBlockSamples + 1> right{};
    size_t b = 0;
};

void Block(benchmark::State& state, int32_t mode, bool heavy, bool vendor)
{
    ORVIK::INIT();
    if (vendor && !ORVIK::SPLPresent) {
        state.SkipWithError("no vendor back-end in this build");
        return;
    }
    // Measured plans, as the program makes them (without keeping wisdom).
    ORVIK::ConfigureVendorPlanning(true, "", [](const std::string&) {});
    ORVIK::UseSPL = vendor;
    Chain chain(mode, heavy);
    for (auto _ : state)
        chain.nextBlock();
    ORVIK::UseSPL = false;
}

// The block that takes a mode change whole (clicked while the block before was in the
// chain): the new mode's filters designed and its stages primed on the last blocks, and the
// old mode carried on under the crossfade. AM and USB in turn.
// Times the block after each change made by change(chain), on an AM chain run a few blocks.
template <typename Change>
void HandoverBlock(benchmark::State& state, bool heavy, Change change)
{
    ORVIK::INIT();
    ORVIK::ConfigureVendorPlanning(true, "", [](const std::string&) {});
    ORVIK::UseSPL = false;
    Chain chain(kDemodAM, heavy);
    for (int i = 0; i < 4; ++i)
        chain.nextBlock();
    for (auto _ : state) {
        state.PauseTiming();
        change(chain);
        state.ResumeTiming();
        chain.nextBlock();
    }
}

void ModeChangeBlock(benchmark::State& state, bool heavy)
{
    int32_t mode = kDemodAM;
    HandoverBlock(state, heavy, [&](Chain& chain) {
        mode = mode == kDemodAM ? kDemodUSB : kDemodAM;
        chain.vars.InDSP = true;
        SetDemodMode(chain.receiver.handlers, mode);
        chain.vars.InDSP = false;
    });
}
BENCHMARK_CAPTURE(ModeChangeBlock, plain_own, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ModeChangeBlock, heavy_own, true)->Unit(benchmark::kMicrosecond);

// The block that takes a switch of the notch, on and off in turn: the last setting carried
// on under the crossfade, both primed on the last blocks. AM.
void SwitchBlock(benchmark::State& state, bool heavy)
{
    bool on = heavy;
    HandoverBlock(state, heavy, [&](Chain& chain) {
        on = !on;
        chain.receiver.handlers.clickBox(RxWidget::chkNotchOn, on);
    });
}
BENCHMARK_CAPTURE(SwitchBlock, plain_own, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SwitchBlock, heavy_own, true)->Unit(benchmark::kMicrosecond);

#define CHAIN_MODE(name, mode)                                                                         \
    BENCHMARK_CAPTURE(Block, name##_plain_own, mode, false, false)->Unit(benchmark::kMicrosecond);     \
    BENCHMARK_CAPTURE(Block, name##_plain_vendor, mode, false, true)->Unit(benchmark::kMicrosecond);   \
    BENCHMARK_CAPTURE(Block, name##_heavy_own, mode, true, false)->Unit(benchmark::kMicrosecond);      \
    BENCHMARK_CAPTURE(Block, name##_heavy_vendor, mode, true, true)->Unit(benchmark::kMicrosecond)

CHAIN_MODE(am, kDemodAM);
CHAIN_MODE(usb, kDemodUSB);
CHAIN_MODE(lsb, kDemodLSB);
CHAIN_MODE(drm, kDemodDRM);
CHAIN_MODE(fm, kDemodFM);
CHAIN_MODE(bc, kDemodBC);

} // namespace

BENCHMARK_MAIN();
