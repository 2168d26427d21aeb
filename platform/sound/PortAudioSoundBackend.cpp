#include "platform/sound/PortAudioSoundBackend.h"

#include "platform/sound/SoundCallThread.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <pa_linux_alsa.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

namespace orvik {

namespace {

// While PortAudio starts it looks at every device it might list, and ALSA and JACK report
// each one missing (cards, OSS, a JACK server) in dozens of lines that mean nothing to the
// user. What they say during that look is dropped; a JACK server in use later still has
// its say, and ALSA's lines go to the program's log.
std::atomic<bool> listingDevices{false};

void jackMessage(const char* text)
{
    if (!listingDevices.load())
        std::fprintf(stderr, "%s\n", text);
}

// Lines for the program's log, gathered on whatever thread the sound library speaks on
// and taken on the window thread; a bounded number, in case nobody takes them for long.
struct LogLines {
    static constexpr size_t kMost = 100;
    std::mutex lock;
    std::vector<std::string> lines;
    size_t dropped = 0;

    void add(std::string line)
    {
        std::lock_guard held(lock);
        if (lines.size() < kMost)
            lines.push_back(std::move(line));
        else
            ++dropped;
    }
    std::vector<std::string> take()
    {
        std::lock_guard held(lock);
        std::vector<std::string> taken = std::move(lines);
        lines.clear();
        if (dropped != 0)
            taken.push_back(std::to_string(dropped) + " more lines of the sound library were left out");
        dropped = 0;
        return taken;
    }
};
LogLines logLines;

void alsaMessage(const char* file, int line, const char* function, int error, const char* format, ...)
{
    if (listingDevices.load())
        return;
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string said = text;
    while (!said.empty() && std::isspace(static_cast<unsigned char>(said.back())))
        said.pop_back();
    std::string entry = std::string("ALSA ") + (file ? file : "") + ":" + std::to_string(line) + " (" +
                        (function ? function : "") + "): " + said;
    if (error != 0)
        entry += std::string(": ") + snd_strerror(error);
    logLines.add(std::move(entry));
}

// PortAudio's own count of 10 ms waits for an ALSA device that is busy when opened.
constexpr int kAlsaBusyRetries = 100;

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

// PortAudio for the whole process: started by the first backend and kept, since every
// start looks for JACK and unloading the device modules leaves nothing gained. Touched only
// on the sound-call thread.
struct Library {
    std::atomic<bool> started{false};
    // Counts the starts: device lists read before the last one are out of date.
    std::atomic<int> generation{0};
    // Stream pairs that may hold PortAudio streams, in any backend, from their opening until
    // both are closed, those given up to a call that overran included: a fresh start would
    // close them under their owner or under the call still inside them.
    std::atomic<int> openStreams{0};
    // Streams whose start failed after PortAudio had made and joined their callback
    // thread: PortAudio takes them for running and would cancel and join that thread
    // again to stop or close them, hitting whatever thread has its handle by then. Never
    // touched again; nor, therefore, may PortAudio be terminated, which closes them.
    std::atomic<int> unclosableStreams{0};
    // The calls stuck for good, and streams set aside, that the log has told of.
    int stuckTold = 0;
    bool unclosableTold = false;
};
Library library;

int currentGeneration() { return library.generation.load(); }

// Started unless it is; started afresh (to list again the devices it can open) when asked
// and nothing of it is in use. True when it was started here.
bool startPortAudio(bool afresh)
{
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&alsaMessage);
        // Not finding a server must not start one.
        setenv("JACK_NO_START_SERVER", "1", 0);
        jack_set_error_function(&jackMessage);
        jack_set_info_function(&jackMessage);
    });
    if (library.started && !(afresh && library.openStreams == 0 && library.unclosableStreams == 0))
        return false;
    listingDevices.store(true);
    if (library.started)
        Pa_Terminate();
    library.started = Pa_Initialize() == paNoError;
    listingDevices.store(false);
    ++library.generation;
    return true;
}

// Whether the answer to opening a device afresh says it could be opened: busy with our own
// stream or refusing the format of a second opening, it is there.
bool reachable(PaError answer)
{
    return answer == paNoError || answer == paDeviceUnavailable || answer == paInvalidSampleRate ||
           answer == paInvalidChannelCount || answer == paSampleFormatNotSupported;
}

std::vector<PaDeviceIndex> devicesWith(bool input)
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

