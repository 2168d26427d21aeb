#include "platform/sound/SoundCallThread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <set>
#include <thread>
#include <utility>

#include <pthread.h>
#include <sched.h>

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

struct Scheduling {
    int policy = SCHED_OTHER;
    sched_param priority{};

    static Scheduling ofThisThread()
    {
        Scheduling s;
        s.policy = sched_getscheduler(0);
        if (s.policy < 0 || sched_getparam(0, &s.priority) != 0)
            s = Scheduling{};
        return s;
    }

    void take() const
    {
        sched_param now{};
        if (sched_getscheduler(0) == policy && sched_getparam(0, &now) == 0 &&
            now.sched_priority == priority.sched_priority)
            return;
        // Refused where the caller's class is not permitted to this thread: it keeps its own.
        sched_setscheduler(0, policy, &priority);
    }
};

} // namespace

// The queue and its threads. Every thread holds it, so nothing a thread touches goes away
// while it runs, whoever gave up on it. Only the thread of the current `generation` takes
// calls; one of an older generation was given up and ends once its call returns.
struct SoundCallThread::Shared : std::enable_shared_from_this<Shared> {
    struct Task {
        std::function<void()> work;
        uint64_t id = 0; // 0 for what follows a given-up call
        Scheduling scheduling;
    };
    struct GivenUp {
        std::function<void()> after;
        Scheduling scheduling;
    };

    std::mutex lock;
    std::condition_variable changed;
    std::deque<Task> queue;
    // Calls given up that have not returned yet, by id, with what is to follow them.
    std::map<uint64_t, GivenUp> givenUp;
    uint64_t lastId = 0;
    uint64_t waitedFor = 0;
    bool waitedDone = false;
    int generation = 0;
    bool threadLive = false;
    bool quit = false;
    std::chrono::milliseconds stuckAfter;
    // Since when each thread has been inside its current work, by generation.
    std::map<int, Clock::time_point> working;
    // The generations of the threads given up that have not ended yet, of the last of them,
    // and of those counted stuck whatever their time.
    std::set<int> abandoned;
    int lastAbandoned = -1;
    std::set<int> stuckAnyway;
    std::atomic<int> abandonedTotal{0};
    std::atomic<int> abandonedRunning{0};

    explicit Shared(std::chrono::milliseconds stuckAfter) : stuckAfter(stuckAfter) {}

    // Under `lock`: when the given-up thread `g` counts, or counted, as stuck; never for one
    // that is between two pieces of work, which ends at once.
    Clock::time_point stuckFrom(int g) const
    {
        if (stuckAnyway.count(g) != 0)
            return Clock::time_point::min();
        const auto since = working.find(g);
        return since == working.end() ? Clock::time_point::max() : since->second + stuckAfter;
    }
    int stuckNow() const
    {
        const auto now = Clock::now();
        return static_cast<int>(
            std::count_if(abandoned.begin(), abandoned.end(), [&](int g) { return stuckFrom(g) <= now; }));
    }

    // Under `lock`.
    void ensureThread()
    {
        if (threadLive || quit)
            return;
        threadLive = true;
        // Detached: nothing ever waits for a thread to end, which a given-up call may never do.
        std::thread([self = shared_from_this(), mine = generation] { self->loop(mine); }).detach();
    }

    void loop(int mine)
    {
        // Told apart from the library's own threads in a list of the process's threads.
        pthread_setname_np(pthread_self(), "sound calls");
        std::unique_lock held(lock);
        for (;;) {
            changed.wait(held, [&] { return quit || generation != mine || !queue.empty(); });
            if (quit || generation != mine)
                break;
            Task task = std::move(queue.front());
            queue.pop_front();
            working[mine] = Clock::now();
            held.unlock();
            task.scheduling.take();
            task.work();
            task.work = nullptr;
            held.lock();
            working.erase(mine);
            finished(task.id);
            if (generation != mine)
                break;
        }
        stuckAnyway.erase(mine);
        if (abandoned.erase(mine) != 0) {
            abandonedRunning.fetch_sub(1);
            changed.notify_all();
        }
    }

    // Under `lock`: the call `id` returned. What follows a given-up one is queued before
    // its thread counts as back, so that anyone who waits for the given-up calls to come
    // back finds it ahead of their next call.
    void finished(uint64_t id)
    {
        if (id != 0 && id == waitedFor)
            waitedDone = true;
        if (const auto late = givenUp.find(id); late != givenUp.end()) {
            if (late->second.after)
                queue.push_back(Task{std::move(late->second.after), 0, late->second.scheduling});
            givenUp.erase(late);
            ensureThread();
        }
        changed.notify_all();
    }
};

SoundCallThread::SoundCallThread(std::chrono::milliseconds stuckAfter)
    : shared_(std::make_shared<Shared>(stuckAfter))
{
}

SoundCallThread::~SoundCallThread()
{
    std::lock_guard caller(callerLock_);
    std::lock_guard held(shared_->lock);
    shared_->quit = true;
    shared_->changed.notify_all();
}

bool SoundCallThread::run(std::function<void()> call, std::chrono::milliseconds limit,
                          std::function<void()> afterGivenUp)
{
    std::lock_guard caller(callerLock_);
    Shared& s = *shared_;
    std::unique_lock held(s.lock);
    const uint64_t id = ++s.lastId;
    const Scheduling scheduling = Scheduling::ofThisThread();
    s.queue.push_back(Shared::Task{std::move(call), id, scheduling});
    s.waitedFor = id;
    s.waitedDone = false;
    s.ensureThread();
    s.changed.notify_all();
    const bool answered = s.changed.wait_for(held, limit, [&] { return s.waitedDone; });
    s.waitedFor = 0;
    if (answered)
        return true;
    // The thread is inside this call or one queued before it; the calls behind go on elsewhere.
    s.givenUp[id] = Shared::GivenUp{std::move(afterGivenUp), scheduling};
    s.abandoned.insert(s.generation);
    s.lastAbandoned = s.generation;
    ++s.generation;
    s.threadLive = false;
    s.abandonedTotal.fetch_add(1);
    s.abandonedRunning.fetch_add(1);
    if (!s.queue.empty())
        s.ensureThread();
    s.changed.notify_all();
    return false;
}

bool SoundCallThread::waitForAbandonedCalls(std::chrono::milliseconds limit)
{
    Shared& s = *shared_;
    const auto deadline = Clock::now() + limit;
    std::unique_lock held(s.lock);
    for (;;) {
        // Woken when a thread ends; the last to turn stuck is waited for by the clock.
        auto allStuck = Clock::time_point::min();
        for (const int g : s.abandoned)
            allStuck = std::max(allStuck, s.stuckFrom(g));
        const auto now = Clock::now();
        if (allStuck <= now)
            return true;
        if (now >= deadline)
            return false;
        s.changed.wait_until(held, std::min(allStuck, deadline));
    }
}

int SoundCallThread::abandonedCalls() const
{
    return shared_->abandonedTotal.load();
}

int SoundCallThread::abandonedCallsRunning() const
{
    return shared_->abandonedRunning.load();
}

void SoundCallThread::countLastGivenUpAsStuck()
{
    std::lock_guard held(shared_->lock);
    if (shared_->abandoned.count(shared_->lastAbandoned) != 0)
        shared_->stuckAnyway.insert(shared_->lastAbandoned);
    shared_->changed.notify_all();
}

int SoundCallThread::stuckCalls() const
{
    std::lock_guard held(shared_->lock);
    return shared_->stuckNow();
}

} // namespace orvik
