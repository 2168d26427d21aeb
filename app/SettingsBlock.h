#pragma once

#include "bands/RxSettings.h"
#include "receiver/ReceiverHandlers.h"

#include <cstdint>
#include <functional>

namespace orvik {

class CtlArray;

// Captures the receiver's whole state into a settings block and puts a block back onto
// the receiver by driving the same handlers and adjusters the user drives. Sits where the
// receiver, the tuning and the adjusters are all visible; the band controls reach it
// through their hooks.
class SettingsBlock {
public:
    struct Hooks {
        // The VFO's tuned frequency in tenths of a hertz.
        std::function<int32_t()> TunedFrequency;
        std::function<void(int32_t)> setTunedFrequency;
        // Shows the VFO's frequency on the digit display.
        std::function<void()> Display7Seg;
        // Ticks or clears the low-side box and runs its handler (LO side, retune, notch).
        std::function<void(bool lowSideLO)> chkTuneLo;
        // The recorder's track log; empty until there is a recorder.
        std::function<void(int32_t tunedFrequency)> NewLogRecord;
    };

    SettingsBlock(ReceiverHandlers& handlers, CtlArray& adjusters, Hooks hooks);

    void CaptureSettingsBlock(RxSettings& block);
    void ApplySettingsBlock(const RxSettings& block);

    // True while a block is being applied; the sub-band tracking waits meanwhile.
    bool ApplyingSettings = false;
    // The AGC mode in force before a block last switched to the preset row 4; a block
    // whose AGCMode is negative goes back to it.
    int32_t AGCModeBeforePreset = 0;

private:
    void applyEdge(int id, int32_t value, int32_t fallback);
    void setBoxRaisingClick(RxWidget box, bool checked);

    ReceiverHandlers& handlers_;
    CtlArray& ctl_;
    Hooks hooks_;
};

} // namespace orvik
