#pragma once

#include "receiver/PlayerRecorder.h"
#include "recorder/clsWavFile.h"

namespace orvik {

// The receive chain's view of the recorder, so that neither links the other.
class PlayerRecorderAdapter final : public PlayerRecorder {
public:
    explicit PlayerRecorderAdapter(clsWavFile& wavFile) : wavFile_(wavFile) {}

    int32_t PlayerMode() const override { return wavFile_.PlayerMode(); }
    bool IsPlaying() const override { return wavFile_.IsPlaying(); }
    void GetNextSamples(int16_t* OutSamples, int32_t NoSamples) override
    {
        wavFile_.GetNextSamples(OutSamples, NoSamples);
    }
    void AddSamples(const int16_t* Samples, int32_t NoSamples) override { wavFile_.AddSamples(Samples, NoSamples); }

    // The band plans add a track whenever they apply settings (tenths of a hertz).
    void NewLogRecord(int32_t TunedFrequency) { wavFile_.NewLogRecord(TunedFrequency); }

private:
    clsWavFile& wavFile_;
};

} // namespace orvik
