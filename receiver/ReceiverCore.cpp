#include "receiver/ReceiverCore.h"

#include "common/Numeric.h"
#include "receiver/ReceiverAdjust.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace orvik {

using namespace vectorlib;

namespace {

constexpr int32_t N = kBlockSamples;
constexpr int32_t kTableSize = 65536;
constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.14159265f;

// Clears a flag on every way out of a scope, so a stage that bails out early
// never leaves the chain marked busy.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
};

void advanceRing(int32_t& index)
{
    ++index;
    if (index >= kStatsRingWritten)
        index = 0;
}

} // namespace

int32_t SMeterTicks(float level)
{
    int32_t n = static_cast<int32_t>(Int(20.0 * ORVIK::Log10(level) + 0.5));
    n = IntDiv(n, 6);
    return std::clamp(n, 0, 14);
}

ReceiverCore::ReceiverCore(PublicVars& vars, SoundOutput& sound, SpectrumFeed& spectrum, PlayerRecorder& player,
                           TuningSource& tuning)
    : m_vars(vars), m_sound(sound), m_spectrum(spectrum), m_player(player), m_tuning(tuning),
      m_IFBlock(kSpectrumPoints + 1), m_IFCopy(N + 1), m_IBlock(kSpectrumPoints + 1),
      m_QBlock(kSpectrumPoints + 1), m_SpectrumRe(kSpectrumPoints + 1), m_SpectrumIm(kSpectrumPoints + 1),
      m_SpectrumMag(kSpectrumPoints + 1), m_AFBlock(kSpectrumPoints + 1), m_LOCos(N), m_LOSin(N),
      m_PowerBlock(kSpectrumPoints + 1), m_IFFilterCoeffs(N), m_SinTable(kTableSize), m_CosTable(kTableSize),
      m_FMMagnitude(N), m_FMPhase(N), m_BCLine(N + 9), m_IFStageInput(N), m_IFStageInputPrev(N),
      m_IFStageInputPrev2(N), m_IFRawNext(N), m_IFRawInput(N), m_IFRawInputPrev(N), m_IFRawInputPrev2(N),
      m_renderedAgain(N), m_AGCWeightedHistory(kAGCHistoryCapacity),
      m_AGCRamp(kAGCRampCapacity), outgoingPeaks_(vars.AGCPeakHistory.size()), sentHead_(kFadeInSamples),
      fadeFrom_(kFadeInSamples), fadeRamp_(kFadeInSamples), incomingIF_(kSpectrumPoints), outgoingIF_(kSpectrumPoints),
      designRe_(kSpectrumPoints + 1), designIm_(kSpectrumPoints + 1)
{
    live_.filters = {&IFFilter, &NotchFilter, &AMFilterI, &AMFilterQ, &SSBFilterI, &SSBFilterQ, &DemodFilter,
                      &DynamicFilter};
    live_.fmDelay = &FMDelay;
    live_.fmHilbert = &FMHilbert;
    live_.notchTail.assign(N, 0.0f);
    constexpr int32_t quarter = kSampleRate / 4;
    setUpFilter(DemodFilter, 2, false, true, false, 100, 4500, true);
    setUpFilter(DynamicFilter, 2, false, true, false, 100, 4500, true);
    setUpFilter(IFFilter, 0, false, false, false, quarter - 4500, quarter + 4500, true);
    setUpFilter(AMFilterI, 2, false, true, false, quarter - quarter - 1000, quarter + quarter - 1000, true);
    setUpFilter(AMFilterQ, 2, !AMFilterI.QPhase, true, false, AMFilterI.FLow, AMFilterI.FHigh, true);
    setUpFilter(SSBFilterI, 2, false, true, false, 300, 2300, false);
    setUpFilter(SSBFilterQ, 2, !SSBFilterI.QPhase, true, false, SSBFilterI.FLow, SSBFilterI.FHigh, false);
    setUpFilter(NotchFilter, 1, false, true, true, 950, 1050, false);
    FMDelay.Load(128, N);
    FMHilbert.Load(128, N);
    BlockFFT.Points = kSpectrumPoints;
    BlockFFT.FFTInit(kSpectrumPoints);

    // The outgoing stages take their designs from the live ones when a change begins.
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const clsFFTFilter& live = filter(static_cast<FilterSlot>(slot));
        setUpFilter(outgoingFilters_[static_cast<size_t>(slot)], live.WindowType, live.QPhase, live.NormaliseGain,
                    live.BandReject, live.FLow, live.FHigh, false);
    }
    outgoingFMDelay_.Load(128, N);
    outgoingFMHilbert_.Load(128, N);
    for (int slot = 0; slot < kSlotCount; ++slot)
        outgoing_.filters[static_cast<size_t>(slot)] = &outgoingFilters_[static_cast<size_t>(slot)];
    outgoing_.fmDelay = &outgoingFMDelay_;
    outgoing_.fmHilbert = &outgoingFMHilbert_;
    outgoing_.notchTail.assign(N, 0.0f);
    VectorRamp_S_1(0.0f, 1.0f, fadeRamp_.data(), kFadeInSamples);

    const int32_t mode = m_vars.DemodMode;
    const bool amLike = mode == kDemodAM || mode == kDemodFM || mode == kDemodBC;
    const bool ssb = mode == kDemodUSB || mode == kDemodLSB;
    DemodFilter.Active = AMFilterI.Active = AMFilterQ.Active = amLike;
    SSBFilterI.Active = SSBFilterQ.Active = ssb;
}

void ReceiverCore::setUpFilter(clsFFTFilter& f, int32_t windowType, bool qPhase, bool normalise, bool bandReject,
                               int32_t fLow, int32_t fHigh, bool design)
{
    f.SegmentSize = 2 * N;
    f.Points = N;
    f.FSampling = kSampleRate;
    f.WindowType = windowType;
    f.QPhase = qPhase;
    f.NormaliseGain = normalise;
    f.BandReject = bandReject;
    f.FLow = fLow;
    f.FHigh = fHigh;
    f.Init(N);
    if (design)
        f.MakeFilter();
}

clsFFTFilter& ReceiverCore::filter(FilterSlot slot)
{
    return *run_->filters[slot];
}

