// Values the apply procedures, the filter rebuild and the statistics pass
// derive for the chain.

#include "ReceiverRig.h"

#include "receiver/ReceiverTables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvik::testing {
namespace {

TEST(ReceiverControl, SMeterLightsOneTickPerSixDecibels)
{
    const std::pair<float, int32_t> cases[] = {
        {0.0f, 0},
        {1.1f, 0},
        {std::pow(10.0f, 47.4f / 20), 7},
        {std::pow(10.0f, 47.6f / 20), 8},
        {std::pow(10.0f, 53.6f / 20), 9},
        {std::pow(10.0f, 83.6f / 20), 14},
        {1e12f, 14},
        {0.001f, 0},
    };
    for (auto [level, ticks] : cases)
        EXPECT_EQ(SMeterTicks(level), ticks) << level;
}

TEST(ReceiverControl, BFOStepsTheOscillatorAtTwelveKilohertzPlusTheShift)
{
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 268435456},     {1, 268457826},         {500, 279620267},
        {-12000, 0},        {48000, 1342177280},    {-48000, -805306368},
    };
    for (auto [bfo, step] : cases)
        EXPECT_EQ(BFOPhaseIncrementFor(bfo), step) << bfo;
}

TEST(ReceiverControl, OscillatorRunsAtTheShiftedFrequencyAcrossBlocks)
{
    ReceiverRig rig(kDemodUSB);
    ApplyBFO(rig.vars, 1000);
    rig.powerOn();
    // A 13 kHz tone mixed with a 13 kHz oscillator lands on 0 Hz, so the SSB
    // audio band (50 to 5000 Hz) hears nothing; a 14 kHz tone comes out at 1 kHz.
    rig.run(8, tone(14000, 8000));
    EXPECT_GT(levelAt(rig.tail(4), 1000), 2000);
}

TEST(ReceiverControl, OutputLevelHasAGainSideAnAttenuationSideAndADeadZone)
{
    struct Case {
        float value;
        bool changes;
        float level;
    };
    const Case cases[] = {{-1000, true, -1000}, {8000, true, 9}, {0, true, 0},    {1, true, 0},
                          {-1, true, 0},        {-30, false, 5}, {-50, false, 5}, {-51, true, -51}};
    for (const auto& c : cases) {
        PublicVars vars;
        vars.OutputAttenuation = 5;
        EXPECT_EQ(ApplyOutputAttenuation(vars, c.value), c.changes) << c.value;
        EXPECT_FLOAT_EQ(vars.OutputAttenuation, c.level) << c.value;
    }
}

// The gain ramp of each block starts where the last block's gain ended, so a
// falling level is followed without a step at the block boundary.
TEST(ReceiverControl, AGCGainRunsOnWithoutAStepFromBlockToBlock)
{
    ReceiverRig rig(kDemodUSB);
    SetAGC(*rig.handlers, true, 1);
    rig.vars.OutputAttenuation = 0;
    ASSERT_GT(rig.vars.AGCRampLength, 1);

    std::vector<double> gains; // the gain each output sample received
    std::vector<float> block(kBlockSamples);
    for (float level : {8000.0f, 6000.0f, 4000.0f, 3000.0f, 2000.0f, 1500.0f}) {
        std::fill(block.begin(), block.end(), level);
        rig.core->ApplyAGCAndVolume(block.data());
        for (float v : block)
            gains.push_back(v / level);
    }
    // The first block ramps up from silence; from then on every step between two
    // samples, block boundaries included, is one ramp step at most.
    double largestStepInsideRamps = 0;
    double largestStepAtBoundaries = 0;
    for (size_t i = kBlockSamples + 1; i < gains.size(); ++i) {
        const double step = std::fabs(gains[i] - gains[i - 1]);
        if (i % kBlockSamples == 0)
            largestStepAtBoundaries = std::max(largestStepAtBoundaries, step);
        else
            largestStepInsideRamps = std::max(largestStepInsideRamps, step);
    }
    EXPECT_GT(gains.back(), gains[2 * kBlockSamples - 1]) << "the gain must rise as the level falls";
    EXPECT_LE(largestStepAtBoundaries, 1e-6 * gains.back());
    EXPECT_GT(largestStepInsideRamps, 0);
}

