#pragma once

#include "shell/widgets/ControlFactory.h"

class QWidget;

namespace orvik {

class clsVFO;

// The frequency-control frame frFreqCtl: the nine-digit display picFreqDisp with its digits,
// decimal points and step marker, the unit labels, the tuning dial, the tuning-rate labels,
// the low-side LO box, the BFO label, the clock and IF read-outs and the hidden step list.
void buildFrequencyControls(QWidget* window);

// The clock and IF read-outs from the VFO's synthesizer and IF; the clock stays as it is
// when the VFO has no synthesizer.
void showClockAndIF(QWidget* window, const clsVFO& vfo);

// Design geometry of digit d of the display inside picFreqDisp (twips).
TwipsRect sevenSegmentDigitRect(int digit);

} // namespace orvik
