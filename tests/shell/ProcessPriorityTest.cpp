#include "shell/ProcessPriority.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <linux/capability.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace orvik {
namespace {

// A process's scheduling as the kernel would keep it, with permission to refuse, and the
// threads the tests name with their own class and nice value.
class FakeScheduling final : public SchedulingCalls {
public:
    struct Thread {
        int policy = SCHED_OTHER;
        int priority = 0;
        int nice = 0;
        bool guarded = false;
        bool computing = false; // uses a whole core
    };

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
        if ((newPolicy & ~SCHED_RESET_ON_FORK) == SCHED_RR && !realTimePermitted) {
            errno = EPERM;
            return -1;
        }
        std::lock_guard held(lock);
        policy = newPolicy;
        priority = param.sched_priority;
        for (auto& [tid, t] : threads_) {
            t.policy = newPolicy;
            t.priority = param.sched_priority;
        }
        return 0;
    }
    int setNice(int value) override
    {
        std::lock_guard held(lock);
        nice = value;
        for (auto& [tid, t] : threads_)
            t.nice = value;
        return 0;
    }
    int setThreadScheduler(pid_t tid, int newPolicy, const sched_param& param) override
    {
        std::lock_guard held(lock);
        threads_[tid].policy = newPolicy;
        threads_[tid].priority = param.sched_priority;
        return 0;
    }
    int setThreadNice(pid_t tid, int value) override
    {
        std::lock_guard held(lock);
        threads_[tid].nice = value;
        return 0;
    }
    int threadScheduler(pid_t tid) override
    {
        std::lock_guard held(lock);
        return threads_[tid].policy;
    }
    int threadNice(pid_t tid, int& value) override
    {
        std::lock_guard held(lock);
        value = threads_[tid].nice;
        return 0;
    }
    int64_t threadCpuNanoseconds(pid_t tid) override
    {
        std::lock_guard held(lock);
        if (!threads_[tid].computing)
            return 1000;
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void setComputing(pid_t tid, bool computing)
    {
        std::lock_guard held(lock);
        threads_[tid].computing = computing;
    }
    int limitRealTimeRuns(long long hardUsec) override
    {
        std::lock_guard held(lock);
        runLimitUsec = hardUsec;
        return 0;
    }
    bool guardThread(pid_t tid) override
    {
        std::lock_guard held(lock);
        threads_[tid].guarded = true;
        return true;
    }
    bool takeRunLimitHit() override { return false; }

    Thread thread(pid_t tid)
    {
        std::lock_guard held(lock);
        return threads_[tid];
    }
    long long runLimit()
    {
        std::lock_guard held(lock);
        return runLimitUsec;
    }

    std::mutex lock;
    int policy = SCHED_OTHER;
    int priority = 0;
    int nice = 0;
    bool realTimePermitted = true;
    bool failReads = false;
    long long runLimitUsec = 0;

private:
    std::map<pid_t, Thread> threads_;
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
    EXPECT_GE(calls.threadCpuNanoseconds(bystander), 0);
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

// Polls `done` until it holds or ten seconds have passed.
bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// RealtimeKit granting on the fake kernel as the real one does (SCHED_RESET_ON_FORK with
// the class); it can refuse, be unreachable, or hold a real-time request until released.
class FakeRealtimeKit final : public RealtimeKit {
public:
    explicit FakeRealtimeKit(FakeScheduling& kernel) : kernel_(kernel) {}

    bool readLimits(RealtimeKitLimits& read, std::string& error) override
    {
        std::lock_guard held(lock_);
        if (!unreachable.empty()) {
            error = unreachable;
            return false;
        }
        read = limits;
        return true;
    }
    RealtimeKitReply makeThreadRealtime(pid_t tid, uint32_t priority, std::string& error) override
    {
        std::unique_lock held(lock_);
        ++realtimeAsks[tid];
        // What the kernel had when it was asked: the guard and the limit must come first.
        guardedWhenAsked[tid] = kernel_.thread(tid).guarded;
        runLimitWhenAsked = kernel_.runLimit();
        holding = tid;
        changed_.wait(held, [&] { return !hold; });
        holding = 0;
        return answer(tid, priority > static_cast<uint32_t>(limits.maxRealtimePriority) ? "priority too high" : "",
                      error, [this, tid, priority] {
                          kernel_.setThreadScheduler(tid, SCHED_RR | SCHED_RESET_ON_FORK,
                                                     sched_param{static_cast<int>(priority)});
                      });
    }
    RealtimeKitReply makeThreadHighPriority(pid_t tid, int32_t nice, std::string& error) override
    {
        std::lock_guard held(lock_);
        ++highAsks[tid];
        return answer(tid, nice < limits.minNiceLevel ? "nice too low" : "", error,
                      [this, tid, nice] { kernel_.setThreadNice(tid, nice); });
    }

    // Grants what was given up, as a stuck RealtimeKit does once it goes on.
    void actLate()
    {
        std::vector<std::function<void()>> acts;
        {
            std::lock_guard held(lock_);
            acts.swap(late);
        }
        for (auto& act : acts)
            act();
    }

    template <typename Read>
    auto read(Read r)
    {
        std::lock_guard held(lock_);
        return r();
    }
    void release()
    {
        std::lock_guard held(lock_);
        hold = false;
        changed_.notify_all();
    }

    RealtimeKitLimits limits{20, -15, 200000};
    bool limited = false;                // every request put off for the limit
    std::set<pid_t> unanswered;          // requests for these threads given up, acted on in actLate
    std::vector<std::function<void()>> late;
    std::string refusal;     // every request refused with this
    std::string unreachable; // the limits cannot be read
    bool hold = false;
    pid_t holding = 0;
    int grants = 0;
    long long runLimitWhenAsked = 0;
    std::map<pid_t, int> realtimeAsks, highAsks;
    std::map<pid_t, bool> guardedWhenAsked;

private:
    // Under lock_: put off for the limit, given up (and granted in actLate), refused or granted.
    RealtimeKitReply answer(pid_t tid, std::string beyondLimits, std::string& error, std::function<void()> grant)
    {
        if (limited) {
            error = "Device or resource busy";
            return RealtimeKitReply::Limited;
        }
        if (unanswered.contains(tid)) {
            late.push_back(std::move(grant));
            error = "no answer within 1000 ms";
            return RealtimeKitReply::NoAnswer;
        }
        if (error = refusal.empty() ? beyondLimits : refusal; !error.empty())
            return RealtimeKitReply::Refused;
        grant();
        ++grants;
        return RealtimeKitReply::Granted;
    }

    FakeScheduling& kernel_;
    std::mutex lock_;
    std::condition_variable changed_;
};

// An ordinary user's process (no direct raise): the sound library's threads as the backend
// would list them, and the window thread's queue of posted work with the log lines it wrote.
struct PriorityRig {
    explicit PriorityRig(FakeScheduling& kernel) : kit(new FakeRealtimeKit(kernel))
    {
        kernel.realTimePermitted = false;
        RealtimeKitRequests r;
        r.lateGrantLook = r.limitRetry = std::chrono::milliseconds(20);
        r.kit.reset(kit);
        r.soundThreads = [this] {
            std::lock_guard held(lock);
            ++looks;
            return sound;
        };
        r.onWindowThread = [this](std::function<void()> work) {
            std::lock_guard held(lock);
            posted.push_back(std::move(work));
        };
        r.log = [this](const QString& line) { lines.push_back(line); };
        requests = std::move(r);
    }

    void setSound(std::vector<pid_t> threads)
    {
        std::lock_guard held(lock);
        sound = std::move(threads);
    }
    int looksSoFar()
    {
        std::lock_guard held(lock);
        return looks;
    }
    // Runs what was posted, as the window thread's event loop would.
    const QStringList& log()
    {
        std::vector<std::function<void()>> work;
        {
            std::lock_guard held(lock);
            work.swap(posted);
        }
        for (auto& w : work)
            w();
        return lines;
    }
    // Power On as the receiver does it.
    static void on(ProcessPriority& priority)
    {
        priority.raiseToRealTime();
        priority.raiseSoundThreads();
    }
    // The request thread has looked for new sound threads twice more: whatever it was doing
    // when this was called is done and reported.
    bool settled()
    {
        const int from = looksSoFar();
        return waitFor([&] { return looksSoFar() >= from + 2; });
    }

    FakeRealtimeKit* kit; // owned by the ProcessPriority made from `requests`
    RealtimeKitRequests requests;
    std::mutex lock;
    std::vector<pid_t> sound;
    int looks = 0;
    std::vector<std::function<void()>> posted;
    QStringList lines;
};

// An ordinary user: the direct raise is refused, RealtimeKit gives the window thread its
// highest nice level and the sound threads real time (or the nice level where real time is
// not allowed), each asked once; threads started while on are asked too; Off restores all.
TEST(ProcessPriority, WhereTheDirectRaiseIsRefusedRealtimeKitRaisesTheWindowAndSoundThreads)
{
    struct Case {
        RealtimeKitLimits limits;
        bool soundRealTime;
        long long runLimit;
    } cases[] = {
        {{20, -15, 200000}, true, 200000},
        {{20, -11, 150000}, true, 150000}, // the broker's lower limit is the one set
        {{0, -10, 200000}, false, 0},      // no real time at all: the nice level for all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limits.minNiceLevel);
        FakeScheduling kernel;
        PriorityRig rig(kernel);
        rig.kit->limits = c.limits;
        rig.setSound({101, 102}); // opened ahead of power On
        ProcessPriority priority(kernel, std::move(rig.requests));
        const pid_t window = gettid();

        EXPECT_FALSE(priority.raiseToRealTime());
        rig.setSound({101, 102, 201, 202}); // the streams' callback threads at their start
        priority.raiseSoundThreads();
        ASSERT_TRUE(waitFor([&] { return rig.log().size() == 1; }));
        const QString line = rig.log().value(0);
        EXPECT_TRUE(line.contains(QStringLiteral("window thread %1 at nice %2").arg(window).arg(c.limits.minNiceLevel)))
            << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("101, 102, 201, 202"))) << line.toStdString();
        EXPECT_EQ(kernel.thread(window).nice, c.limits.minNiceLevel);
        EXPECT_EQ(kernel.thread(window).policy, SCHED_OTHER) << "the window thread is never made real-time";
        for (pid_t tid : {101, 102, 201, 202}) {
            const FakeScheduling::Thread t = kernel.thread(tid);
            if (c.soundRealTime) {
                EXPECT_EQ(t.policy, SCHED_RR | SCHED_RESET_ON_FORK) << tid;
                EXPECT_EQ(t.priority, 1) << tid;
                EXPECT_TRUE(rig.kit->read([&] { return rig.kit->guardedWhenAsked[tid]; })) << tid;
            } else {
                EXPECT_EQ(t.nice, c.limits.minNiceLevel) << tid;
            }
        }
        EXPECT_EQ(rig.kit->read([&] { return rig.kit->runLimitWhenAsked; }), c.runLimit);

        // Asked once each, however often the request thread looks again.
        ASSERT_TRUE(rig.settled());
        rig.kit->read([&] {
            EXPECT_EQ(rig.kit->highAsks[window], 1);
            for (pid_t tid : {101, 102, 201, 202})
                EXPECT_EQ(rig.kit->realtimeAsks[tid] + (c.soundRealTime ? 0 : rig.kit->highAsks[tid]), 1) << tid;
            return 0;
        });
        EXPECT_EQ(rig.log().size(), 1);

        // A device opened afresh while on: its thread is found and asked, in a line of its own.
        rig.setSound({101, 102, 201, 202, 301});
        ASSERT_TRUE(waitFor([&] { return rig.log().size() == 2; }));
        EXPECT_TRUE(rig.log().value(1).contains(QStringLiteral("301"))) << rig.log().value(1).toStdString();

        priority.restoreStartPriority();
        for (pid_t tid : {window, 101, 102, 201, 202, 301}) {
            EXPECT_EQ(kernel.thread(tid).policy & ~SCHED_RESET_ON_FORK, SCHED_OTHER) << tid;
            EXPECT_EQ(kernel.thread(tid).nice, 0) << tid;
        }
    }
}

