#pragma once

#include "platform/sound/SoundBackend.h"

#include <cstdint>
#include <vector>

namespace orvik {

// The capture and playback buffers of a SoundBackend, with their cursors and
// notification positions. The device side (deliverCaptured, renderPlayback)
// runs on the audio thread; everything else only while the device is stopped
// or from inside a notification.
class LoopingSoundBuffers {
public:
    void allocate(int32_t captureBytes, int32_t playbackBytes);
    void release();

    int32_t createEvent() { return nextEventId_++; }
    void setNotificationPositions(SoundBufferKind kind, const std::vector<SoundNotifyRecord>& records,
                                  SoundNotificationSink* sink);
    SoundNotificationSink* sink() const { return sink_; }
    const std::vector<SoundNotifyRecord>& notifications(SoundBufferKind kind) const
    {
        return kind == SoundBufferKind::Capture ? captureNotify_ : playbackNotify_;
    }

    // Silence handed to the device first after each reset, ahead of the playback
    // buffer: every block is then taken from its notification that much later,
    // a reserve for blocks that the capture side delivers late.
    void setPlaybackStartSilence(int32_t bytes)
    {
        startSilenceBytes_ = bytes;
        startSilenceLeft_ = bytes;
    }
    int32_t playbackStartSilence() const { return startSilenceBytes_; }

    void readCapture(int32_t offset, int16_t* destination, int32_t bytes) const;
    void writePlayback(int32_t offset, const int16_t* source, int32_t bytes);
    void reset();

    // The device captured `bytes` (nullptr: silence), the first of them at
    // `firstByteAt` (steady-clock nanoseconds; 0 when not known). Fires every capture
    // notification whose offset the cursor passes, after that byte is stored.
    void deliverCaptured(const int16_t* samples, int32_t bytes, int64_t firstByteAt = 0);
    // Capture bytes a second, for the times of notified blocks.
    void setCaptureRate(int32_t bytesPerSecond) { captureBytesPerSecond_ = bytesPerSecond; }
    // From a capture notification, on its thread: when the notified block's last byte was
    // taken; 0 when the device did not say. Only the capture side writes it, so a playback
    // notification on the other thread meanwhile leaves it alone.
    int64_t notifiedBlockCapturedAt() const { return notifiedCapturedAt_; }
    // The device wants `bytes` to play. Fires every playback notification whose
    // offset the cursor passed in the previous call, then hands out the samples.
    void renderPlayback(int16_t* samples, int32_t bytes);

    int32_t captureBytes() const { return static_cast<int32_t>(capture_.size() * 2); }
    int32_t playbackBytes() const { return static_cast<int32_t>(playback_.size() * 2); }

private:
    static void copyWrapped(const std::vector<int16_t>& from, int32_t offset, int16_t* to, int32_t bytes);
    static void storeWrapped(std::vector<int16_t>& into, int32_t offset, const int16_t* from, int32_t bytes);
    // When a byte of a capture was taken: `firstByteAt` is the time of the byte that
    // would lie at buffer offset `firstByteOffset` (negative when it lay before).
    struct CaptureClock {
        int64_t firstByteAt = 0;
        int64_t firstByteOffset = 0;
    };
    // Fire the records with first <= offset <= last, in buffer order.
    void fireCapture(int32_t first, int32_t last, CaptureClock clock);
    void firePlayback(int32_t first, int32_t last);

    std::vector<int16_t> capture_;
    std::vector<int16_t> playback_;
    int32_t captureCursor_ = 0;
    int32_t playbackCursor_ = 0;
    // Byte offsets handed out by the last renderPlayback whose notifications are due.
    struct PassedRange {
        int32_t first = 0;
        int32_t last = -1;
    };
    PassedRange playbackPassed_;
    int32_t startSilenceBytes_ = 0;
    int32_t startSilenceLeft_ = 0;
    int32_t captureBytesPerSecond_ = 0;
    // Capture side only.
    int64_t notifiedCapturedAt_ = 0;
    std::vector<SoundNotifyRecord> captureNotify_;
    std::vector<SoundNotifyRecord> playbackNotify_;
    SoundNotificationSink* sink_ = nullptr;
    int32_t nextEventId_ = 1;
};

} // namespace orvik
