#include "shell/ProcessPriority.h"

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <dirent.h>
#include <mutex>
#include <pthread.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace orvik {

namespace {

// Unprivileged, a thread that carries SCHED_RESET_ON_FORK (RealtimeKit sets it on every
// thread it raises) may change its policy only with the flag kept.
int keepingResetOnFork(pid_t tid, int policy, const sched_param& param)
{
    if (sched_setscheduler(tid, policy, &param) == 0)
        return 0;
    const int refusal = errno;
    const int now = sched_getscheduler(tid);
    const int flag = now > 0 ? (now & SCHED_RESET_ON_FORK) : 0;
    if (flag == 0 || (policy & SCHED_RESET_ON_FORK) != 0) {
        errno = refusal;
        return -1;
    }
    return sched_setscheduler(tid, policy | flag, &param);
}

// What a program this process starts begins with; written once, before any such start.
struct ProgramStart {
    int policy = SCHED_OTHER;
    int nice = 0;
    bool runLimitKnown = false;
    rlimit runLimit{};
    bool xcpuIgnored = false;
};
ProgramStart programStart;
std::atomic<bool> programStartRecorded{false};

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

// The threads the SIGXCPU handler takes back: a fixed table, as the handler may not allocate.
constexpr int kGuardSlots = 64;
std::atomic<pid_t> guardedThreads[kGuardSlots];
std::atomic<bool> runLimitHit{false};
std::atomic<rlim_t> guardSoftUsec{0};
std::atomic<rlim_t> guardHardUsec{0};

// Async-signal-safe: a thread id may have been taken by a thread of another process since.
bool threadOfOurs(pid_t tid)
{
    char path[40] = "/proc/self/task/";
    char digits[12];
    int n = 0;
    for (auto v = static_cast<unsigned>(tid); n == 0 || v != 0; v /= 10)
        digits[n++] = static_cast<char>('0' + v % 10);
    int at = 16;
    while (n > 0)
        path[at++] = digits[--n];
    path[at] = '\0';
    return access(path, F_OK) == 0;
}

void onRunLimit(int)
{
    const int savedErrno = errno;
    for (std::atomic<pid_t>& slot : guardedThreads) {
        const pid_t tid = slot.load();
        if (tid <= 0 || !threadOfOurs(tid))
            continue;
        const int policy = sched_getscheduler(tid);
        if (policy < 0)
            continue;
        const int base = policy & ~SCHED_RESET_ON_FORK;
        if (base != SCHED_RR && base != SCHED_FIFO)
            continue;
        sched_param normal{};
        sched_setscheduler(tid, SCHED_OTHER | (policy & SCHED_RESET_ON_FORK), &normal);
    }
    // The kernel moved the soft limit a second up as it sent the signal: the next thread
    // that overruns would meet the hard limit first.
    const rlimit limit{guardSoftUsec.load(), guardHardUsec.load()};
    setrlimit(RLIMIT_RTTIME, &limit);
    runLimitHit.store(true);
    errno = savedErrno;
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
        return forEveryThread([&](pid_t tid) { return keepingResetOnFork(tid, policy, param); });
    }
    int setNice(int nice) override
    {
        return forEveryThread([&](pid_t tid) { return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice); });
    }
    int setThreadScheduler(pid_t thread, int policy, const sched_param& param) override
    {
        return keepingResetOnFork(thread, policy, param);
    }
    int setThreadNice(pid_t thread, int nice) override
    {
        return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice);
    }
    int threadScheduler(pid_t thread) override
    {
        // A thread id of ours that ended may name a thread of another process by now.
        return threadOfOurs(thread) ? sched_getscheduler(thread) : -1;
    }
    int threadNice(pid_t thread, int& nice) override
    {
        if (!threadOfOurs(thread))
            return -1;
        errno = 0;
        const int n = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
        if (errno != 0)
            return -1;
        nice = n;
        return 0;
    }
    int64_t threadCpuNanoseconds(pid_t thread) override
    {
        // The kernel's per-thread CPU clock, named by thread id; it reads threads of this
        // process only.
        const auto clock = static_cast<clockid_t>((~static_cast<unsigned>(thread) << 3) | 6);
        timespec used{};
        if (clock_gettime(clock, &used) != 0)
            return -1;
        return static_cast<int64_t>(used.tv_sec) * 1000000000 + used.tv_nsec;
    }

    int limitRealTimeRuns(long long hardUsec) override
    {
        if (hardUsec < 2)
            return -1;
        recordProgramStart();
        static const bool handled = [] {
            struct sigaction action {};
            action.sa_handler = &onRunLimit;
            action.sa_flags = SA_RESTART;
            sigemptyset(&action.sa_mask);
            return sigaction(SIGXCPU, &action, nullptr) == 0;
        }();
        if (!handled)
            return -1;
        rlimit now{};
        if (getrlimit(RLIMIT_RTTIME, &now) != 0)
            return -1;
        rlim_t hard = static_cast<rlim_t>(hardUsec);
        if (now.rlim_max != RLIM_INFINITY)
            hard = std::min(hard, now.rlim_max);
        guardHardUsec.store(hard);
        guardSoftUsec.store(hard / 2);
        const rlimit limit{hard / 2, hard};
        return setrlimit(RLIMIT_RTTIME, &limit);
    }

    bool guardThread(pid_t thread) override
    {
        for (std::atomic<pid_t>& slot : guardedThreads)
            if (slot.load() == thread)
                return true;
        for (std::atomic<pid_t>& slot : guardedThreads) {
            pid_t free = 0;
            if (slot.compare_exchange_strong(free, thread))
                return true;
        }
        for (std::atomic<pid_t>& slot : guardedThreads) {
            pid_t ended = slot.load();
            if (!threadOfOurs(ended) && slot.compare_exchange_strong(ended, thread))
                return true;
        }
        return false;
    }

    bool takeRunLimitHit() override { return runLimitHit.exchange(false); }
};

