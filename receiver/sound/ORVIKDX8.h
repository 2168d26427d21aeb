#pragma once

#include "platform/sound/SoundBackend.h"
#include "receiver/SoundOutput.h"
#include "receiver/sound/CapturedBlockQueue.h"
#include "receiver/sound/SampleBlock.h"

#include <QStringList>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvik {

class frmDX8Events;

// The receiver's sound card: captures fixed blocks from one device, hands each
// to its owner through DataReady on the main thread, and plays the blocks given
// back through Output from an 8-slot ring via a looping playback buffer.
//
// Threads: notifications arrive on the sound system's thread. A capture
// notification only copies its block into a short queue and wakes EventForm;
// the main thread then runs EventHandler -> Capture -> DataReady, one block at a
// time. A playback notification refills the playback buffer from the ring
// right there, without locks.
class ORVIKDX8 final : public SoundOutput, private SoundNotificationSink {
public:
    static constexpr int32_t kOutputSlots = 8;
    // A captured block whose turn comes this many blocks later than the device usually
    // hands blocks over is given up, with every block before it: after a stall the
    // sound goes on from what is recent, and what is lost is one stretch.
    static constexpr int32_t kCaptureHoldBlocks = 8;
    // The playback lead is a block; each block that comes after its slot, and each
    // stretch of captured blocks given up, adds one, up to this many more.
    static constexpr int32_t kMostExtraLead = 2;
    // Output blocks, about a minute, without a late one before the lead comes down a block.
    static constexpr uint32_t kLeadHoldBlocks = 1406;
    // Frames (5 ms at 48 kHz) over which the block written after blocks given up takes over
    // from the first of them, which would have come next, and a block written after silence
    // fades in.
    static constexpr int32_t kSpliceFrames = 240;
    // About one block at 48 kHz.
    static constexpr int32_t kSlotWaitLimitMicros = 40000;
    // The most a start or an opening of the devices waits on the sound system, in all.
    static constexpr std::chrono::milliseconds kStartLimit{2000};
    static constexpr int32_t kErrBadChannels = 1001;

    explicit ORVIKDX8(SoundBackend& backend);
    ~ORVIKDX8() override;
    ORVIKDX8(const ORVIKDX8&) = delete;
    ORVIKDX8& operator=(const ORVIKDX8&) = delete;

    // Geometry. Refused (with a log line) while the devices are prepared.
    int32_t FSampling() const { return FSampling_; }
    void setFSampling(int32_t value);
    // 1 or 2; any other count is refused with a message and LastErr 1001.
    int32_t NoChannelsIn() const { return NoChannelsIn_; }
    void setNoChannelsIn(int32_t value);
    int32_t NoChannelsOut() const { return NoChannelsOut_; }
    void setNoChannelsOut(int32_t value);
    int32_t NoBlocksInBuffer() const { return NoBlocksInBuffer_; }
    void setNoBlocksInBuffer(int32_t value);
    // Frames per block, 1 to 2048. It and both channel counts derive the
    // byte counts and size the block storage (contents lost).
    int32_t SamplesPerEvent() const { return SamplesPerEvent_; }
    void setSamplesPerEvent(int32_t value);
    int32_t BitsPerSample() const { return BitsPerSample_; }
    void setBitsPerSample(int32_t value);
    int32_t Inp2OutpBufferRatio() const { return Inp2OutpBufferRatio_; }
    void setInp2OutpBufferRatio(int32_t value);

    // Hundredths of a decibel; stored clipped below at -10000. Reads back
    // unchanged when 0 or more, else as whole decibels (half to even).
    int32_t OutputAttenuation() const;
    void setOutputAttenuation(int32_t value) override;

    // 1-based positions in the device lists; used by the next PrepareDevices.
    int32_t CurrentPlaybackDevice() const { return CurrentPlaybackDevice_; }
    void setCurrentPlaybackDevice(int32_t value) { CurrentPlaybackDevice_ = value; }
    int32_t CurrentCaptureDevice() const { return CurrentCaptureDevice_; }
    void setCurrentCaptureDevice(int32_t value) { CurrentCaptureDevice_ = value; }

    intptr_t hWnd() const { return hWnd_; }
    void sethWnd(intptr_t value) { hWnd_ = value; }
    frmDX8Events* EventForm() const { return EventForm_.load(); }
    void setEventForm(frmDX8Events* form) { EventForm_.store(form); }

