#include "app/SpectrumFeedAdapter.h"

#include "spectrum/clsSpectrumAnalyser.h"

namespace orvik {

bool SpectrumFeedAdapter::Active() const { return analyser_ && analyser_->Active; }

bool SpectrumFeedAdapter::Chn2Enabled() const { return analyser_ && analyser_->Chn2Enabled(); }

void SpectrumFeedAdapter::LoadSamples_INT16(const int16_t* SamplesIin, const int16_t* SamplesQin)
{
    if (analyser_)
        analyser_->LoadSamples_INT16(SamplesIin, SamplesQin);
}

void SpectrumFeedAdapter::LoadSamples_S(const float* SamplesIin, const float* SamplesQin)
{
    if (analyser_)
        analyser_->LoadSamples_S(SamplesIin, SamplesQin);
}

int32_t SpectrumFeedAdapter::FStart() const { return analyser_ ? analyser_->FStart : 0; }

int32_t SpectrumFeedAdapter::FEnd() const { return analyser_ ? analyser_->FEnd : 0; }

void SpectrumFeedAdapter::setFOffset(int32_t hz)
{
    if (analyser_)
        analyser_->FOffset = hz;
}

void SpectrumFeedAdapter::setReverseSpectrum(bool reverse)
{
    if (analyser_)
        analyser_->ReverseSpectrum = reverse;
}

void SpectrumFeedAdapter::LoadFilterCoeffs_T_S(const float* Coeffs_S)
{
    if (analyser_)
        analyser_->LoadFilterCoeffs_T_S(Coeffs_S);
}

void SpectrumFeedAdapter::setShowNotch(bool show)
{
    if (analyser_)
        analyser_->ShowNotch = show;
}

} // namespace orvik