void ReceiverCore::filterBlock(FilterSlot slot, float* block)
{
    clsFFTFilter& f = filter(slot);
    if (!run_->usedLastBlock[slot] && !run_->usedThisBlock[slot])
        f.ClearOverlap();
    f.Filter_FFT_S_1(block);
    run_->usedThisBlock[slot] = true;
}

void ReceiverCore::filterBlockPair(FilterSlot first, float* firstBlock, FilterSlot second, float* secondBlock)
{
    for (FilterSlot slot : {first, second})
        if (!run_->usedLastBlock[slot] && !run_->usedThisBlock[slot])
            filter(slot).ClearOverlap();
    filter(first).FilterSameInput_FFT_S_1(filter(second), firstBlock, secondBlock);
    run_->usedThisBlock[first] = true;
    run_->usedThisBlock[second] = true;
}

void ReceiverCore::ClearCarriedTails()
{
    for (int slot = 0; slot < kSlotCount; ++slot)
        filter(static_cast<FilterSlot>(slot)).ClearOverlap();
    ORVIK::VecZeroS(live_.notchTail.data(), N);
    // The last IF block too: the noise reduction transforms its upper half with the next
    // block, and stages that start later take the last block first.
    ORVIK::VecZeroS(m_IFBlock.data(), static_cast<int32_t>(m_IFBlock.size()));
    ORVIK::VecZeroS(m_IFStageInput.data(), N);
    ORVIK::VecZeroS(m_IFStageInputPrev.data(), N);
    ORVIK::VecZeroS(m_IFStageInputPrev2.data(), N);
    for (std::vector<float>* raw : {&m_IFRawInput, &m_IFRawInputPrev, &m_IFRawInputPrev2})
        ORVIK::VecZeroS(raw->data(), N);
    m_lastBlockReceived = false;
    // What comes after the stop follows nothing heard.
    sentMode_ = -1;
    outgoingKept_ = false;
    FMDelay.ClearHistory();
    FMHilbert.ClearHistory();
}

void ReceiverCore::forgetAGCPeaks()
{
    ORVIK::VecZeroS(m_vars.AGCPeakHistory.data(), static_cast<int32_t>(m_vars.AGCPeakHistory.size()));
}

void ReceiverCore::fadeInNewAudio()
{
    forgetAGCPeaks();
    AGCPrevGain = 0;
    fadeInNextBlock_ = true;
    ORVIK::VecZeroS(fadeFrom_.data(), kFadeInSamples);
}

void ReceiverCore::keepOutgoingMode()
{
    if (outgoingKept_ || sentMode_ < 0)
        return;
    outgoingKept_ = true;
    outgoingMode_ = sentMode_;
    outgoing_.switches = sentSwitches_;
    outgoingNRBinLow_ = IFFilter.BinFLow;
    outgoingNRBinCount_ = IFFilter.BinFCount;
    // Every design, whichever the mode uses: a copy is cheap next to a block, and a filter
    // switched on or off since would otherwise run on a stale one.
    for (int slot = 0; slot < kSlotCount; ++slot) {
        live_.filters[static_cast<size_t>(slot)]->GetFilterFCoeffs_S(designRe_.data(), designIm_.data());
        outgoing_.filters[static_cast<size_t>(slot)]->PutFilterFCoeffs_S(designRe_.data(), designIm_.data());
    }
    ORVIK::VecCopyS(m_vars.AGCPeakHistory.data(), outgoingPeaks_.data(), static_cast<int32_t>(outgoingPeaks_.size()));
    outgoingPrevGain_ = AGCPrevGain;
    outgoing_.oscPhase = live_.oscPhase;
}

void ReceiverCore::renderOutgoing()
{
    StagesOf outgoing(*this, outgoing_);
    // Primed on the blocks it last ran on, the mode goes on from where it was heard.
    rerunLastBlocks(outgoingMode_);
    ORVIK::VecCopyS(outgoingIF_.data(), m_IFBlock.data(), N);
    runStages(false, outgoingMode_);
    outgoing_.usedLastBlock = outgoing_.usedThisBlock;
    float* af = m_AFBlock.data();
    applyGain(af, outgoingPeaks_.data(), outgoingPrevGain_, false, false);
    applyOutputLevel(af, false);
    ORVIK::VecCopyS(af, fadeFrom_.data(), kFadeInSamples);
}

ReceiverCore::Switches ReceiverCore::currentSwitches() const
{
    Switches s;
    s.ifFilter = IFFilter.Active;
    s.notch = NotchFilter.Active;
    s.notchType = s.notch ? m_vars.NotchType : 0;
    s.dynamic = DynamicFilter.Active;
    s.noiseReduction = m_vars.NBOn;
    s.threshold = s.noiseReduction ? m_vars.NBThreshold : 0;
    return s;
}

void ReceiverCore::blockSent(const float* af)
{
    sentMode_ = m_vars.DemodMode;
    sentSwitches_ = live_.switches;
    outgoingKept_ = false;
    ORVIK::VecCopyS(af, sentHead_.data(), kFadeInSamples);
}

void ReceiverCore::crossfadeFrom(const float* from, float* Block) const
{
    const float* w = fadeRamp_.data();
    for (int32_t i = 0; i < kFadeInSamples; ++i)
        Block[i] = from[i] + w[i] * (Block[i] - from[i]);
}

double ReceiverCore::nowMicros() const
{
    if (m_clock)
        return m_clock();
    using namespace std::chrono;
    return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
}

void ReceiverCore::yieldOnce()
{
    if (m_yield)
        m_yield();
}

void ReceiverCore::waitWhileInDSP(bool yieldFirst)
{
    if (yieldFirst)
        yieldOnce();
    // Without an event loop nothing could ever clear InDSP; the bound keeps a
    // call made from inside the chain from spinning for ever.
    for (int i = 0; m_vars.InDSP && m_yield && i < 100000; ++i)
        m_yield();
}

