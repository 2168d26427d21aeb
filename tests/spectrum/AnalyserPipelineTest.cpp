#include "tests/spectrum/AnalyserRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace orvik;
using namespace orvik::test;

namespace {

int peakBin(const std::vector<float>& v, int count)
{
    return static_cast<int>(std::max_element(v.begin(), v.begin() + count) - v.begin());
}

} // namespace

TEST(AnalyserPipeline, InitSizesTheTransformAndTheSpan)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    EXPECT_EQ(a.Points, 2048);
    EXPECT_EQ(a.SpectrumWidth, 24000);
    EXPECT_FLOAT_EQ(a.HzPerBin, 23.4375F);
    EXPECT_EQ(a.StartBin, 0);
    EXPECT_EQ(a.StopBin, 1024);
    EXPECT_EQ(a.TraceBuf1().size(), 2049U);
    EXPECT_TRUE(a.Initialised);
    EXPECT_EQ(a.ActivePage(), 0);
    EXPECT_TRUE(rig.page0.Visible());
    EXPECT_FALSE(rig.page1.Visible());
    // Page placement in the container (twips): top 180, bottom margin 50.
    EXPECT_EQ(rig.page0.Top(), 180);
    EXPECT_EQ(rig.page1.Height(), 2910 - 230);
}

TEST(AnalyserPipeline, AToneOnABinGivesItsPowerInThatBin)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setFastMode(true); // no smoothing: the frame shows this block alone
    const auto ch1 = tone(2048, 100, 1000);
    const auto ch2 = tone(2048, 300, 10, 1.0);
    a.LoadSamples_S(ch1.data(), ch2.data());
    a.Display();
    EXPECT_EQ(peakBin(a.TraceBuf1(), 1024), 100);
    EXPECT_EQ(peakBin(a.TraceBuf2(), 1024), 300);
    const double expected1 = std::pow(1000.0 * 1024, 2);
    EXPECT_NEAR(a.TraceBuf1()[100], expected1, expected1 * 1e-3);
    const double expected2 = std::pow(10.0 * 1024, 2);
    EXPECT_NEAR(a.TraceBuf2()[300], expected2, expected2 * 1e-3);
    EXPECT_EQ(a.ActivePage(), 1);
}

TEST(AnalyserPipeline, SixteenBitBlocksLoadAtTheSameScale)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    std::vector<int16_t> i(2048), q(2048);
    for (int k = 0; k < 2048; ++k) {
        i[static_cast<size_t>(k)] = static_cast<int16_t>(k - 1000);
        q[static_cast<size_t>(k)] = static_cast<int16_t>(-k);
    }
    a.LoadSamples_INT16(i.data(), q.data());
    EXPECT_FLOAT_EQ(a.InputBuf1()[5], -995.0F);
    EXPECT_FLOAT_EQ(a.InputBuf2()[2047], -2047.0F);
}

TEST(AnalyserPipeline, SwitchedOffItNeitherLoadsNorDraws)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.Active = false;
    const auto ch = tone(2048, 10, 100);
    a.LoadSamples_S(ch.data(), ch.data());
    EXPECT_FLOAT_EQ(a.InputBuf1()[0], 0.0F);
    const int clears = rig.page0.clears + rig.page1.clears;
    a.Display();
    EXPECT_EQ(rig.page0.clears + rig.page1.clears, clears);
    EXPECT_EQ(a.ActivePage(), 0);
}

TEST(AnalyserPipeline, ADisabledChannelKeepsItsLastSpectrum)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setFastMode(true);
    const auto first = tone(2048, 50, 100);
    a.LoadSamples_S(first.data(), first.data());
    a.Display();
    a.setChn2Enabled(false);
    const auto second = tone(2048, 200, 100);
    a.LoadSamples_S(second.data(), second.data());
    a.Display();
    EXPECT_EQ(peakBin(a.TraceBuf1(), 1024), 200);
    EXPECT_EQ(peakBin(a.TraceBuf2(), 1024), 50);
}

TEST(AnalyserPipeline, TheTriggerStartsTheSweepAtTheLargestSample)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setMode(1);
    a.ScreenWidth = 500;
    std::vector<float> ch1(2048, 0.0F), ch2(2048, 0.0F);
    ch1[300] = 1000;
    ch1[1600] = 5000; // beyond the first N - W - 1 = 1547 samples: not searched
    ch1[10] = -9000;  // the largest signed value wins, not the largest magnitude
    ch2[700] = 20;
    a.LoadSamples_S(ch1.data(), ch2.data());

    a.setTriggerChn(1);
    a.Display();
    EXPECT_EQ(a.TriggerIndex(), 300);
    EXPECT_EQ(a.StartBin, 300);
    EXPECT_EQ(a.StopBin, 799);

    a.setTriggerChn(2);
    a.Display();
    EXPECT_EQ(a.StartBin, 700);
    EXPECT_EQ(a.StopBin, 1199);

    a.setTriggerChn(0);
    a.StartBin = 3;
    a.StopBin = 40;
    a.Display();
    EXPECT_EQ(a.StartBin, 3);
    EXPECT_EQ(a.StopBin, 40);
}

TEST(AnalyserPipeline, ASweepAsWideAsTheBlockSkipsTheTrigger)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setMode(1);
    a.setTriggerChn(1);
    for (int width : {2047, 2048, 5000}) {
        a.ScreenWidth = width;
        a.StartBin = -4;
        a.StopBin = 9000;
        const auto ch = tone(2048, 3, 100);
        a.LoadSamples_S(ch.data(), ch.data());
        a.Display();
        EXPECT_EQ(a.StartBin, 0) << width;
        EXPECT_EQ(a.StopBin, 2048) << width;
    }
}

