#include "platform/sound/FakeSoundBackend.h"

#include <utility>

namespace orvik {

namespace {
constexpr int32_t kNoSuchDevice = -1;
constexpr int32_t kNotReady = -2;
} // namespace

FakeSoundBackend::FakeSoundBackend(std::vector<std::string> playbackNames,
                                   std::vector<std::string> captureNames)
    : playbackNames_(std::move(playbackNames)), captureNames_(std::move(captureNames))
{
}

void FakeSoundBackend::beginAttempt(std::chrono::milliseconds limit)
{
    attemptOpen_ = true;
    ++attemptsBegun_;
    attemptLimit_ = limit;
}

int32_t FakeSoundBackend::openDevices(int32_t playbackDevice, int32_t captureDevice)
{
    ++openDevicesCalls_;
    callsOutsideAttempt_ += attemptOpen_ ? 0 : 1;
    if (openError != 0)
        return openError;
    if (playbackDevice < 1 || playbackDevice > static_cast<int32_t>(playbackNames_.size()) ||
        captureDevice < 1 || captureDevice > static_cast<int32_t>(captureNames_.size()))
        return kNoSuchDevice;
    devicesOpen_ = true;
    openedPlayback_ = playbackDevice;
    openedCapture_ = captureDevice;
    return 0;
}

int32_t FakeSoundBackend::createBuffers(const SoundBufferSetup& setup)
{
    callsOutsideAttempt_ += attemptOpen_ ? 0 : 1;
    if (!devicesOpen_)
        return kNotReady;
    if (createError != 0)
        return createError;
    setup_ = setup;
    buffers_.allocate(setup.captureBytes, setup.playbackBytes);
    buffers_.setCaptureRate(setup.capture.samplesPerSecond * setup.capture.blockAlign());
    buffers_.setPlaybackStartSilence(setup.playbackLeadBytes);
    buffersCreated_ = true;
    return 0;
}

void FakeSoundBackend::closeDevices()
{
    capturing_ = false;
    playing_ = false;
    buffers_.release();
    buffersCreated_ = false;
    devicesOpen_ = false;
}

int32_t FakeSoundBackend::startCapture()
{
    ++startCaptureCalls_;
    callsOutsideAttempt_ += attemptOpen_ ? 0 : 1;
    if (!buffersCreated_)
        return kNotReady;
    if (startError != 0 && startFailures != 0) {
        if (startFailures > 0)
            --startFailures;
        return startError;
    }
    capturing_ = true;
    return 0;
}

int32_t FakeSoundBackend::startPlayback()
{
    if (!buffersCreated_)
        return kNotReady;
    playing_ = true;
    return 0;
}

void FakeSoundBackend::stop()
{
    if (stopHangs)
        return;
    capturing_ = false;
    playing_ = false;
}

std::string FakeSoundBackend::errorText(int32_t error) const
{
    if (std::string common = commonSoundErrorText(error); !common.empty())
        return common;
    switch (error) {
    case kNoSuchDevice:
        return "No such device";
    case kNotReady:
        return "Device not ready";
    default:
        return "Fake error " + std::to_string(error);
    }
}

bool FakeSoundBackend::pushCapture(const std::vector<int16_t>& samples, int64_t firstSampleAt)
{
    if (!capturing_)
        return false;
    buffers_.deliverCaptured(samples.data(), static_cast<int32_t>(samples.size() * 2), firstSampleAt);
    return true;
}

std::optional<std::vector<int16_t>> FakeSoundBackend::pullPlayback(int32_t samples)
{
    if (!playing_)
        return std::nullopt;
    std::vector<int16_t> played(static_cast<size_t>(samples), 0);
    buffers_.renderPlayback(played.data(), samples * 2);
    return played;
}

void FakeSoundBackend::loseDevice()
{
    capturing_ = false;
    playing_ = false;
    if (SoundNotificationSink* sink = buffers_.sink())
        sink->soundDeviceLost();
}

} // namespace orvik
