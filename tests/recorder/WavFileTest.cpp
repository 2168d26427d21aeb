#include "WavFileSupport.h"

#include "platform/SettingsStore.h"

#include <QFileInfo>

#include <sys/stat.h>

#include <QCryptographicHash>

#include <csignal>
#include <sys/resource.h>

using namespace orvik;
using namespace orvik::testing;
using orvik::wav::getLE16;
using orvik::wav::getLE32;

namespace {

constexpr int32_t kHalf = 131072;

// What the file's audio must hold: every D-th sample of each half, as 16-bit little-endian
// words or unsigned bytes.
QByteArray expectedAudio(const std::vector<int16_t>& in, int32_t d, int bits)
{
    QByteArray out;
    for (size_t i = 0; i < in.size(); i += static_cast<size_t>(d)) {
        const auto s = static_cast<uint16_t>(in[i]);
        if (bits == 8) {
            out += static_cast<char>((s >> 8) ^ 0x80);
        } else {
            out += static_cast<char>(s & 0xFF);
            out += static_cast<char>(s >> 8);
        }
    }
    return out;
}

// Lowers the largest file this process may write, for as long as it lives.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

} // namespace

TEST(WavFileRecording, OneSecondOneTrackRecordingHasTheDocumentedBytes)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kRecording);
    const auto samples = ramp(48000);
    rig.record(samples);
    ASSERT_EQ(rig.wav->CloseRecording(), 0);

    const QByteArray file = fileBytes(rig.wav->TempFileName);
    ASSERT_EQ(file.size(), 44 + 96000 + 5 + 124) << "the partly filled half is written at close";
    EXPECT_EQ(getLE32(file, 4), 96036u);
    EXPECT_EQ(getLE32(file, 40), 96000u);
    EXPECT_EQ(file.mid(44, 96000), expectedAudio(samples, 1, 16));
    EXPECT_EQ(file.mid(96044, 5), "ORVIK");
    QByteArray text;
    for (int i = 96049; i < file.size(); i += 2)
        text += file[i];
    EXPECT_EQ(text, QByteArray("F=0070500000\x04T=2006-01-06 14:05:09\x04S=0000000044\x04"
                               "E=0000096045\x04", 61) + '\0');
    EXPECT_TRUE(rig.wav->IsClosed());
    EXPECT_FALSE(rig.wav->IsRecording());
    EXPECT_EQ(rig.wav->TrackLog.size(), 1u);
}

