#pragma once

class QWidget;

namespace orvik {

// Asked while `control` handles a FocusOut: true when the keyboard focus went to another
// control of the same window, which is what a LostFocus handler means. The focus moving into
// the control's own pop-up list (a window of its own), into a menu, or out of the program is
// not leaving the control.
bool focusLeftForAnotherControl(const QWidget* control);

} // namespace orvik
