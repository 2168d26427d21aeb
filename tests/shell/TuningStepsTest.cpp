#include "shell/TuningSteps.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(TuningSteps, ListTextsAlignTheUnits)
{
    const QStringList expected = {" 10 KHz", "  9 KHz", "  5 KHz", "2.5 KHz", "  1 KHz", "500 Hz",
                                  "250 Hz",  "100 Hz",  " 50 Hz",  " 25 Hz",  " 10 Hz",  "  5 Hz",
                                  "2.5 Hz",  "  1 Hz",  "  5 dHz", "  2 dHz", "  1 dHz"};
    EXPECT_EQ(TuningStepListTexts(DefaultTuningSteps()), expected);
}

TEST(TuningSteps, BoundariesAndOddValues)
{
    EXPECT_EQ(TuningStepText(10000), "  1 KHz");  // 10000 is in the kilohertz branch
    EXPECT_EQ(TuningStepText(10), "  1 Hz");      // 10 is in the hertz branch
    EXPECT_EQ(TuningStepText(0), "  0 dHz");
    EXPECT_EQ(TuningStepText(125), "12.5 Hz");
    EXPECT_EQ(TuningStepText(200000), "200000");  // no unit, not aligned
    EXPECT_EQ(TuningStepText(-5), "-5");
}

TEST(TuningSteps, SelectionFindsTheFirstEqualStep)
{
    const TuningStepTable steps = DefaultTuningSteps();
    EXPECT_EQ(TuningStepIndex(steps, 1000), 7);
    EXPECT_EQ(TuningStepIndex(steps, 100000), 0);
    EXPECT_EQ(TuningStepIndex(steps, 1), 16);
    EXPECT_EQ(TuningStepIndex(steps, 333), -1);
}