TEST(WavFileRecording, EveryRateAndSampleSizeWritesTheKeptSamplesThatStandardReadersSee)
{
    ASSERT_TRUE(haveTool("soxi")) << "sox is missing: install the Debian package sox";
    const auto samples = ramp(2 * kHalf + 5 * kBlock + 100, 3);
    for (int bits : {16, 8}) {
        for (int32_t d : {1, 2, 4, 8, 16}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, decimator " << d);
            WavRig rig;
            rig.wav->setDecimator(d);
            rig.wav->setBitsPerSample(bits);
            ASSERT_EQ(rig.wav->OpenRecording(), 0);
            rig.record(samples);
            EXPECT_EQ(rig.lastWrite, 0);
            // Two full halves were written by the timer; the rest waits for the close.
            EXPECT_EQ(rig.wav->NumSamples(), 2 * kHalf / d);
            ASSERT_EQ(rig.wav->CloseRecording(), 0);

            const QByteArray audio = expectedAudio(samples, d, bits);
            const QByteArray file = fileBytes(rig.wav->TempFileName);
            ASSERT_EQ(file.size(), 44 + audio.size() + 5 + 124);
            EXPECT_EQ(getLE32(file, 24), static_cast<uint32_t>(48000 / d));
            EXPECT_EQ(getLE16(file, 34), static_cast<uint32_t>(bits));
            EXPECT_EQ(getLE32(file, 40), static_cast<uint32_t>(audio.size()));
            EXPECT_EQ(file.mid(44, audio.size()), audio);
            EXPECT_EQ(file.mid(44 + audio.size(), 5), "ORVIK");

            const QString copy = rig.path(QStringLiteral("copy.wav"));
            QFile::copy(rig.wav->TempFileName, copy);
            const QString python = runTool(
                QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import wave,hashlib,sys\nw=wave.open(sys.argv[1])\n"
                                "print(w.getnchannels(),w.getsampwidth(),w.getframerate(),w.getnframes(),"
                                "hashlib.md5(w.readframes(w.getnframes())).hexdigest())"),
                 copy});
            const QString md5 = QString::fromLatin1(QCryptographicHash::hash(audio, QCryptographicHash::Md5).toHex());
            EXPECT_EQ(python, QStringLiteral("1 %1 %2 %3 %4")
                                  .arg(bits / 8)
                                  .arg(48000 / d)
                                  .arg(audio.size() / (bits / 8))
                                  .arg(md5));
            EXPECT_EQ(runTool(QStringLiteral("soxi"), {QStringLiteral("-r"), copy}), QString::number(48000 / d));
            EXPECT_EQ(runTool(QStringLiteral("soxi"), {QStringLiteral("-s"), copy}),
                      QString::number(audio.size() / (bits / 8)));
            EXPECT_EQ(runTool(QStringLiteral("soxi"), {QStringLiteral("-e"), copy}),
                      bits == 8 ? QStringLiteral("Unsigned Integer PCM") : QStringLiteral("Signed Integer PCM"));
        }
    }
}

TEST(WavFileRecording, TrackRecordsCountWrittenBytes)
{
    struct Case {
        int32_t d;
        int bits;
        int64_t secondStart; // after 5 s of receiver audio
    };
    for (const Case c : {Case{1, 16, 480044}, Case{4, 16, 120044}, Case{2, 8, 120044}}) {
        SCOPED_TRACE(::testing::Message() << c.d << " " << c.bits);
        WavRig rig;
        rig.wav->setDecimator(c.d);
        rig.wav->setBitsPerSample(c.bits);
        rig.wav->NewLogRecord(1000);
        EXPECT_EQ(rig.wav->TrackLog.size(), 1u) << "no record while nothing records";
        ASSERT_EQ(rig.wav->OpenRecording(), 0);
        rig.wav->NewLogRecord(70500000);
        EXPECT_EQ(rig.wav->TrackLog.size(), 2u) << "the frequency of the newest record adds nothing";
        rig.record(ramp(240000));
        rig.wav->NewLogRecord(145000);
        ASSERT_EQ(rig.wav->TrackLog.size(), 3u);
        EXPECT_EQ(rig.wav->TrackLog[1].StartOffset, c.secondStart);
        EXPECT_EQ(rig.wav->TrackLog[0].EndOffset, c.secondStart);
        rig.record(ramp(10000));
        ASSERT_EQ(rig.wav->CloseRecording(), 0);

        const QByteArray file = fileBytes(rig.wav->TempFileName);
        const int64_t data = getLE32(file, 40);
        rig.wav->FileName = rig.wav->TempFileName;
        ASSERT_GT(rig.wav->OpenFile(), 0);
        ASSERT_EQ(rig.wav->NumberOfTracks(), 2);
        EXPECT_EQ(rig.wav->TrackLog[0].StartOffset, 44);
        EXPECT_EQ(rig.wav->TrackLog[1].StartOffset, c.secondStart);
        EXPECT_EQ(rig.wav->TrackLog[1].Frequency, 145000);
        EXPECT_EQ(rig.wav->TrackLog[1].EndOffset, data + 45) << "the last track ends at a position counted from 1";
    }
}

