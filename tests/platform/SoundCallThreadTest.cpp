// The thread that calls into the sound library for the window thread, which waits for
// each call only so long.

#include "platform/sound/SoundCallThread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>
#include <unistd.h>

using namespace orvik;

namespace {

using std::chrono::milliseconds;

// A call that stays inside until the test lets it out, as one waiting on a frozen sound
// server does.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool inside = false;
    bool open = false;
    bool done = false;

    void pass()
    {
        std::unique_lock held(lock);
        inside = true;
        changed.notify_all();
        changed.wait(held, [&] { return open; });
        done = true;
        changed.notify_all();
    }
    void release()
    {
        std::lock_guard held(lock);
        open = true;
        changed.notify_all();
    }
    // Whether the call got to `what` within a minute.
    bool waitFor(bool Gate::*what)
    {
        std::unique_lock held(lock);
        return changed.wait_for(held, std::chrono::minutes(1), [&] { return this->*what; });
    }
};

bool eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

TEST(SoundCallThread, RunsCallsElsewhereGivesUpOnOneThatOverrunsAndGoesOnWithAFreshThread)
{
    SoundCallThread calls;
    const pid_t caller = gettid();
    pid_t ranOn = caller;
    ASSERT_TRUE(calls.run([&] { ranOn = gettid(); }, milliseconds(60000)));
    EXPECT_NE(ranOn, caller);
    EXPECT_EQ(calls.abandonedCalls(), 0);

    auto gate = std::make_shared<Gate>();
    EXPECT_FALSE(calls.run([gate] { gate->pass(); }, milliseconds(50)));
    EXPECT_TRUE(gate->waitFor(&Gate::inside));
    EXPECT_EQ(calls.abandonedCalls(), 1);
    EXPECT_EQ(calls.abandonedCallsRunning(), 1);

    // The stuck call keeps its thread; the next one runs all the same.
    pid_t ranNext = 0;
    ASSERT_TRUE(calls.run([&] { ranNext = gettid(); }, milliseconds(60000)));
    EXPECT_NE(ranNext, ranOn);
    EXPECT_NE(ranNext, caller);

    gate->release();
    EXPECT_TRUE(gate->waitFor(&Gate::done));
    EXPECT_TRUE(eventually([&] { return calls.abandonedCallsRunning() == 0; }));
    EXPECT_EQ(calls.abandonedCalls(), 1);
    int after = 0;
    ASSERT_TRUE(calls.run([&] { after = 7; }, milliseconds(60000)));
    EXPECT_EQ(after, 7);
}

// Calls run in order. A call given up, whether stuck itself or behind the work that followed
// an earlier one, runs on by itself and the rest goes on on a fresh thread; once it returns,
// its after-work runs there in turn, never while it is still inside. One answered in time
// has none.
TEST(SoundCallThread, RunsCallsInOrderAndAGivenUpOneIsFollowedByItsAfterWorkOnceItReturns)
{
    SoundCallThread calls;
    std::mutex orderLock;
    std::vector<std::string> order;
    const auto note = [&](std::string what) {
        return [&, what] {
            std::lock_guard held(orderLock);
            order.push_back(what);
        };
    };
    const auto noted = [&] {
        std::lock_guard held(orderLock);
        return order;
    };
    using Order = std::vector<std::string>;
    ASSERT_TRUE(calls.run(note("call"), milliseconds(60000), note("never")));

    for (const bool stuckBehindAfterWork : {false, true}) {
        SCOPED_TRACE(stuckBehindAfterWork ? "stuck behind after-work" : "stuck itself");
        order.clear();
        auto gate = std::make_shared<Gate>();
        std::function<void()> stuck = [gate] { gate->pass(); };
        if (stuckBehindAfterWork) {
            auto first = std::make_shared<Gate>();
            EXPECT_FALSE(calls.run([first] { first->pass(); }, milliseconds(50), stuck));
            first->release();
            ASSERT_TRUE(gate->waitFor(&Gate::inside));
            stuck = note("late");
        }
        EXPECT_FALSE(calls.run(stuck, milliseconds(50), note("after")));
        ASSERT_TRUE(gate->waitFor(&Gate::inside));
        EXPECT_EQ(calls.abandonedCallsRunning(), 1);
        // The call stuck behind is run elsewhere meanwhile, and its after-work.
        EXPECT_TRUE(eventually([&] { return noted().size() == (stuckBehindAfterWork ? 2u : 0u); }));
        ASSERT_TRUE(calls.run(note("meanwhile"), milliseconds(60000)));
        EXPECT_FALSE(calls.waitForAbandonedCalls(milliseconds(20)));
        gate->release();
        EXPECT_TRUE(calls.waitForAbandonedCalls(milliseconds(60000)));
        EXPECT_EQ(calls.abandonedCallsRunning(), 0);
        ASSERT_TRUE(calls.run(note("next"), milliseconds(60000)));
        const Order expected = stuckBehindAfterWork ? Order{"late", "after", "meanwhile", "next"}
                                                    : Order{"meanwhile", "after", "next"};
        EXPECT_EQ(noted(), expected);
    }
}

