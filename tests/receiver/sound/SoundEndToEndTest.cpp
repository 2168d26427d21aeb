// The sound card through the real PortAudio backend, against a private
// PulseAudio server with two null sinks: a known stereo signal is played into
// "inject", the card captures its monitor, a pass-through handler returns the
// left channel, and the card plays it into "appout", whose monitor is recorded.

#include "platform/MessageService.h"
#include "platform/sound/PortAudioSoundBackend.h"
#include "receiver/sound/ORVIKDX8.h"
#include "receiver/sound/frmDX8Events.h"
#include "tests/support/PulseAudioServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <optional>

using namespace orvik;
using namespace orvik::soundtest;

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kFrames = 2048;
constexpr double kBlockSeconds = double(kFrames) / kRate;
constexpr int32_t kSignalFrames = kRate * 5;
constexpr int32_t kPeriod = 30000;
constexpr int64_t kMaxSlip = 256;

// Left counts 1, 2, ... kPeriod and over again; right is its negative, so a
// swapped or mixed channel cannot pass for the left one.
int16_t signalSample(int32_t frame) { return static_cast<int16_t>(1 + frame % kPeriod); }

// Where signal frame 0 lies in a recording, from its first non-silent frame
// (the server may skip the first few milliseconds of a new stream).
std::optional<int64_t> signalOrigin(const QByteArray& raw, int channels)
{
    const auto* samples = reinterpret_cast<const int16_t*>(raw.constData());
    const int64_t frames = raw.size() / (2 * channels);
    for (int64_t i = 0; i < frames; ++i) {
        const int16_t value = samples[i * channels];
        if (value == 0)
            continue;
        if (value < 1 || value > kPeriod / 2)
            return std::nullopt;
        return i - (value - 1);
    }
    return std::nullopt;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

class SoundEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString problem = server.start(dir.path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    void TearDown() override
    {
        for (QProcess* process : {&player, &appRecorder, &injectRecorder})
            endProcess(*process, 3000);
        server.stop();
    }

    // The card on PortAudio's "pulse" devices with the geometry the program uses, every block
    // captured played back as it came and counted in `blocks`.
    void openCard(PortAudioSoundBackend& backend, ORVIKDX8& card, int32_t rate, int32_t frames = kFrames)
    {
        ASSERT_TRUE(backend.available());
        card.setCurrentPlaybackDevice(pulseDeviceNumber(backend.playbackDeviceNames()));
        card.setCurrentCaptureDevice(pulseDeviceNumber(backend.captureDeviceNames()));
        ASSERT_GT(card.CurrentPlaybackDevice(), 0);
        ASSERT_GT(card.CurrentCaptureDevice(), 0);
        card.setFSampling(rate);
        card.setNoChannelsIn(2);
        card.setNoChannelsOut(1);
        card.setNoBlocksInBuffer(2);
        card.setSamplesPerEvent(frames);
        card.setBitsPerSample(16);
        card.setInp2OutpBufferRatio(2);
        card.setOutputAttenuation(0);
        card.DataReady = [this, &card](SampleBlock& ch1, SampleBlock& ch2, int32_t count) {
            ++blocks;
            card.Output(ch1.data(), ch2.data(), count);
        };
    }

    QTemporaryDir dir;
    PulseAudioServer server;
    int32_t blocks = 0;
    QProcess player, appRecorder, injectRecorder;
};

TEST_F(SoundEndToEnd, SignalPassesThroughInOrderAfterTheRingAndBufferDelay)
{
    PortAudioSoundBackend backend;
    ORVIKDX8 card(backend);
    frmDX8Events form(card);
    ASSERT_NO_FATAL_FAILURE(openCard(backend, card, kRate));

    int32_t signalBlocks = 0;
    card.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
        ++blocks;
        if (ch1[kFrames - 1] != 0)
            ++signalBlocks;
        card.Output(ch1.data(), ch2.data(), kFrames);
    };

    ASSERT_TRUE(PulseAudioServer::startRecorder(appRecorder, "appout.monitor", 1, dir.filePath("out.raw")));
    ASSERT_TRUE(PulseAudioServer::startRecorder(injectRecorder, "inject.monitor", 2, dir.filePath("in.raw")));
    ASSERT_TRUE(runUntil(
        [] {
            QString outputs;
            return runTool("pactl", {"list", "short", "source-outputs"}, &outputs) &&
                   outputs.count('\n') >= 2;
        },
        10000))
        << "the recorders did not connect";

    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    // The first callback of a fresh server can take a couple of seconds.
    ASSERT_TRUE(runUntil([&] { return blocks > 0; }, 10000)) << "no block was captured";

    QByteArray signal(kSignalFrames * 4, Qt::Uninitialized);
    auto* samples = reinterpret_cast<int16_t*>(signal.data());
    for (int32_t i = 0; i < kSignalFrames; ++i) {
        samples[2 * i] = signalSample(i);
        samples[2 * i + 1] = static_cast<int16_t>(-signalSample(i));
    }
    QFile signalFile(dir.filePath("signal.raw"));
    ASSERT_TRUE(signalFile.open(QIODevice::WriteOnly));
    signalFile.write(signal);
    signalFile.close();
    ASSERT_TRUE(PulseAudioServer::startPlayer(player, "inject", signalFile.fileName()));

    // Three seconds of signal through the card, and recorded out of it far enough for
    // the check below.
    const int32_t wanted = static_cast<int32_t>(3.0 / kBlockSeconds);
    ASSERT_TRUE(runUntil([&] { return signalBlocks >= wanted; }, 20000))
        << signalBlocks << " blocks of signal captured";
    const auto recordedFar = [&] {
        QFile f(dir.filePath("out.raw"));
        const QByteArray out = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const auto start = signalOrigin(out, 1);
        return start && out.size() / 2 - std::max<int64_t>(*start, 0) >= kRate * 3 + kMaxSlip;
    };
    ASSERT_TRUE(runUntil(recordedFar, 30000)) << "the signal did not come out far enough";
    const double inputLatency = backend.inputLatency();
    const double outputLatency = backend.outputLatency();
    const uint64_t xruns = backend.xruns();
    card.StopSound();
    card.ReleaseDevices();
    EXPECT_EQ(card.DroppedCaptureBlocks(), 0u);
    for (QProcess* recorder : {&appRecorder, &injectRecorder}) {
        recorder->terminate();
        ASSERT_TRUE(recorder->waitForFinished(30000));
    }

    QFile inFile(dir.filePath("in.raw")), outFile(dir.filePath("out.raw"));
    ASSERT_TRUE(inFile.open(QIODevice::ReadOnly));
    ASSERT_TRUE(outFile.open(QIODevice::ReadOnly));
    const QByteArray in = inFile.readAll();
    const QByteArray out = outFile.readAll();
    const auto inStart = signalOrigin(in, 2);
    const auto outStart = signalOrigin(out, 1);
    ASSERT_TRUE(inStart.has_value()) << "the signal never reached the capture source";
    ASSERT_TRUE(outStart.has_value()) << "the signal never came out of the card";

    // In order and unchanged for 2.5 s from the first sample heard. A loaded
    // sound server may slip a few milliseconds of stale samples into a stream;
    // such a slip is tolerated when the count resumes exactly where it stopped.
    // A lost, repeated or silent block of the card is 2048 samples and is not.
    const auto* played = reinterpret_cast<const int16_t*>(out.constData());
    const int64_t length = out.size() / 2;
    int64_t k = std::max<int64_t>(*outStart, 0);
    while (k < length && played[k] == 0)
        ++k;
    const int64_t checked = kRate * 5 / 2;
    ASSERT_GE(length - k, checked + kMaxSlip) << "the recording ends too early";
    const int64_t end = k + checked;
    int16_t expected = played[k];
    const auto next = [](int16_t value) { return static_cast<int16_t>(value == kPeriod ? 1 : value + 1); };
    int32_t slips = 0;
    while (k < end) {
        if (played[k] == expected) {
            expected = next(expected);
            ++k;
            continue;
        }
        int64_t resume = k + 1;
        while (resume <= k + kMaxSlip &&
               !(played[resume] == expected && played[resume + 1] == next(expected) &&
                 played[resume + 2] == next(next(expected))))
            ++resume;
        ASSERT_LE(resume, k + kMaxSlip) << "the signal broke off at recorded sample " << k << ": expected "
                                        << expected << ", got " << played[k];
        ++slips;
        k = resume;
    }
    EXPECT_LE(slips, 5);

    // Capture block, start countdown and one pass of the playback buffer make
    // seven blocks; PortAudio's own buffering comes on top of that.
    const double delay = double(*outStart - *inStart) / kRate;
    const double ringDelay = 7 * kBlockSeconds;
    const double slack = inputLatency + outputLatency + 2 * kBlockSeconds;
    EXPECT_GE(delay, ringDelay - 0.02) << "delay " << delay;
    EXPECT_LE(delay, ringDelay + slack) << "delay " << delay << ", latencies " << inputLatency << " + "
                                        << outputLatency;
    std::printf("end-to-end delay %.1f ms (ring and buffers %.1f ms, PortAudio latency %.1f + %.1f ms), "
                "%d server slips, %llu xruns\n",
                delay * 1000, ringDelay * 1000, inputLatency * 1000, outputLatency * 1000, slips,
                static_cast<unsigned long long>(xruns));
}

