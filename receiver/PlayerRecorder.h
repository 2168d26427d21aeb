#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orvik {

// The recorder and player members that the block handler and the chain use.
class PlayerRecorder {
public:
    static constexpr int32_t kRecording = 1;
    static constexpr int32_t kPlaying = 2;

    virtual ~PlayerRecorder() = default;
    virtual int32_t PlayerMode() const = 0;
    virtual bool IsPlaying() const = 0;
    // Fills OutSamples(0 .. NoSamples-1) with the file's next block.
    virtual void GetNextSamples(int16_t* OutSamples, int32_t NoSamples) = 0;
    virtual void AddSamples(const int16_t* Samples, int32_t NoSamples) = 0;
};

class NullPlayerRecorder final : public PlayerRecorder {
public:
    int32_t PlayerMode() const override { return 0; }
    bool IsPlaying() const override { return false; }
    void GetNextSamples(int16_t*, int32_t) override {}
    void AddSamples(const int16_t*, int32_t) override {}
};

// Test double: plays from `playSource` (zeros past its end) and keeps what is recorded.
class RecordingPlayerRecorder final : public PlayerRecorder {
public:
    int32_t PlayerMode() const override { return mode; }
    bool IsPlaying() const override { return playing; }
    void GetNextSamples(int16_t* OutSamples, int32_t NoSamples) override
    {
        std::fill_n(OutSamples, NoSamples, int16_t{0});
        for (int32_t i = 0; i < NoSamples && playPosition < playSource.size(); ++i)
            OutSamples[i] = playSource[playPosition++];
        ++reads;
    }
    void AddSamples(const int16_t* Samples, int32_t NoSamples) override
    {
        recorded.insert(recorded.end(), Samples, Samples + NoSamples);
    }

    int32_t mode = 0;
    bool playing = false;
    std::vector<int16_t> playSource;
    size_t playPosition = 0;
    int32_t reads = 0;
    std::vector<int16_t> recorded;
};

} // namespace orvik
