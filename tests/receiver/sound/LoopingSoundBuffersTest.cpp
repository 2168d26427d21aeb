#include "platform/sound/LoopingSoundBuffers.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <utility>
#include <vector>

using namespace orvik;

namespace {

// Records each notification with what the capture buffer held at that moment.
class ReadingSink : public SoundNotificationSink {
public:
    explicit ReadingSink(LoopingSoundBuffers& buffers) : buffers_(buffers) {}
    void soundNotification(int32_t eventId) override
    {
        std::vector<int16_t> block(4);
        buffers_.readCapture(eventId == 1 ? 0 : 8, block.data(), 8);
        seen.emplace_back(eventId, block);
    }
    void soundDeviceLost() override {}

    std::vector<std::pair<int32_t, std::vector<int16_t>>> seen;

private:
    LoopingSoundBuffers& buffers_;
};

std::vector<int16_t> counting(int16_t first, size_t count)
{
    std::vector<int16_t> samples(count);
    std::iota(samples.begin(), samples.end(), first);
    return samples;
}

TEST(LoopingSoundBuffers, ReadsAndWritesWrapAroundTheBufferEnd)
{
    struct Case {
        int32_t offsetBytes;
        std::vector<int16_t> expected; // the 8 samples of the buffer afterwards
    };
    // An 8-sample buffer; six samples 1..6 written at each offset.
    const std::vector<Case> cases = {
        {0, {1, 2, 3, 4, 5, 6, 0, 0}},
        {12, {3, 4, 5, 6, 0, 0, 1, 2}},
        {14, {2, 3, 4, 5, 6, 0, 0, 1}},
        {16 + 12, {3, 4, 5, 6, 0, 0, 1, 2}}, // an offset past the end counts from the start
    };
    for (const Case& c : cases) {
        LoopingSoundBuffers buffers;
        buffers.allocate(16, 16);
        const std::vector<int16_t> written = counting(1, 6);
        buffers.writePlayback(c.offsetBytes, written.data(), 12);
        std::vector<int16_t> played(8, -1);
        buffers.renderPlayback(played.data(), 16);
        EXPECT_EQ(played, c.expected) << "playback written at byte " << c.offsetBytes;

        const std::vector<int16_t> captured = counting(1, 8);
        buffers.deliverCaptured(captured.data(), 16);
        std::vector<int16_t> read(6, -1);
        buffers.readCapture(c.offsetBytes, read.data(), 12);
        std::vector<int16_t> expectedRead;
        for (int32_t i = 0; i < 6; ++i)
            expectedRead.push_back(static_cast<int16_t>(1 + (c.offsetBytes / 2 + i) % 8));
        EXPECT_EQ(read, expectedRead) << "capture read at byte " << c.offsetBytes;
    }
}

TEST(LoopingSoundBuffers, NotificationSeesItsWholeBlockWhenADeliveryWraps)
{
    LoopingSoundBuffers buffers;
    buffers.allocate(16, 16);
    ReadingSink sink(buffers);
    // The last byte of each 4-sample block.
    buffers.setNotificationPositions(SoundBufferKind::Capture, {{7, 1}, {15, 2}}, &sink);

    const std::vector<int16_t> first = counting(1, 6);
    buffers.deliverCaptured(first.data(), 12);
    const std::vector<int16_t> second = counting(7, 10);
    buffers.deliverCaptured(second.data(), 20);
    // Silence from a device that delivered nothing completes the next block.
    buffers.deliverCaptured(nullptr, 8);

    using Seen = std::vector<std::pair<int32_t, std::vector<int16_t>>>;
    EXPECT_EQ(sink.seen, (Seen{{1, {1, 2, 3, 4}}, {2, {5, 6, 7, 8}}, {1, {9, 10, 11, 12}}, {2, {13, 14, 15, 16}},
                               {1, {0, 0, 0, 0}}}));
}

// Records when each notified capture block's last byte was taken, and playback
// notifications (events from kPlaybackEvents on) with a time of -1.
class TimingSink : public SoundNotificationSink {
public:
    static constexpr int32_t kPlaybackEvents = 100;
    explicit TimingSink(LoopingSoundBuffers& buffers) : buffers_(buffers) {}
    void soundNotification(int32_t eventId) override
    {
        if (eventId >= kPlaybackEvents) {
            seen.emplace_back(eventId, -1);
            return;
        }
        if (meanwhile)
            meanwhile();
        seen.emplace_back(eventId, buffers_.notifiedBlockCapturedAt());
    }
    void soundDeviceLost() override {}