// Nothing reads "appout", so the server takes its samples in large late
// chunks, and 44.1 kHz is resampled to the sinks' 48 kHz: the capture side is
// ready long before the playback side. The sound threads must sleep meanwhile,
// not poll in a loop.
TEST_F(SoundEndToEnd, SoundThreadsSleepWhileNothingReadsTheOutput)
{
    constexpr int32_t kResampledRate = 44100;
    PortAudioSoundBackend backend;
    ORVIKDX8 card(backend);
    frmDX8Events form(card);
    ASSERT_NO_FATAL_FAILURE(openCard(backend, card, kResampledRate));
    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    ASSERT_TRUE(runUntil([&] { return blocks > 0; }, 10000)) << "no block was captured";

    const int32_t blocksBefore = blocks;
    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    runUntil([] { return false; }, 3000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const int32_t handled = blocks - blocksBefore;
    card.StopSound();
    card.ReleaseDevices();

    // Sound kept flowing (about 21 blocks a second), at a small share of one core.
    EXPECT_GE(handled, static_cast<int32_t>(wall * kResampledRate / kFrames / 2)) << handled << " blocks";
    EXPECT_LT(cpu / wall, 0.25) << "the process used " << cpu << " s of processor time in " << wall << " s";
    std::printf("%d blocks in %.1f s at %.1f %% of one core\n", handled, wall, 100 * cpu / wall);
}

// A monitor left a moment without a prompt reader lets its sink mix as far ahead as its
// players ask (2 s for pacat's default), and a new capture stream waits for all of it.
// Short blocks make the sink mix every few milliseconds, so most starts meet such a moment.
TEST_F(SoundEndToEnd, EveryStartCapturesPromptlyBehindAPlayerThatBuffersTwoSeconds)
{
    constexpr int32_t kShortBlock = 128;
    PortAudioSoundBackend backend;
    ORVIKDX8 card(backend);
    frmDX8Events form(card);
    ASSERT_NO_FATAL_FAILURE(openCard(backend, card, kRate, kShortBlock));
    QFile signalFile(dir.filePath("silence.raw"));
    ASSERT_TRUE(signalFile.open(QIODevice::WriteOnly));
    signalFile.write(intermediateFrequency(60, false));
    signalFile.close();
    player.setStandardInputFile(signalFile.fileName());
    player.start("pacat", {"--playback", "--raw", "--format=s16le", "--rate=48000", "--channels=2", "-d", "inject"});
    ASSERT_TRUE(player.waitForStarted(30000));
    ASSERT_TRUE(runUntil(
        [] {
            QString inputs;
            return runTool("pactl", {"list", "short", "sink-inputs"}, &inputs) && !inputs.isEmpty();
        },
        10000))
        << "the player did not connect";

    const auto firstBlockAfterStart = [&] {
        const int32_t before = blocks;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
        runUntil([&] { return blocks > before; }, 10000);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        card.StopSound();
        return seconds;
    };
    // What the sink mixed before the card first connected comes first, however long.
    firstBlockAfterStart();
    double longest = 0;
    for (int32_t start = 0; start < 20; ++start)
        longest = std::max(longest, firstBlockAfterStart());
    card.ReleaseDevices();
    // Tens of milliseconds each; a start that waited for the sink took about two seconds.
    EXPECT_LT(longest, 1.5) << "the slowest of 20 starts waited " << longest << " s for its first block";
    std::printf("slowest of 20 starts: first block after %.0f ms\n", longest * 1000);
}

// A sound server killed under running streams: the card hears of it, closes the streams
// and says why; the next start finds the server that runs by then. Streams opened before
// a server restart never start again (PortAudio's start would wait on them for good, and
// with it the second capture stream the start keeps): they are not started, and fresh
// ones are opened, by the start or, when events run while stopped, ahead of it.
TEST_F(SoundEndToEnd, ADeadServerIsHeardOfAndTheNextStartUsesTheOneThatRunsThen)
{
    RecordingMessageService shown;
    setMessageService(&shown);
    PortAudioSoundBackend backend;
    ORVIKDX8 card(backend);
    std::optional<frmDX8Events> form(std::in_place, card);
    ASSERT_NO_FATAL_FAILURE(openCard(backend, card, kRate));
    int32_t lost = 0;
    card.DeviceLost = [&] { ++lost; };
    // Killed as a crash ends it; never a process id of 0, which is this process's group.
    const auto killServer = [&] {
        if (const qint64 pid = server.processId(); pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        server.stop();
    };
    const auto restartServer = [&] {
        killServer();
        const QString problem = server.start(dir.path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    };
    const auto blocksFlow = [&] {
        const int32_t before = blocks;
        return runUntil([&] { return blocks > before + 2; }, 30000);
    };

    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    ASSERT_TRUE(blocksFlow()) << "no block was captured";
    killServer();
    ASSERT_TRUE(runUntil([&] { return lost > 0; }, 30000)) << "the card did not hear of the dead server";
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(card.InAction());
    EXPECT_FALSE(card.Prepared());
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_TRUE(shown.shown()[0].text.endsWith(": The device stopped unexpectedly")) << shown.shown()[0].text.toStdString();

    EXPECT_FALSE(card.StartSound()) << "no server, no sound";
    EXPECT_EQ(shown.shown().size(), 2u);
    ASSERT_NO_FATAL_FAILURE(restartServer());
    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    EXPECT_TRUE(blocksFlow()) << "no block from the server that came back";

    // Stopped with the streams kept, the server restarted meanwhile. Without the form nothing
    // looks at the devices while stopped: the start finds their server gone.
    card.StopSound();
    form.reset();
    ASSERT_TRUE(card.Prepared());
    EXPECT_FALSE(backend.devicesGone());
    ASSERT_NO_FATAL_FAILURE(restartServer());
    EXPECT_TRUE(runUntil([&] { return backend.devicesGone(); }, 30000)) << "the streams' server is not seen gone";
    EXPECT_TRUE(backend.serverBack());
    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    EXPECT_TRUE(runUntil([&] { return card.PendingCaptureEvent() != 0; }, 30000)) << "no block after the restart";
    EXPECT_FALSE(backend.abandonedCallRunning()) << "the start stayed inside PortAudio";
    // With the form, the devices are opened afresh while stopped, ahead of the start.
    card.StopSound();
    form.emplace(card);
    ASSERT_NO_FATAL_FAILURE(restartServer());
    EXPECT_TRUE(runUntil([&] { return card.Prepared() && !backend.devicesGone(); }, 30000))
        << "the devices were not opened again ahead of the start";
    ASSERT_TRUE(card.StartSound()) << "LastErr " << card.LastErr();
    EXPECT_TRUE(blocksFlow()) << "no block after the second restart";
    EXPECT_FALSE(backend.abandonedCallRunning());
    EXPECT_EQ(shown.shown().size(), 2u);
    card.StopSound();
    card.ReleaseDevices();
    setMessageService(nullptr);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sound server's ALSA plugin keeps memory of a connection that died, allocated from a
// module it unloads later: only a full unwind reaches the library frames the leak
// suppressions name.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