TEST(WavFileRecording, ProgressSkipsEverySixteenthBlock)
{
    WavRig rig;
    rig.wav->setDecimator(2);
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    ASSERT_EQ(rig.progress, std::vector<int64_t>{0});
    rig.record(ramp(17 * kBlock));
    ASSERT_EQ(rig.progress.size(), 1u + 15 + 1);
    EXPECT_EQ(rig.progress[1], kBlock / 2);
    EXPECT_EQ(rig.progress[15], 15 * kBlock / 2);
    EXPECT_EQ(rig.progress[16], 17 * kBlock / 2) << "block 16 is skipped";
}

TEST(WavFileRecording, PausedBlocksAreRefusedAndResumingGoesOn)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    const auto first = ramp(kBlock, 1);
    const auto paused = ramp(kBlock, 2);
    const auto last = ramp(kBlock, 3);
    rig.record(first);
    rig.wav->Pause();
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kPaused);
    EXPECT_EQ(rig.wav->AddSamples(paused.data(), kBlock), clsWavFile::kPausedOrStopped);
    rig.wav->Pause();
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kRecording) << "resuming returns to recording";
    rig.record(last);
    EXPECT_EQ(rig.wav->SamplesQueued(), 2 * kBlock);
    ASSERT_EQ(rig.wav->CloseRecording(), 0);
    std::vector<int16_t> both = first;
    both.insert(both.end(), last.begin(), last.end());
    EXPECT_EQ(fileBytes(rig.wav->TempFileName).mid(44, 4 * kBlock), expectedAudio(both, 1, 16));
}

TEST(WavFileRecording, AHalfWhoseWriteHasNotRunIsWrittenAtClose)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    const auto samples = ramp(kHalf + 3 * kBlock);
    for (size_t at = 0; at < samples.size(); at += kBlock)
        rig.wav->AddSamples(samples.data() + at, kBlock);
    EXPECT_TRUE(rig.wav->BufferFull());
    ASSERT_EQ(rig.wav->CloseRecording(), 0);
    EXPECT_EQ(fileBytes(rig.wav->TempFileName).mid(44, static_cast<int>(samples.size() * 2)),
              expectedAudio(samples, 1, 16));
}

TEST(WavFileRecording, AFailedWriteKeepsTheGoodPartAndStops)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    const auto samples = ramp(2 * kHalf + 3 * kBlock);
    rig.record({samples.begin(), samples.begin() + kHalf});
    ASSERT_EQ(rig.lastWrite, 0);
    // The second half waits while three more blocks arrive, then its write fails.
    for (size_t at = kHalf; at < samples.size(); at += kBlock)
        rig.wav->AddSamples(samples.data() + at, kBlock);
    {
        FileSizeLimit limit(44 + 2 * kHalf + 20000);
        rig.runWriteTimer();
    }
    EXPECT_GT(rig.lastWrite, 0) << "the second half did not fit";
    // The window that reports it names the file and the system's reason.
    EXPECT_EQ(rig.wav->lastErrorText().toStdString(),
              "Cannot write to " + rig.wav->TempFileName.toStdString() + ": " + std::strerror(EFBIG));
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
    EXPECT_FALSE(rig.wav->IsRecording());
    EXPECT_EQ(rig.wav->AddSamples(samples.data(), kBlock), clsWavFile::kNoRecording);

    const QByteArray file = fileBytes(rig.wav->TempFileName);
    ASSERT_EQ(file.size(), 44 + 2 * kHalf + 5 + 124) << "nothing after the lost half, which would leave a gap";
    EXPECT_EQ(getLE32(file, 40), static_cast<uint32_t>(2 * kHalf));
    EXPECT_EQ(file.mid(44, 2 * kHalf), expectedAudio({samples.begin(), samples.begin() + kHalf}, 1, 16));
    EXPECT_EQ(file.mid(44 + 2 * kHalf, 5), "ORVIK");

    // The closed recording can still be saved.
    rig.dialogs.queueFile(rig.path(QStringLiteral("kept.wav")));
    rig.wav->Save();
    EXPECT_EQ(fileBytes(rig.path(QStringLiteral("kept.wav"))), file);
    EXPECT_TRUE(rig.messages.shown().empty());
}

