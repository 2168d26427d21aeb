#pragma once

#include "receiver/ReceiverTypes.h"

#include <array>
#include <cstdint>

namespace orvik {

// The receive chain's share of the program-wide variables. The application owns
// one instance; controls write settings and raise the flags, the chain and the
// statistics pass read them. Booleans are plain bool here; the settings texts
// "True"/"False" are the persistence layer's business.
struct PublicVars {
    // Receiver settings.
    int32_t DemodMode = kDemodAM;
    int32_t FilterMode = 0;
    int32_t FilterLo = 0;
    int32_t FilterHi = 0;
    bool MusicModeActive = false;
    bool IFFilterActive = false;
    int32_t IFFilterMode = 1;
    int32_t IFFilterHi = 0;
    int32_t IFFilterLo = 0;
    bool NotchActive = false;
    int32_t NotchMode = 0;   // 0 manual, 1 automatic
    int32_t NotchType = 0;   // 0 on the audio, 1 on the IF
    int32_t NotchCentre = 1000;
    int32_t NotchWidth = 200;
    int32_t NotchLo = 0;
    int32_t NotchHi = 0;
    int32_t NotchCentrePrev = 1000;
    int32_t NotchWidthCopy = 200;
    bool DynFilterActive = false;
    bool NBOn = false;
    bool AGCOn = false;
    int32_t AGCMode = 1;
    bool Mute = false;
    bool HiSideLO = true;     // copy of the VFO's injection side
    int32_t BFO = 0;          // IF shift, Hz
    int32_t BFOPhaseIncrement = 268435456;
    float NBThreshold = 0;
    float IQImbalance = 0;
    // Positive: a linear factor on the samples; zero or negative: an attenuation
    // in hundredths of a decibel handed to the sound output.
    float OutputAttenuation = 0;
    int32_t SpectrumSource = kSourceIFIn;

    // Coordination flags.
    bool InDSP = false;
    bool DSPSettingsChanged = false;
    bool NotchChanged = false;
    bool PerfStatsOn = false;

    // AGC, derived by the attack and decay procedures.
    float AGCDelayTime = 0;       // seconds
    int32_t AGCHistoryLength = 0; // block peaks
    int32_t AGCSmoothTime = 0;    // milliseconds
    int32_t AGCRampLength = 0;    // samples
    float AGCGain = 0;
    std::array<float, kAGCHistoryCapacity> AGCPeakHistory{};
    std::array<float, kAGCHistoryCapacity> AGCWeights{};

    // Measurements of the chain.
    std::array<float, 4> SMeterHistory{};  // newest at 0
    std::array<int32_t, kDynFilterPeakUpper + 1> DynFilterPeakHistory{};
    int32_t DynFilterPeakIndex = 0;
    int32_t PeakFrequency = 0;
    int32_t DynFilterCentre = 0;
    int32_t DynFilterShift = 0;

    // Parameter tables.
    std::array<FilterSetting, 9> FilterTable{};
    std::array<IFFilterSetting, 3> IFFilterSettings{};
    std::array<AGCSetting, 9> AGCTable{};
    NotchLimits NotchAdjusterLimits{};
};

} // namespace orvik
