#include "WavFileSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace orvik;
using namespace orvik::testing;
using orvik::wav::putLE32;

namespace {

// Plays until the end (or `maxBlocks`), returning every output sample.
std::vector<int16_t> playAll(WavRig& rig, int maxBlocks = 400)
{
    std::vector<int16_t> out;
    for (int b = 0; b < maxBlocks && rig.wav->PlayerMode() == clsWavFile::kPlaying; ++b) {
        const auto block = rig.playBlock();
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// The file samples in played output: k-1 zeros follow each, n = 2048 / k per block.
std::vector<int16_t> fileSamplesOf(const std::vector<int16_t>& out, int k, std::vector<int16_t>* between = nullptr)
{
    std::vector<int16_t> kept;
    const int n = kBlock / k;
    for (size_t b = 0; b + kBlock <= out.size(); b += kBlock)
        for (int i = 0; i < kBlock; ++i) {
            if (i % k == 0 && i / k < n)
                kept.push_back(out[b + static_cast<size_t>(i)]);
            else if (between)
                between->push_back(out[b + static_cast<size_t>(i)]);
        }
    return kept;
}

QByteArray header(uint32_t rate, uint32_t dataBytes, int bits = 16)
{
    return wav::BuildWavHeader({static_cast<int32_t>(rate), 1, static_cast<int16_t>(bits), dataBytes, 44 + dataBytes});
}

QByteArray audioBytes(const std::vector<int16_t>& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.data()), static_cast<int>(s.size() * 2));
}

QByteArray trackText(const QList<QByteArray>& records)
{
    QByteArray wide("ORVIK");
    for (const QByteArray& r : records)
        for (char c : r + '\0') {
            wide += c;
            wide += '\0';
        }
    return wide;
}

std::vector<int16_t> soxSamples(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("sox"), {file, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
                                    QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16"),
                                    QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-")});
    p.waitForFinished(60000);
    const QByteArray raw = p.readAllStandardOutput();
    std::vector<int16_t> s(static_cast<size_t>(raw.size() / 2));
    std::memcpy(s.data(), raw.constData(), s.size() * 2);
    return s;
}

// `seconds` of 600 Hz, then as long of 1500 Hz, at 48000 samples per second: two tones
// whose lengths are heard at once when the player loses or repeats part of the file.
std::vector<int16_t> twoTones(int seconds)
{
    std::vector<int16_t> s(static_cast<size_t>(2 * seconds * 48000));
    for (size_t i = 0; i < s.size(); ++i) {
        const double hz = i < s.size() / 2 ? 600 : 1500;
        const double t = static_cast<double>(i) / 48000;
        s[i] = static_cast<int16_t>(std::lround(8000 * std::sin(2 * std::numbers::pi * hz * t)));
    }
    return s;
}

// A 48000-sample-per-second file of these samples in the rig's folder, opened for playback.
void openFileOf(WavRig& rig, const std::vector<int16_t>& samples, uint32_t rate = 48000)
{
    const auto bytes = static_cast<uint32_t>(2 * samples.size());
    writeFile(rig.path(QStringLiteral("play.wav")), header(rate, bytes) + audioBytes(samples));
    rig.wav->FileName = rig.path(QStringLiteral("play.wav"));
    ASSERT_GT(rig.wav->OpenFile(), 0);
}

// `played` holds every sample of `file` once, in order from its first, then only silence.
::testing::AssertionResult wholeFileThenSilence(const std::vector<int16_t>& file, const std::vector<int16_t>& played)
{
    for (size_t i = 0; i < std::min(file.size(), played.size()); ++i)
        if (played[i] != file[i])
            return ::testing::AssertionFailure() << "what is heard departs from the file at its sample " << i;
    if (played.size() < file.size())
        return ::testing::AssertionFailure() << "only " << played.size() << " of " << file.size()
                                             << " samples were heard before the end";
    const auto sound = std::find_if(played.begin() + static_cast<std::ptrdiff_t>(file.size()), played.end(),
                                    [](int16_t v) { return v != 0; });
    if (sound != played.end())
        return ::testing::AssertionFailure() << "sound after the file's end, at sample " << sound - played.begin();
    return ::testing::AssertionSuccess();
}

// Plays `blocks` blocks; the read the last one asked for is left waiting when `readWaits`,
// as when a button is pressed before the read timer has run.
std::vector<int16_t> playBlocks(WavRig& rig, int blocks, bool readWaits = false)
{
    std::vector<int16_t> out;
    for (int b = 0; b < blocks; ++b) {
        const bool last = b + 1 == blocks;
        std::vector<int16_t> block(kBlock);
        if (last && readWaits)
            rig.wav->GetNextSamples(block.data(), kBlock);
        else
            block = rig.playBlock();
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// The read timer runs late, whatever the player's mode now is.
void runWaitingRead(WavRig& rig)
{
    if (rig.readPending) {
        rig.readPending = false;
        rig.wav->ReadFromDisk();
    }
}

} // namespace

TEST(WavFilePlayback, ARecordingPlaysBackSpreadToTheReceiverRateAndStopsAtItsData)
{
    for (int32_t d : {1, 4}) {
        SCOPED_TRACE(d);
        WavRig rig;
        rig.wav->setDecimator(d);
        ASSERT_EQ(rig.wav->OpenRecording(), 0);
        const auto samples = ramp(300000, 5);
        rig.record(samples);
        ASSERT_EQ(rig.wav->CloseRecording(), 0);
        std::vector<int16_t> kept;
        for (size_t i = 0; i < samples.size(); i += static_cast<size_t>(d))
            kept.push_back(samples[i]);

        rig.wav->FileName = rig.wav->TempFileName;
        EXPECT_EQ(rig.wav->OpenFile(), fileBytes(rig.wav->TempFileName).size());
        EXPECT_EQ(rig.catalogues, std::vector<int32_t>{1});
        EXPECT_EQ(rig.wav->WavSamplingRate(), 48000 / d);
        EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
        EXPECT_EQ(rig.playBlock(), std::vector<int16_t>(kBlock, 0)) << "stopped: a silent block";
        EXPECT_EQ(rig.lastPlay, clsWavFile::kPausedOrStopped);

        ASSERT_GT(rig.wav->Play(), 0);
        std::vector<int16_t> between;
        const auto played = fileSamplesOf(playAll(rig), d, &between);
        EXPECT_EQ(rig.playEnds, 1);
        EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
        ASSERT_GE(played.size(), kept.size());
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), played.begin()));
        EXPECT_TRUE(std::all_of(played.begin() + static_cast<std::ptrdiff_t>(kept.size()), played.end(),
                                [](int16_t v) { return v == 0; }))
            << "the track log behind the audio is not played";
        EXPECT_TRUE(std::all_of(between.begin(), between.end(), [](int16_t v) { return v == 0; }));

        // After the end a new Play starts at the first audio byte.
        ASSERT_GT(rig.wav->Play(), 0);
        const auto again = rig.playBlock();
        EXPECT_EQ(again[0], kept[0]);
        EXPECT_EQ(again[static_cast<size_t>(d)], kept[1]);
    }
}

