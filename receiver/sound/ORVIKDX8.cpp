#include "receiver/sound/ORVIKDX8.h"
#include "common/Product.h"

#include "common/Numeric.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "receiver/sound/SlotWait.h"
#include "receiver/sound/frmDX8Events.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace orvik {

namespace {

const char* const kAppTitle = ProductName;
const char* const kNoSoundCard = "Unable to start DirectSound. Check proper sound card installation";
const char* const kSoundStopped = "The sound stopped while receiving: the receiver is switched off";
const char* const kBadChannels = "Unknown Number of channels, only Mono or Stereo allowed";
constexpr int32_t kSilence = -10000;

QString errorLine(const char* where, int32_t code, const std::string& description)
{
    return QStringLiteral("Error:ORVIKDX8.%1,Code=%2,Description=%3,Source=SoundBackend")
        .arg(QString::fromLatin1(where))
        .arg(code)
        .arg(QString::fromStdString(description));
}

} // namespace

class ORVIKDX8::Attempt {
public:
    explicit Attempt(ORVIKDX8& card) : card_(card)
    {
        if (card_.attemptDepth_++ == 0)
            card_.backend_.beginAttempt(kStartLimit);
    }
    ~Attempt()
    {
        if (--card_.attemptDepth_ == 0)
            card_.backend_.endAttempt();
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

private:
    ORVIKDX8& card_;
};

ORVIKDX8::ORVIKDX8(SoundBackend& backend) : backend_(backend)
{
    clock_ = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    deriveBlockSizes();
}

ORVIKDX8::~ORVIKDX8()
{
    if (Prepared_)
        ReleaseDevices();
}

bool ORVIKDX8::changeGeometry(int32_t& field, int32_t value, const char* property, bool valid,
                              const QString& refusal)
{
    if (Prepared_) {
        AddLog(QStringLiteral("ORVIKDX8: %1 cannot change while the sound devices are open; release them first")
                   .arg(QString::fromLatin1(property)));
        return false;
    }
    if (!valid) {
        AddLog(QStringLiteral("ORVIKDX8: ") + refusal);
        return false;
    }
    field = value;
    return true;
}

bool ORVIKDX8::changeChannelCount(int32_t& field, int32_t value, const char* property)
{
    if (value == 1 || value == 2 || Prepared_)
        return changeGeometry(field, value, property, true, {});
    messages().show(QString::fromLatin1(kBadChannels), QString::fromLatin1(kAppTitle), MessageButtons::Ok,
                    MessageIcon::None);
    LastErr_ = kErrBadChannels;
    return false;
}

void ORVIKDX8::setFSampling(int32_t value)
{
    changeGeometry(FSampling_, value, "FSampling", value > 0, QStringLiteral("sample rate %1 ignored").arg(value));
}

void ORVIKDX8::setNoChannelsIn(int32_t value)
{
    if (changeChannelCount(NoChannelsIn_, value, "NoChannelsIn"))
        deriveBlockSizes();
}

void ORVIKDX8::setNoChannelsOut(int32_t value)
{
    if (changeChannelCount(NoChannelsOut_, value, "NoChannelsOut"))
        deriveBlockSizes();
}

void ORVIKDX8::setNoBlocksInBuffer(int32_t value)
{
    changeGeometry(NoBlocksInBuffer_, value, "NoBlocksInBuffer", value >= 1,
                   QStringLiteral("capture buffer of %1 blocks ignored").arg(value));
}

void ORVIKDX8::setSamplesPerEvent(int32_t value)
{
    // The channel arrays hold 2048 samples of a block.
    if (changeGeometry(SamplesPerEvent_, value, "SamplesPerEvent", value >= 1 && value <= kSampleBlockLength - 1,
                       QStringLiteral("block of %1 samples ignored").arg(value)))
        deriveBlockSizes();
}

void ORVIKDX8::setBitsPerSample(int32_t value)
{
    changeGeometry(BitsPerSample_, value, "BitsPerSample", value == 16,
                   QStringLiteral("%1 bits per sample ignored; blocks are 16-bit").arg(value));
}

void ORVIKDX8::setInp2OutpBufferRatio(int32_t value)
{
    changeGeometry(Inp2OutpBufferRatio_, value, "Inp2OutpBufferRatio", value >= 1,
                   QStringLiteral("buffer ratio %1 ignored").arg(value));
}

void ORVIKDX8::deriveBlockSizes()
{
    BytesPerEventIn_ = NoChannelsIn_ * SamplesPerEvent_ * 2;
    BytesPerEventOut_ = NoChannelsOut_ * SamplesPerEvent_ * 2;
    InBuffer_.assign(static_cast<size_t>(NoChannelsIn_ * SamplesPerEvent_), 0);
    OutBuffer_.assign(slotSamples() * kOutputSlots, 0);
}

int32_t ORVIKDX8::OutputAttenuation() const
{
    const int32_t stored = OutputAttenuation_.load(std::memory_order_relaxed);
    return stored >= 0 ? stored : RoundEven(stored / 100.0);
}

void ORVIKDX8::setOutputAttenuation(int32_t value)
{
    OutputAttenuation_.store(std::max(value, kSilence), std::memory_order_relaxed);
}

int32_t ORVIKDX8::GetPlayDeviceNames(QStringList& DeviceNames)
{
    DeviceNames.clear();
    for (const std::string& name : backend_.playbackDeviceNames())
        DeviceNames.append(QString::fromStdString(name));
    return static_cast<int32_t>(DeviceNames.size()) - 1;
}

int32_t ORVIKDX8::GetCapDeviceNames(QStringList& DeviceNames)
{
    DeviceNames.clear();
    for (const std::string& name : backend_.captureDeviceNames())
        DeviceNames.append(QString::fromStdString(name));
    return static_cast<int32_t>(DeviceNames.size()) - 1;
}

void ORVIKDX8::logBackendLines()
{
    for (const std::string& line : backend_.takeLogLines())
        if (!quietPrepare_)
            AddLog(QStringLiteral("SoundBackend: ") + QString::fromStdString(line));
}

void ORVIKDX8::reportSoundFailure(int32_t error, const char* step)
{
    LastErr_ = error;
    logBackendLines();
    if (quietPrepare_)
        return;
    AddLog(errorLine(step, error, backend_.errorText(error)));
    // Under the message: the two devices asked for and the sound system's reason, or which
    // kind of device there is none of (the sound system's reason then says nothing more).
    const std::vector<std::string> captureNames = backend_.captureDeviceNames();
    const std::vector<std::string> playbackNames = backend_.playbackDeviceNames();
    const auto device = [](const std::vector<std::string>& names, int32_t number) {
        if (number >= 1 && number <= static_cast<int32_t>(names.size()))
            return QStringLiteral("\"%1\"").arg(QString::fromStdString(names[static_cast<size_t>(number - 1)]));
        return QStringLiteral("number %1 of %2").arg(number).arg(names.size());
    };
    const QString reason = QString::fromStdString(backend_.errorText(error));
    QString why;
    if (captureNames.empty() && playbackNames.empty() && error == kSoundCallTimedOut)
        why = reason + QLatin1Char('.');
    else if (captureNames.empty() && playbackNames.empty())
        why = QStringLiteral("No capture or playback device was found: the sound server may not be running.");
    else if (captureNames.empty())
        why = QStringLiteral("No capture device was found: the receiver has nothing to take its signal from.");
    else if (playbackNames.empty())
        why = QStringLiteral("No playback device was found: the receiver has nothing to play its sound through.");
    else
        why = QStringLiteral("Capture device %1, playback device %2: %3")
                  .arg(device(captureNames, CurrentCaptureDevice_), device(playbackNames, CurrentPlaybackDevice_),
                       reason);
    // Only a device that stopped under running sound is lost; every other failure is a start's.
    const char* heading = error == kSoundDeviceLost ? kSoundStopped : kNoSoundCard;
    messages().show(QString::fromLatin1(heading) + QLatin1Char('\n') + why, QString::fromLatin1(kAppTitle),
                    MessageButtons::Ok, MessageIcon::None);
}

bool ORVIKDX8::PrepareDevices()
{
    if (Prepared_)
        return true;
    const Attempt attempt(*this);
    LastErr_ = 0;

    if (int32_t error = backend_.openDevices(CurrentPlaybackDevice_, CurrentCaptureDevice_); error != 0) {
        backend_.closeDevices();
        reportSoundFailure(error, "PrepareDevices");
        return false;
    }

    SoundBufferSetup setup;
    setup.capture = SoundFormat{NoChannelsIn_, FSampling_, BitsPerSample_};
    setup.playback = SoundFormat{NoChannelsOut_, FSampling_, BitsPerSample_};
    BytesPerEventIn_ = SamplesPerEvent_ * setup.capture.blockAlign();
    BytesPerEventOut_ = SamplesPerEvent_ * setup.playback.blockAlign();
    setup.captureBytes = BytesPerEventIn_ * NoBlocksInBuffer_;
    setup.playbackBytes = BytesPerEventOut_ * NoBlocksInBuffer_ * Inp2OutpBufferRatio_;
    setup.framesPerBlock = SamplesPerEvent_;
    // With a single block each way, playback starts as soon as one block is there and
    // nothing is left for captured blocks that come late, as they do by up to a block
    // with a catch-up pair behind. A block of silence ahead of the first is that reserve.
    if (NoBlocksInBuffer_ * Inp2OutpBufferRatio_ < 2)
        setup.playbackLeadBytes = BytesPerEventOut_;
    if (int32_t error = backend_.createBuffers(setup); error != 0) {
        backend_.closeDevices();
        reportSoundFailure(error, "CreateDevicesAndBuffers");
        return false;
    }

    // One notification at the last byte of every block of each buffer.
    CaptureNotify_.clear();
    for (int32_t i = 0; i < setup.captureBytes / BytesPerEventIn_; ++i)
        CaptureNotify_.push_back({(i + 1) * BytesPerEventIn_ - 1, backend_.createEvent()});
    PlaybackNotify_.clear();
    for (int32_t i = 0; i < setup.playbackBytes / BytesPerEventOut_; ++i)
        PlaybackNotify_.push_back({(i + 1) * BytesPerEventOut_ - 1, backend_.createEvent()});
    backend_.setNotificationPositions(SoundBufferKind::Capture, CaptureNotify_, this);
    backend_.setNotificationPositions(SoundBufferKind::Playback, PlaybackNotify_, this);

    capturedBlocks_.resize(NoChannelsIn_ * SamplesPerEvent_);
    playbackScratch_.assign(slotSamples(), 0);
    deviceLost_.store(false);
    Prepared_ = true;
    logBackendLines();
    return true;
}

bool ORVIKDX8::PrepareDevicesAhead()
{
    quietPrepare_ = true;
    const bool prepared = PrepareDevices();
    quietPrepare_ = false;
    return prepared;
}

void ORVIKDX8::ReleaseDevices()
{
    if (!Prepared_)
        return;
    if (InAction_)
        StopSound();
    backend_.closeDevices();
    CaptureNotify_.clear();
    PlaybackNotify_.clear();
    capturedBlocks_.clear();
    Prepared_ = false;
    logBackendLines();
}

bool ORVIKDX8::StartSound()
{
    if (InAction_)
        return true;
    // However many calls the start takes, a sound system that does not answer holds the
    // window kStartLimit in all.
    const Attempt attempt(*this);
    reopenAhead_ = false;
    const bool openedBefore = Prepared_;
    if (!Prepared_ && !PrepareDevices())
        return false;

    // Nothing from before the last stop may be heard again.
    std::fill(OutBuffer_.begin(), OutBuffer_.end(), int16_t{0});
    backend_.resetBuffers();
    capturedBlocks_.clear();
    OutWriteIndex_ = 0;
    OutReadIndex_.store(0);
    OutPtrWrap_ = false;
    blocksWritten_ = 0;
    lastFilledBlock_ = UINT64_MAX;
    blocksPlayed_.store(0);
    outputLateBlocks_ = 0;
    outputOverruns_ = 0;
    restartBacklogWindow();
    normalWaiting_ = -1;
    // A start is prompt again: the lead a busy spell raised is not carried over.
    extraLead_ = 0;
    blocksSinceRaise_ = 0;
    lateCoveredBlocks_ = 0;
    rejoining_ = false;
    captureBlocksGivenUp_ = 0;
    captureStretchesGivenUp_ = 0;
    stretchOpen_ = false;
    stretchBlocks_ = 0;
    blocksTaken_ = 0;
    startBacklog_ = 0;
    refusedSeen_ = droppedCaptureBlocks_.load();
    usualArrivalDelay_ = -1;
    playbackStarted_ = false;
    deviceLost_.store(false);
    OutDelay_ = NoBlocksInBuffer_ * Inp2OutpBufferRatio_ - 1;

    captureStartedAt_ = clock_();
    int32_t error = backend_.startCapture();
    if (error != 0 && error != kSoundCallTimedOut && openedBefore) {
        // Devices opened before this start (ahead of it, or before an Off) may have gone
        // and come back since, a sound server restarted while the receiver was off: their
        // streams will not start again, fresh ones will. A sound system that did not answer
        // would not answer an opening either.
        AddLog(QStringLiteral("ORVIKDX8: the devices opened before would not start (%1); opening them afresh")
                   .arg(QString::fromStdString(backend_.errorText(error))));
        ReleaseDevices();
        if (!PrepareDevices())
            return false;
        captureStartedAt_ = clock_();
        error = backend_.startCapture();
    }
    if (error != 0) {
        // Nothing of a start that failed is used again: the next one opens the devices afresh.
        ReleaseDevices();
        reportSoundFailure(error, "StartSound");
        return false;
    }
    InAction_ = true;
    logBackendLines();
    AddLog(QStringLiteral("ORVIKDX8: capture started in %1 ms").arg((clock_() - captureStartedAt_) / 1000000));
    return true;
}

void ORVIKDX8::StopSound()
{
    if (!Prepared_ || !InAction_)
        return;
    closeGivenUpStretch();
    logSoundCounts();
    backend_.stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stopTimeoutMs_);
    while (backend_.isRunning()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            AddLog(QStringLiteral("ORVIKDX8: the sound device did not stop within %1 ms").arg(stopTimeoutMs_));
            break;
        }
        pumpEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    InAction_ = false;
    // Blocks captured before the stop belong to the stopped run.
    capturedBlocks_.clear();
    logBackendLines();
}

