#pragma once

class QWidget;

namespace orvik {

// The presets frame frPresets inside frFreqCtl: band picker, sub-band picker (combo, list and
// label), the 18 sub-band buttons in picSubBands and the 12 preset buttons in picPresets.
// buildFrequencyControls must have run first.
void buildBandControls(QWidget* window);

inline constexpr int SubBandButtonCount = 18;
inline constexpr int PresetButtonCount = 12;

} // namespace orvik
