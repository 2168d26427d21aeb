#pragma once

#include <Qt>

class QWidget;

namespace orvik {

// Asked while `control` handles a FocusOut for `reason`: true when the keyboard focus left it
// for another control of its window, which is what a LostFocus handler means. Opening the
// control's own pop-up list (a window of its own), a menu or a dialog, and the window losing
// the activation, is not leaving the control.
bool focusLeftForAnotherControl(const QWidget* control, Qt::FocusReason reason);

} // namespace orvik
