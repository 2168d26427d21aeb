#include "receiver/sound/frmDX8Events.h"

#include "platform/Log.h"
#include "receiver/sound/ORVIKDX8.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvik {

frmDX8Events::frmDX8Events(ORVIKDX8& SoundCard) : SoundCard(SoundCard)
{
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        AddLog(QStringLiteral("Error:frmDX8Events: no eventfd (%1); sound blocks will not be delivered")
                   .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (wakeFd_ >= 0 && QCoreApplication::instance()) {
        notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { DeliverPendingBlocks(); });
        deviceCheck_ = std::make_unique<QTimer>();
        QObject::connect(deviceCheck_.get(), &QTimer::timeout, [this] {
            if (!delivering_)
                this->SoundCard.CheckDevice();
        });
        deviceCheck_->start(kDeviceCheckMs);
    }
    SoundCard.setEventForm(this);
    SoundCard.sethWnd(wakeFd_);
}

frmDX8Events::~frmDX8Events()
{
    deviceCheck_.reset();
    if (SoundCard.EventForm() == this) {
        // Without the form no block can be delivered; stopping first also
        // keeps the sound thread from waking a form that is gone.
        SoundCard.StopSound();
        SoundCard.setEventForm(nullptr);
    }
    notifier_.reset();
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

void frmDX8Events::DXCallback(int32_t eventid)
{
    SoundCard.EventHandler(eventid, Channel1Data, Channel2Data);
}

void frmDX8Events::wake()
{
    if (wakeFd_ < 0)
        return;
    const uint64_t one = 1;
    // A full counter already means "wake up"; nothing to do on failure.
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void frmDX8Events::DeliverPendingBlocks()
{
    // Read first: the descriptor stays readable (and the notifier keeps firing)
    // until the counter is drained, also while a block is being handled.
    if (wakeFd_ >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
    }
    if (delivering_)
        return;
    delivering_ = true;
    SoundCard.CheckDevice();
    while (true) {
        const int32_t eventid = SoundCard.GiveUpStaleCaptures();
        if (eventid == 0)
            break;
        DXCallback(eventid);
    }
    delivering_ = false;
}

} // namespace orvik
