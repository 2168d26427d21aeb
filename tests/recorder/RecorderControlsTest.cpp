#include "WavFileSupport.h"

#include "recorder/ui/RecorderControls.h"
#include "recorder/ui/RecorderPanel.h"
#include "shell/widgets/ControlFactory.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <tuple>
#include <utility>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QWidget>

using namespace orvik;
using namespace orvik::testing;

namespace {

struct ControlsRig {
    // With `waitForPlayOut` the end's Stop waits in `playedOut` until the test runs it.
    explicit ControlsRig(bool waitForPlayOut = false)
    {
        addFrame(window.get(), QStringLiteral("frPresets"), QString(), {120, 1290, 9120, 1410});
        buildRecorderControls(window.get());
        RecorderControls::Hooks hooks;
        hooks.selectPower = [this](int i) {
            power.push_back(i);
            powerOn = i == 0;
        };
        hooks.powerIsOn = [this] { return powerOn; };
        hooks.showFileError = [this](const QString& m) { fileErrors << m; };
        hooks.programEnding = [this] { return ending; };
        if (waitForPlayOut)
            hooks.whenPlayedOut = [this](std::function<void()> then) { playedOut = std::move(then); };
        controls = std::make_unique<RecorderControls>(window.get(), *rec.wav, rec.dir.path(), hooks);
    }

    QAbstractButton* element(const char* array, int i) const
    {
        return qobject_cast<QAbstractButton*>(controlElement(window.get(), QLatin1String(array), i));
    }
    template <class T = QWidget>
    T* find(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    void click(int i) { element("cmdWavCtls", i)->click(); }
    bool shown(int i) const { return !element("cmdWavCtls", i)->isHidden(); }

    // Blocks into the recorder, with the write timer's handler run whenever it was started.
    void record(const std::vector<int16_t>& samples)
    {
        for (size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
            rec.wav->AddSamples(samples.data() + at, kBlock);
            if (controls->recorderWriteTimer()->isActive())
                controls->tmrRecorderWrite_Timer();
        }
    }
    // Records a ramp of `samples`, stops, and closes the save dialog: the recording stays
    // in its temporary file, unsaved, and the recorder is idle. Returns that file.
    QString leaveUnsavedRecording(size_t samples)
    {
        click(0);
        record(ramp(samples));
        click(3);
        rec.dialogs.queueCancel();
        click(8); // closed, never saved
        click(0); // the first press only ends the pause the save left
        return rec.wav->TempFileName;
    }
    std::vector<int16_t> playBlock()
    {
        std::vector<int16_t> out(kBlock);
        rec.wav->GetNextSamples(out.data(), kBlock);
        if (controls->playbackReadTimer()->isActive())
            controls->tmrPlaybackRead_Timer();
        return out;
    }

    WavRig rec;
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    std::unique_ptr<RecorderControls> controls;
    std::vector<int> power;
    bool powerOn = true;
    QStringList fileErrors;
    std::function<void()> playedOut;
    bool ending = false;
};

QByteArray trackFile(const std::vector<int16_t>& audio, const QList<std::pair<int64_t, int64_t>>& tracks)
{
    const auto bytes = static_cast<uint32_t>(audio.size() * 2);
    QByteArray file = wav::BuildWavHeader({48000, 1, 16, bytes, 44 + bytes});
    file += QByteArray(reinterpret_cast<const char*>(audio.data()), static_cast<int>(bytes));
    file += "ORVIK";
    int f = 1;
    for (const auto& [s, e] : tracks) {
        const QByteArray r = QStringLiteral("F=%1\x04T=2006-01-06 14:05:09\x04S=%2\x04" "E=%3\x04")
                                 .arg(f++ * 70500000)
                                 .arg(s)
                                 .arg(e)
                                 .toLatin1() +
                             '\0';
        for (char c : r) {
            file += c;
            file += '\0';
        }
    }
    return file;
}

} // namespace

TEST(RecorderControls, RateAndBitsOptionsSetTheRecorderAndStayWhileRecording)
{
    ControlsRig rig;
    const int perHour[] = {330, 165, 82, 41, 21};
    for (int i = 0; i < 5; ++i) {
        rig.element("optRecordSampleRate", i)->click();
        EXPECT_EQ(rig.rec.wav->Decimator(), 1 << i);
        EXPECT_EQ(rig.rec.wav->WavSamplingRate(), 48000 >> i);
        EXPECT_EQ(rig.find<QLabel>("lblRecordMBytesPerHr")->text(), QString::number(perHour[i]));
    }
    rig.element("optRecordSampleRate", 2)->click();
    rig.element("optRecordSamplePerBit", 1)->click();
    EXPECT_EQ(rig.rec.wav->BitsPerSample(), 8);

    rig.click(0);
    ASSERT_TRUE(rig.rec.wav->IsRecording());
    for (int i = 4; i <= 9; ++i)
        EXPECT_FALSE(rig.shown(i)) << i;
    EXPECT_FALSE(rig.find("txtRecordFileName")->isEnabled());
    EXPECT_FALSE(rig.find("cmdBrowseWavFile")->isEnabled());
    EXPECT_EQ(textColour(rig.element("optRecordSampleRate", 0)), 0xC0C000u);
    EXPECT_EQ(textColour(rig.find("frRecordBitsPerSample")), 0xC0C000u);

    rig.element("optRecordSampleRate", 0)->click();
    EXPECT_TRUE(rig.element("optRecordSampleRate", 2)->isChecked()) << "the choice snaps back";
    EXPECT_EQ(rig.rec.wav->Decimator(), 4);
    rig.element("optRecordSamplePerBit", 0)->click();
    EXPECT_TRUE(rig.element("optRecordSamplePerBit", 1)->isChecked());
    EXPECT_EQ(rig.rec.wav->BitsPerSample(), 8);

    rig.click(9);
    EXPECT_TRUE(rig.find("txtRecordFileName")->isEnabled());
    EXPECT_EQ(textColour(rig.element("optRecordSampleRate", 0)), 0xFFFF00u);
}

TEST(RecorderControls, ResumingAPauseRestoresThePowerItHad)
{
    for (bool onBefore : {true, false}) {
        ControlsRig rig;
        rig.powerOn = onBefore;
        rig.click(0);
        rig.click(2);
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPaused);
        rig.click(2);
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kRecording);
        EXPECT_EQ(rig.power, (std::vector<int>{1, onBefore ? 0 : 1})) << onBefore;
    }
}

