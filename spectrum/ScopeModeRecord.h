#pragma once

#include <cstdint>

namespace orvik {

// What the analyser keeps per display mode (0 spectrum, 1 time, 2 Lissajous, 3 spare).
struct ScopeModeRecord {
    float Chn1Gain = 0;
    float Chn1Shift = 0;  // -100 to 100, as the shift control sets it
    float Chn1Offset = 0; // Chn1Shift / 150 x the Y range in use when the shift was set
    bool Chn1Enabled = false;
    bool Chn1Trig = false;
    float Chn2Gain = 0;
    float Chn2Shift = 0;
    float Chn2Offset = 0;
    bool Chn2Enabled = false;
    bool Chn2Trig = false;
    int16_t TriggerChn = 0; // 1 channel 1, 2 channel 2, other values no trigger
    bool LogMode = false;
    bool FastMode = false;
    float YLinMax = 0;
    float YLinMin = 0;
    float YLinRange = 0;
    float YLogMax = 0;
    float YLogMin = 0;
    float YLogRange = 0;
};

} // namespace orvik