void ORVIKDX8::CheckDevice()
{
    const bool lost = deviceLost_.exchange(false);
    if (!InAction_) {
        reopenAfterServerRestart();
        return;
    }
    if (!lost)
        return;
    StopSound();
    // Streams that ended by themselves are not started again.
    ReleaseDevices();
    if (DeviceLost)
        DeviceLost();
    reportSoundFailure(kSoundDeviceLost, "CheckDevice");
}

void ORVIKDX8::reopenAfterServerRestart()
{
    if (Prepared_ && backend_.devicesGone()) {
        AddLog(QStringLiteral("ORVIKDX8: the sound server of the open devices has gone; they are opened afresh once "
                              "one answers"));
        ReleaseDevices();
        reopenAhead_ = true;
    }
    if (!reopenAhead_ || Prepared_ || !backend_.serverBack())
        return;
    // Once only: a server that answers yet does not let the devices open is told of at On.
    reopenAhead_ = false;
    if (PrepareDevicesAhead())
        AddLog(QStringLiteral("ORVIKDX8: the devices are open again on the sound server that answers now"));
}

void ORVIKDX8::Capture(SampleBlock& Channel1, SampleBlock& Channel2)
{
    const auto frames = static_cast<size_t>(SamplesPerEvent_);
    if (NoChannelsIn_ == 1) {
        std::copy_n(InBuffer_.begin(), frames, Channel1.begin());
        std::copy_n(InBuffer_.begin(), frames, Channel2.begin());
    } else {
        for (size_t i = 0; i < frames; ++i) {
            Channel1[i] = InBuffer_[2 * i];
            Channel2[i] = InBuffer_[2 * i + 1];
        }
    }
}

