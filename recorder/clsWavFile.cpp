#include "recorder/clsWavFile.h"

#include "common/Product.h"
#include "common/ReentryGuard.h"
#include "platform/DialogService.h"
#include "platform/Log.h"
#include "platform/files/RegularFile.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstring>
#include <unistd.h>

namespace orvik {

namespace {

const QString Title = QString::fromLatin1(ProductName);
const QString CrLf = QStringLiteral("\r\n");
constexpr int32_t kAddBlock = 2048; // samples the sound handler hands over per block
constexpr int32_t kReceiverRate = 48000;
constexpr int kHeadBytes = 65536;   // room for extra chunks in front of the audio

bool validDecimator(int32_t n)
{
    return n == 1 || n == 2 || n == 4 || n == 8 || n == 16;
}

// "24-bit floating-point stereo audio at 96000 Hz", for the refusal of a file.
QString describeAudio(const wav::ParsedHeader& head)
{
    QString format;
    switch (head.formatTag) {
    case 1: format = QStringLiteral("PCM"); break;
    case 3: format = QStringLiteral("floating-point"); break;
    case 6: format = QStringLiteral("A-law"); break;
    case 7: format = QStringLiteral("mu-law"); break;
    default: format = QStringLiteral("format %1").arg(head.formatTag); break;
    }
    const QString channels = head.channels == 1   ? QStringLiteral("mono")
                             : head.channels == 2 ? QStringLiteral("stereo")
                                                  : QStringLiteral("%1-channel").arg(head.channels);
    return QStringLiteral("%1-bit %2 %3 audio at %4 Hz").arg(head.bitsPerSample).arg(format, channels).arg(head.rate);
}

void show(const QString& text)
{
    messages().show(text, Title, MessageButtons::Ok, MessageIcon::None);
}

} // namespace

clsWavFile::clsWavFile(QString programFolder) : programFolder_(std::move(programFolder))
{
    setDecimator(1); // before the rate is known, so WavSamplingRate starts at 0
    samplingRate_ = 48000;
    TempFileName = programFolder_ + QStringLiteral("/~ORVIKWAV.TMP");
    LastDirectory = programFolder_;
}

clsWavFile::~clsWavFile()
{
    Terminate();
}

void clsWavFile::Init(SettingsStore& store)
{
    store_ = &store;
    setRecBlockSizeInSamples(store.readInt(Name, QStringLiteral("RecBlockSizeInSamples"), recBlock_));
    // The samples come at the receiver's rate whatever the store says, and the header must
    // state the rate they are written at.
    const int32_t rate = store.readInt(Name, QStringLiteral("SamplingRate"), samplingRate_);
    if (rate != kReceiverRate)
        AddLog(QStringLiteral("WavFile: stored SamplingRate %1 is not offered; %2 used").arg(rate).arg(kReceiverRate));
    samplingRate_ = kReceiverRate;
    const int32_t wavRate = store.readInt(Name, QStringLiteral("WavSamplingRate"), samplingRate_);
    if (wavRate <= 0 || samplingRate_ % wavRate != 0 || !validDecimator(samplingRate_ / wavRate))
        AddLog(QStringLiteral("WavFile: stored WavSamplingRate %1 is not offered; the Decimator sets it").arg(wavRate));
    wavSamplingRate_ = wavRate;
    const int32_t bits = store.readInt(Name, QStringLiteral("BitsPerSample"), bitsPerSample_);
    if (bits != 8 && bits != 16)
        AddLog(QStringLiteral("WavFile: stored BitsPerSample %1 ignored, 16 used").arg(bits));
    setBitsPerSample(bits);
    const int32_t channels = store.readInt(Name, QStringLiteral("NumChannels"), numChannels_);
    if (channels != 1)
        AddLog(QStringLiteral("WavFile: stored NumChannels %1 ignored, recordings are mono").arg(channels));
    LastDirectory = store.read(Name, QStringLiteral("LastDirectory"), LastDirectory);
    const int32_t decimator = store.readInt(Name, QStringLiteral("Decimator"), decimator_);
    if (!validDecimator(decimator))
        AddLog(QStringLiteral("WavFile: stored Decimator %1 is not 1, 2, 4, 8 or 16; 1 used").arg(decimator));
    setDecimator(validDecimator(decimator) ? decimator : 1);
}

void clsWavFile::Terminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    CloseRecording();
    if (!store_)
        return;
    SettingsStore& s = *store_;
    s.writeInt(Name, QStringLiteral("RecBlockSizeInSamples"), recBlock_);
    s.writeInt(Name, QStringLiteral("Decimator"), decimator_);
    s.writeInt(Name, QStringLiteral("WavSamplingRate"), wavSamplingRate_);
    s.writeInt(Name, QStringLiteral("SamplingRate"), samplingRate_);
    s.writeInt(Name, QStringLiteral("BitsPerSample"), bitsPerSample_);
    s.write(Name, QStringLiteral("LastDirectory"), LastDirectory);
    QString name = RecordFileName;
    name.remove(QChar(0));
    s.write(Name, QStringLiteral("RecordFileName"), name);
}