TEST(RecorderControls, ARecordingIsWrittenByTheTimerSavedAndLoadedWithItsTracks)
{
    ControlsRig rig;
    rig.click(0);
    const auto samples = ramp(70 * kBlock);
    rig.record(samples);
    EXPECT_EQ(rig.rec.wav->NumSamples(), 131072) << "the write timer wrote the full half";
    EXPECT_EQ(rig.find<QLabel>("lblRecordSize")->text(), QStringLiteral("280")) << "kilobytes";
    EXPECT_EQ(rig.find<QLabel>("lblRecordTime")->text(), QStringLiteral("00:00:02"));

    const QString name = rig.rec.path(QStringLiteral("saved.wav"));
    rig.rec.dialogs.queueFile(name);
    rig.click(8);
    ASSERT_TRUE(QFile::exists(name));

    rig.rec.dialogs.queueFile(name);
    rig.click(7);
    EXPECT_EQ(rig.find<QLineEdit>("txtRecordFileName")->text(), QStringLiteral("saved.wav"));
    EXPECT_FALSE(rig.find("picRecorderTrackList")->isHidden());
    EXPECT_EQ(rig.find<QLineEdit>("txtRecordingLogHeaders")->text(), QStringLiteral(" F(KHz)   Date      Time   Duration"));
    auto* list = rig.find<QListWidget>("lstRecordingLogs");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("  7050 2006-01-06 14:05:09 00:00:03"));
    EXPECT_EQ(rig.find("picRecorderTrackList")->geometry(), rig.find("frPresets")->geometry());
    // Readable: the header whole above the list, and the lines not in the colour they stand on.
    EXPECT_GT(list->geometry().top(), rig.find("txtRecordingLogHeaders")->geometry().bottom());
    EXPECT_NE(list->palette().color(QPalette::Base), list->palette().color(QPalette::Text));
}

TEST(RecorderControls, TheOptionFramesCaptionsStandClearOfTheirOptions)
{
    ControlsRig rig;
    for (const auto& [frame, array, count] :
         {std::tuple{"frRecordSampling", "optRecordSampleRate", 5}, std::tuple{"frRecordBitsPerSample", "optRecordSamplePerBit", 2}}) {
        auto* box = rig.find<QGroupBox>(frame);
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect caption = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        for (int i = 0; i < count; ++i)
            EXPECT_GT(rig.element(array, i)->geometry().top(), caption.bottom()) << frame << " " << i;
    }
}