// The hard RLIMIT_RTTIME asked for: RealtimeKit's maximum, and at most 200 ms, well above
// any block a sound thread moves and well below what a held-up audible stream would be.
constexpr long long kRunLimitUsec = 200000;

QString threadList(const std::vector<pid_t>& threads)
{
    QStringList ids;
    for (pid_t tid : threads)
        ids << QString::number(tid);
    return ids.join(QStringLiteral(", "));
}

} // namespace

SchedulingCalls& SchedulingCalls::system()
{
    static SystemScheduling calls;
    return calls;
}

void recordProgramStart()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        if (policy == SCHED_BATCH || policy == SCHED_IDLE)
            programStart.policy = policy;
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, 0);
        if (errno == 0)
            programStart.nice = nice;
        programStart.runLimitKnown = getrlimit(RLIMIT_RTTIME, &programStart.runLimit) == 0;
        struct sigaction xcpu {};
        programStart.xcpuIgnored = sigaction(SIGXCPU, nullptr, &xcpu) == 0 && xcpu.sa_handler == SIG_IGN;
        programStartRecorded.store(true);
    });
}

void applyProgramStart()
{
    const bool recorded = programStartRecorded.load();
    // A forked child never carries SCHED_RESET_ON_FORK, and leaving real time or going back
    // up to the nice value the process started with needs no privilege.
    const sched_param normal{};
    sched_setscheduler(0, recorded ? programStart.policy : SCHED_OTHER, &normal);
    setpriority(PRIO_PROCESS, 0, recorded ? programStart.nice : 0);
    if (!recorded)
        return; // then nothing changed the run limit or SIGXCPU either
    rlimit now{};
    if (programStart.runLimitKnown && setrlimit(RLIMIT_RTTIME, &programStart.runLimit) != 0 &&
        getrlimit(RLIMIT_RTTIME, &now) == 0) {
        const rlimit nearest{std::min(programStart.runLimit.rlim_cur, now.rlim_max), now.rlim_max};
        setrlimit(RLIMIT_RTTIME, &nearest);
    }
    // exec turns a handler into the default, but leaves what is ignored ignored.
    struct sigaction xcpu {};
    xcpu.sa_handler = programStart.xcpuIgnored ? SIG_IGN : SIG_DFL;
    sigemptyset(&xcpu.sa_mask);
    sigaction(SIGXCPU, &xcpu, nullptr);
}

