#include "platform/sound/PortAudioSoundBackend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace orvik {

namespace {

// ALSA prints a line for every device probe that fails (missing cards, JACK,
// OSS); none of it means anything to the user.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// PortAudio looks for a JACK server on every start, and JACK reports the server it
// did not find in a dozen lines. Its messages are dropped only during that look;
// a JACK server in use later still has its say.
std::atomic<bool> probingJack{false};
void jackMessage(const char* text)
{
    if (!probingJack.load())
        std::fprintf(stderr, "%s\n", text);
}

// When the first sample of a callback's input was taken, on the steady clock; 0 when the
// host API gives no usable time. Only the age of the sample is taken from the stream's
// clock, so the two clocks need not share a base.
int64_t firstSampleTaken(const PaStreamCallbackTimeInfo* timeInfo)
{
    if (!timeInfo || timeInfo->currentTime <= 0 || timeInfo->inputBufferAdcTime <= 0)
        return 0;
    const double age = timeInfo->currentTime - timeInfo->inputBufferAdcTime;
    // Beyond what any device buffers: not a time to go by.
    if (age < 0 || age > 10)
        return 0;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    return now - static_cast<int64_t>(age * 1e9);
}

PaError initialisePortAudio()
{
    static std::once_flag once;
    static PaError result = paNoError;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&quietAlsa);
        // Not finding a server must not start one.
        setenv("JACK_NO_START_SERVER", "1", 0);
        jack_set_error_function(&jackMessage);
        jack_set_info_function(&jackMessage);
        probingJack.store(true);
        result = Pa_Initialize();
        probingJack.store(false);
    });
    return result;
}

} // namespace

PortAudioSoundBackend::PortAudioSoundBackend()
{
    if (initialisePortAudio() == paNoError) {
        playbackDevices_ = devicesWith(false);
        captureDevices_ = devicesWith(true);
    }
}

PortAudioSoundBackend::~PortAudioSoundBackend()
{
    closeDevices();
}

bool PortAudioSoundBackend::available() const
{
    return initialisePortAudio() == paNoError;
}

std::vector<PaDeviceIndex> PortAudioSoundBackend::devicesWith(bool input)
{
    std::vector<PaDeviceIndex> devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && (input ? info->maxInputChannels : info->maxOutputChannels) >= 1)
            devices.push_back(i);
    }
    return devices;
}

namespace {
std::vector<std::string> namesOf(const std::vector<PaDeviceIndex>& devices)
{
    std::vector<std::string> names;
    for (PaDeviceIndex device : devices) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        names.emplace_back(info && info->name ? info->name : "");
    }
    return names;
}
} // namespace

std::vector<std::string> PortAudioSoundBackend::playbackDeviceNames()
{
    return namesOf(playbackDevices_);
}

std::vector<std::string> PortAudioSoundBackend::captureDeviceNames()
{
    return namesOf(captureDevices_);
}

int32_t PortAudioSoundBackend::openDevices(int32_t playbackDevice, int32_t captureDevice)
{
    if (PaError error = initialisePortAudio(); error != paNoError)
        return error;
    if (playbackDevice < 1 || playbackDevice > static_cast<int32_t>(playbackDevices_.size()) ||
        captureDevice < 1 || captureDevice > static_cast<int32_t>(captureDevices_.size()))
        return paInvalidDevice;
    playbackDevice_ = playbackDevices_[static_cast<size_t>(playbackDevice - 1)];
    captureDevice_ = captureDevices_[static_cast<size_t>(captureDevice - 1)];
    return paNoError;
}

int32_t PortAudioSoundBackend::createBuffers(const SoundBufferSetup& setup)
{
    if (playbackDevice_ == paNoDevice || captureDevice_ == paNoDevice)
        return paInvalidDevice;
    if (setup.capture.bitsPerSample != 16 || setup.playback.bitsPerSample != 16)
        return paSampleFormatNotSupported;

    if (!Pa_GetDeviceInfo(captureDevice_) || !Pa_GetDeviceInfo(playbackDevice_))
        return paInvalidDevice;

    // The device moves a block at a time and buffers two such periods. Half-block
    // periods were a block quicker to the ear but woke the sound threads twice as
    // often, costing more CPU than the rest of the program while receiving.
    const int32_t periodFrames = std::max(setup.framesPerBlock, 1);
    PaStreamParameters inParams{};
    inParams.device = captureDevice_;
    inParams.channelCount = setup.capture.channels;
    inParams.sampleFormat = paInt16;
    inParams.suggestedLatency = 2.0 * periodFrames / std::max(setup.capture.samplesPerSecond, 1);
    PaStreamParameters outParams{};
    outParams.device = playbackDevice_;
    outParams.channelCount = setup.playback.channels;
    outParams.sampleFormat = paInt16;
    outParams.suggestedLatency = 2.0 * periodFrames / std::max(setup.playback.samplesPerSecond, 1);

    captureAlign_ = setup.capture.blockAlign();
    playbackAlign_ = setup.playback.blockAlign();
    buffers_.allocate(setup.captureBytes, setup.playbackBytes);
    buffers_.setCaptureRate(setup.capture.samplesPerSecond * setup.capture.blockAlign());
    buffers_.setPlaybackStartSilence(setup.playbackLeadBytes);
    xruns_.store(0);

    const auto frames = static_cast<unsigned long>(periodFrames);
    PaError error = Pa_OpenStream(&inputStream_, &inParams, nullptr, setup.capture.samplesPerSecond, frames,
                                  paNoFlag, &PortAudioSoundBackend::inputCallback, this);
    if (error == paNoError)
        error = Pa_OpenStream(&outputStream_, nullptr, &outParams, setup.playback.samplesPerSecond, frames,
                              paNoFlag, &PortAudioSoundBackend::outputCallback, this);
    for (PaStream* stream : {inputStream_, outputStream_})
        if (error == paNoError)
            error = Pa_SetStreamFinishedCallback(stream, &PortAudioSoundBackend::streamFinished);
    if (error != paNoError) {
        closeStreams();
        buffers_.release();
    }
    return error;
}

