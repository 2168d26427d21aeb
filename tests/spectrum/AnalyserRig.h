#pragma once

#include "spectrum/clsSpectrumAnalyser.h"
#include "tests/spectrum/RecordingPage.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace orvik::test {

// An analyser set up as the main window sets it up (48000 Hz, order 11, the full span),
// drawing on two recording pages, switched on.
struct AnalyserRig {
    RecordingPage page0;
    RecordingPage page1;
    std::unique_ptr<clsSpectrumAnalyser> analyser;

    explicit AnalyserRig(SettingsStore* store = nullptr, clsSpectrumAnalyser::Environment env = {})
        : analyser(std::make_unique<clsSpectrumAnalyser>(store, std::move(env)))
    {
        clsSpectrumAnalyser& a = *analyser;
        a.FSampling = 48000;
        a.Order = 11;
        a.picDisplay0(&page0);
        a.picDisplay1(&page1);
        page0.Move(30, 180, 9000, 2680);
        page1.Move(30, 180, 9000, 2680);
        a.StartBin = 0;
        a.StopBin = 1024;
        a.FStart = 0;
        a.FEnd = 24000;
        a.Init();
        a.Active = true;
    }
};

// amplitude x cos(2 pi bin n / N + phase), N samples.
inline std::vector<float> tone(int n, double bin, double amplitude, double phase = 0)
{
    std::vector<float> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        out[static_cast<size_t>(i)] =
            static_cast<float>(amplitude * std::cos(2 * std::numbers::pi * bin * i / n + phase));
    return out;
}

} // namespace orvik::test
