#pragma once

#include "platform/sound/BufferedSoundBackend.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvik {

// A sound device driven by the caller: each pushCapture is what the device
// captured, each pullPlayback what it played. Notifications fire synchronously
// on the caller's thread.
class FakeSoundBackend : public BufferedSoundBackend {
public:
    FakeSoundBackend(std::vector<std::string> playbackNames = {"Fake playback"},
                     std::vector<std::string> captureNames = {"Fake capture"});

    std::vector<std::string> playbackDeviceNames() override { return playbackNames_; }
    std::vector<std::string> captureDeviceNames() override { return captureNames_; }
    int32_t openDevices(int32_t playbackDevice, int32_t captureDevice) override;
    int32_t createBuffers(const SoundBufferSetup& setup) override;
    void closeDevices() override;
    int32_t startCapture() override;
    int32_t startPlayback() override;
    void stop() override;
    bool isRunning() override { return capturing_ || playing_; }
    std::string errorText(int32_t error) const override;
    void beginAttempt(std::chrono::milliseconds limit) override;
    void endAttempt() override { attemptOpen_ = false; }
    std::vector<std::string> takeLogLines() override { return std::exchange(logLines, {}); }
    bool devicesGone() override { return devicesOpen_ && serverGone; }
    bool serverBack() const override { return serverAnswers; }

    // One captured chunk of interleaved samples, the first taken at `firstSampleAt`
    // (steady-clock nanoseconds; 0: the device does not say); false (and nothing
    // happens) while capture is not running.
    bool pushCapture(const std::vector<int16_t>& samples, int64_t firstSampleAt = 0);
    // What the device plays next (`samples` interleaved samples); nullopt while
    // playback is not running.
    std::optional<std::vector<int16_t>> pullPlayback(int32_t samples);
    // The device disappears: the stream ends and the sink is told.
    void loseDevice();

    // Error numbers handed out by the next calls; 0 lets them succeed. startError
    // fails that many starts (every start when negative).
    int32_t openError = 0;
    int32_t createError = 0;
    int32_t startError = 0;
    int32_t startFailures = -1;
    // A device that keeps reporting "running" after stop.
    bool stopHangs = false;
    // The sound server of the open devices went away, and whether one answers again.
    bool serverGone = false;
    bool serverAnswers = false;
    // Handed out, and emptied, by the next takeLogLines.
    std::vector<std::string> logLines;

    bool devicesOpen() const { return devicesOpen_; }
    bool capturing() const { return capturing_; }
    bool playing() const { return playing_; }
    int32_t openedPlaybackDevice() const { return openedPlayback_; }
    int32_t openedCaptureDevice() const { return openedCapture_; }
    const SoundBufferSetup& bufferSetup() const { return setup_; }
    const std::vector<SoundNotifyRecord>& notifications(SoundBufferKind kind) const
    {
        return buffers_.notifications(kind);
    }
    int32_t startCaptureCalls() const { return startCaptureCalls_; }
    int32_t openDevicesCalls() const { return openDevicesCalls_; }
    // Attempts begun, the limit of the last, and the openings and starts made outside one.
    int32_t attemptsBegun() const { return attemptsBegun_; }
    std::chrono::milliseconds attemptLimit() const { return attemptLimit_; }
    int32_t callsOutsideAttempt() const { return callsOutsideAttempt_; }

private:
    std::vector<std::string> playbackNames_;
    std::vector<std::string> captureNames_;
    SoundBufferSetup setup_;
    bool devicesOpen_ = false;
    bool buffersCreated_ = false;
    bool capturing_ = false;
    bool playing_ = false;
    int32_t openedPlayback_ = 0;
    int32_t openedCapture_ = 0;
    int32_t startCaptureCalls_ = 0;
    int32_t openDevicesCalls_ = 0;
    bool attemptOpen_ = false;
    int32_t attemptsBegun_ = 0;
    std::chrono::milliseconds attemptLimit_{0};
    int32_t callsOutsideAttempt_ = 0;
};

} // namespace orvik
