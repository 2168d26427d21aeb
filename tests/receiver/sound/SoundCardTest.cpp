#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/sound/FakeSoundBackend.h"
#include "receiver/sound/CapturedBlockQueue.h"
#include "receiver/sound/ORVIKDX8.h"
#include "receiver/sound/frmDX8Events.h"
#include "tests/app/ToneGaps.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <numeric>
#include <optional>
#include <tuple>

using namespace orvik;

namespace {

constexpr int32_t kFrames = 2048;

// Left samples count up from a per-block start, right ones count down, so a
// block's number and both channels can be told from any sample.
int16_t leftSample(int32_t block, int32_t i) { return static_cast<int16_t>(block * 3 + i % 3 + 1); }
int16_t rightSample(int32_t block, int32_t i) { return static_cast<int16_t>(-leftSample(block, i)); }

std::vector<int16_t> stereoBlock(int32_t block)
{
    std::vector<int16_t> samples(2 * kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        samples[2 * i] = leftSample(block, i);
        samples[2 * i + 1] = rightSample(block, i);
    }
    return samples;
}

// The block number a played mono block came from; 0 for silence, -1 for anything else.
// `from`: the first sample that counts (a splice may begin the block with another's).
int32_t blockNumberOf(const std::vector<int16_t>& played, int32_t from = 0)
{
    if (std::all_of(played.begin() + from, played.end(), [](int16_t s) { return s == 0; }))
        return 0;
    const int32_t block = (played[static_cast<size_t>(from)] - from % 3 - 1) / 3;
    for (int32_t i = from; i < kFrames; ++i)
        if (played[static_cast<size_t>(i)] != leftSample(block, i))
            return -1;
    return block;
}

class SoundCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        setMessageService(&shown);
        setLogSink([this](const QString& line) { log.append(line); });
        configure(card);
        card.DataReady = [this](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
            ++delivered;
            if (passThrough)
                card.Output(ch1.data(), ch2.data(), kFrames);
        };
    }
    void TearDown() override
    {
        setMessageService(nullptr);
        setLogSink({});
        setEventPump({});
    }

    // The main window's settings, in the main window's order.
    static void configure(ORVIKDX8& sound)
    {
        sound.setFSampling(48000);
        sound.setNoChannelsIn(2);
        sound.setNoChannelsOut(1);
        sound.setNoBlocksInBuffer(2);
        sound.setSamplesPerEvent(kFrames);
        sound.setBitsPerSample(16);
        sound.setInp2OutpBufferRatio(2);
    }

    void capture(int32_t block)
    {
        ASSERT_TRUE(fake.pushCapture(stereoBlock(block)));
        form.DeliverPendingBlocks();
    }
    // One block period once playing: a block is captured, then one is played (kept in
    // lastPlayed; a block that fades in after silence counts as its own).
    std::vector<int16_t> lastPlayed;
    std::optional<int32_t> tick(int32_t block)
    {
        capture(block);
        const auto played = fake.pullPlayback(kFrames);
        if (!played)
            return std::nullopt;
        lastPlayed = *played;
        return blockNumberOf(*played, ORVIKDX8::kSpliceFrames);
    }

    // A clock moved by hand, and the numbers of the blocks handed over, in their order.
    static constexpr int64_t kBlock = int64_t{kFrames} * 1'000'000'000 / 48000;
    int64_t now = 0;
    std::vector<int32_t> order;
    void recordOrderFrom(int64_t start)
    {
        now = start;
        card.setClock([this] { return now; });
        card.DataReady = [this](SampleBlock& ch1, SampleBlock&, int32_t) { order.push_back((ch1[0] - 1) / 3); };
    }

    // The program's geometry, one block each way, every handled block played.
    struct SingleBlockCard {
        SingleBlockCard()
        {
            configure(sound);
            sound.setNoBlocksInBuffer(1);
            sound.setInp2OutpBufferRatio(1);
            sound.DataReady = [this](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
                sound.Output(ch1.data(), ch2.data(), kFrames);
            };
        }
        FakeSoundBackend backend;
        ORVIKDX8 sound{backend};
        frmDX8Events events{sound};
    };

    RecordingMessageService shown;
    QStringList log;
    FakeSoundBackend fake;
    ORVIKDX8 card{fake};
    frmDX8Events form{card};
    int32_t delivered = 0;
    bool passThrough = true;
};

TEST_F(SoundCard, BuffersAndNotificationsFollowTheBlockGeometry)
{
    ASSERT_TRUE(card.PrepareDevices());
    EXPECT_EQ(card.BytesPerEventIn(), 8192);
    EXPECT_EQ(card.BytesPerEventOut(), 4096);
    const SoundBufferSetup& setup = fake.bufferSetup();
    EXPECT_EQ(setup.captureBytes, 16384);
    EXPECT_EQ(setup.playbackBytes, 16384);
    EXPECT_EQ(setup.capture.channels, 2);
    EXPECT_EQ(setup.playback.channels, 1);
    EXPECT_EQ(setup.capture.samplesPerSecond, 48000);
    EXPECT_EQ(setup.framesPerBlock, kFrames);

    std::vector<int32_t> captureOffsets, playbackOffsets, ids;
    for (const auto& record : fake.notifications(SoundBufferKind::Capture)) {
        captureOffsets.push_back(record.offset);
        ids.push_back(record.eventId);
    }
    for (const auto& record : fake.notifications(SoundBufferKind::Playback)) {
        playbackOffsets.push_back(record.offset);
        ids.push_back(record.eventId);
    }
    EXPECT_EQ(captureOffsets, (std::vector<int32_t>{8191, 16383}));
    EXPECT_EQ(playbackOffsets, (std::vector<int32_t>{4095, 8191, 12287, 16383}));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "event ids must be distinct";
    EXPECT_GT(ids.front(), 0);
}

TEST_F(SoundCard, StereoCaptureSplitsChannelsIntoTheEventFormsArrays)
{
    card.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t count) {
        ++delivered;
        EXPECT_EQ(&ch1, &form.Channel1Data);
        EXPECT_EQ(&ch2, &form.Channel2Data);
        EXPECT_EQ(count, kFrames);
        for (int32_t i = 0; i < kFrames; ++i) {
            ASSERT_EQ(ch1[i], leftSample(5, i)) << i;
            ASSERT_EQ(ch2[i], rightSample(5, i)) << i;
        }
        EXPECT_EQ(ch1[kFrames], 0) << "index 2048 is never written";
    };
    ASSERT_TRUE(card.StartSound());
    capture(5);
    EXPECT_EQ(delivered, 1);
}

TEST_F(SoundCard, MonoCaptureGivesBothArraysTheSameSamples)
{
    card.setNoChannelsIn(1);
    card.setSamplesPerEvent(kFrames);
    ASSERT_TRUE(card.StartSound());
    std::vector<int16_t> mono(kFrames);
    for (int32_t i = 0; i < kFrames; ++i)
        mono[i] = static_cast<int16_t>(i - 1000);
    card.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
        ++delivered;
        for (int32_t i = 0; i < kFrames; ++i) {
            ASSERT_EQ(ch1[i], mono[i]);
            ASSERT_EQ(ch2[i], mono[i]);
        }
    };
    ASSERT_TRUE(fake.pushCapture(mono));
    form.DeliverPendingBlocks();
    EXPECT_EQ(delivered, 1);
}