TEST(WavFileRecording, ARecordingIsClosedBeforeTheFormatsSizeLimit)
{
    WavRig rig;
    rig.wav->maximumFileBytes = 44 + 2 * kHalf + 10;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(2 * kHalf));
    EXPECT_EQ(rig.lastWrite, clsWavFile::kFileFull);
    EXPECT_FALSE(rig.wav->IsRecording());
    EXPECT_FALSE(rig.wav->lastErrorText().isEmpty());
    const QByteArray file = fileBytes(rig.wav->TempFileName);
    EXPECT_EQ(getLE32(file, 40), static_cast<uint32_t>(2 * kHalf));
    EXPECT_EQ(file.mid(44 + 2 * kHalf, 5), "ORVIK");
}

TEST(WavFileSaving, ACancelledDialogLeavesTheRecordingReadyToName)
{
    WavRig rig;
    rig.wav->Save();
    EXPECT_TRUE(rig.dialogs.fileRequests().empty()) << "nothing to save";

    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(10000));
    rig.dialogs.queueCancel();
    rig.wav->Save();
    ASSERT_EQ(rig.dialogs.fileRequests().size(), 1u);
    const FileDialogOptions& request = rig.dialogs.fileRequests()[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, QStringLiteral("Select Filename to Save Recording"));
    EXPECT_EQ(request.fileName, QStringLiteral("untitled.wav"));
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("wav"));
    EXPECT_FALSE(request.fileMustExist);
    EXPECT_FALSE(request.confirmOverwrite) << "the recorder asks its own overwrite question";
    const QByteArray closed = fileBytes(rig.wav->TempFileName);
    EXPECT_EQ(closed.size(), 44 + 20000 + 5 + 124);
    EXPECT_EQ(rig.wav->StatusOfMedia(), 3);

    QDir().mkpath(rig.path(QStringLiteral("keep")));
    const QString name = rig.path(QStringLiteral("keep/first.wav"));
    rig.dialogs.queueFile(name);
    rig.wav->Save();
    EXPECT_TRUE(rig.messages.shown().empty()) << rig.messages.shown()[0].text.toStdString();
    EXPECT_EQ(fileBytes(name), closed);
    EXPECT_FALSE(QFile::exists(rig.wav->TempFileName));
    EXPECT_EQ(rig.wav->SaveFileName, name);
    EXPECT_EQ(rig.wav->LastDirectory, rig.path(QStringLiteral("keep")));
    EXPECT_EQ(rig.wav->StatusOfMedia(), 4);
    EXPECT_EQ(rig.wav->PlayerMode(), clsWavFile::kStopped);
}

TEST(WavFileSaving, ASavedNameIsReusedAfterAskingToOverwrite)
{
    WavRig rig;
    const QString name = rig.path(QStringLiteral("same.wav"));
    rig.wav->SaveFileName = name;
    writeFile(name, "older");

    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(4000));
    rig.messages.queueAnswer(MessageAnswer::No);
    rig.wav->Save();
    ASSERT_EQ(rig.messages.shown().size(), 1u);
    EXPECT_EQ(rig.messages.shown()[0].text, name + QStringLiteral("\r\n Exists - Do you want to overwrite it ?"));
    EXPECT_EQ(rig.messages.shown()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(fileBytes(name), "older");
    EXPECT_TRUE(QFile::exists(rig.wav->TempFileName));
    EXPECT_TRUE(rig.dialogs.fileRequests().empty());

    rig.messages.queueAnswer(MessageAnswer::Yes);
    rig.wav->Save();
    EXPECT_EQ(fileBytes(name).size(), 44 + 8000 + 5 + 124);
    EXPECT_EQ(rig.wav->StatusOfMedia(), 4);
}