void clsWavFile::setPlayerMode(int32_t mode)
{
    modeBeforePause_ = playerMode_;
    playerMode_ = mode;
}

void clsWavFile::setDecimator(int32_t n)
{
    if (!validDecimator(n))
        n = 1;
    decimator_ = n;
    wavSamplingRate_ = samplingRate_ / n;
}

void clsWavFile::setRecBlockSizeInSamples(int32_t n)
{
    if (n > 0 && n % kAddBlock == 0) {
        recBlock_ = n;
        return;
    }
    AddLog(QStringLiteral("WavFile: RecBlockSizeInSamples %1 is not a positive multiple of 2048; 131072 used").arg(n));
    recBlock_ = 131072;
}

int32_t clsWavFile::fail(const QFile& file, const QString& what)
{
    lastErrorText_ = what + QStringLiteral(": ") + file.errorString();
    const int code = static_cast<int>(file.error());
    return code > 0 ? code : static_cast<int32_t>(QFileDevice::WriteError);
}

bool clsWavFile::writeAt(int64_t offset, const QByteArray& bytes)
{
    if (!file_ || !file_->seek(offset))
        return false;
    // A write the disk takes only part of sets no error: the rest is written again, and
    // the write that takes nothing carries the system's reason (a full disk, a size limit).
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file_->write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// ---------------------------------------------------------------- recording

int32_t clsWavFile::OpenRecording()
{
    if (isRecording_)
        return kAlreadyRecording;
    CloseFile();

    recRing_.assign(static_cast<size_t>(2 * recBlock_ + 1), 0);
    diskBlock_.assign(static_cast<size_t>(recBlock_ / decimator_ * 2), 0);
    writeHalf_ = writeIndex_ = fullHalfStart_ = 0;
    bufferFull_ = false;

    numRecords_ = 0;
    TrackLog.assign(1, LogRecord{});

    numSamples_ = fileSize_ = samplesQueued_ = totSamplesOut_ = 0;
    LastTunedFrequency = 0;
    // The header's rate must be the one the samples are kept at, whatever the store held.
    wavSamplingRate_ = samplingRate_ / decimator_;
    if (events.SamplesPlayed)
        events.SamplesPlayed(0, 0);

    const QByteArray header = wav::BuildWavHeader({wavSamplingRate_, static_cast<int16_t>(numChannels_),
                                                   static_cast<int16_t>(bitsPerSample_), 0, wav::kHeaderBytes});

    // Whatever stands under the name goes (a link itself, never its target), and the file is
    // made here and now: nothing put in its place is ever written to.
    struct stat st {};
    if (::lstat(QFile::encodeName(TempFileName).constData(), &st) == 0 &&
        ::unlink(QFile::encodeName(TempFileName).constData()) != 0) {
        // Read before the text is built, which may set errno again.
        const int error = errno;
        lastErrorText_ = QStringLiteral("Cannot delete ") + TempFileName + QStringLiteral(": ") +
                         QString::fromLocal8Bit(std::strerror(error));
        return error > 0 ? error : static_cast<int32_t>(QFileDevice::RemoveError);
    }
    const int fd = ::open(QFile::encodeName(TempFileName).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        lastErrorText_ = QStringLiteral("Cannot create ") + TempFileName + QStringLiteral(": ") +
                         QString::fromLocal8Bit(std::strerror(error));
        return error > 0 ? error : static_cast<int32_t>(QFileDevice::OpenError);
    }
    tempIdentity_ = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(*file, QStringLiteral("Cannot create ") + TempFileName);
    }
    file_ = std::move(file);
    if (!writeAt(0, header)) {
        const int32_t error = fail(*file_, QStringLiteral("Cannot write ") + TempFileName);
        file_.reset();
        return error;
    }
    writePosition_ = file_->size() + 1;
    fileSize_ = file_->size();
    isRecording_ = true;
    isClosed_ = false;
    isPaused_ = false;
    statusOfMedia_ = 3;
    playerMode_ = kRecording;

    NewLogRecord(vfoFrequency ? vfoFrequency() : 0);
    return 0;
}

