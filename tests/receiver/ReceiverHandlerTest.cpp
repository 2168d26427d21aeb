// The per-block handler's rules: busy drop, rings, yield, feeds, player paths.

#include "ReceiverRig.h"

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

// A clock that advances by a fixed step on every reading, so the handler
// measures a chosen block time.
struct SteppingClock {
    double now = 0;
    double step = 0;
    void install(ReceiverCore& core)
    {
        core.setClock([this] { return now += step; });
    }
    // The handler reads the clock four times per block: the block time is
    // three steps.
    void setBlockLoad(double load) { step = load * kBlockTimeSeconds * 1e6 / 3; }
};

TEST(ReceiverHandler, BlockArrivingWhileBusyIsDroppedUntouched)
{
    ReceiverRig rig(kDemodUSB);
    rig.powerOn();
    SteppingClock clock;
    clock.install(*rig.core);
    clock.setBlockLoad(0.95);
    rig.runStatistics = false;
    std::array<int16_t, kBlockSamples + 1> nested{};
    nested.fill(1234);
    int nestedCalls = 0;
    int blocksDone = 0;
    rig.core->setBlockDoneHook([&] { ++blocksDone; });
    rig.core->setYieldHook([&] {
        ++nestedCalls;
        rig.core->SoundCard_DataReady(nested.data(), nested.data(), kBlockSamples);
    });
    rig.run(3, tone(13000, 8000));
    EXPECT_EQ(nestedCalls, 3);
    EXPECT_EQ(rig.sound.blocks, 3) << "a dropped block never reaches the output";
    EXPECT_EQ(blocksDone, 3) << "a dropped block re-arms no timer";
    EXPECT_TRUE(std::all_of(nested.begin(), nested.end(), [](int16_t v) { return v == 1234; }));
    EXPECT_FALSE(rig.core->InDataReady);
    EXPECT_FALSE(rig.vars.InDSP);
}

TEST(ReceiverHandler, YieldsOnceOnlyWhenTheLoadExceedsNinetyPercent)
{
    for (auto [load, expectedYields] : {std::pair{0.5, 0}, std::pair{0.89, 0}, std::pair{0.95, 4}, std::pair{3.0, 4}}) {
        ReceiverRig rig(kDemodAM);
        rig.powerOn();
        SteppingClock clock;
        clock.install(*rig.core);
        clock.setBlockLoad(load);
        rig.runStatistics = false;
        int yields = 0;
        rig.core->setYieldHook([&] { ++yields; });
        rig.run(4, tone(12000, 1000));
        EXPECT_EQ(yields, expectedYields) << load;
        EXPECT_NEAR(rig.core->LastLoad, load, 1e-4);
    }
}

TEST(ReceiverHandler, StatisticsRingsWrapAtFortySevenWhileSwitchedOn)
{
    ReceiverRig rig(kDemodUSB);
    rig.powerOn();
    SteppingClock clock;
    clock.install(*rig.core);
    clock.setBlockLoad(0.25);
    rig.run(3, tone(13000, 5000));
    EXPECT_EQ(rig.core->InPeakIndex, 0) << "rings stay still while statistics are off";
    EXPECT_EQ(rig.core->InPeakHistory[0], 0);

    rig.vars.PerfStatsOn = true;
    rig.run(50, tone(13000, 5000));
    EXPECT_EQ(rig.core->InPeakIndex, 3);
    EXPECT_EQ(rig.core->OutPeakIndex, 3);
    EXPECT_EQ(rig.core->BlockTimeIndex, 3);
    EXPECT_EQ(rig.core->InPeakHistory[47], 0);
    EXPECT_EQ(rig.core->OutPeakHistory[47], 0);
    EXPECT_EQ(rig.core->BlockTimeHistory[47], 0);
    EXPECT_NEAR(rig.core->InPeakHistory[46], 5000, 1);
    EXPECT_EQ(rig.core->OutPeakHistory[2], peakOf(rig.tail(1)));
    EXPECT_NEAR(rig.core->BlockTimeHistory[10], 0.25 * kBlockTimeSeconds * 1e6, 1);
}