void ORVIKDX8::Output(const int16_t* Channel1, const int16_t* Channel2, int32_t)
{
    // Captured blocks still waiting behind this one: written too, they will stand that
    // much further ahead of the reader.
    const auto behind = static_cast<uint64_t>(capturedBlocks_.size());
    // The reader has already played this block's slot as silence. Written there, it
    // would be heard a whole lap of the ring late, and every block after it too; the
    // writer joins the reader instead, with the lead raised a block so that the next
    // late block finds a reserve.
    if (blocksWritten_ < blocksPlayed_.load(std::memory_order_acquire)) {
        ++outputLateBlocks_;
        // Late again while the burst of the same stall drains or settles (a window thread
        // slow to catch up, a device that asks for what it missed): not another raise.
        if (lateCoveredBlocks_ == 0 && !rejoining_)
            raiseLead("a block came after its slot");
        joinReader(behind);
    }
    if (lateCoveredBlocks_ > 0)
        --lateCoveredBlocks_;
    const uint64_t played = blocksPlayed_.load(std::memory_order_acquire);
    if (giveUpForDelay(blocksWritten_ - played, played, behind)) {
        ++outputOverruns_;
        keepForSplice(Channel1, Channel2);
        return;
    }

    std::atomic<bool>& busy = slotBusy_[static_cast<size_t>(OutWriteIndex_)];
    // The reader holds a slot only for one short copy; a block's time is the
    // most it may take before this block is given up and plays as silence.
    if (!takeSlot(busy, std::chrono::microseconds(kSlotWaitLimitMicros))) {
        ++outputSlotTimeouts_;
        advanceWriteIndex();
        return;
    }
    // The reader may have passed the slot while this waited for it.
    if (blocksWritten_ < blocksPlayed_.load(std::memory_order_acquire)) {
        busy.store(false, std::memory_order_release);
        ++outputLateBlocks_;
        joinReader(behind);
        return;
    }
    fillSlot(OutWriteIndex_, Channel1, Channel2);
    spliceInto(OutWriteIndex_);
    busy.store(false, std::memory_order_release);
    lastFilledBlock_ = blocksWritten_;
    lastFilledSlot_ = OutWriteIndex_;
    advanceWriteIndex();
    if (behind == 0 && rejoining_) {
        rejoining_ = false;
        // The burst is written; once the reader has taken what the stall kept from it, what
        // still stands above the lead goes, as one stretch.
        restartBacklogWindow();
        windowLength_ = kSettleBlocks;
        windowLeeway_ = 0;
        // A late block or a burst of the same stall may still come while it settles, or just after.
        lateCoveredBlocks_ = std::max<int32_t>(lateCoveredBlocks_, kSettleBlocks + kCaptureHoldBlocks);
    }
}