int32_t clsWavFile::AddSamples(const int16_t* Samples, int32_t NoSamples)
{
    if (!isRecording_)
        return kNoRecording;
    if (playerMode_ == kPaused || playerMode_ == kStopped)
        return kPausedOrStopped;
    if (NoSamples <= 0)
        return 0;

    int halvesFilled = 0;
    for (int32_t done = 0; done < NoSamples;) {
        const int32_t count = std::min(NoSamples - done, recBlock_ - writeIndex_);
        std::memcpy(&recRing_[static_cast<size_t>(writeHalf_ * recBlock_ + writeIndex_)], Samples + done,
                    static_cast<size_t>(count) * sizeof(int16_t));
        done += count;
        writeIndex_ += count;
        if (writeIndex_ >= recBlock_) {
            writeIndex_ = 0;
            fullHalfStart_ = writeHalf_ * recBlock_;
            writeHalf_ ^= 1;
            bufferFull_ = true;
            ++halvesFilled;
        }
    }
    samplesQueued_ += NoSamples;

    if (samplesQueued_ % (16 * int64_t{NoSamples}) != 0 && events.SamplesPlayed)
        events.SamplesPlayed(0, samplesQueued_ / decimator_);
    if (halvesFilled > 0 && events.WriteNextBlockToDisk)
        events.WriteNextBlockToDisk();
    return 0;
}

int32_t clsWavFile::writeSamples(const int16_t* ring, int32_t count)
{
    const int32_t n = (count + decimator_ - 1) / decimator_; // a partial half keeps its last kept sample
    if (n <= 0)
        return 0;
    const int32_t bps = bytesPerSample();
    const int64_t offset = writePosition_ - 1;
    if (offset + int64_t{n} * bps > maximumFileBytes) {
        lastErrorText_ = QStringLiteral("The recording has reached the largest size a WAV file can hold");
        return kFileFull;
    }
    diskBlock_.resize(static_cast<size_t>(n * bps));
    uint8_t* out = diskBlock_.data();
    for (int32_t i = 0; i < n; ++i) {
        const auto sample = static_cast<uint16_t>(ring[static_cast<size_t>(i) * static_cast<size_t>(decimator_)]);
        if (bps == 1) {
            out[i] = static_cast<uint8_t>((sample >> 8) ^ 0x80); // unsigned 8-bit PCM
        } else {
            out[2 * i] = static_cast<uint8_t>(sample & 0xFF);
            out[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
        }
    }
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(out), n * bps);
    if (!writeAt(offset, bytes)) {
        const int32_t error = fail(*file_, QStringLiteral("Cannot write to ") + TempFileName);
        // Whatever part of the block landed would leave a gap before the next one.
        file_->resize(offset);
        return error;
    }
    writePosition_ += int64_t{n} * bps;
    fileSize_ = writePosition_ - 1;
    numSamples_ += n;
    totSamplesOut_ += n;
    // The sizes in the header follow every write, so a recording cut off by a crash reads up
    // to its last block.
    const int64_t dataBytes = numSamples_ * bps;
    QByteArray size(4, '\0');
    wav::putLE32(size, 0, static_cast<uint32_t>(dataBytes + wav::kHeaderBytes - 8));
    QByteArray data(4, '\0');
    wav::putLE32(data, 0, static_cast<uint32_t>(dataBytes));
    if (!writeAt(4, size) || !writeAt(40, data))
        return fail(*file_, QStringLiteral("Cannot write the header of ") + TempFileName);
    return 0;
}

