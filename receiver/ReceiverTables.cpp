#include "receiver/ReceiverTables.h"

#include "common/Numeric.h"

namespace orvik {

namespace {

FilterSetting row(int32_t lo, int32_t hi, bool music)
{
    FilterSetting s;
    s.Lo = lo;
    s.Hi = hi;
    s.CurrentLo = lo;
    s.CurrentHi = hi;
    s.InitLo = lo;
    s.InitHi = hi;
    s.Music = music;
    return s;
}

} // namespace

void FillFilterTable(PublicVars& vars)
{
    vars.FilterTable[0] = row(50, 5000, false);
    vars.FilterTable[1] = row(200, 600, false);
    vars.FilterTable[2] = row(300, 2300, false);
    vars.FilterTable[3] = row(300, 3000, false);
    vars.FilterTable[4] = row(240, 4000, false);
}

void FillAGCTable(PublicVars& vars, float attackMax, float decayMax)
{
    constexpr double divisors[] = {4, 2, 1};
    for (int r = 1; r <= 3; ++r) {
        AGCSetting& a = vars.AGCTable[r];
        a.AttackDefault = RoundEven(attackMax / divisors[r - 1]);
        a.Attack = a.AttackDefault;
        a.AttackInit = a.AttackDefault;
        a.DecayDefault = RoundEven(decayMax / divisors[r - 1]);
        a.Decay = a.DecayDefault;
        a.DecayInit = a.DecayDefault;
    }
}

void FillIFFilterSettings(PublicVars& vars)
{
    for (int m = 1; m <= 2; ++m) {
        auto& rows = vars.IFFilterSettings[m].FilterSettings;
        rows[kDemodAM] = row(4500, 4500, true);
        rows[kDemodUSB] = row(0, 6000, false);
        rows[kDemodLSB] = row(6000, 0, false);
        rows[kDemodDRM] = row(5500, 5500, true);
        rows[kDemodFM] = row(10000, 10000, true);
        rows[kDemodBC] = row(5500, 5500, true);
    }
}

void SetNotchDefaults(PublicVars& vars)
{
    vars.NotchWidth = 200;
    vars.NotchCentre = 1000;
    vars.NotchCentrePrev = vars.NotchCentre;
}

void InitialiseReceiverTables(PublicVars& vars, float attackMax, float decayMax)
{
    vars.AGCMode = 1;
    vars.AGCOn = false;
    FillFilterTable(vars);
    FillAGCTable(vars, attackMax, decayMax);
    vars.IFFilterMode = 1;
    vars.IFFilterActive = false;
    FillIFFilterSettings(vars);
    SetNotchDefaults(vars);
    vars.NotchAdjusterLimits = NotchLimits{};
}

} // namespace orvik
