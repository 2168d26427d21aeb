#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orvik {

// What the block handler needs of the sound card: the output ring and the
// playback attenuation. The sound class implements it; Output has the sound
// class's semantics (one block of SamplesPerEvent samples per call).
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void Output(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) = 0;
    // Puts this block in place of the one the last Output gave, if that one is still
    // waiting to be played; false when it has been played or was never written.
    virtual bool ReplaceLastOutput(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) = 0;
    // Hundredths of a decibel, 0 full level; the sound class clips at -10000.
    virtual void setOutputAttenuation(int32_t value) = 0;
};

class NullSoundOutput final : public SoundOutput {
public:
    void Output(const int16_t*, const int16_t*, int32_t) override {}
    bool ReplaceLastOutput(const int16_t*, const int16_t*, int32_t) override { return false; }
    void setOutputAttenuation(int32_t) override {}
};

// Keeps what would have been played; reserve `samples` first when the
// collection must not allocate while blocks run.
class RecordingSoundOutput final : public SoundOutput {
public:
    void Output(const int16_t* Channel1, const int16_t*, int32_t NoSamples) override
    {
        samples.insert(samples.end(), Channel1, Channel1 + NoSamples);
        ++blocks;
    }
    bool ReplaceLastOutput(const int16_t* Channel1, const int16_t*, int32_t NoSamples) override
    {
        if (!replaceable || NoSamples < 0 || samples.size() < static_cast<size_t>(NoSamples))
            return false;
        std::copy_n(Channel1, NoSamples, samples.end() - NoSamples);
        ++replacements;
        return true;
    }
    void setOutputAttenuation(int32_t value) override
    {
        attenuation = value < -10000 ? -10000 : value;
        ++attenuationWrites;
    }

    std::vector<int16_t> samples;
    int32_t blocks = 0;
    // Whether the last block counts as still waiting to be played.
    bool replaceable = true;
    int32_t replacements = 0;
    int32_t attenuation = 0;
    int32_t attenuationWrites = 0;
};

} // namespace orvik