int32_t clsWavFile::WriteToDisk()
{
    if (!isRecording_ || !file_)
        return kNotRecording;
    if (isPaused_)
        return kWritingHeld;
    ReentryGuard guard(inWriteToDisk_);
    if (guard.reentered())
        return kWriteInProgress;
    if (!bufferFull_)
        return kNoFullHalf;
    const int32_t result = writeSamples(&recRing_[static_cast<size_t>(fullHalfStart_)], recBlock_);
    bufferFull_ = false;
    if (result != 0) {
        // Stop here: the file ends with its last good block and a finished header. What came
        // after the lost half is not written, as it would follow a gap.
        const QString why = lastErrorText_;
        writeIndex_ = 0;
        closeRecordingFile(true);
        lastErrorText_ = why;
        setPlayerMode(kStopped);
    }
    return result;
}

void clsWavFile::NewLogRecord(int32_t TunedFrequency)
{
    if (TunedFrequency == LastTunedFrequency || !isRecording_ || numRecords_ >= wav::kMaxRecords)
        return;
    LogTunedFrequency = TunedFrequency;
    const auto start = static_cast<int64_t>(bytesPerSample() * (double(samplesQueued_) / decimator_) + 44 + 0.5);
    LogRecord& record = TrackLog[static_cast<size_t>(numRecords_)];
    record.Frequency = TunedFrequency;
    record.When = now();
    record.StartOffset = start;
    if (numRecords_ > 0)
        TrackLog[static_cast<size_t>(numRecords_ - 1)].EndOffset = start;
    ++numRecords_;
    LastTunedFrequency = TunedFrequency;
    TrackLog.resize(static_cast<size_t>(numRecords_ + 1));
}

int32_t clsWavFile::UpdateWavHeader()
{
    if (!file_)
        return kNothingOpen;
    if (numRecords_ > 0)
        TrackLog[static_cast<size_t>(numRecords_ - 1)].EndOffset = writePosition_;
    const QByteArray text = wav::FormatLogRecord(TrackLog);
    const int64_t length = file_->size();
    const QByteArray header = wav::BuildWavHeader({wavSamplingRate_, static_cast<int16_t>(numChannels_),
                                                   static_cast<int16_t>(bitsPerSample_),
                                                   numSamples_ * bytesPerSample(), length});
    if (!writeAt(0, header))
        return fail(*file_, QStringLiteral("Cannot write the header of ") + TempFileName);
    if (!writeAt(length, QByteArray(wav::kMarker, wav::kMarkerBytes)) || !writeAt(length + wav::kMarkerBytes, text))
        return fail(*file_, QStringLiteral("Cannot write the track log of ") + TempFileName);
    fileSize_ = file_->size();
    return 0;
}

int32_t clsWavFile::closeRecordingFile(bool finish)
{
    int32_t result = 0;
    if (finish) {
        // The samples still in the ring: a full half that waits, then the part of the current half.
        if (bufferFull_)
            result = writeSamples(&recRing_[static_cast<size_t>(fullHalfStart_)], recBlock_);
        bufferFull_ = false;
        if (result == 0)
            result = writeSamples(&recRing_[static_cast<size_t>(writeHalf_ * recBlock_)], writeIndex_);
        // At the size limit the rest is dropped, but the file still gets its header and log.
        if (result == kFileFull)
            result = 0;
        const int32_t header = UpdateWavHeader();
        if (result == 0)
            result = header;
    }
    file_->close();
    if (result == 0 && file_->error() != QFileDevice::NoError)
        result = fail(*file_, QStringLiteral("Cannot close ") + TempFileName);
    file_.reset();
    resetRecordingState();
    return result;
}

void clsWavFile::resetRecordingState()
{
    TrackLog.assign(1, LogRecord{});
    numRecords_ = 0;
    numSamples_ = fileSize_ = samplesQueued_ = totSamplesOut_ = 0;
    writeIndex_ = writeHalf_ = fullHalfStart_ = 0;
    bufferFull_ = false;
    isClosed_ = true;
    isRecording_ = false;
    isPaused_ = false;
}

int32_t clsWavFile::CloseRecording()
{
    if (!file_ || !(file_->openMode() & QIODevice::WriteOnly))
        return kNothingOpen;
    return closeRecordingFile(true);
}

