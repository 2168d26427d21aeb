#pragma once

#include <cstdint>

namespace orvik {

// Program-wide tuning state shared by the display, the keys, the dial, the wheel and
// the knob. Owned by the main window; frequencies and steps in 0.1 Hz.
struct TuningState {
    // One-step requests the tuning timer applies and clears.
    bool TuneUpPending = false;
    bool TuneDownPending = false;
    // Step of the tuning timer; 0 makes the VFO use its own TuneStep.
    float TuneRate = 0;
    // Display digit the keyboard tunes: 0 the 10 MHz digit, 8 the 0.1 Hz digit.
    int32_t SelectedDigit = 0;
    // The rate lock of the display and the dial; the VFO's TuneStepLock is the other holder.
    bool TuningRateLocked = false;
    int16_t DigitHover = 0;
    // The knob: off, plain (through the dial) or accelerated.
    bool EnableShaftEncoder = false;
    bool ShaftAutoRate = false;
};

} // namespace orvik
