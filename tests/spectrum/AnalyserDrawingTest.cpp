#include "tests/spectrum/AnalyserRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace orvik;
using namespace orvik::test;

namespace {

std::vector<std::string> labels(const RecordingPage& page, uint32_t colour)
{
    return page.textsIn(colour);
}

// Draws one frame of the held traces on the page the analyser draws next.
RecordingPage& drawFrame(AnalyserRig& rig)
{
    RecordingPage& page = rig.analyser->ActivePage() == 0 ? rig.page0 : rig.page1;
    rig.analyser->DisplayFrozen();
    return page;
}

} // namespace

TEST(AnalyserSmoothing, TheOldestSpectrumWeighsMost)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setSpectrumSmooth(4);
    // An impulse of 1 in bin 7, then empty frames: frame j shows the weight of age j.
    std::vector<float> weights;
    for (int frame = 0; frame < 5; ++frame) {
        std::fill(a.TraceBuf1().begin(), a.TraceBuf1().end(), 0.0F);
        if (frame == 0)
            a.TraceBuf1()[7] = 1.0F;
        a.DrawSpectrum(rig.page0);
        weights.push_back(a.TraceBuf1()[7]);
    }
    EXPECT_NEAR(weights[0], 0.1, 1e-6);
    EXPECT_NEAR(weights[1], 0.2, 1e-6);
    EXPECT_NEAR(weights[2], 0.3, 1e-6);
    EXPECT_NEAR(weights[3], 0.4, 1e-6);
    EXPECT_NEAR(weights[4], 0.0, 1e-6);
}

TEST(AnalyserSmoothing, OneBlockPassesTheSpectrumAndFastOrFrozenSkipIt)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setSpectrumSmooth(1);
    a.TraceBuf1()[3] = 40.0F;
    a.DrawSpectrum(rig.page0);
    EXPECT_FLOAT_EQ(a.TraceBuf1()[3], 40.0F);

    a.setSpectrumSmooth(8);
    a.setFastMode(true);
    a.TraceBuf1()[3] = 36.0F;
    a.DrawSpectrum(rig.page0);
    EXPECT_FLOAT_EQ(a.TraceBuf1()[3], 36.0F);
    a.setFastMode(false);
    a.Freeze = true;
    a.DrawSpectrum(rig.page0);
    EXPECT_FLOAT_EQ(a.TraceBuf1()[3], 36.0F);
    a.Freeze = false;
    // The history held 40 in block 0 only; a fresh 36 with S = 8 averages with it.
    a.DrawSpectrum(rig.page0);
    EXPECT_NEAR(a.TraceBuf1()[3], (36.0 * 1 + 40.0 * 2) / 8 / 4.5, 1e-4);
}

// Bit for bit what a history that moves its blocks one place on every frame gives,
// through changes of the count in both directions (blocks beyond a smaller count keep
// their old spectra and come back when the count grows again).
TEST(AnalyserSmoothing, TheRingGivesTheMovingHistorysValuesExactly)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    const size_t bins = 1024;
    std::vector<float> moving(clsSpectrumAnalyser::MaxSmoothCount * bins, 0.0F);
    auto reference = [&](std::vector<float> trace, int s) {
        for (int k = s - 1; k >= 1; --k)
            std::copy_n(moving.begin() + (k - 1) * static_cast<long>(bins), bins, moving.begin() + k * static_cast<long>(bins));
        std::copy_n(trace.begin(), bins, moving.begin());
        for (size_t i = 0; i < bins; ++i) {
            float sum = 0;
            for (int k = 0; k < s; ++k)
                sum += moving[static_cast<size_t>(k) * bins + i] * static_cast<float>(k + 1) / static_cast<float>(s);
            trace[i] = sum / (static_cast<float>(s + 1) / 2.0F);
        }
        return trace;
    };
    const int counts[] = {4, 4, 4, 4, 4, 6, 6, 6, 2, 2, 2, 5, 5, 5, 5, 5, 5, 24, 24, 1, 3, 3, 3, 3};
    uint32_t seed = 12345;
    for (int frame = 0; frame < static_cast<int>(std::size(counts)); ++frame) {
        a.setSpectrumSmooth(counts[frame]);
        std::vector<float> spectrum(bins);
        for (float& v : spectrum) {
            seed = seed * 1664525U + 1013904223U;
            v = static_cast<float>(seed >> 8) * 1.37e-3F;
        }
        std::copy(spectrum.begin(), spectrum.end(), a.TraceBuf1().begin());
        a.DrawSpectrum(rig.page0);
        const std::vector<float> expected = reference(spectrum, counts[frame]);
        for (size_t i = 0; i < bins; ++i)
            ASSERT_EQ(a.TraceBuf1()[i], expected[i]) << "frame " << frame << " bin " << i;
    }
}