std::vector<std::string> namesOf(const std::vector<PaDeviceIndex>& devices)
{
    std::vector<std::string> names;
    for (PaDeviceIndex device : devices) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        names.emplace_back(info && info->name ? info->name : "");
    }
    return names;
}

// The threads of this process now.
std::vector<pid_t> threadsNow()
{
    std::vector<pid_t> threads;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            if (const long tid = std::strtol(entry->d_name, nullptr, 10); tid > 0)
                threads.push_back(static_cast<pid_t>(tid));
        closedir(tasks);
    }
    std::sort(threads.begin(), threads.end());
    return threads;
}

// The socket inode a descriptor of this process is, 0 for anything else. Read from the
// descriptor's link rather than by fstat: the descriptors are other threads' (the sound
// libraries', D-Bus's), and an fstat would use them unsynchronised with their owners.
ino_t socketInode(const char* descriptor)
{
    char path[64];
    char target[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%s", descriptor);
    const ssize_t length = readlink(path, target, sizeof target - 1);
    if (length <= 0)
        return 0;
    target[length] = '\0';
    unsigned long long inode = 0;
    return std::sscanf(target, "socket:[%llu]", &inode) == 1 ? static_cast<ino_t>(inode) : 0;
}

// The sockets of this process now, as (descriptor, inode), in descriptor order.
std::vector<std::pair<int, ino_t>> socketsNow()
{
    std::vector<std::pair<int, ino_t>> sockets;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end == entry->d_name || *end != '\0' || fd == dirfd(fds))
                continue;
            if (const ino_t inode = socketInode(entry->d_name))
                sockets.emplace_back(static_cast<int>(fd), inode);
        }
        closedir(fds);
    }
    std::sort(sockets.begin(), sockets.end());
    return sockets;
}

// Whether a socket is still the one opened then and its peer has not hung up.
bool stillConnected(const std::pair<int, ino_t>& socket)
{
    if (socketInode(std::to_string(socket.first).c_str()) != socket.second)
        return false;
    pollfd look{socket.first, POLLRDHUP, 0};
    return poll(&look, 1, 0) >= 0 && (look.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL)) == 0;
}

// The file-system address of the socket a connected one reaches; empty for any other.
std::string peerAddress(int fd)
{
    sockaddr_un address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX ||
        length <= offsetof(sockaddr_un, sun_path) || address.sun_path[0] == '\0')
        return {};
    return std::string(address.sun_path, strnlen(address.sun_path, length - offsetof(sockaddr_un, sun_path)));
}

// Whether a server listens at that address: a connection is taken and dropped at once.
bool takesConnections(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool taken = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return taken;
}

// The threads PortAudio and the ALSA plugins started (a stream's callback thread at every
// start, a plugin's thread at every opening): those that appeared while a call into the
// library ran. The calls are made one at a time while the window thread waits for each, so
// no other thread of the program starts meanwhile.
struct LibraryThreads {
    std::mutex lock;
    std::vector<pid_t> threads;

    void addNew(const std::vector<pid_t>& before, const std::vector<pid_t>& after)
    {
        std::lock_guard held(lock);
        std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(threads));
    }
    std::vector<pid_t> alive()
    {
        const std::vector<pid_t> now = threadsNow();
        std::lock_guard held(lock);
        std::erase_if(threads, [&](pid_t tid) { return !std::binary_search(now.begin(), now.end(), tid); });
        return threads;
    }
};
LibraryThreads libraryThreads;

} // namespace

// One opening of the two streams: what their callbacks reach and what the calls on the
// sound-call thread fill in. A call reads and writes it only while its caller waits for
// it; once given up, it belongs to that call and to the closing that follows it.
struct PortAudioSoundBackend::Streams {
    explicit Streams(PortAudioSoundBackend& owner) : owner(owner) { ++library.openStreams; }

