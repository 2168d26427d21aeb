#pragma once

#include "shell/PerfStats.h"

#include <QObject>

#include <functional>

class QWidget;

namespace orvik {

// The statistics panel's widgets: the values and their colours (lblStatsVal), the S-meter's
// zero tool tip (picSmeter), the automatic notch's centre (lblNotch, sldNotch's tool tip),
// the "LO" value, and stopping tmrPerfStats. The receive chain's share comes through Hooks.
class StatisticsPanel : public QObject {
public:
    struct Hooks {
        std::function<void(float level)> ShowLevelBar;
        // The receive chain's statistics pass (see PerfStatsTimer::Hooks::receiverWork).
        std::function<ReceiverStatistics()> receiverWork;
    };

    StatisticsPanel(QWidget* window, Hooks hooks);

    void tmrPerfStats_Timer(bool PerfStatsOn, const StatsRings& rings, float AGCGain, int32_t OscOut)
    {
        timer_.tmrPerfStats_Timer(PerfStatsOn, rings, AGCGain, OscOut);
    }
    PerfStatsTimer& timer() { return timer_; }

private:
    PerfStatsTimer::Hooks widgetHooks(Hooks hooks);

    QWidget* window_;
    PerfStatsTimer timer_;
};

} // namespace orvik
