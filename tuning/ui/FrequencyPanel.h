#pragma once

#include "shell/widgets/ControlFactory.h"

class QWidget;

namespace orvik {

// The frequency-control frame frFreqCtl: the nine-digit display picFreqDisp with its digits,
// decimal points and step marker, the unit labels, the tuning dial, the tuning-rate labels,
// the low-side LO box, the BFO label, the clock and IF read-outs and the hidden step list.
void buildFrequencyControls(QWidget* window);

// Design geometry of digit d of the display inside picFreqDisp (twips).
TwipsRect sevenSegmentDigitRect(int digit);

} // namespace orvik