void ReceiverCore::SoundCard_DataReady(int16_t* Channel1, int16_t* Channel2, int32_t)
{
    if (InDataReady)
        return;
    FlagGuard busy(InDataReady);
    const double start = nowMicros();

    const int32_t playerMode = m_player.PlayerMode();
    // Until a file's end has been heard, silence follows it through the audio stages (which
    // still hold the end's last milliseconds), never the received signal.
    const bool playingOut = m_afterPlayOut && playerMode != PlayerRecorder::kPlaying;
    if (!playingOut)
        m_afterPlayOut = {};
    if (playerMode == PlayerRecorder::kPlaying)
        m_player.GetNextSamples(Channel1, N);
    else if (playingOut)
        std::fill_n(Channel1, N, int16_t{0});
    // Neither the AGC's peaks of the received signal nor what the filters carry from it
    // belong to a file. The AM detector's tail is of the order of the carrier squared: added
    // to the file's first block it sets a peak that holds the gain down, the file is not
    // heard for the length of the history, and a file shorter than that leaves the peak in
    // place for the next Play too.
    if (playerMode == PlayerRecorder::kPlaying && m_lastPlayerMode != PlayerRecorder::kPlaying) {
        ClearCarriedTails();
        forgetAGCPeaks();
    }
    m_lastPlayerMode = playerMode;

    if (m_spectrum.Active() && m_vars.SpectrumSource == kSourceIFIn) {
        m_spectrum.LoadSamples_INT16(Channel1, Channel2);
        const double span = m_spectrum.FEnd() - m_spectrum.FStart();
        m_spectrum.setFOffset(RoundEven(m_tuning.TunedFrequency() / 10.0 - span / 2));
        m_spectrum.setReverseSpectrum(m_vars.HiSideLO);
    }

    if (m_vars.PerfStatsOn) {
        InPeakHistory[InPeakIndex] = MaxValue_16(Channel1, N);
        advanceRing(InPeakIndex);
    }

    const double dspStart = nowMicros();
    if (playerMode == PlayerRecorder::kPlaying || playingOut) {
        // A played file holds audio, so only the audio stages run.
        live_.usedThisBlock.fill(false);
        float* af = m_AFBlock.data();
        Int16ToFloat_S_2(Channel1, af, N);
        filterBlock(kDemod, af);
        if (NotchFilter.Active && m_vars.NotchType == 0)
            filterBlock(kNotch, af);
        PowerSpectrum_S_2(af, af, m_PowerBlock.data(), N);
        ShiftVectorRight_S_1(m_vars.SMeterHistory.data(), 4);
        m_vars.SMeterHistory[0] = Sum_S_1(m_PowerBlock.data(), N) / N;
        ApplyAGCAndVolume(af);
        FloatToInt16_S_2(af, Channel1, N);
        live_.usedLastBlock = live_.usedThisBlock;
        m_lastBlockReceived = false;
        sentMode_ = -1;
        outgoingKept_ = false;
    } else {
        DoDSP(Channel1, Channel2, N);
    }
    LastDSPMicros = nowMicros() - dspStart;

    if (m_vars.PerfStatsOn) {
        OutPeakHistory[OutPeakIndex] = MaxValue_16(Channel1, N);
        advanceRing(OutPeakIndex);
    }

    if (m_vars.Mute)
        m_sound.setOutputAttenuation(-40000);

    if (playerMode == PlayerRecorder::kRecording)
        m_player.AddSamples(Channel1, N);

    m_sound.Output(Channel1, Channel1, N);

    if (m_spectrum.Active() && m_vars.SpectrumSource == kSourceAFOut) {
        m_spectrum.LoadSamples_INT16(Channel1, Channel2);
        m_spectrum.setReverseSpectrum(true);
    }

    const double micros = nowMicros() - start;
    LastBlockMicros = micros;
    LastLoad = static_cast<float>(micros / 1000000.0 / static_cast<double>(kBlockTimeSeconds));
    if (LastLoad > 0.9f)
        yieldOnce();

    if (m_vars.PerfStatsOn) {
        BlockTimeHistory[BlockTimeIndex] = RoundEven(micros);
        advanceRing(BlockTimeIndex);
    }

    if (m_blockDone)
        m_blockDone();

    if (playingOut && --m_playOutBlocks <= 0)
        std::exchange(m_afterPlayOut, {})();
}

void ReceiverCore::PlayOut(int32_t blocks, std::function<void()> then)
{
    m_playOutBlocks = blocks;
    m_afterPlayOut = std::move(then);
}

void ReceiverCore::EndPlayOut()
{
    m_playOutBlocks = 0;
    if (m_afterPlayOut)
        std::exchange(m_afterPlayOut, {})();
}

void ReceiverCore::noiseReduction(float* block, float threshold, int32_t binLow, int32_t binCount)
{
    float* re = m_SpectrumRe.data();
    float* im = m_SpectrumIm.data();
    float* power = m_SpectrumMag.data();
    BlockFFT.FFT_Real_S_2(block, re, im);
    // Swapped IF edges would give a negative bin count: take the band either way round.
    const int32_t lo = std::clamp(std::min(binLow, binLow + binCount), 0, BlockFFT.Points);
    const int32_t hi = std::clamp(std::max(binLow, binLow + binCount), 0, BlockFFT.Points);
    // Only the pass band's magnitudes are needed, and the reduction scales
    // whole bins: the rest of the spectrum goes back untouched.
    PowerSpectrum_S_2(re + lo, im + lo, power + lo, hi - lo);
    const float peak = std::sqrt(MaxValue_S(power + lo, hi - lo));
    LowThreshFractCart_S_1(re + lo, im + lo, threshold * peak, threshold / 10, hi - lo);
    BlockFFT.IFFT_Real_S_2(re, im, block);
}

