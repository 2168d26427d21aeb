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

namespace {

// Every labelled record built with a fake label and an apply counter, as start-up builds them.
struct Table {
    CtlArray ctl;
    FakeLabel labels[CtlArray::Size];
    int applied[CtlArray::Size] = {};

    Table()
    {
        for (int id = 1; id <= 22; ++id)
            ctl.Define(id, CtlArray::hasLabel(id) ? &labels[id] : nullptr, [this, id] { ++applied[id]; });
        for (int id = 0; id < CtlArray::Size; ++id) {
            ctl[id].FocusColour = 0xFF;
            ctl[id].NormalColour = 0xBFBF00;
        }
        ctl.TuningColour = 0xBFBF00;
    }
    void activate(int16_t id)
    {
        ctl.DarkenAll();
        ctl.ActivateAdjuster(id);
    }
};

constexpr int16_t Shift = orvik::ShiftDown;
constexpr int16_t Ctrl = orvik::CtrlDown;

} // namespace

TEST(CtlArrayKeys, StepSizeFollowsTheModifiersAndShiftWins)
{
    struct Case {
        int16_t key;
        int16_t shift;
        float expected;
    };
    const Case table[] = {
        {CtlArray::KeyUp, 0, 1.1f},       {CtlArray::KeyA, 0, 1.1f},        {CtlArray::KeyUp, Ctrl, 1.01f},
        {CtlArray::KeyUp, Shift, 2.0f},   {CtlArray::KeyUp, Shift | Ctrl, 2.0f}, {CtlArray::KeyDown, 0, 0.9f},
        {CtlArray::KeyZ, Ctrl, 0.99f},    {CtlArray::KeyZ, Shift | Ctrl, 0.0f},
    };
    for (const Case& c : table) {
        Table t;
        t.activate(2);
        t.ctl.Form_KeyDown(c.key, c.shift);
        EXPECT_FLOAT_EQ(t.ctl[2].Value, c.expected) << c.key << " " << c.shift;
        EXPECT_EQ(t.applied[2], 1);
        EXPECT_EQ(t.labels[2].caption, AdjusterCaption(t.ctl[2]));
    }

    Table t;
    t.activate(2);
    t.ctl.Form_KeyDown(81, 0); // "Q": not one of the keys
    EXPECT_EQ(t.ctl[2].Value, 1.0f);
    EXPECT_EQ(t.applied[2], 0);
}

TEST(CtlArrayKeys, SpaceResetsAndReloadsTheFilterEdgeFirst)
{
    Table t;
    t.ctl.hooks.mainFilterEdge = [](int id) { return id == 7 ? 3000.0f : 300.0f; };
    t.activate(7);
    t.ctl[7].Value = 1234;
    t.ctl.Form_KeyDown(CtlArray::KeySpace, 0);
    EXPECT_EQ(t.ctl[7].Default, 3000.0f);
    EXPECT_EQ(t.ctl[7].Value, 3000.0f);
    EXPECT_EQ(t.labels[7].caption, "3000");
    t.activate(8);
    t.ctl.Form_KeyDown(CtlArray::KeySpace, 0);
    EXPECT_EQ(t.ctl[8].Value, 300.0f);

    t.activate(9);
    t.ctl[9].Value = 4321;
    t.ctl.Form_KeyDown(CtlArray::KeySpace, 0);
    EXPECT_EQ(t.ctl[9].Value, 0.0f);
    EXPECT_EQ(t.applied[9], 1);
}

TEST(CtlArrayKeys, LeftAndRightWalkIdsOneToTwenty)
{
    struct Case {
        int16_t from;
        int16_t key;
        int16_t to;
    };
    const Case table[] = {{2, CtlArray::KeyLeft, 1},   {0, CtlArray::KeyLeft, 20}, {20, CtlArray::KeyRight, 1},
                          {1, CtlArray::KeyLeft, 1},   {1, CtlArray::KeyRight, 1}, {10, CtlArray::KeyRight, 11},
                          {21, CtlArray::KeyRight, 1}, {16, CtlArray::KeyRight, 17}};
    for (const Case& c : table) {
        Table t;
        t.ctl.ActiveAdjuster = c.from;
        const bool labelled = CtlArray::hasLabel(c.from);
        if (labelled)
            t.labels[c.from].colour = 0xFF; // lit
        t.ctl.Form_KeyDown(c.key, 0);
        EXPECT_EQ(t.ctl.ActiveAdjuster, c.to) << c.from;
        if (labelled && c.from != c.to) {
            EXPECT_EQ(t.labels[c.from].colour, 0xBFBF00u) << c.from; // the one left goes dark
        }
    }

    // Onto the notch centre while the notch is off: recorded, not lit, but the keys still step it.
    Table t;
    t.activate(10);
    t.ctl.Form_KeyDown(CtlArray::KeyRight, 0);
    EXPECT_EQ(t.ctl.ActiveAdjuster, 11);
    EXPECT_EQ(t.labels[11].colour, 0xBFBF00u);
    t.ctl.Form_KeyDown(CtlArray::KeyUp, 0);
    EXPECT_EQ(t.ctl[11].Value, 1010.0f);
    EXPECT_EQ(t.applied[11], 1);
}

