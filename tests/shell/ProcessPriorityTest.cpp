#include "shell/ProcessPriority.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace orvik {
namespace {

// A process's scheduling as the kernel would keep it, with permission to refuse.
class FakeScheduling final : public SchedulingCalls {
public:
    int getScheduler() override { return failReads ? -1 : policy; }
    int getParam(sched_param& param) override
    {
        if (failReads)
            return -1;
        param.sched_priority = priority;
        return 0;
    }
    int getNice(int& value) override
    {
        if (failReads)
            return -1;
        value = nice;
        return 0;
    }
    int setScheduler(int newPolicy, const sched_param& param) override
    {
        if (newPolicy == SCHED_RR && !realTimePermitted)
            return -1;
        policy = newPolicy;
        priority = param.sched_priority;
        return 0;
    }
    int setNice(int value) override
    {
        nice = value;
        return 0;
    }

    int policy = SCHED_OTHER;
    int priority = 0;
    int nice = 0;
    bool realTimePermitted = true;
    bool failReads = false;
};

TEST(ProcessPriority, PowerOffRestoresTheSchedulingAndNiceTheProcessStartedWith)
{
    struct Case {
        int policy;
        int nice;
        bool permitted;
    } cases[] = {
        {SCHED_OTHER, 0, true},
        {SCHED_BATCH, 7, true},
        {SCHED_IDLE, 19, true},
        {SCHED_OTHER, -5, false},
    };
    for (const Case& c : cases) {
        FakeScheduling kernel;
        kernel.policy = c.policy;
        kernel.nice = c.nice;
        kernel.realTimePermitted = c.permitted;
        ProcessPriority priority(kernel);
        EXPECT_EQ(priority.raiseToRealTime(), c.permitted);
        if (c.permitted) {
            EXPECT_EQ(kernel.policy, SCHED_RR);
            EXPECT_EQ(kernel.priority, sched_get_priority_min(SCHED_RR));
        }
        kernel.nice = 12; // anything may have changed it while powered on
        priority.restoreStartPriority();
        EXPECT_EQ(kernel.policy, c.policy) << c.policy;
        EXPECT_EQ(kernel.priority, 0) << c.policy;
        EXPECT_EQ(kernel.nice, c.nice) << c.policy;
    }

    // Unreadable at start: the class is left alone, the nice value goes to 0.
    FakeScheduling kernel;
    kernel.failReads = true;
    ProcessPriority priority(kernel);
    kernel.failReads = false;
    ASSERT_TRUE(priority.raiseToRealTime());
    kernel.nice = 4;
    priority.restoreStartPriority();
    EXPECT_EQ(kernel.policy, SCHED_RR);
    EXPECT_EQ(kernel.nice, 0);
}

// The same on this process.
TEST(ProcessPriority, TheRealProcessGoesBackToItsStartPriority)
{
    int policyAfter = -2;
    int niceBefore = 0;
    int niceAfter = 0;
    bool raised = false;
    std::thread worker([&] {
        errno = 0;
        niceBefore = getpriority(PRIO_PROCESS, 0);
        ProcessPriority priority;
        raised = priority.raiseToRealTime();
        priority.restoreStartPriority();
        policyAfter = sched_getscheduler(0);
        niceAfter = getpriority(PRIO_PROCESS, 0);
    });
    worker.join();
    EXPECT_EQ(policyAfter, SCHED_OTHER);
    EXPECT_EQ(niceAfter, niceBefore);
    if (!raised)
        std::printf("real-time scheduling is not permitted here; only the restore was checked\n");
}

// Linux keeps a class and a nice value per thread: the sound library's threads, started
// when the devices are opened before power On, must follow the change too.
TEST(ProcessPriority, TheRealCallsReachThreadsAlreadyRunning)
{
    std::mutex mutex;
    std::condition_variable changed;
    pid_t bystander = 0;
    bool done = false;
    std::thread thread([&] {
        std::unique_lock lock(mutex);
        bystander = gettid();
        changed.notify_all();
        changed.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return bystander != 0; });
    }
    SchedulingCalls& calls = SchedulingCalls::system();
    const int policy = sched_getscheduler(0);
    sched_param start{};
    sched_getparam(0, &start);
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);

    // Any process may lower its own priority.
    EXPECT_EQ(calls.setScheduler(SCHED_BATCH, sched_param{}), 0);
    EXPECT_EQ(sched_getscheduler(bystander), SCHED_BATCH);
    EXPECT_EQ(calls.setNice(nice + 1), 0);
    errno = 0;
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(bystander)), nice + 1);

    calls.setScheduler(policy, start);
    EXPECT_EQ(sched_getscheduler(bystander), policy);
    // Going back up may take a privilege this run lacks.
    if (calls.setNice(nice) == 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(bystander)), nice);
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    changed.notify_all();
    thread.join();
}

} // namespace
} // namespace orvik