TEST(ReceiverHandler, SpectrumFeedsTakeTheirPointAndOffset)
{
    struct Case {
        int32_t source;
        int int16Loads;
        int floatLoads;
        int32_t offset;
        bool reverse;
    };
    // 7 MHz tuned, 24 kHz span, BFO 500 Hz, LO on the low side.
    const Case cases[] = {
        {kSourceIFIn, 1, 0, 7000000 - 12000, false},
        {kSourcePreDemod, 0, 1, 7000000 + 500 - 12000, false},
        {kSourcePostDemod, 0, 1, 7000000 + 500 - 12000, false},
        {kSourceAFOut, 1, 0, 0, true},
    };
    for (const auto& c : cases) {
        ReceiverRig rig(kDemodUSB, false);
        rig.spectrum.active = true;
        rig.tuning.frequency = 70000000;
        rig.vars.SpectrumSource = c.source;
        ApplyBFO(rig.vars, 500);
        rig.powerOn();
        rig.run(1, tone(11000, 4000));
        EXPECT_EQ(rig.spectrum.int16Loads, c.int16Loads) << c.source;
        EXPECT_EQ(rig.spectrum.floatLoads, c.floatLoads) << c.source;
        EXPECT_EQ(rig.spectrum.fOffset, c.offset) << c.source;
        EXPECT_EQ(rig.spectrum.reverseSpectrum, c.reverse) << c.source;
    }
}

TEST(ReceiverHandler, PlaybackRunsOnlyTheAudioStagesWithTheCurrentEdges)
{
    // A 400 Hz preset in USB: the played audio goes through DemodFilter, which
    // must carry the preset's edges although the SSB demodulator does not use it.
    auto play = [](int32_t preset, double hz) {
        ReceiverRig rig(kDemodUSB);
        SelectFilterPreset(*rig.handlers, preset);
        rig.spectrum.active = true;
        rig.vars.SpectrumSource = kSourcePreDemod;
        rig.player.mode = PlayerRecorder::kPlaying;
        for (int64_t n = 0; n < 10 * kBlockSamples; ++n)
            rig.player.playSource.push_back(static_cast<int16_t>(std::lround(tone(hz, 3000)(n))));
        rig.powerOn();
        rig.run(10, tone(13000, 8000));
        EXPECT_EQ(rig.spectrum.floatLoads, 0) << "the chain's feeds get nothing in playback";
        EXPECT_EQ(rig.player.reads, 10);
        return std::pair{levelAt(rig.tail(4), hz), rig.vars.SMeterHistory[0]};
    };
    const auto wide = play(0, 4000);
    EXPECT_NEAR(wide.first, 3000, 150);
    // The playback S-meter is the mean of 2 x sample^2: A^2 for a tone of amplitude A.
    EXPECT_NEAR(wide.second, 3000.0 * 3000.0, 3000.0 * 3000.0 * 0.1);
    EXPECT_LT(play(1, 4000).first, 30);
}

TEST(ReceiverHandler, AFileIsHeardFromItsFirstBlockAfterAStrongStation)
{
    // The AGC has settled on a strong station; a quieter file played next must be heard at
    // once, not only after the station's peaks have left the AGC's history.
    ReceiverRig rig(kDemodUSB);
    SetAGC(*rig.handlers, true, 2);
    rig.powerOn();
    rig.run(40, tone(13000, 30000));
    const double received = levelAt(rig.tail(4), 1000);
    ASSERT_GT(received, 4000);
    for (int64_t n = 0; n < 40 * kBlockSamples; ++n)
        rig.player.playSource.push_back(static_cast<int16_t>(std::lround(tone(800, 300)(n))));
    rig.player.mode = PlayerRecorder::kPlaying;
    rig.run(2, tone(13000, 30000));
    EXPECT_GT(levelAt(rig.tail(1), 800), received / 2) << "the second block of the file";
}

