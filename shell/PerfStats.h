#pragma once

#include "common/BlockGeometry.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace orvik {

// Colours of the statistics panel (design colours, red in the low byte).
inline constexpr uint32_t StatsYellow = 0xFFFF;
inline constexpr uint32_t StatsGreen = 0xFF00;
inline constexpr uint32_t StatsRed = 0xFF;

inline constexpr int StatsRingSize = kStatsRingWritten;
inline constexpr double BlockPeriodSeconds = kBlockPeriodSeconds;

// Views of the per-block rings the receive chain fills while the statistics are on.
// The first StatsRingSize entries count; missing entries of a shorter view count as 0.
struct StatsRings {
    std::span<const int16_t> InputPeakRing;
    std::span<const int16_t> OutputPeakRing;
    std::span<const int32_t> DSPTimeRing;
};

// What the panel shows; a label whose text is not written keeps its text.
struct StatsPanelText {
    QString value[6];
    bool valueWritten[6] = {};
    uint32_t value0Colour = 0;
    bool value0Coloured = false;
    uint32_t loadColour = 0; // labels 4 and 5
    bool loadColoured = false;
};

// What the receive chain's statistics pass leaves for the display.
struct ReceiverStatistics {
    float SMeterLevel = 0; // already held at least 1.1 above SMeterZero
    float SMeterZero = 0;
    bool SMeterZeroTaken = false;  // this pass took a new zero reference
    bool NotchFollowsPeak = false; // automatic notch: its centre is the peak
    int32_t PeakFrequency = 0;
};

// The statistics timer's handler (tmrPerfStats_Timer) without its widgets. The receive
// chain computes the S-meter, its zero and the slow filter loops; this shows the level
// bar, the zero's tool tip, the panel, the automatic notch's centre and the "LO" value.
class PerfStatsTimer {
public:
    struct Hooks {
        std::function<void()> stopTimer;
        std::function<void(float level)> ShowLevelBar;
        std::function<void(const QString& toolTip)> setSMeterToolTip;
        std::function<void(const StatsPanelText&)> showPanel;
        // The receive chain's pass: S-meter and zero, yield, filter rebuild, dynamic
        // filter, automatic notch.
        std::function<ReceiverStatistics()> receiverWork;
        std::function<void(const QString& caption, const QString& toolTip)> showNotchCentre;
        std::function<void(const QString&)> showOscillator;
    };

    explicit PerfStatsTimer(Hooks hooks) : hooks_(std::move(hooks)) {}

    void tmrPerfStats_Timer(bool PerfStatsOn, const StatsRings& rings, float AGCGain, int32_t OscOut);

    bool StatsBusy = false;

private:
    Hooks hooks_;
};

// The figures of the statistics panel, computed from the rings.
StatsPanelText StatsPanelFigures(const StatsRings& rings, float AGCGain);
// Colour of the mean input peak: yellow up to 2047, green from 2048 to 16383, red otherwise.
uint32_t InputPeakColour(float peakMean);
// The "LO" value: the oscillator frequency (tenths of a hertz) in hertz.
QString OscillatorText(int32_t oscOutTenthsHz);

} // namespace orvik