// An On whose sound did not start goes Off without raiseSoundThreads: nothing was asked for,
// so nothing is granted or logged; the next On asks as usual.
TEST(ProcessPriority, AnOnWhoseSoundDidNotStartAsksForNothing)
{
    FakeScheduling kernel;
    PriorityRig rig(kernel);
    rig.setSound({101});
    ProcessPriority priority(kernel, std::move(rig.requests));
    const pid_t window = gettid();
    EXPECT_FALSE(priority.raiseToRealTime());
    ASSERT_TRUE(rig.settled());
    EXPECT_EQ(rig.kit->read([&] { return rig.kit->highAsks[window] + rig.kit->realtimeAsks[101]; }), 0);
    priority.restoreStartPriority();
    EXPECT_EQ(kernel.thread(window).nice, 0);
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.log().size() == 1; }));
    EXPECT_TRUE(rig.log()[0].startsWith("Priority raised through RealtimeKit: window thread"))
        << rig.log()[0].toStdString();
    EXPECT_EQ(rig.kit->read([&] { return rig.kit->highAsks[window]; }), 1);
    priority.restoreStartPriority();
}

// A grant RealtimeKit answers only after power Off must not outlive it.
TEST(ProcessPriority, AGrantThatArrivesAfterPowerOffIsTakenBack)
{
    FakeScheduling kernel;
    PriorityRig rig(kernel);
    rig.kit->hold = true;
    rig.setSound({101});
    ProcessPriority priority(kernel, std::move(rig.requests));
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->holding; }) == 101; }));
    priority.restoreStartPriority();
    rig.kit->release();
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->grants; }) == 2; }));
    EXPECT_TRUE(waitFor([&] { return kernel.thread(101).policy == SCHED_OTHER; }))
        << "the late grant stayed: policy " << kernel.thread(101).policy;
    EXPECT_TRUE(rig.log().isEmpty()) << rig.log().join('\n').toStdString();
}

