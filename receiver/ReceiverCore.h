#pragma once

#include "dsp/clHilbert.h"
#include "dsp/clsFFTFilter.h"
#include "dsp/clsFFTReal.h"
#include "receiver/PlayerRecorder.h"
#include "receiver/PublicVars.h"
#include "receiver/SoundOutput.h"
#include "receiver/SpectrumFeed.h"
#include "receiver/TuningSource.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvik {

// Tick count of the S-meter bar for a level: one tick per 6 dB of
// 20 log10(level), rounded to whole decibels first, 0 to 14.
int32_t SMeterTicks(float level);

// The receive chain of the main window, without any window: the per-block
// handler, the DSP chain with its demodulators and AGC, the filter rebuild and
// the chain's part of the statistics pass. Every array and filter is made in
// the constructor; a block allocates nothing. Everything runs on one thread.
class ReceiverCore {
public:
    ReceiverCore(PublicVars& vars, SoundOutput& sound, SpectrumFeed& spectrum, PlayerRecorder& player,
                 TuningSource& tuning);
    ReceiverCore(const ReceiverCore&) = delete;
    ReceiverCore& operator=(const ReceiverCore&) = delete;

    // The sound class's DataReady: two channel arrays of at least
    // kBlockSamples samples. On return Channel1 holds the audio sent out.
    void SoundCard_DataReady(int16_t* Channel1, int16_t* Channel2, int32_t NoSamples);
    // One IF block (Channel1, kBlockSamples samples) into audio, in place.
    void DoDSP(int16_t* Channel1, int16_t* Channel2, int32_t NumSamples);
    // AGC, output level and limiter on Block(0 .. kBlockSamples-1).
    void ApplyAGCAndVolume(float* Block);
    // Redesigns the IF, AM, audio and SSB filters from the current settings.
    void ApplyFilterSettings();
    // After a change of mode between blocks: the last block, still waiting to be played,
    // is rendered again in the new mode and put in its place, so the change is heard a
    // block sooner; the next block goes on from it. False when nothing was replaced (inside
    // a block, a file playing, or the block already played).
    bool RenderLastBlockAgain();
    // Drops what every filter, the notch and the Hilbert pair carry from the last block,
    // so audio from before a stop is not replayed when sound starts again.
    void ClearCarriedTails();
    // A played file has ended while the sound card still holds its last blocks: the next
    // `blocks` blocks give silence, not the received signal, and `then` runs from the last of
    // them, when the file's end has been heard. A file playing again at a block drops the wait
    // unrun; EndPlayOut runs `then` at once (the sound is stopping anyway).
    void PlayOut(int32_t blocks, std::function<void()> then);
    void EndPlayOut();
    // The statistics timer's work on the chain: S-meter value and zero, the
    // rebuild on DSPSettingsChanged, the peak search of the automatic notch and
    // dynamic filter, and the notch design on NotchChanged.
    void RunStatisticsPass();

    // Demodulators and oscillator (work on the chain's own arrays).
    void GenerateLocalOscIQ(float Amplitude);
    void DemodAMPower(float* I, float* Q, float* Out);
    void DemodSSB(float* I, float* Q, float* Out, bool SumFlag);
    void DemodFMPhase(const float* I, const float* Q, float* Out);
    void DemodBCEnvelope(float* In, float* Out, int32_t Count);
    void DemodFMCrossProduct(const float* I, const float* Q, float* Out);

    // Hooks. yield: "let pending window events run" (empty: nothing).
    // blockDone: re-arm the display and statistics timers after a block.
    // clock: microseconds of a steady clock, for the block timing.
    void setYieldHook(std::function<void()> hook) { m_yield = std::move(hook); }
    void setBlockDoneHook(std::function<void()> hook) { m_blockDone = std::move(hook); }
    void setClock(std::function<double()> microseconds) { m_clock = std::move(microseconds); }

    PublicVars& vars() { return m_vars; }

    // Filters and transforms of the chain, with the design's names.
    clsFFTFilter IFFilter;
    clsFFTFilter NotchFilter;
    clsFFTFilter AMFilterI;
    clsFFTFilter AMFilterQ;
    clsFFTFilter SSBFilterI;
    clsFFTFilter SSBFilterQ;
    clsFFTFilter DemodFilter;
    clsFFTFilter DynamicFilter;
    clHilbert FMDelay;
    clHilbert FMHilbert;
    clsFFTReal BlockFFT;

    // Statistics rings written by the handler while PerfStatsOn.
    std::array<int16_t, kStatsRingSize> InPeakHistory{};
    std::array<int16_t, kStatsRingSize> OutPeakHistory{};
    std::array<int32_t, kStatsRingSize> BlockTimeHistory{};
    int32_t InPeakIndex = 0;
    int32_t OutPeakIndex = 0;
    int32_t BlockTimeIndex = 0;
    bool InDataReady = false;
    // Load of the last block as a fraction of the block time.
    float LastLoad = 0;
    // Time of the whole handler and of its processing step (DoDSP or the
    // playback path) on the last block, microseconds.
    double LastBlockMicros = 0;
    double LastDSPMicros = 0;