    PortAudioSoundBackend& owner;
    PaStream* input = nullptr;
    PaStream* output = nullptr;
    // The openings, for a look at the devices before a start.
    PaStreamParameters inputParameters{};
    PaStreamParameters outputParameters{};
    double inputRate = 0;
    double outputRate = 0;
    unsigned long inputFrames = 0;
    int32_t captureAlign = 4;
    int32_t playbackAlign = 2;
    double inputLatency = 0;
    double outputLatency = 0;
    PaError result = paNoError;
    // The attempt the streams were opened in; whether the devices could be opened afresh
    // before the start, so that the sound system answers.
    int attempt = 0;
    std::atomic<bool> devicesAnswer{false};
    // The sockets the opening made: the plugins' connections to a sound server. Once one is
    // closed or hung up, the server the streams were opened on has gone, and PortAudio's start
    // on them can wait for good on a lock nothing will release, even with a new server on the
    // same socket.
    std::vector<std::pair<int, ino_t>> connections;
    std::vector<std::string> serverAddresses;
    // A second capture stream, opened and never started, while the input starts. Starting the
    // input makes ALSA's PulseAudio plugin replace its stream on the server. While no stream
    // reads it, a sink's monitor source follows the latency the sink's players ask for: behind
    // a player that buffers two seconds the sink mixes two seconds ahead at once, and the new
    // stream's first block comes only after them. This one asks the latency the input asks and
    // bridges the change. Held here rather than on the start's stack, so that when the start
    // is given up the caller's side closes it, whether or not the start ever returns.
    std::mutex keeperLock;
    PaStream* keeper = nullptr;
    bool keeperGivenUp = false;
    bool active = false;
    bool counted = true; // in library.openStreams
    std::atomic<bool> playing{false};
    std::atomic<bool> stopping{false};
    std::atomic<uint64_t> xruns{0};
    std::atomic<bool> abandoned{false};
    std::atomic<int> inCallback{0};

    // A callback's way in: false once the streams are given up, and then it leaves the
    // owner alone.
    bool enter()
    {
        inCallback.fetch_add(1);
        if (!abandoned.load())
            return true;
        inCallback.fetch_sub(1);
        return false;
    }
    void leave() { inCallback.fetch_sub(1); }

    // From here on no callback reaches the owner, which may then go. A callback already
    // inside only copies a block and never waits, so it is out soon; sleeping rather than
    // spinning lets it have the core when it runs below the waiting thread's priority.
    void abandon()
    {
        abandoned.store(true);
        while (inCallback.load() != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }

    void countXrun(PaStreamCallbackFlags statusFlags)
    {
        if (statusFlags & (paInputUnderflow | paInputOverflow | paOutputUnderflow | paOutputOverflow))
            xruns.fetch_add(1, std::memory_order_relaxed);
    }

    // On the sound-call thread. Each step first makes sure the streams were not given up
    // while the step before it kept the thread: a call that returns late leaves the rest to
    // closeGivenUp, which runs in turn with the calls made since.
    void abortBoth()
    {
        // Abort rather than stop: a stop would first play out what PortAudio holds,
        // and waits on a device that may be gone.
        for (PaStream* stream : {input, output})
            if (stream && !abandoned.load() && Pa_IsStreamStopped(stream) == 0)
                Pa_AbortStream(stream);
    }
    void closeBoth()
    {
        for (PaStream** stream : {&input, &output}) {
            if (abandoned.load())
                return;
            if (*stream)
                Pa_CloseStream(*stream);
            *stream = nullptr;
        }
        uncount();
    }
    // On the sound-call thread, after Pa_StartStream failed on `stream`: a stream PortAudio
    // left neither stopped nor running (its callback thread made and joined already) is
    // set aside for good, and nothing here touches it again.
    void setAsideIfUnclosable(PaStream*& stream)
    {
        if (Pa_IsStreamStopped(stream) != 0 || Pa_IsStreamActive(stream) != 0)
            return;
        ++library.unclosableStreams;
        stream = nullptr;
    }
    // On the sound-call thread, once the call given up has returned: whatever it left open
    // is closed.
    void closeGivenUp()
    {
        abandon();
        for (PaStream** stream : {&input, &output}) {
            if (!*stream)
                continue;
            if (Pa_IsStreamStopped(*stream) == 0)
                Pa_AbortStream(*stream);
            Pa_CloseStream(*stream);
            *stream = nullptr;
        }
        uncount();
    }
    bool connectionsHold() const { return std::all_of(connections.begin(), connections.end(), stillConnected); }

    // On the sound-call thread, inside a start.
    void openKeeper()
    {
        PaStream* opened = nullptr;
        // A device that only one stream may open refuses it at once, and the start goes on
        // without it.
        if (Pa_OpenStream(&opened, &inputParameters, nullptr, inputRate, inputFrames, paNoFlag, nullptr, nullptr) !=
            paNoError)
            return;
        std::unique_lock held(keeperLock);
        if (!keeperGivenUp) {
            keeper = opened;
            return;
        }
        held.unlock();
        Pa_CloseStream(opened);
    }
    void closeKeeper()
    {
        if (PaStream* opened = takeKeeper(false))
            Pa_CloseStream(opened);
    }
    // The keeper to close, now the start is over or given up; a keeper the start opens after
    // it was given up it closes itself.
    PaStream* takeKeeper(bool givenUp)
    {
        std::lock_guard held(keeperLock);
        keeperGivenUp = keeperGivenUp || givenUp;
        return std::exchange(keeper, nullptr);
    }

    void uncount()
    {
        if (counted)
            --library.openStreams;
        counted = false;
    }
};

SoundCallThread& PortAudioSoundBackend::callThread()
{
    // One for the process, as PortAudio is one for the process; never destroyed, as a
    // call it gave up may still be inside PortAudio when the process ends.
    static auto* thread = new SoundCallThread;
    return *thread;
}

std::chrono::milliseconds PortAudioSoundBackend::timeLeft(std::chrono::milliseconds limit) const
{
    if (!attemptEnds_)
        return limit;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*attemptEnds_ - std::chrono::steady_clock::now());
    return std::clamp(left, std::chrono::milliseconds(0), limit);
}