// A 12 kHz carrier AM-modulated 50 % by 1 kHz.
double amStation(int64_t n)
{
    const double t = static_cast<double>(n) / kSampleRate;
    return 12000.0 * (1 + 0.5 * std::sin(kTwoPi * 1000 * t)) * std::cos(kTwoPi * 12000 * t);
}

TEST(ReceiverHandler, AShortFileAfterAStationIsHeardWholeAndAgainAfterItsEnd)
{
    // A file shorter than the AGC's history, played while an AM station is received: every
    // block of it is heard at the AGC's level, and so on a second Play after its end (the
    // receiver was off in between, so no block came, and power On dropped the filters' tails).
    for (int32_t mode : {kDemodAM, kDemodFM, kDemodBC, kDemodUSB}) {
        ReceiverRig rig(mode);
        SetAGC(*rig.handlers, true, 2);
        rig.powerOn();
        rig.run(40, amStation);
        constexpr int kFileBlocks = 5;
        ASSERT_LT(kFileBlocks, rig.vars.AGCHistoryLength);
        for (int64_t n = 0; n < kFileBlocks * kBlockSamples; ++n)
            rig.player.playSource.push_back(static_cast<int16_t>(std::lround(tone(800, 3000)(n))));
        for (int play = 0; play < 2; ++play) {
            if (play > 0) {
                rig.powerOn();
                rig.core->ClearCarriedTails();
            }
            rig.player.playPosition = 0;
            rig.player.mode = PlayerRecorder::kPlaying;
            for (int b = 0; b < kFileBlocks; ++b) {
                rig.run(1, amStation);
                EXPECT_GT(levelAt(rig.tail(1), 800), 8000) << "mode " << mode << ", play " << play << ", block " << b;
            }
            rig.player.mode = 4;
        }
    }
}

TEST(ReceiverHandler, AFilesEndPlaysOutInSilenceBeforeTheStopRuns)
{
    ReceiverRig rig(kDemodAM);
    SetAGC(*rig.handlers, true, 2);
    rig.powerOn();
    rig.run(10, amStation);
    for (int64_t n = 0; n < 4 * kBlockSamples; ++n)
        rig.player.playSource.push_back(static_cast<int16_t>(std::lround(tone(800, 3000)(n))));
    rig.player.mode = PlayerRecorder::kPlaying;
    rig.run(4, amStation);
    const double fileLevel = levelAt(rig.tail(1), 800);
    ASSERT_GT(fileLevel, 8000);

    // The file has ended: the Stop waits three blocks, which carry no station.
    rig.player.mode = 4;
    int stops = 0;
    rig.core->PlayOut(3, [&] { ++stops; });
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(stops, 0) << b;
        rig.run(1, amStation);
        const std::vector<int16_t> block = rig.tail(1);
        if (b == 0) {
            // The audio filter's delay still held the file's last milliseconds.
            const std::vector<int16_t> start(block.begin(), block.begin() + kBlockSamples / 8);
            EXPECT_GT(levelAt(start, 800), fileLevel / 4);
        } else {
            EXPECT_LT(peakOf(block), 50) << "block " << b << " is silent";
        }
    }
    EXPECT_EQ(stops, 1);
    rig.run(2, amStation);
    EXPECT_EQ(stops, 1);
    EXPECT_GT(peakOf(rig.tail(1)), 1000) << "the station after the wait";

    // Played again while waiting: the wait ends without its Stop.
    rig.core->PlayOut(3, [&] { ++stops; });
    rig.player.playPosition = 0;
    rig.player.mode = PlayerRecorder::kPlaying;
    rig.run(1, amStation);
    rig.player.mode = 4;
    rig.run(4, amStation);
    EXPECT_EQ(stops, 1);
    EXPECT_GT(peakOf(rig.tail(1)), 1000);

    // Switched off while waiting: the Stop runs at once, and only once.
    rig.core->PlayOut(3, [&] { ++stops; });
    rig.core->EndPlayOut();
    EXPECT_EQ(stops, 2);
    rig.core->EndPlayOut();
    rig.run(4, amStation);
    EXPECT_EQ(stops, 2);
}

