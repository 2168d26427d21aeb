#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

// PCM wave format of one buffer.
struct SoundFormat {
    int32_t channels = 2;
    int32_t samplesPerSecond = 48000;
    int32_t bitsPerSample = 16;

    int32_t blockAlign() const { return bitsPerSample * channels / 8; }
};

// Sizes of the two looping buffers; a block is what one notification covers.
struct SoundBufferSetup {
    SoundFormat capture;
    int32_t captureBytes = 0;
    SoundFormat playback;
    int32_t playbackBytes = 0;
    int32_t framesPerBlock = 2048;
    // Silence the device plays after each reset before the playback buffer's first byte.
    int32_t playbackLeadBytes = 0;
};

// A notification fires when the buffer's cursor has passed `offset` (in bytes).
struct SoundNotifyRecord {
    int32_t offset = 0;
    int32_t eventId = 0;
};

enum class SoundBufferKind { Capture, Playback };

// Error numbers any backend may report beside its own.
// The streams ended without being asked to (device unplugged, sound server gone).
inline constexpr int32_t kSoundDeviceLost = 1;
// A call into the sound system did not return in time; it was given up.
inline constexpr int32_t kSoundCallTimedOut = 2;

// The text of one of those numbers; empty for any other.
inline std::string commonSoundErrorText(int32_t error)
{
    if (error == kSoundDeviceLost)
        return "The device stopped unexpectedly";
    if (error == kSoundCallTimedOut)
        return "The sound system did not answer in time";
    return {};
}

// Receives the notifications. Called on whatever thread the sound system uses,
// so an implementation must not block, allocate or touch Qt objects.
class SoundNotificationSink {
public:
    virtual ~SoundNotificationSink() = default;
    virtual void soundNotification(int32_t eventId) = 0;
    // The stream ended without being asked to (device unplugged, server gone).
    virtual void soundDeviceLost() = 0;
};

// A full-duplex sound device seen as two looping buffers with position
// notifications: a capture buffer that the device fills and a playback buffer
// that it plays, both read and written by block at byte offsets.
// Error numbers are 0 for success and otherwise backend specific, never 0.
class SoundBackend {
public:
    virtual ~SoundBackend() = default;

    virtual std::vector<std::string> playbackDeviceNames() = 0;
    virtual std::vector<std::string> captureDeviceNames() = 0;

    // Device numbers are 1-based positions in the lists above.
    virtual int32_t openDevices(int32_t playbackDevice, int32_t captureDevice) = 0;
    virtual int32_t createBuffers(const SoundBufferSetup& setup) = 0;
    // Releases buffers, notifications and devices; safe to call at any time.
    virtual void closeDevices() = 0;

    // A fresh non-zero event identifier.
    virtual int32_t createEvent() = 0;
    virtual void setNotificationPositions(SoundBufferKind kind,
                                          const std::vector<SoundNotifyRecord>& records,
                                          SoundNotificationSink* sink) = 0;

    // Called from a notification, or while the buffers are stopped.
    virtual void readCapture(int32_t offset, int16_t* destination, int32_t bytes) = 0;
    // From a capture notification: when the notified block's last sample was taken, in
    // nanoseconds of the steady clock; 0 when the device does not say.
    virtual int64_t notifiedBlockCapturedAt() const { return 0; }
    virtual void writePlayback(int32_t offset, const int16_t* source, int32_t bytes) = 0;
    // Silences the playback buffer and rewinds both cursors; only while stopped.
    virtual void resetBuffers() = 0;

    // Capture loops from here on; playback stays silent until startPlayback.
    virtual int32_t startCapture() = 0;
    virtual int32_t startPlayback() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() = 0;

    virtual std::string errorText(int32_t error) const = 0;
    // The calls from beginAttempt to endAttempt (a power on, an opening) share one time
    // limit: a sound system that does not answer costs the caller that long in all, not
    // that long for each call. A call the time is up for reports kSoundCallTimedOut.
    virtual void beginAttempt(std::chrono::milliseconds) {}
    virtual void endAttempt() {}
    // Lines for the program's log, from the sound library and about it, since the last
    // call; main thread.
    virtual std::vector<std::string> takeLogLines() { return {}; }
    // Seconds from a block handed to the device to its being heard; 0 when not known.
    virtual double outputLatency() const { return 0; }
    // A call into the sound system that was given up has not returned yet: the process
    // must neither wait for it nor tear down what it may still use.
    virtual bool abandonedCallRunning() const { return false; }
    // Whether the sound server the open devices were opened on has gone since: their streams
    // would never start again, and fresh ones are to be opened, from device lists read again,
    // once a server answers. Cheap; main thread.
    virtual bool devicesGone() { return false; }
    // Whether a sound server answers again where the last opened devices' one was. Cheap;
    // main thread.
    virtual bool serverBack() const { return false; }
    // The sound library's own threads still alive (stream callbacks, plugin threads), which
    // carry the sound; safe from any thread.
    virtual std::vector<pid_t> soundLibraryThreads() const { return {}; }
};

} // namespace orvik