TEST(WavFilePlayback, EightBitRecordingsPlayAsTheirHighBytes)
{
    WavRig rig;
    rig.wav->setBitsPerSample(8);
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    const auto samples = ramp(50000);
    rig.record(samples);
    ASSERT_EQ(rig.wav->CloseRecording(), 0);
    rig.wav->FileName = rig.wav->TempFileName;
    ASSERT_GT(rig.wav->OpenFile(), 0);
    ASSERT_EQ(rig.wav->NumberOfTracks(), 1);
    EXPECT_EQ(rig.wav->TrackLog[0].EndOffset, 44 + 50000 + 1);
    ASSERT_GT(rig.wav->Play(), 0);
    const auto played = fileSamplesOf(playAll(rig), 1);
    ASSERT_GE(played.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(played[i], static_cast<int16_t>(samples[i] & 0xFF00)) << i;
}

TEST(WavFilePlayback, FilesMadeBySoxPlayOrAreRefusedByTheirRate)
{
    ASSERT_TRUE(haveTool("sox")) << "sox is missing: install the Debian package sox";
    struct Case {
        int rate;
        const char* bits;
        int k; // 0: refused
    };
    for (const Case c : {Case{8000, "16", 6}, Case{12000, "16", 4}, Case{16000, "16", 3}, Case{44100, "16", 1},
                         Case{96000, "24", 0}, Case{22050, "8", 2}}) {
        SCOPED_TRACE(c.rate);
        WavRig rig;
        const QString file = rig.path(QStringLiteral("sox.wav"));
        runTool(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(c.rate),
                                        QStringLiteral("-b"), QLatin1String(c.bits), QStringLiteral("-c"),
                                        QStringLiteral("1"), file, QStringLiteral("synth"), QStringLiteral("1.3"),
                                        QStringLiteral("sine"), QStringLiteral("300-900"), QStringLiteral("vol"),
                                        QStringLiteral("0.7")});
        rig.wav->FileName = file;
        const int64_t opened = rig.wav->OpenFile();
        if (c.k == 0) {
            EXPECT_LT(opened, 0);
            ASSERT_EQ(rig.messages.shown().size(), 1u);
            EXPECT_TRUE(rig.messages.shown()[0].text.contains(QStringLiteral("96000"))) << "the message names the rate";
            EXPECT_EQ(rig.wav->Play(), 0) << "nothing is open";
            continue;
        }
        ASSERT_GT(opened, 0);
        EXPECT_EQ(rig.wav->NumberOfTracks(), 0);
        ASSERT_GT(rig.wav->Play(), 0);
        auto expected = soxSamples(file);
        if (QLatin1String(c.bits) == QLatin1String("8"))
            for (auto& s : expected)
                s = static_cast<int16_t>(s & 0xFF00);
        const auto played = fileSamplesOf(playAll(rig), c.k);
        EXPECT_EQ(rig.playEnds, 1);
        ASSERT_GE(played.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()))
            << "every sample once, in order, also where the rate does not divide the block";
    }
}

