#pragma once

#include "platform/sound/BufferedSoundBackend.h"

#include <portaudio.h>

#include <atomic>
#include <string>
#include <vector>

namespace orvik {

// SoundBackend on PortAudio: an input and an output stream, each with its own
// callback thread, which move samples between the device and the looping
// buffers and fire the notifications. Never one full-duplex stream: on ALSA
// such a stream waits for both directions in one poll loop, and through the
// PulseAudio plugin that loop spins a core whenever one direction is ready
// long before the other (an output sink nobody reads, a suspended sink or
// source, a resampled rate). Nor does it wake the process less: its one thread
// wakes about twice a block, and the plugin's playback thread more often than
// beside two streams.
class PortAudioSoundBackend : public BufferedSoundBackend {
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
    double outputLatency() const override;

private:
    static int inputCallback(const void* input, void* output, unsigned long frames,
                             const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                             void* userData);
    static int outputCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                              void* userData);
    static void streamFinished(void* userData);
    void countXrun(PaStreamCallbackFlags statusFlags);
    void closeStreams();
    static std::vector<PaDeviceIndex> devicesWith(bool input);

    std::vector<PaDeviceIndex> playbackDevices_;
    std::vector<PaDeviceIndex> captureDevices_;
    PaDeviceIndex playbackDevice_ = paNoDevice;
    PaDeviceIndex captureDevice_ = paNoDevice;
    PaStream* inputStream_ = nullptr;
    PaStream* outputStream_ = nullptr;
    int32_t captureAlign_ = 4;
    int32_t playbackAlign_ = 2;
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> xruns_{0};
};

} // namespace orvik