TEST_F(SoundCard, CaptureChunksOfAnySizeArriveAsWholeBlocksInOrder)
{
    std::vector<int32_t> firstSamples;
    card.DataReady = [&](SampleBlock& ch1, SampleBlock&, int32_t) { firstSamples.push_back(ch1[0]); };
    ASSERT_TRUE(card.StartSound());
    std::vector<int16_t> stream;
    for (int32_t block = 1; block <= 5; ++block) {
        const auto samples = stereoBlock(block);
        stream.insert(stream.end(), samples.begin(), samples.end());
    }
    // 1000 frames per chunk: notifications fall inside chunks and across the buffer end.
    for (size_t start = 0; start < stream.size(); start += 2000) {
        const size_t end = std::min(stream.size(), start + 2000);
        ASSERT_TRUE(fake.pushCapture(std::vector<int16_t>(stream.begin() + start, stream.begin() + end)));
        form.DeliverPendingBlocks();
    }
    EXPECT_EQ(firstSamples, (std::vector<int32_t>{leftSample(1, 0), leftSample(2, 0), leftSample(3, 0),
                                                  leftSample(4, 0), leftSample(5, 0)}));
}

TEST_F(SoundCard, PlaybackStartsAtTheThirdCaptureAndPlaysEachBlockOnePassLater)
{
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(card.OutDelay(), 3);
    EXPECT_FALSE(tick(1).has_value());
    EXPECT_FALSE(tick(2).has_value());
    EXPECT_EQ(card.OutDelay(), 1);
    EXPECT_FALSE(fake.playing());
    std::vector<int32_t> played;
    for (int32_t block = 3; block <= 14; ++block)
        played.push_back(tick(block).value_or(-2));
    // The playback buffer's first pass is silent; then the blocks in capture order.
    EXPECT_EQ(played, (std::vector<int32_t>{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(card.DroppedCaptureBlocks(), 0u);
    EXPECT_EQ(card.OutputOverruns(), 0u);
}

// The program's geometry: one block each way. Playback starts with the first block
// handled; the device then plays a block of silence ahead of the buffer and the
// buffer's first pass, which leaves every later block a reserve: capture that stalls
// for two periods and then catches up with three blocks at once loses nothing.
TEST_F(SoundCard, SingleBlockBuffersPlayEveryBlockInTurnThroughACaptureStallAndItsCatchUp)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    frmDX8Events& events = single.events;
    ASSERT_TRUE(sound.StartSound());
    EXPECT_EQ(sound.OutDelay(), 0);

    // c: the next block is captured and handled; r: the device asks for a block.
    // After block 3 the device asks three times before blocks 4 to 6 come at once.
    int32_t block = 0;
    std::vector<int32_t> played;
    for (char step : std::string("crcrcrrrcccrrrcrcr")) {
        if (step == 'c') {
            ASSERT_TRUE(backend.pushCapture(stereoBlock(++block)));
            events.DeliverPendingBlocks();
            EXPECT_TRUE(backend.playing()) << "playback starts with the first block handled";
        } else if (auto out = backend.pullPlayback(kFrames)) {
            played.push_back(blockNumberOf(*out));
        }
    }
    EXPECT_EQ(played, (std::vector<int32_t>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(sound.OutputOverruns(), 0u);
    EXPECT_EQ(sound.OutputLateBlocks(), 0u);
}

// A mode change renders the block already handed over again: it may take that block's
// place only while the reader has not taken it, and never one from before a stop.
TEST_F(SoundCard, TheLastBlockIsReplacedOnlyWhileItWaitsToBePlayed)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    const auto monoBlock = [](int32_t block) {
        std::vector<int16_t> samples(kFrames);
        for (int32_t i = 0; i < kFrames; ++i)
            samples[i] = leftSample(block, i);
        return samples;
    };
    const std::vector<int16_t> fifty = monoBlock(50);
    const std::vector<int16_t> sixty = monoBlock(60);
    ASSERT_TRUE(sound.StartSound());
    EXPECT_FALSE(sound.ReplaceLastOutput(fifty.data(), fifty.data(), kFrames)) << "nothing written yet";

    int32_t block = 0;
    std::vector<int32_t> played;
    const auto run = [&](const std::string& steps) {
        for (char step : steps) {
            if (step == 'c') {
                ASSERT_TRUE(backend.pushCapture(stereoBlock(++block)));
                single.events.DeliverPendingBlocks();
            } else if (auto out = backend.pullPlayback(kFrames)) {
                played.push_back(blockNumberOf(*out));
            }
        }
    };
    run("c");
    EXPECT_TRUE(sound.ReplaceLastOutput(fifty.data(), fifty.data(), kFrames));
    run("rcrcrcr");
    EXPECT_EQ(played, (std::vector<int32_t>{0, 0, 50, 2}));

    // Block 4 is the last written; once the reader has played it, it stays as it was.
    run("rr");
    ASSERT_EQ(played.back(), 4);
    EXPECT_FALSE(sound.ReplaceLastOutput(sixty.data(), sixty.data(), kFrames));
    run("crcr");
    EXPECT_EQ(played, (std::vector<int32_t>{0, 0, 50, 2, 3, 4, 5, 6}));

    // A block written after silence fades in, and so does what takes its place.
    run("rrrc");
    ASSERT_TRUE(sound.ReplaceLastOutput(sixty.data(), sixty.data(), kFrames));
    std::optional<std::vector<int16_t>> out;
    for (int asks = 0; asks < 8 && (!out || blockNumberOf(*out) == 0); ++asks)
        out = backend.pullPlayback(kFrames);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ((*out)[0], 0);
    EXPECT_EQ(blockNumberOf(*out, ORVIKDX8::kSpliceFrames), 60);

    sound.StopSound();
    EXPECT_FALSE(sound.ReplaceLastOutput(sixty.data(), sixty.data(), kFrames)) << "stopped";
    ASSERT_TRUE(sound.StartSound());
    EXPECT_FALSE(sound.ReplaceLastOutput(sixty.data(), sixty.data(), kFrames)) << "a block from before the stop";
}

// A device that stops asking for three periods while capture runs on leaves three
// blocks more waiting in the ring. Heard that much later from then on, they would be
// a lasting delay: the ring gives up blocks until the delay is at most two blocks more
// than the one from before.
TEST_F(SoundCard, SingleBlockBuffersShedTheBacklogAStalledDeviceLeaves)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    frmDX8Events& events = single.events;
    ASSERT_TRUE(sound.StartSound());

    std::map<int32_t, int32_t> heardAt; // block: the period it is heard in
    for (int32_t period = 1; period <= 300; ++period) {
        ASSERT_TRUE(backend.pushCapture(stereoBlock(period)));
        events.DeliverPendingBlocks();
        if (period >= 100 && period < 103)
            continue; // the device stalls
        const auto out = backend.pullPlayback(kFrames);
        ASSERT_TRUE(out.has_value());
        const int32_t number = blockNumberOf(*out, ORVIKDX8::kSpliceFrames);
        ASSERT_NE(number, -1);
        if (number > 0) {
            EXPECT_TRUE(heardAt.emplace(number, period).second) << number << " played twice";
        }
    }
    ASSERT_TRUE(heardAt.count(90) && heardAt.count(290));
    const int32_t before = heardAt[90] - 90;
    EXPECT_LE(heardAt[290] - 290, before + 2);
    // Only blocks from the stall's surplus were given up.
    EXPECT_EQ(sound.OutputOverruns(), 1u);
    EXPECT_EQ(sound.OutputLateBlocks(), 0u);
}

// A sound server's streams drift about where they stand: here the device asks two periods
// early in the first second, so that the usual delay is judged at its lowest, then three
// periods late for a few seconds before it catches up. Giving blocks up for the drift would
// be heard as a click, and as a gap once the device caught up; every block is heard once,
// in turn.
TEST_F(SoundCard, SingleBlockBuffersRideOutADeviceThatDriftsAndComesBack)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    ASSERT_TRUE(sound.StartSound());

    std::vector<int32_t> heard;
    for (int32_t period = 1; period <= 400; ++period) {
        ASSERT_TRUE(backend.pushCapture(stereoBlock(period)));
        single.events.DeliverPendingBlocks();
        int asks = 1;
        if (period == 20 || period == 21 || (period >= 250 && period < 253))
            asks = 2;
        else if (period >= 100 && period < 103)
            asks = 0;
        for (int ask = 0; ask < asks; ++ask) {
            const auto out = backend.pullPlayback(kFrames);
            ASSERT_TRUE(out.has_value());
            const int32_t number = blockNumberOf(*out);
            ASSERT_NE(number, -1);
            if (number > 0 || !heard.empty())
                heard.push_back(number);
        }
    }
    ASSERT_GE(heard.size(), 390u);
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], heard.front() + static_cast<int32_t>(i)) << "at " << i;
    EXPECT_EQ(sound.OutputOverruns(), 0u);
    EXPECT_EQ(sound.OutputLateBlocks(), 0u);
}

