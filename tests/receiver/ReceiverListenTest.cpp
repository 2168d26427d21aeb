// What a listener hears: synthetic IF signals through the block handler.

#include "ReceiverRig.h"

#include "dsp/ORVIK.h"

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

constexpr int kSettle = 8;   // blocks for the filter delays and the AGC to settle
constexpr int kMeasure = 6;

struct SidebandCase {
    int32_t mode;
    bool hiSide;
    bool toneAbove;
    bool wanted;
};

TEST(ReceiverListen, SidebandModesKeepTheWantedSideAndRejectTheOther)
{
    // The wanted side is where the IF filter table puts it: USB above the IF
    // centre with the LO on the high side, below with the LO on the low side;
    // LSB the mirror image.
    const SidebandCase cases[] = {
        {kDemodUSB, true, true, true},   {kDemodUSB, true, false, false},
        {kDemodUSB, false, false, true}, {kDemodUSB, false, true, false},
        {kDemodLSB, true, false, true},  {kDemodLSB, true, true, false},
        {kDemodLSB, false, true, true},  {kDemodLSB, false, false, false},
    };
    for (const auto& c : cases) {
        ReceiverRig rig(c.mode, c.hiSide);
        rig.powerOn();
        rig.run(kSettle + kMeasure, tone(c.toneAbove ? 13000 : 11000, 8000));
        const double level = levelAt(rig.tail(kMeasure), 1000);
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " hiSide " << c.hiSide << " above " << c.toneAbove);
        if (c.wanted)
            EXPECT_GT(level, 2000);
        else
            EXPECT_LT(level, 20);
    }
}

TEST(ReceiverListen, AMRecoversTheModulatingTone)
{
    ReceiverRig rig(kDemodAM);
    SetAGC(*rig.handlers, true, 1);
    rig.powerOn();
    rig.run(kSettle + kMeasure, [](int64_t n) {
        const double t = static_cast<double>(n) / kSampleRate;
        return 4000 * (1 + 0.5 * std::sin(kTwoPi * 1000 * t)) * std::cos(kTwoPi * 12000 * t);
    });
    const auto out = rig.tail(kMeasure);
    const double fundamental = levelAt(out, 1000);
    EXPECT_GT(fundamental, 8000);
    // Power detection leaves a second harmonic of m^2/4 against 2m: 1/8 here.
    EXPECT_LT(levelAt(out, 2000), fundamental / 6);
    EXPECT_LT(levelAt(out, 1500), fundamental / 100);
}

TEST(ReceiverListen, FMRecoversTheToneWithoutHarmonicsOrOffsetSpurs)
{
    {
        ReceiverRig rig(kDemodFM);
        rig.powerOn();
        rig.run(kSettle + kMeasure, [](int64_t n) {
            const double t = static_cast<double>(n) / kSampleRate;
            return 8000 * std::cos(kTwoPi * 12000 * t + 3 * std::sin(kTwoPi * 1000 * t));
        });
        const auto out = rig.tail(kMeasure);
        const double fundamental = levelAt(out, 1000);
        // 3 kHz deviation at 4096 x 2 pi / 48000 per hertz is about 1608.
        EXPECT_NEAR(fundamental, 1608, 80);
        EXPECT_LT(levelAt(out, 2000), fundamental / 100);
        EXPECT_LT(levelAt(out, 3000), fundamental / 100);
    }
    {
        // An unmodulated carrier 250 Hz off the centre must not whistle.
        ReceiverRig rig(kDemodFM);
        rig.powerOn();
        rig.run(kSettle + kMeasure, tone(12250, 8000));
        const auto out = rig.tail(kMeasure);
        for (double hz : {1000.0, 2000.0, 3000.0})
            EXPECT_LT(levelAt(out, hz), 5) << hz;
    }
}

TEST(ReceiverListen, BCDetectorFollowsTheEnvelope)
{
    ReceiverRig rig(kDemodBC);
    rig.powerOn();
    rig.run(kSettle + kMeasure, [](int64_t n) {
        const double t = static_cast<double>(n) / kSampleRate;
        return 4000 * (1 + 0.5 * std::sin(kTwoPi * 500 * t)) * std::cos(kTwoPi * 12000 * t);
    });
    EXPECT_GT(levelAt(rig.tail(kMeasure), 500), 500);
}

TEST(ReceiverListen, AGCSettlesASteadyToneAtItsTarget)
{
    std::vector<double> gains;
    for (double amplitude : {300.0, 3000.0, 20000.0}) {
        ReceiverRig rig(kDemodUSB);
        SetAGC(*rig.handlers, true, 1);
        rig.powerOn();
        // Fast AGC remembers 2.5 s of peaks; run past the primed start-up history.
        rig.run(80, tone(13000, amplitude));
        EXPECT_NEAR(peakOf(rig.tail(4)), 16383, 200) << amplitude;
        gains.push_back(rig.vars.AGCGain);
    }
    EXPECT_NEAR(gains[0] / gains[1], 10, 0.2);
    EXPECT_NEAR(gains[1] / gains[2], 20000.0 / 3000.0, 0.2);
}

