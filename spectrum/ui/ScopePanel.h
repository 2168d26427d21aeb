#pragma once

class QWidget;

namespace orvik {

// The scope area: picScopeContainer with the two display pages picScope_0/1 and their
// frequency read-outs, the Y-gain slider with its scale, and picScopeCtls holding the mode,
// channel, timebase and Y-mode frames, the tap-point options and the display check boxes.
void buildScopeControls(QWidget* window);

} // namespace orvik