    // Runs in each capture notification before it reads the time, as the playback thread may.
    std::function<void()> meanwhile;
    std::vector<std::pair<int32_t, int64_t>> seen;

private:
    LoopingSoundBuffers& buffers_;
};

// At one byte a microsecond, a block's last byte was taken as many microseconds after the
// delivery's first byte as it lies behind it, also across the buffer's end and when a
// delivery spans several blocks; a delivery whose time is not known gives 0.
TEST(LoopingSoundBuffers, ANotifiedBlockKnowsWhenItsLastByteWasTaken)
{
    LoopingSoundBuffers buffers;
    buffers.allocate(16, 16);
    buffers.setCaptureRate(1000000);
    TimingSink sink(buffers);
    buffers.setNotificationPositions(SoundBufferKind::Capture, {{7, 1}, {15, 2}}, &sink);

    const std::vector<int16_t> samples(16, 1);
    buffers.deliverCaptured(samples.data(), 12, 1'000'000); // bytes 0..11: block 1 ends at byte 7
    buffers.deliverCaptured(samples.data(), 24, 2'000'000); // bytes 12..35: blocks 2, 1, 2 end
    buffers.deliverCaptured(samples.data(), 8, 0);          // bytes 36..43: block 1 ends, time unknown

    using Seen = std::vector<std::pair<int32_t, int64_t>>;
    EXPECT_EQ(sink.seen, (Seen{{1, 1'000'000 + 7'000}, {2, 2'000'000 + 3'000}, {1, 2'000'000 + 11'000},
                               {2, 2'000'000 + 19'000}, {1, 0}}));
    EXPECT_EQ(buffers.notifiedBlockCapturedAt(), 0) << "only during a notification";
}

// The playback side notifies on a thread of its own, also while a captured block is being
// handed over: that block keeps its capture time, which tells how late it came.
TEST(LoopingSoundBuffers, APlaybackNotificationMeanwhileLeavesTheCaptureTimeAlone)
{
    LoopingSoundBuffers buffers;
    buffers.allocate(16, 16);
    buffers.setCaptureRate(1000000);
    TimingSink sink(buffers);
    buffers.setNotificationPositions(SoundBufferKind::Capture, {{7, 1}, {15, 2}}, &sink);
    buffers.setNotificationPositions(SoundBufferKind::Playback, {{7, 101}, {15, 102}}, &sink);
    std::vector<int16_t> played(4);
    // Each render notifies the block the one before it passed.
    sink.meanwhile = [&] { buffers.renderPlayback(played.data(), 8); };
    buffers.renderPlayback(played.data(), 8);

    const std::vector<int16_t> samples(8, 1);
    buffers.deliverCaptured(samples.data(), 16, 1'000'000);

    using Seen = std::vector<std::pair<int32_t, int64_t>>;
    EXPECT_EQ(sink.seen, (Seen{{101, -1}, {1, 1'000'000 + 7'000}, {102, -1}, {2, 1'000'000 + 15'000}}));
}

// Refills the block whose end the cursor passed with whatever is ready at that moment.
class RefillingSink : public SoundNotificationSink {
public:
    RefillingSink(LoopingSoundBuffers& buffers, int32_t blockBytes) : buffers_(buffers), blockBytes_(blockBytes) {}
    void soundNotification(int32_t eventId) override
    {
        ++notified;
        const std::vector<int16_t> block(static_cast<size_t>(blockBytes_ / 2), ready);
        buffers_.writePlayback((eventId - 1) * blockBytes_, block.data(), blockBytes_);
    }
    void soundDeviceLost() override {}

    int16_t ready = 0;
    int32_t notified = 0;

private:
    LoopingSoundBuffers& buffers_;
    int32_t blockBytes_;
};

// The device asks for one block at a time; what the notification of the block just
// played finds ready is what the device gets next, even when it became ready only
// after the device's previous request, and for any number of blocks in the buffer
// a block is handed out as many requests after its refill as the buffer has blocks.
TEST(LoopingSoundBuffers, PlaybackNotificationTakesWhatIsReadyWhenTheDeviceAsksAgain)
{
    for (int32_t blocks : {1, 2, 4}) {
        LoopingSoundBuffers buffers;
        buffers.allocate(0, blocks * 8);
        RefillingSink sink(buffers, 8);
        std::vector<SoundNotifyRecord> records;
        for (int32_t i = 0; i < blocks; ++i)
            records.push_back({(i + 1) * 8 - 1, i + 1});
        buffers.setNotificationPositions(SoundBufferKind::Playback, records, &sink);

        std::vector<int16_t> heard;
        for (int16_t value = 1; value <= 8; ++value) {
            std::vector<int16_t> played(4, -1);
            buffers.renderPlayback(played.data(), 8);
            heard.push_back(played[0]);
            // Made ready after the request: a notification fired right after the
            // hand-out would already have taken the value before.
            sink.ready = value;
        }
        std::vector<int16_t> expected(static_cast<size_t>(blocks), 0);
        for (int16_t value = 1; static_cast<int32_t>(expected.size()) < 8; ++value)
            expected.push_back(value);
        EXPECT_EQ(heard, expected) << blocks << " blocks";
        EXPECT_EQ(sink.notified, 7) << "one per request after the first, " << blocks << " blocks";
    }
}

} // namespace