TEST(ReceiverHandler, RecordingGetsExactlyWhatIsPlayed)
{
    ReceiverRig rig(kDemodAM);
    rig.player.mode = PlayerRecorder::kRecording;
    rig.powerOn();
    rig.run(5, tone(12000, 3000));
    EXPECT_EQ(rig.player.recorded, rig.sound.samples);
    EXPECT_EQ(rig.player.recorded.size(), 5u * kBlockSamples);
}

TEST(ReceiverHandler, DRMPassesTheIFThroughUnchanged)
{
    ReceiverRig rig(kDemodDRM);
    rig.powerOn();
    std::mt19937 random(3);
    std::uniform_int_distribution<int> sample(-12000, 12000);
    std::vector<int16_t> input;
    rig.run(3, [&](int64_t) {
        input.push_back(static_cast<int16_t>(sample(random)));
        return input.back();
    });
    EXPECT_EQ(rig.sound.samples, input);
}

TEST(ReceiverHandler, UnknownModeGivesSilenceInsteadOfTheLastBlock)
{
    ReceiverRig rig(kDemodUSB);
    rig.powerOn();
    rig.run(4, tone(13000, 8000));
    ASSERT_GT(peakOf(rig.tail(1)), 1000);
    rig.vars.DemodMode = 7;
    rig.run(1, tone(13000, 8000));
    // USB gives way over the first 5 ms, as to any mode.
    const std::vector<int16_t> last = rig.tail(1);
    EXPECT_EQ(peakOf({last.begin() + ReceiverCore::kFadeInSamples, last.end()}), 0);
}

TEST(ReceiverHandler, FMBranchesStayWithinTheLimiter)
{
    ReceiverRig rig(kDemodFM);
    rig.powerOn();
    rig.run(2, tone(12300, 32000));
    for (int32_t i = 0; i < kBlockSamples; ++i) {
        ASSERT_LE(std::abs(rig.core->IBlock()[i]), 16384.0f);
        ASSERT_LE(std::abs(rig.core->QBlock()[i]), 16384.0f);
    }
}

TEST(ReceiverHandler, StagesSwitchedBackOnStartWithoutStaleAudio)
{
    // Each stage runs on a tone, stands idle while the chain is flushed with
    // silence, and is switched on again on silence: nothing may come out.
    struct Stage {
        const char* name;
        std::function<void(ReceiverRig&, bool)> enable;
    };
    const Stage stages[] = {
        {"audio notch", [](ReceiverRig& r, bool on) { r.core->NotchFilter.Active = on; r.vars.NotchActive = on; }},
        {"IF notch", [](ReceiverRig& r, bool on) {
             r.vars.NotchType = 1;
             r.core->NotchFilter.Active = on;
         }},
        {"IF filter", [](ReceiverRig& r, bool on) { r.core->IFFilter.Active = on; }},
        {"dynamic filter", [](ReceiverRig& r, bool on) { r.core->DynamicFilter.Active = on; }},
    };
    for (const auto& stage : stages) {
        ReceiverRig rig(kDemodUSB);
        SetNotch(*rig.handlers, true, 0, 0, 300, 100);
        rig.core->NotchFilter.Active = false;
        rig.powerOn();
        stage.enable(rig, true);
        rig.run(4, tone(14000, 8000));
        ASSERT_GT(peakOf(rig.tail(1)), 1000) << stage.name;
        stage.enable(rig, false);
        rig.run(4, [](int64_t) { return 0.0; });
        stage.enable(rig, true);
        rig.run(1, [](int64_t) { return 0.0; });
        EXPECT_EQ(peakOf(rig.tail(1)), 0) << stage.name;
    }
}

} // namespace
} // namespace orvik::testing
