#pragma once

#include "shell/Adjuster.h"

#include <cstdint>

namespace orvik {

class CtlArray;

// Message numbers the hook tells apart.
inline constexpr int32_t KeyDownMessage = 256;
inline constexpr int32_t MouseMoveMessage = 512;
inline constexpr int32_t MouseWheelMessage = 522;
// Key flags in the low word of a wheel message's wParam.
inline constexpr int32_t WheelShiftFlag = 4;
inline constexpr int32_t WheelCtrlFlag = 8;

// wParam of a wheel message: the signed delta in the high word, the key flags in the low.
int32_t WheelWParam(int delta, bool shift, bool ctrl);

// The stepping half of the message hook: sees every key-down, pointer move and wheel
// message of the program and steps the active adjuster on every second wheel message.
// Ctrl wins over Shift here (the keys do the reverse).
class WheelHook {
public:
    explicit WheelHook(CtlArray& ctl) : ctl_(ctl) {}

    // Returns true where the message is handed on to the next hook.
    bool WheelHookProc(const WheelMessage& msg);

    // Runs on across all adjusters for the whole run: only every second wheel message acts.
    int32_t WheelMsgParity = 0;
    bool WheelHookBusy = false;
    // 0 none, 1 Shift, 2 Ctrl, from the last acted-on wheel message.
    int32_t WheelModifier = 0;

private:
    CtlArray& ctl_;
};

} // namespace orvik
