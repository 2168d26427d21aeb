// The recorder behind the receive chain's block handler: what the handler sends out is what
// the file holds, and a played file comes out of the handler again.
#include "WavFileSupport.h"
#include "tests/receiver/ReceiverRig.h"

#include "app/PlayerRecorderAdapter.h"
#include "receiver/ReceiverModes.h"
#include "receiver/ui/ReceiverAssembly.h"

#include <numbers>

using namespace orvik;
using namespace orvik::testing;

namespace {

RecordingSpectrumFeed& withoutDisplay(RecordingSpectrumFeed& spectrum)
{
    spectrum.active = false;
    return spectrum;
}

struct HandlerRig {
    HandlerRig()
    {
        SetDemodMode(*handlers, kDemodAM);
        SelectFilterPreset(*handlers, 0);
        SetAGC(*handlers, true, 1);
        core->ApplyFilterSettings();
        core->RunStatisticsPass();
    }

    // Blocks of a 12 kHz carrier modulated 50 % by 1 kHz (or silence), with the disk timers after each.
    void run(int blocks, bool signal)
    {
        for (int b = 0; b < blocks; ++b) {
            for (int32_t i = 0; i < kBlockSamples; ++i) {
                const double t = static_cast<double>(position + i) / 48000.0;
                const double v = 4000 * (1 + 0.5 * std::sin(2 * std::numbers::pi * 1000 * t)) *
                                 std::cos(2 * std::numbers::pi * 12000 * t);
                left[i] = signal ? static_cast<int16_t>(std::lround(v)) : 0;
                right[i] = 0;
            }
            position += kBlockSamples;
            core->SoundCard_DataReady(left.data(), right.data(), kBlockSamples);
            rec.runWriteTimer();
            if (rec.readPending) {
                rec.readPending = false;
                rec.wav->ReadFromDisk();
            }
        }
    }

    WavRig rec;
    PlayerRecorderAdapter adapter{*rec.wav};
    PublicVars vars;
    RecordingSoundOutput sound;
    RecordingSpectrumFeed spectrum;
    FixedTuning tuning{70500000};
    ReceiverAssembly receiver{vars, sound, withoutDisplay(spectrum), adapter, tuning};
    ReceiverCore* core = &receiver.core;
    ReceiverHandlers* handlers = &receiver.handlers;
    std::array<int16_t, kBlockSamples + 1> left{};
    std::array<int16_t, kBlockSamples + 1> right{};
    int64_t position = 0;
};

} // namespace

TEST(WavFileHandler, TheFileHoldsWhatTheHandlerSentOutAtEveryRateAndSize)
{
    for (int bits : {16, 8}) {
        for (int32_t d : {1, 2, 4, 8, 16}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, decimator " << d);
            HandlerRig rig;
            rig.rec.wav->setDecimator(d);
            rig.rec.wav->setBitsPerSample(bits);
            rig.run(10, true);
            ASSERT_EQ(rig.rec.wav->OpenRecording(), 0);
            const size_t from = rig.sound.samples.size();
            rig.run(70, true); // one full half and a part
            ASSERT_EQ(rig.rec.wav->CloseRecording(), 0);
            EXPECT_EQ(rig.rec.lastWrite, 0);

            QByteArray expected;
            for (size_t i = from; i < rig.sound.samples.size(); i += static_cast<size_t>(d)) {
                const auto s = static_cast<uint16_t>(rig.sound.samples[i]);
                if (bits == 8) {
                    expected += static_cast<char>((s >> 8) ^ 0x80);
                } else {
                    expected += static_cast<char>(s & 0xFF);
                    expected += static_cast<char>(s >> 8);
                }
            }
            const QByteArray file = fileBytes(rig.rec.wav->TempFileName);
            ASSERT_EQ(file.size(), 44 + expected.size() + 5 + 124);
            EXPECT_EQ(file.mid(44, expected.size()), expected);
            QByteArray frequency;
            for (int i = 44 + expected.size() + 5 + 4; i < 44 + expected.size() + 5 + 24; i += 2)
                frequency += file[i];
            EXPECT_EQ(frequency, "0070500000") << "the first track is the tuned frequency";
        }
    }
}

TEST(WavFileHandler, APlayedRecordingComesOutOfTheHandlerAgain)
{
    for (int32_t d : {1, 4}) {
        SCOPED_TRACE(d);
        HandlerRig rig;
        rig.rec.wav->setDecimator(d);
        rig.run(20, true);
        ASSERT_EQ(rig.rec.wav->OpenRecording(), 0);
        rig.run(100, true);
        ASSERT_EQ(rig.rec.wav->CloseRecording(), 0);
        const auto& recorded = rig.sound.samples;
        const double recordedTone = levelAt({recorded.data() + recorded.size() - 48000, 48000}, 1000);
        ASSERT_GT(recordedTone, 4000);

        rig.rec.wav->FileName = rig.rec.wav->TempFileName;
        ASSERT_GT(rig.rec.wav->OpenFile(), 0);
        ASSERT_GT(rig.rec.wav->Play(), 0);
        const size_t from = rig.sound.samples.size();
        rig.run(60, false); // nothing on the IF: all that comes out is the file
        const int16_t* played = rig.sound.samples.data() + from + 20 * kBlockSamples;
        const size_t count = 40 * kBlockSamples;
        const double tone = levelAt({played, count}, 1000);
        // The played file passes the chain's audio stages again, which change its level.
        EXPECT_GT(tone, 300);
        EXPECT_LT(levelAt({played, count}, 1500), tone / 20);
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPlaying);
        rig.run(60, false);
        EXPECT_EQ(rig.rec.playEnds, 1) << "a 4.3 s file has ended";
        const size_t tail = 4 * kBlockSamples;
        const double after = levelAt({rig.sound.samples.data() + rig.sound.samples.size() - tail, tail}, 1000);
        EXPECT_LT(after, tone / 50) << "silence once the file has ended";
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kStopped);
    }
}