TEST(WavFilePlayback, FilesOfAFormatThePlayerCannotPlayAreRefusedSayingWhatTheyHold)
{
    const auto audio = ramp(4000);
    // The canonical header with its format tag, channel count and sample size replaced.
    auto file = [&](uint16_t tag, uint16_t channels, uint16_t bits) {
        QByteArray f = header(48000, 8000) + audioBytes(audio);
        wav::putLE16(f, 20, tag);
        wav::putLE16(f, 22, channels);
        wav::putLE16(f, 34, bits);
        return f;
    };
    struct Case {
        QByteArray file;
        const char* said; // empty: it plays
    };
    const Case table[] = {
        {file(3, 1, 32), "32-bit floating-point mono audio at 48000 Hz"},
        {file(1, 1, 24), "24-bit PCM mono audio at 48000 Hz"},
        {file(1, 2, 16), "16-bit PCM stereo audio at 48000 Hz"},
        {file(1, 1, 16), ""},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.said);
        WavRig rig;
        writeFile(rig.path(QStringLiteral("f.wav")), c.file);
        rig.wav->FileName = rig.path(QStringLiteral("f.wav"));
        const int64_t opened = rig.wav->OpenFile();
        if (*c.said == '\0') {
            EXPECT_GT(opened, 0);
            EXPECT_TRUE(rig.messages.shown().empty());
            continue;
        }
        EXPECT_LT(opened, 0);
        ASSERT_EQ(rig.messages.shown().size(), 1u);
        EXPECT_TRUE(rig.messages.shown()[0].text.contains(QLatin1String(c.said)))
            << rig.messages.shown()[0].text.toStdString();
        EXPECT_EQ(rig.wav->Play(), 0) << "nothing is open";
    }
}

