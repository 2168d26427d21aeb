#include "shell/PerfStats.h"

#include "common/Format.h"
#include "common/ReentryGuard.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <algorithm>

namespace orvik {

using vectorlib::Sum_Int16_1;
using vectorlib::Sum_Int32_1;

namespace {

QString fmt(double x, const char* picture) { return QString::fromStdString(Format(x, picture)); }

int32_t ringCount(size_t size) { return static_cast<int32_t>(std::min<size_t>(size, StatsRingSize)); }

float meanOf(std::span<const int16_t> ring)
{
    return static_cast<float>(Sum_Int16_1(ring.data(), ringCount(ring.size()))) / static_cast<float>(StatsRingSize);
}

QString peakText(float mean)
{
    return fmt(mean, "##,##0  ") + fmt(20.0 * ORVIK::Log10(mean / 32767.0), "###,##0 dB");
}

} // namespace

uint32_t InputPeakColour(float peakMean)
{
    if (peakMean >= 0 && peakMean <= 2047)
        return StatsYellow;
    if (peakMean >= 2048 && peakMean <= 16383)
        return StatsGreen;
    return StatsRed;
}

StatsPanelText StatsPanelFigures(const StatsRings& rings, float AGCGain)
{
    StatsPanelText out;
    const float inMean = meanOf(rings.InputPeakRing);
    out.value[0] = peakText(inMean);
    out.valueWritten[0] = true;
    out.value0Colour = InputPeakColour(inMean);
    out.value0Coloured = true;

    out.value[1] = peakText(meanOf(rings.OutputPeakRing));
    out.valueWritten[1] = true;

    out.value[2] = fmt(AGCGain, "#0.00  ") + fmt(20.0 * ORVIK::Log10(AGCGain), "#0.0 dB");
    out.valueWritten[2] = true;

    const float dspTimeMean = Sum_Int32_1(rings.DSPTimeRing.data(), ringCount(rings.DSPTimeRing.size())) / static_cast<float>(StatsRingSize);
    const float dspLoad = static_cast<float>(dspTimeMean / 1000000.0 / BlockPeriodSeconds);
    out.value[4] = fmt(dspLoad, "#0%");
    out.valueWritten[4] = true;
    out.value[5] = fmt(dspTimeMean, "#,##0 uS");
    out.valueWritten[5] = true;
    out.loadColour = dspLoad < 0.9f ? StatsGreen : StatsRed;
    out.loadColoured = true;
    return out;
}

void PerfStatsTimer::tmrPerfStats_Timer(bool PerfStatsOn, const StatsRings& rings, float AGCGain, int32_t OscOut)
{
    if (hooks_.stopTimer)
        hooks_.stopTimer();
    ReentryGuard guard(StatsBusy);
    if (guard.reentered())
        return;

    if (PerfStatsOn && hooks_.showPanel)
        hooks_.showPanel(StatsPanelFigures(rings, AGCGain));
    const ReceiverStatistics chain = hooks_.receiverWork ? hooks_.receiverWork() : ReceiverStatistics{};
    if (chain.SMeterZeroTaken && hooks_.setSMeterToolTip)
        hooks_.setSMeterToolTip(QStringLiteral("Meter Backoff=") + fmt(20.0 * ORVIK::Log10(chain.SMeterZero), "#0.00 dB"));
    if (hooks_.ShowLevelBar)
        hooks_.ShowLevelBar(chain.SMeterLevel - chain.SMeterZero);
    if (chain.NotchFollowsPeak && hooks_.showNotchCentre)
        hooks_.showNotchCentre(fmt(chain.PeakFrequency, "###0"),
                               QStringLiteral("Fcentre : ") + fmt(chain.PeakFrequency, "#,###0 Hz"));
    if (hooks_.showOscillator)
        hooks_.showOscillator(OscillatorText(OscOut));
}

QString OscillatorText(int32_t oscOutTenthsHz) { return fmt(oscOutTenthsHz / 10.0, "#0 000 000 Hz"); }

} // namespace orvik
