#include "shell/ProcessPriority.h"

#include <cerrno>
#include <sched.h>
#include <sys/resource.h>

namespace orvik {

ProcessPriority::ProcessPriority()
{
    policy_ = sched_getscheduler(0);
    sched_param p{};
    if (sched_getparam(0, &p) == 0)
        schedPriority_ = p.sched_priority;
    errno = 0;
    const int n = getpriority(PRIO_PROCESS, 0);
    nice_ = errno == 0 ? n : 0;
}

bool ProcessPriority::raiseToRealTime()
{
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_RR);
    return sched_setscheduler(0, SCHED_RR, &p) == 0;
}

void ProcessPriority::restoreStartPriority()
{
    if (policy_ >= 0) {
        sched_param p{};
        p.sched_priority = schedPriority_;
        sched_setscheduler(0, policy_, &p);
    }
    setpriority(PRIO_PROCESS, 0, nice_);
}

} // namespace orvik