    bool InAction() const { return InAction_; }
    int32_t LastErr() const { return LastErr_; }
    bool Prepared() const { return Prepared_; }
    // Capture blocks still to come before playback starts.
    int32_t OutDelay() const { return OutDelay_; }
    bool OutPtrWrap() const { return OutPtrWrap_; }

    // True once devices, buffers and notifications all exist; on failure
    // nothing stays half open, LastErr holds the error and the user is told.
    bool PrepareDevices();
    // PrepareDevices ahead of the first StartSound, whose wait for the device's
    // first block is then short. A failure says nothing (LastErr holds it):
    // StartSound tries again and tells the user.
    bool PrepareDevicesAhead();
    void ReleaseDevices();
    // Fill DeviceNames with one entry per device (entry k is device k + 1) and
    // return the count less one: -1 when there is none.
    int32_t GetPlayDeviceNames(QStringList& DeviceNames);
    int32_t GetCapDeviceNames(QStringList& DeviceNames);
    // False (InAction stays False, LastErr set, the user told, the devices closed)
    // when sound could not start.
    bool StartSound();
    void StopSound();

    // Splits the block last taken from the capture queue into the two arrays.
    void Capture(SampleBlock& Channel1, SampleBlock& Channel2);
    // One block of SamplesPerEvent samples into the output ring; NoSamples is
    // not used. Channel2 is read only for stereo output.
    void Output(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) override;
    // Never waits: a reader taking the slot at this moment keeps the block written first.
    bool ReplaceLastOutput(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) override;
    // True when eventid is a capture notification. For a queued capture block
    // raises DataReady and counts down to the start of playback.
    bool EventHandler(int32_t eventid, SampleBlock& Channel1, SampleBlock& Channel2);

    // Raised once per captured block; runs to completion before the next block.
    std::function<void(SampleBlock& Channel1, SampleBlock& Channel2, int32_t NoSamples)> DataReady;
    // Declared for owners that connect it; never raised.
    std::function<void(const int16_t* Buffer, int32_t NoSamples)> DataOut;
    // Raised on the main thread when the device stopped by itself while sound was on,
    // once sound is stopped and the devices are closed, before the user is told.
    std::function<void()> DeviceLost;

    // Main thread: the event id of the oldest captured block not yet handled, 0 if none.
    int32_t PendingCaptureEvent() const { return capturedBlocks_.frontEventId(); }
    // Main thread, before the next block is taken: gives up the oldest captured blocks,
    // as one stretch, while they came too late to be worth hearing (see kCaptureHoldBlocks)
    // or the queue overflowed behind them. Returns the event id of the block found worth
    // taking, 0 if none waits: only that one may be taken, since a block captured while
    // this ran can be as stale as those given up (its arrival wakes the taker again).
    int32_t GiveUpStaleCaptures();
    // Main thread: when the device went away, stops sound, closes the devices (the next
    // StartSound opens them afresh), raises DeviceLost and tells the user. While sound is
    // off, devices whose sound server has gone are closed, and opened ahead again once a
    // server answers: their streams would never start. Called now and then while off.
    void CheckDevice();

    // How long StopSound waits for the device to report stopped.
    void setStopTimeoutMs(int32_t milliseconds) { stopTimeoutMs_ = milliseconds; }
    // The steady clock in nanoseconds, replaceable for tests.
    void setClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

