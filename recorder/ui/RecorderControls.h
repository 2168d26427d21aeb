#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QListWidget;
class QTimer;
class QWidget;

namespace orvik {

class clsWavFile;

// The recorder panel's buttons, options, file name and read-outs, the track list, and the two
// one-shot disk timers that keep file work out of the sound handler. Construct after
// buildRecorderControls; it connects the controls and the recorder's events itself.
class RecorderControls : public QObject {
public:
    struct Hooks {
        std::function<void(int Index)> selectPower; // optPwr: 0 on, 1 off (its handler runs)
        std::function<bool()> powerIsOn;
        // The file-error window; frmRecordFileError when empty.
        std::function<void(const QString& message)> showFileError;
        // Runs `then` once what the sound card still holds has been heard. Without it the
        // Stop at the end of a file runs at once.
        std::function<void(std::function<void()> then)> whenPlayedOut;
        // True once the program is ending: a question it closed unanswered gives nothing up.
        std::function<bool()> programEnding;
    };

    RecorderControls(QWidget* window, clsWavFile& wavFile, QString programFolder, Hooks hooks);

    // Start-up, after WavFile.Init: the bits and rate options of the stored settings.
    void selectStoredOptions();

    void cmdWavCtls_Click(int Index);
    void lstRecordingLogs_DblClick();
    void optRecordSampleRate_Click(int Index);
    void optRecordSamplePerBit_Click(int Index);
    void txtRecordFileName_LostFocus();
    void cmdBrowseWavFile_Click();
    void tmrRecorderWrite_Timer();
    void tmrPlaybackRead_Timer();

    void WavFile_CatalogueLoaded(int32_t NumberOfTracks);
    void WavFile_DiskRead(int64_t RecordingOffsetInBytes);
    void WavFile_PlayEnd();
    void WavFile_ReadNextBlockFromDisk();
    void WavFile_SamplesPlayed(int32_t CurrentTrack, int64_t NumSamples);
    void WavFile_WriteNextBlockToDisk();

    static QString SecondsToHMS(float seconds);
    // Checks an option element and runs its click handler, as selecting it in code does.
    void selectSampleRate(int Index);
    void selectSamplePerBit(int Index);

    QTimer* recorderWriteTimer() const { return tmrRecorderWrite_; }
    QTimer* playbackReadTimer() const { return tmrPlaybackRead_; }

private:
    QWidget* button(int index) const;
    void showButtons(int from, int to, bool visible);
    void lockRecordingChoices(bool locked);
    void showFileError(const QString& message);
    void layOutTrackList();
    void playTrackOfRow(int row);
    // Asks to save a recording never saved before `before` ("a new recording") would lose it.
    // True when the action may go on.
    bool unsavedRecordingDealtWith(const QString& before);

    QWidget* window_;
    clsWavFile& wavFile_;
    QString programFolder_;
    Hooks hooks_;
    QListWidget* list_ = nullptr;
    // The read-outs change on nearly every block: looked up once.
    QLabel* lblRecordSize_ = nullptr;
    int64_t shownKilobytes_ = -1; // what the two read-outs show now
    int64_t shownSeconds_ = -1;
    QLabel* lblRecordTime_ = nullptr;
    QTimer* tmrRecorderWrite_ = nullptr;
    QTimer* tmrPlaybackRead_ = nullptr;
    bool inClick_ = false;
    bool inRate_ = false;
    bool inBits_ = false;
    bool inWriteTimer_ = false;
    bool inReadTimer_ = false;
    bool selecting_ = false;
    int rateIndex_ = 0;
    int bitsIndex_ = 0;
    bool powerBeforePause_ = false;
};

} // namespace orvik