TEST(WavFilePlayback, MalformedFilesAreRefusedOrReadAsFarAsTheyAreValid)
{
    const auto audio = ramp(4000);
    const QByteArray goodTrack = "F=0000145000\x04T=2006-01-06 14:05:09\x04S=0000000044\x04" "E=0000008045\x04";
    QByteArray hugeData = header(48000, 0) + audioBytes(audio);
    putLE32(hugeData, 40, 0xFFFFFF9Cu);
    struct Case {
        const char* what;
        QByteArray file;
        bool refused;
        int tracks;
        size_t samples;
    };
    const Case table[] = {
        {"rate 0", header(0, 8000) + audioBytes(audio), true, 0, 0},
        {"rate above 48000", header(48001, 8000) + audioBytes(audio), true, 0, 0},
        {"not even a header", QByteArray("RIFF"), true, 0, 0},
        {"data size beyond the file", hugeData, false, 0, 4000},
        {"a foreign tag behind the data", header(48000, 8000) + audioBytes(audio) + "LIST0000", false, 0, 4000},
        {"a truncated track record", header(48000, 8000) + audioBytes(audio) + trackText({goodTrack}).chopped(4),
         false, 0, 4000},
        {"the marker alone", header(48000, 8000) + audioBytes(audio) + "ORVIK", false, 0, 4000},
        {"a good track", header(48000, 8000) + audioBytes(audio) + trackText({goodTrack}), false, 1, 4000},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        WavRig rig;
        writeFile(rig.path(QStringLiteral("m.wav")), c.file);
        rig.wav->FileName = rig.path(QStringLiteral("m.wav"));
        const int64_t opened = rig.wav->OpenFile();
        EXPECT_EQ(opened < 0, c.refused);
        EXPECT_EQ(rig.messages.shown().size(), c.refused ? 1u : 0u);
        if (c.refused)
            continue;
        EXPECT_EQ(rig.wav->NumberOfTracks(), c.tracks);
        EXPECT_EQ(rig.wav->TrackLog.size(), static_cast<size_t>(c.tracks + 1));
        ASSERT_GT(rig.wav->Play(), 0);
        const auto played = fileSamplesOf(playAll(rig), 1);
        ASSERT_GE(played.size(), c.samples);
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), played.begin()));
        EXPECT_TRUE(std::all_of(played.begin() + 4000, played.end(), [](int16_t v) { return v == 0; }));
    }
}

TEST(WavFilePlayback, OnlyRegularFilesAreOpened)
{
    WavRig rig;
    const QString fifo = rig.path(QStringLiteral("fifo.wav"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& name : {fifo, rig.path(QStringLiteral("missing.wav")), rig.dir.path()}) {
        rig.messages.clear();
        rig.wav->FileName = name;
        EXPECT_GT(rig.wav->OpenFile(), 0) << "an error number, without waiting for a writer";
        EXPECT_EQ(rig.messages.shown().size(), 1u) << name.toStdString();
        EXPECT_EQ(rig.wav->Play(), 0);
    }
}

TEST(WavFilePlayback, PlayFromSeeksInsideTheAudioOnWholeSamples)
{
    WavRig rig;
    const auto audio = ramp(100000);
    const QByteArray file =
        header(48000, 200000) + audioBytes(audio) +
        trackText({"F=1\x04S=0000000010\x04", "F=2\x04S=0000001001\x04", "F=3\x04S=0099999999\x04",
                   "F=4\x04S=-000000100\x04"});
    writeFile(rig.path(QStringLiteral("t.wav")), file);
    rig.wav->FileName = rig.path(QStringLiteral("t.wav"));
    ASSERT_GT(rig.wav->OpenFile(), 0);
    ASSERT_EQ(rig.wav->NumberOfTracks(), 4);

    rig.wav->PlayFrom(1);
    ASSERT_GT(rig.wav->Play(), 0);
    EXPECT_EQ(rig.playBlock()[0], audio[0]) << "a seek asked for while stopped is not kept";

    rig.wav->PlayFrom(1);
    EXPECT_EQ(rig.playBlock()[0], audio[478]) << "offset 1001 is aligned down to 1000";
    EXPECT_EQ(rig.wav->NumSamples(), kBlock);
    rig.wav->PlayFrom(0);
    EXPECT_EQ(rig.playBlock()[0], audio[0]) << "an offset inside the header starts at the audio";
    rig.wav->PlayFrom(3);
    EXPECT_EQ(rig.playBlock()[0], audio[0]) << "a negative offset starts at the audio";
    const auto next = rig.playBlock();
    rig.wav->PlayFrom(4);
    rig.wav->PlayFrom(-1);
    EXPECT_EQ(rig.playBlock()[0], audio[2 * kBlock]) << "indexes outside the tracks do nothing";

    rig.wav->Pause();
    rig.wav->PlayFrom(0);
    rig.wav->Pause();
    EXPECT_EQ(rig.playBlock()[0], audio[3 * kBlock]) << "paused: no seek";

    rig.wav->PlayFrom(2);
    const auto rest = playAll(rig, 17);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](int16_t v) { return v == 0; })) << "beyond the data: the end";
    EXPECT_EQ(rig.playEnds, 1);
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
    (void)next;
}