// A call given up on a stuck RealtimeKit counts as refused and ends the asking for that On; what
// it grants later is taken back, while on as after Off. What a later On is granted stays.
TEST(ProcessPriority, WhatRealtimeKitGrantsOfACallGivenUpIsTakenBack)
{
    FakeScheduling kernel;
    PriorityRig rig(kernel);
    const pid_t window = gettid();
    rig.kit->unanswered = {101};
    rig.setSound({101, 102});
    ProcessPriority priority(kernel, std::move(rig.requests));

    // On: the window thread is granted, the first sound thread's call given up.
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.log().size() == 1; }));
    EXPECT_TRUE(rig.log().value(0).contains(QStringLiteral("refused for 101, 102 (no answer within 1000 ms)")))
        << rig.log().value(0).toStdString();
    EXPECT_EQ(rig.kit->read([&] { return rig.kit->realtimeAsks[102] + rig.kit->highAsks[102]; }), 0);
    rig.kit->actLate();
    EXPECT_TRUE(waitFor([&] { return kernel.thread(101).policy == SCHED_OTHER; }))
        << "the late grant stayed while on: policy " << kernel.thread(101).policy;
    EXPECT_EQ(kernel.thread(window).nice, -15) << "the grant that was answered is wanted";

    // Off, then the window thread's call given up at the next On, granted after its Off.
    priority.restoreStartPriority();
    rig.kit->read([&] { return rig.kit->unanswered = {window}; });
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->late.size(); }) == 1; }));
    priority.restoreStartPriority();
    rig.kit->actLate();
    EXPECT_EQ(kernel.thread(window).nice, -15);
    EXPECT_TRUE(waitFor([&] { return kernel.thread(window).nice == 0; })) << "the late grant stayed after Off";

    // Granted at the next On: kept.
    rig.kit->read([&] { return rig.kit->unanswered = {}; });
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return kernel.thread(window).nice == -15; }));
    ASSERT_TRUE(rig.settled());
    EXPECT_EQ(kernel.thread(window).nice, -15);
    priority.restoreStartPriority();
}

