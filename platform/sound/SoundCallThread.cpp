#include "platform/sound/SoundCallThread.h"

#include <condition_variable>
#include <thread>
#include <utility>

#include <sched.h>

namespace orvik {

// One thread and the call handed to it. The thread holds the worker (and the call) itself,
// so nothing it touches goes away while it runs, whoever gave up on it.
struct SoundCallThread::Worker {
    std::mutex lock;
    std::condition_variable changed;
    std::function<void()> call;
    bool pending = false;  // `call` waits to be run
    bool finished = false; // the last call returned
    bool abandoned = false;
    bool quit = false;
    int policy = SCHED_OTHER;
    sched_param priority{};

    void loop(const std::shared_ptr<Abandoned>& counts)
    {
        std::unique_lock held(lock);
        for (;;) {
            changed.wait(held, [&] { return pending || quit; });
            if (!pending)
                return;
            pending = false;
            std::function<void()> work = std::move(call);
            call = nullptr;
            const int wantedPolicy = policy;
            const sched_param wantedPriority = priority;
            held.unlock();
            takeScheduling(wantedPolicy, wantedPriority);
            work();
            work = nullptr;
            held.lock();
            finished = true;
            if (abandoned) {
                counts->running.fetch_sub(1);
                return;
            }
            changed.notify_all();
        }
    }

    static void takeScheduling(int wantedPolicy, const sched_param& wantedPriority)
    {
        sched_param now{};
        if (sched_getscheduler(0) == wantedPolicy && sched_getparam(0, &now) == 0 &&
            now.sched_priority == wantedPriority.sched_priority)
            return;
        // Refused where the caller's class is not permitted to this thread: it keeps its own.
        sched_setscheduler(0, wantedPolicy, &wantedPriority);
    }
};

SoundCallThread::SoundCallThread() = default;

SoundCallThread::~SoundCallThread()
{
    std::lock_guard caller(callerLock_);
    if (!worker_)
        return;
    std::lock_guard held(worker_->lock);
    worker_->quit = true;
    worker_->changed.notify_all();
}

bool SoundCallThread::run(std::function<void()> call, std::chrono::milliseconds limit)
{
    std::lock_guard caller(callerLock_);
    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        // Detached: nothing ever waits for the thread to end, which an abandoned call may never do.
        std::thread([worker = worker_, counts = abandoned_] { worker->loop(counts); }).detach();
    }
    const std::shared_ptr<Worker> worker = worker_;
    std::unique_lock held(worker->lock);
    worker->call = std::move(call);
    worker->pending = true;
    worker->finished = false;
    worker->policy = sched_getscheduler(0);
    if (worker->policy < 0 || sched_getparam(0, &worker->priority) != 0) {
        worker->policy = SCHED_OTHER;
        worker->priority = sched_param{};
    }
    worker->changed.notify_all();
    if (worker->changed.wait_for(held, limit, [&] { return worker->finished; }))
        return true;
    worker->abandoned = true;
    abandoned_->total.fetch_add(1);
    abandoned_->running.fetch_add(1);
    held.unlock();
    worker_.reset();
    return false;
}

} // namespace orvik
