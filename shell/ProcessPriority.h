#pragma once

namespace orvik {

// Power on asks for real-time scheduling (ignored when not permitted); power off goes
// back to the scheduling and nice value the process started with, since an ordinary
// process could never leave an idle priority again.
class ProcessPriority {
public:
    ProcessPriority(); // records the priority at start
    // True when the round-robin real-time class was granted.
    bool raiseToRealTime();
    void restoreStartPriority();

private:
    int policy_ = 0;
    int schedPriority_ = 0;
    int nice_ = 0;
};

} // namespace orvik
