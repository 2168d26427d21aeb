#pragma once

#include <array>

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;
class QWidget;

namespace orvik {

class Dial;

// The receiver's controls as the panel builder made them.
struct ReceiverPanel {
    std::array<QRadioButton*, 6> optMode{};
    std::array<QRadioButton*, 5> optFilter{};
    std::array<QRadioButton*, 3> optIFFilter{};
    std::array<QRadioButton*, 2> optNotch{};
    std::array<QRadioButton*, 5> optAGC{};
    QCheckBox* chkDynFilter = nullptr;
    QCheckBox* chkNB = nullptr;
    QCheckBox* chkNotchOn = nullptr;
    QCheckBox* chkNotchType = nullptr;
    QCheckBox* chkIFFilter = nullptr;
    QCheckBox* chkMusic = nullptr;
    QCheckBox* chkMute = nullptr;
    QCheckBox* chkAGC = nullptr;
    QSlider* sldAGCAttack = nullptr;
    QSlider* sldAGCDecay = nullptr;
    QSlider* sldBalance = nullptr;
    std::array<QSlider*, 2> sldBW{};
    QSlider* sldNB = nullptr;
    QSlider* sldNotch = nullptr;
    QSlider* sldNotchWidth = nullptr;
    QSlider* sldOutVolume = nullptr;
    Dial* dialNB = nullptr;
    Dial* dialOutVol = nullptr;
    QLabel* lblFLo = nullptr;
    QLabel* lblFHi = nullptr;
    QLabel* lblFloDesc = nullptr;
    QLabel* lblFHiDesc = nullptr;
    QLabel* lblNotch = nullptr;
    QLabel* lblNotchWidth = nullptr;
    QLabel* lblIFHi = nullptr;
    QLabel* lblIFHiDesc = nullptr;
    QLabel* lblIFLo = nullptr;
    QLabel* lblIFLoDesc = nullptr;
    QLabel* lblNotchC = nullptr;
    QLabel* lblNotchCDesc = nullptr;
    QLabel* lblNotchW = nullptr;
    QLabel* lblNotchWDesc = nullptr;
};

// The receiver's frames: demodulation mode, audio filters, IF filter, notch, noise blanker,
// AGC and audio output, and the S-meter surfaces.
ReceiverPanel buildReceiverControls(QWidget* window);

} // namespace orvik