TEST(WavFileSaving, AFailedCloseIsShownAndTheTemporaryFileKept)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(48000));
    {
        // The audio and header fit; the track log behind them does not.
        FileSizeLimit limit(44 + 96000 + 3);
        rig.wav->Save();
    }
    ASSERT_EQ(rig.messages.shown().size(), 1u);
    EXPECT_EQ(rig.messages.shown()[0].text, QStringLiteral("Unable to close temporary file ") +
                                                rig.wav->TempFileName +
                                                QStringLiteral("\r\n Please report this problem to ORVIK"));
    EXPECT_TRUE(rig.dialogs.fileRequests().empty());
    EXPECT_TRUE(QFile::exists(rig.wav->TempFileName));
}

TEST(WavFileSettings, BadStoredValuesFallBackAndEverythingIsWrittenBack)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + QStringLiteral("/s.ini");
    {
        SettingsStore store(ini);
        store.write(QStringLiteral("WavFile"), QStringLiteral("Decimator"), QStringLiteral("3"));
        store.write(QStringLiteral("WavFile"), QStringLiteral("RecBlockSizeInSamples"), QStringLiteral("1000"));
        store.write(QStringLiteral("WavFile"), QStringLiteral("BitsPerSample"), QStringLiteral("8"));
        store.write(QStringLiteral("WavFile"), QStringLiteral("LastDirectory"), QStringLiteral("/music"));
        store.write(QStringLiteral("WavFile"), QStringLiteral("SamplingRate"), QStringLiteral("96000"));
        store.write(QStringLiteral("WavFile"), QStringLiteral("WavSamplingRate"), QStringLiteral("96000"));
        store.sync();
        clsWavFile wav(dir.path());
        EXPECT_EQ(wav.WavSamplingRate(), 0) << "the decimator is set before the rate at creation";
        wav.Name = QStringLiteral("WavFile");
        wav.Init(store);
        EXPECT_EQ(wav.Decimator(), 1);
        EXPECT_EQ(wav.WavSamplingRate(), 48000);
        EXPECT_EQ(wav.RecBlockSizeInSamples(), 131072);
        EXPECT_EQ(wav.BitsPerSample(), 8);
        EXPECT_EQ(wav.LastDirectory, QStringLiteral("/music"));
        EXPECT_EQ(wav.SamplingRate(), 48000) << "a rate the recorder does not offer";

        // Six seconds' worth of blocks are written at 48000 samples a second, and the header says so.
        wav.setBitsPerSample(16);
        ASSERT_EQ(wav.OpenRecording(), 0);
        const auto six = ramp(141 * kBlock);
        for (size_t at = 0; at < six.size(); at += kBlock) {
            wav.AddSamples(six.data() + at, kBlock);
            wav.WriteToDisk();
        }
        ASSERT_EQ(wav.CloseRecording(), 0);
        const QByteArray recorded = fileBytes(wav.TempFileName);
        EXPECT_EQ(wav::getLE32(recorded, 24), 48000u);
        EXPECT_EQ(wav::getLE32(recorded, 28), 96000u);
        EXPECT_EQ(wav::getLE32(recorded, 40), 141u * kBlock * 2);
        wav.setDecimator(8);
        wav.RecordFileName = QStringLiteral("/music/a.wav");
        wav.Terminate();
        store.sync();
    }
    SettingsStore store(ini);
    EXPECT_EQ(store.read(QStringLiteral("WavFile"), QStringLiteral("Decimator"), {}), QStringLiteral("8"));
    EXPECT_EQ(store.read(QStringLiteral("WavFile"), QStringLiteral("WavSamplingRate"), {}), QStringLiteral("6000"));
    EXPECT_EQ(store.read(QStringLiteral("WavFile"), QStringLiteral("RecBlockSizeInSamples"), {}),
              QStringLiteral("131072"));
    EXPECT_EQ(store.read(QStringLiteral("WavFile"), QStringLiteral("RecordFileName"), {}),
              QStringLiteral("/music/a.wav"));
}