void ReceiverCore::DoDSP(int16_t* Channel1, int16_t*, int32_t)
{
    FlagGuard inDSP(m_vars.InDSP);
    live_.usedThisBlock.fill(false);
    float* ifb = m_IFBlock.data();
    float* af = m_AFBlock.data();
    const int32_t mode = m_vars.DemodMode;
    live_.switches = currentSwitches();

    // The last block sent came from another mode or switches, or from stages or designs a
    // change has replaced since: cut off there, its waveform would step to the new one's. It
    // goes on over this block's first samples, each setting with its own stages, while the
    // new one comes in.
    const bool handOver = sentMode_ >= 0 && (outgoingKept_ || mode != sentMode_ || !(live_.switches == sentSwitches_));
    if (handOver) {
        keepOutgoingMode();
        // What the noise reduction carries on from the last block, before the live stages
        // start again over it: the outgoing setting goes on from there.
        ORVIK::VecCopyS(ifb + N, outgoingIF_.data() + N, kSpectrumPoints - N);
    }
    // Before the new block replaces the last one's IF, which stages starting now take first.
    startNewStages(handOver);

    Int16ToFloat_S_2(Channel1, ifb, N);
    if (m_spectrum.Chn2Enabled())
        ORVIK::VecCopyS(ifb, m_IFCopy.data(), N);

    if (handOver)
        ORVIK::VecCopyS(ifb, outgoingIF_.data(), N);
    ORVIK::VecCopyS(ifb, m_IFRawNext.data(), N);
    const Switches& on = live_.switches;
    if (on.noiseReduction)
        noiseReduction(ifb, on.threshold, IFFilter.BinFLow, IFFilter.BinFCount);

    if (handOver) {
        const Switches& was = outgoing_.switches;
        if (was.noiseReduction)
            noiseReduction(outgoingIF_.data(), was.threshold, outgoingNRBinLow_, outgoingNRBinCount_);
        // Its upper half too: the next block's noise reduction reads it.
        ORVIK::VecCopyS(ifb, incomingIF_.data(), kSpectrumPoints);
        renderOutgoing();
        ORVIK::VecCopyS(incomingIF_.data(), ifb, kSpectrumPoints);
        fadeInNextBlock_ = true;
    }

    std::swap(m_IFStageInputPrev2, m_IFStageInputPrev);
    std::swap(m_IFStageInputPrev, m_IFStageInput);
    ORVIK::VecCopyS(ifb, m_IFStageInput.data(), N);
    std::swap(m_IFRawInputPrev2, m_IFRawInputPrev);
    std::swap(m_IFRawInputPrev, m_IFRawInput);
    std::swap(m_IFRawInput, m_IFRawNext);
    runStages(true, mode);
    ApplyAGCAndVolume(af);
    FloatToInt16_S_2(af, Channel1, N);
    live_.usedLastBlock = live_.usedThisBlock;
    m_lastBlockReceived = true;
    blockSent(af);
}

void ReceiverCore::runStages(bool live, int32_t mode)
{
    float* ifb = m_IFBlock.data();
    float* ib = m_IBlock.data();
    float* qb = m_QBlock.data();
    float* af = m_AFBlock.data();
    const Switches& on = run_->switches;
    if (on.ifFilter)
        filterBlock(kIF, ifb);
    if (on.notch && on.notchType == 1)
        filterBlock(kNotch, ifb);

    const bool feedActive = live && m_spectrum.Active();
    auto setDisplayOffset = [&] {
        const double span = m_spectrum.FEnd() - m_spectrum.FStart();
        m_spectrum.setFOffset(RoundEven(m_tuning.TunedFrequency() / 10.0 + m_vars.BFO - span / 2));
        m_spectrum.setReverseSpectrum(m_vars.HiSideLO);
    };
    if (feedActive && m_vars.SpectrumSource == kSourcePreDemod) {
        m_spectrum.LoadSamples_S(ifb, m_IFCopy.data());
        setDisplayOffset();
    }

    if (m_player.IsPlaying()) {
        ORVIK::VecCopyS(ifb, ib, N);
        ORVIK::VecCopyS(ifb, qb, N);
    } else {
        mixToIQ(mode, ifb);
    }

    if (live) {
        PowerSpectrum_S_2(ib, qb, m_SpectrumMag.data(), N);
        ShiftVectorRight_S_1(m_vars.SMeterHistory.data(), 4);
        m_vars.SMeterHistory[0] = Sum_S_1(m_SpectrumMag.data(), N) / N;
    }

    if (feedActive && m_vars.SpectrumSource == kSourcePostDemod) {
        m_spectrum.LoadSamples_S(ib, qb);
        setDisplayOffset();
    }

    demodulate(mode);

    if (on.notch || m_vars.DynFilterActive)
        peakSearchAndAudioNotch(live);
    else
        run_->audioNotchWasOn = false;

    if (on.dynamic)
        filterBlock(kDynamic, af);
}

bool ReceiverCore::RenderLastBlockAgain()
{
    if (!m_lastBlockReceived || InDataReady || m_vars.InDSP || m_filterRebuildBusy || m_statsBusy ||
        m_player.IsPlaying() || m_player.PlayerMode() == PlayerRecorder::kPlaying || m_afterPlayOut)
        return false;
    FlagGuard inDSP(m_vars.InDSP);
    const bool newMode = m_vars.DemodMode != m_lastDemodMode;
    live_.switches = currentSwitches();
    if (newMode) {
        // Should the block be played before it is replaced, the next block hands over
        // from the mode that was heard.
        keepOutgoingMode();
        fadeInNewAudio();
        // The block before the waiting one ends where this begins: the new rendering takes
        // over from the old one's first samples.
        ORVIK::VecCopyS(sentHead_.data(), fadeFrom_.data(), kFadeInSamples);
    }
    m_lastDemodMode = m_vars.DemodMode;
    if (m_vars.DSPSettingsChanged) {
        m_vars.DSPSettingsChanged = false;
        FlagGuard busy(m_filterRebuildBusy);
        designFilters(false);
    }
    if (m_vars.NotchChanged && NotchFilter.Active)
        designNotch();

    rerunLastBlocks(m_vars.DemodMode);
    float* af = m_AFBlock.data();
    ApplyAGCAndVolume(af);
    if (m_vars.Mute)
        m_sound.setOutputAttenuation(-40000);
    FloatToInt16_S_2(af, m_renderedAgain.data(), N);
    if (m_sound.ReplaceLastOutput(m_renderedAgain.data(), m_renderedAgain.data(), N)) {
        blockSent(af);
        return true;
    }
    // Already played: the next block hands over from the mode heard, with the AGC afresh.
    if (newMode)
        fadeInNewAudio();
    return false;
}

