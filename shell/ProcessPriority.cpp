#include "shell/ProcessPriority.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

namespace orvik {

namespace {

// Linux schedules threads, not processes: a change made on the calling thread alone would
// leave behind the threads already running, such as those the sound library started when
// the devices were opened before power On. The calling thread's result is returned: the
// others are allowed what it is.
template <typename Change>
int forEveryThread(Change change)
{
    const int result = change(0);
    if (result != 0)
        return result;
    const pid_t self = gettid();
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (const dirent* entry = readdir(tasks)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        if (tid <= 0 || *end != '\0' || tid == self)
            continue;
        change(static_cast<pid_t>(tid)); // fails only for a thread that has ended meanwhile
    }
    closedir(tasks);
    return 0;
}

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
    int setScheduler(int policy, const sched_param& param) override
    {
        return forEveryThread([&](pid_t tid) { return sched_setscheduler(tid, policy, &param); });
    }
    int setNice(int nice) override
    {
        return forEveryThread([&](pid_t tid) { return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice); });
    }
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
