#include "common/Format.h"
#include "shell/TuningSteps.h"
#include "tuning/TuningArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orvik;

TEST(TuningArithmetic, RateCaptionNamesTheStepInTheDigitsGroup)
{
    struct Row {
        int digit;
        double step;
        const char* caption;
    };
    const Row rows[] = {
        {4, 90000, "x 9 KHz"},      {0, 100000000, "x 10 MHz"}, {8, 1, "x 1 dHz"},
        {3, 25000, "x 2.5 KHz"},    {6, 500, "x 50 Hz"},        {7, 25, "x 2.5 Hz"},
        {1, 25000000, "x 2 MHz"}, // the MHz group shows whole megahertz only
        {9, 5, "x 5 dHz"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TuningRateCaption(r.digit, r.step), r.caption) << r.digit << " " << r.step;
    EXPECT_TRUE(TuningRateCaption(-1, 1000).isEmpty());
}

TEST(TuningArithmetic, UnitLabelsClearTheirGroupAndKeepTheTenths)
{
    EXPECT_EQ(ClearScaleGroup("142300057", 0), "002300057"); // 230.0057 kHz
    EXPECT_EQ(ClearScaleGroup("142300057", 1), "140000057");
    EXPECT_EQ(ClearScaleGroup("142300057", 2), "142300007"); // 14.2300007 MHz
    EXPECT_EQ(ClearScaleGroup("142300057", 3), "142300057");
    EXPECT_EQ(ClearScaleGroup("42300057", 0), "42300057"); // not a display text: left alone
}

TEST(TuningArithmetic, DisplayTextIsAlwaysNineDigits)
{
    EXPECT_EQ(DisplayText(5000000), "005000000");
    EXPECT_EQ(DisplayText(0), "000000000");
    EXPECT_EQ(DisplayText(-15000), "000000000"); // tuned below the BFO: no sign
    EXPECT_EQ(DisplayText(999999999), "999999999");
    EXPECT_EQ(DisplayText(1350480000), "999999999");
}

TEST(TuningArithmetic, FirstKeyDigitIsTheDigitOfTheRate)
{
    EXPECT_EQ(FirstKeyDigit(0), 8); // no digit hovered yet
    EXPECT_EQ(FirstKeyDigit(1), 8);
    EXPECT_EQ(FirstKeyDigit(10), 7);
    EXPECT_EQ(FirstKeyDigit(1000), 5);
    EXPECT_EQ(FirstKeyDigit(100000000), 0);
    EXPECT_EQ(FirstKeyDigit(2500), 5); // between digits: the nearer one
    EXPECT_EQ(FirstKeyDigit(1e10), 0);
}

TEST(TuningArithmetic, EveryListStepIsShownAsDigitTimesMultiplier)
{
    const TuningStepTable steps = DefaultTuningSteps();
    const int digits[] = {4, 4, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8};
    for (int i = 0; i < 17; ++i) {
        const StepDigit sd = TuningStepDigit(i, steps[static_cast<size_t>(i)]);
        EXPECT_EQ(sd.digit, digits[i]) << i;
        EXPECT_DOUBLE_EQ(DigitWeight(sd.digit) * sd.multiplier, steps[static_cast<size_t>(i)]) << i;
    }
    EXPECT_DOUBLE_EQ(TuningStepDigit(3, 25000).multiplier, 2.5);
}

TEST(TuningArithmetic, DialMovesAcrossTheEndsCountInTheirOwnDirection)
{
    EXPECT_EQ(WrapDialValue(-1, 0, 100), 99);
    EXPECT_EQ(WrapDialValue(101, 0, 100), 1);
    EXPECT_EQ(WrapDialValue(100, 0, 100), 0);
    EXPECT_EQ(WrapDialValue(-250, 0, 100), 50);
    EXPECT_EQ(WrapDialValue(42, 0, 100), 42);

    EXPECT_EQ(DialDelta(5, 0, 0, 100), 5);
    EXPECT_EQ(DialDelta(0, 99, 0, 100), 1);   // over the top going up
    EXPECT_EQ(DialDelta(99, 0, 0, 100), -1);  // and back
    EXPECT_EQ(DialDelta(100, 0, 0, 100), 0);  // the two ends are one position
    EXPECT_EQ(DialDelta(50, 0, 0, 100), 50);
    EXPECT_EQ(DialDelta(51, 0, 0, 100), -49); // past half a turn it is the other way
    EXPECT_EQ(DialDelta(3, 7, 0, 100), -4);
}

TEST(TuningArithmetic, RefreshPeriodRunsFromOneAndAHalfToThreeSeconds)
{
    EXPECT_EQ(VFOUpdateInterval(0.0), 1500);
    EXPECT_EQ(VFOUpdateInterval(0.5), 2250);
    EXPECT_EQ(VFOUpdateInterval(0.9999999), 3000);
}

TEST(Calibration, ClockFromTheOfficialFrequencyAndTheWordInTheChip)
{
    CalibrationInput in;
    in.officialHz = 10000000;
    in.ifHz = 45000000;
    in.hiSideLO = true;
    in.tuningWord = 656000626;
    const auto clock = CalibratedClock(in);
    ASSERT_TRUE(clock);
    EXPECT_NEAR(*clock, 360095999.8, 0.05);
    EXPECT_EQ(Format(*clock, "#0 000 000"), "360 096 000");
}

TEST(Calibration, LowSideBelowTheIfGivesAPositiveClock)
{
    CalibrationInput in;
    in.officialHz = 10000000;
    in.ifHz = 45000000;
    in.hiSideLO = false;
    in.tuningWord = 417454944; // the chip runs at 35 MHz
    const auto clock = CalibratedClock(in);
    ASSERT_TRUE(clock);
    EXPECT_NEAR(*clock, 360095999.6, 0.05);
}

TEST(Calibration, OffsetAndMultiplierEnterTheChipsFrequency)
{
    CalibrationInput in;
    in.officialHz = 10000000;
    in.ifHz = 45000000;
    in.calibOffsetHz = 3;
    in.multiplier = 2;
    in.tuningWord = 1312001264;
    const auto clock = CalibratedClock(in);
    ASSERT_TRUE(clock);
    EXPECT_NEAR(*clock, 4294967296.0 * 110000006.0 / 1312001264.0, 1e-3);
}

TEST(Calibration, NoClockFromAZeroWordOrAZeroOutput)
{
    CalibrationInput in;
    in.officialHz = 10000000;
    in.ifHz = 45000000;
    in.tuningWord = 0; // nothing sent since start
    EXPECT_FALSE(CalibratedClock(in));
    in.tuningWord = 656000626;
    in.officialHz = 45000000;
    in.hiSideLO = false; // the chip would run at 0 Hz
    EXPECT_FALSE(CalibratedClock(in));
}