    int32_t BytesPerEventIn() const { return BytesPerEventIn_; }
    int32_t BytesPerEventOut() const { return BytesPerEventOut_; }
    const std::vector<SoundNotifyRecord>& CaptureNotify() const { return CaptureNotify_; }
    const std::vector<SoundNotifyRecord>& PlaybackNotify() const { return PlaybackNotify_; }
    int32_t OutWriteIndex() const { return OutWriteIndex_; }
    int32_t OutReadIndex() const { return OutReadIndex_.load(); }
    // Captured blocks refused because the queue for the main thread was full.
    uint64_t DroppedCaptureBlocks() const { return droppedCaptureBlocks_.load(); }
    // Captured blocks given up by GiveUpStaleCaptures (the refused ones included), and
    // the stretches they made.
    uint64_t CaptureBlocksGivenUp() const { return captureBlocksGivenUp_; }
    uint64_t CaptureStretchesGivenUp() const { return captureStretchesGivenUp_; }
    // Blocks between a captured block and its sound, on top of the device's own buffering.
    int32_t PlaybackLead() const { return 1 + extraLead_; }
    // Output blocks given up so that blocks waiting in the ring do not add to the delay.
    uint64_t OutputOverruns() const { return outputOverruns_; }
    // Output blocks, since the last start, that came after the reader had played
    // their slot as silence.
    uint64_t OutputLateBlocks() const { return outputLateBlocks_; }
    // Output blocks given up because the playback thread held their slot too long.
    uint64_t OutputSlotTimeouts() const { return outputSlotTimeouts_; }

private:
    void soundNotification(int32_t eventId) override;
    void soundDeviceLost() override;
    void captureNotification(int32_t eventId);
    void playbackNotification(int32_t position);
    // Turns the block played last into one that starts where it ended and ends there again.
    void holdLastBlock();
    // Stores value into field unless the devices are prepared or it is not
    // valid, saying which in the log; true when stored.
    bool changeGeometry(int32_t& field, int32_t value, const char* property, bool valid, const QString& refusal);
    // The same for a channel count, refusing anything but 1 or 2 to the user.
    bool changeChannelCount(int32_t& field, int32_t value, const char* property);
    void deriveBlockSizes();
    // The log line and the message naming both devices and the reason; nothing
    // while preparing ahead.
    void reportSoundFailure(int32_t error, const char* step);
    // What the backend has for the log; dropped while preparing ahead.
    void logBackendLines();
    // The part of CheckDevice while sound is off.
    void reopenAfterServerRestart();
    // The backend's calls while one lives share kStartLimit; nested, the outer one counts.
    class Attempt;
    void wakeEventForm();
    void advanceWriteIndex();
    void fillSlot(int32_t index, const int16_t* Channel1, const int16_t* Channel2);
    void joinReader(uint64_t behind);
    // The first block of a run given up: its start is kept for the splice.
    void keepForSplice(const int16_t* Channel1, const int16_t* Channel2);
    // The block just written in slot `index` takes over from the one kept, or fades in when
    // silence was played before it; `again`: the same block rendered anew, the same edge.
    void spliceInto(int32_t index, bool again = false);
    // Whether the block about to be written is given up to keep the delay in bounds,
    // with `behind` captured blocks waiting after it.
    bool giveUpForDelay(uint64_t waiting, uint64_t played, uint64_t behind);
    // Unread blocks beyond which the reader has fallen behind for good: the start's lead
    // and the raised one, and five blocks more for a device that was late to ask and
    // will catch up, at most the ring.
    uint64_t backlogLimit() const;
    // Unread blocks the writer keeps ahead of the reader once the normal is known.
    uint64_t targetWaiting() const;
    // The first sign of a stall (a late block, a burst of captured blocks, blocks given up as
    // stale) raises the lead once; the others of the same stall do not.
    void raiseLead(const char* why);
    void restartBacklogWindow();
    int64_t blockNanos() const;
    void closeGivenUpStretch();
    // Where the first block of a start stood in time, for the trace.
    void logFirstBlock(int64_t arrivedAt, int64_t capturedAt);
    void logSoundCounts();
    int16_t* slot(int32_t index) { return OutBuffer_.data() + static_cast<size_t>(index) * slotSamples(); }
    size_t slotSamples() const { return static_cast<size_t>(NoChannelsOut_ * SamplesPerEvent_); }

    SoundBackend& backend_;

    int32_t FSampling_ = 44100;
    int32_t NoChannelsIn_ = 2;
    int32_t NoChannelsOut_ = 2;
    int32_t NoBlocksInBuffer_ = 2;
    int32_t SamplesPerEvent_ = 2048;
    int32_t BitsPerSample_ = 16;
    int32_t Inp2OutpBufferRatio_ = 2;
    std::atomic<int32_t> OutputAttenuation_{5000};
    int32_t CurrentPlaybackDevice_ = 1;
    int32_t CurrentCaptureDevice_ = 1;
    intptr_t hWnd_ = 0;
    std::atomic<frmDX8Events*> EventForm_{nullptr};
    bool InAction_ = false;
    int32_t LastErr_ = 0;