void PortAudioSoundBackend::beginAttempt(std::chrono::milliseconds limit)
{
    attemptEnds_ = std::chrono::steady_clock::now() + limit;
    ++attempts_;
}

void PortAudioSoundBackend::endAttempt()
{
    attemptEnds_.reset();
}

std::vector<std::string> PortAudioSoundBackend::takeLogLines()
{
    return logLines.take();
}

bool PortAudioSoundBackend::withinLimit(std::function<void()> call, std::chrono::milliseconds limit,
                                        std::function<void()> afterGivenUp)
{
    return callThread().run(
        [call = std::move(call)] {
            const std::vector<pid_t> before = threadsNow();
            call();
            libraryThreads.addNew(before, threadsNow());
        },
        limit, std::move(afterGivenUp));
}

bool PortAudioSoundBackend::withinLimitOnStreams(std::function<void(Streams&)> call,
                                                 std::chrono::milliseconds limit)
{
    const std::shared_ptr<Streams> s = streams_;
    if (withinLimit([s, call = std::move(call)] { call(*s); }, limit, [s] { s->closeGivenUp(); }))
        return true;
    s->abandon();
    // Not left to the call given up, which may never return.
    if (PaStream* keeper = s->takeKeeper(true))
        withinLimit([keeper] { Pa_CloseStream(keeper); }, std::max(timeLeft(kStopLimit), kKeeperCloseLimit));
    streams_.reset();
    refreshDevices_.store(true);
    return false;
}

PortAudioSoundBackend::PortAudioSoundBackend()
{
    initialise(false);
}

PortAudioSoundBackend::~PortAudioSoundBackend()
{
    closeDevices();
}

bool PortAudioSoundBackend::initialise(bool afresh)
{
    struct Found {
        bool started = false;
        bool fresh = false;
        int generation = 0;
        std::vector<PaDeviceIndex> playback;
        std::vector<PaDeviceIndex> capture;
        std::vector<std::string> playbackNames;
        std::vector<std::string> captureNames;
    };
    const std::chrono::milliseconds limit = timeLeft(kOpenLimit);
    if (limit.count() == 0)
        return false;
    auto found = std::make_shared<Found>();
    const bool answered = withinLimit(
        [found, afresh] {
            found->fresh = startPortAudio(afresh);
            found->started = library.started;
            found->generation = library.generation;
            if (!found->started)
                return;
            found->playback = devicesWith(false);
            found->capture = devicesWith(true);
            found->playbackNames = namesOf(found->playback);
            found->captureNames = namesOf(found->capture);
        },
        limit);
    // A call given up may still fill its lists.
    if (!answered)
        found = std::make_shared<Found>();
    // Streams still open keep a fresh start off: the next opening asks again.
    if (found->fresh)
        refreshDevices_.store(false);
    initialised_ = found->started;
    generation_ = found->generation;
    playbackDevices_ = std::move(found->playback);
    captureDevices_ = std::move(found->capture);
    playbackNames_ = std::move(found->playbackNames);
    captureNames_ = std::move(found->captureNames);
    return answered;
}