// What RealtimeKit's limit puts off is asked again while on, one request a try, until granted;
// the log says once, plainly, why priority is late, and not that it was refused.
TEST(ProcessPriority, RequestsPutOffForRealtimeKitsLimitAreAskedAgainWhileOn)
{
    FakeScheduling kernel;
    PriorityRig rig(kernel);
    rig.kit->limited = true;
    rig.setSound({101, 102});
    ProcessPriority priority(kernel, std::move(rig.requests));
    const pid_t window = gettid();
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->highAsks[window]; }) >= 5; }));
    rig.kit->read([&] {
        EXPECT_EQ(rig.kit->realtimeAsks[101] + rig.kit->realtimeAsks[102], 0) << "more than one request a try";
        return rig.kit->limited = false;
    });
    ASSERT_TRUE(waitFor([&] { return rig.log().size() == 2; })) << rig.log().join('\n').toStdString();
    const std::string log = rig.log().join('\n').toStdString();
    EXPECT_TRUE(rig.log()[0].startsWith("Real-time priority delayed: the desktop's priority service (RealtimeKit) "
                                        "grants each user only so many requests in a short time"))
        << log;
    EXPECT_TRUE(rig.log()[1].startsWith("Priority raised through RealtimeKit: window thread")) << log;
    EXPECT_TRUE(rig.log()[1].contains("sound threads 101, 102 in SCHED_RR")) << log;
    EXPECT_FALSE(rig.log().join(' ').contains("refused")) << log;
    EXPECT_EQ(kernel.thread(window).nice, -15);
    EXPECT_EQ(kernel.thread(102).policy, SCHED_RR | SCHED_RESET_ON_FORK);

    // Put off again at the next On: said again, and Off ends the asking.
    priority.restoreStartPriority();
    rig.kit->read([&] { return rig.kit->limited = true; });
    PriorityRig::on(priority);
    ASSERT_TRUE(waitFor([&] { return rig.log().size() == 3; }));
    EXPECT_TRUE(rig.log().value(2).startsWith("Real-time priority delayed: ")) << rig.log().value(2).toStdString();
    priority.restoreStartPriority();
    const int asked = rig.kit->read([&] { return rig.kit->highAsks[window]; });
    rig.kit->read([&] { return rig.kit->limited = false; });
    PriorityRig::on(priority); // a fresh On asks at once
    ASSERT_TRUE(waitFor([&] { return kernel.thread(window).nice == -15; }));
    EXPECT_EQ(rig.kit->read([&] { return rig.kit->highAsks[window]; }), asked + 1);
    priority.restoreStartPriority();
}

