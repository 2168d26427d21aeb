#pragma once
// Shared helpers for the signal-processing tests: seeded input, a
// double-precision DFT oracle and a back-end switch per test.

#include "dsp/ORVIK.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace orvik::testing {

inline std::vector<float> randomFloats(size_t n, uint32_t seed, float scale = 1.0f)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(gen);
    return v;
}

inline std::vector<std::complex<double>> dft(const std::vector<std::complex<double>>& x, int sign = -1)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> acc = 0.0;
        for (size_t t = 0; t < n; ++t) {
            const double angle = sign * 2.0 * M_PI * static_cast<double>((k * t) % n) / static_cast<double>(n);
            acc += x[t] * std::complex<double>(std::cos(angle), std::sin(angle));
        }
        out[k] = acc;
    }
    return out;
}

// Runs each test once per back-end; the vendor run is skipped where the
// build has none.
class BothBackEnds : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ORVIK::INIT();
        if (GetParam() && !ORVIK::SPLPresent)
            GTEST_SKIP() << "no vendor back-end in this build";
        ORVIK::UseSPL = GetParam();
    }
    void TearDown() override { ORVIK::UseSPL = false; }
};

inline std::string backEndName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "Vendor" : "Own";
}

} // namespace orvik::testing