// Opening the devices ahead of power on says nothing when it fails, neither to the user
// nor in the log; the start that follows tries again and tells both.
TEST_F(SoundCard, PreparingAheadFailsQuietlyAndLeavesTheMessageToTheStart)
{
    FakeSoundBackend backend({"card"}, {"card"});
    ORVIKDX8 sound(backend);
    configure(sound);
    for (const auto& [step, openError, createError] :
         {std::tuple{"opening", -9985, 0}, std::tuple{"buffers", 0, -9997}}) {
        SCOPED_TRACE(step);
        shown.clear();
        log.clear();
        backend.openError = openError;
        backend.createError = createError;
        EXPECT_FALSE(sound.PrepareDevicesAhead());
        EXPECT_FALSE(sound.Prepared());
        EXPECT_FALSE(backend.devicesOpen());
        EXPECT_EQ(sound.LastErr(), openError + createError);
        EXPECT_TRUE(shown.shown().empty());
        EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();

        EXPECT_FALSE(sound.StartSound());
        ASSERT_EQ(shown.shown().size(), 1u);
        EXPECT_EQ(shown.shown()[0].text.section('\n', 0, 0),
                  "Unable to start DirectSound. Check proper sound card installation");
        EXPECT_EQ(log.filter(QRegularExpression("^Error:ORVIKDX8\\.")).size(), 1) << log.join('\n').toStdString();
    }

    backend.openError = 0;
    backend.createError = 0;
    shown.clear();
    ASSERT_TRUE(sound.PrepareDevicesAhead());
    EXPECT_TRUE(backend.devicesOpen());
    EXPECT_FALSE(backend.capturing()) << "prepared, not started";
    EXPECT_TRUE(shown.shown().empty());
}

// Streams opened before a start (ahead of it, or before an Off) may belong to a device
// that went and came back meanwhile; they never start again. A start that fails on them
// is tried once on devices opened afresh, and only a failure there reaches the user.
TEST_F(SoundCard, StartOnDevicesOpenedBeforeTriesOnceMoreOnFreshOnes)
{
    ASSERT_TRUE(card.PrepareDevicesAhead());
    fake.startError = -9999;
    fake.startFailures = 1;
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), 2);
    EXPECT_EQ(fake.startCaptureCalls(), 2);
    EXPECT_TRUE(shown.shown().empty());
    EXPECT_EQ(log.filter("would not start (Fake error -9999); opening them afresh").size(), 1)
        << log.join('\n').toStdString();
    capture(1);
    EXPECT_EQ(delivered, 1);

    // Stopped: the devices stay open, and both tries fail.
    card.StopSound();
    fake.startFailures = 2;
    EXPECT_FALSE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), 3);
    EXPECT_EQ(fake.startCaptureCalls(), 4);
    EXPECT_FALSE(fake.devicesOpen());
    EXPECT_EQ(shown.shown().size(), 1u);

    // Devices opened by this very start are not opened again.
    fake.startFailures = 1;
    EXPECT_FALSE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), 4);
    EXPECT_EQ(shown.shown().size(), 2u);
    EXPECT_TRUE(card.StartSound());
}

// A sound system that did not answer the start would not answer an opening either: the
// start ends there, with the message, and every call of it counts against one time limit.
// The sound library's lines go to the log before the error, but not from the opening ahead.
TEST_F(SoundCard, AStartTheSoundSystemDidNotAnswerEndsAtOnceWithinOneTimeLimit)
{
    fake.logLines = {"ALSA pcm.c:1 (open): nothing here"};
    ASSERT_TRUE(card.PrepareDevicesAhead());
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
    fake.logLines = {"ALSA pulse.c:242 (pulse_connect): Unable to connect"};
    fake.startError = kSoundCallTimedOut;
    fake.startFailures = 1;
    EXPECT_FALSE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), 1);
    EXPECT_EQ(fake.startCaptureCalls(), 1);
    EXPECT_FALSE(fake.devicesOpen());
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_TRUE(shown.shown()[0].text.endsWith("The sound system did not answer in time")) << shown.shown()[0].text.toStdString();
    const auto firstStarting = [&](const char* text) {
        return std::find_if(log.begin(), log.end(), [&](const QString& l) { return l.startsWith(text); }) - log.begin();
    };
    EXPECT_EQ(log.filter("SoundBackend: ALSA pulse.c:242 (pulse_connect): Unable to connect").size(), 1);
    EXPECT_LT(firstStarting("SoundBackend: ALSA"), firstStarting("Error:ORVIKDX8")) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("nothing here").size(), 0);

    // Opening and starting in one go: one limit for both.
    const int32_t attempts = fake.attemptsBegun();
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(fake.attemptsBegun(), attempts + 1);
    EXPECT_EQ(fake.attemptLimit(), ORVIKDX8::kStartLimit);
    EXPECT_EQ(fake.callsOutsideAttempt(), 0);
}

TEST_F(SoundCard, DroppedBlocksLeaveGapsOfSilenceAndTheDelayAfterThemGrowsByABlock)
{
    ASSERT_TRUE(card.StartSound());
    // The tick at which each block is heard.
    std::map<int32_t, int32_t> heardAt;
    std::vector<int32_t> played;
    for (int32_t block = 1; block <= 100; ++block) {
        passThrough = block < 60 || block > 64; // the handler drops blocks 60 to 64
        if (auto number = tick(block)) {
            ASSERT_NE(*number, -1) << "a played block must be silence or one captured block";
            // Only the first block after the silence fades in from it.
            const bool afterSilence = !played.empty() && played.back() == 0 && *number > 1;
            EXPECT_EQ(blockNumberOf(lastPlayed) == -1, afterSilence) << *number;
            if (afterSilence) {
                EXPECT_EQ(lastPlayed[0], 0);
                EXPECT_LT(std::abs(lastPlayed[1]), std::abs(lastPlayed[ORVIKDX8::kSpliceFrames]) / 10);
            }
            played.push_back(*number);
            if (*number > 0) {
                EXPECT_TRUE(heardAt.emplace(*number, block).second) << *number << " played twice";
            }
        }
    }
    std::vector<int32_t> heard;
    for (const auto& [number, at] : heardAt)
        heard.push_back(number);
    std::vector<int32_t> expected;
    for (int32_t n = 1; n < 60; ++n)
        expected.push_back(n);
    for (int32_t n = 65; heardAt.count(n); ++n)
        expected.push_back(n);
    EXPECT_EQ(heard, expected);
    // The writer fell behind the reader: the blocks after the gap are not heard a lap of
    // the ring late, but a block later than before, a reserve against the next late one.
    ASSERT_TRUE(heardAt.count(59) && heardAt.count(66) && heardAt.count(90));
    EXPECT_EQ(heardAt[66] - 66, heardAt[59] - 59 + 1);
    EXPECT_EQ(heardAt[90] - 90, heardAt[59] - 59 + 1);
    EXPECT_GE(card.OutputLateBlocks(), 1u);
    EXPECT_EQ(card.PlaybackLead(), 2);
    EXPECT_GE(std::count(played.begin(), played.end(), 0), 5);
    EXPECT_EQ(log.filter("the playback lead is now 2 blocks").size(), 1) << log.join('\n').toStdString();
}