    // S-meter state of the statistics pass. The zero button sets
    // SMeterZeroRequested; the next pass takes the level as the zero and sets
    // SMeterZeroTaken until the pass after it.
    float SMeterLevel = 0;
    float SMeterZero = 0;
    bool SMeterZeroRequested = false;
    bool SMeterZeroTaken = false;
    int32_t SMeterTickCount = 0;
    int32_t PeakBinMean = 0;

    // AGC gain of the previous block (the ramp's start).
    float AGCPrevGain = 0;
    // At a change of mode, or of a stage switched on, off or redesigned, the audio heard so far
    // gives way to the new setting's over this many samples (5 ms); with nothing heard before,
    // the new mode rises from silence.
    static constexpr int32_t kFadeInSamples = 240;

    // Audio of the last block as the chain left it (float, before conversion).
    const float* AFBlock() const { return m_AFBlock.data(); }
    const float* IBlock() const { return m_IBlock.data(); }
    const float* QBlock() const { return m_QBlock.data(); }
    const float* IFFilterCoeffs() const { return m_IFFilterCoeffs.data(); }

private:
    enum FilterSlot { kIF, kNotch, kAMI, kAMQ, kSSBI, kSSBQ, kDemod, kDynamic, kSlotCount };
    // The stages a block runs besides the mode's own, as the controls had them for it.
    struct Switches {
        bool ifFilter = false;
        bool notch = false;
        int32_t notchType = 0; // only while the notch is on
        bool dynamic = false;
        bool noiseReduction = false;
        float threshold = 0; // only while the reduction is on
        bool operator==(const Switches&) const = default;
    };
    // What a run of the stages carries from one block to the next besides the filters'
    // designs. The live stages are the design's objects; a second set, made with them,
    // carries the mode heard last on over the first samples of a change of mode.
    struct StageSet {
        std::array<clsFFTFilter*, kSlotCount> filters{};
        Switches switches;
        clHilbert* fmDelay = nullptr;
        clHilbert* fmHilbert = nullptr;
        std::array<bool, kSlotCount> usedThisBlock{};
        std::array<bool, kSlotCount> usedLastBlock{};
        bool audioNotchWasOn = false;
        std::vector<float> notchTail;
        uint32_t oscPhase = 0;
        float fmLastPhase = 0;
        std::array<float, 10> bcHistory{}; // newest first
    };
    // Runs the stages on another set for the life of the scope.
    class StagesOf {
    public:
        StagesOf(ReceiverCore& core, StageSet& set) : core_(core), before_(core.run_) { core.run_ = &set; }
        ~StagesOf() { core_.run_ = before_; }
        StagesOf(const StagesOf&) = delete;
        StagesOf& operator=(const StagesOf&) = delete;

    private:
        ReceiverCore& core_;
        StageSet* before_;
    };

    // Runs one filter on a block; a filter that did not run on the previous
    // block starts without the stale tail it kept from its last use.
    void filterBlock(FilterSlot slot, float* block);
    // Two filters on two copies of one block, sharing the forward transform.
    void filterBlockPair(FilterSlot first, float* firstBlock, FilterSlot second, float* secondBlock);
    clsFFTFilter& filter(FilterSlot slot);
    // The next block's peak alone sets the AGC gain: the history measured audio that is
    // not on the coming blocks' scale.
    void forgetAGCPeaks();
    // Audio on a new scale comes next (a new mode): the AGC starts afresh, and the next
    // block comes in over its first kFadeInSamples from fadeFrom_ (silence unless a caller
    // puts the audio it follows there), with or without the AGC.
    void fadeInNewAudio();
    // Steps of the AGC on one peak history and gain; `fresh`: the new gain from the first
    // sample on, without a ramp from the last; `live`: the chain's own, shown as AGCGain.
    void applyGain(float* Block, float* peakHistory, float& prevGain, bool fresh, bool live);
    // Output level and limiter; `toCard`: also hands the attenuation to the sound output.
    void applyOutputLevel(float* Block, bool toCard);
    // Block's first kFadeInSamples from `from` over to its own.
    void crossfadeFrom(const float* from, float* Block) const;
    // Once after the last block sent, before anything of its mode, switches or designs is
    // changed: the designs, switches, AGC and oscillator it was heard with go to the outgoing
    // stages.
    void keepOutgoingMode();
    // The outgoing setting's rendering of the IF block in outgoingIF_, primed on the blocks
    // before it; its first kFadeInSamples into fadeFrom_.
    void renderOutgoing();
    Switches currentSwitches() const;
    // A block of the receive chain went to the sound output (af: its audio).
    void blockSent(const float* af);
    // The rebuild's designs; waitForChain: let a block in progress finish after each one.
    void designFilters(bool waitForChain);
    // The notch from NotchLo and NotchHi; clears NotchChanged.
    void designNotch();
    // Before a block: a new mode starts the AGC afresh; a new mode or a hand-over gets its
    // pending designs and runs its stages on the last blocks; otherwise a filter switched in
    // takes the last block first.
    void startNewStages(bool handOver);
    // Runs every stage of the current set again from three blocks back up to the last block,
    // in `mode` and the settings now in force; nothing is played.
    void rerunLastBlocks(int32_t mode);
    void waitWhileInDSP(bool yieldFirst);
    void yieldOnce();
    double nowMicros() const;
    // On a block of kSpectrumPoints (the IF, then what the last run left), within the IF
    // filter's bins [binLow, binLow + binCount).
    void noiseReduction(float* block, float threshold, int32_t binLow, int32_t binCount);
    // The audio block's spectrum, the dynamic filter's peak search (when asked for) and
    // the audio notch.
    void peakSearchAndAudioNotch(bool searchPeak);
    // Mixing of an IF block by mode into IBlock and QBlock, and their demodulation into
    // AFBlock.
    void mixToIQ(int32_t mode, const float* ifb);
    // The stages from the IF filter to the audio filters in `mode`, on the IF block in
    // m_IFBlock; `live`: a block as it comes, which also feeds the displays, the S-meter
    // and the peak search.
    void runStages(bool live, int32_t mode);
    void demodulate(int32_t mode);
    void setUpFilter(clsFFTFilter& f, int32_t windowType, bool qPhase, bool normalise, bool bandReject,
                     int32_t fLow, int32_t fHigh, bool design);

