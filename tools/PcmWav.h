#pragma once

#include "platform/files/RegularFile.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

// 16-bit PCM WAV, the only kind the receive-chain harness reads and writes.
struct PcmWav {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    // Interleaved frames.
    std::vector<int16_t> samples;
};

// Larger inputs are refused rather than read into memory (about three hours of
// 48 kHz stereo).
inline constexpr int64_t kPcmWavSizeLimit = int64_t{2} * 1024 * 1024 * 1024;

// Reads a 16-bit PCM WAV file, only a regular file and never more than it holds.
// On failure returns false and puts a one-line reason into error (the file is
// not a WAV, not 16-bit PCM, unreadable ...).
// A data chunk that claims more than the file holds is read as far as it goes.
bool ReadPcmWav(const std::string& path, PcmWav& wav, std::string& error);
// Parses WAV bytes already in memory; the same rules as ReadPcmWav.
bool ParsePcmWav(const std::vector<uint8_t>& bytes, PcmWav& wav, std::string& error);
// Writes a mono or stereo 16-bit PCM WAV file through a temporary file beside it,
// so the path is replaced only on success and only when it is a regular file.
bool WritePcmWav(const std::string& path, const PcmWav& wav, std::string& error);

// The most sample bytes the 32-bit sizes of a WAV header can describe.
inline constexpr uint64_t kPcmWavDataLimit = 0xFFFFFFFFu - 36;

// A 16-bit PCM WAV file read a part at a time, so that memory does not grow with the
// file; the same rules as ReadPcmWav, without its size limit.
class PcmWavReader {
public:
    PcmWavReader() = default;
    ~PcmWavReader();
    PcmWavReader(const PcmWavReader&) = delete;
    PcmWavReader& operator=(const PcmWavReader&) = delete;

    // False with a one-line reason in error.
    bool open(const std::string& path, std::string& error);
    int32_t sampleRate() const { return sampleRate_; }
    int32_t channels() const { return channels_; }
    // Whole frames of the data chunk, as far as the file goes.
    uint64_t frames() const { return frames_; }
    // The open file, for telling it from other paths.
    int fd() const { return fd_; }
    // Up to count interleaved frames, fewer only at the end; -1 with error filled in
    // when the file cannot be read.
    int64_t read(int16_t* interleaved, size_t count, std::string& error);

private:
    int fd_ = -1;
    std::string path_;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    uint64_t frames_ = 0;
    uint64_t dataOffset_ = 0;
    uint64_t nextFrame_ = 0;
};

// A mono or stereo 16-bit PCM WAV file written a part at a time beside its path and put
// there by finish(); the same rules as WritePcmWav. Unfinished, nothing is left behind.
class PcmWavWriter {
public:
    bool open(const std::string& path, int32_t sampleRate, int32_t channels, std::string& error);
    bool write(const int16_t* interleaved, size_t frames, std::string& error);
    bool finish(std::string& error);

private:
    ReplacementFile file_;
    std::string path_;
    int32_t sampleRate_ = 0;
    int32_t channels_ = 0;
    uint64_t dataBytes_ = 0;
    QByteArray buffer_; // one part's bytes, kept between parts
};

} // namespace orvik
