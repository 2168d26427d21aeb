#pragma once

#include <sched.h>

namespace orvik {

// The scheduling calls ProcessPriority makes on this process, so a test can
// stand in for the kernel. Each returns 0 on success, as the system calls do.
class SchedulingCalls {
public:
    virtual ~SchedulingCalls() = default;
    virtual int getScheduler() = 0; // the policy, or -1
    virtual int getParam(sched_param& param) = 0;
    virtual int getNice(int& nice) = 0;
    virtual int setScheduler(int policy, const sched_param& param) = 0;
    virtual int setNice(int nice) = 0;

    // The real calls on the calling process.
    static SchedulingCalls& system();
};

// Power on asks for real-time scheduling (ignored when not permitted); power off goes
// back to the scheduling and nice value the process started with, since an ordinary
// process could never leave an idle priority again.
class ProcessPriority {
public:
    // Records the priority at start.
    explicit ProcessPriority(SchedulingCalls& calls = SchedulingCalls::system());
    // True when the round-robin real-time class was granted.
    bool raiseToRealTime();
    void restoreStartPriority();

private:
    SchedulingCalls& calls_;
    int policy_ = 0;
    int schedPriority_ = 0;
    int nice_ = 0;
};

} // namespace orvik
