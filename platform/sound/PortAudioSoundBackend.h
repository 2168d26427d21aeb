#pragma once

#include "platform/sound/BufferedSoundBackend.h"

#include <portaudio.h>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvik {

class SoundCallThread;

// SoundBackend on PortAudio: an input and an output stream, each with its own
// callback thread, which move samples between the device and the looping
// buffers and fire the notifications. Never one full-duplex stream: on ALSA
// such a stream waits for both directions in one poll loop, and through the
// PulseAudio plugin that loop spins a core whenever one direction is ready
// long before the other (an output sink nobody reads, a suspended sink or
// source, a resampled rate). Nor does it wake the process less: its one thread
// wakes about twice a block, and the plugin's playback thread more often than
// beside two streams.
//
// Every call into PortAudio that can wait on the device or the sound server runs on
// the process's sound-call thread within a time limit (see SoundCallThread). A call that
// overruns is given up with its streams and reports kSoundCallTimedOut; the backend never
// touches those streams again, and their callbacks leave it alone. Once the call returns
// (a frozen server thawed), the sound-call thread closes them, and PortAudio is started
// afresh at the next opening. A call that never returns (stuck for good) keeps PortAudio
// from being started afresh for the rest of the run: the device lists read before serve,
// and the log says so once.
class PortAudioSoundBackend : public BufferedSoundBackend {
public:
    // Initialising, opening and starting.
    static constexpr std::chrono::milliseconds kOpenLimit{2000};
    // Stopping, closing and asking whether the streams run.
    static constexpr std::chrono::milliseconds kStopLimit{1000};
    // The most an opening waits for a call given up to come back (a server that thawed
    // lets it within moments) before going on with the device lists read before.
    static constexpr std::chrono::milliseconds kLateCallWait{1000};
    // Starting streams opened before the attempt: those of a sound server that went away
    // and came back since never start, and what is left of the attempt's time opens and
    // starts fresh ones.
    static constexpr std::chrono::milliseconds kStartOpenedBeforeLimit{1400};
    // The least a start given up waits for its second capture stream to be closed.
    static constexpr std::chrono::milliseconds kKeeperCloseLimit{200};

    PortAudioSoundBackend();
    ~PortAudioSoundBackend() override;

    // False when PortAudio could not be initialised (no device then appears).
    bool available() const { return initialised_; }

    std::vector<std::string> playbackDeviceNames() override { return playbackNames_; }
    std::vector<std::string> captureDeviceNames() override { return captureNames_; }
    // After a failure or a lost device PortAudio is started afresh first, so that a
    // device that could not be reached when the lists were made (a sound server that
    // was not running) is found.
    int32_t openDevices(int32_t playbackDevice, int32_t captureDevice) override;
    int32_t createBuffers(const SoundBufferSetup& setup) override;
    void closeDevices() override;
    int32_t startCapture() override;
    int32_t startPlayback() override;
    void stop() override;
    bool isRunning() override;
    std::string errorText(int32_t error) const override;
    void beginAttempt(std::chrono::milliseconds limit) override;
    void endAttempt() override;
    std::vector<std::string> takeLogLines() override;
    // From the sockets the sound library opened with the streams: gone once one of them is
    // closed or its peer hung up; back once the address the last one was connected to takes
    // a connection again.
    bool devicesGone() override;
    bool serverBack() const override;
    bool abandonedCallRunning() const override;
    // The threads that appeared during a call into PortAudio and still run.
    std::vector<pid_t> soundLibraryThreads() const override;

    // Callbacks that reported an input overflow or underflow, or an output
    // underflow or overflow, since the streams were opened.
    uint64_t xruns() const;

    // Latencies PortAudio reports for the open streams, in seconds.
    double inputLatency() const;
    double outputLatency() const override;

private:
    struct Streams;

    // `limit`, cut to what is left of the attempt's time; zero once that is up.
    std::chrono::milliseconds timeLeft(std::chrono::milliseconds limit) const;
    // Runs `call` on the sound-call thread; false when it overran. `afterGivenUp` then runs
    // there once the call has returned.
    static bool withinLimit(std::function<void()> call, std::chrono::milliseconds limit,
                            std::function<void()> afterGivenUp = {});
    // withinLimit for a call on the open streams: they are given up with it when it overruns.
    bool withinLimitOnStreams(std::function<void(Streams&)> call, std::chrono::milliseconds limit);
    static SoundCallThread& callThread();
    // PortAudio started (afresh when asked and nothing of it is in use) and the device
    // lists read, within the limit; false when that overran, and no device is listed.
    bool initialise(bool afresh);
    // Closes the open streams on the sound-call thread; gives them up when that overruns.
    void closeStreams();

    static int inputCallback(const void* input, void* output, unsigned long frames,
                             const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                             void* userData);
    static int outputCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                              void* userData);
    static void streamFinished(void* userData);

    // Whether PortAudio may be started afresh now: after waiting a while for calls given
    // up to come back, none is inside it. Says once in the log when one is stuck for good.
    bool mayStartAfresh();

    bool initialised_ = false;
    std::optional<std::chrono::steady_clock::time_point> attemptEnds_;
    // Counts the attempts: the one the open streams were opened in.
    int attempts_ = 0;
    // PortAudio's start that the device lists come from.
    int generation_ = 0;
    // PortAudio is started afresh before the next opening.
    std::atomic<bool> refreshDevices_{false};
    std::vector<PaDeviceIndex> playbackDevices_;
    std::vector<PaDeviceIndex> captureDevices_;
    std::vector<std::string> playbackNames_;
    std::vector<std::string> captureNames_;
    PaDeviceIndex playbackDevice_ = paNoDevice;
    PaDeviceIndex captureDevice_ = paNoDevice;
    // The sockets of the last opening, kept also after its streams were given up, and the
    // addresses they were connected to.
    std::vector<std::pair<int, ino_t>> connections_;
    std::vector<std::string> serverAddresses_;
    // The open streams, shared with the calls on them; once given up, the call that
    // overran and the closing after it hold them.
    std::shared_ptr<Streams> streams_;
};

} // namespace orvik