void ReceiverCore::rerunLastBlocks(int32_t mode)
{
    // Every stage starts again three blocks back: the two before prime it (the AM
    // detector's cascade carries more than a block, and what the audio filter carries of
    // the FM detector's start-up from silence lasts into the next block), so the last comes
    // out as though the new settings had been in place, and the next block continues from
    // it as from any other.
    StageSet& set = *run_;
    for (int slot = 0; slot < kSlotCount; ++slot)
        filter(static_cast<FilterSlot>(slot)).ClearOverlap();
    set.audioNotchWasOn = false;
    set.fmDelay->ClearHistory();
    set.fmHilbert->ClearHistory();
    // The oscillator ends where it stands, ready for the next block, also in a mode that
    // does not run it.
    const uint32_t phase = set.oscPhase;
    set.oscPhase = (phase - 3u * static_cast<uint32_t>(N) * static_cast<uint32_t>(m_vars.BFOPhaseIncrement)) &
                   0x3FFFFFFFu;
    // The outgoing setting hears the blocks as they were heard. Without its noise reduction,
    // a setting hears them as they came in; the live one, whose reduction may have changed,
    // reduces them again from there, and leaves what the next block's reduction carries on.
    const float* reduced[] = {m_IFStageInputPrev2.data(), m_IFStageInputPrev.data(), m_IFStageInput.data()};
    const float* raw[] = {m_IFRawInputPrev2.data(), m_IFRawInputPrev.data(), m_IFRawInput.data()};
    const bool reduceAgain = set.switches.noiseReduction && &set == &live_;
    const float* const* kept = set.switches.noiseReduction && !reduceAgain ? reduced : raw;
    if (reduceAgain)
        ORVIK::VecZeroS(m_IFBlock.data() + N, kSpectrumPoints - N);
    for (int32_t b = 0; b < 3; ++b) {
        set.usedThisBlock.fill(false);
        ORVIK::VecCopyS(kept[b], m_IFBlock.data(), N);
        if (reduceAgain)
            noiseReduction(m_IFBlock.data(), set.switches.threshold, IFFilter.BinFLow, IFFilter.BinFCount);
        runStages(false, mode);
        set.usedLastBlock = set.usedThisBlock;
    }
    set.usedThisBlock.fill(false);
    set.oscPhase = phase;
}

void ReceiverCore::mixToIQ(int32_t mode, const float* ifb)
{
    float* ib = m_IBlock.data();
    float* qb = m_QBlock.data();
    if (mode == kDemodAM) {
        ORVIK::VecCopyS(ifb, ib, N);
        ORVIK::VecCopyS(ifb, qb, N);
        filterBlockPair(kAMI, ib, kAMQ, qb);
    } else if (mode == kDemodUSB || mode == kDemodLSB) {
        if (m_vars.BFO == 0) {
            MixerIQ_S_S_1(ifb, ib, qb, N);
        } else {
            GenerateLocalOscIQ(1.0f);
            ORVIK::VecMpy3S(ifb, m_LOCos.data(), ib, N);
            ORVIK::VecMpy3S(ifb, m_LOSin.data(), qb, N);
        }
    } else if (mode == kDemodFM) {
        run_->fmHilbert->sTransform(ifb, qb, N);
        run_->fmDelay->sDelaySamples(ifb, ib, N);
        HiThresh_S_1(ib, 0, 16384, N);
        LowThresh_S_1(ib, 0, -16384, N);
        HiThresh_S_1(qb, 0, 16384, N);
        LowThresh_S_1(qb, 0, -16384, N);
    } else {
        ORVIK::VecCopyS(ifb, ib, N);
        ORVIK::VecCopyS(ifb, qb, N);
    }
}

void ReceiverCore::demodulate(int32_t mode)
{
    float* ib = m_IBlock.data();
    float* qb = m_QBlock.data();
    float* af = m_AFBlock.data();
    switch (mode) {
    case kDemodAM: DemodAMPower(ib, qb, af); break;
    case kDemodUSB: DemodSSB(ib, qb, af, !m_vars.HiSideLO); break;
    case kDemodLSB: DemodSSB(ib, qb, af, m_vars.HiSideLO); break;
    case kDemodDRM: ORVIK::VecCopyS(ib, af, N); break;
    case kDemodFM: DemodFMPhase(ib, qb, af); break;
    case kDemodBC: DemodBCEnvelope(ib, af, N); break;
    default:
        // A mode no demodulator knows must not replay the last block's audio.
        ORVIK::VecZeroS(af, N);
        break;
    }
}

void ReceiverCore::startNewStages(bool handOver)
{
    const int32_t mode = m_vars.DemodMode;
    const bool newMode = m_lastDemodMode >= 0 && mode != m_lastDemodMode;
    m_lastDemodMode = mode;
    if (newMode) {
        // Each demodulator has its own output scale: the AM detector's audio is of the order
        // of the carrier squared, the envelope and SSB outputs of the carrier, FM of its
        // deviation. Peaks measured in the last mode would set the new mode's gain for the
        // whole attack time (AM -> BC: near silence for up to 10 s), and a ramp from the last
        // mode's gain would start hundreds of times too loud (FM -> AM: a burst, and the
        // limiter then turns the rest of the block down to nothing).
        fadeInNewAudio();
    }
    // The rebuild a change asked for would come after this block, which would be heard
    // through the last setting's filters, and hand over a second time. Here the chain is
    // between blocks.
    if ((newMode || handOver) && m_vars.DSPSettingsChanged && !m_filterRebuildBusy) {
        m_vars.DSPSettingsChanged = false;
        FlagGuard busy(m_filterRebuildBusy);
        designFilters(false);
    }
    // A notch switched on is designed by the statistics pass, after the block: until then
    // it would run on its last design or on none.
    const bool ifNotch = NotchFilter.Active && m_vars.NotchType == 1;
    const bool audioNotch = NotchFilter.Active && m_vars.NotchType == 0;
    if (m_vars.NotchChanged &&
        ((NotchFilter.Active && handOver) || (ifNotch && !live_.usedLastBlock[kNotch]) ||
         (audioNotch && !live_.audioNotchWasOn)))
        designNotch();

    // A stage starting from silence would rise from nothing on its first block, a step the
    // FM detector turns into clicks far louder than its audio; the new mode's detectors hold
    // samples from when they last ran, or none, and the audio filters the other mode's
    // audio. Either way the step would be the loudest peak the AGC has, and it keeps it for
    // its whole attack time. So a new mode's stages first run on the last blocks, and each
    // stage switched in on the last block, as though they had been running, which also
    // flushes what they held; that audio is not played. The same for the stages of a
    // hand-over: a notch or filter switched, moved or redesigned, whose overlap holds the
    // last design's audio.
    if (newMode || handOver) {
        rerunLastBlocks(mode);
        return;
    }
    // AFBlock is free until the demodulator writes it.
    const float* lastIF = m_IFBlock.data();
    float* scratch = m_AFBlock.data();
    if (IFFilter.Active && !live_.usedLastBlock[kIF]) {
        ORVIK::VecCopyS(m_IFStageInput.data(), scratch, N);
        filterBlock(kIF, scratch);
        lastIF = scratch;
    }
    if (ifNotch && !live_.usedLastBlock[kNotch]) {
        if (lastIF != scratch)
            ORVIK::VecCopyS(lastIF, scratch, N);
        filterBlock(kNotch, scratch);
    }
}

