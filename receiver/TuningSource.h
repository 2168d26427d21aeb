#pragma once

#include <cstdint>

namespace orvik {

// What the chain reads of the VFO.
class TuningSource {
public:
    virtual ~TuningSource() = default;
    // Tenths of a hertz.
    virtual int32_t TunedFrequency() const = 0;
};

class FixedTuning final : public TuningSource {
public:
    explicit FixedTuning(int32_t tenthsOfHertz = 0) : frequency(tenthsOfHertz) {}
    int32_t TunedFrequency() const override { return frequency; }
    int32_t frequency;
};

} // namespace orvik
