#include "tuning/TuningArithmetic.h"

#include "common/Numeric.h"
#include "dsp/ORVIK.h"

#include <algorithm>
#include <cmath>

namespace orvik {

double DigitWeight(int digit)
{
    return std::pow(10.0, 8 - digit);
}

QString TuningRateCaption(int digit, double tuneStep)
{
    auto text = [](double v) { return QString::fromStdString(NumberToText(v)); };
    if (digit < 0)
        return {};
    if (digit <= 1)
        return QStringLiteral("x ") + text(Int(tuneStep / 10000000.0)) + QStringLiteral(" MHz");
    if (digit <= 4)
        return QStringLiteral("x ") + text(tuneStep / 10000.0) + QStringLiteral(" KHz");
    if (digit <= 7)
        return QStringLiteral("x ") + text(tuneStep / 10.0) + QStringLiteral(" Hz");
    return QStringLiteral("x ") + text(tuneStep) + QStringLiteral(" dHz");
}

QString DisplayText(int64_t tenthsHz)
{
    const int64_t shown = std::clamp<int64_t>(tenthsHz, 0, DisplayMaximum);
    return QStringLiteral("%1").arg(shown, DisplayDigitCount, 10, QLatin1Char('0'));
}

QString ClearScaleGroup(const QString& nineDigits, int index)
{
    QString text = nineDigits;
    if (text.size() != DisplayDigitCount)
        return text;
    switch (index) {
    case 0:
        text.replace(0, 2, QStringLiteral("00"));
        break;
    case 1:
        text.replace(2, 3, QStringLiteral("000"));
        break;
    case 2:
        text.replace(5, 3, QStringLiteral("000"));
        break;
    default:
        break;
    }
    return text;
}

int FirstKeyDigit(double tuneRate)
{
    return std::clamp(RoundEven(8 - ORVIK::Log10(tuneRate)), 0, DisplayDigitCount - 1);
}

StepDigit TuningStepDigit(int index, int32_t step)
{
    const double s = step;
    if (index <= 4)
        return {4, s / 10000};
    if (index <= 7)
        return {5, s / 1000};
    if (index <= 10)
        return {6, s / 100};
    if (index <= 13)
        return {7, s / 10};
    return {8, s};
}

int WrapDialValue(int value, int minimum, int maximum)
{
    const int period = maximum - minimum;
    if (period <= 0)
        return minimum;
    int offset = (value - minimum) % period;
    if (offset < 0)
        offset += period;
    return minimum + offset;
}

int DialDelta(int value, int last, int minimum, int maximum)
{
    const int period = maximum - minimum;
    if (period <= 0)
        return value - last;
    int delta = (value - last) % period;
    if (delta < 0)
        delta += period;
    // Now 0 .. period-1; the far half is a move the other way.
    if (delta > period / 2)
        delta -= period;
    return delta;
}

int VFOUpdateInterval(double r)
{
    return RoundEven(r * 1500 + 1500);
}

std::optional<double> CalibratedClock(const CalibrationInput& in)
{
    if (in.tuningWord == 0)
        return std::nullopt;
    const double side = in.hiSideLO ? in.ifHz : -static_cast<double>(in.ifHz);
    const double output = std::fabs((static_cast<double>(in.officialHz) + side + in.calibOffsetHz) * in.multiplier);
    if (output == 0)
        return std::nullopt;
    // The word is the chip's unsigned phase increment.
    const double word = static_cast<uint32_t>(in.tuningWord);
    return 4294967296.0 * output / word;
}

} // namespace orvik
