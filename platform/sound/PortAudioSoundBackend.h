#pragma once

#include "platform/sound/LoopingSoundBuffers.h"
#include "platform/sound/SoundBackend.h"

#include <portaudio.h>

#include <atomic>
#include <string>
#include <vector>

namespace orvik {

// SoundBackend on PortAudio. One full-duplex stream when both devices belong to
// the same host API, otherwise an input and an output stream. The stream
// callbacks move samples between the device and the looping buffers and fire
// the notifications on PortAudio's thread.
class PortAudioSoundBackend : public SoundBackend {
public:
    PortAudioSoundBackend();
    ~PortAudioSoundBackend() override;

    // False when PortAudio could not be initialised (no device then appears).
    bool available() const;

    std::vector<std::string> playbackDeviceNames() override;
    std::vector<std::string> captureDeviceNames() override;
    int32_t openDevices(int32_t playbackDevice, int32_t captureDevice) override;
    int32_t createBuffers(const SoundBufferSetup& setup) override;
    void closeDevices() override;
    int32_t createEvent() override { return buffers_.createEvent(); }
    void setNotificationPositions(SoundBufferKind kind, const std::vector<SoundNotifyRecord>& records,
                                  SoundNotificationSink* sink) override;
    void readCapture(int32_t offset, int16_t* destination, int32_t bytes) override;
    void writePlayback(int32_t offset, const int16_t* source, int32_t bytes) override;
    void resetBuffers() override { buffers_.reset(); }
    int32_t startCapture() override;
    int32_t startPlayback() override;
    void stop() override;
    bool isRunning() override;
    std::string errorText(int32_t error) const override;

    // Callbacks that reported an input overflow or underflow, or an output
    // underflow or overflow, since the streams were opened.
    uint64_t xruns() const { return xruns_.load(); }

    // Latencies PortAudio reports for the open streams, in seconds.
    double inputLatency() const;
    double outputLatency() const;

private:
    struct StreamRole {
        PortAudioSoundBackend* backend;
        bool input;
        bool output;
    };

    static int streamCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                              void* userData);
    static void streamFinished(void* userData);
    void process(const StreamRole& role, const void* input, void* output, unsigned long frames);
    static std::vector<PaDeviceIndex> devicesWith(bool input);

    LoopingSoundBuffers buffers_;
    std::vector<PaDeviceIndex> playbackDevices_;
    std::vector<PaDeviceIndex> captureDevices_;
    PaDeviceIndex playbackDevice_ = paNoDevice;
    PaDeviceIndex captureDevice_ = paNoDevice;
    PaStream* duplexStream_ = nullptr;
    PaStream* inputStream_ = nullptr;
    PaStream* outputStream_ = nullptr;
    StreamRole duplexRole_{this, true, true};
    StreamRole inputRole_{this, true, false};
    StreamRole outputRole_{this, false, true};
    int32_t captureAlign_ = 4;
    int32_t playbackAlign_ = 2;
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> xruns_{0};
};

} // namespace orvik