TEST(ReceiverControl, AGCLengthsFollowTheTimesWithinTheArrays)
{
    struct Case {
        float attack;
        int32_t history;
        float decay;
        int32_t ramp;
    };
    const Case cases[] = {
        {5, 12, 100, 480},   {25, 59, 50, 240},    {50, 117, 200, 960},
        {100, 234, 0, 0},    {100000, kAGCHistoryCapacity, 5000, kAGCRampCapacity},
        {-20, 0, -300, 0},
    };
    for (const auto& c : cases) {
        PublicVars vars;
        InitialiseReceiverState(vars);
        ApplyAGCAttack(vars, c.attack);
        ApplyAGCDecay(vars, c.decay);
        EXPECT_EQ(vars.AGCHistoryLength, c.history) << c.attack;
        EXPECT_EQ(vars.AGCRampLength, c.ramp) << c.decay;
        EXPECT_EQ(vars.AGCTable[vars.AGCMode].Attack, static_cast<int32_t>(std::lround(c.attack)));
        EXPECT_EQ(vars.AGCTable[vars.AGCMode].Decay, static_cast<int32_t>(std::lround(c.decay)));
    }
    PublicVars vars;
    ApplyAGCAttack(vars, 5);
    EXPECT_FLOAT_EQ(vars.AGCWeights[0], 1.0f);
    EXPECT_FLOAT_EQ(vars.AGCWeights[11], 0.0f);
    EXPECT_GT(vars.AGCWeights[5], vars.AGCWeights[6]);
}

TEST(ReceiverControl, NotchEdgesFollowCentreWidthAndInjectionSide)
{
    PublicVars vars;
    vars.NotchCentre = 100;
    ApplyNotchWidth(vars, 300);
    EXPECT_EQ(vars.NotchLo, 0);
    EXPECT_EQ(vars.NotchHi, 250);

    vars.NotchWidth = 200;
    vars.NotchType = 1;
    ApplyNotchCentre(vars, 2000, false, true);
    EXPECT_EQ(vars.NotchCentre, 10000);
    EXPECT_EQ(vars.NotchLo, 9900);
    EXPECT_EQ(vars.NotchHi, 10100);
    EXPECT_TRUE(vars.NotchChanged);
    ApplyNotchCentre(vars, 2000, true, true);
    EXPECT_EQ(vars.NotchCentre, 14000);
}

TEST(ReceiverControl, NotchEdgesStayOnTheSpectrumForAnyCentreAndWidth)
{
    // A centre of 1e30 saturates, and adding half the width overflowed.
    struct Case {
        float centre;
        int32_t type;
        float width;
        int32_t lo;
        int32_t hi;
    } cases[] = {
        {1e30f, 0, 200, kSampleRate / 2, kSampleRate / 2},
        {-1e30f, 0, 200, 0, 0},
        {1e30f, 1, 5000, kSampleRate / 2, kSampleRate / 2},
        {1000, 0, 3e9f, 0, kSampleRate / 2},
        {1000, 0, -3e9f, kSampleRate / 2, 0},
        {1000, 0, 200, 900, 1100},
    };
    for (const Case& c : cases) {
        PublicVars vars;
        vars.NotchType = c.type;
        ApplyNotchWidth(vars, c.width);
        ApplyNotchCentre(vars, c.centre, true, true);
        EXPECT_EQ(vars.NotchLo, c.lo) << c.centre << " " << c.width;
        EXPECT_EQ(vars.NotchHi, c.hi) << c.centre << " " << c.width;
    }
}

