#include "shell/CtlArray.h"
#include "shell/WheelHook.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct TextLabel : AdjusterLabel {
    QString text = "before";
    void SetCaption(const QString& c) override { text = c; }
    QString Caption() const override { return text; }
    void SetForeColour(uint32_t) override {}
    void SetBorder(bool) override {}
};

struct Rig {
    CtlArray ctl;
    WheelHook hook{ctl};
    TextLabel labels[CtlArray::Size];
    int applied[CtlArray::Size] = {};

    Rig()
    {
        for (int id = 1; id <= 22; ++id)
            ctl.Define(id, CtlArray::hasLabel(id) ? &labels[id] : nullptr, [this, id] { ++applied[id]; });
    }
    bool wheel(int delta, bool shift = false, bool ctrl = false)
    {
        WheelMessage msg;
        msg.message = MouseWheelMessage;
        msg.wParam = WheelWParam(delta, shift, ctrl);
        return hook.WheelHookProc(msg);
    }
    bool message(int32_t number)
    {
        WheelMessage msg;
        msg.message = number;
        return hook.WheelHookProc(msg);
    }
};

} // namespace

TEST(WheelHook, OnlyEverySecondWheelMessageStepsOnceWhateverItsDelta)
{
    Rig r;
    r.ctl.ActiveAdjuster = 7;
    EXPECT_TRUE(r.wheel(120));
    EXPECT_EQ(r.ctl[7].Value, 0.0f);
    EXPECT_EQ(r.applied[7], 0);
    EXPECT_TRUE(r.wheel(360));
    EXPECT_EQ(r.ctl[7].Value, 10.0f);
    EXPECT_EQ(r.applied[7], 1);
    EXPECT_EQ(r.ctl[7].LastWheelMsg.wParam, WheelWParam(360, false, false));
    EXPECT_EQ(r.labels[7].text, "10");

    // The parity runs on across adjusters.
    r.wheel(-120);
    r.ctl.ActiveAdjuster = 20;
    r.wheel(-120);
    EXPECT_EQ(r.ctl[20].Value, -20.0f);
    EXPECT_EQ(r.ctl[7].Value, 10.0f);
}

TEST(WheelHook, CtrlWinsOverShiftOnTheWheel)
{
    struct Case {
        bool shift;
        bool ctrl;
        float expected;
        int32_t modifier;
    };
    const Case table[] = {{false, false, 1.1f, 0}, {true, false, 2.0f, 1}, {false, true, 1.01f, 2}, {true, true, 1.01f, 2}};
    for (const Case& c : table) {
        Rig r;
        r.ctl.ActiveAdjuster = 2;
        r.wheel(120, c.shift, c.ctrl);
        r.wheel(120, c.shift, c.ctrl);
        EXPECT_FLOAT_EQ(r.ctl[2].Value, c.expected);
        EXPECT_EQ(r.hook.WheelModifier, c.modifier);
    }
}

TEST(WheelHook, NothingActiveSwallowsTheMessagesAndChangesNothing)
{
    Rig r;
    EXPECT_FALSE(r.message(KeyDownMessage));
    EXPECT_FALSE(r.message(MouseMoveMessage));
    EXPECT_FALSE(r.wheel(120));
    EXPECT_FALSE(r.wheel(120));
    EXPECT_EQ(r.hook.WheelMsgParity, 0);
    EXPECT_TRUE(r.message(513)); // any other message goes on
    for (int id = 1; id <= 22; ++id)
        EXPECT_EQ(r.applied[id], 0);
    EXPECT_FALSE(r.hook.WheelHookBusy);
}

TEST(WheelHook, ADisabledActiveAdjusterPassesEverythingOn)
{
    Rig r;
    r.ctl.ActiveAdjuster = 11; // the notch is off at start
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(r.wheel(120));
    EXPECT_EQ(r.ctl[11].Value, 1000.0f);
    EXPECT_EQ(r.hook.WheelMsgParity, 0);
    EXPECT_TRUE(r.message(KeyDownMessage));
}

TEST(WheelHook, ActiveAdjusterKeysAndMovesArePassedAsTheHookDoes)
{
    Rig r;
    r.ctl.ActiveAdjuster = 3;
    EXPECT_FALSE(r.message(KeyDownMessage)); // the window's key handler still gets the key
    EXPECT_TRUE(r.message(MouseMoveMessage));
    EXPECT_EQ(r.ctl[3].Value, 0.0f);
}

TEST(WheelHook, BackAtTheMinimumStaysAndStillApplies)
{
    Rig r;
    r.ctl.ActiveAdjuster = 10;
    r.ctl[10].Value = -10000;
    r.wheel(-120);
    r.wheel(-120);
    EXPECT_EQ(r.ctl[10].Value, -10000.0f);
    EXPECT_EQ(r.labels[10].text, "before"); // its caption is written by the apply procedure only
    EXPECT_EQ(r.applied[10], 1);
}

TEST(WheelHook, ANestedCallFromAnApplyProcedurePassesStraightOn)
{
    Rig r;
    r.ctl.ActiveAdjuster = 20;
    bool nestedPassed = false;
    r.ctl[20].ApplyProc = [&] {
        // An apply procedure that runs the event loop sees the next wheel message arrive.
        nestedPassed = r.wheel(120);
    };
    r.wheel(120);
    r.wheel(120);
    EXPECT_TRUE(nestedPassed);
    EXPECT_EQ(r.ctl[20].Value, 20.0f);
    EXPECT_EQ(r.hook.WheelMsgParity, 0); // the nested message did not count
    EXPECT_FALSE(r.hook.WheelHookBusy);
}

TEST(WheelHook, WParamCarriesTheSignedDeltaAndTheFlags)
{
    EXPECT_GT(WheelWParam(120, false, false), 0);
    EXPECT_LT(WheelWParam(-120, true, true), 0);
    EXPECT_EQ(WheelWParam(-120, true, true) & 0xFFFF, WheelShiftFlag | WheelCtrlFlag);
    EXPECT_EQ(WheelWParam(-120, false, false) / 65536, -120);
    EXPECT_LT(WheelWParam(-100000, false, false), 0); // beyond the high word keeps its sign
}