bool ORVIKDX8::ReplaceLastOutput(const int16_t* Channel1, const int16_t* Channel2, int32_t)
{
    if (!InAction_ || lastFilledBlock_ == UINT64_MAX ||
        lastFilledBlock_ < blocksPlayed_.load(std::memory_order_acquire))
        return false;
    std::atomic<bool>& busy = slotBusy_[static_cast<size_t>(lastFilledSlot_)];
    if (busy.exchange(true, std::memory_order_acquire))
        return false;
    // Counted played before the reader lets the slot go: seen here if it got there first.
    const bool waiting = lastFilledBlock_ >= blocksPlayed_.load(std::memory_order_acquire);
    if (waiting) {
        fillSlot(lastFilledSlot_, Channel1, Channel2);
        spliceInto(lastFilledSlot_, true);
    }
    busy.store(false, std::memory_order_release);
    return waiting;
}

void ORVIKDX8::fillSlot(int32_t index, const int16_t* Channel1, const int16_t* Channel2)
{
    int16_t* destination = slot(index);
    const auto frames = static_cast<size_t>(SamplesPerEvent_);
    if (NoChannelsOut_ == 1) {
        std::copy_n(Channel1, frames, destination);
    } else {
        for (size_t i = 0; i < frames; ++i) {
            destination[2 * i] = Channel1[i];
            destination[2 * i + 1] = Channel2[i];
        }
    }
}

