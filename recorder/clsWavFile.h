#pragma once

#include "recorder/LogRecord.h"
#include "recorder/WavFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orvik {

class SettingsStore;

// The recorder and player: records the receiver's audio into a WAV file with a track log
// behind the audio, saves it under a chosen name, and plays a file back block by block.
// Disk work runs only from the owner's timers, never inside the sound handler.
class clsWavFile {
public:
    // Status codes; positive results are the system's error number of a failed file operation.
    static constexpr int32_t kWriteInProgress = -32767;
    static constexpr int32_t kAlreadyRecording = -32766;
    static constexpr int32_t kNothingOpen = -32765;
    static constexpr int32_t kNotRecording = -32764;
    static constexpr int32_t kWritingHeld = -32763;
    static constexpr int32_t kNoFullHalf = -32762;
    static constexpr int32_t kNoRecording = -32761;
    static constexpr int32_t kPausedOrStopped = -32760;
    // The recording was closed because the file reached the largest size the format can address.
    static constexpr int32_t kFileFull = -32759;

    static constexpr int32_t kClosed = 0;
    static constexpr int32_t kRecording = 1;
    static constexpr int32_t kPlaying = 2;
    static constexpr int32_t kPaused = 3;
    static constexpr int32_t kStopped = 4;

    struct Events {
        std::function<void()> WriteNextBlockToDisk;
        std::function<void(int32_t CurrentTrack, int64_t NumSamples)> SamplesPlayed;
        std::function<void(int32_t NumberOfTracks)> CatalogueLoaded;
        std::function<void()> ReadNextBlockFromDisk;
        std::function<void(int64_t RecordingOffsetInBytes)> DiskRead;
        std::function<void()> PlayEnd;
    };

    explicit clsWavFile(QString programFolder);
    ~clsWavFile();
    clsWavFile(const clsWavFile&) = delete;
    clsWavFile& operator=(const clsWavFile&) = delete;

    // Reads the settings (section Name) with the current values as defaults; the store is kept
    // for Terminate.
    void Init(SettingsStore& store);
    // Finishes an open recording in the temporary file and writes the settings back. Runs once.
    void Terminate();

    // Recording (disk work from WriteToDisk only).
    int32_t OpenRecording();
    int32_t AddSamples(const int16_t* Samples, int32_t NoSamples);
    int32_t WriteToDisk();
    int32_t UpdateWavHeader();
    int32_t CloseRecording();
    // Stops without closing: the mode becomes stopped and an open recording stops counting as one.
    void StopRecording();
    void Save();
    void NewLogRecord(int32_t TunedFrequency);
    // A recording that was never saved: one open now, or a temporary file left by an earlier
    // recording (also of an earlier run).
    bool HasUnsavedRecording() const;
    // Makes a temporary file left by an earlier run the recording Save names.
    void AdoptTemporaryFile();
    // The unsaved recording is given up: closed and its temporary file deleted.
    void DiscardRecording();

    // Playback (disk work from ReadFromDisk only).
    QString LoadMedia();
    int64_t OpenFile();
    // Goes on where a pause left the file, else starts at its first audio sample.
    int64_t Play();
    void Pause();
    // Stops; the next Play starts at the file's first audio sample.
    void StopPlayer();
    void PlayFrom(int32_t Index);
    int32_t ReadFromDisk();
    int32_t GetNextSamples(int16_t* OutSamples, int32_t NoSamples);
    int32_t CloseFile();
    // Opens FileName like OpenFile, but only when no file is open for playback, without closing
    // first or changing the mode; selects the rate option of the file's rate and sets IsPlaying.
    int64_t OpenPlayback();
    void StopPlayBack();
    // Closes a file opened by OpenPlayback; -32765 when none is.
    int32_t ClosePlayback();
    // Renders a track record behind the marker and today's date and time, two bytes per
    // character, into a buffer that only UnpackedLogRecord reads.
    void UnPackLogRecord(const QString& Record);
    const QByteArray& UnpackedLogRecord() const { return unpackedLogRecord_; }

    // Properties.
    int32_t PlayerMode() const { return playerMode_; }
    void setPlayerMode(int32_t mode); // remembers the old mode for Pause
    int32_t Decimator() const { return decimator_; }
    void setDecimator(int32_t n);     // also sets WavSamplingRate
    int32_t SamplingRate() const { return samplingRate_; }
    void setSamplingRate(int32_t rate) { samplingRate_ = rate; }
    int32_t WavSamplingRate() const { return wavSamplingRate_; }
    int32_t BitsPerSample() const { return bitsPerSample_; }
    void setBitsPerSample(int32_t bits) { bitsPerSample_ = bits == 8 ? 8 : 16; }
    int32_t NumChannels() const { return numChannels_; }
    int32_t RecBlockSizeInSamples() const { return recBlock_; }
    void setRecBlockSizeInSamples(int32_t n); // positive multiple of 2048, else 131072
    int32_t PlayBlockSizeInSamples() const { return playBlock_; }
    bool IsClosed() const { return isClosed_; }
    bool IsPaused() const { return isPaused_; }
    void setIsPaused(bool paused) { isPaused_ = paused; }
    bool IsRecording() const { return isRecording_; }
    bool IsPlaying() const { return isPlaying_; } // set by OpenPlayback
    bool BufferFull() const { return bufferFull_; }
    int64_t NumSamples() const { return numSamples_; }
    void setNumSamples(int64_t n) { numSamples_ = n; }
    int64_t FileSize() const { return fileSize_; }
    int64_t SamplesQueued() const { return samplesQueued_; }
    int64_t TotSamplesOut() const { return totSamplesOut_; }
    int32_t StatusOfMedia() const { return statusOfMedia_; }
    int32_t NumberOfTracks() const { return numTracks_; }
    // Bits of the file being played (8 or 16), which sets how many bytes a track offset counts.
    int32_t FileBitsPerSample() const { return fileBits_; }
    // Text of the last failed file operation (for the file-error window).
    QString lastErrorText() const { return lastErrorText_; }