void clsWavFile::StopRecording()
{
    ReentryGuard guard(inStopRecording_);
    if (guard.reentered())
        return;
    setPlayerMode(kStopped);
    if (isRecording_) {
        isPaused_ = false;
        isRecording_ = false;
    }
}

void clsWavFile::Save()
{
    ReentryGuard guard(inSave_);
    if (guard.reentered())
        return;

    if (LastDirectory.isEmpty())
        LastDirectory = programFolder_;
    if (statusOfMedia_ != 3)
        return;
    // A recording already closed (a save whose dialog was cancelled) goes straight to naming.
    if (file_ && (file_->openMode() & QIODevice::WriteOnly)) {
        if (CloseRecording() != 0) {
            show(QStringLiteral("Unable to close temporary file ") + TempFileName + CrLf +
                 QStringLiteral(" Please report this problem to ORVIK"));
            return;
        }
    }
    isRecording_ = false;
    setPlayerMode(kStopped);
    isPaused_ = true;

    QString name = SaveFileName;
    if (name.isEmpty()) {
        FileDialogOptions request;
        request.save = true;
        request.title = QStringLiteral("Select Filename to Save Recording");
        request.directory = LastDirectory;
        request.fileName = QStringLiteral("untitled.wav");
        request.nameFilters = {QStringLiteral("Sound Files (*.wav)")};
        request.defaultSuffix = QStringLiteral("wav");
        const FileDialogAnswer answer = dialogs().fileDialog(request);
        if (answer.accepted && !answer.files.isEmpty())
            name = answer.files.front();
    }
    if (name.isEmpty())
        return;
    // Before the overwrite question: a file it removes must get the recording in its place.
    if (!temporaryFileIsOurs()) {
        show(TempFileName + CrLf + QStringLiteral(" is no longer the recording's file: it was replaced or removed") +
             CrLf + QStringLiteral(" Nothing was saved"));
        return;
    }

    if (QFileInfo::exists(name)) {
        if (messages().show(name + CrLf + QStringLiteral(" Exists - Do you want to overwrite it ?"), Title,
                            MessageButtons::YesNo, MessageIcon::None) != MessageAnswer::Yes)
            return;
        if (!QFile::remove(name)) {
            show(QStringLiteral("Unable to overwrite ") + name + CrLf + QStringLiteral(" Try a different filename"));
            return;
        }
    }
    QFile temp(TempFileName);
    if (!temp.rename(name)) {
        show(QStringLiteral("Problem creating ") + name + CrLf + QStringLiteral("System Reported Error Code ") +
             QString::number(static_cast<int>(temp.error())) + CrLf + temp.errorString());
        return;
    }
    LastDirectory = QFileInfo(name).absolutePath();
    SaveFileName = name;
    statusOfMedia_ = 4;
    isPaused_ = false;
    isRecording_ = false;
}

bool clsWavFile::temporaryFileIsOurs() const
{
    struct stat st {};
    return tempIdentity_.inode != 0 && ::lstat(QFile::encodeName(TempFileName).constData(), &st) == 0 &&
           S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_dev) == tempIdentity_.device &&
           static_cast<uint64_t>(st.st_ino) == tempIdentity_.inode;
}

bool clsWavFile::HasUnsavedRecording() const
{
    struct stat st {};
    return isRecording_ ||
           (::lstat(QFile::encodeName(TempFileName).constData(), &st) == 0 && S_ISREG(st.st_mode));
}

