#pragma once

namespace orvik {

// A handler's re-entry flag held for one run: a call that arrives while the handler runs
// (raised by a control it sets, or by events it lets run) sees reentered() and returns.
class ReentryGuard {
public:
    explicit ReentryGuard(bool& flag) : flag_(flag), entered_(!flag) { flag_ = true; }
    ~ReentryGuard()
    {
        if (entered_)
            flag_ = false;
    }
    ReentryGuard(const ReentryGuard&) = delete;
    ReentryGuard& operator=(const ReentryGuard&) = delete;
    bool reentered() const { return !entered_; }

private:
    bool& flag_;
    bool entered_;
};

} // namespace orvik
