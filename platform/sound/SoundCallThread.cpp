#include "platform/sound/SoundCallThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <thread>
#include <utility>

#include <sched.h>

namespace orvik {

namespace {

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
    std::atomic<int> abandonedTotal{0};
    std::atomic<int> abandonedRunning{0};

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
        std::unique_lock held(lock);
        for (;;) {
            changed.wait(held, [&] { return quit || generation != mine || !queue.empty(); });
            if (quit || generation != mine)
                break;
            Task task = std::move(queue.front());
            queue.pop_front();
            held.unlock();
            task.scheduling.take();
            task.work();
            task.work = nullptr;
            held.lock();
            finished(task.id);
            if (generation != mine)
                break;
        }
        if (generation != mine) {
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

SoundCallThread::SoundCallThread() : shared_(std::make_shared<Shared>()) {}

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
    std::unique_lock held(shared_->lock);
    return shared_->changed.wait_for(held, limit, [&] { return shared_->abandonedRunning.load() == 0; });
}

int SoundCallThread::abandonedCalls() const
{
    return shared_->abandonedTotal.load();
}

int SoundCallThread::abandonedCallsRunning() const
{
    return shared_->abandonedRunning.load();
}

} // namespace orvik