TEST(ReceiverListen, OutputLevelAndLimiterActWithAndWithoutAGC)
{
    for (bool agc : {false, true}) {
        SCOPED_TRACE(agc ? "AGC on" : "AGC off");
        const int blocks = agc ? 80 : kSettle;
        ReceiverRig quiet(kDemodUSB);
        SetAGC(*quiet.handlers, agc, 1);
        quiet.powerOn();
        quiet.run(blocks, tone(13000, 2000));
        const double base = rms(quiet.tail(2));

        ReceiverRig louder(kDemodUSB);
        SetAGC(*louder.handlers, agc, 1);
        ApplyOutputAttenuation(louder.vars, 1000); // factor 2
        louder.powerOn();
        louder.run(blocks, tone(13000, 2000));
        if (agc)
            EXPECT_EQ(peakOf(louder.tail(2)), 16384) << "limited";
        else
            EXPECT_NEAR(rms(louder.tail(2)) / base, 2.0, 0.02);
        EXPECT_EQ(louder.sound.attenuation, 0);

        ReceiverRig attenuated(kDemodUSB);
        SetAGC(*attenuated.handlers, agc, 1);
        ApplyOutputAttenuation(attenuated.vars, -2000);
        attenuated.powerOn();
        attenuated.run(blocks, tone(13000, 2000));
        EXPECT_EQ(attenuated.sound.attenuation, -2000);
        EXPECT_NEAR(rms(attenuated.tail(2)) / base, 1.0, 0.02) << "attenuation is the sound card's, not the samples'";
    }
}

TEST(ReceiverListen, AMWithoutAGCIsHeldByTheLimiter)
{
    // The AGC "Off" row has no history: the level and the limiter still act.
    ReceiverRig rig(kDemodAM);
    SetAGC(*rig.handlers, true, 0);
    ASSERT_EQ(rig.vars.AGCHistoryLength, 0);
    rig.powerOn();
    rig.run(kSettle, tone(12000, 8000));
    EXPECT_LE(peakOf(rig.tail(2)), 16384);
    EXPECT_EQ(rig.sound.attenuation, 0);
}

TEST(ReceiverListen, MuteSilencesEveryBlockAndUnmuteRestoresTheLevel)
{
    ReceiverRig rig(kDemodUSB);
    SetAGC(*rig.handlers, true, 0);
    rig.powerOn();
    rig.vars.Mute = true;
    for (int b = 0; b < 3; ++b) {
        rig.run(1, tone(13000, 8000));
        EXPECT_EQ(rig.sound.attenuation, -10000);
    }
    rig.vars.Mute = false;
    rig.run(1, tone(13000, 8000));
    EXPECT_EQ(rig.sound.attenuation, 0);
}

TEST(ReceiverListen, IFFilterRemovesSignalsOutsideItsPassBand)
{
    auto run = [](bool ifFilter, int32_t hi) {
        ReceiverRig rig(kDemodUSB);
        rig.vars.IFFilterSettings[1].FilterSettings[kDemodUSB].CurrentHi = hi;
        SetIFFilter(*rig.handlers, ifFilter, 1);
        rig.powerOn();
        rig.run(kSettle + kMeasure, tone(13000, 8000));
        return levelAt(rig.tail(kMeasure), 1000);
    };
    const double open = run(false, 500);
    EXPECT_GT(open, 2000);
    EXPECT_LT(run(true, 500), open / 100) << "12000..12500 Hz passes no 13 kHz tone";
    EXPECT_NEAR(run(true, 6000), open, open * 0.05);
}

TEST(ReceiverListen, ManualIFFilterInLSBWithLowSideLOPassesTheWantedSignal)
{
    ReceiverRig rig(kDemodLSB, false);
    SetIFFilter(*rig.handlers, true, 1);
    rig.powerOn();
    EXPECT_EQ(rig.core->IFFilter.FLow, 12000);
    EXPECT_EQ(rig.core->IFFilter.FHigh, 18000);
    rig.run(kSettle + kMeasure, tone(13000, 8000));
    EXPECT_GT(levelAt(rig.tail(kMeasure), 1000), 2000);
}

TEST(ReceiverListen, ManualNotchRemovesItsToneOnTheAudioAndOnTheIF)
{
    auto run = [](int32_t type, bool notch) {
        ReceiverRig rig(kDemodUSB);
        if (notch)
            SetNotch(*rig.handlers, true, 0, type, 1000, 200);
        rig.powerOn();
        rig.run(kSettle + kMeasure, [](int64_t n) { return tone(13000, 6000)(n) + tone(14500, 3000)(n); });
        const auto out = rig.tail(kMeasure);
        return std::pair{levelAt(out, 1000), levelAt(out, 2500)};
    };
    const auto open = run(0, false);
    for (int32_t type : {0, 1}) {
        const auto notched = run(type, true);
        EXPECT_LT(notched.first, open.first / 30) << "type " << type;
        EXPECT_NEAR(notched.second, open.second, open.second * 0.05) << "type " << type;
    }
}