bool PortAudioSoundBackend::mayStartAfresh()
{
    SoundCallThread& calls = callThread();
    const bool settled = calls.waitForAbandonedCalls(timeLeft(kLateCallWait));
    const int stuck = calls.stuckCalls();
    if (stuck > library.stuckTold)
        logLines.add("A call into the sound library did not come back and counts as stuck for good: the device "
                     "lists are read again only after the program is restarted");
    library.stuckTold = stuck;
    if (library.unclosableStreams > 0 && !library.unclosableTold) {
        library.unclosableTold = true;
        logLines.add("A stream the sound library could not start can no longer be closed: the device lists are read "
                     "again only after the program is restarted");
    }
    return settled && calls.abandonedCallsRunning() == 0;
}

int32_t PortAudioSoundBackend::openDevices(int32_t playbackDevice, int32_t captureDevice)
{
    closeStreams();
    // PortAudio lists the devices it could open when it starts; not while a call given up
    // is still inside it. A call that comes back soon (a server that thawed lets it) is
    // waited for a while; until none is inside, the lists read before serve.
    const bool afresh = refreshDevices_.load() || !initialised_;
    if (afresh || generation_ != currentGeneration()) {
        if (mayStartAfresh()) {
            if (!initialise(afresh))
                return kSoundCallTimedOut;
        } else if (!initialised_) {
            return kSoundCallTimedOut;
        }
    }
    if (!initialised_)
        return paNotInitialized;
    if (playbackDevice < 1 || playbackDevice > static_cast<int32_t>(playbackDevices_.size()) ||
        captureDevice < 1 || captureDevice > static_cast<int32_t>(captureDevices_.size())) {
        // A device missing now may be back by the next try.
        refreshDevices_.store(true);
        return paInvalidDevice;
    }
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
    closeStreams();
    const std::chrono::milliseconds limit = timeLeft(kOpenLimit);
    if (limit.count() == 0)
        return kSoundCallTimedOut;

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

    streams_ = std::make_shared<Streams>(*this);
    streams_->attempt = attemptEnds_ ? attempts_ : 0;
    streams_->inputParameters = inParams;
    streams_->outputParameters = outParams;
    streams_->inputRate = setup.capture.samplesPerSecond;
    streams_->outputRate = setup.playback.samplesPerSecond;
    streams_->inputFrames = static_cast<unsigned long>(periodFrames);
    streams_->captureAlign = setup.capture.blockAlign();
    streams_->playbackAlign = setup.playback.blockAlign();
    buffers_.allocate(setup.captureBytes, setup.playbackBytes);
    buffers_.setCaptureRate(setup.capture.samplesPerSecond * setup.capture.blockAlign());
    buffers_.setPlaybackStartSilence(setup.playbackLeadBytes);

    const auto frames = static_cast<unsigned long>(periodFrames);
    const double inRate = setup.capture.samplesPerSecond;
    const double outRate = setup.playback.samplesPerSecond;
    const bool answered = withinLimitOnStreams(
        [inParams, outParams, inRate, outRate, frames](Streams& s) {
            // Given up before it could start (behind a call that overran): closeGivenUp follows.
            if (s.abandoned.load())
                return;
            if (!Pa_GetDeviceInfo(inParams.device) || !Pa_GetDeviceInfo(outParams.device)) {
                s.result = paInvalidDevice;
                s.uncount();
                return;
            }
            const std::vector<std::pair<int, ino_t>> socketsBefore = socketsNow();
            PaError error = Pa_OpenStream(&s.input, &inParams, nullptr, inRate, frames, paNoFlag,
                                          &PortAudioSoundBackend::inputCallback, &s);
            if (error == paNoError && !s.abandoned.load())
                error = Pa_OpenStream(&s.output, nullptr, &outParams, outRate, frames, paNoFlag,
                                      &PortAudioSoundBackend::outputCallback, &s);
            for (PaStream* stream : {s.input, s.output})
                if (error == paNoError && !s.abandoned.load())
                    error = Pa_SetStreamFinishedCallback(stream, &PortAudioSoundBackend::streamFinished);
            if (s.abandoned.load())
                return;
            if (error != paNoError) {
                // Pa_OpenStream leaves the pointer it could not fill at nullptr.
                s.closeBoth();
            } else {
                const std::vector<std::pair<int, ino_t>> socketsAfter = socketsNow();
                std::set_difference(socketsAfter.begin(), socketsAfter.end(), socketsBefore.begin(),
                                    socketsBefore.end(), std::back_inserter(s.connections));
                for (const auto& [fd, inode] : s.connections)
                    if (std::string address = peerAddress(fd); !address.empty())
                        s.serverAddresses.push_back(std::move(address));
                const PaStreamInfo* in = Pa_GetStreamInfo(s.input);
                const PaStreamInfo* out = Pa_GetStreamInfo(s.output);
                s.inputLatency = in ? in->inputLatency : 0.0;
                s.outputLatency = out ? out->outputLatency : 0.0;
            }
            s.result = error;
        },
        limit);
    if (!answered) {
        buffers_.release();
        return kSoundCallTimedOut;
    }
    if (const PaError error = streams_->result; error != paNoError) {
        streams_.reset();
        buffers_.release();
        refreshDevices_.store(true);
        return error;
    }
    connections_ = streams_->connections;
    serverAddresses_ = streams_->serverAddresses;
    return paNoError;
}

