#pragma once

#include "bands/RxSettings.h"

#include <QString>
#include <cstdint>

namespace orvik {

struct Preset {
    QString Name; // BandPlan.Name & ".SubBand(i).Preset(p)"
    int32_t Index = 0;
    QString Caption; // frequency in kHz, at most 7 characters after a read
    QString Description;
    RxSettings Settings; // used when Settings.FreqCurrent >= 1
    bool Active = false; // the marked preset of its sub-band
    QString When; // "yyyy-MM-dd HH:mm:ss" when stored

    bool operator==(const Preset&) const = default;
};

} // namespace orvik