TEST(RecorderControls, LoadingAFileShowsItsSampleRate)
{
    ControlsRig rig;
    rig.element("optRecordSampleRate", 2)->click();
    rig.click(0);
    rig.record(ramp(70 * kBlock));
    const QString name = rig.rec.path(QStringLiteral("quarter.wav"));
    rig.rec.dialogs.queueFile(name);
    rig.click(8);
    ASSERT_TRUE(QFile::exists(name));

    rig.element("optRecordSampleRate", 0)->click();
    ASSERT_EQ(rig.rec.wav->Decimator(), 1);
    rig.rec.dialogs.queueFile(name);
    rig.click(7);
    EXPECT_EQ(rig.rec.wav->WavSamplingRate(), 12000);
    EXPECT_TRUE(rig.element("optRecordSampleRate", 2)->isChecked());
}

TEST(RecorderControls, TrackLinesKeepTheirRecordsPastShortTracks)
{
    ControlsRig rig;
    const auto audio = ramp(6 * 48000);
    // Track 1 lasts 0.2 s and gets no line.
    writeFile(rig.rec.path(QStringLiteral("t.wav")),
              trackFile(audio, {{44, 44 + 192000}, {44 + 192000, 44 + 211200}, {44 + 211200, 44 + 576000 + 1}}));
    rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("t.wav")));
    rig.click(7);
    auto* list = rig.find<QListWidget>("lstRecordingLogs");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral(" 21150 2006-01-06 14:05:09 00:00:04"));

    rig.click(1);
    EXPECT_EQ(rig.power, std::vector<int>{0});
    EXPECT_TRUE(rig.shown(4));
    EXPECT_FALSE(rig.shown(7));
    rig.click(4);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(rig.playBlock()[0], audio[105600]) << "the second line plays the third record";
    rig.click(4);
    EXPECT_EQ(list->currentRow(), 1) << "Next stays on the last line";
    rig.click(5);
    rig.click(5);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(rig.playBlock()[0], audio[0]);

    // Playing into the third record selects its line.
    for (int i = 0; i < 80; ++i)
        rig.playBlock();
    EXPECT_EQ(list->currentRow(), 1);
}

TEST(RecorderControls, TracksWithImpossibleOffsetsGetNoLine)
{
    ControlsRig rig;
    const auto audio = ramp(3 * 48000);
    writeFile(rig.rec.path(QStringLiteral("c.wav")),
              trackFile(audio, {{44, 44 + 96000},
                                {-9000000000000000000LL, 9000000000000000000LL},
                                {9000000000000000000LL, -9000000000000000000LL},
                                {44 + 96000, 44 + 288000 + 1}}));
    rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("c.wav")));
    rig.click(7);
    auto* list = rig.find<QListWidget>("lstRecordingLogs");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->data(Qt::UserRole).toInt(), 0);
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toInt(), 3);
    EXPECT_TRUE(list->item(1)->text().endsWith(QStringLiteral("00:00:02")));
}

TEST(RecorderControls, NextAndPreviousDoNothingWithoutTracksAndTheEndActsAsStop)
{
    ControlsRig rig;
    const auto audio = ramp(3 * kBlock);
    writeFile(rig.rec.path(QStringLiteral("n.wav")), trackFile(audio, {}));
    rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("n.wav")));
    rig.click(7);
    EXPECT_EQ(rig.find<QLineEdit>("txtRecordingLogHeaders")->text(), QStringLiteral("No Track Information Found"));
    rig.click(1);
    EXPECT_EQ(rig.playBlock()[0], audio[0]);
    rig.click(4);
    rig.click(5);
    EXPECT_EQ(rig.playBlock()[0], audio[kBlock]) << "no seek";

    for (int i = 0; i < 20 && rig.rec.wav->PlayerMode() == clsWavFile::kPlaying; ++i)
        rig.playBlock();
    EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kStopped);
    EXPECT_EQ(rig.power, (std::vector<int>{0, 1})) << "the end switches off as Stop does";
    for (int i = 4; i <= 9; ++i)
        EXPECT_TRUE(rig.shown(i)) << i;
}

