#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace orvik {

// The frequency display has nine digits of 0.1 Hz: digit 0 is 10 MHz, digit 8 is 0.1 Hz.
inline constexpr int DisplayDigitCount = 9;
inline constexpr int32_t DisplayMaximum = 999999999;

// 10^(8 - digit), the weight of a display digit in 0.1 Hz.
double DigitWeight(int digit);

// The rate label's caption for a digit and the VFO's step; empty for a digit below 0
// (the caption then stays as it was).
QString TuningRateCaption(int digit, double tuneStep);

// The nine-character text the display shows for a frequency in 0.1 Hz. Values below 0
// show as 0 and values above the display's range as its top, so the text never carries
// a sign or a tenth character.
QString DisplayText(int64_t tenthsHz);

// The display text with one unit group set to zeros: 0 the MHz digits (characters 1-2),
// 1 the kHz digits (3-5), 2 the Hz digits (6-8); the tenths digit stays. Any other
// index leaves the text.
QString ClearScaleGroup(const QString& nineDigits, int index);

// The digit the keyboard starts on: the one whose weight is the rate, 8 for a rate of 0.
int FirstKeyDigit(double tuneRate);

// Digit and multiplier that show tuning step index 0..16 on the display.
struct StepDigit {
    int digit;
    double multiplier;
};
StepDigit TuningStepDigit(int index, int32_t step);

// A dial position written by the program wraps round the range, as a turned knob does.
int WrapDialValue(int value, int minimum, int maximum);
// The shortest signed move from last to value on a dial whose ends meet, so a step
// across the ends counts as one position in its own direction.
int DialDelta(int value, int last, int minimum, int maximum);

// The periodic refresh's next interval in ms, for a uniform r in [0, 1): 1500 to 3000.
int VFOUpdateInterval(double r);

// The clock at which the chip's present tuning word produces exactly the official
// frequency. The chip's output is |(official +/- IF + calibration offset) x multiplier|
// (IF added when the oscillator is above the signal). No result for a tuning word of
// 0 or an output of 0.
struct CalibrationInput {
    int32_t officialHz = 0;
    int32_t ifHz = 0;
    bool hiSideLO = true;
    int32_t calibOffsetHz = 0;
    int32_t multiplier = 1;
    int32_t tuningWord = 0;
};
std::optional<double> CalibratedClock(const CalibrationInput& in);

} // namespace orvik