void ReceiverCore::peakSearchAndAudioNotch(bool searchPeak)
{
    float* af = m_AFBlock.data();
    float* re = m_SpectrumRe.data();
    float* im = m_SpectrumIm.data();
    float* power = m_SpectrumMag.data();
    ORVIK::VecZeroS(af + N, N);
    BlockFFT.FFT_Real_S_2(af, re, im);
    PowerSpectrum_S_2(re, im, power, N);

    if (searchPeak) {
        const int32_t step = RoundEven(DynamicFilter.HzPerBin);
        if (step > 0) {
            const int32_t first = std::clamp(IntDiv(m_vars.FilterLo, step), 0, N);
            const int32_t count = std::clamp(IntDiv(m_vars.FilterHi - m_vars.FilterLo, step), 0, N - first);
            const int32_t bin = MaxIndex_S(power + first, count);
            m_vars.DynFilterPeakHistory[m_vars.DynFilterPeakIndex] = bin;
        }
        ++m_vars.DynFilterPeakIndex;
        if (m_vars.DynFilterPeakIndex > kDynFilterPeakUpper || m_vars.DynFilterPeakIndex < 0)
            m_vars.DynFilterPeakIndex = 0;
    }

    const bool audioNotch = run_->switches.notch && run_->switches.notchType == 0;
    if (audioNotch) {
        // A notch switched (back) on starts clean instead of replaying its old tail.
        if (!run_->audioNotchWasOn)
            ORVIK::VecZeroS(run_->notchTail.data(), N);
        clsFFTFilter& notch = filter(kNotch);
        const int32_t L = notch.Points;
        notch.Filter_S_Cart_1(re, im);
        BlockFFT.IFFT_Real_S_2(re, im, af);
        ORVIK::VecAdd2S(run_->notchTail.data(), af, L - 2);
        ORVIK::VecCopyS(af + L, run_->notchTail.data(), L - 2);
    }
    run_->audioNotchWasOn = audioNotch;
}

void ReceiverCore::GenerateLocalOscIQ(float Amplitude)
{
    if (!m_OscTablesBuilt) {
        double phase = 0;
        for (int32_t k = 0; k < kTableSize; ++k) {
            m_SinTable[k] = static_cast<float>(std::sin(phase));
            m_CosTable[k] = static_cast<float>(std::cos(phase));
            phase += 9.587379924285248e-05;
        }
        m_OscTablesBuilt = true;
    }
    // Unsigned arithmetic: the sum passes 2^31 for large BFO settings.
    const uint32_t increment = static_cast<uint32_t>(m_vars.BFOPhaseIncrement);
    uint32_t& phase = run_->oscPhase;
    for (int32_t i = 0; i < N; ++i) {
        phase = (phase + increment) & 0x3FFFFFFFu;
        const uint32_t index = phase / 16384u;
        m_LOSin[i] = m_SinTable[index];
        m_LOCos[i] = m_CosTable[index];
    }
    if (Amplitude != 1.0f) {
        ORVIK::VecMpy1S(Amplitude, m_LOCos.data(), N);
        ORVIK::VecMpy1S(Amplitude, m_LOSin.data(), N);
    }
}

void ReceiverCore::DemodAMPower(float* I, float* Q, float* Out)
{
    PowerSpectrum_S_2(I, Q, Out, N);
    filterBlock(kDemod, Out);
}

void ReceiverCore::DemodSSB(float* I, float* Q, float* Out, bool SumFlag)
{
    filterBlock(kSSBI, I);
    filterBlock(kSSBQ, Q);
    if (SumFlag)
        Add_S_3(I, Q, Out, N);
    else
        Sub_S_3(I, Q, Out, N);
}

void ReceiverCore::DemodFMPhase(const float* I, const float* Q, float* Out)
{
    float* phase = m_FMPhase.data();
    ORVIK::VecCartToPolarS(I, Q, m_FMMagnitude.data(), phase, N);
    float previous = run_->fmLastPhase;
    for (int32_t k = 0; k < N; ++k) {
        // Wrapped into (-pi, pi]: without it the phase wrap puts a comb of
        // spurious tones at multiples of four times the carrier offset.
        float d = phase[k] - previous;
        if (d > kPi)
            d -= 2 * kPi;
        else if (d <= -kPi)
            d += 2 * kPi;
        Out[k] = d;
        previous = phase[k];
    }
    Abs_S_1(Out, N);
    Sub_S_1(kHalfPi, Out, N);
    ORVIK::VecMpy1S(4096.0f, Out, N);
    run_->fmLastPhase = phase[N - 1];
    filterBlock(kDemod, Out);
}

void ReceiverCore::DemodBCEnvelope(float* In, float* Out, int32_t Count)
{
    auto& kept = run_->bcHistory;
    constexpr int32_t history = static_cast<int32_t>(std::tuple_size_v<decltype(StageSet::bcHistory)>);
    constexpr int32_t older = history - 1;
    Abs_S_1(In, Count);
    float* line = m_BCLine.data();
    for (int32_t done = 0; done < Count;) {
        const int32_t count = std::min(N, Count - done);
        // The line holds the older samples, oldest first, then the piece.
        for (int32_t j = 0; j < older; ++j)
            line[j] = kept[static_cast<size_t>(older - 1 - j)];
        std::copy_n(In + done, count, line + older);
        // Each output sums newest to oldest, as the shifted history was summed,
        // so the result does not depend on working several outputs at once.
        constexpr int32_t Width = 8;
        int32_t k = 0;
        for (; k + Width <= count; k += Width) {
            float acc[Width];
            for (int32_t i = 0; i < Width; ++i)
                acc[i] = line[older + k + i];
            for (int32_t j = 1; j < history; ++j)
                for (int32_t i = 0; i < Width; ++i)
                    acc[i] += line[older + k + i - j];
            for (int32_t i = 0; i < Width; ++i)
                Out[done + k + i] = acc[i] / history;
        }
        for (; k < count; ++k) {
            float acc = line[older + k];
            for (int32_t j = 1; j < history; ++j)
                acc += line[older + k - j];
            Out[done + k] = acc / history;
        }
        for (int32_t j = 0; j < history; ++j)
            kept[static_cast<size_t>(j)] = line[older + count - 1 - j];
        done += count;
    }
}

