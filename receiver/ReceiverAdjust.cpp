#include "receiver/ReceiverAdjust.h"

#include "common/Numeric.h"
#include "dsp/VectorLib.h"
#include "receiver/ReceiverTables.h"

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

template <typename Vars>
auto& ifRowOf(Vars& vars)
{
    auto& mode = vars.IFFilterSettings[static_cast<size_t>(
        std::clamp<int32_t>(vars.IFFilterMode, 0, static_cast<int32_t>(vars.IFFilterSettings.size()) - 1))];
    return mode.FilterSettings[static_cast<size_t>(
        std::clamp<int32_t>(vars.DemodMode, 0, static_cast<int32_t>(mode.FilterSettings.size()) - 1))];
}

AGCSetting* currentAGCRow(PublicVars& vars)
{
    if (vars.AGCMode < 0 || vars.AGCMode > 8)
        return nullptr;
    return &vars.AGCTable[vars.AGCMode];
}

} // namespace

FilterSetting& CurrentIFRow(PublicVars& vars) { return ifRowOf(vars); }

const FilterSetting& CurrentIFRow(const PublicVars& vars) { return ifRowOf(vars); }

void ApplyFilterHi(PublicVars& vars, float value)
{
    vars.FilterHi = RoundEven(value);
    vars.DSPSettingsChanged = true;
}

void ApplyFilterLo(PublicVars& vars, float value)
{
    vars.FilterLo = RoundEven(value);
    vars.DSPSettingsChanged = true;
}

void ApplyIFHi(PublicVars& vars, float value)
{
    vars.IFFilterHi = RoundEven(value);
    CurrentIFRow(vars).CurrentHi = vars.IFFilterHi;
    vars.DSPSettingsChanged = true;
}

void ApplyIFLo(PublicVars& vars, float value)
{
    vars.IFFilterLo = RoundEven(value);
    CurrentIFRow(vars).CurrentLo = vars.IFFilterLo;
    vars.DSPSettingsChanged = true;
}

void ApplyNoiseBlanker(PublicVars& vars, float value, float max, float min)
{
    const float span = (max - min) * 5;
    if (span != 0)
        vars.NBThreshold = value / span;
}

bool ApplyOutputAttenuation(PublicVars& vars, float value)
{
    if (value < -50) {
        vars.OutputAttenuation = value;
        return true;
    }
    if (value > 1) {
        vars.OutputAttenuation = 1 + value / 1000;
        return true;
    }
    if (value >= -1) {
        vars.OutputAttenuation = 0;
        return true;
    }
    return false;
}

void ApplyNotchCentre(PublicVars& vars, float value, bool vfoHiSideLO, bool notchFilterActive)
{
    double centre = value;
    if (vars.NotchType == 1)
        centre = vfoHiSideLO ? kIFCentre + value : kIFCentre - value;
    vars.NotchCentre = RoundEven(centre);
    SetNotchEdges(vars);
    if (notchFilterActive)
        vars.NotchChanged = true;
}

void ApplyNotchWidth(PublicVars& vars, float value)
{
    vars.NotchWidthCopy = vars.NotchWidth;
    vars.NotchWidth = RoundEven(value);
    SetNotchEdges(vars);
    vars.NotchChanged = true;
}

void SetNotchEdges(PublicVars& vars)
{
    // A saturated centre or width must not overflow the sum.
    const int64_t half = IntDiv(vars.NotchWidth, 2);
    const int64_t top = kSampleRate / 2;
    vars.NotchLo = static_cast<int32_t>(std::clamp<int64_t>(int64_t{vars.NotchCentre} - half, 0, top));
    vars.NotchHi = static_cast<int32_t>(std::clamp<int64_t>(int64_t{vars.NotchCentre} + half, 0, top));
}

void SetAGCDelayTime(PublicVars& vars, float seconds)
{
    vars.AGCDelayTime = seconds;
    const int32_t length = RoundEven(static_cast<double>(vars.AGCDelayTime) * kBlocksPerSecond);
    vars.AGCHistoryLength = std::clamp(length, 0, kAGCHistoryCapacity);
    vectorlib::VectorRamp_S_1(1.0f, 0.0f, vars.AGCWeights.data(), vars.AGCHistoryLength);
}

void SetAGCSmoothTime(PublicVars& vars, int32_t milliseconds)
{
    vars.AGCSmoothTime = milliseconds;
    const double samples = vars.AGCSmoothTime / 1000.0 * kBlockSamples / static_cast<double>(kBlockTimeSeconds);
    vars.AGCRampLength = std::clamp(RoundEven(samples), 0, kAGCRampCapacity);
}

void ApplyAGCAttack(PublicVars& vars, float value)
{
    SetAGCDelayTime(vars, value / 10);
    if (AGCSetting* row = currentAGCRow(vars))
        row->Attack = RoundEven(value);
}

void ApplyAGCDecay(PublicVars& vars, float value)
{
    SetAGCSmoothTime(vars, RoundEven(value / 10.0));
    if (AGCSetting* row = currentAGCRow(vars))
        row->Decay = RoundEven(value);
}

int32_t BFOPhaseIncrementFor(int32_t bfo)
{
    const double step = Int((kSampleRate / 4.0 + bfo) * 1073741824.0 / kSampleRate + 0.5);
    return static_cast<int32_t>(std::clamp(step, -2147483648.0, 2147483647.0));
}

void ApplyBFO(PublicVars& vars, float value)
{
    vars.BFO = RoundEven(value);
    vars.BFOPhaseIncrement = BFOPhaseIncrementFor(vars.BFO);
}

void InitialiseReceiverState(PublicVars& vars)
{
    // Start values of adjusters 9 to 14, 17, 18 and 20, applied as the main
    // window does when it builds their records.
    ApplyNoiseBlanker(vars, 0);
    ApplyOutputAttenuation(vars, 0);
    ApplyNotchCentre(vars, 1000, vars.HiSideLO, false);
    ApplyNotchWidth(vars, 100);
    ApplyAGCAttack(vars, 5);
    ApplyAGCDecay(vars, 5);
    ApplyIFHi(vars, 6000);
    ApplyIFLo(vars, 6000);
    ApplyBFO(vars, 0);

    InitialiseReceiverTables(vars);

    std::fill_n(vars.AGCPeakHistory.begin(), vars.AGCHistoryLength, 16383.0f);
    vars.DSPSettingsChanged = false;
    vars.NotchChanged = false;
}

} // namespace orvik