void PortAudioSoundBackend::closeStreams()
{
    if (!streams_)
        return;
    streams_->stopping.store(true);
    const bool answered = withinLimitOnStreams(
        [](Streams& s) {
            s.abortBoth();
            s.closeBoth();
        },
        kStopLimit);
    // Closed, so no callback can come any more; or given up, and closed once the call returns.
    if (answered) {
        streams_.reset();
        connections_.clear();
    }
}

void PortAudioSoundBackend::closeDevices()
{
    closeStreams();
    connections_.clear();
    buffers_.release();
    playbackDevice_ = paNoDevice;
    captureDevice_ = paNoDevice;
}

int32_t PortAudioSoundBackend::startCapture()
{
    if (!streams_ || !streams_->input || !streams_->output)
        return paBadStreamPtr;
    const bool openedBefore = !attemptEnds_ || streams_->attempt != attempts_;
    const std::chrono::milliseconds limit = timeLeft(openedBefore ? kStartOpenedBeforeLimit : kOpenLimit);
    if (limit.count() == 0)
        return kSoundCallTimedOut;
    const std::shared_ptr<Streams> starting = streams_;
    starting->playing.store(false);
    starting->stopping.store(false);
    starting->devicesAnswer.store(false);
    starting->result = paNoError;
    const bool answered = withinLimitOnStreams(
        [](Streams& s) {
            // Streams of a server that has gone are not started (see `connections`); the
            // caller opens fresh ones.
            if (!s.connectionsHold()) {
                s.result = kSoundDeviceLost;
                return;
            }
            // Each device is opened afresh first, which waits on a sound server as a start
            // would, and leaves nothing behind: a frozen server holds Pa_StartStream past
            // PortAudio's own wait for the callback thread, which leaves the stream
            // unclosable (setAsideIfUnclosable), and on a device that is gone (a server
            // killed) the start can wait for good on a lock its failed callback thread never
            // released. Such a device is not started. An exclusive device is busy with our
            // own stream, and is not waited for.
            PaAlsa_SetRetriesBusy(0);
            using Opening = std::tuple<const PaStreamParameters*, const PaStreamParameters*, double>;
            for (const auto& [input, output, rate] :
                 {Opening{&s.inputParameters, nullptr, s.inputRate}, Opening{nullptr, &s.outputParameters, s.outputRate}}) {
                if (s.abandoned.load())
                    break;
                if (const PaError reach = Pa_IsFormatSupported(input, output, rate); !reachable(reach)) {
                    s.result = reach;
                    break;
                }
            }
            // Only where both devices answered: the start goes no further otherwise.
            if (s.result == paNoError && !s.abandoned.load())
                s.openKeeper();
            struct KeeperClosed {
                Streams& s;
                ~KeeperClosed() { s.closeKeeper(); }
            } keeperClosed{s};
            PaAlsa_SetRetriesBusy(kAlsaBusyRetries);
            if (s.result != paNoError || s.abandoned.load())
                return;
            s.devicesAnswer.store(true);
            for (PaStream** stream : {&s.input, &s.output}) {
                if (s.abandoned.load())
                    return;
                if (PaError error = Pa_StartStream(*stream); error != paNoError) {
                    s.setAsideIfUnclosable(*stream);
                    if (s.abandoned.load())
                        return;
                    s.result = error;
                    s.stopping.store(true);
                    s.abortBoth();
                    return;
                }
            }
        },
        limit);
    if (!answered) {
        // The devices answered, yet the start stayed inside: on streams whose sound server
        // went away since they were opened, PortAudio's start can wait for good on a lock
        // that nothing will release. Fresh streams are not held up by it.
        if (starting->devicesAnswer.load()) {
            callThread().countLastGivenUpAsStuck();
            return paTimedOut;
        }
        return kSoundCallTimedOut;
    }
    if (streams_->result != paNoError)
        refreshDevices_.store(true);
    return streams_->result;
}

