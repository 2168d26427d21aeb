#include "platform/sound/LoopingSoundBuffers.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace orvik {

void LoopingSoundBuffers::allocate(int32_t captureBytes, int32_t playbackBytes)
{
    capture_.assign(static_cast<size_t>(std::max(captureBytes, 0)) / 2, 0);
    playback_.assign(static_cast<size_t>(std::max(playbackBytes, 0)) / 2, 0);
    captureCursor_ = 0;
    playbackCursor_ = 0;
}

void LoopingSoundBuffers::release()
{
    capture_.clear();
    playback_.clear();
    captureNotify_.clear();
    playbackNotify_.clear();
    sink_ = nullptr;
    captureCursor_ = 0;
    playbackCursor_ = 0;
    playbackPassed_ = {};
    startSilenceBytes_ = 0;
    startSilenceLeft_ = 0;
}

void LoopingSoundBuffers::setNotificationPositions(SoundBufferKind kind,
                                                   const std::vector<SoundNotifyRecord>& records,
                                                   SoundNotificationSink* sink)
{
    (kind == SoundBufferKind::Capture ? captureNotify_ : playbackNotify_) = records;
    sink_ = sink;
}

namespace {

// Calls run(position, count) for the stretches, in samples, that `bytes` from
// byte `offset` cover in a looping buffer of `size` samples.
template <typename Run>
void forEachWrappedRun(size_t size, int32_t offset, int32_t bytes, Run run)
{
    if (size == 0 || bytes <= 0)
        return;
    size_t position = static_cast<size_t>(offset / 2) % size;
    size_t remaining = static_cast<size_t>(bytes / 2);
    while (remaining > 0) {
        const size_t count = std::min(remaining, size - position);
        run(position, count);
        remaining -= count;
        position = 0;
    }
}

} // namespace

void LoopingSoundBuffers::copyWrapped(const std::vector<int16_t>& from, int32_t offset, int16_t* to,
                                      int32_t bytes)
{
    forEachWrappedRun(from.size(), offset, bytes, [&](size_t position, size_t count) {
        std::memcpy(to, from.data() + position, count * sizeof(int16_t));
        to += count;
    });
}

void LoopingSoundBuffers::storeWrapped(std::vector<int16_t>& into, int32_t offset, const int16_t* from,
                                       int32_t bytes)
{
    forEachWrappedRun(into.size(), offset, bytes, [&](size_t position, size_t count) {
        if (from) {
            std::memcpy(into.data() + position, from, count * sizeof(int16_t));
            from += count;
        } else {
            std::fill_n(into.data() + position, count, int16_t{0});
        }
    });
}

void LoopingSoundBuffers::readCapture(int32_t offset, int16_t* destination, int32_t bytes) const
{
    copyWrapped(capture_, offset, destination, bytes);
}

void LoopingSoundBuffers::writePlayback(int32_t offset, const int16_t* source, int32_t bytes)
{
    storeWrapped(playback_, offset, source, bytes);
}

void LoopingSoundBuffers::reset()
{
    std::fill(playback_.begin(), playback_.end(), int16_t{0});
    captureCursor_ = 0;
    playbackCursor_ = 0;
    playbackPassed_ = {};
    startSilenceLeft_ = startSilenceBytes_;
}

void LoopingSoundBuffers::fireCapture(int32_t first, int32_t last, CaptureClock clock)
{
    if (!sink_)
        return;
    for (const SoundNotifyRecord& record : captureNotify_) {
        if (record.offset < first || record.offset > last)
            continue;
        notifiedCapturedAt_ = clock.firstByteAt != 0 && captureBytesPerSecond_ > 0
                                  ? clock.firstByteAt + (record.offset - clock.firstByteOffset) * 1000000000LL /
                                                            captureBytesPerSecond_
                                  : 0;
        sink_->soundNotification(record.eventId);
    }
    notifiedCapturedAt_ = 0;
}

void LoopingSoundBuffers::firePlayback(int32_t first, int32_t last)
{
    if (!sink_)
        return;
    for (const SoundNotifyRecord& record : playbackNotify_)
        if (record.offset >= first && record.offset <= last)
            sink_->soundNotification(record.eventId);
}

void LoopingSoundBuffers::deliverCaptured(const int16_t* samples, int32_t bytes, int64_t firstByteAt)
{
    const int32_t size = captureBytes();
    if (size == 0)
        return;
    CaptureClock clock{firstByteAt, captureCursor_};
    // Store up to each buffer end separately so that a notification always
    // sees its whole block before the cursor moves on.
    while (bytes > 0) {
        const int32_t run = std::min(bytes, size - captureCursor_);
        storeWrapped(capture_, captureCursor_, samples, run);
        fireCapture(captureCursor_, captureCursor_ + run - 1, clock);
        if (samples)
            samples += run / 2;
        bytes -= run;
        // The next run starts at offset 0: the chunk's first byte lay a buffer further back.
        if (captureCursor_ + run >= size)
            clock.firstByteOffset -= size;
        captureCursor_ = (captureCursor_ + run) % size;
    }
}

void LoopingSoundBuffers::renderPlayback(int16_t* samples, int32_t bytes)
{
    const int32_t size = playbackBytes();
    if (size == 0) {
        std::fill_n(samples, bytes / 2, int16_t{0});
        return;
    }
    const int32_t silence = std::min(bytes, startSilenceLeft_);
    std::fill_n(samples, silence / 2, int16_t{0});
    startSilenceLeft_ -= silence;
    samples += silence / 2;
    bytes -= silence;
    while (bytes > 0) {
        const int32_t run = std::min(bytes, size - playbackCursor_);
        // What the cursor passed last time is notified only now, just before the
        // device takes more: a block refilled from its notification is then handed
        // out at once when the buffer holds a single block, instead of a pass later.
        if (playbackPassed_.last >= playbackPassed_.first) {
            const PassedRange passed = std::exchange(playbackPassed_, {});
            firePlayback(passed.first, passed.last);
        }
        copyWrapped(playback_, playbackCursor_, samples, run);
        playbackPassed_ = {playbackCursor_, playbackCursor_ + run - 1};
        samples += run / 2;
        bytes -= run;
        playbackCursor_ = (playbackCursor_ + run) % size;
    }
}

} // namespace orvik
