#include "shell/WheelHook.h"

#include "common/ReentryGuard.h"
#include "shell/CtlArray.h"

#include <algorithm>

namespace orvik {

int32_t WheelWParam(int delta, bool shift, bool ctrl)
{
    const int32_t high = std::clamp(delta, -32768, 32767);
    return high * 65536 + (shift ? WheelShiftFlag : 0) + (ctrl ? WheelCtrlFlag : 0);
}

bool WheelHook::WheelHookProc(const WheelMessage& msg)
{
    ReentryGuard busy(WheelHookBusy);
    if (busy.reentered())
        return true; // an apply procedure that ran the event loop: hand it on untouched

    const int16_t id = ctl_.ActiveAdjuster;
    const bool known = id >= 0 && id < CtlArray::Size;
    if (known && ctl_[id].Disabled)
        return true;
    if (msg.message != KeyDownMessage && msg.message != MouseMoveMessage && msg.message != MouseWheelMessage)
        return true;
    if (id <= 0 || !known)
        return false;
    if (msg.message == MouseMoveMessage)
        return true;
    if (msg.message == KeyDownMessage)
        return false; // the window's key handler still sees the key

    if (WheelMsgParity < 1) {
        ++WheelMsgParity;
        return true;
    }
    WheelMsgParity = 0;
    Adjuster& r = ctl_[id];
    r.LastWheelMsg = msg;
    const int32_t flags = msg.wParam & 0xFFFF;
    WheelModifier = 0;
    if (flags & WheelShiftFlag)
        WheelModifier = 1;
    if (flags & WheelCtrlFlag)
        WheelModifier = 2;
    const float step = WheelModifier == 1 ? r.ShiftStep : (WheelModifier == 2 ? r.CtrlStep : r.Step);
    if (msg.wParam > 0) {
        r.Value += step;
        if (r.Value >= r.Max)
            r.Value = r.Max;
    } else if (msg.wParam < 0) {
        r.Value -= step;
        if (r.Value <= r.Min)
            r.Value = r.Min;
    }
    ctl_.UpdateCaption(id);
    ctl_.Apply(id);
    return true;
}

} // namespace orvik
