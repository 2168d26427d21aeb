#include "shell/PerfStats.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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

namespace {

// Rings as the receive chain keeps them: one slot more than the statistics read.
struct Rings {
    std::array<int16_t, StatsRingSize + 1> in{}, out{};
    std::array<int32_t, StatsRingSize + 1> time{};
    StatsRings view() const { return {in, out, time}; }
};

} // namespace

TEST(PerfStats, PanelShowsMeansOfTheRings)
{
    Rings rings;
    rings.in.fill(2047);
    rings.out.fill(16383);
    rings.time.fill(10000);
    rings.in.back() = rings.out.back() = 32767; // the spare slot takes no part
    rings.time.back() = 1000000;
    const StatsPanelText t = StatsPanelFigures(rings.view(), 2.0f);
    EXPECT_EQ(t.value[0], "2,047  -24 dB");
    EXPECT_EQ(t.value0Colour, StatsYellow);
    EXPECT_EQ(t.value[1], "16,383  -6 dB");
    EXPECT_EQ(t.value[2], "2.00  6.0 dB");
    EXPECT_EQ(t.value[4], "23%");
    EXPECT_EQ(t.value[5], "10,000 uS");
    EXPECT_EQ(t.loadColour, StatsGreen);
    EXPECT_FALSE(t.valueWritten[3]);

    Rings busy;
    busy.time.fill(40000); // 94 % of a block
    const StatsPanelText b = StatsPanelFigures(busy.view(), 0.0f);
    EXPECT_EQ(b.value[4], "94%");
    EXPECT_EQ(b.loadColour, StatsRed);
    EXPECT_EQ(b.value[0], "0  0 dB"); // log of 0 reads 0

    // A short ring counts as zeros, never read past its end.
    const std::array<int16_t, 1> one{4700};
    const StatsPanelText s = StatsPanelFigures({one, one, {}}, 1.0f);
    EXPECT_EQ(s.value[0].left(5), "100  ");
    EXPECT_EQ(s.value[5], "0 uS");
}

TEST(PerfStats, BusyRunOnlySwitchesTheTimerOff)
{
    int stops = 0, other = 0;
    PerfStatsTimer::Hooks hooks;
    hooks.stopTimer = [&] { ++stops; };
    hooks.ShowLevelBar = [&](float) { ++other; };
    hooks.receiverWork = [&] {
        ++other;
        return ReceiverStatistics{};
    };
    hooks.showOscillator = [&](const QString&) { ++other; };
    PerfStatsTimer timer(hooks);
    timer.StatsBusy = true;
    timer.tmrPerfStats_Timer(true, Rings{}.view(), 1, 0);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(other, 0);
    EXPECT_TRUE(timer.StatsBusy);
}

// The chain computes the level and its zero; the timer shows what the chain left.
TEST(PerfStats, ShowsTheChainsLevelAboveItsZero)
{
    std::vector<float> bars;
    QString tip, lo, notchCaption, notchTip;
    int panels = 0, receiver = 0;
    ReceiverStatistics chain;
    PerfStatsTimer::Hooks hooks;
    hooks.ShowLevelBar = [&](float level) { bars.push_back(level); };
    hooks.setSMeterToolTip = [&](const QString& t) { tip = t; };
    hooks.showPanel = [&](const StatsPanelText&) { ++panels; };
    hooks.receiverWork = [&] {
        ++receiver;
        return chain;
    };
    hooks.showNotchCentre = [&](const QString& caption, const QString& t) {
        notchCaption = caption;
        notchTip = t;
    };
    hooks.showOscillator = [&](const QString& t) { lo = t; };
    PerfStatsTimer timer(hooks);
    const Rings rings;

    chain.SMeterLevel = 100;
    timer.tmrPerfStats_Timer(false, rings.view(), 1, 71000000);
    EXPECT_FLOAT_EQ(bars.back(), 100.0f);
    EXPECT_EQ(lo, "7 100 000 Hz");
    EXPECT_TRUE(tip.isEmpty());

    chain = {5.1f, 4.0f, true, false, 0};
    timer.tmrPerfStats_Timer(false, rings.view(), 1, 4550000);
    EXPECT_EQ(tip, "Meter Backoff=12.04 dB");
    EXPECT_NEAR(bars.back(), 1.1f, 1e-6);
    EXPECT_EQ(lo, "0 455 000 Hz");

    chain = {20.0f, 4.0f, false, true, 1234};
    tip.clear();
    timer.tmrPerfStats_Timer(true, rings.view(), 1, 0);
    EXPECT_FLOAT_EQ(bars.back(), 16.0f);
    EXPECT_TRUE(tip.isEmpty()); // the tool tip changes only when a zero is taken
    EXPECT_EQ(notchCaption, "1234");
    EXPECT_EQ(notchTip, "Fcentre : 1,234 Hz");
    EXPECT_EQ(panels, 1);    // only the run with the statistics on
    EXPECT_EQ(receiver, 3);  // the receive chain's loops run either way
    EXPECT_FALSE(timer.StatsBusy);
}