TEST(ReceiverControl, RebuildPlacesTheIFFilterByModeSideAndManualEdges)
{
    struct Case {
        int32_t mode;
        bool hiSide;
        bool manual;
        int32_t low;
        int32_t high;
    };
    // Preset 0 (50 to 5000 Hz); manual rows are the start-up IF rows.
    const Case cases[] = {
        {kDemodAM, true, false, 7000, 17000},   {kDemodAM, true, true, 7500, 16500},
        {kDemodUSB, true, false, 12050, 17000}, {kDemodUSB, true, true, 12000, 18000},
        {kDemodUSB, false, false, 7000, 11950}, {kDemodUSB, false, true, 6000, 12000},
        {kDemodLSB, true, false, 7000, 11950},  {kDemodLSB, true, true, 6000, 12000},
        {kDemodLSB, false, false, 12050, 17000}, {kDemodLSB, false, true, 12000, 18000},
        {kDemodDRM, true, true, 7000, 17000},   {kDemodFM, true, true, 2000, 22000},
        {kDemodBC, false, true, 6500, 17500},
    };
    for (const auto& c : cases) {
        ReceiverRig rig(c.mode, c.hiSide);
        SetIFFilter(*rig.handlers, c.manual, 1);
        rig.core->ApplyFilterSettings();
        EXPECT_EQ(rig.core->IFFilter.FLow, c.low) << c.mode << c.hiSide << c.manual;
        EXPECT_EQ(rig.core->IFFilter.FHigh, c.high) << c.mode << c.hiSide << c.manual;
        EXPECT_EQ(rig.spectrum.coeffLoads, 1);
    }
}

TEST(ReceiverControl, RebuildCalledAgainWhileWaitingReturnsAtOnce)
{
    ReceiverRig rig(kDemodUSB);
    int nested = 0;
    rig.core->setYieldHook([&] {
        ++nested;
        rig.core->ApplyFilterSettings();
    });
    rig.core->ApplyFilterSettings();
    EXPECT_GE(nested, 1);
    EXPECT_EQ(rig.spectrum.coeffLoads, 1);
}

TEST(ReceiverControl, DynamicFilterMovesOnlyForShiftsAboveOneHundredHertz)
{
    for (auto [centre, moves] : {std::pair{1071, false}, std::pair{1070, true}}) {
        ReceiverRig rig(kDemodUSB);
        SetDynamicFilter(*rig.handlers, true);
        rig.vars.FilterLo = 0;
        rig.vars.FilterHi = 4000;
        // Bin 100 of the 4096-point audio spectrum is 1171 Hz.
        rig.vars.DynFilterPeakHistory.fill(100);
        rig.vars.DynFilterCentre = centre;
        const int32_t before = rig.core->DynamicFilter.FHigh;
        rig.core->RunStatisticsPass();
        EXPECT_EQ(rig.vars.PeakFrequency, 1171);
        EXPECT_EQ(rig.vars.DynFilterCentre, moves ? 1171 : centre);
        EXPECT_EQ(rig.core->DynamicFilter.FHigh != before, moves) << centre;
    }
}

TEST(ReceiverControl, PeakSearchLeavesAManualNotchWhereItWas)
{
    ReceiverRig rig(kDemodUSB);
    SetDynamicFilter(*rig.handlers, true);
    SetNotch(*rig.handlers, true, 0, 0, 800, 200);
    rig.vars.DynFilterPeakHistory.fill(100);
    rig.core->RunStatisticsPass();
    EXPECT_EQ(rig.vars.NotchCentre, 800);
    EXPECT_EQ(rig.core->NotchFilter.FLow, 700);
    EXPECT_EQ(rig.core->NotchFilter.FHigh, 900);
}

