#pragma once

#include "receiver/ReceiverModes.h"
#include "receiver/ui/ReceiverAssembly.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace orvik::testing {

inline constexpr double kTwoPi = 2 * std::numbers::pi;

// A receiver as the program builds it at start-up, with recording doubles for
// the sound output, the spectrum display and the player.
struct ReceiverRig {
    explicit ReceiverRig(int32_t mode, bool hiSideLO = true)
        : receiver(beforeStart(hiSideLO), sound, spectrum, player, tuning, hooks())
    {
        SetDemodMode(*handlers, mode);
        SelectFilterPreset(*handlers, 0);
        SetAGC(*handlers, false, 2);
    }

    // Power on: the rebuild, then one statistics pass as start-up runs it.
    void powerOn()
    {
        core->ApplyFilterSettings();
        core->RunStatisticsPass();
    }

    // Feeds `blocks` blocks of the IF signal (sample index -> value), each
    // followed by the statistics pass that the block re-arms.
    void run(int blocks, const std::function<double(int64_t)>& signal)
    {
        for (int b = 0; b < blocks; ++b) {
            for (int32_t i = 0; i < kBlockSamples; ++i) {
                const double v = std::round(signal(position + i));
                left[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
                right[i] = 0;
            }
            position += kBlockSamples;
            core->SoundCard_DataReady(left.data(), right.data(), kBlockSamples);
            if (runStatistics)
                core->RunStatisticsPass();
        }
    }

    // The last `blocks` blocks that reached the sound output.
    std::vector<int16_t> tail(int blocks) const
    {
        const size_t n = static_cast<size_t>(blocks) * kBlockSamples;
        const auto& s = sound.samples;
        return {s.end() - static_cast<std::ptrdiff_t>(std::min(n, s.size())), s.end()};
    }

    PublicVars vars;
    RecordingSoundOutput sound;
    RecordingSpectrumFeed spectrum;
    RecordingPlayerRecorder player;
    FixedTuning tuning{0};
    ReceiverAssembly receiver;
    ReceiverCore* core = &receiver.core;
    CtlArray& adjusterTable = receiver.table;
    ReceiverHandlers* handlers = &receiver.handlers;
    std::array<int16_t, kBlockSamples + 1> left{};
    std::array<int16_t, kBlockSamples + 1> right{};
    int64_t position = 0;
    // The statistics pass yields to the event loop; tests of the handler's own
    // yield switch it off.
    bool runStatistics = true;

private:
    // What the receiver is built on: the injection side and no spectrum display.
    PublicVars& beforeStart(bool hiSideLO)
    {
        vars.HiSideLO = hiSideLO;
        spectrum.active = false;
        return vars;
    }
    ReceiverHandlers::Hooks hooks()
    {
        ReceiverHandlers::Hooks h;
        h.vfoHiSideLO = [this] { return vars.HiSideLO; };
        return h;
    }
};

inline std::function<double(int64_t)> tone(double hz, double amplitude, double phase = 0)
{
    return [=](int64_t n) { return amplitude * std::cos(kTwoPi * hz * static_cast<double>(n) / kSampleRate + phase); };
}

// Amplitude of the component at hz (single-bin DFT over all of x).
inline double levelAt(std::span<const int16_t> x, double hz)
{
    double re = 0;
    double im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double a = kTwoPi * hz * static_cast<double>(i) / kSampleRate;
        re += x[i] * std::cos(a);
        im += x[i] * std::sin(a);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(x.size());
}

inline int32_t peakOf(const std::vector<int16_t>& x)
{
    int32_t peak = 0;
    for (int16_t v : x)
        peak = std::max(peak, std::abs(static_cast<int32_t>(v)));
    return peak;
}

inline double rms(const std::vector<int16_t>& x)
{
    double sum = 0;
    for (int16_t v : x)
        sum += double(v) * v;
    return x.empty() ? 0 : std::sqrt(sum / static_cast<double>(x.size()));
}

} // namespace orvik::testing
