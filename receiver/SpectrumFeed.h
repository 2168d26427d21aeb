#pragma once

#include "receiver/ReceiverTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orvik {

// The members of the spectrum analyser that the receive chain uses.
class SpectrumFeed {
public:
    virtual ~SpectrumFeed() = default;
    virtual bool Active() const = 0;
    virtual bool Chn2Enabled() const = 0;
    virtual void LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin) = 0;
    virtual void LoadSamples_S(const float* SamplesIin, const float* SamplesQin) = 0;
    virtual int32_t FStart() const = 0;
    virtual int32_t FEnd() const = 0;
    virtual void setFOffset(int32_t hz) = 0;
    virtual void setReverseSpectrum(bool reverse) = 0;
    // The IF filter's kBlockSamples time-domain taps.
    virtual void LoadFilterCoeffs_T_S(const float* Coeffs_S) = 0;
    virtual void setShowNotch(bool show) = 0;
};

class NullSpectrumFeed final : public SpectrumFeed {
public:
    bool Active() const override { return false; }
    bool Chn2Enabled() const override { return false; }
    void LoadSamples_INT16(const int16_t*, const int16_t*) override {}
    void LoadSamples_S(const float*, const float*) override {}
    int32_t FStart() const override { return 0; }
    int32_t FEnd() const override { return 0; }
    void setFOffset(int32_t) override {}
    void setReverseSpectrum(bool) override {}
    void LoadFilterCoeffs_T_S(const float*) override {}
    void setShowNotch(bool) override {}
};

// Test double: keeps the last samples of each kind and every value written.
class RecordingSpectrumFeed final : public SpectrumFeed {
public:
    bool Active() const override { return active; }
    bool Chn2Enabled() const override { return chn2Enabled; }
    void LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin) override
    {
        ++int16Loads;
        std::copy_n(SamplesIin, kBlockSamples, int16I.begin());
        std::copy_n(SamplesQin, kBlockSamples, int16Q.begin());
    }
    void LoadSamples_S(const float* SamplesIin, const float* SamplesQin) override
    {
        ++floatLoads;
        std::copy_n(SamplesIin, kBlockSamples, floatI.begin());
        std::copy_n(SamplesQin, kBlockSamples, floatQ.begin());
    }
    int32_t FStart() const override { return fStart; }
    int32_t FEnd() const override { return fEnd; }
    void setFOffset(int32_t hz) override { fOffset = hz; }
    void setReverseSpectrum(bool reverse) override { reverseSpectrum = reverse; }
    void LoadFilterCoeffs_T_S(const float* Coeffs_S) override
    {
        ++coeffLoads;
        std::copy_n(Coeffs_S, kBlockSamples, coeffs.begin());
    }
    void setShowNotch(bool show) override { showNotch = show; }

    bool active = true;
    bool chn2Enabled = true;
    int32_t fStart = 0;
    int32_t fEnd = 24000;
    int32_t fOffset = 0;
    bool reverseSpectrum = false;
    bool showNotch = false;
    int32_t int16Loads = 0;
    int32_t floatLoads = 0;
    int32_t coeffLoads = 0;
    std::array<int16_t, kBlockSamples> int16I{};
    std::array<int16_t, kBlockSamples> int16Q{};
    std::array<float, kBlockSamples> floatI{};
    std::array<float, kBlockSamples> floatQ{};
    std::array<float, kBlockSamples> coeffs{};
};

} // namespace orvik