// The program's geometry driven period by period. A late spell: capture stands still while
// the device asks for six periods, then the blocks captured meanwhile come at once. Each
// spell costs one gap and raises the lead by a block, to three at most, and the newest
// block is heard that much later than before; after a minute of periods without one, the
// lead comes down a block at the price of one block given up.
TEST_F(SoundCard, LateBlocksRaiseTheLeadToThreeAtMostAndAQuietMinuteBringsItDownABlock)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    frmDX8Events& events = single.events;
    setLogSink([this](const QString& line) { log.append(line); });
    ASSERT_TRUE(sound.StartSound());

    int32_t block = 0;
    int32_t period = 0;
    std::map<int32_t, int32_t> heardAt; // block: the period it is heard in
    const auto capture = [&] {
        ASSERT_TRUE(backend.pushCapture(stereoBlock(++block)));
        events.DeliverPendingBlocks();
    };
    const auto play = [&] {
        ++period;
        if (auto out = backend.pullPlayback(kFrames)) {
            const int32_t number = blockNumberOf(*out, ORVIKDX8::kSpliceFrames);
            ASSERT_NE(number, -1);
            if (number > 0) {
                EXPECT_TRUE(heardAt.emplace(number, period).second) << number << " played twice";
            }
        }
    };
    // After each of this many blocks of a burst a period passes, as behind a window thread
    // slow to catch up: a block of the same burst comes late again.
    int32_t slowBlocks = 0;
    sound.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
        sound.Output(ch1.data(), ch2.data(), kFrames);
        if (slowBlocks > 0) {
            --slowBlocks;
            ASSERT_TRUE(backend.pushCapture(stereoBlock(++block)));
            play();
        }
    };
    const auto delay = [&] { return heardAt.rbegin()->second - heardAt.rbegin()->first; };
    const auto steady = [&](int32_t periods) {
        for (int32_t i = 0; i < periods; ++i) {
            capture();
            play();
        }
    };
    const auto lateSpell = [&] {
        for (int32_t i = 0; i < 6; ++i)
            play();
        for (int32_t i = 0; i < 6; ++i)
            ASSERT_TRUE(backend.pushCapture(stereoBlock(++block)));
        events.DeliverPendingBlocks();
    };

    steady(100);
    const int32_t normal = delay();
    EXPECT_EQ(sound.PlaybackLead(), 1);
    // The extra delay after each spell: the raised lead, and at most the period the
    // reader passed while the captured blocks came at once.
    std::vector<int32_t> leads, delays;
    for (int32_t spell = 0; spell < 3; ++spell) {
        slowBlocks = spell == 0 ? 2 : 0;
        lateSpell();
        // What stands above the lead goes in the first periods after the burst.
        steady(20);
        const uint64_t givenUp = sound.OutputOverruns();
        steady(80);
        EXPECT_EQ(sound.OutputOverruns(), givenUp) << "nothing given up in steady periods";
        leads.push_back(sound.PlaybackLead());
        delays.push_back(delay() - normal);
        EXPECT_GE(delays.back(), leads.back() - 1);
        EXPECT_LE(delays.back(), leads.back());
    }
    EXPECT_EQ(leads, (std::vector<int32_t>{2, 3, 3}));
    EXPECT_GT(delays[1], delays[0]);
    EXPECT_EQ(sound.OutputLateBlocks(), 3u);
    EXPECT_EQ(log.filter("the playback lead is now").size(), 2) << log.join('\n').toStdString();

    // A minute later the lead is a block shorter, the next minute shorter again; each step
    // down also gives up what leeway a rejoin left, so the delay is then the lead's alone,
    // and every block of delay taken off is one block given up.
    const uint64_t givenUp = sound.OutputOverruns();
    steady(static_cast<int32_t>(ORVIKDX8::kLeadHoldBlocks) + 50);
    EXPECT_EQ(sound.PlaybackLead(), 2);
    EXPECT_EQ(delay() - normal, 1);
    steady(static_cast<int32_t>(ORVIKDX8::kLeadHoldBlocks) + 50);
    EXPECT_EQ(sound.PlaybackLead(), 1);
    EXPECT_EQ(delay() - normal, 0);
    EXPECT_EQ(sound.OutputOverruns(), givenUp + static_cast<uint64_t>(delays.back()));
    EXPECT_EQ(log.filter("no late block for a minute").size(), 2);
    EXPECT_EQ(log.filter(QRegularExpression("lead is back to 2 blocks$")).size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter(QRegularExpression("lead is back to 1 block$")).size(), 1) << log.join('\n').toStdString();

    // Every block captured was heard once, but the two given up for the steps down.
}