TEST(WavFilePlayback, OpeningAFileEndsARecording)
{
    WavRig rig;
    writeFile(rig.path(QStringLiteral("p.wav")), header(48000, 200) + QByteArray(200, '\1'));
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(4096));
    rig.wav->FileName = rig.path(QStringLiteral("p.wav"));
    ASSERT_GT(rig.wav->OpenFile(), 0);
    EXPECT_FALSE(rig.wav->IsRecording());
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
    const auto samples = ramp(2048);
    EXPECT_EQ(rig.wav->AddSamples(samples.data(), 2048), clsWavFile::kNoRecording);
}

TEST(WavFilePlayback, LoadMediaAsksForAnExistingFileAndRemembersItsName)
{
    WavRig rig;
    rig.wav->LastDirectory = rig.dir.path();
    rig.dialogs.queueCancel();
    EXPECT_EQ(rig.wav->LoadMedia(), QString());
    EXPECT_EQ(rig.wav->StatusOfMedia(), 0);
    const QString name = rig.path(QStringLiteral("x.wav"));
    rig.dialogs.queueFile(name);
    EXPECT_EQ(rig.wav->LoadMedia(), name);
    ASSERT_EQ(rig.dialogs.fileRequests().size(), 2u);
    const FileDialogOptions& r = rig.dialogs.fileRequests()[1];
    EXPECT_FALSE(r.save);
    EXPECT_TRUE(r.fileMustExist);
    EXPECT_EQ(r.title, QStringLiteral("Select Filename"));
    EXPECT_EQ(r.directory, rig.dir.path());
    EXPECT_EQ(rig.wav->FileShortName, QStringLiteral("x.wav"));
    EXPECT_EQ(rig.wav->FileName, name);
    EXPECT_EQ(rig.wav->StatusOfMedia(), 1);
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
}

TEST(WavFilePlayback, OpenPlaybackOpensOnceAndClosePlaybackAndStopPlayBackUndoIt)
{
    WavRig rig;
    const auto audio = ramp(6 * kBlock);
    writeFile(rig.path(QStringLiteral("o.wav")), wav::BuildWavHeader({12000, 1, 16, 12 * kBlock, 44 + 12 * kBlock}) +
                                                     audioBytes(audio));
    std::vector<int32_t> options;
    rig.wav->selectRecordSampleRate = [&](int32_t i) { options.push_back(i); };
    rig.wav->FileName = rig.path(QStringLiteral("o.wav"));
    EXPECT_EQ(rig.wav->ClosePlayback(), clsWavFile::kNothingOpen) << "nothing is playing";
    rig.wav->setIsPaused(true);
    EXPECT_EQ(rig.wav->OpenPlayback(), 44 + 12 * kBlock);
    EXPECT_TRUE(rig.wav->IsPlaying());
    EXPECT_FALSE(rig.wav->IsPaused());
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kClosed) << "the mode is left alone";
    EXPECT_EQ(options, std::vector<int32_t>{2}) << "the 12K option";
    EXPECT_EQ(rig.wav->OpenPlayback(), 0) << "already open";

    // The file is open: once the mode allows it, Play plays it from its first sample.
    EXPECT_EQ(rig.wav->Play(), 0);
    rig.wav->setPlayerMode(clsWavFile::kStopped);
    ASSERT_GT(rig.wav->Play(), 0);
    const auto played = fileSamplesOf(playAll(rig), 4);
    ASSERT_GE(played.size(), audio.size());
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), played.begin()));

    rig.wav->StopPlayBack();
    EXPECT_FALSE(rig.wav->IsPlaying());
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
    EXPECT_EQ(rig.wav->ClosePlayback(), clsWavFile::kNothingOpen);

    ASSERT_GT(rig.wav->OpenPlayback(), 0);
    EXPECT_EQ(rig.wav->ClosePlayback(), 0);
    EXPECT_FALSE(rig.wav->IsPlaying());
    EXPECT_TRUE(rig.wav->IsClosed());
    rig.wav->setPlayerMode(clsWavFile::kStopped);
    EXPECT_EQ(rig.wav->Play(), 0) << "the file was closed";
}

