#include "shell/ProcessPriority.h"

#include <cerrno>
#include <sys/resource.h>

namespace orvik {

namespace {

class SystemScheduling final : public SchedulingCalls {
public:
    int getScheduler() override { return sched_getscheduler(0); }
    int getParam(sched_param& param) override { return sched_getparam(0, &param); }
    int getNice(int& nice) override
    {
        // -1 is a valid nice value; only errno tells a failure.
        errno = 0;
        const int n = getpriority(PRIO_PROCESS, 0);
        if (errno != 0)
            return -1;
        nice = n;
        return 0;
    }
    int setScheduler(int policy, const sched_param& param) override { return sched_setscheduler(0, policy, &param); }
    int setNice(int nice) override { return setpriority(PRIO_PROCESS, 0, nice); }
};

} // namespace

SchedulingCalls& SchedulingCalls::system()
{
    static SystemScheduling calls;
    return calls;
}

ProcessPriority::ProcessPriority(SchedulingCalls& calls) : calls_(calls)
{
    policy_ = calls_.getScheduler();
    sched_param p{};
    if (calls_.getParam(p) == 0)
        schedPriority_ = p.sched_priority;
    if (calls_.getNice(nice_) != 0)
        nice_ = 0;
}

bool ProcessPriority::raiseToRealTime()
{
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_RR);
    return calls_.setScheduler(SCHED_RR, p) == 0;
}

void ProcessPriority::restoreStartPriority()
{
    if (policy_ >= 0) {
        sched_param p{};
        p.sched_priority = schedPriority_;
        calls_.setScheduler(policy_, p);
    }
    calls_.setNice(nice_);
}

} // namespace orvik
