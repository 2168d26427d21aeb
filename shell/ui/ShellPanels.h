#pragma once

class QWidget;

namespace orvik {

// The shell's own controls: power and display-size frames, clock and version labels, the
// statistics panel, the configuration button, sldPwm, picCalib, the focus sink Picture1, the
// marker lines, the timers and the pop-up menus.
void buildShellControls(QWidget* window);

// Design width of the main window (twips).
inline constexpr int MainWindowWidthTwips = 18600;

} // namespace orvik