TEST(WavFileRecording, StopRecordingStopsWithoutClosingAndUnPackLogRecordRendersARecord)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(4 * kBlock));
    rig.wav->StopRecording();
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
    EXPECT_FALSE(rig.wav->IsRecording());
    EXPECT_FALSE(rig.wav->IsClosed()) << "the file stays open";
    const auto more = ramp(kBlock);
    EXPECT_EQ(rig.wav->AddSamples(more.data(), kBlock), clsWavFile::kNoRecording);
    rig.wav->Pause();
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kPaused);
    rig.wav->Pause();
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped) << "the mode before the pause";

    rig.wav->UnPackLogRecord(QStringLiteral("F=1"));
    QByteArray expected;
    for (char c : QByteArray("ORVIK\0D=2006-01-06\0T=14:05:09\0F=1", 33)) {
        expected += c;
        expected += '\0';
    }
    EXPECT_EQ(rig.wav->UnpackedLogRecord(), expected);
}

TEST(WavFilePlayback, PlayAfterStopStartsAtTheFirstSampleAndPlaysTheFileWhole)
{
    const auto file = twoTones(1);
    // Stopped inside the first half, just after entering the second with its read still
    // waiting, inside the second half, and inside the last half after the file's end was read.
    struct Case {
        int blocks;
        bool readWaits;
    };
    for (const Case c : {Case{10, false}, Case{16, true}, Case{20, false}, Case{40, false}}) {
        SCOPED_TRACE(::testing::Message() << "Stop after " << c.blocks << " blocks"
                                          << (c.readWaits ? ", read waiting" : ""));
        WavRig rig;
        ASSERT_NO_FATAL_FAILURE(openFileOf(rig, file));
        ASSERT_GT(rig.wav->Play(), 0);
        const auto before = playBlocks(rig, c.blocks, c.readWaits);
        ASSERT_TRUE(std::equal(before.begin(), before.end(), file.begin()));
        rig.wav->StopPlayer();
        runWaitingRead(rig);
        EXPECT_EQ(rig.playBlock(), std::vector<int16_t>(kBlock, 0)) << "stopped: a silent block";

        ASSERT_GT(rig.wav->Play(), 0);
        const auto played = playAll(rig);
        EXPECT_TRUE(wholeFileThenSilence(file, played));
        EXPECT_EQ(rig.playEnds, 1);
        EXPECT_EQ(played.size(), 3u * 32768) << "the end comes with the half that holds the file's last sample";
    }
}