// A tone through the program's geometry, then a stall: of the window thread alone (the device
// plays on, the captured blocks wait), or of the whole program (nothing runs; then the device
// asks for three blocks at once, before, between or after the blocks of the burst handled).
// The stall costs one gap, with nothing silent after it and every block given up spliced out;
// it raises the lead once, and a minute later the lead comes down by that block without a click.
TEST_F(SoundCard, AStallCostsOneGapAndTheLeadItRaisedComesDownWithoutAClick)
{
    struct Stall {
        const char* name;
        int32_t blocks;
        bool wholeProgram;
        int32_t asksFirst; // of the three asks, before the burst is handled
        bool asksBetween;  // the rest, one after each block of the burst
        bool pairs = false; // the device asks for two blocks every other period
        bool midBlock = false; // stopped with half a block played, the rest heard after
    };
    for (const Stall& stall : {Stall{"window thread", 6, false, 0, false}, Stall{"burst first", 7, true, 0, false},
                               Stall{"asks first", 7, true, 3, false}, Stall{"asks between", 14, true, 0, true},
                               Stall{"asks in pairs", 7, true, 0, false, true},
                               Stall{"mid-block", 7, true, 0, false, false, true}}) {
        SCOPED_TRACE(stall.name);
        log.clear();
        SingleBlockCard single;
        ORVIKDX8& sound = single.sound;
        int64_t clock = 1'000'000'000'000;
        sound.setClock([&] { return clock; });
        ASSERT_TRUE(sound.StartSound());
        // 1 kHz at 10000: a whole block is not a whole number of its periods.
        int64_t at = 0;
        const auto capture = [&] {
            std::vector<int16_t> block(2 * kFrames);
            for (int32_t i = 0; i < kFrames; ++i, ++at)
                block[static_cast<size_t>(2 * i)] =
                    static_cast<int16_t>(std::lround(10000 * std::sin(2 * 3.14159265358979 * 1000 * at / 48000.0)));
            ASSERT_TRUE(single.backend.pushCapture(block));
        };
        std::vector<int16_t> heard;
        const auto ask = [&] {
            if (auto out = single.backend.pullPlayback(kFrames))
                heard.insert(heard.end(), out->begin(), out->end());
        };
        int32_t asksLeft = 0;
        sound.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
            sound.Output(ch1.data(), ch2.data(), kFrames);
            if (stall.asksBetween && asksLeft > 0) {
                --asksLeft;
                ask();
            }
        };
        const auto periods = [&](int64_t count) {
            for (int64_t i = 0; i < count; ++i) {
                clock += kBlock;
                capture();
                single.events.DeliverPendingBlocks();
                if (!stall.pairs || i % 2 == 1) {
                    ask();
                    if (stall.pairs)
                        ask();
                }
            }
        };
        // From `from` on: no silence but the stall's, which begins within `gapWithin` samples,
        // and no step beyond the bound but at its edges.
        const auto oneGap = [&](size_t from, size_t gapWithin, int32_t tone) {
            std::vector<int> gaps = soundtest::zeroRuns(heard.data() + from, static_cast<int>(heard.size() - from), 32);
            size_t after = from;
            if (!gaps.empty() && static_cast<size_t>(gaps.front()) < gapWithin) {
                after = from + static_cast<size_t>(gaps.front());
                while (after < heard.size() && heard[after] == 0)
                    ++after;
                gaps.erase(gaps.begin());
            }
            EXPECT_TRUE(gaps.empty()) << "a second gap " << (gaps.empty() ? 0 : gaps[0]) << " samples on";
            int32_t step = 0;
            for (size_t i = after + 1; i < heard.size(); ++i)
                step = std::max(step, std::abs(heard[i] - heard[i - 1]));
            EXPECT_LE(step, 1.3 * tone + 300) << "the tone's own step " << tone;
        };

        periods(100);
        int32_t tone = 0;
        for (size_t i = heard.size() / 2; i < heard.size(); ++i)
            tone = std::max(tone, std::abs(heard[i] - heard[i - 1]));
        if (stall.midBlock) {
            if (auto half = single.backend.pullPlayback(kFrames / 2))
                heard.insert(heard.end(), half->begin(), half->end());
        }
        const size_t beforeStall = heard.size();
        if (stall.wholeProgram) {
            clock += stall.blocks * kBlock;
            for (int32_t i = 0; i < stall.asksFirst; ++i)
                ask();
            for (int32_t i = 0; i < stall.blocks; ++i)
                capture();
            asksLeft = 3 - stall.asksFirst;
            single.events.DeliverPendingBlocks();
            for (; asksLeft > 0; --asksLeft)
                ask();
        } else {
            for (int32_t i = 0; i < stall.blocks; ++i) {
                clock += kBlock;
                capture();
                ask();
            }
            single.events.DeliverPendingBlocks();
        }
        periods(100);
        // In the whole program's stall the device played nothing; it may begin with silence,
        // but not after the rest of a block it was in the middle of.
        oneGap(beforeStall, stall.midBlock ? 0 : stall.wholeProgram ? kFrames : stall.blocks * kFrames, tone);
        EXPECT_EQ(sound.PlaybackLead(), 2);
        EXPECT_EQ(log.filter("the playback lead is now 2 blocks").size(), 1) << log.join('\n').toStdString();

        const size_t beforeDown = heard.size();
        const uint64_t givenUp = sound.OutputOverruns();
        const uint64_t late = sound.OutputLateBlocks();
        periods(ORVIKDX8::kLeadHoldBlocks + 200);
        EXPECT_EQ(sound.PlaybackLead(), 1);
        // By the block it was raised by: where the newest stands may be a pair's second block.
        EXPECT_EQ(sound.OutputOverruns(), givenUp + 1);
        EXPECT_EQ(sound.OutputLateBlocks(), late);
        EXPECT_EQ(log.filter(QRegularExpression("lead is back to 1 block$")).size(), 1);
        oneGap(beforeDown, 0, tone);
    }
}

TEST_F(SoundCard, RestartPlaysNothingFromBeforeTheStop)
{
    ASSERT_TRUE(card.StartSound());
    for (int32_t block = 1; block <= 6; ++block)
        tick(block);
    card.StopSound();
    EXPECT_FALSE(card.InAction());
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(card.OutWriteIndex(), 0);
    EXPECT_EQ(card.OutReadIndex(), 0);
    EXPECT_FALSE(card.OutPtrWrap());
    std::vector<int32_t> played;
    for (int32_t block = 101; block <= 110; ++block)
        if (auto number = tick(block))
            played.push_back(*number);
    EXPECT_EQ(played, (std::vector<int32_t>{0, 0, 0, 0, 101, 102, 103, 104}));

    // With nothing written after a restart, every slot and buffer block read is silent.
    card.StopSound();
    ASSERT_TRUE(card.StartSound());
    passThrough = false;
    played.clear();
    for (int32_t block = 201; block <= 216; ++block)
        if (auto number = tick(block))
            played.push_back(*number);
    EXPECT_EQ(played, std::vector<int32_t>(14, 0));
}

TEST_F(SoundCard, OutputRingWrapsAfterEightSlotsAndHoldsNoMoreThanTheLimitUnplayed)
{
    ASSERT_TRUE(card.StartSound());
    passThrough = false;
    SampleBlock block{};
    // Nothing played yet: the writer stops at the design's four blocks and three more.
    for (int32_t i = 1; i <= 9; ++i)
        card.Output(block.data(), block.data(), kFrames);
    EXPECT_EQ(card.OutWriteIndex(), 7);
    EXPECT_EQ(card.OutputOverruns(), 2u);
    // Reader and writer go round the ring together.
    for (int32_t i = 1; i <= 3; ++i)
        capture(i);
    for (int32_t i = 0; i < 12; ++i) {
        ASSERT_TRUE(fake.pullPlayback(kFrames).has_value());
        card.Output(block.data(), block.data(), kFrames);
    }
    EXPECT_TRUE(card.OutPtrWrap());
}

TEST_F(SoundCard, StereoOutputInterleavesBothChannels)
{
    // Set after SamplesPerEvent, against the usual order: the ring must still fit.
    card.setNoChannelsOut(2);
    ASSERT_TRUE(card.StartSound());
    std::vector<std::vector<int16_t>> played;
    for (int32_t block = 1; block <= 7; ++block) {
        capture(block);
        if (auto out = fake.pullPlayback(2 * kFrames))
            played.push_back(*out);
    }
    ASSERT_EQ(played.size(), 5u);
    const std::vector<int16_t>& first = played[4];
    EXPECT_EQ(first, stereoBlock(1));
}

struct AttenuationCase {
    int32_t set;
    int32_t readBack;
    int16_t in;
    int16_t out;
};

