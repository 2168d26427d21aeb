#pragma once

#include "common/BlockGeometry.h"

#include <array>
#include <cstdint>

namespace orvik {

// The receive chain's blocks (common/BlockGeometry.h) carry the IF on a quarter of the
// sample rate; its spectra have 4096 points.
inline constexpr int32_t kSpectrumPoints = 4096;
inline constexpr int32_t kIFCentre = kSampleRate / 4;

inline constexpr int32_t kDemodAM = 0;
inline constexpr int32_t kDemodUSB = 1;
inline constexpr int32_t kDemodLSB = 2;
inline constexpr int32_t kDemodDRM = 3;
inline constexpr int32_t kDemodFM = 4;
inline constexpr int32_t kDemodBC = 5;

// Spectrum feed points (optSpectrumSource).
inline constexpr int32_t kSourceIFIn = 0;
inline constexpr int32_t kSourcePreDemod = 1;
inline constexpr int32_t kSourcePostDemod = 2;
inline constexpr int32_t kSourceAFOut = 3;

// Attack up to 10 s gives 234 block peaks; the history holds a few more.
inline constexpr int32_t kAGCHistoryCapacity = 256;
inline constexpr int32_t kAGCRampCapacity = kBlockSamples;
// DynFilterPeakHistory runs 0 To 100.
inline constexpr int32_t kDynFilterPeakUpper = 100;

struct FilterSetting {
    int32_t Hi = 0;
    int32_t Lo = 0;
    int32_t CurrentHi = 0;
    int32_t CurrentLo = 0;
    int32_t InitHi = 0;
    int32_t InitLo = 0;
    bool Music = false;
};

struct IFFilterSetting {
    std::array<FilterSetting, 9> FilterSettings{};
};

// One row of AGCTable; attack in tenths of a second, decay in tenths of a millisecond.
struct AGCSetting {
    int32_t AttackDefault = 0;
    int32_t Attack = 0;
    int32_t AttackInit = 0;
    int32_t DecayDefault = 0;
    int32_t Decay = 0;
    int32_t DecayInit = 0;
};

// Limits of the notch-centre adjuster for the audio notch and for the IF notch.
struct NotchLimits {
    float AudioMax = 6000;
    float AudioMin = 0;
    float AudioValue = 1000;
    float IFMax = 6000;
    float IFMin = -6000;
    float IFValue = 1000;
};

} // namespace orvik