TEST(AnalyserTraces, GainAndOffsetScaleALinearTraceButNotALogSpectrum)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setMode(1);
    a.setFastMode(true);
    a.setChn1Gain(2);
    a.setChn1Shift(15); // 15 / 150 x 65536
    a.Gain = 4;
    a.TraceBuf1()[10] = 100.0F;
    a.DrawSpectrum(rig.page0);
    EXPECT_NEAR(a.TraceBuf1()[10], 100.0 * 2 * 4 + 6553.6, 1e-2);

    a.AutoGain = true;
    a.TraceBuf1()[10] = 100.0F;
    a.DrawSpectrum(rig.page0);
    EXPECT_FLOAT_EQ(a.TraceBuf1()[10], 100.0F);

    a.AutoGain = false;
    a.setMode(0);
    a.setFastMode(true);
    a.setLogMode(true);
    a.setChn1Gain(2);
    a.TraceBuf1()[10] = 1000.0F; // log 3
    a.TraceBuf1()[11] = 0.5F;    // below 1: drawn at the floor
    a.DrawSpectrum(rig.page0);
    const double third = 7.380211 / 3;
    EXPECT_NEAR(a.TraceBuf1()[10], (3 - third) * 2, 1e-4);
    EXPECT_NEAR(a.TraceBuf1()[11], (0 - third) * 2, 1e-4);
    // A frozen redraw leaves the held values as they are.
    a.Freeze = true;
    a.DrawSpectrum(rig.page0);
    EXPECT_NEAR(a.TraceBuf1()[10], (3 - third) * 2, 1e-4);
}

TEST(AnalyserTraces, TheSpectrumRunsFromTheHighBinAtTheLeftUnlessReversed)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setFastMode(true);
    a.setChn2Enabled(false);
    std::fill(a.TraceBuf1().begin(), a.TraceBuf1().end(), 0.0F);
    a.TraceBuf1()[1000] = 5e6F;
    RecordingPage& page = drawFrame(rig);
    auto peakX = [&](const RecordingPage& p) {
        float best = -1, x = -1;
        for (const auto& s : p.strokesIn(a.Y1Colour))
            if (s.y2 > best) {
                best = s.y2;
                x = s.x2;
            }
        return x;
    };
    EXPECT_FLOAT_EQ(peakX(page), 24.0F); // 1024 - 1000 bins from the left edge
    a.ReverseSpectrum = true;
    a.TraceBuf1()[1000] = 5e6F;
    RecordingPage& reversed = drawFrame(rig);
    EXPECT_FLOAT_EQ(peakX(reversed), 1000.0F);
}

TEST(AnalyserTraces, TheNotchMarkerStandsAtItsFrequencyInNotXor)
{
    clsSpectrumAnalyser::Environment env;
    env.NotchCentre = [] { return 24000; };
    env.NotchWidth = [] { return 10; };
    AnalyserRig rig(nullptr, env);
    clsSpectrumAnalyser& a = *rig.analyser;
    a.ShowNotch = true;
    RecordingPage& page = drawFrame(rig);
    const auto notch = page.strokesIn(a.NotchFilterColour);
    ASSERT_EQ(notch.size(), 1U);
    EXPECT_FLOAT_EQ(notch[0].x1, 0.0F); // the highest bin is at the left edge
    EXPECT_EQ(notch[0].mode, ScopePage::DrawNotXorPen);
    EXPECT_EQ(notch[0].width, 1);
    EXPECT_EQ(page.DrawMode, ScopePage::DrawCopyPen);
}

TEST(AnalyserTraces, TheFilterCurveSitsOneStepRightAndFollowsChannelOne)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.ShowFilter = true;
    a.setChn1Gain(3);
    std::vector<float> taps(2048, 0.0F);
    a.LoadFilterCoeffs_T_S(taps.data());
    RecordingPage& page = drawFrame(rig);
    const auto curve = page.strokesIn(a.FilterCurveColour);
    ASSERT_EQ(curve.size(), 1025U);
    EXPECT_FLOAT_EQ(curve[0].x2, 1.0F);
    // Bin N/2, drawn first at the left, is never part of the overlay and stays 0.
    EXPECT_FLOAT_EQ(curve[0].y2, 0.0F);
    EXPECT_FLOAT_EQ(curve[1].x2, 2.0F);
    EXPECT_FLOAT_EQ(curve[1].y2, 1.01F * 3);
}