TEST_F(SoundCard, OutputAttenuationStoresClipsReadsBackAndScalesPlayback)
{
    const AttenuationCase cases[] = {
        {-40000, -100, 20000, 0},  // stored -10000: silence
        {-10000, -100, 20000, 0},
        {-2550, -26, 20000, 1062}, // 20000 * 10^(-2550 / 2000)
        {-2000, -20, 10000, 1000},
        {-150, -2, 10000, 8414},   // -1.5 dB reads back as -2, half to even
        {-250, -2, 10000, 7499},
        {0, 0, -12345, -12345},
        {5000, 5000, 32767, 32767}, // positive means full level
    };
    for (const AttenuationCase& c : cases) {
        ORVIKDX8 sound(fake);
        configure(sound);
        frmDX8Events events(sound);
        sound.setOutputAttenuation(c.set);
        EXPECT_EQ(sound.OutputAttenuation(), c.readBack) << c.set;
        sound.DataReady = [&](SampleBlock&, SampleBlock&, int32_t) {
            SampleBlock out;
            out.fill(c.in);
            sound.Output(out.data(), out.data(), kFrames);
        };
        ASSERT_TRUE(sound.StartSound());
        std::optional<std::vector<int16_t>> played;
        for (int32_t block = 1; block <= 7; ++block) {
            ASSERT_TRUE(fake.pushCapture(stereoBlock(block)));
            events.DeliverPendingBlocks();
            played = fake.pullPlayback(kFrames);
        }
        ASSERT_TRUE(played.has_value());
        EXPECT_EQ((*played)[0], c.out) << c.set;
        EXPECT_EQ((*played)[kFrames - 1], c.out) << c.set;
        sound.ReleaseDevices();
    }
}

TEST_F(SoundCard, BadChannelCountIsRefusedOnceWhenSet)
{
    card.setNoChannelsIn(3);
    card.setNoChannelsOut(0);
    ASSERT_EQ(shown.shown().size(), 2u);
    EXPECT_EQ(shown.shown()[0].text, "Unknown Number of channels, only Mono or Stereo allowed");
    EXPECT_EQ(shown.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(card.LastErr(), 1001);
    EXPECT_EQ(card.NoChannelsIn(), 2);
    EXPECT_EQ(card.NoChannelsOut(), 1);
    ASSERT_TRUE(card.StartSound());
    for (int32_t block = 1; block <= 6; ++block)
        tick(block);
    EXPECT_EQ(delivered, 6);
    EXPECT_EQ(shown.shown().size(), 2u) << "blocks run without further messages";
}

TEST_F(SoundCard, BlocksArrivingWhileTheHandlerYieldsWaitTheirTurn)
{
    std::vector<int32_t> order;
    card.DataReady = [&](SampleBlock& ch1, SampleBlock&, int32_t) {
        const int32_t block = (ch1[0] - 1) / 3;
        order.push_back(block);
        if (block == 1) {
            // The handler lets events run while five more blocks are captured.
            for (int32_t next = 2; next <= 6; ++next)
                ASSERT_TRUE(fake.pushCapture(stereoBlock(next)));
            form.DeliverPendingBlocks();
            for (int32_t i = 0; i < kFrames; ++i)
                ASSERT_EQ(ch1[i], leftSample(1, i)) << "block under processing was overwritten";
        }
    };
    ASSERT_TRUE(card.StartSound());
    capture(1);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(card.DroppedCaptureBlocks(), 0u);
    EXPECT_EQ(card.CaptureStretchesGivenUp(), 0u);
}

// More blocks than the queue holds arrive while the handler yields: the newest are
// refused, and the ones waiting go with them, so that the sound misses one stretch and
// goes on with the blocks captured after it.
TEST_F(SoundCard, AnOverflowingQueueGivesUpItsBacklogAndTheRefusedBlocksAsOneStretch)
{
    constexpr int32_t kBurst = CapturedBlockQueue::kDepth + 6;
    std::vector<int32_t> order;
    card.DataReady = [&](SampleBlock& ch1, SampleBlock&, int32_t) {
        const int32_t block = (ch1[0] - 1) / 3;
        order.push_back(block);
        if (block == 1) {
            for (int32_t next = 2; next <= 1 + kBurst; ++next)
                fake.pushCapture(stereoBlock(next));
            form.DeliverPendingBlocks();
        }
    };
    ASSERT_TRUE(card.StartSound());
    capture(1);
    capture(2 + kBurst);
    capture(3 + kBurst);
    EXPECT_EQ(order, (std::vector<int32_t>{1, 2 + kBurst, 3 + kBurst}));
    EXPECT_EQ(card.DroppedCaptureBlocks(), 6u);
    EXPECT_EQ(card.CaptureBlocksGivenUp(), static_cast<uint64_t>(kBurst));
    EXPECT_EQ(card.CaptureStretchesGivenUp(), 1u);
    EXPECT_EQ(log.filter("came too late to be heard").size(), 1) << log.join('\n').toStdString();
}

// After the process stood still, the sound server hands over what it kept in one burst,
// the oldest blocks long past. Those captured more than the hold before their turn are
// given up as one stretch, whatever the order in which the burst and the handler meet;
// of the rest the output plays the newest in time, so what is heard also misses one stretch.
TEST_F(SoundCard, ABurstOfStaleCapturedBlocksIsGivenUpAsOneStretchAndTheNewestAreHeard)
{
    SingleBlockCard single;
    FakeSoundBackend& backend = single.backend;
    ORVIKDX8& sound = single.sound;
    frmDX8Events& events = single.events;
    setLogSink([this](const QString& line) { log.append(line); });
    now = 1'000'000'000'000;
    sound.setClock([this] { return now; });
    std::vector<int32_t> handled;
    sound.DataReady = [&](SampleBlock& ch1, SampleBlock& ch2, int32_t) {
        handled.push_back((ch1[0] - 1) / 3);
        sound.Output(ch1.data(), ch2.data(), kFrames);
    };
    ASSERT_TRUE(sound.StartSound());

    int32_t block = 0;
    std::vector<int32_t> heard;
    int32_t lag = -1; // blocks captured but not yet heard, in the last steady period
    // A block captured now, whose first sample was taken a block ago; then one is played.
    const auto steady = [&](int32_t periods) {
        for (int32_t i = 0; i < periods; ++i) {
            now += kBlock;
            ASSERT_TRUE(backend.pushCapture(stereoBlock(++block), now - kBlock));
            events.DeliverPendingBlocks();
            if (auto out = backend.pullPlayback(kFrames)) {
                heard.push_back(blockNumberOf(*out, ORVIKDX8::kSpliceFrames));
                lag = heard.back() > 0 ? block - heard.back() : lag;
            }
        }
    };
    steady(60);
    const int32_t beforeStall = block;
    const int32_t lagBefore = lag;

    // Two seconds stand still. The device asks for the periods it missed, then the server
    // hands over the last 30 blocks it kept, at once, in two pieces between which the
    // handler runs. The last sample of block i of them was taken i - 1/2 blocks ago.
    now += 47 * kBlock;
    const size_t held = heard.size();
    for (int32_t i = 0; i < 3; ++i)
        if (auto out = backend.pullPlayback(kFrames))
            heard.push_back(blockNumberOf(*out, ORVIKDX8::kSpliceFrames));
    // The first is held back, not a block of the ring: the last one heard, backwards.
    ASSERT_GT(heard.size(), held);
    EXPECT_NE(heard[held], 0) << "silence held";
    heard.erase(heard.begin() + static_cast<ptrdiff_t>(held));
    block += 47 - 30;
    for (int32_t i = 30; i > 0; --i) {
        ASSERT_TRUE(backend.pushCapture(stereoBlock(++block), now - i * kBlock - kBlock / 2));
        if (i == 20)
            events.DeliverPendingBlocks();
    }
    events.DeliverPendingBlocks();
    steady(60);

    // Handled: everything up to the stall, then the blocks captured within the hold of
    // the resume, then every block after.
    std::vector<int32_t> expected;
    for (int32_t n = 1; n <= beforeStall; ++n)
        expected.push_back(n);
    const int32_t firstKept = beforeStall + 47 - ORVIKDX8::kCaptureHoldBlocks + 1; // i = hold
    for (int32_t n = firstKept; n <= block; ++n)
        expected.push_back(n);
    EXPECT_EQ(handled, expected);
    EXPECT_EQ(sound.CaptureStretchesGivenUp(), 1u);
    EXPECT_EQ(sound.CaptureBlocksGivenUp(), static_cast<uint64_t>(30 - ORVIKDX8::kCaptureHoldBlocks));
    EXPECT_EQ(log.filter("came too late to be heard").size(), 1) << log.join('\n').toStdString();

    // Heard: blocks in order, one stretch missing (with the stall's silence in it) and at most
    // one more, spliced out once the device's pace after the stall shows; no silence after.
    std::vector<int32_t> numbers;
    for (int32_t n : heard)
        if (n != 0)
            numbers.push_back(n);
    ASSERT_FALSE(numbers.empty());
    int32_t jumps = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        ASSERT_GT(numbers[i], numbers[i - 1]) << "played out of order or twice";
        jumps += numbers[i] != numbers[i - 1] + 1;
    }
    EXPECT_LE(jumps, 2);
    const auto resumed = std::find_if(heard.begin(), heard.end(), [&](int32_t n) { return n > beforeStall; });
    EXPECT_EQ(std::count(resumed, heard.end(), 0), 0) << "a second gap";
    // The stretch raised the lead: what is heard now is later than before by that block,
    // and at most by the period the device asked for while the blocks came at once.
    EXPECT_EQ(sound.PlaybackLead(), 2);
    EXPECT_GE(lag, lagBefore + 1);
    EXPECT_LE(lag, lagBefore + 2);
}