TEST(RecorderControls, TheEndStopsOnceTheSoundCardHasPlayedItUnlessPlayedAgain)
{
    ControlsRig rig(true);
    writeFile(rig.rec.path(QStringLiteral("n.wav")), trackFile(ramp(3 * kBlock), {}));
    rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("n.wav")));
    rig.click(7);
    const auto playToTheEnd = [&] {
        rig.click(1);
        for (int i = 0; i < 20 && rig.rec.wav->PlayerMode() == clsWavFile::kPlaying; ++i)
            rig.playBlock();
        ASSERT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kStopped);
        ASSERT_TRUE(rig.playedOut);
    };
    ASSERT_NO_FATAL_FAILURE(playToTheEnd());
    EXPECT_EQ(rig.power, (std::vector<int>{0})) << "still on while the end is played out";
    EXPECT_FALSE(rig.shown(9));
    std::exchange(rig.playedOut, {})();
    EXPECT_EQ(rig.power, (std::vector<int>{0, 1}));
    for (int i = 4; i <= 9; ++i)
        EXPECT_TRUE(rig.shown(i)) << i;

    // Play again before the end was heard: the waiting Stop must not end the new playing.
    ASSERT_NO_FATAL_FAILURE(playToTheEnd());
    rig.click(1);
    std::exchange(rig.playedOut, {})();
    EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPlaying);
    EXPECT_EQ(rig.power, (std::vector<int>{0, 1, 0, 0}));
}

TEST(RecorderControls, PausingAFileSwitchesOffOnceTheSoundCardHasPlayedWhatItHolds)
{
    // What comes after the pause while the wait runs: 1 Play, 2 Pause again, 3 Stop, 0 nothing.
    for (int then : {0, 1, 2, 3}) {
        SCOPED_TRACE(then);
        ControlsRig rig(true);
        const auto audio = ramp(40 * kBlock);
        writeFile(rig.rec.path(QStringLiteral("p.wav")), trackFile(audio, {}));
        rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("p.wav")));
        rig.click(7);
        rig.click(1);
        rig.playBlock();
        rig.click(2);
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPaused);
        EXPECT_EQ(rig.power, (std::vector<int>{0})) << "on while the sound card plays what it holds";
        ASSERT_TRUE(rig.playedOut);
        if (then != 0)
            rig.click(then);
        std::exchange(rig.playedOut, {})();
        const std::vector<std::vector<int>> power{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        EXPECT_EQ(rig.power, power[static_cast<size_t>(then)]) << "switched off only while still paused";
        if (then == 1 || then == 2) {
            EXPECT_EQ(rig.playBlock()[0], audio[kBlock]) << "playing goes on after the block heard last";
        }
    }

    // A recording's pause, and a pause with the receiver off, switch off at once.
    for (bool recording : {true, false}) {
        ControlsRig rig(true);
        if (recording) {
            rig.click(0);
        } else {
            writeFile(rig.rec.path(QStringLiteral("p.wav")), trackFile(ramp(4 * kBlock), {}));
            rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("p.wav")));
            rig.click(7);
            rig.click(1);
            rig.powerOn = false;
        }
        rig.click(2);
        EXPECT_EQ(rig.power.back(), 1) << recording;
        EXPECT_FALSE(rig.playedOut) << recording;
    }
}

TEST(RecorderControls, PlayDuringARecordingAsksToSaveFirst)
{
    ControlsRig rig;
    rig.click(0);
    rig.record(ramp(10 * kBlock));
    rig.rec.messages.queueAnswer(MessageAnswer::No);
    rig.click(1);
    ASSERT_EQ(rig.rec.messages.shown().size(), 1u);
    EXPECT_EQ(rig.rec.messages.shown()[0].text,
              QStringLiteral("Recording must be saved before playback\rDo you want to save the Recording ?"));
    EXPECT_TRUE(rig.rec.wav->IsRecording()) << "No leaves the recording running";

    // Yes, then the save dialog cancelled: no message, nothing played, and Save still works.
    rig.rec.messages.queueAnswer(MessageAnswer::Yes);
    rig.rec.dialogs.queueCancel();
    rig.click(1);
    EXPECT_EQ(rig.rec.messages.shown().size(), 2u) << rig.rec.messages.shown().back().text.toStdString();
    EXPECT_NE(rig.rec.wav->PlayerMode(), clsWavFile::kPlaying);
    EXPECT_TRUE(rig.power.empty());
    const QString kept = rig.rec.path(QStringLiteral("kept.wav"));
    rig.rec.dialogs.queueFile(kept);
    rig.click(8);
    ASSERT_TRUE(QFile::exists(kept));
    EXPECT_EQ(fileBytes(kept).size(), 44 + 10 * kBlock * 2 + 5 + 124);
    rig.click(0);
    rig.record(ramp(10 * kBlock));

    const QString name = rig.rec.path(QStringLiteral("p.wav"));
    rig.rec.messages.queueAnswer(MessageAnswer::Yes);
    rig.rec.dialogs.queueFile(name);
    rig.click(1);
    EXPECT_TRUE(QFile::exists(name));
    EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPlaying);
    EXPECT_EQ(rig.rec.wav->FileName, name);
}