// A sound thread that computes without pause (the sound library spinning while its stream
// starts) would meet RLIMIT_RTTIME at once in real time: it is asked for once it waits.
TEST(ProcessPriority, ASoundThreadIsAskedForOnlyOnceItStopsComputingWithoutPause)
{
    FakeScheduling kernel;
    PriorityRig rig(kernel);
    kernel.setComputing(201, true);
    ProcessPriority priority(kernel, std::move(rig.requests));
    priority.raiseToRealTime();
    rig.setSound({101, 201});
    priority.raiseSoundThreads();
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->realtimeAsks[101]; }) == 1; }));
    ASSERT_TRUE(rig.settled());
    EXPECT_EQ(rig.kit->read([&] { return rig.kit->realtimeAsks[201]; }), 0);

    kernel.setComputing(201, false);
    ASSERT_TRUE(waitFor([&] { return rig.kit->read([&] { return rig.kit->realtimeAsks[201]; }) == 1; }));
    ASSERT_TRUE(waitFor([&] { return rig.log().join(' ').contains(QStringLiteral("201")); }));
    EXPECT_EQ(kernel.thread(201).policy, SCHED_RR | SCHED_RESET_ON_FORK);
}

// Nothing granted, whether RealtimeKit says no or cannot be reached: one line for the run,
// not one per thread or per power On, and nothing changed.
TEST(ProcessPriority, NothingGrantedIsLoggedOnceWithRealtimeKitsReason)
{
    struct Case {
        const char* refusal;
        const char* unreachable;
    } cases[] = {
        {"Not authorized", ""},
        {"", "no system bus: Connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        FakeScheduling kernel;
        PriorityRig rig(kernel);
        rig.kit->refusal = c.refusal;
        rig.kit->unreachable = c.unreachable;
        rig.setSound({101, 102});
        ProcessPriority priority(kernel, std::move(rig.requests));
        for (int on = 0; on < 2; ++on) {
            PriorityRig::on(priority);
            ASSERT_TRUE(rig.settled());
            priority.restoreStartPriority();
        }
        ASSERT_EQ(rig.log().size(), 1) << rig.log().join('\n').toStdString();
        const QString line = rig.log().value(0);
        EXPECT_TRUE(line.startsWith("Real-time priority refused: ")) << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("(RealtimeKit: %1)").arg(*c.refusal ? c.refusal : c.unreachable)))
            << line.toStdString();
        for (pid_t tid : {gettid(), 101, 102}) {
            EXPECT_EQ(kernel.thread(tid).policy, SCHED_OTHER) << tid;
            EXPECT_EQ(kernel.thread(tid).nice, 0) << tid;
        }
    }
}