void clsWavFile::AdoptTemporaryFile()
{
    struct stat st {};
    if (isRecording_ || statusOfMedia_ == 3 || ::lstat(QFile::encodeName(TempFileName).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return;
    tempIdentity_ = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    statusOfMedia_ = 3;
}

void clsWavFile::DiscardRecording()
{
    if (isRecording_)
        CloseRecording();
    if (HasUnsavedRecording())
        ::unlink(QFile::encodeName(TempFileName).constData());
    if (statusOfMedia_ == 3)
        statusOfMedia_ = 0;
    tempIdentity_ = {};
}

// ---------------------------------------------------------------- playback

QString clsWavFile::LoadMedia()
{
    FileDialogOptions request;
    request.title = QStringLiteral("Select Filename");
    request.directory = LastDirectory;
    request.nameFilters = {QStringLiteral("Sound Files (*.wav)")};
    request.defaultSuffix = QStringLiteral("wav");
    request.fileMustExist = true;
    const FileDialogAnswer answer = dialogs().fileDialog(request);
    if (!answer.accepted || answer.files.isEmpty() || answer.files.front().isEmpty())
        return {};
    const QString name = answer.files.front();
    statusOfMedia_ = 1;
    setPlayerMode(kStopped);
    FileShortName = QFileInfo(name).fileName();
    FileName = name;
    return name;
}

void clsWavFile::releasePlayback()
{
    playRing_.clear();
    halfLength_ = 0;
    numTracks_ = 0;
}

int64_t clsWavFile::OpenFile()
{
    CloseFile();
    const int64_t result = openForPlayback();
    if (file_)
        playerMode_ = kStopped;
    return result;
}

int64_t clsWavFile::OpenPlayback()
{
    if (isPlaying_)
        return 0;
    const int64_t result = openForPlayback();
    if (!file_)
        return result;
    isPaused_ = false;
    const int32_t option = [this] {
        for (int i = 0; i < 5; ++i)
            if (wavSamplingRate_ == 48000 >> i)
                return i;
        return -1;
    }();
    if (option >= 0 && selectRecordSampleRate)
        selectRecordSampleRate(option);
    ReadFromDisk(); // reads nothing unless the player is already playing
    isPlaying_ = true;
    return fileSize_;
}

void clsWavFile::StopPlayBack()
{
    ReentryGuard guard(inStopPlayBack_);
    if (guard.reentered())
        return;
    setPlayerMode(kStopped);
    if (isPlaying_) {
        isPaused_ = isRecording_ = isPlaying_ = false;
        playerMode_ = kStopped;
    }
}

int32_t clsWavFile::ClosePlayback()
{
    if (!isPlaying_)
        return kNothingOpen;
    if (file_) {
        file_->close();
        const bool failed = file_->error() != QFileDevice::NoError;
        const int32_t error = failed ? fail(*file_, QStringLiteral("Cannot close ") + FileName) : 0;
        file_.reset();
        if (failed)
            return error;
    }
    releasePlayback();
    recRing_.clear();
    isClosed_ = true;
    isRecording_ = isPaused_ = isPlaying_ = false;
    return 0;
}

void clsWavFile::UnPackLogRecord(const QString& Record)
{
    const QDateTime when = now();
    const QString text = QStringLiteral("ORVIK") + QChar(0) + QStringLiteral("D=") +
                         when.toString(QStringLiteral("yyyy-MM-dd")) + QChar(0) + QStringLiteral("T=") +
                         when.toString(QStringLiteral("HH:mm:ss")) + QChar(0) + Record;
    unpackedLogRecord_.clear();
    for (const QChar c : text) {
        unpackedLogRecord_ += static_cast<char>(c.unicode() & 0xFF);
        unpackedLogRecord_ += '\0';
    }
}

int64_t clsWavFile::openForPlayback()
{
    numSamples_ = fileSize_ = samplesQueued_ = totSamplesOut_ = 0;
    endOfFile_ = PlayEnd = false;

    // Only a regular file: a FIFO or a device would block the player or never end.
    std::string why;
    const int fd = openRegularFileForReading(FileName.toStdString(), why);
    auto file = std::make_unique<QFile>();
    if (fd < 0 || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        lastErrorText_ = QStringLiteral("Cannot open ") + FileName + QStringLiteral(": ") + QString::fromStdString(why);
        show(FileName + CrLf + QStringLiteral(" cannot be opened: ") + QString::fromStdString(why));
        return static_cast<int32_t>(QFileDevice::OpenError);
    }
    const int64_t length = file->size();
    const wav::ParsedHeader head = wav::ParseWavHeader(file->read(kHeadBytes), length);
    const int32_t k = head.rate > 0 ? samplingRate_ / head.rate : 0;
    // k above a block's length would leave no file sample per block.
    if (!head.valid || k < 1 || k > kAddBlock) {
        show(FileName + CrLf + (head.valid ? QStringLiteral(" cannot be played: its sample rate of %1 Hz is not "
                                                            "between 24 and %2 Hz")
                                                 .arg(head.rate)
                                                 .arg(samplingRate_)
                                           : QStringLiteral(" is not a WAV file")));
        lastErrorText_ = QStringLiteral("Unplayable file ") + FileName;
        return kNothingOpen;
    }
    if (head.formatTag != 1 || head.channels != 1 || (head.bitsPerSample != 8 && head.bitsPerSample != 16)) {
        show(FileName + CrLf + QStringLiteral(" cannot be played: it holds ") + describeAudio(head) +
             QStringLiteral("; the player plays mono 8- or 16-bit PCM"));
        lastErrorText_ = QStringLiteral("Unplayable file ") + FileName;
        return kNothingOpen;
    }
    file_ = std::move(file);
    fileSize_ = length;
    wavSamplingRate_ = head.rate;
    upsample_ = k;
    fileBits_ = head.bitsPerSample;
    firstAudioPosition_ = head.dataOffset + 1;
    dataEnd_ = head.dataOffset + head.dataBytes;
    readPosition_ = firstAudioPosition_;

    // Whole output blocks per half, so a half always ends with a block and no read
    // runs past the ring, also for rates that do not divide the block.
    const int32_t perBlock = kAddBlock / k;
    halfLength_ = std::max(perBlock, playBlock_ / k / perBlock * perBlock);
    playRing_.assign(static_cast<size_t>(2 * halfLength_), 0);

    TrackLog.assign(1, LogRecord{});
    numTracks_ = 0;
    if (head.trackLogPosition > 0 && file_->seek(head.trackLogPosition - 1) &&
        file_->read(wav::kMarkerBytes) == QByteArray(wav::kMarker, wav::kMarkerBytes)) {
        const int64_t rest = std::min(length - (head.trackLogPosition - 1 + wav::kMarkerBytes),
                                      wav::kMaxTrailerBytes - wav::kMarkerBytes);
        numTracks_ = wav::ParseLogRecord(TrackLog, file_->read(std::max<int64_t>(rest, 0)));
    }

    numRecords_ = 0;
    if (events.CatalogueLoaded)
        events.CatalogueLoaded(numTracks_);
    rewind();
    return fileSize_;
}

bool clsWavFile::playbackFileOpen() const
{
    return file_ && !(file_->openMode() & QIODevice::WriteOnly);
}

void clsWavFile::rewind()
{
    readPosition_ = firstAudioPosition_;
    diskWriteHalf_ = readHalf_ = readIndex_ = 0;
    endOfFile_ = false;
    lastHalf_ = -1;
    readsOwed_ = 2;
}

int64_t clsWavFile::Play()
{
    if (playerMode_ == kClosed || !playbackFileOpen())
        return 0;
    playerMode_ = kPlaying;
    // A paused player goes on where it was: its end-of-file flag may already be set.
    PlayEnd = false;
    ReadFromDisk(); // the halves not read yet
    return fileSize_;
}

void clsWavFile::Pause()
{
    if (playerMode_ != kPaused) {
        modeBeforePause_ = playerMode_;
        playerMode_ = kPaused;
    } else {
        playerMode_ = modeBeforePause_;
        // A read asked for just before the pause found the player paused and read nothing.
        ReadFromDisk();
    }
}

void clsWavFile::StopPlayer()
{
    playerMode_ = kStopped;
    if (playbackFileOpen())
        rewind();
}

void clsWavFile::PlayFrom(int32_t Index)
{
    if (playerMode_ != kPlaying || Index < 0 || Index >= numTracks_)
        return;
    const int64_t bytes = fileBits_ / 8;
    int64_t position = std::clamp<int64_t>(TrackLog[static_cast<size_t>(Index)].StartOffset + 1,
                                           firstAudioPosition_, dataEnd_ + 1);
    position -= (position - firstAudioPosition_) % bytes;
    // Seek and fill here, from the controls: the sound handler never touches the disk.
    rewind();
    readPosition_ = position;
    numSamples_ = 0;
    ReadFromDisk();
}

int32_t clsWavFile::ReadFromDisk()
{
    ReentryGuard guard(inReadFromDisk_);
    if (guard.reentered())
        return 0;

    // Each half is read while the other plays, so that the half the player moves into holds
    // its samples however many blocks are taken before the read timer runs.
    while (playerMode_ == kPlaying && file_ && halfLength_ > 0 && readsOwed_ > 0 && !endOfFile_)
        readHalf();
    return 0;
}

void clsWavFile::readHalf()
{
    const int64_t bytesPerSample = fileBits_ / 8;
    const int64_t offset = readPosition_ - 1;
    // Only the data chunk is audio; what lies behind it is never played.
    const int64_t wanted = std::clamp<int64_t>(dataEnd_ - offset, 0, halfLength_ * bytesPerSample);
    // One buffer for the whole playback: this runs every half ring.
    if (readBuffer_.size() < wanted)
        readBuffer_.resize(wanted);
    int64_t read = 0;
    if (wanted > 0 && file_->seek(offset))
        read = file_->read(readBuffer_.data(), wanted);
    if (wanted > 0 && read <= 0) {
        fail(*file_, QStringLiteral("Cannot read ") + FileName);
        endOfFile_ = PlayEnd = true;
        ReadNextBufferFromDisk = false;
        file_.reset();
        playerMode_ = kStopped;
        return;
    }
    int16_t* half = &playRing_[static_cast<size_t>(diskWriteHalf_ * halfLength_)];
    const auto* in = reinterpret_cast<const uint8_t*>(readBuffer_.constData());
    const int32_t got = static_cast<int32_t>(std::max<int64_t>(read, 0) / bytesPerSample);
    for (int32_t i = 0; i < got; ++i)
        half[i] = bytesPerSample == 1 ? static_cast<int16_t>((in[i] ^ 0x80) << 8)
                                      : static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
    std::fill(half + got, half + halfLength_, int16_t{0}); // a short read ends in silence
    halfStart_[diskWriteHalf_] = readPosition_;
    --readsOwed_;

    readPosition_ += halfLength_ * bytesPerSample;
    if (readPosition_ - 1 < dataEnd_) {
        diskWriteHalf_ ^= 1;
        ReadNextBufferFromDisk = false;
    } else {
        // The file ends in this half: once it is played, so is the file.
        endOfFile_ = true;
        lastHalf_ = diskWriteHalf_;
    }
}

int32_t clsWavFile::GetNextSamples(int16_t* OutSamples, int32_t NoSamples)
{
    ReentryGuard guard(inGetNextSamples_);
    if (guard.reentered())
        return 0;

    std::fill_n(OutSamples, std::max(NoSamples, 0), int16_t{0});
    if (playerMode_ != kPlaying || PlayEnd || halfLength_ <= 0)
        return kPausedOrStopped;

    const int32_t k = upsample_;
    const int32_t n = NoSamples / k;
    const int32_t count = std::min(n, halfLength_ - readIndex_);
    const int16_t* from = &playRing_[static_cast<size_t>(readHalf_ * halfLength_ + readIndex_)];
    for (int32_t j = 0; j < count; ++j)
        OutSamples[j * k] = from[j];
    numSamples_ += count;
    if (n > 0 && numSamples_ % (16 * int64_t{n}) != 0 && events.SamplesPlayed)
        events.SamplesPlayed(0, numSamples_);

    readIndex_ += count;
    if (readIndex_ >= halfLength_) {
        if (endOfFile_ && readHalf_ == lastHalf_)
            PlayEnd = true;
        readIndex_ = 0;
        readHalf_ ^= 1;
        // The half just played takes the samples after the one now entered.
        if (!endOfFile_)
            readsOwed_ = std::min(readsOwed_ + 1, 2);
        if (events.DiskRead)
            events.DiskRead(halfStart_[readHalf_]);
    }
    if (PlayEnd) {
        playerMode_ = kStopped;
        rewind();
        if (events.PlayEnd)
            events.PlayEnd();
        if (PlayEnd)
            return 0;
    }
    if (readIndex_ == 0 && events.ReadNextBlockFromDisk)
        events.ReadNextBlockFromDisk();
    return 0;
}

int32_t clsWavFile::CloseFile()
{
    if (file_) {
        file_->close();
        file_.reset();
        RecordFileName.clear();
        releasePlayback();
        playerMode_ = kClosed;
    } else {
        releasePlayback();
        setPlayerMode(kClosed);
    }
    recRing_.clear();
    isClosed_ = true;
    isRecording_ = isPaused_ = isPlaying_ = false;
    return 0;
}

} // namespace orvik