// Joins where the reader is, so that the blocks waiting behind follow the silence it played
// at once; only when they are fewer than the lead is the rest of it written as silence.
// What stands above the lead once the burst is written goes later (giveUpForDelay).
void ORVIKDX8::joinReader(uint64_t behind)
{
    const uint64_t target = targetWaiting();
    const uint64_t ahead = target > behind ? target - behind : 0;
    const uint64_t position = blocksPlayed_.load(std::memory_order_acquire) + ahead;
    while (blocksWritten_ < position)
        advanceWriteIndex();
    rejoining_ = true;
}

void ORVIKDX8::keepForSplice(const int16_t* Channel1, const int16_t* Channel2)
{
    if (spliceHeld_)
        return;
    spliceHeld_ = true;
    const int32_t frames = std::min(kSpliceFrames, SamplesPerEvent_);
    for (int32_t i = 0; i < frames; ++i) {
        spliceFrom_[static_cast<size_t>(NoChannelsOut_ * i)] = Channel1[i];
        if (NoChannelsOut_ == 2)
            spliceFrom_[static_cast<size_t>(2 * i + 1)] = Channel2[i];
    }
}

void ORVIKDX8::spliceInto(int32_t index, bool again)
{
    if (!again) {
        const bool held = std::exchange(spliceHeld_, false);
        // Right after the block written last the kept block joins; after slots the reader
        // played as silence (or passed over), the block fades in. A start has nothing before it.
        lastEdge_ = Edge::None;
        if (lastFilledBlock_ == UINT64_MAX)
            return;
        if (lastFilledBlock_ + 1 != blocksWritten_)
            lastEdge_ = Edge::FadeIn;
        else if (held)
            lastEdge_ = Edge::Splice;
        if (lastEdge_ == Edge::Splice)
            lastSpliceFrom_ = spliceFrom_;
    }
    if (lastEdge_ == Edge::None)
        return;
    int16_t* destination = slot(index);
    const int32_t frames = std::min(kSpliceFrames, SamplesPerEvent_);
    for (int32_t i = 0; i < frames; ++i) {
        const float share = frames > 1 ? static_cast<float>(i) / static_cast<float>(frames - 1) : 1.0f;
        for (int32_t c = 0; c < NoChannelsOut_; ++c) {
            const size_t at = static_cast<size_t>(NoChannelsOut_ * i + c);
            const float from = lastEdge_ == Edge::Splice ? lastSpliceFrom_[at] : 0.0f;
            destination[at] = static_cast<int16_t>(std::lrint(from + share * (destination[at] - from)));
        }
    }
}

uint64_t ORVIKDX8::targetWaiting() const
{
    // Before the normal is known, a block's.
    const uint64_t normal = normalWaiting_ >= 0 ? static_cast<uint64_t>(normalWaiting_) : 1;
    return normal + static_cast<uint64_t>(extraLead_);
}

void ORVIKDX8::raiseLead(const char* why)
{
    blocksSinceRaise_ = 0;
    // A late block and a burst of the same stall come within a burst's length of each other.
    lateCoveredBlocks_ = kCaptureHoldBlocks + 2;
    if (extraLead_ >= kMostExtraLead)
        return;
    ++extraLead_;
    restartBacklogWindow();
    AddLog(QStringLiteral("ORVIKDX8: %1; the playback lead is now %2 blocks (%3 late so far)")
               .arg(QString::fromLatin1(why))
               .arg(PlaybackLead())
               .arg(outputLateBlocks_));
}

void ORVIKDX8::restartBacklogWindow()
{
    windowLength_ = kBacklogWindow;
    windowLeeway_ = kDelayLeeway;
    windowBlocks_ = 0;
    fewestInWindow_ = UINT64_MAX;
    surplus_ = 0;
}