// RealtimeKit raises a thread with SCHED_RESET_ON_FORK, which an unprivileged thread may only
// keep: power Off must still bring such a thread back.
TEST(ProcessPriority, ThreadsRaisedWithResetOnForkGoBackWithoutPrivilege)
{
    int result = -2;
    int policyAfter = -2;
    bool dropped = false;
    std::thread([&] {
        sched_param normal{};
        if (sched_setscheduler(0, SCHED_BATCH | SCHED_RESET_ON_FORK, &normal) != 0)
            return;
        // Capabilities are per thread: this one alone loses CAP_SYS_NICE.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (syscall(SYS_capget, &header, data) != 0)
            return;
        data[0].effective &= ~(1u << CAP_SYS_NICE);
        dropped = syscall(SYS_capset, &header, data) == 0;
        result = SchedulingCalls::system().setThreadScheduler(gettid(), SCHED_OTHER, normal);
        policyAfter = sched_getscheduler(0);
    }).join();
    if (!dropped)
        GTEST_SKIP() << "this thread could not take the class or give up CAP_SYS_NICE";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(policyAfter, SCHED_OTHER | SCHED_RESET_ON_FORK);
}

// A real-time thread that computes on without blocking: at the soft RLIMIT_RTTIME the guard
// takes it back to SCHED_OTHER, and the process lives (SIGXCPU would end it, SIGKILL at
// the hard limit). In a child process, as the limit cannot be raised again.
TEST(ProcessPriorityDeathTest, ARealTimeThreadThatNeverBlocksIsTakenBackBeforeTheLimitEndsTheProcess)
{
    sched_param rr{};
    rr.sched_priority = 1;
    bool permitted = false;
    std::thread([&] { permitted = sched_setscheduler(0, SCHED_RR, &rr) == 0; }).join();
    if (!permitted)
        GTEST_SKIP() << "real-time scheduling is not permitted here";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SchedulingCalls& calls = SchedulingCalls::system();
            if (calls.limitRealTimeRuns(200000) != 0 || !calls.guardThread(gettid()) ||
                sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &rr) != 0)
                std::_Exit(3);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while ((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_RR &&
                   std::chrono::steady_clock::now() < deadline) {
            }
            std::_Exit(calls.takeRunLimitHit() && sched_getscheduler(0) == (SCHED_OTHER | SCHED_RESET_ON_FORK) ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orvik
