#pragma once

#include "receiver/ReceiverHandlers.h"

#include <cstdint>

namespace orvik {

// A user's way of setting the receiver, for callers without the window (the
// command-line harness, the tests): each is the sequence of clicks and label
// changes a user would make, run through the receiver's own handlers.

// Demodulation mode 0 to 5; any other index is refused (returns false).
bool SetDemodMode(ReceiverHandlers& h, int32_t mode);
// Audio filter preset 0 to 4 (the preset buttons); others are refused.
bool SelectFilterPreset(ReceiverHandlers& h, int32_t index);
// IF filter on or off, mode 0 "Off", 1 "Man", 2 "Track".
bool SetIFFilter(ReceiverHandlers& h, bool active, int32_t mode);
// Notch on or off; mode 0 manual, 1 automatic; type 0 audio, 1 IF. centre is
// the notch-centre adjuster's value (Hz on the audio, or the offset from the
// IF centre), width in Hz.
bool SetNotch(ReceiverHandlers& h, bool active, int32_t mode, int32_t type, float centre, float width);
// AGC speed row 0 to 4 (attack and decay from AGCTable), then AGC on or off.
bool SetAGC(ReceiverHandlers& h, bool on, int32_t mode);
void SetDynamicFilter(ReceiverHandlers& h, bool active);
// Noise blanker on or off with its threshold (a fraction of the block's peak, 0 to 0.2).
void SetNoiseReduction(ReceiverHandlers& h, bool on, float threshold);
// Adjuster 20: the IF shift in Hz.
void SetBFO(ReceiverHandlers& h, float bfo);
// Adjuster 10: the output level.
void SetOutputLevel(ReceiverHandlers& h, float value);

} // namespace orvik
