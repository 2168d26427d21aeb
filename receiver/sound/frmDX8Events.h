#pragma once

#include "receiver/sound/SampleBlock.h"

#include <cstdint>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace orvik {

class ORVIKDX8;

// Brings the sound card's notifications onto the main thread. The sound
// system's thread only calls wake(); the main thread, woken through an eventfd
// watched by the event loop, hands every queued block to the sound card one at
// a time. Owns the two channel arrays that every consumer of a block works on.
class frmDX8Events {
public:
    // Hands itself to SoundCard as its EventForm. Without a running
    // QCoreApplication nothing watches the eventfd; call DeliverPendingBlocks.
    explicit frmDX8Events(ORVIKDX8& SoundCard);
    ~frmDX8Events();
    frmDX8Events(const frmDX8Events&) = delete;
    frmDX8Events& operator=(const frmDX8Events&) = delete;

    SampleBlock Channel1Data{};
    SampleBlock Channel2Data{};

    void DXCallback(int32_t eventid);
    // Safe from any thread and from a real-time callback.
    void wake();
    // Runs the sound card's handler for every block waiting. Returns at once
    // when called from inside a block (the handler let events run): that block
    // keeps its arrays, and the next follows when it has returned.
    void DeliverPendingBlocks();

    // How often the sound card looks at its devices while no block wakes it (a sound server
    // restarted while the receiver is off).
    static constexpr int kDeviceCheckMs = 500;

private:
    ORVIKDX8& SoundCard;
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Lets the sound card look at its devices while no block wakes it.
    std::unique_ptr<QTimer> deviceCheck_;
    bool delivering_ = false;
};

} // namespace orvik
