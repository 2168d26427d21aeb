#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace orvik {

// Runs calls into the sound library on a thread of their own, one at a time and in the
// order they came, while the caller waits for each at most a given time. A sound server
// that died or froze can keep such a call from ever returning; the window thread must not
// wait with it. When a caller's wait overruns, the thread is given up where it is: its
// call runs on (or never returns) by itself, and the calls still queued go on in order on
// a fresh thread. A call must therefore own what it touches (capture by value or shared
// pointer), since its caller may be gone when it returns.
//
// A call given up that is still inside after `stuckAfter` from its start is counted as
// stuck for good (a library thread waiting on a lock nothing will release): nobody waits
// for it any more, though it may still return some day.
//
// The thread takes the caller's scheduling class before each call: the threads the
// library makes inside a call (a stream's callback thread) inherit it from the thread
// that makes them, as they would from the caller.
class SoundCallThread {
public:
    static constexpr std::chrono::milliseconds kStuckAfter{10000};

    explicit SoundCallThread(std::chrono::milliseconds stuckAfter = kStuckAfter);
    // Never waits for a call: a given-up one is left running, queued ones are dropped.
    ~SoundCallThread();
    SoundCallThread(const SoundCallThread&) = delete;
    SoundCallThread& operator=(const SoundCallThread&) = delete;

    // Runs `call` and waits at most `limit` for it; false when it overran. One caller at a
    // time. Once a call given up has returned, `afterGivenUp` is queued behind the calls
    // made meanwhile: whatever the late call left behind is put right in turn, as work of
    // its own rather than inside the next caller's call.
    bool run(std::function<void()> call, std::chrono::milliseconds limit, std::function<void()> afterGivenUp = {});

    // Calls that overran, since the object was made, and the threads they kept that have
    // not come back yet, the stuck ones among them.
    int abandonedCalls() const;
    int abandonedCallsRunning() const;
    int stuckCalls() const;
    // The call given up last counts as stuck from now on: its caller knows it will not come
    // back (the library answered, yet the call stayed inside).
    void countLastGivenUpAsStuck();
    // Waits at most `limit` for every call given up to have returned or to count as stuck;
    // true when none is left to wait for.
    bool waitForAbandonedCalls(std::chrono::milliseconds limit);

private:
    struct Shared;

    std::mutex callerLock_;
    std::shared_ptr<Shared> shared_;
};

} // namespace orvik
