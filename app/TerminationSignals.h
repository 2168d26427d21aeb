#pragma once

class QWidget;

namespace orvik {

// SIGTERM, SIGINT and SIGHUP (unless ignored from the start, as nohup does) close the
// main window, so the normal shut-down runs and a desktop session or the terminal
// ending (or a test) loses nothing. A modal box or dialog open at that
// moment is closed as its own close command would, since its caller (a start-up step, a
// handler) holds up the shut-down until it returns, and none is shown after it.
void closeWindowOnTerminationSignals(QWidget* window);

// True once a termination signal has arrived.
bool terminationRequested();

} // namespace orvik
