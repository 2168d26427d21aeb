#include "tools/PcmWav.h"

#include "platform/files/RegularFile.h"
#include "recorder/WavFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>

namespace orvik {

bool ParsePcmWav(const std::vector<uint8_t>& bytes, PcmWav& wav, std::string& error)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    // The recorder's little-endian readers, over the bytes without copying them.
    const QByteArray all = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<qsizetype>(bytes.size()));
    const auto le16 = [&](size_t at) { return wav::getLE16(all, static_cast<int>(at)); };
    const auto le32 = [&](size_t at) { return wav::getLE32(all, static_cast<int>(at)); };
    bool haveFormat = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const uint64_t size = le32(pos + 4);
        const size_t body = pos + 8;
        const size_t available = bytes.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) {
                error = "truncated format chunk";
                return false;
            }
            uint16_t tag = le16(body);
            // WAVE_FORMAT_EXTENSIBLE carries the real tag in its sub-format.
            if (tag == 0xFFFE && size >= 40 && available >= 40)
                tag = le16(body + 24);
            wav.channels = le16(body + 2);
            wav.sampleRate = static_cast<int32_t>(le32(body + 4));
            const uint16_t bits = le16(body + 14);
            if (tag != 1 || bits != 16) {
                error = "not 16-bit PCM";
                return false;
            }
            if (wav.channels < 1 || wav.channels > 2) {
                error = "only mono or stereo is supported";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data before the format chunk";
                return false;
            }
            const size_t length = static_cast<size_t>(std::min<uint64_t>(size, available));
            const size_t frameBytes = 2 * static_cast<size_t>(wav.channels);
            const size_t count = length / frameBytes * wav.channels;
            wav.samples.resize(count);
            for (size_t i = 0; i < count; ++i)
                wav.samples[i] = static_cast<int16_t>(le16(body + 2 * i));
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = haveFormat ? "no data chunk" : "no format chunk";
    return false;
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
    QByteArray out = wav::BuildWavHeader({wav.sampleRate, static_cast<int16_t>(wav.channels), 16, dataBytes,
                                          wav::kHeaderBytes + int64_t{dataBytes}});
    out.reserve(static_cast<qsizetype>(wav::kHeaderBytes + int64_t{dataBytes}));
    for (int16_t s : wav.samples) {
        out += static_cast<char>(static_cast<uint16_t>(s) & 0xFF);
        out += static_cast<char>(static_cast<uint16_t>(s) >> 8);
    }

    // Written beside the output and renamed over it only when complete: a failed
    // write leaves whatever was there, and nothing but a regular file is replaced.
    std::string why;
    if (!replaceRegularFile(path, out.constData(), static_cast<size_t>(out.size()), why)) {
        error = "cannot write " + path + ": " + why;
        return false;
    }
    return true;
}

} // namespace orvik
