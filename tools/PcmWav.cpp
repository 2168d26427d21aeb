#include "tools/PcmWav.h"

#include "recorder/WavFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik {

namespace {

// The canonical header in front of a 16-bit file's samples.
QByteArray header(int32_t sampleRate, int32_t channels, uint32_t dataBytes)
{
    return wav::BuildWavHeader(
        {sampleRate, static_cast<int16_t>(channels), 16, dataBytes, wav::kHeaderBytes + int64_t{dataBytes}});
}

// Copies up to count bytes from offset into `into`; fewer at the end of the file.
using ReadAt = std::function<size_t(uint64_t offset, char* into, size_t count)>;

struct SampleLayout {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0; // as far as the file goes
};

// Walks the chunks of a file of `size` bytes to the format and the samples.
bool findSamples(const ReadAt& readAt, uint64_t size, SampleLayout& layout, std::string& error)
{
    char riff[12];
    if (size < 12 || readAt(0, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    bool haveFormat = false;
    uint64_t pos = 12;
    while (pos + 8 <= size) {
        char chunk[8];
        if (readAt(pos, chunk, 8) != 8)
            break;
        const uint64_t chunkSize = wav::getLE32(QByteArray::fromRawData(chunk, 8), 4);
        const uint64_t body = pos + 8;
        const uint64_t available = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            char body40[40] = {};
            const size_t got =
                readAt(body, body40, static_cast<size_t>(std::min<uint64_t>({chunkSize, available, 40})));
            if (chunkSize < 16 || got < 16) {
                error = "truncated format chunk";
                return false;
            }
            const QByteArray f = QByteArray::fromRawData(body40, 40);
            uint16_t tag = wav::getLE16(f, 0);
            // WAVE_FORMAT_EXTENSIBLE carries the real tag in its sub-format.
            if (tag == 0xFFFE && got >= 40)
                tag = wav::getLE16(f, 24);
            layout.channels = wav::getLE16(f, 2);
            layout.sampleRate = static_cast<int32_t>(wav::getLE32(f, 4));
            if (tag != 1 || wav::getLE16(f, 14) != 16) {
                error = "not 16-bit PCM";
                return false;
            }
            if (layout.channels < 1 || layout.channels > 2) {
                error = "only mono or stereo is supported";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data before the format chunk";
                return false;
            }
            layout.dataOffset = body;
            layout.dataBytes = std::min(chunkSize, available);
            return true;
        }
        pos = body + chunkSize + (chunkSize & 1);
    }
    error = haveFormat ? "no data chunk" : "no format chunk";
    return false;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace

bool ParsePcmWav(const std::vector<uint8_t>& bytes, PcmWav& wav, std::string& error)
{
    const ReadAt fromMemory = [&bytes](uint64_t offset, char* into, size_t count) -> size_t {
        if (offset >= bytes.size())
            return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes.size() - offset));
        std::memcpy(into, bytes.data() + offset, n);
        return n;
    };
    SampleLayout layout;
    if (!findSamples(fromMemory, bytes.size(), layout, error))
        return false;
    wav.channels = layout.channels;
    wav.sampleRate = layout.sampleRate;
    const size_t frameBytes = 2 * static_cast<size_t>(wav.channels);
    const size_t count = static_cast<size_t>(layout.dataBytes) / frameBytes * wav.channels;
    wav.samples.resize(count);
    const uint8_t* samples = bytes.data() + layout.dataOffset;
    for (size_t i = 0; i < count; ++i)
        wav.samples[i] = static_cast<int16_t>(samples[2 * i] | samples[2 * i + 1] << 8);
    return true;
}

bool ReadPcmWav(const std::string& path, PcmWav& wav, std::string& error)
{
    std::vector<char> raw;
    std::string why;
    if (readRegularFile(path, kPcmWavSizeLimit, raw, why) != ReadResult::Read) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    const std::vector<uint8_t> bytes(raw.begin(), raw.end());
    if (!ParsePcmWav(bytes, wav, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool WritePcmWav(const std::string& path, const PcmWav& wav, std::string& error)
{
    const uint32_t dataBytes = static_cast<uint32_t>(wav.samples.size() * 2);
    QByteArray out = header(wav.sampleRate, wav.channels, dataBytes);
    out.resize(static_cast<qsizetype>(wav::kHeaderBytes + int64_t{dataBytes}));
    for (size_t i = 0; i < wav.samples.size(); ++i)
        wav::putLE16(out, static_cast<int>(wav::kHeaderBytes + 2 * i), static_cast<uint16_t>(wav.samples[i]));

    // Written beside the output and renamed over it only when complete: a failed
    // write leaves whatever was there, and nothing but a regular file is replaced.
    std::string why;
    if (!replaceRegularFile(path, out.constData(), static_cast<size_t>(out.size()), why)) {
        error = "cannot write " + path + ": " + why;
        return false;
    }
    return true;
}

PcmWavReader::~PcmWavReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool PcmWavReader::open(const std::string& path, std::string& error)
{
    path_ = path;
    std::string why;
    fd_ = openRegularFileForReading(path, why);
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) != 0)
        why = errorText(errno);
    if (fd_ < 0 || !why.empty()) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    const int fd = fd_;
    const ReadAt fromFile = [fd](uint64_t offset, char* into, size_t count) -> size_t {
        size_t have = 0;
        while (have < count) {
            const ssize_t got = ::pread(fd, into + have, count - have, static_cast<off_t>(offset + have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += static_cast<size_t>(got);
        }
        return have;
    };
    SampleLayout layout;
    if (!findSamples(fromFile, static_cast<uint64_t>(st.st_size), layout, error)) {
        error = path + ": " + error;
        return false;
    }
    sampleRate_ = layout.sampleRate;
    channels_ = layout.channels;
    dataOffset_ = layout.dataOffset;
    frames_ = layout.dataBytes / (2 * static_cast<uint64_t>(channels_));
    nextFrame_ = 0;
    return true;
}

int64_t PcmWavReader::read(int16_t* interleaved, size_t count, std::string& error)
{
    const size_t frames = static_cast<size_t>(std::min<uint64_t>(count, frames_ - nextFrame_));
    const size_t frameBytes = 2 * static_cast<size_t>(channels_);
    auto* bytes = reinterpret_cast<uint8_t*>(interleaved);
    const size_t wanted = frames * frameBytes;
    size_t have = 0;
    while (have < wanted) {
        const uint64_t offset = dataOffset_ + nextFrame_ * frameBytes + have;
        const ssize_t got = ::pread(fd_, bytes + have, wanted - have, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "cannot read " + path_ + ": " + errorText(errno);
            return -1;
        }
        if (got == 0)
            break; // shrank while being read
        have += static_cast<size_t>(got);
    }
    const size_t whole = have / frameBytes;
    // Little-endian in the file, whatever the machine.
    for (size_t i = 0; i < whole * static_cast<size_t>(channels_); ++i)
        interleaved[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    nextFrame_ += whole;
    return static_cast<int64_t>(whole);
}

bool PcmWavWriter::open(const std::string& path, int32_t sampleRate, int32_t channels, std::string& error)
{
    path_ = path;
    sampleRate_ = sampleRate;
    channels_ = channels;
    dataBytes_ = 0;
    std::string why;
    // The sizes are filled in by finish().
    const QByteArray placeholder = header(sampleRate, channels, 0);
    if (!file_.open(path, why) || !writeAllTo(file_.fd(), placeholder.constData(), static_cast<size_t>(placeholder.size()))) {
        error = "cannot write " + path + ": " + (why.empty() ? errorText(errno) : why);
        return false;
    }
    return true;
}

bool PcmWavWriter::write(const int16_t* interleaved, size_t frames, std::string& error)
{
    const size_t count = frames * static_cast<size_t>(channels_);
    if (dataBytes_ + 2 * count > kPcmWavDataLimit) {
        error = "cannot write " + path_ + ": more samples than a WAV file can hold";
        return false;
    }
    buffer_.resize(static_cast<qsizetype>(2 * count));
    for (size_t i = 0; i < count; ++i)
        wav::putLE16(buffer_, static_cast<int>(2 * i), static_cast<uint16_t>(interleaved[i]));
    if (!writeAllTo(file_.fd(), buffer_.constData(), static_cast<size_t>(buffer_.size()))) {
        error = "cannot write " + path_ + ": " + errorText(errno);
        return false;
    }
    dataBytes_ += buffer_.size();
    return true;
}

bool PcmWavWriter::finish(std::string& error)
{
    const QByteArray sized = header(sampleRate_, channels_, static_cast<uint32_t>(dataBytes_));
    std::string why;
    if (::pwrite(file_.fd(), sized.constData(), static_cast<size_t>(sized.size()), 0) != sized.size()) {
        error = "cannot write " + path_ + ": " + errorText(errno);
        return false;
    }
    if (!file_.commit(why)) {
        error = "cannot write " + path_ + ": " + why;
        return false;
    }
    return true;
}

} // namespace orvik
