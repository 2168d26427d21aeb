#include "platform/ModemLineWatcher.h"

#include "platform/Log.h"

namespace orvik {

ModemLineWatcher::ModemLineWatcher(QObject* parent)
    : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(knobInterval_);
    connect(&timer_, &QTimer::timeout, this, &ModemLineWatcher::poll);
}

void ModemLineWatcher::setPollInterval(int milliseconds)
{
    knobInterval_ = milliseconds;
    if (!readFailing_)
        timer_.setInterval(milliseconds);
}

void ModemLineWatcher::start(ModemLines* lines, const QString& device)
{
    lines_ = lines;
    device_ = device;
    lastStatus_ = 0;
    readFailing_ = false;
    timer_.setInterval(knobInterval_);
    if (lines_) {
        if (const auto s = lines_->modemStatus())
            lastStatus_ = *s;
        else
            statusReadFailed();
        timer_.start();
    } else {
        timer_.stop();
    }
}

void ModemLineWatcher::stop()
{
    timer_.stop();
    lines_ = nullptr;
    readFailing_ = false;
    timer_.setInterval(knobInterval_);
}

QString ModemLineWatcher::logName() const
{
    return objectName().isEmpty() ? QStringLiteral("ModemLineWatcher") : objectName();
}

QString ModemLineWatcher::watchedPort() const
{
    return device_.isEmpty() ? QStringLiteral("the serial port") : device_;
}

void ModemLineWatcher::statusReadFailed()
{
    if (readFailing_)
        return;
    readFailing_ = true;
    timer_.setInterval(FailedReadRetryMs);
    AddLog(logName() + QStringLiteral(": cannot read the knob's lines (CTS, DSR) of ") + watchedPort()
           + QStringLiteral(" (") + lines_->lastError() + QStringLiteral("); trying again once a second"));
}

void ModemLineWatcher::statusReadsAgain()
{
    readFailing_ = false;
    timer_.setInterval(knobInterval_);
    AddLog(logName() + QStringLiteral(": the knob's lines of ") + watchedPort() + QStringLiteral(" read again"));
}

void ModemLineWatcher::poll()
{
    if (!lines_)
        return;
    const auto s = lines_->modemStatus();
    if (!s) {
        statusReadFailed();
        return;
    }
    if (readFailing_)
        statusReadsAgain();
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
