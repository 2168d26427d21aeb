#pragma once

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QRadioButton;
class QWidget;

namespace orvik {

class ImageBox;
class PictureBox;

inline constexpr int SubBandButtonCount = 18;
inline constexpr int PresetButtonCount = 12;

// The band controls as the panel builder made them.
struct BandPanel {
    QGroupBox* frPresets = nullptr;
    ImageBox* imgBandSelect = nullptr;
    QComboBox* cboBandSelect = nullptr;
    QComboBox* cboSubBandSelect = nullptr;
    QListWidget* lstSubBandSelect = nullptr;
    QLabel* lblSubBand = nullptr;
    PictureBox* picSubBands = nullptr;
    PictureBox* picPresets = nullptr;
    std::array<QRadioButton*, SubBandButtonCount> optSubBand{};
    std::array<QRadioButton*, PresetButtonCount> optPreset{};
};

// The presets frame frPresets inside frFreqCtl: band picker, sub-band picker (combo, list and
// label), the 18 sub-band buttons in picSubBands and the 12 preset buttons in picPresets.
// buildFrequencyControls must have run first when the frame is to sit inside frFreqCtl.
BandPanel buildBandControls(QWidget* window);

} // namespace orvik