// What the request thread and the window thread share; the request thread holds it too,
// so a request under way when the window goes away finds it still there.
struct ProcessPriority::Broker {
    using Clock = std::chrono::steady_clock;
    struct Request {
        pid_t thread = 0;
        bool sound = false;
    };
    struct Outcome {
        pid_t thread = 0;
        bool sound = false;
        bool realTime = false;
        bool nice = false;
        std::string refusal;
    };

    Broker(SchedulingCalls& calls, RealtimeKitRequests requests) : calls(calls), use(std::move(requests)) {}

    SchedulingCalls& calls;
    RealtimeKitRequests use;
    // What power off goes back to.
    int startPolicy = SCHED_OTHER;
    sched_param startParam{};
    int startNice = 0;

    std::mutex lock;
    std::condition_variable wake;
    bool quit = false;
    bool threadStarted = false;
    // Each power on and off begins a new session; an answer of an older one is taken back.
    uint64_t session = 0;
    bool on = false;
    std::set<pid_t> asked;
    // New sound threads not asked for yet: their CPU time at the last look.
    struct Watch {
        int64_t cpu = 0;
        std::chrono::steady_clock::time_point at;
        std::chrono::steady_clock::time_point seen;
    };
    std::map<pid_t, Watch> watching;
    std::deque<Request> queue;
    std::vector<Outcome> outcomes;
    // Threads whose request was given up unanswered, in any session: RealtimeKit may still
    // grant it until `until`, and what it grants then is taken back.
    struct LateWatch {
        bool realTime = false;
        bool nice = false;
        Clock::time_point until;
    };
    std::map<pid_t, LateWatch> lateWatch;
    // Requests of this session RealtimeKit put off for its limit, asked again from
    // `limitedUntil` on.
    std::deque<Request> deferred;
    std::optional<Clock::time_point> limitedUntil;
    bool limitLogged = false;
    // Until the sound has started, nothing of a power on is asked for or reported: an On
    // whose sound does not start is granted nothing and logs no raise. Then the outcomes of
    // the power on go out in one line.
    bool reportHeld = false;
    // RealtimeKit could not be reached this session: why.
    std::string unreachable;
    bool limitsKnown = false;
    RealtimeKitLimits limits;
    bool runLimitTried = false;
    bool runLimitSet = false;
    std::string directRefusal;
    bool refusalLogged = false;