TEST(WavFilePlayback, PlayAfterPauseOrWhilePlayingGoesOnWhereItWasAndPlaysTheEndWhole)
{
    const auto file = twoTones(2);
    enum class Resume { Play, Pause, PlayWhilePlaying };
    struct Case {
        int blocks;
        bool readWaits;
        Resume resume;
    };
    const Case table[] = {
        {10, false, Resume::Play},  {16, true, Resume::Play},   {40, false, Resume::Play},
        {90, false, Resume::Play},  {10, false, Resume::Pause}, {16, true, Resume::Pause},
        {90, false, Resume::Pause}, {10, false, Resume::PlayWhilePlaying}, {16, true, Resume::PlayWhilePlaying},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(::testing::Message() << "after " << c.blocks << " blocks"
                                          << (c.readWaits ? ", read waiting" : "")
                                          << (c.resume == Resume::Play    ? ", Pause then Play"
                                              : c.resume == Resume::Pause ? ", Pause then Pause again"
                                                                          : ", Play again while playing"));
        WavRig rig;
        ASSERT_NO_FATAL_FAILURE(openFileOf(rig, file));
        ASSERT_GT(rig.wav->Play(), 0);
        auto played = playBlocks(rig, c.blocks, c.readWaits);
        if (c.resume == Resume::PlayWhilePlaying) {
            ASSERT_GT(rig.wav->Play(), 0);
            runWaitingRead(rig);
        } else {
            rig.wav->Pause();
            runWaitingRead(rig);
            EXPECT_EQ(rig.playBlock(), std::vector<int16_t>(kBlock, 0)) << "paused: a silent block";
            if (c.resume == Resume::Play)
                ASSERT_GT(rig.wav->Play(), 0);
            else
                rig.wav->Pause();
        }
        ASSERT_EQ(rig.wav->PlayerMode(), clsWavFile::kPlaying);
        const auto rest = playAll(rig);
        played.insert(played.end(), rest.begin(), rest.end());
        EXPECT_TRUE(wholeFileThenSilence(file, played));
        EXPECT_EQ(rig.playEnds, 1);
        EXPECT_EQ(played.size(), 6u * 32768) << "the end comes with the half that holds the file's last sample";
    }
}

TEST(WavFilePlayback, AFilePlayedThroughComesOutOnceInOrderAndEndsWithTheHalfOfItsLastSample)
{
    // File samples per half: 32768 at 48000 samples per second, 8192 at 12000.
    struct Case {
        uint32_t rate;
        size_t samples;
    };
    for (const Case c : {Case{48000, 1000}, Case{48000, 32768}, Case{48000, 32769}, Case{48000, 65536},
                         Case{48000, 80000}, Case{12000, 8192}, Case{12000, 2 * 8192 + 100}}) {
        SCOPED_TRACE(::testing::Message() << c.samples << " samples at " << c.rate);
        const int k = static_cast<int>(48000 / c.rate);
        const size_t half = 32768 / static_cast<size_t>(k);
        WavRig rig;
        const auto file = ramp(c.samples, 3);
        ASSERT_NO_FATAL_FAILURE(openFileOf(rig, file, c.rate));
        ASSERT_GT(rig.wav->Play(), 0);
        std::vector<int16_t> between;
        const auto out = playAll(rig);
        EXPECT_TRUE(wholeFileThenSilence(file, fileSamplesOf(out, k, &between)));
        EXPECT_TRUE(std::all_of(between.begin(), between.end(), [](int16_t v) { return v == 0; }));
        EXPECT_EQ(out.size(), (c.samples + half - 1) / half * 32768);
        EXPECT_EQ(rig.playEnds, 1);
        EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
        EXPECT_EQ(rig.playBlock(), std::vector<int16_t>(kBlock, 0));
        EXPECT_EQ(rig.lastPlay, clsWavFile::kPausedOrStopped) << "nothing more after the end";
    }
}

// Captured blocks come in pairs from some sound servers, and a busy machine bunches them
// further: the handler then takes several blocks before the read timer runs. The half the
// player moves into must already hold its samples, or the first blocks of it repeat what
// was played a whole ring before.
TEST(WavFilePlayback, BlocksTakenBeforeTheReadTimerRunsStillComeFromTheFile)
{
    for (int bunch : {2, 3, 8}) {
        SCOPED_TRACE(bunch);
        WavRig rig;
        const std::vector<int16_t> file = ramp(5 * 32768 + 1000, 1);
        ASSERT_NO_FATAL_FAILURE(openFileOf(rig, file));
        rig.wav->Play();
        std::vector<int16_t> played;
        while (rig.wav->PlayerMode() == clsWavFile::kPlaying && played.size() < 2 * file.size()) {
            // `bunch` blocks handled back to back, then the timer's read.
            for (int b = 0; b < bunch && rig.wav->PlayerMode() == clsWavFile::kPlaying; ++b) {
                std::vector<int16_t> block(kBlock);
                rig.wav->GetNextSamples(block.data(), kBlock);
                played.insert(played.end(), block.begin(), block.end());
            }
            runWaitingRead(rig);
        }
        EXPECT_TRUE(wholeFileThenSilence(file, played));
        EXPECT_EQ(rig.playEnds, 1);
    }
}
