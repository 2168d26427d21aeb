#include "platform/sound/PortAudioSoundBackend.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

namespace orvik {

namespace {

// ALSA prints a line for every device probe that fails (missing cards, JACK,
// OSS); none of it means anything to the user.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

PaError initialisePortAudio()
{
    static std::once_flag once;
    static PaError result = paNoError;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&quietAlsa);
        result = Pa_Initialize();
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

    const PaDeviceInfo* in = Pa_GetDeviceInfo(captureDevice_);
    const PaDeviceInfo* out = Pa_GetDeviceInfo(playbackDevice_);
    if (!in || !out)
        return paInvalidDevice;

    PaStreamParameters inParams{};
    inParams.device = captureDevice_;
    inParams.channelCount = setup.capture.channels;
    inParams.sampleFormat = paInt16;
    inParams.suggestedLatency = in->defaultHighInputLatency;
    PaStreamParameters outParams{};
    outParams.device = playbackDevice_;
    outParams.channelCount = setup.playback.channels;
    outParams.sampleFormat = paInt16;
    outParams.suggestedLatency = out->defaultHighOutputLatency;

    captureAlign_ = setup.capture.blockAlign();
    playbackAlign_ = setup.playback.blockAlign();
    buffers_.allocate(setup.captureBytes, setup.playbackBytes);
    xruns_.store(0);

    const auto frames = static_cast<unsigned long>(setup.framesPerBlock);
    PaError error = paNoError;
    if (in->hostApi == out->hostApi) {
        error = Pa_OpenStream(&duplexStream_, &inParams, &outParams, setup.capture.samplesPerSecond, frames,
                              paNoFlag, &PortAudioSoundBackend::streamCallback, &duplexRole_);
        if (error == paNoError)
            Pa_SetStreamFinishedCallback(duplexStream_, &PortAudioSoundBackend::streamFinished);
    } else {
        error = Pa_OpenStream(&inputStream_, &inParams, nullptr, setup.capture.samplesPerSecond, frames,
                              paNoFlag, &PortAudioSoundBackend::streamCallback, &inputRole_);
        if (error == paNoError) {
            Pa_SetStreamFinishedCallback(inputStream_, &PortAudioSoundBackend::streamFinished);
            error = Pa_OpenStream(&outputStream_, nullptr, &outParams, setup.playback.samplesPerSecond,
                                  frames, paNoFlag, &PortAudioSoundBackend::streamCallback, &outputRole_);
        }
        if (error == paNoError)
            Pa_SetStreamFinishedCallback(outputStream_, &PortAudioSoundBackend::streamFinished);
    }
    if (error != paNoError) {
        // Pa_OpenStream leaves the stream pointer untouched on failure.
        for (PaStream** stream : {&duplexStream_, &inputStream_, &outputStream_}) {
            if (*stream)
                Pa_CloseStream(*stream);
            *stream = nullptr;
        }
        buffers_.release();
    }
    return error;
}

void PortAudioSoundBackend::closeDevices()
{
    stop();
    for (PaStream** stream : {&duplexStream_, &inputStream_, &outputStream_}) {
        if (*stream)
            Pa_CloseStream(*stream);
        *stream = nullptr;
    }
    buffers_.release();
    playbackDevice_ = paNoDevice;
    captureDevice_ = paNoDevice;
}

void PortAudioSoundBackend::setNotificationPositions(SoundBufferKind kind,
                                                     const std::vector<SoundNotifyRecord>& records,
                                                     SoundNotificationSink* sink)
{
    buffers_.setNotificationPositions(kind, records, sink);
}

void PortAudioSoundBackend::readCapture(int32_t offset, int16_t* destination, int32_t bytes)
{
    buffers_.readCapture(offset, destination, bytes);
}

void PortAudioSoundBackend::writePlayback(int32_t offset, const int16_t* source, int32_t bytes)
{
    buffers_.writePlayback(offset, source, bytes);
}

int32_t PortAudioSoundBackend::startCapture()
{
    if (!duplexStream_ && !inputStream_)
        return paBadStreamPtr;
    playing_.store(false);
    stopping_.store(false);
    for (PaStream* stream : {duplexStream_, inputStream_, outputStream_}) {
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
    if (!duplexStream_ && !outputStream_)
        return paBadStreamPtr;
    playing_.store(true);
    return paNoError;
}

void PortAudioSoundBackend::stop()
{
    stopping_.store(true);
    // Abort rather than stop: a stop would first play out what PortAudio holds,
    // and waits on a device that may be gone.
    for (PaStream* stream : {duplexStream_, inputStream_, outputStream_})
        if (stream && Pa_IsStreamStopped(stream) == 0)
            Pa_AbortStream(stream);
    playing_.store(false);
}

bool PortAudioSoundBackend::isRunning()
{
    for (PaStream* stream : {duplexStream_, inputStream_, outputStream_})
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
    PaStream* stream = duplexStream_ ? duplexStream_ : inputStream_;
    const PaStreamInfo* info = stream ? Pa_GetStreamInfo(stream) : nullptr;
    return info ? info->inputLatency : 0.0;
}

double PortAudioSoundBackend::outputLatency() const
{
    PaStream* stream = duplexStream_ ? duplexStream_ : outputStream_;
    const PaStreamInfo* info = stream ? Pa_GetStreamInfo(stream) : nullptr;
    return info ? info->outputLatency : 0.0;
}

int PortAudioSoundBackend::streamCallback(const void* input, void* output, unsigned long frames,
                                          const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                                          void* userData)
{
    const auto* role = static_cast<const StreamRole*>(userData);
    if (statusFlags & (paInputUnderflow | paInputOverflow | paOutputUnderflow | paOutputOverflow))
        role->backend->xruns_.fetch_add(1, std::memory_order_relaxed);
    role->backend->process(*role, input, output, frames);
    return paContinue;
}

void PortAudioSoundBackend::process(const StreamRole& role, const void* input, void* output,
                                    unsigned long frames)
{
    const auto count = static_cast<int32_t>(frames);
    if (role.input)
        buffers_.deliverCaptured(static_cast<const int16_t*>(input), count * captureAlign_);
    if (role.output) {
        auto* out = static_cast<int16_t*>(output);
        if (playing_.load(std::memory_order_acquire))
            buffers_.renderPlayback(out, count * playbackAlign_);
        else
            std::memset(out, 0, static_cast<size_t>(count * playbackAlign_));
    }
}

void PortAudioSoundBackend::streamFinished(void* userData)
{
    auto* role = static_cast<StreamRole*>(userData);
    PortAudioSoundBackend* self = role->backend;
    if (self->stopping_.load())
        return;
    if (SoundNotificationSink* sink = self->buffers_.sink())
        sink->soundDeviceLost();
}

} // namespace orvik