    // Under `lock`: the window thread's new work for the request thread.
    void askFor(pid_t thread, bool sound)
    {
        if (!asked.insert(thread).second)
            return;
        queue.push_back({thread, sound});
        wake.notify_all();
    }
    // Under `lock`: new sound threads are watched, and those that wait like a sound thread
    // are asked for.
    void lookAtSoundThreads()
    {
        const auto now = std::chrono::steady_clock::now();
        if (use.soundThreads)
            for (pid_t tid : use.soundThreads())
                if (!asked.contains(tid) && !watching.contains(tid))
                    watching[tid] = {calls.threadCpuNanoseconds(tid), now, now};
        for (auto it = watching.begin(); it != watching.end();) {
            const int64_t cpu = calls.threadCpuNanoseconds(it->first);
            const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - it->second.at).count();
            if (cpu < 0) {
                it = watching.erase(it);
            } else if (elapsed < kWatchLookMs * 1000000LL * 4 / 5) {
                ++it;
            } else if (static_cast<double>(cpu - it->second.cpu) < kCalmShare * static_cast<double>(elapsed)) {
                askFor(it->first, true);
                it = watching.erase(it);
            } else {
                it->second.cpu = cpu;
                it->second.at = now;
                ++it;
            }
        }
    }
    // A thread that still computes without pause two seconds after it appeared no longer
    // holds back the line of what was granted; it is asked for when it calms down.
    bool watchingNewThreads() const
    {
        const auto now = std::chrono::steady_clock::now();
        return std::any_of(watching.begin(), watching.end(),
                           [&](const auto& w) { return now - w.second.seen < std::chrono::seconds(2); });
    }

    void post(const QString& line)
    {
        if (use.onWindowThread && use.log)
            use.onWindowThread([log = use.log, line] { log(line); });
    }

    // A grant that arrived after the session it was asked in: back to the start.
    void takeBack(pid_t thread)
    {
        calls.setThreadScheduler(thread, startPolicy, startParam);
        calls.setThreadNice(thread, startNice);
    }

    void waitForWork(std::unique_lock<std::mutex>& held)
    {
        using std::chrono::milliseconds;
        const auto ready = [&] {
            return quit || (!reportHeld && (!queue.empty() || (!outcomes.empty() && !watchingNewThreads())));
        };
        std::optional<milliseconds> wait;
        if (on)
            wait = milliseconds(watching.empty() ? kSoundThreadLookMs : kWatchLookMs);
        if (!lateWatch.empty())
            wait = std::min(wait.value_or(use.lateGrantLook), use.lateGrantLook);
        if (limitedUntil) {
            const auto left = std::chrono::ceil<milliseconds>(*limitedUntil - Clock::now());
            wait = std::min(wait.value_or(left), std::max(left, milliseconds(0)));
        }
        // Off, with nothing granted late to look for, nothing wakes the thread but the window.
        if (wait)
            wake.wait_for(held, *wait, ready);
        else
            wake.wait(held, ready);
    }

    // What RealtimeKit granted of a request given up, or after power off, goes back.
    void takeBackLateGrants()
    {
        const auto now = Clock::now();
        for (auto it = lateWatch.begin(); it != lateWatch.end();) {
            const pid_t tid = it->first;
            const int policy = calls.threadScheduler(tid);
            if (policy < 0) {
                it = lateWatch.erase(it);
                continue;
            }
            const int base = policy & ~SCHED_RESET_ON_FORK;
            if (it->second.realTime && (base == SCHED_RR || base == SCHED_FIFO) && base != startPolicy)
                calls.setThreadScheduler(tid, startPolicy, startParam);
            int nice = 0;
            if (it->second.nice && calls.threadNice(tid, nice) == 0 && nice < startNice)
                calls.setThreadNice(tid, startNice);
            if (now >= it->second.until)
                it = lateWatch.erase(it);
            else
                ++it;
        }
    }

    // A call given up may still be acted on; one granted is wanted now.
    void noteReply(pid_t thread, RealtimeKitReply reply, bool realTime)
    {
        if (reply == RealtimeKitReply::NoAnswer) {
            LateWatch& w = lateWatch[thread];
            (realTime ? w.realTime : w.nice) = true;
            w.until = Clock::now() + use.lateGrantWatch;
        } else if (reply == RealtimeKitReply::Granted) {
            const auto it = lateWatch.find(thread);
            if (it == lateWatch.end())
                return;
            (realTime ? it->second.realTime : it->second.nice) = false;
            if (!it->second.realTime && !it->second.nice)
                lateWatch.erase(it);
        }
    }

    // The first request RealtimeKit puts off in a power on says why, once.
    void putOff(const Request& request)
    {
        deferred.push_back(request);
        limitedUntil = Clock::now() + use.limitRetry;
        if (limitLogged)
            return;
        limitLogged = true;
        post(QStringLiteral("Real-time priority delayed: the desktop's priority service (RealtimeKit) grants each "
                            "user only so many requests in a short time, and that many were made just now "
                            "(switching the receiver on and off quickly uses them up); it is asked again every "
                            "%1 s while the receiver is on")
                 .arg(static_cast<double>(use.limitRetry.count()) / 1000.0));
    }

    void run(std::unique_lock<std::mutex>& held)
    {
        for (;;) {
            waitForWork(held);
            if (quit)
                return;
            if (calls.takeRunLimitHit())
                post(QStringLiteral("Real-time priority withdrawn: a sound thread computed for %1 ms without a pause; "
                                    "the sound threads go on at normal priority")
                         .arg(kRunLimitUsec / 2000));
            takeBackLateGrants();
            if (limitedUntil && Clock::now() >= *limitedUntil) {
                limitedUntil.reset();
                queue.insert(queue.begin(), deferred.begin(), deferred.end());
                deferred.clear();
            }
            if ((queue.empty() || reportHeld) && on)
                lookAtSoundThreads();
            if (queue.empty() || reportHeld) {
                report();
                continue;
            }
            const Request request = queue.front();
            queue.pop_front();
            if (limitedUntil) {
                deferred.push_back(request);
                continue;
            }
            const uint64_t askedIn = session;
            if (!unreachable.empty()) {
                outcomes.push_back({request.thread, request.sound, false, false, unreachable});
                continue;
            }
            if (!limitsKnown) {
                RealtimeKitLimits read;
                std::string error;
                held.unlock();
                const bool ok = use.kit->readLimits(read, error);
                held.lock();
                if (quit)
                    return;
                if (session != askedIn)
                    continue;
                if (!ok) {
                    // Asking thread by thread would wait as long again for each.
                    unreachable = error;
                    outcomes.push_back({request.thread, request.sound, false, false, error});
                    continue;
                }
                limits = read;
                limitsKnown = true;
            }
            Outcome outcome{request.thread, request.sound, false, false, {}};
            const bool realTimeWanted = request.sound && limits.maxRealtimePriority >= 1 && runLimitInForce(outcome) &&
                                        calls.guardThread(request.thread);
            RealtimeKitReply reply = RealtimeKitReply::Refused;
            if (realTimeWanted) {
                held.unlock();
                reply = use.kit->makeThreadRealtime(request.thread, 1, outcome.refusal);
                held.lock();
                if (quit)
                    return;
                outcome.realTime = reply == RealtimeKitReply::Granted;
                noteReply(request.thread, reply, true);
            }
            const bool askNice = reply == RealtimeKitReply::Refused || reply == RealtimeKitReply::NotSent;
            if (askNice && limits.minNiceLevel < startNice && session == askedIn) {
                std::string refusal;
                held.unlock();
                reply = use.kit->makeThreadHighPriority(request.thread, limits.minNiceLevel, refusal);
                held.lock();
                if (quit)
                    return;
                outcome.nice = reply == RealtimeKitReply::Granted;
                noteReply(request.thread, reply, false);
                if (outcome.refusal.empty() || reply == RealtimeKitReply::NoAnswer)
                    outcome.refusal = refusal;
            }
            if (session != askedIn) {
                if (outcome.realTime || outcome.nice)
                    takeBack(request.thread);
                continue;
            }
            if (reply == RealtimeKitReply::Limited) {
                putOff(request);
                continue;
            }
            // RealtimeKit is stuck (polkit, most likely): each further call would wait as long
            // and only add to what it may grant late.
            if (reply == RealtimeKitReply::NoAnswer)
                unreachable = outcome.refusal;
            if (!outcome.realTime && !outcome.nice && outcome.refusal.empty())
                outcome.refusal = "nothing above this process's own priority is allowed";
            outcomes.push_back(std::move(outcome));
        }
    }

    // RLIMIT_RTTIME, which RealtimeKit requires before it grants real time.
    bool runLimitInForce(Outcome& outcome)
    {
        if (!runLimitTried) {
            runLimitTried = true;
            const long long hard = std::min<long long>(limits.rttimeUSecMax, kRunLimitUsec);
            runLimitSet = calls.limitRealTimeRuns(hard) == 0;
        }
        if (!runLimitSet)
            outcome.refusal = "RLIMIT_RTTIME could not be set";
        return runLimitSet;
    }

    // One line for what the requests of a power on (or of sound threads found later) came to.
    void report()
    {
        if (outcomes.empty() || reportHeld || watchingNewThreads())
            return;
        std::vector<pid_t> realTime, niceSound, refused;
        QString window;
        QStringList reasons;
        for (const Outcome& o : outcomes) {
            if (!o.sound && o.nice)
                window = QStringLiteral("window thread %1 at nice %2").arg(o.thread).arg(limits.minNiceLevel);
            else if (o.realTime)
                realTime.push_back(o.thread);
            else if (o.nice)
                niceSound.push_back(o.thread);
            if (!o.realTime && !o.nice)
                refused.push_back(o.thread);
            if (!o.refusal.empty() && !reasons.contains(QString::fromStdString(o.refusal)))
                reasons << QString::fromStdString(o.refusal);
        }
        outcomes.clear();
        QStringList granted;
        if (!window.isEmpty())
            granted << window;
        if (!realTime.empty())
            granted << QStringLiteral("sound threads %1 in SCHED_RR at priority 1").arg(threadList(realTime));
        if (!niceSound.empty())
            granted << QStringLiteral("sound threads %1 at nice %2").arg(threadList(niceSound)).arg(limits.minNiceLevel);
        if (granted.isEmpty()) {
            // Once a run: an operator without the right learns it once, not at every power on.
            if (refusalLogged)
                return;
            refusalLogged = true;
            post(QStringLiteral("Real-time priority refused: %1 (RealtimeKit: %2)")
                     .arg(QString::fromStdString(directRefusal), reasons.join(QStringLiteral("; "))));
            return;
        }
        QString line = QStringLiteral("Priority raised through RealtimeKit: ") + granted.join(QStringLiteral("; "));
        if (!refused.empty())
            line += QStringLiteral("; refused for %1 (%2)").arg(threadList(refused), reasons.join(QStringLiteral("; ")));
        else if (!reasons.isEmpty())
            line += QStringLiteral("; real time refused (%1)").arg(reasons.join(QStringLiteral("; ")));
        post(line);
    }
};