TEST(AnalyserPipeline, LissajousCopiesBothChannelsWhateverTheirFlags)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.ScopeModeSettings[2].Chn1Enabled = false;
    a.ScopeModeSettings[2].Chn2Enabled = false;
    a.setMode(2);
    a.setFastMode(true);
    const auto ch1 = tone(2048, 4, 100);
    const auto ch2 = tone(2048, 4, 50, 1.5);
    a.LoadSamples_S(ch1.data(), ch2.data());
    a.Display();
    EXPECT_FLOAT_EQ(a.TraceBuf1()[17], ch1[17]);
    EXPECT_FLOAT_EQ(a.TraceBuf2()[17], ch2[17]);
}

TEST(AnalyserPipeline, ZeroTapsGiveTheFlatOverlayAndLeaveTheCallersArray)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    std::vector<float> taps(2048, 0.0F);
    a.LoadFilterCoeffs_T_S(taps.data());
    EXPECT_FLOAT_EQ(a.FilterCurveLin()[0], 1.01F);
    EXPECT_FLOAT_EQ(a.FilterCurveLin()[1023], 1.01F);
    EXPECT_NEAR(a.FilterCurveLog()[500], std::log10(1.01) * 0.9 * 24e6, 1.0);

    taps[0] = 0.5F;
    a.LoadFilterCoeffs_T_S(taps.data());
    EXPECT_FLOAT_EQ(taps[0], 0.5F);
    // One tap of 0.5 scaled by the linear top: a flat response of (0.5 x 24e6)^2 + 1.01.
    EXPECT_NEAR(a.FilterCurveLin()[300], std::pow(0.5 * 24e6, 2), std::pow(0.5 * 24e6, 2) * 1e-5);
}

TEST(AnalyserPipeline, TheOverlayFollowsASwitchBetweenLinearAndLog)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    std::vector<float> taps(2048, 0.0F);
    taps[0] = 0.5F;
    a.LoadFilterCoeffs_T_S(taps.data());
    a.setLogMode(true);
    // Scaled by 12 in the log display: (0.5 x 12)^2 + 1.01 = 37.01.
    EXPECT_NEAR(a.FilterCurveLin()[10], 37.01, 1e-3);
    EXPECT_NEAR(a.FilterCurveLog()[10], std::log10(37.01) * 0.89 * 7.380211, 1e-3);
    a.setLogMode(false);
    EXPECT_NEAR(a.FilterCurveLin()[10], std::pow(0.5 * 24e6, 2), std::pow(0.5 * 24e6, 2) * 1e-5);
    a.setMode(1); // the time mode's linear top, 32768
    EXPECT_NEAR(a.FilterCurveLin()[10], std::pow(0.5 * 32768, 2), std::pow(0.5 * 32768, 2) * 1e-5);
}

TEST(AnalyserPipeline, AReInitAskedForDuringAFrameWaitsForItsEnd)
{
    clsSpectrumAnalyser* analyser = nullptr;
    int yields = 0;
    int32_t pointsSeenInFrame = 0;
    clsSpectrumAnalyser::Environment env;
    env.yield = [&] {
        if (++yields == 5 && analyser) {
            analyser->Order = 10;
            analyser->Init();
            analyser->setMode(0);
            analyser->Display();
            analyser->DisplayFrozen();
            pointsSeenInFrame = analyser->Points;
        }
    };
    AnalyserRig rig(nullptr, env);
    clsSpectrumAnalyser& a = *rig.analyser;
    analyser = &a;
    yields = 0;
    const auto ch = tone(2048, 30, 100);
    a.LoadSamples_S(ch.data(), ch.data());
    const int clears = rig.page0.clears + rig.page1.clears;
    a.Display();
    // Inside the frame nothing was reallocated and no second frame started.
    EXPECT_EQ(pointsSeenInFrame, 2048);
    EXPECT_FALSE(a.FrameInProgress());
    EXPECT_EQ(a.Points, 1024);
    EXPECT_EQ(a.TraceBuf1().size(), 1025U);
    // One frame, then the deferred Init's layout of both pages.
    EXPECT_EQ(rig.page0.clears + rig.page1.clears, clears + 3);
}

TEST(AnalyserPipeline, AModeChosenDuringAFrameIsLaidOutAfterIt)
{
    clsSpectrumAnalyser* analyser = nullptr;
    int yields = 0;
    clsSpectrumAnalyser::Environment env;
    env.yield = [&] {
        if (analyser && ++yields == 4)
            analyser->setMode(1);
    };
    AnalyserRig rig(nullptr, env);
    clsSpectrumAnalyser& a = *rig.analyser;
    analyser = &a;
    const auto ch = tone(2048, 30, 100);
    a.LoadSamples_S(ch.data(), ch.data());
    a.Display();
    EXPECT_EQ(a.Mode(), 1);
    // Laid out for the time mode once the frame was over: page 0 in front again.
    EXPECT_FLOAT_EQ(rig.page0.ScaleTop, 32768.0F);
    EXPECT_FLOAT_EQ(rig.page1.ScaleTop, 32768.0F);
    EXPECT_EQ(a.ActivePage(), 0);
    EXPECT_TRUE(rig.page0.Visible());
    EXPECT_FALSE(a.FrameInProgress());
}