// What counts is where the newest captured block will stand: the blocks waiting in the
// ring ahead of this one and those still waiting behind it (captured blocks come in
// pairs from some devices, and a pair then always stands one further). A block is given
// up, rather than written (every run of blocks given up is spliced out, see spliceInto):
// - when the reader has fallen this far behind (backlogLimit): at once;
// - when blocks are waiting behind this one and together they would stand more than two
//   blocks beyond the lead (a burst; the leeway is for a pair that comes while the device
//   is a little late to ask): a stall, which raises the lead. A device stopped with the
//   program asks for the blocks it missed as soon as it runs again, before or after the
//   burst is handled: so the burst, and after a late block the blocks behind it, are kept
//   as far as the ring holds them (the oldest go first), and what still stands above the
//   lead a few blocks after they are written (kSettleBlocks) goes then, as one stretch;
// - when the lead was raised and a minute passed without a late block: the lead is a block
//   shorter again, and the block given up brings the newest down by that block;
// - when, for a whole window, the blocks stand more than two blocks beyond the fewest seen
//   in the first window after the reader took its first block (plus the raised lead): delay
//   that a hiccup of the devices left behind, given up one block per call. Two blocks of
//   leeway: giving one up is heard as a click, and the streams of a sound server drift a
//   block either way about where they stand, so that a first window caught low would
//   otherwise cost a click whenever they drift up.
bool ORVIKDX8::giveUpForDelay(uint64_t waiting, uint64_t played, uint64_t behind)
{
    if (waiting >= backlogLimit())
        return true;
    if (played == 0)
        return false;
    const uint64_t standing = waiting + behind;
    const uint64_t target = targetWaiting();
    // While what the last stall kept stands above the lead, a pair is no burst.
    const bool settling = windowLeeway_ == 0 || surplus_ > 0;
    if (!rejoining_ && !settling && normalWaiting_ >= 0 && behind > 0 && standing > target + 2) {
        rejoining_ = true;
        if (lateCoveredBlocks_ == 0)
            raiseLead("captured blocks came late at once");
    }
    // Written, the newest then waits a block short of the limit, which the next captured
    // block, coming before the reader takes one, would otherwise reach.
    if (rejoining_)
        return standing + 2 > backlogLimit();
    if (extraLead_ > 0 && ++blocksSinceRaise_ >= kLeadHoldBlocks && standing >= target) {
        --extraLead_;
        blocksSinceRaise_ = 0;
        restartBacklogWindow();
        // The one block the lead was raised by, this one. Where the newest stands now may be
        // the second of a pair, a block above where the pairs leave it: giving that block up
        // too would leave the reader a block short of the device's own pace, and the next
        // late block seconds later. Delay above the lead is the window's to find.
        AddLog(QStringLiteral("ORVIKDX8: no late block for a minute; the playback lead is back to %1 %2")
                   .arg(PlaybackLead())
                   .arg(PlaybackLead() == 1 ? QStringLiteral("block") : QStringLiteral("blocks")));
        return true;
    }
    fewestInWindow_ = std::min(fewestInWindow_, standing);
    if (++windowBlocks_ >= windowLength_) {
        // Never below the lead's block: a first window that caught the streams at their
        // lowest would put the limit a block lower for the whole session.
        if (normalWaiting_ < 0)
            normalWaiting_ = static_cast<int64_t>(std::max<uint64_t>(fewestInWindow_, 1));
        else if (fewestInWindow_ > targetWaiting() + windowLeeway_)
            surplus_ = fewestInWindow_ - targetWaiting() - windowLeeway_;
        windowBlocks_ = 0;
        fewestInWindow_ = UINT64_MAX;
        windowLength_ = kBacklogWindow;
        windowLeeway_ = kDelayLeeway;
    }
    if (surplus_ == 0)
        return false;
    --surplus_;
    return true;
}

uint64_t ORVIKDX8::backlogLimit() const
{
    return static_cast<uint64_t>(
        std::min(NoBlocksInBuffer_ * Inp2OutpBufferRatio_ + extraLead_ + 5, kOutputSlots - 1));
}

int64_t ORVIKDX8::blockNanos() const
{
    return static_cast<int64_t>(SamplesPerEvent_) * 1000000000LL / std::max(FSampling_, 1);
}

int32_t ORVIKDX8::GiveUpStaleCaptures()
{
    int32_t givenUp = 0;
    // Blocks were refused behind those waiting: they go with them, so that the sound
    // misses one stretch rather than blocks here and there.
    if (capturedBlocks_.takeOverflow()) {
        for (int32_t waiting = capturedBlocks_.size(); waiting > 0; --waiting, ++givenUp)
            capturedBlocks_.pop();
    }
    const int64_t now = clock_();
    // What a device held from before the start is no stall: only the newest of it is
    // worth hearing, and it is given up without a word about lateness.
    const bool starting = blocksTaken_ == 0;
    const int64_t hold = (starting ? 1 : kCaptureHoldBlocks) * blockNanos();
    int32_t worthTaking = 0;
    while (!capturedBlocks_.empty()) {
        const int64_t arrived = capturedBlocks_.frontArrivedAt();
        const int64_t captured = capturedBlocks_.frontCapturedAt() != 0 ? capturedBlocks_.frontCapturedAt() : arrived;
        const int64_t delay = std::max<int64_t>(arrived - captured, 0);
        // Only what the device says it captured before the start can be held from before it.
        // After its server stalled, a device can say its first blocks are far older than they
        // are while they come at the pace of the sound: giving them up brings nothing newer
        // sooner.
        const bool mayBeGivenUp = !starting || captured < captureStartedAt_;
        if (mayBeGivenUp && now - captured > std::max<int64_t>(usualArrivalDelay_, 0) + hold) {
            capturedBlocks_.pop();
            ++givenUp;
            continue;
        }
        // The device's buffering, and the server's, make the usual delay from capture to
        // arrival. It may change with the device: the least seen creeps up by a tenth of a
        // block with every block kept.
        usualArrivalDelay_ =
            usualArrivalDelay_ < 0 ? delay : std::min(usualArrivalDelay_ + blockNanos() / 10, delay);
        worthTaking = capturedBlocks_.frontEventId();
        break;
    }
    const uint64_t refused = droppedCaptureBlocks_.load() - refusedSeen_;
    if (givenUp == 0 && refused == 0)
        return worthTaking;
    refusedSeen_ += refused;
    if (starting) {
        startBacklog_ += static_cast<uint64_t>(givenUp) + refused;
        return worthTaking;
    }
    const uint64_t blocks = static_cast<uint64_t>(givenUp) + refused;
    captureBlocksGivenUp_ += blocks;
    stretchBlocks_ += blocks;
    if (!stretchOpen_) {
        stretchOpen_ = true;
        ++captureStretchesGivenUp_;
        raiseLead("captured blocks were given up");
    }
    // The blocks kept from the same burst come late at the output too; they do not raise it again.
    lateCoveredBlocks_ = kCaptureHoldBlocks + 2;
    return worthTaking;
}

