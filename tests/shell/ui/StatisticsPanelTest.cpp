#include "app/MainWindowControls.h"
#include "shell/ui/StatisticsPanel.h"
#include "shell/widgets/ControlFactory.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace orvik;

namespace {

QString text(QWidget* window, int i)
{
    return qobject_cast<QLabel*>(controlElement(window, "lblStatsVal", i))->text();
}

} // namespace

TEST(StatisticsPanel, RunWritesTheLabelsTheToolTipsAndStopsItsTimer)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    QTimer* timer = window->findChild<QTimer*>("tmrPerfStats");
    ASSERT_NE(timer, nullptr);
    timer->start(1000);
    QList<float> bars;
    StatisticsPanel::Hooks hooks;
    hooks.ShowLevelBar = [&](float level) { bars << level; };
    hooks.receiverWork = [] {
        ReceiverStatistics chain;
        chain.SMeterLevel = 16;
        chain.SMeterZero = 4;
        chain.SMeterZeroTaken = true;
        chain.NotchFollowsPeak = true;
        chain.PeakFrequency = 1234;
        return chain;
    };
    StatisticsPanel panel(window.get(), hooks);

    std::array<int16_t, StatsRingSize> in{}, out{};
    std::array<int32_t, StatsRingSize> time{};
    in.fill(3000);
    out.fill(100);
    time.fill(40000); // above 90 % of the block period
    panel.tmrPerfStats_Timer(true, {in, out, time}, 2.0f, 71000000);

    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(bars, QList<float>{12.0f});
    EXPECT_EQ(text(window.get(), 0).left(7), "3,000  ");
    EXPECT_EQ(textColour(controlElement(window.get(), "lblStatsVal", 0)), StatsGreen);
    EXPECT_EQ(text(window.get(), 2), "2.00  6.0 dB");
    EXPECT_EQ(text(window.get(), 3), "7 100 000 Hz");
    for (int i : {4, 5})
        EXPECT_EQ(textColour(controlElement(window.get(), "lblStatsVal", i)), StatsRed) << i;
    EXPECT_EQ(controlElement(window.get(), "picSmeter", 1)->toolTip(), "Meter Backoff=12.04 dB");
    EXPECT_EQ(window->findChild<QLabel*>("lblNotch")->text(), "1234");
    EXPECT_FALSE(window->findChild<QWidget*>("sldNotch")->toolTip().isEmpty());

    // With the statistics off the panel keeps its texts; the LO value still follows.
    in.fill(10);
    panel.tmrPerfStats_Timer(false, {in, out, time}, 1.0f, 4550000);
    EXPECT_EQ(text(window.get(), 0).left(7), "3,000  ");
    EXPECT_EQ(text(window.get(), 3), "0 455 000 Hz");
}