TEST(CtlArrayKeys, AdjustersWithoutALabelIgnoreTheSteppingKeys)
{
    for (int16_t id : {int16_t(1), CtlArray::PicScopeIndex}) {
        Table t;
        t.ctl[id].LastWheelMsg.wParam = 120 * 65536; // a forward turn before
        t.ctl.ActiveAdjuster = id;
        for (int16_t key : {CtlArray::KeyUp, CtlArray::KeyDown, CtlArray::KeySpace, CtlArray::KeyA, CtlArray::KeyZ})
            t.ctl.Form_KeyDown(key, 0);
        EXPECT_EQ(t.applied[id], 0) << id;
        EXPECT_EQ(t.ctl.ActiveAdjuster, id);
    }
}

TEST(CtlArrayMouse, RightButtonResetsEachLabelItsOwnWay)
{
    struct Case {
        int id;
        float expected;
        bool captionWritten;
    };
    // Start values away from the defaults; edges from the hooks below.
    const Case table[] = {{2, 1, true},     {3, 0, true},        {5, 0, true},         {20, 0, true},
                          {22, 100, true},  {6, 1023, false},    {10, 0, false},       {11, 1000, false},
                          {12, 100, false}, {19, 0, false},      {7, 2300, true},      {8, 300, true},
                          {17, 6000, true}, {18, 0, true},       {9, 0, false},        {13, 5, true},
                          {14, 5, true},    {15, 511, false}};
    for (const Case& c : table) {
        Table t;
        t.ctl.hooks.mainFilterEdge = [](int id) { return id == 7 ? 2300.0f : 300.0f; };
        t.ctl.hooks.ifFilterEdge = [](int id) { return std::optional<float>(id == 17 ? 6000.0f : 0.0f); };
        t.ctl[c.id].Value = 77;
        t.labels[c.id].caption = "before";
        t.ctl.LabelMouseDown(c.id, orvik::RightButton);
        EXPECT_EQ(t.ctl[c.id].Value, c.expected) << c.id;
        EXPECT_EQ(t.applied[c.id], 1) << c.id;
        EXPECT_EQ(t.labels[c.id].caption != "before", c.captionWritten) << c.id;
        // The decay's default of 5 stays below its minimum of 10.
    }
}

TEST(CtlArrayMouse, OtherButtonsResetOnlyTheScopeCentre)
{
    Table t;
    for (int id = 2; id <= 22; ++id)
        t.ctl[id].Value = 77;
    for (int id = 2; id <= 22; ++id)
        t.ctl.LabelMouseDown(id, 4); // middle
    for (int id = 2; id <= 22; ++id) {
        if (id == 16)
            continue;
        EXPECT_EQ(t.ctl[id].Value, id == 15 ? 511.0f : 77.0f) << id;
        EXPECT_EQ(t.applied[id], id == 15 ? 1 : 0) << id;
    }

    // The left button on the attack label records it as active and does nothing else.
    t.ctl[13].Disabled = true;
    t.ctl.LabelMouseDown(13, orvik::LeftButton);
    EXPECT_EQ(t.ctl.ActiveAdjuster, 13);
    EXPECT_EQ(t.labels[13].colour, 0xDEADu);
    EXPECT_EQ(t.ctl[13].Value, 77.0f);
}

TEST(CtlArrayMouse, ResetsFallBackWhereTheirRowsOrDefaultsGiveNothing)
{
    Table t;
    // Without a receiver side, the filter edges are the defaults; DRM has no IF row.
    t.ctl.hooks.ifFilterEdge = [](int) { return std::optional<float>(); };
    t.ctl[17].Value = 10;
    t.ctl.LabelMouseDown(17, orvik::RightButton);
    EXPECT_EQ(t.ctl[17].Value, 6000.0f);
    t.ctl[7].Default = 2000;
    t.ctl.LabelMouseDown(7, orvik::RightButton);
    EXPECT_EQ(t.ctl[7].Value, 2000.0f);

    // An AGC default of 0 or less becomes the middle of the range first.
    t.ctl[13].Default = 0;
    t.ctl.LabelMouseDown(13, orvik::RightButton);
    EXPECT_EQ(t.ctl[13].Default, 47.5f);
    EXPECT_EQ(t.ctl[13].Value, 47.5f);

    // The noise blanker's slider follows its reset, as a whole number.
    int slider = -1;
    t.ctl.hooks.positionNoiseBlankerSlider = [&](int position) { slider = position; };
    t.ctl[9].Default = 2.5f;
    t.ctl.LabelMouseDown(9, orvik::RightButton);
    EXPECT_EQ(slider, 2);
    EXPECT_EQ(t.ctl[9].Value, 2.5f);
}