    int32_t OutDelay_ = 0;
    bool Prepared_ = false;
    bool OutPtrWrap_ = false;
    bool playbackStarted_ = false;
    bool quietPrepare_ = false;
    // The devices were closed for a sound server that went away while sound was off.
    bool reopenAhead_ = false;
    int32_t attemptDepth_ = 0;

    std::vector<int16_t> InBuffer_;
    std::vector<int16_t> OutBuffer_;
    std::array<std::atomic<bool>, kOutputSlots> slotBusy_{};
    int32_t OutWriteIndex_ = 0;
    std::atomic<int32_t> OutReadIndex_{0};
    int32_t BytesPerEventIn_ = 0;
    int32_t BytesPerEventOut_ = 0;
    std::vector<SoundNotifyRecord> CaptureNotify_;
    std::vector<SoundNotifyRecord> PlaybackNotify_;

    CapturedBlockQueue capturedBlocks_;
    std::vector<int16_t> playbackScratch_;
    std::atomic<uint64_t> droppedCaptureBlocks_{0};
    std::atomic<uint64_t> blocksPlayed_{0};
    uint64_t blocksWritten_ = 0;
    // The block the last Output filled, and its slot; none since the start.
    uint64_t lastFilledBlock_ = UINT64_MAX;
    int32_t lastFilledSlot_ = 0;
    uint64_t outputOverruns_ = 0;
    uint64_t outputLateBlocks_ = 0;
    static constexpr uint32_t kBacklogWindow = 32;
    // Blocks the delay may stand above its usual before a window's worth is given up.
    static constexpr uint64_t kDelayLeeway = 2;
    // Output calls after a stall's burst is written before what stands above the lead is given
    // up: the reader of a device that stalled too takes its missed blocks in that time.
    static constexpr uint32_t kSettleBlocks = 8;
    uint32_t windowLength_ = kBacklogWindow;
    uint64_t windowLeeway_ = kDelayLeeway;
    uint32_t windowBlocks_ = 0;
    uint64_t fewestInWindow_ = UINT64_MAX;
    int64_t normalWaiting_ = -1;
    uint64_t surplus_ = 0;
    uint64_t outputSlotTimeouts_ = 0;
    // Playback side: when the device last asked for a block, on clock_; and how long it
    // must not have asked, in blocks, to count as stopped.
    int64_t lastPlaybackAt_ = 0;
    static constexpr int64_t kDeviceStallBlocks = 5;
    int32_t extraLead_ = 0;
    // From a stall (the writer joined the reader, or a burst came) until the blocks that waited
    // behind are written.
    bool rejoining_ = false;
    uint32_t blocksSinceRaise_ = 0;
    // The first kSpliceFrames of the first block of the run given up last, for the block
    // written after it to take over from; and the edge the last filled block was given.
    bool spliceHeld_ = false;
    std::array<int16_t, 2 * kSpliceFrames> spliceFrom_{};
    enum class Edge { None, Splice, FadeIn };
    Edge lastEdge_ = Edge::None;
    std::array<int16_t, 2 * kSpliceFrames> lastSpliceFrom_{};
    // Output calls still to come in which a late block belongs to the stall last raised for.
    int32_t lateCoveredBlocks_ = 0;
    uint64_t captureBlocksGivenUp_ = 0;
    uint64_t captureStretchesGivenUp_ = 0;
    uint64_t refusedSeen_ = 0;
    // Captured blocks given up since the last one taken: one stretch.
    bool stretchOpen_ = false;
    uint64_t stretchBlocks_ = 0;
    // Captured blocks taken since the start, and those given up before the first.
    uint64_t blocksTaken_ = 0;
    uint64_t startBacklog_ = 0;
    // When capture was last started, on clock_.
    int64_t captureStartedAt_ = 0;
    // The least delay from capture to arrival seen lately, in nanoseconds; -1 before any.
    int64_t usualArrivalDelay_ = -1;
    std::function<int64_t()> clock_;
    std::atomic<bool> deviceLost_{false};
    int32_t stopTimeoutMs_ = 2000;
};

// The receiver's block geometry: 48 kHz, stereo in, mono out, 16-bit blocks of 2048
// samples, one block each way (the looping buffers live in memory on top of the sound
// server's own buffering, so every further block only delays what is heard).
void SetReceiverGeometry(ORVIKDX8& card);

} // namespace orvik
