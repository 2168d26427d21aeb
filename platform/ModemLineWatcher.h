#pragma once

#include "platform/ModemLines.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

namespace orvik {

// Turns CTS and DSR changes of an open port into comm events on the thread
// that owns the watcher (the main thread), the way the serial control raised
// its OnComm event. It polls the status with a short precise timer: the
// TIOCMIWAIT wait is missing from many USB adapter drivers, and a poll keeps
// every event on the main thread without a helper thread to stop. At 1 ms
// it follows a hand-turned knob; each look is one TIOCMGET.
class ModemLineWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int CommEventCts = 3;
    static constexpr int CommEventDsr = 4;
    // A status read that fails (a pseudo-terminal, an adapter pulled out) fails again at
    // once: it is tried this often until it answers, not at the knob's pace.
    static constexpr int FailedReadRetryMs = 1000;

    explicit ModemLineWatcher(QObject* parent = nullptr);

    // Starts watching; the present line state is the baseline, so no event
    // fires for it. The lines object must outlive the watching. The device
    // names the port in the log line of a failing read.
    void start(ModemLines* lines, const QString& device = QString());
    void stop();
    bool isWatching() const { return lines_ != nullptr; }

    // The event last raised (3 CTS, 4 DSR), 0 before any.
    int CommEvent() const { return commEvent_; }

    // The knob's pace; while the status read fails the watcher looks only once a
    // second, and pollInterval() says so.
    void setPollInterval(int milliseconds);
    int pollInterval() const { return timer_.interval(); }
    bool statusReadFailing() const { return readFailing_; }

    // One look at the lines; raises an event per changed input, CTS first.
    void poll();

signals:
    void commEventRaised(int commEvent);

private:
    void statusReadFailed();
    void statusReadsAgain();
    QString logName() const;
    QString watchedPort() const;

    QTimer timer_;
    int knobInterval_ = 1;
    bool readFailing_ = false;
    QString device_;
    ModemLines* lines_ = nullptr;
    uint32_t lastStatus_ = 0;
    int commEvent_ = 0;
};

} // namespace orvik
