#include "shell/CtlArray.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct FakeLabel : AdjusterLabel {
    QString caption;
    uint32_t colour = 0xDEAD;
    bool border = false;
    void SetCaption(const QString& c) override { caption = c; }
    QString Caption() const override { return caption; }
    void SetForeColour(uint32_t c) override { colour = c; }
    void SetBorder(bool b) override { border = b; }
};

} // namespace

TEST(CtlArray, DefineKeepsTheColoursTheSchemeGave)
{
    CtlArray ctl;
    ctl[14].FocusColour = 0xFF;
    ctl[14].NormalColour = 0xBFBF00;
    ctl[14].Locked = true;
    ctl[14].StepText = "left over";
    ctl.Define(14, nullptr, {});
    EXPECT_EQ(ctl[14].FocusColour, 0xFFu);
    EXPECT_EQ(ctl[14].NormalColour, 0xBFBF00u);
    EXPECT_FALSE(ctl[14].Locked);
    EXPECT_TRUE(ctl[14].StepText.isEmpty());
    EXPECT_LT(ctl[14].Default, ctl[14].Min); // the decay default lies below its minimum
    for (int id = 1; id <= 22; ++id)
        EXPECT_NE(CtlArray::definition(id), nullptr) << id;
    EXPECT_EQ(CtlArray::definition(0), nullptr);
    EXPECT_EQ(CtlArray::definition(23), nullptr);
}

TEST(CtlArray, StepsClampOnlyInTheirDirectionAndAlwaysApply)
{
    CtlArray ctl;
    FakeLabel gain, shift;
    int applied = 0;
    ctl.Define(2, &gain, [&] { ++applied; });
    ctl.Define(3, &shift, [&] { ++applied; });

    ctl[2].Value = 98.95f;
    ctl.StepUp(2, ctl[2].ShiftStep);
    EXPECT_EQ(ctl[2].Value, 99.0f);
    EXPECT_EQ(gain.caption, "99.0");

    ctl[3].Value = -100;
    ctl.StepDown(3, ctl[3].Step);
    EXPECT_EQ(ctl[3].Value, -100.0f);
    EXPECT_EQ(shift.caption, "-100");
    EXPECT_EQ(applied, 2);

    // A value below Min is left alone by a step up.
    ctl.Define(14, nullptr, {});
    ctl.StepUp(14, 1);
    EXPECT_EQ(ctl[14].Value, 6.0f);
}

TEST(CtlArray, CaptionFollowsShowValueButTheWriteDoesNot)
{
    CtlArray ctl;
    FakeLabel vol;
    ctl.Define(10, &vol, {});
    vol.caption = "unchanged";
    ctl[10].Value = -2500;
    ctl.UpdateCaption(10);
    EXPECT_EQ(vol.caption, "unchanged");
    ctl.WriteCaption(10);
    EXPECT_EQ(vol.caption, "-2500.0");
}

TEST(CtlArray, ActivationSkipsDisabledAndDeactivationUsesTheNormalColour)
{
    CtlArray ctl;
    FakeLabel notch, bfo, filter;
    ctl.Define(11, &notch, {});
    ctl.Define(20, &bfo, {});
    ctl.Define(7, &filter, {});
    for (int id : {7, 11, 20}) {
        ctl[id].FocusColour = 0xFF;
        ctl[id].NormalColour = 0xBFBF00;
    }
    ctl.TuningColour = 0x00FF00;
    int focusMoves = 0;
    ctl.focusSink = [&] { ++focusMoves; };

    int16_t id = 7;
    ctl.ActivateAdjuster(id);
    EXPECT_EQ(ctl.ActiveAdjuster, 7);
    EXPECT_EQ(filter.colour, 0xFFu);
    EXPECT_FALSE(filter.border);

    id = 11; // disabled at start: the notch is off
    ctl.ActivateAdjuster(id);
    EXPECT_EQ(ctl.ActiveAdjuster, 7);
    EXPECT_EQ(notch.colour, 0xDEADu);

    ctl.HiLiteBorder = true;
    id = 20;
    ctl.ActivateAdjuster(id);
    EXPECT_TRUE(bfo.border);
    ctl.DeactivateAdjuster();
    EXPECT_EQ(ctl.ActiveAdjuster, 0);
    EXPECT_EQ(bfo.colour, 0x00FF00u); // the BFO label returns to the tuning colour
    EXPECT_FALSE(bfo.border);

    id = -1; // "the one recorded as active"
    ctl.ActiveAdjuster = 0;
    ctl.ActivateAdjuster(id);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(focusMoves, 3); // 7, 20 and the empty record 0
}
