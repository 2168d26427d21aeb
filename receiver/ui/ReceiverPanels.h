#pragma once

class QWidget;

namespace orvik {

// The receiver's frames: demodulation mode, audio filters, IF filter, notch, noise blanker,
// AGC and audio output, and the S-meter surfaces.
void buildReceiverControls(QWidget* window);

} // namespace orvik
