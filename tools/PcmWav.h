#pragma once

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

} // namespace orvik