int32_t PortAudioSoundBackend::startPlayback()
{
    if (!streams_ || !streams_->output)
        return paBadStreamPtr;
    streams_->playing.store(true);
    return paNoError;
}

void PortAudioSoundBackend::stop()
{
    if (!streams_)
        return;
    streams_->stopping.store(true);
    streams_->playing.store(false);
    withinLimitOnStreams([](Streams& s) { s.abortBoth(); }, kStopLimit);
}

bool PortAudioSoundBackend::isRunning()
{
    if (!streams_)
        return false;
    streams_->active = false;
    const bool answered = withinLimitOnStreams(
        [](Streams& s) {
            for (PaStream* stream : {s.input, s.output})
                if (stream && !s.abandoned.load() && Pa_IsStreamActive(stream) == 1)
                    s.active = true;
        },
        kStopLimit);
    return answered && streams_->active;
}

std::string PortAudioSoundBackend::errorText(int32_t error) const
{
    if (std::string common = commonSoundErrorText(error); !common.empty())
        return common;
    // PortAudio's answer when ALSA cannot open a device; the streams here are one-way, so
    // it never means a combination.
    if (error == paBadIODeviceCombination)
        return "The device could not be opened: the sound server may not be running";
    if (error == paTimedOut)
        return "The device did not start, although the sound system answers";
    return Pa_GetErrorText(static_cast<PaError>(error));
}

bool PortAudioSoundBackend::devicesGone()
{
    if (std::all_of(connections_.begin(), connections_.end(), stillConnected))
        return false;
    refreshDevices_.store(true);
    return true;
}

bool PortAudioSoundBackend::serverBack() const
{
    return std::any_of(serverAddresses_.begin(), serverAddresses_.end(), takesConnections);
}

bool PortAudioSoundBackend::abandonedCallRunning() const
{
    return callThread().abandonedCallsRunning() > 0;
}

std::vector<pid_t> PortAudioSoundBackend::soundLibraryThreads() const
{
    return libraryThreads.alive();
}

uint64_t PortAudioSoundBackend::xruns() const
{
    return streams_ ? streams_->xruns.load() : 0;
}

double PortAudioSoundBackend::inputLatency() const
{
    return streams_ ? streams_->inputLatency : 0.0;
}

double PortAudioSoundBackend::outputLatency() const
{
    return streams_ ? streams_->outputLatency : 0.0;
}

int PortAudioSoundBackend::inputCallback(const void* input, void*, unsigned long frames,
                                         const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags statusFlags,
                                         void* userData)
{
    auto* s = static_cast<Streams*>(userData);
    if (!s->enter())
        return paAbort;
    s->countXrun(statusFlags);
    s->owner.buffers_.deliverCaptured(static_cast<const int16_t*>(input),
                                      static_cast<int32_t>(frames) * s->captureAlign, firstSampleTaken(timeInfo));
    s->leave();
    return paContinue;
}

int PortAudioSoundBackend::outputCallback(const void*, void* output, unsigned long frames,
                                          const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags statusFlags,
                                          void* userData)
{
    auto* s = static_cast<Streams*>(userData);
    auto* out = static_cast<int16_t*>(output);
    const int32_t bytes = static_cast<int32_t>(frames) * s->playbackAlign;
    if (!s->enter()) {
        std::memset(out, 0, static_cast<size_t>(bytes));
        return paAbort;
    }
    s->countXrun(statusFlags);
    if (s->playing.load(std::memory_order_acquire))
        s->owner.buffers_.renderPlayback(out, bytes);
    else
        std::memset(out, 0, static_cast<size_t>(bytes));
    s->leave();
    return paContinue;
}

void PortAudioSoundBackend::streamFinished(void* userData)
{
    auto* s = static_cast<Streams*>(userData);
    if (!s->enter())
        return;
    if (!s->stopping.load()) {
        s->owner.refreshDevices_.store(true);
        if (SoundNotificationSink* sink = s->owner.buffers_.sink())
            sink->soundDeviceLost();
    }
    s->leave();
}

} // namespace orvik
