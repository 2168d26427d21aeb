#pragma once

#include "platform/RealtimeKit.h"

#include <QString>

#include <chrono>

#include <sched.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orvik {

// The scheduling calls ProcessPriority makes on this process, so a test can
// stand in for the kernel. Each returns 0 on success, as the system calls do.
class SchedulingCalls {
public:
    virtual ~SchedulingCalls() = default;
    virtual int getScheduler() = 0; // the policy, or -1
    virtual int getParam(sched_param& param) = 0;
    virtual int getNice(int& nice) = 0;
    // On every thread of the process; the calling thread's result.
    virtual int setScheduler(int policy, const sched_param& param) = 0;
    virtual int setNice(int nice) = 0;
    // On one thread of the process.
    virtual int setThreadScheduler(pid_t thread, int policy, const sched_param& param) = 0;
    virtual int setThreadNice(pid_t thread, int nice) = 0;
    // The policy of a thread of the process, or -1 once it has ended.
    virtual int threadScheduler(pid_t thread) = 0;
    virtual int threadNice(pid_t thread, int& nice) = 0;
    // CPU time a thread of the process has used, in nanoseconds; -1 once it has ended.
    virtual int64_t threadCpuNanoseconds(pid_t thread) = 0;

    // A real-time thread that computes longer than RLIMIT_RTTIME without blocking is sent
    // SIGXCPU, which ends the process, and at the hard limit SIGKILL. This caps the hard
    // limit at `hardUsec` (never raising it) and sets the soft limit at half of it, after
    // installing a SIGXCPU handler that moves every guarded thread back to SCHED_OTHER, so
    // that none of them ever reaches the hard limit.
    virtual int limitRealTimeRuns(long long hardUsec) = 0;
    // Puts a thread under that handler; false when no more can be guarded.
    virtual bool guardThread(pid_t thread) = 0;
    // The handler took threads back since the last call.
    virtual bool takeRunLimitHit() = 0;

    // The real calls on the calling process.
    static SchedulingCalls& system();
};

// Where the process may not raise itself: the desktop's RealtimeKit is asked instead, on a
// thread of its own, for the threads that carry the sound.
struct RealtimeKitRequests {
    std::unique_ptr<RealtimeKit> kit;
    // The sound library's threads now alive; called from the request thread.
    std::function<std::vector<pid_t>()> soundThreads;
    // Runs a piece of work on the window thread, later.
    std::function<void(std::function<void()>)> onWindowThread;
    // Writes one line of the program log; run on the window thread.
    std::function<void(const QString&)> log;
    // How long a request given up unanswered is watched for a late grant, and how often.
    std::chrono::milliseconds lateGrantWatch = RealtimeKit::kLateActionLimit;
    std::chrono::milliseconds lateGrantLook{500};
    // How soon requests RealtimeKit put off for its limit are asked again. It counts a
    // user's requests in 20 s bursts, so the wait is at most 20 s and this much more.
    std::chrono::milliseconds limitRetry{2000};
};

// Power on asks for real-time scheduling; power off goes back to the scheduling and nice
// value the process started with, since an ordinary process could never leave an idle
// priority again.
//
// Where the direct raise is refused and RealtimeKit is given, the sound library's threads
// are asked round-robin real time at a low priority and the window thread, which runs the
// signal processing and may compute for long (a band plan, a dialog), RealtimeKit's
// highest nice level: never real time, as a real-time thread that runs past RLIMIT_RTTIME
// without blocking is killed. For the same reason a sound thread is asked only once it
// waits as a sound thread does: the sound library's threads can spin while a stream
// starts (the ALSA PulseAudio plugin until its source delivers). Each thread is asked once
// per power on; threads the sound library starts later are found and asked while the power
// is on. A request RealtimeKit puts off for its limit is asked again while the power is on.
// A grant that arrives after power off, or after its call was given up, is taken back.
// A program this process starts begins as it would from a shell: in the class and at the
// nice value this process started with (never real time, whatever power On raised), and
// with the RLIMIT_RTTIME and SIGXCPU disposition this process had at its start, which the
// requests to RealtimeKit change. recordProgramStart takes them down, once, before anything
// changes them (ProcessPriority does so as it is made); applyProgramStart sets them in a
// child between fork and exec and is async-signal-safe. Where the kernel refuses the run
// limit (a hard limit cannot be raised without CAP_SYS_RESOURCE), the soft limit comes as
// near to it as the hard one allows.
void recordProgramStart();
void applyProgramStart();

class ProcessPriority {
public:
    // Records the priority at start.
    explicit ProcessPriority(SchedulingCalls& calls = SchedulingCalls::system());
    ProcessPriority(SchedulingCalls& calls, RealtimeKitRequests requests);
    // Never waits for a request under way.
    ~ProcessPriority();
    ProcessPriority(const ProcessPriority&) = delete;
    ProcessPriority& operator=(const ProcessPriority&) = delete;

    // True when the round-robin real-time class was granted directly. On the window thread.
    bool raiseToRealTime();
    // After the sound started, and only then: RealtimeKit is asked for the window thread and
    // the sound threads, and what it granted is logged once they are answered. An On whose
    // sound did not start goes to restoreStartPriority without it.
    void raiseSoundThreads();
    void restoreStartPriority();

    // How long the request thread waits between looks at the sound threads while on: for
    // new threads, and while new threads are watched.
    static constexpr int kSoundThreadLookMs = 500;
    static constexpr int kWatchLookMs = 50;
    // A sound thread is asked for once it used less than this share of a core since the last look.
    static constexpr double kCalmShare = 0.05;

private:
    struct Broker;

    SchedulingCalls& calls_;
    int policy_ = 0;
    int schedPriority_ = 0;
    int nice_ = 0;
    std::shared_ptr<Broker> broker_;
};

} // namespace orvik
