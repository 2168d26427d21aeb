#include "tuning/ShaftEncoder.h"

#include "common/Numeric.h"
#include "tuning/clsVFO.h"

#include <algorithm>
#include <cmath>

namespace orvik {

ShaftEncoder::Step ShaftEncoder::Decode(int32_t modemStatus)
{
    EncoderCode = modemStatus;
    // Complemented: bit 0 is CTS off, bit 1 DSR off, so both lines on is state 0.
    EncoderState = (~modemStatus >> 4) & 3;
    if (EncoderState == EncoderPrevious)
        return Step::None;
    EncoderPrevious = (EncoderPrevious * 4) & 12;
    EncoderCode = EncoderPrevious | EncoderState;
    EncoderPrevious = EncoderState;
    switch (EncoderCode) {
    case 1:
    case 7:
    case 8:
    case 14:
        return Step::Down;
    case 2:
    case 4:
    case 11:
    case 13:
        return Step::Up;
    default:
        return Step::None;
    }
}

void ShaftEncoder::InitTuningSpeedHistory()
{
    TuningSpeedHistory.fill(100000 * FixedPointScale);
}

int32_t ShaftEncoder::meanInterval() const
{
    int64_t sum = 0;
    for (size_t i = 0; i < 5; ++i)
        sum += TuningSpeedHistory[i];
    return IntDiv(RoundEven(static_cast<double>(sum) / FixedPointScale), 5);
}

ShaftEncoder::Divisors ShaftEncoder::divisorsFor(int32_t mean)
{
    if (mean >= 0 && mean <= 999)
        return {1, 1};
    if (mean >= 1000 && mean <= 4999)
        return {2, 10};
    if (mean >= 5000 && mean <= 5999)
        return {10, 10};
    if (mean >= 6000 && mean <= 6999)
        return {20, 10};
    if (mean >= 7000 && mean <= 7999)
        return {40, 10};
    if (mean >= 8000 && mean <= 8999)
        return {80, 100};
    if (mean >= 9000 && mean <= 12000)
        return {100, 100};
    return {1000, 1000};
}

void ShaftEncoder::AcceleratedTuneStep(double intervalMicroseconds, clsVFO& vfo)
{
    PulsesPerTurn = 24;
    // Held as the fixed-point type can: a pause of hours stays the largest it can hold.
    constexpr double top = 9.0e14;
    const double scaled = std::clamp(intervalMicroseconds * FixedPointScale, -top, top);
    std::copy_backward(TuningSpeedHistory.begin(), TuningSpeedHistory.end() - 1, TuningSpeedHistory.end());
    TuningSpeedHistory[0] = static_cast<int64_t>(std::llround(scaled));
    LastFormattedFrequency = vfo.FormattedTunedFreq();
    const Divisors d = divisorsFor(meanInterval());
    vfo.setTuneStep(StepBase / d.tuneStep);
    vfo.setTuneStepLSD(StepBase / d.grid);
}

void ShaftEncoder::tmrShaft_Timer(clsVFO& vfo)
{
    if (EncoderUpCount > 0) {
        vfo.StepToGrid(EncoderUpCount * vfo.TuneStep());
        EncoderUpCount = 0;
    }
    if (EncoderDownCount > 0) {
        vfo.StepToGrid(-EncoderDownCount * vfo.TuneStep());
        EncoderDownCount = 0;
    }
}

} // namespace orvik