TEST(WavFileRecording, AnUnsavedRecordingIsFinishedAtTheEndAndAMissingFolderIsAnError)
{
    QTemporaryDir dir;
    {
        clsWavFile wav(dir.path());
        ASSERT_EQ(wav.OpenRecording(), 0);
        const auto samples = ramp(3000);
        wav.AddSamples(samples.data(), 3000);
    }
    EXPECT_EQ(fileBytes(dir.path() + QStringLiteral("/~ORVIKWAV.TMP")).size(), 44 + 6000 + 5);

    clsWavFile lost(dir.path() + QStringLiteral("/missing"));
    EXPECT_GT(lost.OpenRecording(), 0);
    EXPECT_FALSE(lost.IsRecording());
    EXPECT_EQ(lost.PlayerMode(), clsWavFile::kClosed);
}

TEST(WavFileRecording, AKilledRecordingReadsUpToItsLastWrite)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(70 * kBlock));
    ASSERT_EQ(rig.wav->NumSamples(), 131072);
    // Nothing closes the recording: the file is read as a crash would leave it.
    const QByteArray left = fileBytes(rig.wav->TempFileName);
    ASSERT_EQ(left.size(), 44 + 131072 * 2);
    const wav::ParsedHeader head = wav::ParseWavHeader(left, left.size());
    EXPECT_EQ(head.dataBytes, 131072 * 2);
    EXPECT_EQ(wav::getLE32(left, 4), 36u + 131072 * 2);
}

TEST(WavFileSaving, TheTemporaryFileIsMadeByTheRecorderAndSaveSavesOnlyThatFile)
{
    WavRig rig;
    // A dangling link in its place: the link goes, its target is never made.
    const QString target = rig.path(QStringLiteral("elsewhere.wav"));
    ASSERT_TRUE(QFile::link(target, rig.wav->TempFileName));
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(70 * kBlock));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QFileInfo(rig.wav->TempFileName).isSymLink());

    // The recording moved away and a FIFO put under its name: Save refuses, nothing is lost.
    const QString moved = rig.path(QStringLiteral("moved.tmp"));
    ASSERT_TRUE(QFile::rename(rig.wav->TempFileName, moved));
    ASSERT_EQ(::mkfifo(QFile::encodeName(rig.wav->TempFileName).constData(), 0600), 0);
    const QString name = rig.path(QStringLiteral("saved.wav"));
    rig.dialogs.queueFile(name);
    rig.wav->Save();
    EXPECT_FALSE(QFile::exists(name));
    ASSERT_FALSE(rig.messages.shown().empty());
    EXPECT_TRUE(rig.messages.shown().back().text.contains(QStringLiteral("Nothing was saved")));
    EXPECT_EQ(wav::ParseWavHeader(fileBytes(moved), QFileInfo(moved).size()).dataBytes, 70 * kBlock * 2)
        << "the recording is whole under the name it was moved to";
}

TEST(WavFileSaving, ARefusedSaveLeavesTheFileItWouldHaveOverwritten)
{
    WavRig rig;
    ASSERT_EQ(rig.wav->OpenRecording(), 0);
    rig.record(ramp(70 * kBlock));
    ASSERT_TRUE(QFile::remove(rig.wav->TempFileName));
    writeFile(rig.wav->TempFileName, "someone else's");

    const QString name = rig.path(QStringLiteral("kept.wav"));
    writeFile(name, "older");
    rig.dialogs.queueFile(name);
    rig.messages.queueAnswer(MessageAnswer::Yes);
    rig.wav->Save();
    ASSERT_FALSE(rig.messages.shown().empty());
    EXPECT_TRUE(rig.messages.shown().back().text.contains(QStringLiteral("Nothing was saved")));
    EXPECT_EQ(fileBytes(name), "older") << "nothing replaces the file, so nothing may remove it";
    EXPECT_EQ(fileBytes(rig.wav->TempFileName), "someone else's");
}