void ORVIKDX8::logFirstBlock(int64_t arrivedAt, int64_t capturedAt)
{
    QString line = QStringLiteral("ORVIKDX8: the first captured block taken came %1 ms after the start")
                       .arg((arrivedAt - captureStartedAt_) / 1000000);
    if (capturedAt != 0)
        line += QStringLiteral("; the device says its last sample was taken %1 ms before it came")
                    .arg((arrivedAt - capturedAt) / 1000000);
    AddLog(line);
}

// A stretch ends with the next block taken; it is logged then, once, whole.
void ORVIKDX8::closeGivenUpStretch()
{
    if (!stretchOpen_)
        return;
    AddLog(QStringLiteral("ORVIKDX8: %1 captured blocks (%2 ms) came too late to be heard and were given up "
                          "(%3 stretches so far)")
               .arg(stretchBlocks_)
               .arg(static_cast<qint64>(stretchBlocks_) * blockNanos() / 1000000)
               .arg(captureStretchesGivenUp_));
    stretchOpen_ = false;
    stretchBlocks_ = 0;
}

void ORVIKDX8::logSoundCounts()
{
    AddLog(QStringLiteral("ORVIKDX8: sound stops after %1 blocks played, %2 late, %3 given up to keep the delay, "
                          "%4 captured blocks given up in %5 stretches; playback lead %6 %7")
               .arg(blocksPlayed_.load())
               .arg(outputLateBlocks_)
               .arg(outputOverruns_)
               .arg(captureBlocksGivenUp_)
               .arg(captureStretchesGivenUp_)
               .arg(PlaybackLead())
               .arg(PlaybackLead() == 1 ? QStringLiteral("block") : QStringLiteral("blocks")));
}

void ORVIKDX8::advanceWriteIndex()
{
    ++blocksWritten_;
    if (++OutWriteIndex_ >= kOutputSlots) {
        OutWriteIndex_ = 0;
        OutPtrWrap_ = true;
    }
}

bool ORVIKDX8::EventHandler(int32_t eventid, SampleBlock& Channel1, SampleBlock& Channel2)
{
    const auto isEvent = [eventid](const SoundNotifyRecord& record) { return record.eventId == eventid; };
    const bool queued = eventid != 0 && eventid == capturedBlocks_.frontEventId();
    if (queued || (eventid != 0 && std::any_of(CaptureNotify_.begin(), CaptureNotify_.end(), isEvent))) {
        if (!queued)
            return true;
        const std::vector<int16_t>& block = capturedBlocks_.frontSamples();
        std::copy(block.begin(), block.end(), InBuffer_.begin());
        if (blocksTaken_ == 0)
            logFirstBlock(capturedBlocks_.frontArrivedAt(), capturedBlocks_.frontCapturedAt());
        capturedBlocks_.pop();
        closeGivenUpStretch();
        if (blocksTaken_++ == 0 && startBacklog_ > 0)
            AddLog(QStringLiteral("ORVIKDX8: %1 captured blocks the device held from before the start were given up")
                       .arg(startBacklog_));
        Capture(Channel1, Channel2);
        if (DataReady)
            DataReady(Channel1, Channel2, SamplesPerEvent_);
        // The handler may have powered the receiver off.
        if (!InAction_)
            return true;
        if (OutDelay_ >= 1)
            --OutDelay_;
        if (OutDelay_ < 1 && !playbackStarted_) {
            playbackStarted_ = true;
            if (int32_t error = backend_.startPlayback(); error != 0) {
                AddLog(errorLine("EventHandler", error, backend_.errorText(error)));
                LastErr_ = error;
            }
        }
        return true;
    }
    const auto found = std::find_if(PlaybackNotify_.begin(), PlaybackNotify_.end(), isEvent);
    if (eventid != 0 && found != PlaybackNotify_.end())
        playbackNotification(static_cast<int32_t>(found - PlaybackNotify_.begin()));
    return false;
}

void ORVIKDX8::soundNotification(int32_t eventId)
{
    for (const SoundNotifyRecord& record : CaptureNotify_) {
        if (record.eventId == eventId) {
            captureNotification(eventId);
            return;
        }
    }
    for (size_t i = 0; i < PlaybackNotify_.size(); ++i) {
        if (PlaybackNotify_[i].eventId == eventId) {
            playbackNotification(static_cast<int32_t>(i));
            return;
        }
    }
}

