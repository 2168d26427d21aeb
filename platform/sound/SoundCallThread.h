#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace orvik {

// Runs calls into the sound library on a thread of their own, one at a time, while the
// caller waits for each at most a given time. A sound server that died or froze can keep
// such a call from ever returning; the window thread must not wait with it. A call that
// overruns is abandoned where it is: it runs on (or never returns) by itself, and the next
// call gets a fresh thread. A call must therefore own what it touches (capture by value or
// shared pointer), since its caller may be gone when it returns.
//
// The thread takes the caller's scheduling class before each call: the threads the
// library makes inside a call (a stream's callback thread) inherit it from the thread
// that makes them, as they would from the caller.
class SoundCallThread {
public:
    SoundCallThread();
    // Never waits for a call: an abandoned one is left running.
    ~SoundCallThread();
    SoundCallThread(const SoundCallThread&) = delete;
    SoundCallThread& operator=(const SoundCallThread&) = delete;

    // Runs `call` and waits at most `limit` for it; false when it overran. One caller at a time.
    bool run(std::function<void()> call, std::chrono::milliseconds limit);

    // Calls that overran, since the object was made, and those of them still running.
    int abandonedCalls() const { return abandoned_->total.load(); }
    int abandonedCallsRunning() const { return abandoned_->running.load(); }

private:
    struct Worker;
    struct Abandoned {
        std::atomic<int> total{0};
        std::atomic<int> running{0};
    };

    std::mutex callerLock_;
    std::shared_ptr<Worker> worker_;
    std::shared_ptr<Abandoned> abandoned_ = std::make_shared<Abandoned>();
};

} // namespace orvik
