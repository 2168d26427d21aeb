#pragma once

#include <cstdint>

namespace orvik {

// One complete receiver state that a sub-band or preset recalls. Frequencies
// in Hz; filter edges in Hz, negative = take them from the filter tables.
struct RxSettings {
    bool Captured = false; // captured from the receiver since last read from a file; not stored
    int32_t FreqCurrent = 0; // -1 = none; 1 or more = a used preset
    bool HiSideLO = false; // not stored
    bool LowSideLO = false;
    int32_t TuneStep = 0; // tenths of a hertz
    int32_t FilterMode = 0;
    int32_t FilterHi = 0;
    int32_t FilterLo = 0;
    bool MusicModeActive = false;
    bool DynFilterActive = false;
    bool IFFilterActive = false;
    int32_t IFFilterMode = 0;
    int32_t IFFilterLo = 0;
    int32_t IFFilterHi = 0;
    float AGCAttack = 0;
    float AGCDecay = 0;
    bool AGCOn = false;
    int32_t AGCMode = 0; // negative = keep the previous mode
    bool NotchActive = false;
    int32_t NotchMode = 0;
    int32_t NotchType = 0;
    int32_t NotchFilterCenter = 0;
    int32_t NotchFilterWidth = 0;
    int32_t DemodMode = 0; // 0 AM, 1 USB, 2 LSB, 3 DRM, 4 FM, 5 BC
    float OutputAttenuation = 0;

    bool operator==(const RxSettings&) const = default;
};

} // namespace orvik