void ReceiverCore::DemodFMCrossProduct(const float* I, const float* Q, float* Out)
{
    float lastI = m_FMLastI;
    float lastQ = m_FMLastQ;
    for (int32_t k = 0; k < N; ++k) {
        const float power = I[k] * I[k] + Q[k] * Q[k];
        if (power != 0) {
            const float v = (Q[k] * lastI - I[k] * lastQ) / power + 0.5f;
            Out[k] = std::fabs(std::clamp(v, -0.25f, 0.25f));
        }
        lastI = I[k];
        lastQ = Q[k];
    }
    m_FMLastI = lastI;
    m_FMLastQ = lastQ;
}

void ReceiverCore::ApplyAGCAndVolume(float* Block)
{
    const bool fadeIn = std::exchange(fadeInNextBlock_, false);
    applyGain(Block, m_vars.AGCPeakHistory.data(), AGCPrevGain, fadeIn, true);
    applyOutputLevel(Block, true);
    // Without it the new audio would cut in at its own level, wherever what was heard
    // before stood; the new gain itself comes at once, the crossfade is its ramp.
    if (fadeIn)
        crossfadeFrom(fadeFrom_.data(), Block);
}

void ReceiverCore::applyGain(float* Block, float* peakHistory, float& prevGain, bool fresh, bool live)
{
    PublicVars& v = m_vars;
    const int32_t length = std::clamp(v.AGCHistoryLength, 0, kAGCHistoryCapacity);
    const int32_t rampLength = fresh ? 0 : std::clamp(v.AGCRampLength, 0, kAGCRampCapacity);

    const float peak = ORVIK::VecMaxAbsS(Block, N);
    if (peak != 0 && std::isfinite(peak) && length > 0) {
        ShiftVectorRight_S_1(peakHistory, length - 1);
        peakHistory[0] = peak;
    }
    ORVIK::VecMpy3S(v.AGCWeights.data(), peakHistory, m_AGCWeightedHistory.data(), length);
    const float loudest = ORVIK::VecMaxAbsS(m_AGCWeightedHistory.data(), length);
    // No gain can be formed from an empty history (the "Off" row keeps none): the block
    // passes without gain, which a gain kept from other audio would not be.
    if (loudest > 0) {
        const float newGain = 16383.0f / loudest;
        if (v.AGCOn) {
            VectorRamp_S_1(prevGain, newGain, m_AGCRamp.data(), rampLength);
            if (rampLength > 0)
                ORVIK::VecMpy2S(m_AGCRamp.data(), Block, rampLength);
            ORVIK::VecMpy1S(newGain, Block + rampLength, N - rampLength);
        }
        prevGain = newGain;
        if (live)
            v.AGCGain = newGain;
    }
}

void ReceiverCore::applyOutputLevel(float* Block, bool toCard)
{
    const PublicVars& v = m_vars;
    if (v.OutputAttenuation <= 0) {
        if (toCard)
            m_sound.setOutputAttenuation(RoundEven(v.OutputAttenuation));
    } else {
        ORVIK::VecMpy1S(v.OutputAttenuation, Block, N);
        if (toCard)
            m_sound.setOutputAttenuation(0);
    }

    const float peak2 = ORVIK::VecMaxAbsS(Block, N);
    if (peak2 > 16384.0f)
        ORVIK::VecMpy1S(16384.0f / peak2, Block, N);
}

void ReceiverCore::ApplyFilterSettings()
{
    if (m_filterRebuildBusy)
        return;
    FlagGuard busy(m_filterRebuildBusy);
    designFilters(true);
}

