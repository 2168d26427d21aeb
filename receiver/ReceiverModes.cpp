#include "receiver/ReceiverModes.h"

#include "common/Numeric.h"
#include "receiver/ReceiverAdjust.h"

namespace orvik {

namespace {

void placeDynamicFilter(ReceiverCore& core)
{
    const PublicVars& v = core.vars();
    const double w = v.FilterHi - v.FilterLo;
    core.DynamicFilter.FLow = RoundEven(v.FilterLo + 0.1 * w);
    core.DynamicFilter.FHigh = RoundEven(v.FilterHi - 0.1 * w);
}

} // namespace

bool SetDemodMode(ReceiverCore& core, int32_t mode)
{
    if (mode < kDemodAM || mode > kDemodBC)
        return false;
    PublicVars& v = core.vars();
    v.DemodMode = mode;
    const bool amLike = mode == kDemodAM || mode == kDemodFM || mode == kDemodBC;
    const bool ssb = mode == kDemodUSB || mode == kDemodLSB;
    core.DemodFilter.Active = amLike;
    core.AMFilterI.Active = amLike;
    core.AMFilterQ.Active = amLike;
    core.SSBFilterI.Active = ssb;
    core.SSBFilterQ.Active = ssb;
    v.DSPSettingsChanged = true;
    return true;
}

bool SelectFilterPreset(ReceiverCore& core, int32_t index)
{
    PublicVars& v = core.vars();
    if (index < 0 || index >= static_cast<int32_t>(v.FilterTable.size()))
        return false;
    v.FilterMode = index;
    FilterSetting& row = v.FilterTable[index];
    v.FilterLo = row.CurrentLo;
    v.FilterHi = row.CurrentHi;
    // The music rule runs on every preset choice.
    if (row.Music) {
        row.InitLo = v.FilterLo;
        v.MusicModeActive = true;
        v.FilterLo = 50;
    } else {
        v.MusicModeActive = false;
        v.FilterLo = row.InitLo;
    }
    placeDynamicFilter(core);
    v.DSPSettingsChanged = true;
    return true;
}

bool SetIFFilter(ReceiverCore& core, bool active, int32_t mode)
{
    if (mode < 0 || mode > 2)
        return false;
    PublicVars& v = core.vars();
    core.IFFilter.Active = active;
    v.IFFilterActive = active;
    v.IFFilterMode = mode;
    if (active && mode == 1) {
        const FilterSetting& s = v.IFFilterSettings[mode].FilterSettings[v.DemodMode];
        ApplyIFHi(v, static_cast<float>(s.CurrentHi));
        ApplyIFLo(v, static_cast<float>(s.CurrentLo));
    } else if (active && mode == 2) {
        const FilterSetting& r = v.FilterTable[v.FilterMode];
        ApplyIFHi(v, static_cast<float>(v.DemodMode == kDemodLSB ? r.CurrentLo : r.CurrentHi));
        ApplyIFLo(v, static_cast<float>(v.DemodMode == kDemodUSB ? r.CurrentLo : r.CurrentHi));
    }
    v.DSPSettingsChanged = true;
    return true;
}

bool SetNotch(ReceiverCore& core, bool active, int32_t mode, int32_t type, float centre, float width)
{
    if (mode < 0 || mode > 1 || type < 0 || type > 1)
        return false;
    PublicVars& v = core.vars();
    v.NotchActive = active;
    core.NotchFilter.Active = active;
    v.NotchMode = mode;
    v.NotchType = type;
    ApplyNotchWidth(v, width);
    ApplyNotchCentre(v, centre, v.HiSideLO, active);
    v.NotchChanged = true;
    return true;
}

bool SetAGC(ReceiverCore& core, bool on, int32_t mode)
{
    PublicVars& v = core.vars();
    if (mode < 0 || mode >= static_cast<int32_t>(v.AGCTable.size()))
        return false;
    v.AGCOn = on;
    v.AGCMode = mode;
    const AGCSetting& row = v.AGCTable[mode];
    ApplyAGCAttack(v, static_cast<float>(row.Attack));
    ApplyAGCDecay(v, static_cast<float>(row.Decay));
    return true;
}

void SetDynamicFilter(ReceiverCore& core, bool active)
{
    core.vars().DynFilterActive = active;
    core.DynamicFilter.Active = active;
    if (!active) {
        placeDynamicFilter(core);
        core.vars().DSPSettingsChanged = true;
    }
}

void SetNoiseReduction(ReceiverCore& core, bool on, float threshold)
{
    core.vars().NBOn = on;
    core.vars().NBThreshold = threshold;
}

} // namespace orvik
