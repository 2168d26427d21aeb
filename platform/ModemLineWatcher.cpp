#include "platform/ModemLineWatcher.h"

namespace orvik {

ModemLineWatcher::ModemLineWatcher(QObject* parent)
    : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, &ModemLineWatcher::poll);
}

void ModemLineWatcher::start(ModemLines* lines)
{
    lines_ = lines;
    lastStatus_ = 0;
    if (lines_) {
        if (const auto s = lines_->modemStatus())
            lastStatus_ = *s;
        timer_.start();
    } else {
        timer_.stop();
    }
}

void ModemLineWatcher::stop()
{
    timer_.stop();
    lines_ = nullptr;
}

void ModemLineWatcher::poll()
{
    if (!lines_)
        return;
    const auto s = lines_->modemStatus();
    if (!s)
        return;
    const uint32_t changed = *s ^ lastStatus_;
    lastStatus_ = *s;
    // A handler may stop the watcher, so look again before the second event.
    if (changed & ModemStatusCts) {
        commEvent_ = CommEventCts;
        emit commEventRaised(CommEventCts);
    }
    if ((changed & ModemStatusDsr) && lines_) {
        commEvent_ = CommEventDsr;
        emit commEventRaised(CommEventDsr);
    }
}

} // namespace orvik
