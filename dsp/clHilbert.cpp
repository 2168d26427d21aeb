#include "dsp/clHilbert.h"

#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvik {

void clHilbert::GetCoefs(double* Coefficients, int32_t Taps) const
{
    ORVIK::VecCopy8(m_coefsD.data(), Coefficients, std::min<int32_t>(Taps, static_cast<int32_t>(m_coefsD.size())));
}

void clHilbert::sGetCoefs(float* Coefficients, int32_t Taps) const
{
    ORVIK::VecCopyS(m_coefsS.data(), Coefficients, std::min<int32_t>(Taps, static_cast<int32_t>(m_coefsS.size())));
}

void clHilbert::sSetCoefs(const float* Coefficients, int32_t Taps)
{
    ORVIK::VecCopyS(Coefficients, m_coefsS.data(), std::min<int32_t>(Taps, static_cast<int32_t>(m_coefsS.size())));
    collectTaps();
}

void clHilbert::collectTaps()
{
    m_tapOffsets.clear();
    m_tapValues.clear();
    for (int32_t m = 0; m < Nzeros && m < static_cast<int32_t>(m_coefsS.size()); ++m) {
        if (m_coefsS[static_cast<size_t>(m)] != 0.0f) {
            m_tapOffsets.push_back(m);
            m_tapValues.push_back(m_coefsS[static_cast<size_t>(m)]);
        }
    }
}

void clHilbert::dSetCoefs(const double* Coefficients, int32_t Taps)
{
    ORVIK::VecCopy8(Coefficients, m_coefsD.data(), std::min<int32_t>(Taps, static_cast<int32_t>(m_coefsD.size())));
}

bool clHilbert::Load(int32_t Taps, int32_t NumSamples)
{
    // Fewer than 4 taps have no response at a quarter of the sample rate to
    // normalise; more than 8194 would delay past the saved tails.
    if (Taps < 4 || Taps > 2 * SavedTailSize || NumSamples < 1) {
        ReportDspError("clHilbert: cannot load " + std::to_string(Taps) + " taps for blocks of "
                       + std::to_string(NumSamples));
        return false;
    }
    m_coefsD.assign(static_cast<size_t>(Taps) + 1, 0.0);
    m_coefsS.assign(static_cast<size_t>(Taps) + 1, 0.0f);
    m_delayLine.assign(static_cast<size_t>(Taps) + 2 + static_cast<size_t>(NumSamples), 0.0f);
    m_blockCapacity = NumSamples;
    Nzeros = Taps;
    Delay = static_cast<int32_t>(std::nearbyint(Taps / 2.0));
    CalcCoefficients(Taps, m_coefsD.data(), Gain);
    Gain = 1.0 / Gain;
    sGain = static_cast<float>(Gain);
    vectorlib::DoubleToSingle_D_2(m_coefsD.data(), m_coefsS.data(), Taps);
    collectTaps();
    return true;
}

void clHilbert::CalcCoefficients(int32_t Points, double* HCoeffs, double& Gain)
{
    const int32_t m = Points - 1;
    const int32_t mid = static_cast<int32_t>(std::nearbyint(m / 2.0));
    HCoeffs[mid] = 0.0;
    for (int32_t k = 1; k <= mid - 1; ++k) {
        const double a = (k % 2 == 1) ? 1.0 / k : 0.0;
        const double w = 0.54 - 0.46 * std::cos(6.28318530717958 * (mid + k) / m);
        HCoeffs[mid + k] = -a * w;
        HCoeffs[mid - k] = a * w;
    }
    double sum = 0.0;
    int32_t terms = 0;
    for (int32_t i = 1; i <= mid - 1; i += 2) {
        sum += (terms % 2 == 0) ? -HCoeffs[i] : HCoeffs[i];
        ++terms;
    }
    if (terms % 2 == 1)
        sum = -sum;
    Gain = 2.0 * sum;
}

void clHilbert::sTransform(const float* SamplesIn, float* SamplesOut, int32_t NumSamples)
{
    if (m_blockCapacity <= 0) {
        ReportDspError("clHilbert: Load must be called before sTransform");
        return;
    }
    float* line = m_delayLine.data();
    for (int32_t done = 0; done < NumSamples;) {
        const int32_t count = std::min(m_blockCapacity, NumSamples - done);
        ORVIK::VecCopyS(SamplesIn + done, line + Nzeros, count);
        vectorlib::sHilbertTaps(line, m_tapOffsets.data(), m_tapValues.data(),
                                static_cast<int32_t>(m_tapOffsets.size()), SamplesOut + done, Nzeros, count);
        // The newest Nzeros samples become the history of the next block.
        std::memmove(line, line + count, static_cast<size_t>(Nzeros) * sizeof(float));
        done += count;
    }
    ORVIK::VecMpy1S(sGain, SamplesOut, NumSamples);
}

namespace {

// Out = the last n of (saved, In); saved = the last d of (saved, In).
template <typename T>
void delayBlock(const T* in, T* out, int32_t n, T* saved, int32_t d)
{
    if (n <= 0)
        return;
    if (d <= 0) {
        std::memmove(out, in, static_cast<size_t>(n) * sizeof(T));
        return;
    }
    if (n >= d) {
        std::memmove(out, saved, static_cast<size_t>(d) * sizeof(T));
        std::memmove(out + d, in, static_cast<size_t>(n - d) * sizeof(T));
        std::memmove(saved, in + (n - d), static_cast<size_t>(d) * sizeof(T));
        return;
    }
    std::memmove(out, saved, static_cast<size_t>(n) * sizeof(T));
    std::memmove(saved, saved + n, static_cast<size_t>(d - n) * sizeof(T));
    std::memmove(saved + (d - n), in, static_cast<size_t>(n) * sizeof(T));
}

} // namespace

void clHilbert::sDelaySamples(const float* SamplesIn, float* SamplesOut, int32_t NumSamples)
{
    delayBlock(SamplesIn, SamplesOut, NumSamples, m_savedS.data(), std::min(Delay, SavedTailSize));
}

void clHilbert::DelaySamples(const double* SamplesIn, double* SamplesOut, int32_t NumSamples)
{
    delayBlock(SamplesIn, SamplesOut, NumSamples, m_savedD.data(), std::min(Delay, SavedTailSize));
}

void clHilbert::ClearHistory()
{
    std::fill(m_delayLine.begin(), m_delayLine.end(), 0.0f);
    m_savedS.fill(0.0f);
    m_savedD.fill(0.0);
}

} // namespace orvik