void ReceiverCore::designFilters(bool waitForChain)
{
    const PublicVars& v = m_vars;
    // New designs replace those the setting heard last still needs to hand over.
    keepOutgoingMode();
    auto afterDesign = [&](bool yieldFirst) {
        if (waitForChain) {
            waitWhileInDSP(yieldFirst);
            // A block let through meanwhile was heard with the designs made so far.
            keepOutgoingMode();
        }
    };

    const bool manual = v.IFFilterMode == 1 && v.IFFilterActive;
    int32_t hi = 0;
    int32_t lo = 0;
    if (v.DemodMode >= 0 && v.DemodMode <= 8) {
        hi = v.IFFilterSettings[1].FilterSettings[v.DemodMode].CurrentHi;
        lo = v.IFFilterSettings[1].FilterSettings[v.DemodMode].CurrentLo;
    }
    const double c = IFFilter.FSampling / 4.0;
    const int32_t centre = kIFCentre;
    double fHigh = c + v.FilterHi;
    double fLow = c - v.FilterHi;
    switch (v.DemodMode) {
    case kDemodUSB:
        if (v.HiSideLO) {
            fHigh = manual ? centre + hi : c + v.FilterHi;
            fLow = manual ? centre - lo : c + v.FilterLo;
        } else {
            fHigh = manual ? centre - hi : c - v.FilterLo;
            fLow = manual ? centre + lo : c - v.FilterHi;
        }
        break;
    case kDemodLSB:
        if (v.HiSideLO) {
            fHigh = manual ? centre - lo : c - v.FilterLo;
            fLow = manual ? centre - hi : c - v.FilterHi;
        } else {
            // The mirror of the high-side row: the lower sideband lies above
            // the IF centre when the LO is on the low side.
            fHigh = manual ? centre + lo : c + v.FilterHi;
            fLow = manual ? centre - hi : c + v.FilterLo;
        }
        break;
    case kDemodDRM:
        fHigh = c + v.FilterHi;
        fLow = c - v.FilterHi;
        break;
    case kDemodFM:
        fHigh = c + 10000;
        fLow = c - 10000;
        break;
    default: // AM, BC
        fHigh = manual ? centre + hi : c + v.FilterHi;
        fLow = manual ? centre - lo : c - v.FilterHi;
        break;
    }
    IFFilter.FHigh = RoundEven(fHigh);
    IFFilter.FLow = RoundEven(fLow);
    // Reversed edges designed a negated band-pass and a negative bin count.
    if (IFFilter.FLow > IFFilter.FHigh)
        std::swap(IFFilter.FLow, IFFilter.FHigh);
    IFFilter.MakeFilter();
    afterDesign(false);

    if (AMFilterI.Active) {
        const double ca = AMFilterI.FSampling / 4.0;
        AMFilterI.FHigh = RoundEven(ca + v.FilterHi);
        AMFilterI.FLow = RoundEven(ca - v.FilterHi);
        AMFilterI.MakeFilter();
        afterDesign(false);
    }
    if (AMFilterQ.Active) {
        AMFilterQ.FHigh = AMFilterI.FHigh;
        AMFilterQ.FLow = AMFilterI.FLow;
        AMFilterQ.MakeFilter();
        afterDesign(false);
    }
    // The playback path filters with DemodFilter in every mode, so its edges
    // are kept current even while the demodulators do not use it.
    DemodFilter.FHigh = v.FilterHi;
    DemodFilter.FLow = v.FilterLo;
    DemodFilter.MakeFilter();
    afterDesign(false);

    SSBFilterI.FHigh = v.FilterHi;
    SSBFilterI.FLow = v.FilterLo;
    if (SSBFilterI.Active) {
        SSBFilterI.MakeFilter();
        afterDesign(false);
    }
    SSBFilterQ.FHigh = v.FilterHi;
    SSBFilterQ.FLow = v.FilterLo;
    if (SSBFilterQ.Active) {
        SSBFilterQ.MakeFilter();
        afterDesign(true);
    }

    IFFilter.GetFilterCoeffs_T_S(m_IFFilterCoeffs.data());
    m_spectrum.LoadFilterCoeffs_T_S(m_IFFilterCoeffs.data());
}

void ReceiverCore::RunStatisticsPass()
{
    if (m_statsBusy)
        return;
    FlagGuard busy(m_statsBusy);
    PublicVars& v = m_vars;

    SMeterLevel = Sum_S_1(v.SMeterHistory.data(), 4) / 4;
    SMeterZeroTaken = SMeterZeroRequested;
    if (SMeterZeroRequested) {
        SMeterZeroRequested = false;
        SMeterZero = SMeterLevel;
    }
    if (SMeterLevel - SMeterZero < 1.1f)
        SMeterLevel = SMeterZero + 1.1f;
    SMeterTickCount = SMeterTicks(SMeterLevel - SMeterZero);

    waitWhileInDSP(true);

    if (v.DSPSettingsChanged) {
        v.DSPSettingsChanged = false;
        ApplyFilterSettings();
        waitWhileInDSP(true);
    }

    if (v.DynFilterActive || v.NotchMode == 1) {
        const float sum = Sum_Int32_1(v.DynFilterPeakHistory.data(), kDynFilterPeakUpper);
        PeakBinMean = IntDiv(RoundEven(sum), kDynFilterPeakUpper);
        const int32_t binWidth = RoundEven(NotchFilter.HzPerBin);
        PeakBinMean += IntDiv(v.FilterLo, binWidth);
        if (NotchFilter.Points > 0) {
            const int64_t scaled = static_cast<int64_t>(IntDiv(NotchFilter.FSampling, 2)) * PeakBinMean;
            v.PeakFrequency = static_cast<int32_t>(scaled / NotchFilter.Points);
        }
        // Only the automatic notch follows the peak; a manual centre stays put.
        if (v.NotchMode == 1) {
            if (v.NotchType == 1) {
                // The peak is an audio frequency; the IF notch needs the same
                // frequency on the IF, on the side the sideband lies.
                const bool above = v.HiSideLO == (v.DemodMode != kDemodLSB);
                v.NotchCentre = above ? kIFCentre + v.PeakFrequency : kIFCentre - v.PeakFrequency;
            } else {
                v.NotchCentre = v.PeakFrequency;
            }
        }
    }

    if (v.DynFilterActive) {
        v.DynFilterShift = v.PeakFrequency - v.DynFilterCentre;
        if (std::abs(v.DynFilterShift) > 100) {
            DynamicFilter.FHigh += v.DynFilterShift;
            DynamicFilter.FLow += v.DynFilterShift;
            if (DynamicFilter.Active) {
                const double w = v.FilterHi - v.FilterLo;
                if (DynamicFilter.FHigh < v.FilterHi - 0.2 * w)
                    DynamicFilter.FHigh = RoundEven(v.FilterHi - 0.2 * w);
                if (DynamicFilter.FHigh > v.FilterHi)
                    DynamicFilter.FHigh = v.FilterHi;
                if (DynamicFilter.FLow > v.FilterLo + 0.1 * w)
                    DynamicFilter.FLow = RoundEven(v.FilterLo + 0.1 * w);
                if (DynamicFilter.FLow < v.FilterLo)
                    DynamicFilter.FLow = v.FilterLo;
                keepOutgoingMode();
                DynamicFilter.MakeFilter();
                waitWhileInDSP(true);
            }
            v.DynFilterCentre = v.PeakFrequency;
        }
    }

    if (NotchFilter.Active && v.NotchMode == 1) {
        SetNotchEdges(v);
        if (std::abs(int64_t{v.NotchCentre} - v.NotchCentrePrev) > IntDiv(v.NotchWidth, 8))
            v.NotchChanged = true;
    }

    if (v.NotchChanged)
        designNotch();
}

void ReceiverCore::designNotch()
{
    PublicVars& v = m_vars;
    v.NotchChanged = false;
    if (v.NotchMode == 0 || v.NotchMode == 1) {
        keepOutgoingMode();
        NotchFilter.FLow = v.NotchLo;
        NotchFilter.FHigh = v.NotchHi;
        NotchFilter.MakeFilter();
    }
    v.NotchCentrePrev = v.NotchCentre;
}

} // namespace orvik
