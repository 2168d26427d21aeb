#pragma once

// Gaps in a 1 kHz tone recorded from the program's output: stretches of digital zero
// and steps of the tone's phase, which output samples lost, repeated or played late
// leave behind.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace orvik::soundtest {

// The 1 kHz tone's phase in each 10 ms window, which holds exactly ten periods:
// output samples lost or repeated show as a step of the phase between clean
// windows, and a gap or click as windows where the tone is not most of the sound.
struct PhaseJumps {
    int windows = 0;
    int disturbances = 0;      // stretches of windows that are not the clean tone
    std::vector<double> jumps; // size of each phase step, in samples
    std::vector<int> jumpAt;   // the sample where each step shows
    std::vector<int> disturbedAt; // the sample where each disturbance starts
};

inline PhaseJumps countPhaseJumps(const int16_t* s, int count, int rate = 48000)
{
    const int window = rate / 100;
    const double samplesPerPeriod = rate / 1000.0;
    // Far above the phase noise of the demodulated tone, far below any real slip.
    constexpr double kThresholdSamples = 1.5;
    PhaseJumps result;
    double previous = 0;
    bool havePrevious = false;
    bool disturbed = false;
    bool inJump = false;
    for (int start = 0; start + window <= count; start += window) {
        double re = 0, im = 0, power = 0;
        for (int i = 0; i < window; ++i) {
            const double x = s[start + i];
            const double phase = 2 * std::numbers::pi * 1000.0 * i / rate;
            re += x * std::cos(phase);
            im -= x * std::sin(phase);
            power += x * x;
        }
        ++result.windows;
        const double tonePower = 2 * (re * re + im * im) / window;
        if (tonePower < 100.0 * 100.0 * window || tonePower < 0.8 * power) {
            if (!disturbed) {
                ++result.disturbances;
                result.disturbedAt.push_back(start);
            }
            disturbed = true;
            inJump = false;
            continue;
        }
        disturbed = false;
        // Compared with the last clean window, so a slip inside a gap counts too.
        const double phase = std::atan2(im, re);
        if (havePrevious) {
            double step = phase - previous;
            step -= 2 * std::numbers::pi * std::round(step / (2 * std::numbers::pi));
            const double samples = step / (2 * std::numbers::pi) * samplesPerPeriod;
            const bool jump = std::fabs(samples) > kThresholdSamples;
            // A window that straddles the slip shows it in two steps.
            if (jump && !inJump) {
                result.jumps.push_back(samples);
                result.jumpAt.push_back(start);
            } else if (jump) {
                result.jumps.back() += samples;
            }
            inJump = jump;
        }
        previous = phase;
        havePrevious = true;
    }
    return result;
}

// Where each run of at least `shortest` samples of digital zero starts. A tone of
// any level crosses zero between samples, so such a run is sound that was not there.
inline std::vector<int> zeroRuns(const int16_t* s, int count, int shortest)
{
    std::vector<int> starts;
    int run = 0;
    for (int i = 0; i < count; ++i) {
        run = s[i] == 0 ? run + 1 : 0;
        if (run == shortest)
            starts.push_back(i - shortest + 1);
    }
    return starts;
}

} // namespace orvik::soundtest