// A device that held blocks from before the start hands them over at once when capture
// starts: only the newest is worth hearing, and giving up the rest is no stall, so the lead
// stays as it is and nothing is counted against the sound.
TEST_F(SoundCard, TheBacklogADeviceHeldFromBeforeTheStartIsGivenUpQuietly)
{
    recordOrderFrom(7'000'000'000);
    ASSERT_TRUE(card.StartSound());
    // Twenty blocks, the last sample of block b taken 20 - b blocks ago (and a bit).
    for (int32_t block = 1; block <= 20; ++block)
        ASSERT_TRUE(fake.pushCapture(stereoBlock(block), now - (21 - block) * kBlock - kBlock / 4));
    form.DeliverPendingBlocks();
    EXPECT_EQ(order, (std::vector<int32_t>{20}));
    EXPECT_EQ(card.CaptureStretchesGivenUp(), 0u);
    EXPECT_EQ(card.CaptureBlocksGivenUp(), 0u);
    EXPECT_EQ(card.PlaybackLead(), 1);
    EXPECT_EQ(log.filter("held from before the start").size(), 1) << log.join('\n').toStdString();

    // From then on the hold is the usual one: a block late by less than it is heard.
    now += 3 * kBlock;
    ASSERT_TRUE(fake.pushCapture(stereoBlock(21), now - 4 * kBlock));
    form.DeliverPendingBlocks();
    EXPECT_EQ(order, (std::vector<int32_t>{20, 21}));
}

// A server stalled at the start hands over nothing for 2 s, then blocks in pairs, said to be
// taken 0.73 s before they came and less with every pair: all came after the start, so all are heard.
TEST_F(SoundCard, BlocksCapturedAfterTheStartAreHeardHoweverLateTheDeviceSaysTheyCame)
{
    recordOrderFrom(9'000'000'000);
    ASSERT_TRUE(card.StartSound());
    now += 2'000'000'000;
    int64_t age = 730'000'000;
    int32_t block = 0;
    for (int32_t pair = 0; pair < 20; ++pair) {
        now += 2 * kBlock;
        for (int64_t older : {kBlock, int64_t{0}})
            ASSERT_TRUE(fake.pushCapture(stereoBlock(++block), now - age - older - kBlock));
        form.DeliverPendingBlocks();
        if (pair == 0) {
            EXPECT_EQ(order, (std::vector<int32_t>{1, 2})) << "the first pair was not heard";
        }
        if (pair >= 6)
            age = std::max<int64_t>(age - 2 * kBlock, 0);
    }
    std::vector<int32_t> all(static_cast<size_t>(block));
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(order, all);
    EXPECT_TRUE(log.filter("held from before the start").isEmpty()) << log.join('\n').toStdString();
    EXPECT_EQ(card.CaptureBlocksGivenUp(), 0u);
    // The trace tells where the wait was: before the first block, and in what the device said.
    const QString told = "the first captured block taken came 2085 ms after the start; the device says its last "
                         "sample was taken 772 ms before it came";
    EXPECT_EQ(log.filter(told).size(), 1) << log.join('\n').toStdString();
}

// The handler that falls more than the hold behind (the main thread starved, a modal
// wait) gives up the oldest of what waits, as one stretch, also when the device does not
// say when it captured.
TEST_F(SoundCard, BlocksWaitingLongerThanTheHoldAreGivenUpOldestFirst)
{
    recordOrderFrom(5'000'000'000);
    ASSERT_TRUE(card.StartSound());
    capture(1);
    // Twelve blocks arrive a block apart while nothing takes them.
    for (int32_t block = 2; block <= 13; ++block) {
        now += kBlock;
        ASSERT_TRUE(fake.pushCapture(stereoBlock(block)));
    }
    form.DeliverPendingBlocks();
    // Block 13 - k waited k blocks: those that waited more than the hold go.
    std::vector<int32_t> expected{1};
    for (int32_t block = 13 - ORVIKDX8::kCaptureHoldBlocks; block <= 13; ++block)
        expected.push_back(block);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(card.CaptureBlocksGivenUp(), static_cast<uint64_t>(12 - 1 - ORVIKDX8::kCaptureHoldBlocks));
    EXPECT_EQ(card.CaptureStretchesGivenUp(), 1u);
}

struct FailureCase {
    const char* name;
    std::vector<std::string> captureDevices;
    std::vector<std::string> playbackDevices;
    int32_t openError;
    int32_t createError;
    int32_t startError;
    const char* deviceLine; // the line under the message: devices and the reason
    int32_t captureDevice = 1;
};

// Whichever step fails, the user is told the same way and nothing stays open, so that
// the next start opens the devices afresh.
TEST_F(SoundCard, FailedStartLeavesNothingOpenAndTellsTheUser)
{
    const FailureCase cases[] = {
        {"no device at all", {}, {}, 0, 0, 0,
         "No capture or playback device was found: the sound server may not be running."},
        {"no capture device", {}, {"card"}, 0, 0, 0,
         "No capture device was found: the receiver has nothing to take its signal from."},
        {"no playback device", {"card"}, {}, 0, 0, 0,
         "No playback device was found: the receiver has nothing to play its sound through."},
        {"no device listed in time", {}, {}, kSoundCallTimedOut, 0, 0, "The sound system did not answer in time."},
        {"no such device number", {"card"}, {"card"}, 0, 0, 0,
         "Capture device number 2 of 1, playback device \"card\": No such device", 2},
        {"device busy", {"card"}, {"card"}, -9985, 0, 0,
         "Capture device \"card\", playback device \"card\": Fake error -9985"},
        {"buffers refused", {"card"}, {"card"}, 0, -9997, 0,
         "Capture device \"card\", playback device \"card\": Fake error -9997"},
        {"stream will not start", {"card"}, {"card"}, 0, 0, -9999,
         "Capture device \"card\", playback device \"card\": Fake error -9999"},
        {"sound system gave no answer", {"card"}, {"card"}, 0, 0, kSoundCallTimedOut,
         "Capture device \"card\", playback device \"card\": The sound system did not answer in time"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        shown.clear();
        log.clear();
        FakeSoundBackend backend(c.playbackDevices, c.captureDevices);
        backend.openError = c.openError;
        backend.createError = c.createError;
        backend.startError = c.startError;
        ORVIKDX8 sound(backend);
        configure(sound);
        sound.setCurrentCaptureDevice(c.captureDevice);
        QStringList names{"stale"};
        EXPECT_EQ(sound.GetCapDeviceNames(names), static_cast<int32_t>(c.captureDevices.size()) - 1);
        EXPECT_EQ(names.size(), static_cast<qsizetype>(c.captureDevices.size()));

        EXPECT_FALSE(sound.StartSound());
        EXPECT_FALSE(sound.InAction());
        EXPECT_NE(sound.LastErr(), 0);
        EXPECT_FALSE(sound.Prepared());
        EXPECT_FALSE(backend.devicesOpen());
        EXPECT_FALSE(backend.capturing());
        ASSERT_EQ(shown.shown().size(), 1u);
        EXPECT_EQ(shown.shown()[0].text, QString("Unable to start DirectSound. Check proper sound card installation\n")
                                         + c.deviceLine);
        EXPECT_EQ(shown.shown()[0].title, "ORVIKSDR");
        EXPECT_EQ(shown.shown()[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(log.filter(QRegularExpression("^Error:ORVIKDX8\\.")).size(), 1) << log.join('\n').toStdString();
        sound.StopSound(); // nothing runs: must be harmless
    }
}

TEST_F(SoundCard, DeviceNamesListEveryDeviceAndReturnTheLastIndex)
{
    FakeSoundBackend backend({"One", "Two", "Three"}, {"Mic"});
    ORVIKDX8 sound(backend);
    QStringList names;
    EXPECT_EQ(sound.GetPlayDeviceNames(names), 2);
    EXPECT_EQ(names, (QStringList{"One", "Two", "Three"}));
    EXPECT_EQ(sound.GetCapDeviceNames(names), 0);
    EXPECT_EQ(names, QStringList{"Mic"});
    sound.setCurrentPlaybackDevice(3);
    ASSERT_TRUE(sound.PrepareDevices());
    EXPECT_EQ(backend.openedPlaybackDevice(), 3);
    EXPECT_EQ(backend.openedCaptureDevice(), 1);
}

TEST_F(SoundCard, StartAndStopAreIdempotent)
{
    card.StopSound();
    EXPECT_FALSE(card.InAction());
    EXPECT_FALSE(card.Prepared());
    ASSERT_TRUE(card.StartSound());
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(fake.startCaptureCalls(), 1);
    card.StopSound();
    card.StopSound();
    EXPECT_FALSE(fake.isRunning());
    // One summary, for the one stop that stopped something, in good English.
    EXPECT_EQ(log.filter(QRegularExpression("sound stops after .*; playback lead 1 block$")).size(), 1)
        << log.join('\n').toStdString();
    card.ReleaseDevices();
    EXPECT_FALSE(fake.devicesOpen());
}

TEST_F(SoundCard, StopGivesUpOnADeviceThatNeverStopsAndLogsIt)
{
    ASSERT_TRUE(card.StartSound());
    fake.stopHangs = true;
    int pumps = 0;
    setEventPump([&] { ++pumps; });
    card.setStopTimeoutMs(50);
    const auto started = std::chrono::steady_clock::now();
    card.StopSound();
    // Far beyond the 50 ms on any machine, far below for ever.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_FALSE(card.InAction());
    EXPECT_GT(pumps, 0);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.last().contains("did not stop")) << log.last().toStdString();
}

// A device that stops by itself while sound is on: sound stops, the streams are closed,
// the owner hears of it (and switches off) before the user is told which devices went and
// why. The next start opens the devices afresh, and says so again while they stay away.
TEST_F(SoundCard, LostDeviceIsClosedTheOwnerToldAndTheUserShownWhy)
{
    std::vector<std::string> events;
    card.DeviceLost = [&] {
        events.push_back("lost: " + std::to_string(shown.shown().size()) + " messages, " +
                         (card.InAction() || card.Prepared() || fake.devicesOpen() ? "open" : "closed"));
    };
    ASSERT_TRUE(card.StartSound());
    capture(1);
    fake.loseDevice();
    form.DeliverPendingBlocks();
    EXPECT_EQ(events, std::vector<std::string>{"lost: 0 messages, closed"});
    EXPECT_FALSE(card.InAction());
    EXPECT_EQ(card.LastErr(), kSoundDeviceLost);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].text, "The sound stopped while receiving: the receiver is switched off\n"
                                     "Capture device \"Fake capture\", playback device \"Fake playback\": "
                                     "The device stopped unexpectedly");
    EXPECT_EQ(shown.shown()[0].title, "ORVIKSDR");
    EXPECT_EQ(log.filter("Error:ORVIKDX8.CheckDevice").size(), 1) << log.join('\n').toStdString();
    // Told once, however many streams ended.
    form.DeliverPendingBlocks();
    EXPECT_EQ(events.size(), 1u);

    // Still away: the start opens afresh, fails and says so; nothing runs.
    const int32_t opened = fake.openDevicesCalls();
    fake.openError = -9996;
    EXPECT_FALSE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), opened + 1);
    EXPECT_FALSE(card.InAction());
    ASSERT_EQ(shown.shown().size(), 2u);
    EXPECT_TRUE(shown.shown()[1].text.startsWith("Unable to start DirectSound."))
        << shown.shown()[1].text.toStdString();

    // Back: sound flows from freshly opened devices.
    fake.openError = 0;
    ASSERT_TRUE(card.StartSound());
    EXPECT_EQ(fake.openDevicesCalls(), opened + 2);
    capture(2);
    EXPECT_EQ(delivered, 2);

    // A device going while sound is off is no news: the next start finds out.
    card.StopSound();
    fake.loseDevice();
    form.DeliverPendingBlocks();
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(shown.shown().size(), 2u);

    // Its sound server gone while off: the devices are closed, and opened ahead again once,
    // when a server answers, all without a word to the user.
    fake.serverGone = true;
    card.CheckDevice();
    EXPECT_FALSE(card.Prepared());
    EXPECT_FALSE(fake.devicesOpen());
    card.CheckDevice();
    EXPECT_EQ(fake.openDevicesCalls(), opened + 2);
    fake.serverGone = false;
    fake.serverAnswers = true;
    card.CheckDevice();
    card.CheckDevice();
    EXPECT_TRUE(card.Prepared());
    EXPECT_EQ(fake.openDevicesCalls(), opened + 3);
    EXPECT_FALSE(fake.capturing());
    EXPECT_EQ(shown.shown().size(), 2u);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(SoundCard, GeometryCannotChangeUnderOpenDevices)
{
    ASSERT_TRUE(card.PrepareDevices());
    card.setSamplesPerEvent(1024);
    card.setNoChannelsIn(1);
    EXPECT_EQ(card.SamplesPerEvent(), kFrames);
    EXPECT_EQ(card.NoChannelsIn(), 2);
    EXPECT_EQ(card.BytesPerEventIn(), 8192);
    EXPECT_EQ(log.size(), 2);
    card.ReleaseDevices();
    card.setSamplesPerEvent(1024);
    EXPECT_EQ(card.BytesPerEventIn(), 4096);
}

} // namespace