// Safe after a failed open: Pa_OpenStream leaves the pointer it could not fill at nullptr.
void PortAudioSoundBackend::closeStreams()
{
    for (PaStream** stream : {&inputStream_, &outputStream_}) {
        if (*stream)
            Pa_CloseStream(*stream);
        *stream = nullptr;
    }
}

void PortAudioSoundBackend::closeDevices()
{
    stop();
    closeStreams();
    buffers_.release();
    playbackDevice_ = paNoDevice;
    captureDevice_ = paNoDevice;
}

int32_t PortAudioSoundBackend::startCapture()
{
    if (!inputStream_ || !outputStream_)
        return paBadStreamPtr;
    playing_.store(false);
    stopping_.store(false);
    for (PaStream* stream : {inputStream_, outputStream_}) {
        if (!stream)
            continue;
        if (PaError error = Pa_StartStream(stream); error != paNoError) {
            stop();
            return error;
        }
    }
    return paNoError;
}

int32_t PortAudioSoundBackend::startPlayback()
{
    if (!outputStream_)
        return paBadStreamPtr;
    playing_.store(true);
    return paNoError;
}

void PortAudioSoundBackend::stop()
{
    stopping_.store(true);
    // Abort rather than stop: a stop would first play out what PortAudio holds,
    // and waits on a device that may be gone.
    for (PaStream* stream : {inputStream_, outputStream_})
        if (stream && Pa_IsStreamStopped(stream) == 0)
            Pa_AbortStream(stream);
    playing_.store(false);
}

bool PortAudioSoundBackend::isRunning()
{
    for (PaStream* stream : {inputStream_, outputStream_})
        if (stream && Pa_IsStreamActive(stream) == 1)
            return true;
    return false;
}

std::string PortAudioSoundBackend::errorText(int32_t error) const
{
    return Pa_GetErrorText(static_cast<PaError>(error));
}

double PortAudioSoundBackend::inputLatency() const
{
    const PaStreamInfo* info = inputStream_ ? Pa_GetStreamInfo(inputStream_) : nullptr;
    return info ? info->inputLatency : 0.0;
}

double PortAudioSoundBackend::outputLatency() const
{
    const PaStreamInfo* info = outputStream_ ? Pa_GetStreamInfo(outputStream_) : nullptr;
    return info ? info->outputLatency : 0.0;
}

void PortAudioSoundBackend::countXrun(PaStreamCallbackFlags statusFlags)
{
    if (statusFlags & (paInputUnderflow | paInputOverflow | paOutputUnderflow | paOutputOverflow))
        xruns_.fetch_add(1, std::memory_order_relaxed);
}

int PortAudioSoundBackend::inputCallback(const void* input, void*, unsigned long frames,
                                         const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                                         void* userData)
{
    auto* self = static_cast<PortAudioSoundBackend*>(userData);
    self->countXrun(statusFlags);
    self->buffers_.deliverCaptured(static_cast<const int16_t*>(input),
                                   static_cast<int32_t>(frames) * self->captureAlign_, firstSampleTaken(timeInfo));
    return paContinue;
}

int PortAudioSoundBackend::outputCallback(const void*, void* output, unsigned long frames,
                                          const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                                          void* userData)
{
    auto* self = static_cast<PortAudioSoundBackend*>(userData);
    self->countXrun(statusFlags);
    auto* out = static_cast<int16_t*>(output);
    const int32_t bytes = static_cast<int32_t>(frames) * self->playbackAlign_;
    if (self->playing_.load(std::memory_order_acquire))
        self->buffers_.renderPlayback(out, bytes);
    else
        std::memset(out, 0, static_cast<size_t>(bytes));
    return paContinue;
}

void PortAudioSoundBackend::streamFinished(void* userData)
{
    auto* self = static_cast<PortAudioSoundBackend*>(userData);
    if (self->stopping_.load())
        return;
    if (SoundNotificationSink* sink = self->buffers_.sink())
        sink->soundDeviceLost();
}

} // namespace orvik