TEST(AnalyserScales, LinearSpectrumGridAndKilohertzLabels)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.FOffset = 7088000 - 12000;
    RecordingPage& page = drawFrame(rig);
    // Eleven lines inside the page (bottom edge, top edge, nine between) and some above it.
    int inside = 0;
    for (const auto& s : page.strokesIn(a.GraticuleColour))
        if (s.y1 == s.y2 && s.y1 >= -24e6F * 1.0001F && s.y1 <= 24e6F * 1.0001F)
            ++inside;
    EXPECT_EQ(inside, 11);
    int vertical = 0;
    for (const auto& s : page.strokesIn(a.GraticuleColour))
        if (s.x1 == s.x2)
            ++vertical;
    EXPECT_EQ(vertical, 13);
    const auto centre = page.strokesIn(0xC0C0);
    ASSERT_EQ(centre.size(), 1U);
    EXPECT_FLOAT_EQ(centre[0].x1, 512.0F);

    const auto freq = labels(page, a.XTextColour);
    ASSERT_EQ(freq.size(), 13U);
    EXPECT_EQ(freq.front(), "7 076");
    EXPECT_EQ(freq[6], "7 088");
    EXPECT_EQ(freq.back(), "7 100");
    EXPECT_EQ(a.LabelFormat(), "# ###");
    EXPECT_TRUE(labels(page, a.YTextColour).empty());
}

TEST(AnalyserScales, ReversedAxisWithoutOffsetShowsOneDecimal)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.ReverseSpectrum = true;
    a.FOffset = 0;
    RecordingPage& page = drawFrame(rig);
    const auto freq = labels(page, a.XTextColour);
    ASSERT_EQ(freq.size(), 13U);
    // Printed from the right edge leftwards: the highest frequency first.
    EXPECT_EQ(freq.front(), "24.0");
    // Bin 4 is the last the twelve steps of 85 bins reach: 94 Hz.
    EXPECT_EQ(freq.back(), "0.1");
    const auto& texts = page.texts;
    const auto zero = std::find_if(texts.begin(), texts.end(), [](const auto& t) { return t.text == "0.1"; });
    ASSERT_NE(zero, texts.end());
    EXPECT_LT(zero->x, 10.0F);
}

TEST(AnalyserScales, LogLabelsReadTenDecibelsPerDecadeOfPower)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setLogMode(true);
    a.setMode(0);
    RecordingPage& page = drawFrame(rig);
    const std::vector<std::string> expected = {"-74", "-66", "-59", "-52", "-44", "-37",
                                               "-30", "-22", "-15", "-7",  ""};
    EXPECT_EQ(labels(page, a.YTextColour), expected);
    a.setChn1Gain(2);
    RecordingPage& halved = drawFrame(rig);
    EXPECT_EQ(labels(halved, a.YTextColour).front(), "-37");
    // The level labels are placed above their lines (the text height carries the scale's sign).
    EXPECT_GT(halved.texts.front().y, halved.ScaleTop + halved.ScaleHeight);
}

TEST(AnalyserScales, TimeAndLissajousHaveGridAndCentreLineOnly)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.setMode(1);
    RecordingPage& time = drawFrame(rig);
    EXPECT_TRUE(time.texts.empty());
    EXPECT_FLOAT_EQ(time.ScaleTop, 32768.0F);
    EXPECT_FLOAT_EQ(time.ScaleHeight, -65536.0F);

    a.setMode(2);
    RecordingPage& phase = drawFrame(rig);
    EXPECT_TRUE(phase.texts.empty());
    // Square units; the centre line is in the middle of the page, at x = 0.
    EXPECT_NEAR(phase.ScaleWidth / phase.ScaleHeight, -9000.0 / 2680.0, 1e-4);
    const auto centre = phase.strokesIn(0xC0C0);
    ASSERT_EQ(centre.size(), 1U);
    EXPECT_NEAR(centre[0].x1, 0.0, 1e-2);
    // The figure takes the colour the graticule leaves: green.
    a.TraceBuf1()[0] = 5;
    const auto figure = drawFrame(rig).strokesIn(0xFF00);
    EXPECT_GT(figure.size(), 1000U);
}

TEST(AnalyserScales, AnEmptyRangeGivesAHundredUnitsAcross)
{
    AnalyserRig rig;
    clsSpectrumAnalyser& a = *rig.analyser;
    a.StartBin = 40;
    a.StopBin = 40;
    a.setMode(0);
    EXPECT_FLOAT_EQ(rig.page0.ScaleWidth, 100.0F);
    EXPECT_FLOAT_EQ(rig.page1.ScaleWidth, 100.0F);
    drawFrame(rig);
}