TEST(ReceiverControl, AutomaticNotchRebuildsOnlyForMovesAboveAnEighthOfItsWidth)
{
    for (auto [bin, rebuilds] : {std::pair{0, false}, std::pair{2, false}, std::pair{3, true}}) {
        ReceiverRig rig(kDemodUSB);
        SetNotch(*rig.handlers, true, 1, 0, 1000, 200);
        rig.vars.FilterLo = 0;
        rig.vars.DynFilterPeakHistory.fill(85 + bin);   // 85 bins = 996 Hz, each bin 11.7 Hz more
        rig.vars.NotchCentrePrev = 996;
        rig.vars.NotchChanged = false;
        rig.core->RunStatisticsPass();
        EXPECT_EQ(rig.vars.NotchCentrePrev == rig.vars.NotchCentre, rebuilds || bin == 0) << bin;
        EXPECT_EQ(rig.core->NotchFilter.FLow == rig.vars.NotchCentre - 100, rebuilds) << bin;
    }
}

TEST(ReceiverControl, SMeterZeroTakesThePresentLevelAsReference)
{
    ReceiverRig rig(kDemodUSB);
    rig.vars.SMeterHistory = {400, 400, 400, 400};
    rig.core->RunStatisticsPass();
    EXPECT_FLOAT_EQ(rig.core->SMeterLevel, 400);
    EXPECT_EQ(rig.core->SMeterTickCount, SMeterTicks(400));
    rig.core->SMeterZeroRequested = true;
    rig.core->RunStatisticsPass();
    EXPECT_FLOAT_EQ(rig.core->SMeterZero, 400);
    EXPECT_FLOAT_EQ(rig.core->SMeterLevel, 401.1f) << "never shown below zero + 1.1";
    EXPECT_EQ(rig.core->SMeterTickCount, 0);
    EXPECT_FALSE(rig.core->SMeterZeroRequested);
    EXPECT_TRUE(rig.core->SMeterZeroTaken);
    rig.vars.SMeterHistory = {1600, 1600, 1600, 1600};
    rig.core->RunStatisticsPass();
    EXPECT_FALSE(rig.core->SMeterZeroTaken) << "only the pass that took the zero reports it";
    EXPECT_FLOAT_EQ(rig.core->SMeterZero, 400) << "the zero holds until the button is pressed again";
    EXPECT_FLOAT_EQ(rig.core->SMeterLevel, 1600);
}

} // namespace
} // namespace orvik::testing

namespace orvik::testing {
namespace {

TEST(ReceiverControl, StartUpLeavesTheChainReadyForItsFirstBlock)
{
    PublicVars vars;
    InitialiseReceiverState(vars);
    // Adjuster 13 starts at 0.5 s: 12 block peaks, primed at the AGC target.
    EXPECT_EQ(vars.AGCHistoryLength, 12);
    EXPECT_FLOAT_EQ(vars.AGCPeakHistory[11], 16383.0f);
    EXPECT_FLOAT_EQ(vars.AGCPeakHistory[12], 0.0f);
    EXPECT_EQ(vars.AGCMode, 1);
    EXPECT_FALSE(vars.AGCOn);
    EXPECT_EQ(vars.IFFilterMode, 1);
    EXPECT_FALSE(vars.IFFilterActive);
    EXPECT_EQ(vars.NotchCentre, 1000);
    EXPECT_EQ(vars.NotchWidth, 200);
    EXPECT_EQ(vars.NotchLo, 950);
    EXPECT_EQ(vars.NotchHi, 1050);
    EXPECT_EQ(vars.BFOPhaseIncrement, 268435456);
    // The IF rows keep their defaults although adjusters 17 and 18 ran first.
    EXPECT_EQ(vars.IFFilterSettings[1].FilterSettings[kDemodAM].CurrentHi, 4500);
    EXPECT_EQ(vars.IFFilterSettings[0].FilterSettings[kDemodAM].CurrentHi, 0);

    // The AGC rows follow the adjuster maxima in force when they are filled.
    FillAGCTable(vars, 60, 90);
    EXPECT_EQ(vars.AGCTable[1].Attack, 15);
    EXPECT_EQ(vars.AGCTable[2].DecayDefault, 45);
    EXPECT_EQ(vars.AGCTable[3].AttackInit, 60);
    EXPECT_EQ(vars.AGCTable[0].Attack, 0);
}

} // namespace
} // namespace orvik::testing
