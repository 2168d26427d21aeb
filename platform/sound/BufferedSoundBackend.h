#pragma once

#include "platform/sound/LoopingSoundBuffers.h"
#include "platform/sound/SoundBackend.h"

namespace orvik {

// What every device kind keeps in memory: the two looping buffers and their
// notification positions. A subclass only opens, starts and stops the device
// and moves its samples through `buffers_`.
class BufferedSoundBackend : public SoundBackend {
public:
    int32_t createEvent() override { return buffers_.createEvent(); }
    void setNotificationPositions(SoundBufferKind kind, const std::vector<SoundNotifyRecord>& records,
                                  SoundNotificationSink* sink) override
    {
        buffers_.setNotificationPositions(kind, records, sink);
    }
    void readCapture(int32_t offset, int16_t* destination, int32_t bytes) override
    {
        buffers_.readCapture(offset, destination, bytes);
    }
    int64_t notifiedBlockCapturedAt() const override { return buffers_.notifiedBlockCapturedAt(); }
    void writePlayback(int32_t offset, const int16_t* source, int32_t bytes) override
    {
        buffers_.writePlayback(offset, source, bytes);
    }
    void resetBuffers() override { buffers_.reset(); }

protected:
    LoopingSoundBuffers buffers_;
};

} // namespace orvik
