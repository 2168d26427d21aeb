#pragma once

#include "receiver/SpectrumFeed.h"

namespace orvik {

class clsSpectrumAnalyser;

// The receive chain's view of the spectrum analyser. Until the analyser exists (it is
// created after the receive chain) it feeds nothing, like the null feed.
class SpectrumFeedAdapter final : public SpectrumFeed {
public:
    void setAnalyser(clsSpectrumAnalyser* analyser) { analyser_ = analyser; }

    bool Active() const override;
    bool Chn2Enabled() const override;
    void LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin) override;
    void LoadSamples_S(const float* SamplesIin, const float* SamplesQin) override;
    int32_t FStart() const override;
    int32_t FEnd() const override;
    void setFOffset(int32_t hz) override;
    void setReverseSpectrum(bool reverse) override;
    void LoadFilterCoeffs_T_S(const float* Coeffs_S) override;
    void setShowNotch(bool show) override;

private:
    clsSpectrumAnalyser* analyser_ = nullptr;
};

} // namespace orvik