// A call that never comes back (a library thread waiting on a lock nothing will release)
// counts as stuck once inside long enough, or at once when its caller says so, and nobody
// waits for it any more; should it come back after all, it counts no longer.
TEST(SoundCallThread, ACallGivenUpThatStaysInsideCountsAsStuckAndIsNoLongerWaitedFor)
{
    for (const bool callerSays : {false, true}) {
        SCOPED_TRACE(callerSays ? "counted by its caller" : "counted after a time");
        SoundCallThread calls(callerSays ? SoundCallThread::kStuckAfter : milliseconds(200));
        auto gate = std::make_shared<Gate>();
        EXPECT_FALSE(calls.run([gate] { gate->pass(); }, milliseconds(50)));
        ASSERT_TRUE(gate->waitFor(&Gate::inside));
        if (callerSays) {
            EXPECT_FALSE(calls.waitForAbandonedCalls(milliseconds(20)));
            calls.countLastGivenUpAsStuck();
        }
        EXPECT_TRUE(calls.waitForAbandonedCalls(milliseconds(callerSays ? 0 : 30000)));
        EXPECT_EQ(calls.stuckCalls(), 1);
        EXPECT_EQ(calls.abandonedCallsRunning(), 1);
        int after = 0;
        ASSERT_TRUE(calls.run([&] { after = 7; }, milliseconds(60000)));
        EXPECT_EQ(after, 7);

        gate->release();
        EXPECT_TRUE(eventually([&] { return calls.abandonedCallsRunning() == 0; }));
        EXPECT_EQ(calls.stuckCalls(), 0);
    }
}

TEST(SoundCallThread, GoingAwayNeverWaitsForAStuckCall)
{
    auto gate = std::make_shared<Gate>();
    {
        SoundCallThread calls;
        EXPECT_FALSE(calls.run([gate] { gate->pass(); }, milliseconds(50)));
        ASSERT_TRUE(gate->waitFor(&Gate::inside));
    }
    // Gone, and the call still inside; it finishes by itself once let out.
    {
        std::lock_guard held(gate->lock);
        EXPECT_FALSE(gate->done);
    }
    gate->release();
    EXPECT_TRUE(gate->waitFor(&Gate::done));
}

// The threads a call makes (a stream's callback thread) inherit the calling thread's
// scheduling class; so must the call itself run in the caller's.
TEST(SoundCallThread, CallsRunInTheCallersSchedulingClass)
{
    SoundCallThread calls;
    const auto classInCall = [&](int policy) {
        int seen = -2;
        std::thread caller([&] {
            sched_param none{};
            ASSERT_EQ(sched_setscheduler(0, policy, &none), 0);
            ASSERT_TRUE(calls.run([&] { seen = sched_getscheduler(0); }, milliseconds(60000)));
        });
        caller.join();
        return seen;
    };
    EXPECT_EQ(classInCall(SCHED_BATCH), SCHED_BATCH);
    EXPECT_EQ(classInCall(SCHED_OTHER), SCHED_OTHER);
    EXPECT_EQ(classInCall(SCHED_BATCH), SCHED_BATCH);
}

} // namespace