    PublicVars& m_vars;
    SoundOutput& m_sound;
    SpectrumFeed& m_spectrum;
    PlayerRecorder& m_player;
    TuningSource& m_tuning;
    std::function<void()> m_yield;
    std::function<void()> m_blockDone;
    std::function<double()> m_clock;

    StageSet live_;
    StageSet outgoing_;
    StageSet* run_ = &live_;
    std::array<clsFFTFilter, kSlotCount> outgoingFilters_;
    clHilbert outgoingFMDelay_;
    clHilbert outgoingFMHilbert_;
    // The mode of the last block sent out; -1 when none came through the receive chain.
    int32_t sentMode_ = -1;
    // The switches of that block.
    Switches sentSwitches_;
    // The outgoing stages hold that mode since a change began to replace it.
    bool outgoingKept_ = false;
    // The IF filter's bins of that block, where its noise reduction worked.
    int32_t outgoingNRBinLow_ = 0;
    int32_t outgoingNRBinCount_ = 0;
    int32_t outgoingMode_ = -1;
    float outgoingPrevGain_ = 0;
    bool m_filterRebuildBusy = false;
    int32_t m_lastPlayerMode = 0; // the player's mode at the previous block
    int32_t m_lastDemodMode = -1; // the mode of the previous block the chain ran; -1 before the first
    int32_t m_playOutBlocks = 0;
    std::function<void()> m_afterPlayOut;
    bool m_statsBusy = false;

    std::vector<float> m_IFBlock;
    std::vector<float> m_IFCopy;
    std::vector<float> m_IBlock;
    std::vector<float> m_QBlock;
    std::vector<float> m_SpectrumRe;
    std::vector<float> m_SpectrumIm;
    std::vector<float> m_SpectrumMag;
    std::vector<float> m_AFBlock;
    std::vector<float> m_LOCos;
    std::vector<float> m_LOSin;
    std::vector<float> m_PowerBlock;
    std::vector<float> m_IFFilterCoeffs;
    std::vector<float> m_SinTable;
    std::vector<float> m_CosTable;
    bool m_OscTablesBuilt = false;
    std::vector<float> m_FMMagnitude;
    std::vector<float> m_FMPhase;
    float m_FMLastI = 0;
    float m_FMLastQ = 0;
    std::vector<float> m_BCLine;
    std::vector<float> m_IFStageInput; // the last block's IF as it reached the IF filter
    // The same of the two blocks before, oldest last.
    std::vector<float> m_IFStageInputPrev;
    std::vector<float> m_IFStageInputPrev2;
    // The same before the noise reduction, with the block coming in first.
    std::vector<float> m_IFRawNext;
    std::vector<float> m_IFRawInput;
    std::vector<float> m_IFRawInputPrev;
    std::vector<float> m_IFRawInputPrev2;
    std::vector<int16_t> m_renderedAgain;
    bool m_lastBlockReceived = false; // the last block sent out came through the receive chain
    bool fadeInNextBlock_ = false;
    std::vector<float> m_AGCWeightedHistory;
    std::vector<float> m_AGCRamp;
    std::vector<float> outgoingPeaks_;
    std::vector<float> sentHead_; // the first kFadeInSamples of the last block sent
    std::vector<float> fadeFrom_;
    std::vector<float> fadeRamp_;
    std::vector<float> incomingIF_; // the live IF block while the outgoing setting renders
    std::vector<float> outgoingIF_; // the IF block as the outgoing setting's reduction left it
    std::vector<float> designRe_;
    std::vector<float> designIm_;
};

} // namespace orvik
