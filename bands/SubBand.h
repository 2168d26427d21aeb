#pragma once

#include "bands/Preset.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace orvik {

struct SubBand {
    QString Name; // BandPlan.Name & ".SubBand(i)"
    int32_t Index = 0;
    QString Caption; // at most 6 characters after a read
    QString Description;
    RxSettings Settings; // Settings.FreqCurrent: the sub-band's tuned frequency in Hz, -1 = none
    int32_t FreqMin = 0; // Hz, -1 = none
    int32_t FreqMax = 0; // Hz, -1 = none
    std::vector<Preset> Presets; // MaxPresets + 1 slots
    int32_t ActivePreset = 0; // -1 = none
    int32_t NumPresets = 0;
    int32_t MaxPresets = 0;
    bool HasRange = false; // button shown and presets read only when True
    bool Selected = false;

    bool operator==(const SubBand&) const = default;
};

} // namespace orvik