ProcessPriority::ProcessPriority(SchedulingCalls& calls) : calls_(calls)
{
    recordProgramStart();
    policy_ = calls_.getScheduler();
    sched_param p{};
    if (calls_.getParam(p) == 0)
        schedPriority_ = p.sched_priority;
    if (calls_.getNice(nice_) != 0)
        nice_ = 0;
}

ProcessPriority::ProcessPriority(SchedulingCalls& calls, RealtimeKitRequests requests) : ProcessPriority(calls)
{
    if (!requests.kit)
        return;
    broker_ = std::make_shared<Broker>(calls, std::move(requests));
    broker_->startPolicy = policy_ >= 0 ? policy_ : SCHED_OTHER;
    broker_->startParam.sched_priority = policy_ >= 0 ? schedPriority_ : 0;
    broker_->startNice = nice_;
}

ProcessPriority::~ProcessPriority()
{
    if (!broker_)
        return;
    std::lock_guard held(broker_->lock);
    broker_->quit = true;
    broker_->wake.notify_all();
}

bool ProcessPriority::raiseToRealTime()
{
    sched_param p{};
    p.sched_priority = sched_get_priority_min(SCHED_RR);
    // Without SCHED_RESET_ON_FORK, which the kernel applies to new threads as well: the
    // threads the sound library starts while on must carry the class. A program started
    // while on is put back to normal between fork and exec instead (applyProgramStart).
    if (calls_.setScheduler(SCHED_RR, p) == 0)
        return true;
    const int refusal = errno;
    if (!broker_)
        return false;
    std::lock_guard held(broker_->lock);
    Broker& b = *broker_;
    b.directRefusal = std::string("the process may not raise itself (") + std::strerror(refusal) + ")";
    ++b.session;
    b.on = true;
    b.asked.clear();
    b.watching.clear();
    b.queue.clear();
    b.outcomes.clear();
    b.reportHeld = true;
    b.unreachable.clear();
    b.deferred.clear();
    b.limitedUntil.reset();
    b.limitLogged = false;
    // Read afresh at each power on: the service may have been started or changed since.
    b.limitsKnown = false;
    b.askFor(gettid(), false);
    b.lookAtSoundThreads();
    if (!b.threadStarted) {
        b.threadStarted = true;
        // Detached: the destructor never waits for a request to the bus.
        std::thread([broker = broker_] {
            pthread_setname_np(pthread_self(), "rtkit-requests");
            std::unique_lock held(broker->lock);
            broker->run(held);
        }).detach();
    }
    return false;
}

void ProcessPriority::raiseSoundThreads()
{
    if (!broker_)
        return;
    std::lock_guard held(broker_->lock);
    if (!broker_->on)
        return;
    broker_->lookAtSoundThreads();
    broker_->reportHeld = false;
    broker_->wake.notify_all();
}

void ProcessPriority::restoreStartPriority()
{
    if (broker_) {
        // First: an answer that arrives from here on is taken back by the request thread.
        std::lock_guard held(broker_->lock);
        ++broker_->session;
        broker_->on = false;
        broker_->watching.clear();
        broker_->queue.clear();
        broker_->outcomes.clear();
        broker_->deferred.clear();
        broker_->limitedUntil.reset();
        broker_->wake.notify_all();
    }
    if (policy_ >= 0) {
        sched_param p{};
        p.sched_priority = schedPriority_;
        calls_.setScheduler(policy_, p);
    }
    calls_.setNice(nice_);
}

} // namespace orvik