TEST(RecorderControls, FileErrorsAreShown)
{
    ControlsRig rig;
    QFile::remove(rig.rec.wav->TempFileName);
    QDir().mkpath(rig.rec.wav->TempFileName); // a folder where the file should go
    rig.click(0);
    ASSERT_EQ(rig.fileErrors.size(), 1);
    EXPECT_TRUE(rig.fileErrors[0].startsWith(QStringLiteral("Unable to Create Temporary File ") + rig.rec.wav->TempFileName));
    EXPECT_FALSE(rig.rec.wav->IsRecording());
    QDir().rmdir(rig.rec.wav->TempFileName);

    rig.rec.wav->maximumFileBytes = 100000;
    rig.click(0);
    rig.record(ramp(70 * kBlock));
    ASSERT_EQ(rig.fileErrors.size(), 2);
    EXPECT_TRUE(rig.fileErrors[1].contains(QStringLiteral("largest size")));
    EXPECT_TRUE(rig.shown(8)) << "Save is offered again";
}

TEST(RecorderControls, StartUpSelectsTheStoredOptionsAndTimeIsShownAsHoursMinutesSeconds)
{
    ControlsRig rig;
    rig.rec.wav->setDecimator(8);
    rig.rec.wav->setBitsPerSample(8);
    rig.controls->selectStoredOptions();
    EXPECT_TRUE(rig.element("optRecordSampleRate", 3)->isChecked());
    EXPECT_TRUE(rig.element("optRecordSamplePerBit", 1)->isChecked());
    EXPECT_EQ(rig.find<QLabel>("lblRecordMBytesPerHr")->text(), QStringLiteral("41"));
    EXPECT_EQ(RecorderControls::SecondsToHMS(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(RecorderControls::SecondsToHMS(90.7f), QStringLiteral("00:01:30"));
    EXPECT_EQ(RecorderControls::SecondsToHMS(3 * 3600 + 59 * 60 + 59), QStringLiteral("03:59:59"));
}

TEST(RecorderControls, BrowseNamesTheRecordingFile)
{
    ControlsRig rig;
    const QString name = rig.rec.path(QStringLiteral("later.wav"));
    rig.rec.dialogs.queueFile(name);
    rig.find<QAbstractButton>("cmdBrowseWavFile")->click();
    ASSERT_EQ(rig.rec.dialogs.fileRequests().size(), 1u);
    const FileDialogOptions& r = rig.rec.dialogs.fileRequests()[0];
    EXPECT_EQ(r.title, QStringLiteral("Select Recording Filename"));
    EXPECT_EQ(r.directory, rig.rec.dir.path());
    EXPECT_FALSE(r.fileMustExist) << "a new name is allowed";
    EXPECT_EQ(rig.rec.wav->RecordFileName, name);
    EXPECT_EQ(rig.find<QLineEdit>("txtRecordFileName")->text(), QStringLiteral("later.wav"));

    rig.find<QLineEdit>("txtRecordFileName")->setText(QStringLiteral("other.wav"));
    rig.controls->txtRecordFileName_LostFocus();
    EXPECT_EQ(rig.rec.wav->RecordFileName, rig.rec.path(QStringLiteral("other.wav")));
}

TEST(RecorderControls, PlayAfterTheEndStartsAgainAtTheFirstSample)
{
    ControlsRig rig;
    std::vector<int16_t> audio = ramp(6 * 48000);
    audio.resize(9 * 48000, 0); // a silent tail
    writeFile(rig.rec.path(QStringLiteral("e.wav")), trackFile(audio, {}));
    rig.rec.dialogs.queueFile(rig.rec.path(QStringLiteral("e.wav")));
    rig.click(7);
    for (int round = 0; round < 2; ++round) {
        rig.click(1);
        ASSERT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kPlaying) << round;
        std::vector<int16_t> played;
        for (int i = 0; i < 400 && rig.rec.wav->PlayerMode() == clsWavFile::kPlaying; ++i) {
            const auto block = rig.playBlock();
            played.insert(played.end(), block.begin(), block.end());
        }
        EXPECT_EQ(rig.rec.wav->PlayerMode(), clsWavFile::kStopped) << round;
        ASSERT_GE(played.size(), audio.size()) << round;
        played.resize(audio.size());
        EXPECT_TRUE(played == audio) << "round " << round;
    }
}

TEST(RecorderControls, RecordAndLoadAskBeforeAnUnsavedRecordingIsLost)
{
    ControlsRig rig;
    const QString temp = rig.leaveUnsavedRecording(70 * kBlock);

    // Yes, then the save dialog cancelled: the recording stays and no new one starts.
    rig.rec.messages.queueAnswer(MessageAnswer::Yes);
    rig.rec.dialogs.queueCancel();
    rig.click(0);
    ASSERT_EQ(rig.rec.messages.shown().size(), 1u);
    EXPECT_EQ(rig.rec.messages.shown()[0].text,
              QStringLiteral("Recording must be saved before a new recording\rDo you want to save the Recording ?"));
    EXPECT_FALSE(rig.rec.wav->IsRecording());
    EXPECT_EQ(wav::ParseWavHeader(fileBytes(temp), QFileInfo(temp).size()).dataBytes, 70 * kBlock * 2);

    // Load asks too; Yes and a name save it before the file to play is chosen.
    const QString saved = rig.rec.path(QStringLiteral("kept.wav"));
    rig.rec.messages.queueAnswer(MessageAnswer::Yes);
    rig.rec.dialogs.queueFile(saved);
    rig.rec.dialogs.queueFile(saved);
    rig.click(7);
    ASSERT_EQ(rig.rec.messages.shown().size(), 2u);
    EXPECT_TRUE(rig.rec.messages.shown()[1].text.startsWith(QStringLiteral("Recording must be saved before loading a file")));
    EXPECT_EQ(wav::ParseWavHeader(fileBytes(saved), QFileInfo(saved).size()).dataBytes, 70 * kBlock * 2);
    EXPECT_EQ(rig.rec.wav->FileName, saved);
    EXPECT_FALSE(QFile::exists(temp));
}

// A termination signal closes the question unanswered, and a closed question reads as No:
// the recording must not be given up for that, nor a new one started or a file loaded.
TEST(RecorderControls, AnUnsavedRecordingOutlivesTheQuestionTheEndingProgramClosed)
{
    ControlsRig rig;
    const QString temp = rig.leaveUnsavedRecording(70 * kBlock);
    const QByteArray recorded = fileBytes(temp);
    ASSERT_EQ(wav::ParseWavHeader(recorded, recorded.size()).dataBytes, 70 * kBlock * 2);

    rig.ending = true;
    for (int button : {0, 7}) {
        rig.rec.messages.queueAnswer(MessageAnswer::No);
        rig.click(button);
        EXPECT_FALSE(rig.rec.wav->IsRecording()) << button;
        EXPECT_TRUE(fileBytes(temp) == recorded) << button << ": the recording was given up";
    }
    EXPECT_EQ(rig.rec.messages.shown().size(), 2u);
}

TEST(RecorderControls, ARecordingLeftByAnEarlierRunIsOfferedBeforeRecordStartsOver)
{
    ControlsRig rig;
    const QByteArray left = wav::BuildWavHeader({48000, 1, 16, 8, 52}) + QByteArray(8, '\1');
    writeFile(rig.rec.wav->TempFileName, left);
    const QString saved = rig.rec.path(QStringLiteral("found.wav"));
    rig.rec.messages.queueAnswer(MessageAnswer::Yes);
    rig.rec.dialogs.queueFile(saved);
    rig.click(0);
    ASSERT_EQ(rig.rec.messages.shown().size(), 1u);
    EXPECT_EQ(fileBytes(saved), left);
    EXPECT_TRUE(rig.rec.wav->IsRecording()) << "then the new recording starts";

    // No gives the unsaved recording up.
    rig.click(3);
    rig.rec.wav->SaveFileName.clear(); // else Save reuses the last name
    rig.rec.dialogs.queueCancel();
    rig.click(8);
    rig.click(0);
    rig.rec.messages.queueAnswer(MessageAnswer::No);
    rig.click(0);
    ASSERT_EQ(rig.rec.messages.shown().size(), 2u);
    EXPECT_TRUE(rig.rec.messages.shown()[1].text.startsWith(QStringLiteral("Recording must be saved")))
        << rig.rec.messages.shown()[1].text.toStdString();
    EXPECT_TRUE(rig.rec.wav->IsRecording());
}
