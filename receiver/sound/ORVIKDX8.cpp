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

ORVIKDX8::ORVIKDX8(SoundBackend& backend) : backend_(backend)
{
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

void ORVIKDX8::reportSoundFailure(int32_t error, const char* step)
{
    LastErr_ = error;
    if (quietPrepare_)
        return;
    AddLog(errorLine(step, error, backend_.errorText(error)));
    // Under the message: the two devices asked for and the sound system's reason.
    const auto device = [](const std::vector<std::string>& names, int32_t number) {
        if (number >= 1 && number <= static_cast<int32_t>(names.size()))
            return QStringLiteral("\"%1\"").arg(QString::fromStdString(names[static_cast<size_t>(number - 1)]));
        return QStringLiteral("number %1 of %2").arg(number).arg(names.size());
    };
    const QString why = QStringLiteral("Capture device %1, playback device %2: %3")
                            .arg(device(backend_.captureDeviceNames(), CurrentCaptureDevice_),
                                 device(backend_.playbackDeviceNames(), CurrentPlaybackDevice_),
                                 QString::fromStdString(backend_.errorText(error)));
    messages().show(QString::fromLatin1(kNoSoundCard) + QLatin1Char('\n') + why, QString::fromLatin1(kAppTitle),
                    MessageButtons::Ok, MessageIcon::None);
}

bool ORVIKDX8::PrepareDevices()
{
    if (Prepared_)
        return true;
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
}

bool ORVIKDX8::StartSound()
{
    if (InAction_)
        return true;
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
    blocksPlayed_.store(0);
    outputLateBlocks_ = 0;
    windowBlocks_ = 0;
    fewestInWindow_ = UINT64_MAX;
    normalWaiting_ = -1;
    surplus_ = 0;
    playbackStarted_ = false;
    deviceLost_.store(false);
    OutDelay_ = NoBlocksInBuffer_ * Inp2OutpBufferRatio_ - 1;

    int32_t error = backend_.startCapture();
    if (error != 0 && openedBefore) {
        // Devices opened before this start (ahead of it, or before an Off) may have gone
        // and come back since, a sound server restarted while the receiver was off: their
        // streams will not start again, fresh ones will.
        AddLog(QStringLiteral("ORVIKDX8: the devices opened before would not start (%1); opening them afresh")
                   .arg(QString::fromStdString(backend_.errorText(error))));
        ReleaseDevices();
        if (!PrepareDevices())
            return false;
        error = backend_.startCapture();
    }
    if (error != 0) {
        // Nothing of a start that failed is used again: the next one opens the devices afresh.
        ReleaseDevices();
        reportSoundFailure(error, "StartSound");
        return false;
    }
    InAction_ = true;
    return true;
}

void ORVIKDX8::StopSound()
{
    if (!Prepared_ || !InAction_)
        return;
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
}

void ORVIKDX8::CheckDevice()
{
    if (!deviceLost_.exchange(false) || !InAction_)
        return;
    StopSound();
    // Streams that ended by themselves are not started again.
    ReleaseDevices();
    if (DeviceLost)
        DeviceLost();
    reportSoundFailure(kSoundDeviceLost, "CheckDevice");
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
    // The reader has already played this block's slot as silence. Written there, it
    // would be heard a whole lap of the ring late, and every block after it too; the
    // writer joins the reader instead.
    if (blocksWritten_ < blocksPlayed_.load(std::memory_order_acquire)) {
        ++outputLateBlocks_;
        joinReader();
    }
    const uint64_t played = blocksPlayed_.load(std::memory_order_acquire);
    if (shedSurplus(blocksWritten_ - played, played)) {
        ++outputOverruns_;
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
        joinReader();
        return;
    }
    int16_t* destination = slot(OutWriteIndex_);
    const auto frames = static_cast<size_t>(SamplesPerEvent_);
    if (NoChannelsOut_ == 1) {
        std::copy_n(Channel1, frames, destination);
    } else {
        for (size_t i = 0; i < frames; ++i) {
            destination[2 * i] = Channel1[i];
            destination[2 * i + 1] = Channel2[i];
        }
    }
    busy.store(false, std::memory_order_release);
    advanceWriteIndex();
}

void ORVIKDX8::joinReader()
{
    // Joined with the lead it had, so the blocks after a gap keep their reserve and
    // their delay; before that is known, a block's.
    const uint64_t lead = normalWaiting_ >= 0 ? static_cast<uint64_t>(normalWaiting_) : 1;
    const uint64_t target = blocksPlayed_.load(std::memory_order_acquire) + lead;
    while (blocksWritten_ < target)
        advanceWriteIndex();
}

// Blocks waiting come and go with the capture side's jitter; what stays more than a
// block above the fewest seen in the first window after the reader took its first
// block, for a whole window, is delay a hiccup left behind: blocks are given up, one
// per call, down to that block. One block of leeway, because giving one up is heard
// as a click. Beyond the limit, a block is given up at once.
bool ORVIKDX8::shedSurplus(uint64_t waiting, uint64_t played)
{
    if (waiting >= backlogLimit())
        return true;
    if (played == 0)
        return false;
    fewestInWindow_ = std::min(fewestInWindow_, waiting);
    if (++windowBlocks_ >= kBacklogWindow) {
        if (normalWaiting_ < 0)
            normalWaiting_ = static_cast<int64_t>(fewestInWindow_);
        else if (static_cast<int64_t>(fewestInWindow_) > normalWaiting_ + 1)
            surplus_ = fewestInWindow_ - static_cast<uint64_t>(normalWaiting_) - 1;
        windowBlocks_ = 0;
        fewestInWindow_ = UINT64_MAX;
    }
    if (surplus_ == 0)
        return false;
    --surplus_;
    return true;
}

uint64_t ORVIKDX8::backlogLimit() const
{
    return static_cast<uint64_t>(std::min(NoBlocksInBuffer_ * Inp2OutpBufferRatio_ + 3, kOutputSlots));
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
        capturedBlocks_.pop();
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
    capturedBlocks_.commitPush(eventId);
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
