#include "shell/PerfStats.h"


#include <gtest/gtest.h>

using namespace orvik;

TEST(PerfStats, InputPeakColourBands)
{
    struct Case {
        float mean;
        uint32_t colour;
    } cases[] = {{0, StatsYellow},     {2047, StatsYellow}, {2047.5f, StatsRed}, {2048, StatsGreen},
                 {16383, StatsGreen}, {16383.5f, StatsRed}, {-1, StatsRed},      {32767, StatsRed}};
    for (const Case& c : cases)
        EXPECT_EQ(InputPeakColour(c.mean), c.colour) << c.mean;
}

TEST(PerfStats, PanelShowsMeansOfTheRings)
{
    StatsRings rings;
    for (int i = 0; i < StatsRingSize; ++i)
        rings.record(2047, 16383, 10000);
    const StatsPanelText t = StatsPanelFigures(rings, 2.0f);
    EXPECT_EQ(t.value[0], "2,047  -24 dB");
    EXPECT_EQ(t.value0Colour, StatsYellow);
    EXPECT_EQ(t.value[1], "16,383  -6 dB");
    EXPECT_EQ(t.value[2], "2.00  6.0 dB");
    EXPECT_EQ(t.value[4], "23%");
    EXPECT_EQ(t.value[5], "10,000 uS");
    EXPECT_EQ(t.loadColour, StatsGreen);
    EXPECT_FALSE(t.valueWritten[3]);

    StatsRings busy;
    for (int i = 0; i < StatsRingSize; ++i)
        busy.record(0, 0, 40000); // 94 % of a block
    const StatsPanelText b = StatsPanelFigures(busy, 0.0f);
    EXPECT_EQ(b.value[4], "94%");
    EXPECT_EQ(b.loadColour, StatsRed);
    EXPECT_EQ(b.value[0], "0  0 dB"); // log of 0 reads 0
}

TEST(PerfStats, RingsWrapAfterSlot46)
{
    StatsRings rings;
    for (int i = 0; i < StatsRingSize + 2; ++i)
        rings.record(static_cast<int16_t>(i), 0, i);
    EXPECT_EQ(rings.InputPeakIndex, 2);
    EXPECT_EQ(rings.InputPeakRing[0], 47);
    EXPECT_EQ(rings.InputPeakRing[1], 48);
    EXPECT_EQ(rings.DSPTimeRing[46], 46);
}

TEST(PerfStats, BusyRunOnlySwitchesTheTimerOff)
{
    int stops = 0, other = 0;
    PerfStatsTimer::Hooks hooks;
    hooks.stopTimer = [&] { ++stops; };
    hooks.ShowLevelBar = [&](float) { ++other; };
    hooks.receiverWork = [&] { ++other; };
    hooks.showOscillator = [&](const QString&) { ++other; };
    PerfStatsTimer timer(hooks);
    timer.StatsBusy = true;
    timer.tmrPerfStats_Timer({1, 1, 1, 1}, true, StatsRings{}, 1, 0);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(other, 0);
    EXPECT_TRUE(timer.StatsBusy);
}

TEST(PerfStats, ZeroButtonTakesTheCurrentLevelAsReference)
{
    std::vector<float> bars;
    QString tip, lo;
    int panels = 0, receiver = 0;
    PerfStatsTimer::Hooks hooks;
    hooks.ShowLevelBar = [&](float level) { bars.push_back(level); };
    hooks.setSMeterToolTip = [&](const QString& t) { tip = t; };
    hooks.showPanel = [&](const StatsPanelText&) { ++panels; };
    hooks.receiverWork = [&] { ++receiver; };
    hooks.showOscillator = [&](const QString& t) { lo = t; };
    PerfStatsTimer timer(hooks);

    timer.tmrPerfStats_Timer({100, 100, 100, 100}, false, StatsRings{}, 1, 71000000);
    EXPECT_FLOAT_EQ(bars.back(), 100.0f);
    EXPECT_EQ(lo, "7 100 000 Hz");

    timer.cmdCalibrateSMeter_Click();
    timer.tmrPerfStats_Timer({4, 4, 4, 4}, false, StatsRings{}, 1, 4550000);
    EXPECT_FLOAT_EQ(timer.SMeterZero, 4.0f);
    EXPECT_EQ(tip, "Meter Backoff=12.04 dB");
    EXPECT_FALSE(timer.SMeterZeroRequested);
    EXPECT_NEAR(bars.back(), 1.1f, 1e-6); // never shown below the zero plus 1.1
    EXPECT_EQ(lo, "0 455 000 Hz");

    timer.tmrPerfStats_Timer({20, 20, 20, 20}, true, StatsRings{}, 1, 0);
    EXPECT_FLOAT_EQ(bars.back(), 16.0f);
    EXPECT_EQ(panels, 1);    // only the run with the statistics on
    EXPECT_EQ(receiver, 3);  // the receive chain's loops run either way
    EXPECT_FALSE(timer.StatsBusy);
}
