#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace orvik {

// Colours of the statistics panel (design colours, red in the low byte).
inline constexpr uint32_t StatsYellow = 0xFFFF;
inline constexpr uint32_t StatsGreen = 0xFF00;
inline constexpr uint32_t StatsRed = 0xFF;

inline constexpr int StatsRingSize = 47;
inline constexpr double BlockPeriodSeconds = 2048.0 / 48000.0;

// The per-block rings the sound handler fills while the statistics are on.
struct StatsRings {
    std::array<int16_t, StatsRingSize> InputPeakRing{};
    std::array<int16_t, StatsRingSize> OutputPeakRing{};
    std::array<int32_t, StatsRingSize> DSPTimeRing{};
    int InputPeakIndex = 0;
    int OutputPeakIndex = 0;
    int DSPTimeIndex = 0;

    void record(int16_t inputPeak, int16_t outputPeak, int32_t dspMicroseconds);
};

// What one statistics run shows; empty optional texts leave the control as it is.
struct StatsPanelText {
    QString value[6];
    bool valueWritten[6] = {};
    uint32_t value0Colour = 0;
    bool value0Coloured = false;
    uint32_t loadColour = 0; // labels 4 and 5
    bool loadColoured = false;
    QString sMeterToolTip;
    bool sMeterToolTipWritten = false;
    QString notchCaption;
    QString notchToolTip;
    bool notchWritten = false;
};

// The statistics timer's handler (tmrPerfStats_Timer) without its widgets: the S-meter
// bar, the panel, the receive chain's slow loops (handed in) and the "LO" value.
class PerfStatsTimer {
public:
    struct Hooks {
        std::function<void()> stopTimer;
        std::function<void(float level)> ShowLevelBar;
        std::function<void(const QString& toolTip)> setSMeterToolTip;
        std::function<void(const StatsPanelText&)> showPanel;
        // The receive chain's part: yield, filter rebuild, dynamic filter, automatic notch.
        std::function<void()> receiverWork;
        std::function<void(const QString&)> showOscillator;
    };

    explicit PerfStatsTimer(Hooks hooks) : hooks_(std::move(hooks)) {}

    void tmrPerfStats_Timer(const std::array<float, 4>& SMeterHistory, bool PerfStatsOn, const StatsRings& rings,
                            float AGCGain, int32_t OscOut);
    void cmdCalibrateSMeter_Click()
    {
        if (!SMeterZeroRequested)
            SMeterZeroRequested = true;
    }

    bool StatsBusy = false;
    float SMeterLevel = 0;
    float SMeterZero = 0;
    bool SMeterZeroRequested = false;

private:
    Hooks hooks_;
};

// The figures of the statistics panel, computed from the rings.
StatsPanelText StatsPanelFigures(const StatsRings& rings, float AGCGain);
// Colour of the mean input peak: yellow up to 2047, green from 2048 to 16383, red otherwise.
uint32_t InputPeakColour(float peakMean);
// The "LO" value: the oscillator frequency (tenths of a hertz) in hertz.
QString OscillatorText(int32_t oscOutTenthsHz);
// The clock: UTC "HH:MM:SS".
QString UtcClockText();

} // namespace orvik