void ORVIKDX8::captureNotification(int32_t eventId)
{
    int32_t position = 0;
    while (CaptureNotify_[static_cast<size_t>(position)].eventId != eventId)
        ++position;
    int16_t* entry = capturedBlocks_.beginPush();
    if (!entry) {
        droppedCaptureBlocks_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    backend_.readCapture(position * BytesPerEventIn_, entry, BytesPerEventIn_);
    capturedBlocks_.commitPush(eventId, backend_.notifiedBlockCapturedAt(), clock_());
    wakeEventForm();
}

// The playback cursor has passed the end of block `position` and the device
// wants more: that block gets the oldest ring slot, handed out when the cursor
// next reaches it (at once when the buffer holds one block).
void ORVIKDX8::playbackNotification(int32_t position)
{
    const int32_t attenuation = OutputAttenuation_.load(std::memory_order_relaxed);
    const int32_t readIndex = OutReadIndex_.load(std::memory_order_relaxed);
    std::atomic<bool>& busy = slotBusy_[static_cast<size_t>(readIndex)];
    const size_t samples = slotSamples();
    // Counted played before the slot is let go, so a writer that takes it next sees
    // that it has been passed.
    const auto passOn = [&] {
        OutReadIndex_.store((readIndex + 1) % kOutputSlots, std::memory_order_relaxed);
        blocksPlayed_.fetch_add(1, std::memory_order_release);
    };
    // The device comes back from a stall of its own (the whole program was stopped) and asks
    // for the blocks it missed at once, while the main thread is only beginning on the burst
    // of captured blocks that stood still with it: a block held back now leaves the blocks in
    // the ring for the next asks and gives the burst time to come after them, where taking
    // them now would leave silence after them, a second gap. The held block is the last one
    // played, backwards and then fading into its own end: it starts where that block ended
    // and ends where the next one starts, so a stop in the middle of a block, whose rest is
    // heard after the server's gap, is not followed by a second one.
    const int64_t now = clock_();
    const int64_t last = std::exchange(lastPlaybackAt_, now);
    if (blocksPlayed_.load(std::memory_order_relaxed) > 0 && last != 0 &&
        now - last > kDeviceStallBlocks * blockNanos()) {
        holdLastBlock();
        backend_.writePlayback(position * BytesPerEventOut_, playbackScratch_.data(), BytesPerEventOut_);
        return;
    }
    // Never wait on the main thread here: a slot it is writing plays as silence.
    if (busy.exchange(true, std::memory_order_acquire)) {
        std::fill_n(playbackScratch_.begin(), samples, int16_t{0});
        passOn();
    } else {
        int16_t* source = slot(readIndex);
        if (attenuation >= 0) {
            std::copy_n(source, samples, playbackScratch_.begin());
        } else if (attenuation <= kSilence) {
            std::fill_n(playbackScratch_.begin(), samples, int16_t{0});
        } else {
            const float gain = std::pow(10.0f, static_cast<float>(attenuation) / 2000.0f);
            for (size_t i = 0; i < samples; ++i)
                playbackScratch_[i] = static_cast<int16_t>(std::lrint(source[i] * gain));
        }
        std::fill_n(source, samples, int16_t{0});
        passOn();
        busy.store(false, std::memory_order_release);
    }
    backend_.writePlayback(position * BytesPerEventOut_, playbackScratch_.data(), BytesPerEventOut_);
}

void ORVIKDX8::holdLastBlock()
{
    const int32_t frames = SamplesPerEvent_;
    const int32_t channels = NoChannelsOut_;
    const auto at = [&](int32_t frame, int32_t c) { return static_cast<size_t>(channels * frame + c); };
    for (int32_t i = 0, j = frames - 1; i < j; ++i, --j)
        for (int32_t c = 0; c < channels; ++c)
            std::swap(playbackScratch_[at(i, c)], playbackScratch_[at(j, c)]);
    // The block's own end now lies at the head, untouched by the fade written at the tail.
    const int32_t fade = std::min(kSpliceFrames, frames / 2);
    for (int32_t k = 0; k < fade; ++k) {
        const float share = fade > 1 ? static_cast<float>(k) / static_cast<float>(fade - 1) : 1.0f;
        for (int32_t c = 0; c < channels; ++c) {
            const float from = playbackScratch_[at(frames - fade + k, c)];
            const float to = playbackScratch_[at(fade - 1 - k, c)];
            playbackScratch_[at(frames - fade + k, c)] = static_cast<int16_t>(std::lrint(from + share * (to - from)));
        }
    }
}

void ORVIKDX8::soundDeviceLost()
{
    deviceLost_.store(true);
    wakeEventForm();
}

void ORVIKDX8::wakeEventForm()
{
    if (frmDX8Events* form = EventForm_.load())
        form->wake();
}

void SetReceiverGeometry(ORVIKDX8& card)
{
    card.setFSampling(48000);
    card.setNoChannelsIn(2);
    card.setNoChannelsOut(1);
    card.setNoBlocksInBuffer(1);
    card.setSamplesPerEvent(2048);
    card.setBitsPerSample(16);
    card.setInp2OutpBufferRatio(1);
}

} // namespace orvik
