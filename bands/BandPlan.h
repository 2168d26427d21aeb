#pragma once

#include "bands/SubBand.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace orvik {

// One main band, one ".bpl" file.
struct BandPlan {
    QString Name; // file name without its extension
    int32_t Index = 0; // position in BandPlans
    QString Caption;
    QString Description;
    bool Active = false; // was the selected band; never cleared by the program
    int32_t ActiveSubBand = 0;
    std::vector<SubBand> SubBands; // NumSubBandsAlloc + 1 slots
    int32_t NumSubBands = 0; // buttons shown: 0 to NumSubBands - 1; the file loops run 0 to NumSubBands
    int32_t NumSubBandsAlloc = 0; // sub-band buttons of the main window
    int32_t PresetsPerSubBand = 0; // preset buttons of the main window
    QString FileName; // full path
    // Set when the file existed but could not be read: saving it would replace
    // the user's file with defaults, so SaveBandPlan refuses.
    bool LoadFailed = false;

    bool operator==(const BandPlan&) const = default;
};

} // namespace orvik
