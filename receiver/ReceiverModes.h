#pragma once

#include "receiver/ReceiverCore.h"

#include <cstdint>

namespace orvik {

// What the receiver's option and check-box handlers leave in the chain, for
// callers without the main window (the command-line harness, tests, settings
// recall). Each only sets variables, filter switches and the rebuild flags; the
// filters are redesigned by the next statistics pass.

// Demodulation mode 0 to 5; any other index is refused (returns false).
bool SetDemodMode(ReceiverCore& core, int32_t mode);
// Audio filter preset: the row's edges, its music rule and the dynamic
// filter's edges a tenth of the width inside them. Refused outside 0 to 8.
bool SelectFilterPreset(ReceiverCore& core, int32_t index);
// IF filter on or off, mode 0 "Off", 1 "Man", 2 "Track".
bool SetIFFilter(ReceiverCore& core, bool active, int32_t mode);
// Notch on or off; mode 0 manual, 1 automatic; type 0 audio, 1 IF. centre is
// the notch-centre adjuster's value (Hz on the audio, or the offset from the
// IF centre), width in Hz.
bool SetNotch(ReceiverCore& core, bool active, int32_t mode, int32_t type, float centre, float width);
// AGC on or off and its speed row 0 to 8 (attack and decay from AGCTable).
bool SetAGC(ReceiverCore& core, bool on, int32_t mode);
void SetDynamicFilter(ReceiverCore& core, bool active);
void SetNoiseReduction(ReceiverCore& core, bool on, float threshold);

} // namespace orvik