TEST(ReceiverListen, AutomaticNotchFindsAndRemovesTheStrongestTone)
{
    // A single tone: an IF notch acts before the peak search, so a second
    // tone would pull the average away once the first one is notched.
    const auto signal = tone(13500, 6000);
    ReceiverRig open(kDemodUSB);
    open.powerOn();
    open.run(kSettle, signal);
    const double openLevel = levelAt(open.tail(kMeasure), 1500);
    for (int32_t type : {0, 1}) {
        SCOPED_TRACE(type ? "IF notch" : "audio notch");
        ReceiverRig rig(kDemodUSB);
        SetNotch(*rig.handlers, true, 1, type, 1000, 200);
        rig.powerOn();
        // The peak is averaged over the last 100 blocks.
        rig.run(120, signal);
        EXPECT_NEAR(rig.vars.NotchCentre, type ? 13500 : 1500, 25);
        EXPECT_LT(levelAt(rig.tail(kMeasure), 1500), openLevel / 30);
    }
}

TEST(ReceiverListen, DynamicFilterFollowsThePeakWithinTheMainPassBand)
{
    ReceiverRig rig(kDemodUSB);
    SetDynamicFilter(*rig.handlers, true);
    rig.powerOn();
    rig.run(120, [](int64_t n) { return tone(16000, 6000)(n) + tone(12200, 2000)(n); });
    EXPECT_NEAR(rig.vars.PeakFrequency, 4000, 25);
    // The centre moves only for shifts of more than 100 Hz.
    EXPECT_NEAR(rig.vars.DynFilterCentre, rig.vars.PeakFrequency, 100);
    const auto& f = rig.core->DynamicFilter;
    const double w = rig.vars.FilterHi - rig.vars.FilterLo;
    EXPECT_GE(f.FHigh, rig.vars.FilterHi - 0.2 * w);
    EXPECT_LE(f.FHigh, rig.vars.FilterHi);
    EXPECT_GE(f.FLow, rig.vars.FilterLo);
    EXPECT_LE(f.FLow, rig.vars.FilterLo + 0.1 * w);
    // The 200 Hz tone lies below the dynamic filter's lower edge.
    const auto out = rig.tail(kMeasure);
    EXPECT_LT(levelAt(out, 200), levelAt(out, 4000) / 20);
}

TEST(ReceiverListen, NoiseReductionLowersTheNoiseAroundAStrongTone)
{
    auto run = [](bool nb, float threshold) {
        ReceiverRig rig(kDemodUSB);
        SetIFFilter(*rig.handlers, true, 2);
        SetNoiseReduction(*rig.handlers, nb, threshold);
        rig.powerOn();
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0, 300);
        rig.run(kSettle + kMeasure, [&](int64_t n) { return tone(13000, 8000)(n) + noise(random); });
        const auto out = rig.tail(kMeasure);
        return std::pair{levelAt(out, 1000), levelAt(out, 3700) + levelAt(out, 4100) + levelAt(out, 4400)};
    };
    const auto off = run(false, 0);
    const auto zero = run(true, 0);
    EXPECT_NEAR(zero.first, off.first, off.first * 0.01) << "a threshold of 0 leaves the signal alone";
    const auto on = run(true, 0.2f);
    EXPECT_NEAR(on.first, off.first, off.first * 0.1);
    EXPECT_LT(on.second, off.second);
}

TEST(ReceiverListen, BothBackEndsGiveTheSameAudio)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "built without the vendor back-end";
    for (int32_t mode : {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC}) {
        std::vector<int16_t> outputs[2];
        for (int backend = 0; backend < 2; ++backend) {
            ORVIK::UseSPL = backend == 1;
            ReceiverRig rig(mode);
            SetAGC(*rig.handlers, true, 1);
            SetNotch(*rig.handlers, true, 0, 0, 1500, 200);
            SetDynamicFilter(*rig.handlers, true);
            SetNoiseReduction(*rig.handlers, true, 0.05f);
            rig.powerOn();
            rig.run(kSettle, [](int64_t n) {
                const double t = static_cast<double>(n) / kSampleRate;
                return 3000 * (1 + 0.5 * std::sin(kTwoPi * 700 * t)) * std::cos(kTwoPi * 12900 * t);
            });
            outputs[backend] = rig.tail(kSettle - 2);
        }
        ORVIK::UseSPL = false;
        const double scale = std::max(rms(outputs[0]), 1.0);
        double worst = 0;
        for (size_t i = 0; i < outputs[0].size(); ++i)
            worst = std::max(worst, std::abs(double(outputs[0][i]) - outputs[1][i]));
        EXPECT_LT(worst, 0.01 * scale + 2) << "mode " << mode;
    }
}

} // namespace
} // namespace orvik::testing