    QString Name = QStringLiteral("clsWavFile");
    QString FileName;
    QString FileShortName;
    QString RecordFileName;
    QString LastDirectory;
    QString SaveFileName;
    QString TempFileName;
    int32_t LastTunedFrequency = 0;
    int32_t LogTunedFrequency = 0;
    bool PlayEnd = false;
    bool ReadNextBufferFromDisk = false;
    TrackLogArray TrackLog{1};

    Events events;
    // The VFO's tuned frequency for a recording's first track (tenths of a hertz).
    std::function<int32_t()> vfoFrequency;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Selects the main window's recording-rate option (0 for 48000 ... 4 for 3000).
    std::function<void(int32_t Index)> selectRecordSampleRate;
    // Room kept below the format's 2 GiB limit; tests lower the limit to reach it.
    int64_t maximumFileBytes = int64_t{INT32_MAX} - wav::kMaxTrailerBytes;

private:
    int32_t bytesPerSample() const { return bitsPerSample_ / 8; }
    int32_t fail(const QFile& file, const QString& what);
    bool writeAt(int64_t offset, const QByteArray& bytes);
    int32_t writeSamples(const int16_t* ring, int32_t count);
    void resetRecordingState();
    void releasePlayback();
    int32_t closeRecordingFile(bool finish);
    int64_t openForPlayback(); // OpenFile's steps after closing, without the mode
    bool playbackFileOpen() const; // a file opened to be played, not a recording
    // The next Play starts at the file's first audio sample.
    void rewind();
    // Reads the file's next half-ring of samples into the half the disk writes next.
    void readHalf();
    // The file under TempFileName is still the one the recording was written to.
    bool temporaryFileIsOurs() const;

    QString programFolder_;
    SettingsStore* store_ = nullptr;
    bool terminated_ = false;

    int32_t playerMode_ = kClosed;
    int32_t modeBeforePause_ = kClosed;
    int32_t statusOfMedia_ = 0;
    int32_t decimator_ = 1;
    int32_t samplingRate_ = 0;
    int32_t wavSamplingRate_ = 0;
    int32_t bitsPerSample_ = 16;
    int32_t numChannels_ = 1;
    int32_t recBlock_ = 131072;
    int32_t playBlock_ = 32768;
    bool isClosed_ = true;
    bool isPaused_ = false;
    bool isRecording_ = false;
    bool isPlaying_ = false;
    bool bufferFull_ = false;
    int64_t numSamples_ = 0;
    int64_t fileSize_ = 0;
    int64_t samplesQueued_ = 0;
    int64_t totSamplesOut_ = 0;
    QString lastErrorText_;

    struct FileIdentity {
        uint64_t device = 0;
        uint64_t inode = 0;
    };
    FileIdentity tempIdentity_; // of the temporary file this recorder made
    std::unique_ptr<QFile> file_;
    int64_t writePosition_ = 0; // counted from 1
    int32_t numRecords_ = 0;

    // Record ring: two halves of recBlock_ samples.
    std::vector<int16_t> recRing_;
    std::vector<uint8_t> diskBlock_;
    int32_t writeHalf_ = 0;
    int32_t writeIndex_ = 0;
    int32_t fullHalfStart_ = 0;

    // Play ring: two halves of halfLength_ file samples.
    int32_t upsample_ = 1; // k
    int32_t halfLength_ = 0;
    int32_t fileBits_ = 16;
    int64_t dataEnd_ = 0;  // offset (from 0) of the byte after the audio
    std::vector<int16_t> playRing_;
    QByteArray readBuffer_;
    int32_t diskWriteHalf_ = 0;
    int32_t readHalf_ = 0;
    int32_t readIndex_ = 0;
    int64_t readPosition_ = 45; // counted from 1
    int64_t firstAudioPosition_ = 45;
    bool endOfFile_ = false;
    // Halves of the ring free for the next samples of the file (each read while the other
    // half plays), the half the file ends in (-1 until read), and where each half's
    // samples begin in the file (counted from 1).
    int32_t readsOwed_ = 0;
    int32_t lastHalf_ = -1;
    std::array<int64_t, 2> halfStart_{45, 45};
    int32_t numTracks_ = 0;

    bool inSave_ = false;
    bool inStopRecording_ = false;
    bool inStopPlayBack_ = false;
    QByteArray unpackedLogRecord_;
    bool inReadFromDisk_ = false;
    bool inGetNextSamples_ = false;
    bool inWriteToDisk_ = false;
};

} // namespace orvik
