#pragma once

class QWidget;

namespace orvik {

// SIGTERM and SIGINT close the main window, so the normal shut-down runs and a
// desktop session ending (or a test) loses nothing.
void closeWindowOnTerminationSignals(QWidget* window);

} // namespace orvik
