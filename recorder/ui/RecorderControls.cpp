#include "recorder/ui/RecorderControls.h"

#include "common/Format.h"
#include "common/Product.h"
#include "common/ReentryGuard.h"
#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "recorder/clsWavFile.h"
#include "recorder/ui/frmRecordFileError.h"
#include "shell/widgets/ControlFactory.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

constexpr int kButtons = 10;
constexpr int kRates = 5;
constexpr uint32_t kLockedColour = 0xC0C000;
constexpr uint32_t kUnlockedColour = 0xFFFF00;
const QString CrLf = QStringLiteral("\r\n");

// Sample-rate option i keeps every (1 << i)th sample of the 48 kHz capture; -1 for a
// decimator no option gives.
int rateOption(int32_t decimator)
{
    for (int i = 0; i < kRates; ++i)
        if (decimator == 1 << i)
            return i;
    return -1;
}

} // namespace

RecorderControls::RecorderControls(QWidget* window, clsWavFile& wavFile, QString programFolder, Hooks hooks)
    : QObject(window), window_(window), wavFile_(wavFile), programFolder_(std::move(programFolder)),
      hooks_(std::move(hooks))
{
    for (int i = 0; i < kButtons; ++i)
        if (auto* b = qobject_cast<QAbstractButton*>(button(i)))
            connect(b, &QAbstractButton::clicked, this, [this, i] { cmdWavCtls_Click(i); });
    for (int i = 0; i < kRates; ++i)
        if (auto* o = qobject_cast<QAbstractButton*>(controlElement(window, QStringLiteral("optRecordSampleRate"), i)))
            connect(o, &QAbstractButton::clicked, this, [this, i] { optRecordSampleRate_Click(i); });
    for (int i = 0; i < 2; ++i)
        if (auto* o = qobject_cast<QAbstractButton*>(controlElement(window, QStringLiteral("optRecordSamplePerBit"), i)))
            connect(o, &QAbstractButton::clicked, this, [this, i] { optRecordSamplePerBit_Click(i); });
    if (auto* name = window->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
        connect(name, &QLineEdit::editingFinished, this, [this] { txtRecordFileName_LostFocus(); });
    if (auto* browse = window->findChild<QAbstractButton*>(QStringLiteral("cmdBrowseWavFile")))
        connect(browse, &QAbstractButton::clicked, this, [this] { cmdBrowseWavFile_Click(); });
    list_ = window->findChild<QListWidget*>(QStringLiteral("lstRecordingLogs"));
    lblRecordSize_ = window->findChild<QLabel*>(QStringLiteral("lblRecordSize"));
    lblRecordTime_ = window->findChild<QLabel*>(QStringLiteral("lblRecordTime"));
    if (list_)
        connect(list_, &QListWidget::itemDoubleClicked, this, [this] { lstRecordingLogs_DblClick(); });

    tmrRecorderWrite_ = addTimer(window, QStringLiteral("tmrRecorderWrite"));
    tmrPlaybackRead_ = addTimer(window, QStringLiteral("tmrPlaybackRead"));
    for (QTimer* t : {tmrRecorderWrite_, tmrPlaybackRead_})
        t->setSingleShot(true);
    connect(tmrRecorderWrite_, &QTimer::timeout, this, [this] { tmrRecorderWrite_Timer(); });
    connect(tmrPlaybackRead_, &QTimer::timeout, this, [this] { tmrPlaybackRead_Timer(); });

    clsWavFile::Events& e = wavFile_.events;
    e.WriteNextBlockToDisk = [this] { WavFile_WriteNextBlockToDisk(); };
    e.SamplesPlayed = [this](int32_t track, int64_t n) { WavFile_SamplesPlayed(track, n); };
    e.CatalogueLoaded = [this](int32_t n) { WavFile_CatalogueLoaded(n); };
    e.ReadNextBlockFromDisk = [this] { WavFile_ReadNextBlockFromDisk(); };
    e.DiskRead = [this](int64_t offset) { WavFile_DiskRead(offset); };
    e.PlayEnd = [this] { WavFile_PlayEnd(); };
    wavFile_.selectRecordSampleRate = [this](int32_t Index) { selectSampleRate(Index); };
}

QWidget* RecorderControls::button(int index) const
{
    return controlElement(window_, QStringLiteral("cmdWavCtls"), index);
}

void RecorderControls::showButtons(int from, int to, bool visible)
{
    for (int i = from; i <= to; ++i)
        if (QWidget* b = button(i))
            b->setVisible(visible);
}

void RecorderControls::lockRecordingChoices(bool locked)
{
    if (auto* name = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName"))) {
        name->setEnabled(!locked);
        name->setReadOnly(locked);
    }
    if (QWidget* browse = window_->findChild<QWidget*>(QStringLiteral("cmdBrowseWavFile")))
        browse->setEnabled(!locked);
    const uint32_t colour = locked ? kLockedColour : kUnlockedColour;
    for (int i = 0; i < kRates; ++i)
        if (QWidget* o = controlElement(window_, QStringLiteral("optRecordSampleRate"), i))
            setTextColour(o, colour);
    for (int i = 0; i < 2; ++i)
        if (QWidget* o = controlElement(window_, QStringLiteral("optRecordSamplePerBit"), i))
            setTextColour(o, colour);
    for (const char* frame : {"frRecordSampling", "frRecordBitsPerSample"})
        if (QWidget* f = window_->findChild<QWidget*>(QLatin1String(frame)))
            setTextColour(f, colour);
}

void RecorderControls::showFileError(const QString& message)
{
    if (hooks_.showFileError)
        hooks_.showFileError(message);
    else
        frmRecordFileError::showModal(window_, message);
}

void RecorderControls::selectStoredOptions()
{
    selectSamplePerBit(wavFile_.BitsPerSample() == 8 ? 1 : 0);
    selectSampleRate(std::max(rateOption(wavFile_.Decimator()), 0));
}

void RecorderControls::selectSampleRate(int Index)
{
    if (auto* o = qobject_cast<QAbstractButton*>(controlElement(window_, QStringLiteral("optRecordSampleRate"), Index)))
        o->setChecked(true);
    optRecordSampleRate_Click(Index);
}

void RecorderControls::selectSamplePerBit(int Index)
{
    if (auto* o = qobject_cast<QAbstractButton*>(controlElement(window_, QStringLiteral("optRecordSamplePerBit"), Index)))
        o->setChecked(true);
    optRecordSamplePerBit_Click(Index);
}

void RecorderControls::cmdWavCtls_Click(int Index)
{
    ReentryGuard guard(inClick_);
    if (guard.reentered())
        return;

    switch (Index) {
    case 0: // Record
        if (wavFile_.IsPaused() || wavFile_.IsRecording()) {
            wavFile_.setIsPaused(false);
        } else if (!unsavedRecordingDealtWith(QStringLiteral("a new recording"))) {
            return;
        } else if (wavFile_.OpenRecording() != 0) {
            showFileError(QStringLiteral("Unable to Create Temporary File ") + wavFile_.TempFileName + CrLf +
                          QStringLiteral(" Another application may be using the file") + CrLf +
                          QStringLiteral("Close the file in the other application"));
            if (auto* pause = qobject_cast<QAbstractButton*>(button(2))) {
                pause->setDown(true);
                pause->setFocus();
            }
            for (int i : {1, 0})
                if (auto* b = qobject_cast<QAbstractButton*>(button(i)))
                    b->setDown(false);
            return;
        } else {
            showButtons(4, 9, false);
        }
        lockRecordingChoices(true);
        break;
    case 1: // Play
        if (wavFile_.IsRecording()) {
            if (messages().show(QStringLiteral("Recording must be saved before playback\rDo you want to save the Recording ?"),
                                QString::fromLatin1(ProductName), MessageButtons::YesNo,
                                MessageIcon::None) != MessageAnswer::Yes)
                return;
            wavFile_.SaveFileName.clear();
            wavFile_.Save();
            // A cancelled save dialog leaves the closed recording to be saved later; there is
            // no file to play.
            if (wavFile_.SaveFileName.isEmpty())
                return;
            wavFile_.FileName = wavFile_.SaveFileName;
            wavFile_.OpenFile();
        }
        if (wavFile_.Play() > 0) {
            showButtons(4, 5, true);
            showButtons(6, 9, false);
            if (hooks_.selectPower)
                hooks_.selectPower(0);
        }
        break;
    case 2: { // Pause
        const int32_t mode = wavFile_.PlayerMode();
        const bool resuming = mode == clsWavFile::kPaused;
        if (!resuming)
            powerBeforePause_ = hooks_.powerIsOn && hooks_.powerIsOn();
        wavFile_.Pause();
        if (mode == clsWavFile::kPlaying && powerBeforePause_ && hooks_.whenPlayedOut) {
            // The file's blocks the sound card holds are heard before the receiver goes off:
            // switched off at once they would be lost, and playing goes on after them.
            hooks_.whenPlayedOut([this] {
                if (wavFile_.PlayerMode() == clsWavFile::kPaused && hooks_.selectPower)
                    hooks_.selectPower(1);
            });
            break;
        }
        if (hooks_.selectPower)
            hooks_.selectPower(resuming && powerBeforePause_ ? 0 : 1);
        break;
    }
    case 3: // Stop
        if (hooks_.selectPower)
            hooks_.selectPower(1);
        showButtons(4, 9, true);
        wavFile_.StopPlayer();
        break;
    case 4:
    case 5: {
        if (!list_ || list_->count() == 0)
            return;
        const int row = std::clamp(list_->currentRow() + (Index == 4 ? 1 : -1), 0, list_->count() - 1);
        list_->setCurrentRow(row);
        playTrackOfRow(row);
        break;
    }
    case 7: { // Load
        if (!unsavedRecordingDealtWith(QStringLiteral("loading a file")))
            return;
        const QString name = wavFile_.LoadMedia();
        if (!name.isEmpty()) {
            if (auto* box = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
                box->setText(wavFile_.FileShortName);
            wavFile_.OpenFile();
            const int32_t rate = wavFile_.WavSamplingRate();
            if (rate > 0 && 48000 % rate == 0)
                if (const int option = rateOption(48000 / rate); option >= 0)
                    selectSampleRate(option);
        }
        layOutTrackList();
        break;
    }
    case 8: { // Save
        const int32_t mode = wavFile_.PlayerMode();
        if (mode == clsWavFile::kStopped || mode == clsWavFile::kRecording || mode == clsWavFile::kPaused)
            wavFile_.Save();
        break;
    }
    case 9: { // Close Recorder
        if (QWidget* panel = window_->findChild<QWidget*>(QStringLiteral("picRecorderTrackList"))) {
            panel->hide();
            panel->lower();
        }
        if (wavFile_.CloseFile() != 0) {
            showFileError(QStringLiteral("Unable to Close ") + wavFile_.RecordFileName + CrLf +
                          QStringLiteral(" Another application may be using the file") + CrLf +
                          QStringLiteral("Close the file in the other application"));
            return;
        }
        if (auto* box = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
            box->clear();
        wavFile_.setIsPaused(false);
        lockRecordingChoices(false);
        break;
    }
    default:
        break;
    }
}

bool RecorderControls::unsavedRecordingDealtWith(const QString& before)
{
    if (!wavFile_.HasUnsavedRecording())
        return true;
    if (messages().show(QStringLiteral("Recording must be saved before ") + before +
                            QStringLiteral("\rDo you want to save the Recording ?"),
                        QString::fromLatin1(ProductName), MessageButtons::YesNo, MessageIcon::None) != MessageAnswer::Yes) {
        // The ending program closes the box, and that is no answer: the recording stays,
        // and what was asked for does not happen.
        if (hooks_.programEnding && hooks_.programEnding())
            return false;
        wavFile_.DiscardRecording();
        return true;
    }
    wavFile_.AdoptTemporaryFile();
    wavFile_.SaveFileName.clear();
    wavFile_.Save();
    // A cancelled or failed save keeps the recording, and what was asked for waits.
    return !wavFile_.HasUnsavedRecording();
}

void RecorderControls::playTrackOfRow(int row)
{
    // Each line keeps the index of its own record: short tracks have no line.
    if (QListWidgetItem* item = list_ ? list_->item(row) : nullptr)
        wavFile_.PlayFrom(item->data(Qt::UserRole).toInt());
}

void RecorderControls::layOutTrackList()
{
    auto* panel = window_->findChild<QWidget*>(QStringLiteral("picRecorderTrackList"));
    QWidget* presets = window_->findChild<QWidget*>(QStringLiteral("frPresets"));
    auto* header = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordingLogHeaders"));
    if (!panel)
        return;
    if (presets) {
        setBackColour(panel, backColour(presets));
        panel->setGeometry(presets->geometry());
        // The lines are written in the boxes' light text colour: on the panel's dark colour.
        if (list_)
            setBackColour(list_, backColour(presets));
    }
    const int inner = panel->contentsRect().width();
    if (header) {
        header->setGeometry(0, 0, inner, header->height());
        header->show();
        header->raise();
        header->setReadOnly(true);
        if (list_) {
            header->setFont(list_->font());
            setBackColour(header, backColour(list_));
        }
        setTextColour(header, 0xFFFF);
    }
    if (list_) {
        list_->setFrameShape(QFrame::NoFrame);
        // Below the whole header: its text fills its box, and 0.7 of its height hid a third of it.
        const int top = header ? header->y() + header->height() : 0;
        list_->setGeometry(0, top, inner, std::max(0, panel->height() - top));
        list_->show();
        list_->raise();
    }
    panel->show();
    panel->raise();
}

void RecorderControls::lstRecordingLogs_DblClick()
{
    if (selecting_ || !list_)
        return;
    wavFile_.setNumSamples(0);
    playTrackOfRow(list_->currentRow());
}

void RecorderControls::optRecordSampleRate_Click(int Index)
{
    ReentryGuard guard(inRate_);
    if (guard.reentered() || Index < 0 || Index >= kRates)
        return;
    if (wavFile_.IsClosed()) {
        wavFile_.setDecimator(1 << Index);
        if (auto* label = window_->findChild<QLabel*>(QStringLiteral("lblRecordMBytesPerHr")))
            label->setText(QString::number(static_cast<int>(wavFile_.WavSamplingRate() * 7200.0 / 1048576.0 + 0.5)));
        rateIndex_ = Index;
    } else if (auto* o = qobject_cast<QAbstractButton*>(
                   controlElement(window_, QStringLiteral("optRecordSampleRate"), rateIndex_))) {
        o->setChecked(true);
    }
}

void RecorderControls::optRecordSamplePerBit_Click(int Index)
{
    ReentryGuard guard(inBits_);
    if (guard.reentered() || Index < 0 || Index > 1)
        return;
    if (wavFile_.IsClosed()) {
        wavFile_.setBitsPerSample(Index == 1 ? 8 : 16);
        bitsIndex_ = Index;
    } else if (auto* o = qobject_cast<QAbstractButton*>(
                   controlElement(window_, QStringLiteral("optRecordSamplePerBit"), bitsIndex_))) {
        o->setChecked(true);
    }
}

void RecorderControls::txtRecordFileName_LostFocus()
{
    auto* box = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName"));
    if (!box)
        return;
    const QString& current = wavFile_.RecordFileName;
    const int slash = static_cast<int>(current.lastIndexOf(QLatin1Char('/')));
    wavFile_.RecordFileName = (!current.isEmpty() && slash >= 0 ? current.left(slash + 1)
                                                                : QDir::currentPath() + QLatin1Char('/')) +
                              box->text();
}

void RecorderControls::cmdBrowseWavFile_Click()
{
    QString folder;
    if (wavFile_.RecordFileName.isEmpty()) {
        wavFile_.RecordFileName = programFolder_ + QStringLiteral("/orviksdr.wav");
        folder = programFolder_;
    } else {
        folder = QFileInfo(wavFile_.RecordFileName).path();
    }
    FileDialogOptions request;
    request.save = true; // a name to record into, which need not exist yet
    request.title = QStringLiteral("Select Recording Filename");
    request.directory = folder;
    request.fileName = QStringLiteral("orviksdr.wav");
    request.nameFilters = {QStringLiteral("Sound Files (*.wav)")};
    request.defaultSuffix = QStringLiteral("wav");
    const FileDialogAnswer answer = dialogs().fileDialog(request);
    if (!answer.accepted || answer.files.isEmpty() || answer.files.front().isEmpty())
        return;
    wavFile_.RecordFileName = answer.files.front();
    if (auto* box = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
        box->setText(QFileInfo(wavFile_.RecordFileName).fileName());
}

void RecorderControls::tmrRecorderWrite_Timer()
{
    ReentryGuard guard(inWriteTimer_);
    if (guard.reentered())
        return;
    tmrRecorderWrite_->stop();
    if (wavFile_.BufferFull() && !wavFile_.IsPaused()) {
        const int32_t result = wavFile_.WriteToDisk();
        if (result > 0 || result == clsWavFile::kFileFull) {
            // The recording has been closed with what was written; Save can still name it.
            showButtons(4, 9, true);
            showFileError(QStringLiteral("The recording was stopped: ") + wavFile_.lastErrorText() + CrLf +
                          QStringLiteral(" Save Recording keeps what was written before"));
        }
    }
}

void RecorderControls::tmrPlaybackRead_Timer()
{
    ReentryGuard guard(inReadTimer_);
    if (guard.reentered())
        return;
    tmrPlaybackRead_->stop();
    wavFile_.ReadFromDisk();
}

void RecorderControls::WavFile_CatalogueLoaded(int32_t NumberOfTracks)
{
    auto* header = window_->findChild<QLineEdit*>(QStringLiteral("txtRecordingLogHeaders"));
    if (list_)
        list_->clear();
    if (header)
        header->setText(QStringLiteral("No Track Information Found"));
    if (NumberOfTracks < 1 || !list_)
        return;
    if (header)
        header->setText(QStringLiteral(" F(KHz)   Date      Time   Duration"));
    const float rate = static_cast<float>(std::max(wavFile_.WavSamplingRate(), 1));
    const float bytes = static_cast<float>(std::max(wavFile_.FileBitsPerSample() / 8, 1));
    // No track lasts longer than the largest file the format can address.
    const float longest = static_cast<float>(INT32_MAX) / rate / bytes;
    const auto& log = wavFile_.TrackLog;
    for (int32_t i = 0; i <= NumberOfTracks && i < static_cast<int32_t>(log.size()); ++i) {
        const LogRecord& r = log[static_cast<size_t>(i)];
        const float span = static_cast<float>(r.EndOffset) - static_cast<float>(r.StartOffset);
        const float duration = std::floor(span / rate / bytes + 0.5f);
        // Offsets read from a file are anything; checked before the conversion to whole seconds.
        if (!(duration >= 1.0f && duration <= longest))
            continue;
        const int seconds = static_cast<int>(duration);
        const QString line = QString::number(r.Frequency / 10000).rightJustified(6, QLatin1Char(' ')) +
                             QLatin1Char(' ') + wav::formatWhen(r.When) + QLatin1Char(' ') +
                             SecondsToHMS(static_cast<float>(seconds));
        auto* item = new QListWidgetItem(line, list_);
        item->setData(Qt::UserRole, i);
    }
    list_->setCurrentRow(0);
}

void RecorderControls::WavFile_DiskRead(int64_t RecordingOffsetInBytes)
{
    if (!list_)
        return;
    const auto& log = wavFile_.TrackLog;
    for (int32_t i = 0; i < wavFile_.NumberOfTracks() && i < static_cast<int32_t>(log.size()); ++i) {
        const LogRecord& r = log[static_cast<size_t>(i)];
        if (r.StartOffset <= RecordingOffsetInBytes && RecordingOffsetInBytes <= r.EndOffset) {
            for (int row = 0; row < list_->count(); ++row)
                if (list_->item(row)->data(Qt::UserRole).toInt() == i) {
                    selecting_ = true;
                    list_->setCurrentRow(row);
                    selecting_ = false;
                }
            return;
        }
    }
}

void RecorderControls::WavFile_PlayEnd()
{
    // The file's last blocks are still on their way to the speaker: the Stop, which switches
    // the receiver off, waits until they have been heard, unless the file was played again.
    if (!hooks_.whenPlayedOut) {
        cmdWavCtls_Click(3);
        return;
    }
    hooks_.whenPlayedOut([this] {
        if (wavFile_.PlayEnd && wavFile_.PlayerMode() == clsWavFile::kStopped)
            cmdWavCtls_Click(3);
    });
}

void RecorderControls::WavFile_ReadNextBlockFromDisk()
{
    tmrPlaybackRead_->start(4);
}

void RecorderControls::WavFile_WriteNextBlockToDisk()
{
    tmrRecorderWrite_->start(2);
}

void RecorderControls::WavFile_SamplesPlayed(int32_t, int64_t NumSamples)
{
    // Nearly every block reports; the texts are made only when what they show changes.
    const int bytes = wavFile_.IsRecording() ? wavFile_.BitsPerSample() / 8 : wavFile_.FileBitsPerSample() / 8;
    const int64_t kilobytes = NumSamples * bytes / 1024;
    if (lblRecordSize_ && kilobytes != shownKilobytes_) {
        shownKilobytes_ = kilobytes;
        lblRecordSize_->setText(QString::fromStdString(Format(static_cast<double>(kilobytes), "#,##0")));
    }
    const int32_t rate = wavFile_.WavSamplingRate();
    const float seconds = rate > 0 ? static_cast<float>(NumSamples) / static_cast<float>(rate) : 0.0f;
    const int64_t wholeSeconds = static_cast<int64_t>(seconds);
    if (lblRecordTime_ && wholeSeconds != shownSeconds_) {
        shownSeconds_ = wholeSeconds;
        lblRecordTime_->setText(SecondsToHMS(seconds));
    }
}

QString RecorderControls::SecondsToHMS(float seconds)
{
    const int h = static_cast<int>(std::floor(seconds / 3600));
    const int m = static_cast<int>(std::floor((seconds - 3600.0f * h) / 60));
    const int s = static_cast<int>(std::floor(seconds - 3600.0f * h - 60.0f * m));
    return QString::fromStdString(Format(h, "00") + ':' + Format(m, "00") + ':' + Format(s, "00"));
}

} // namespace orvik
