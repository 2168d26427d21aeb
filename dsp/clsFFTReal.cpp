#include "dsp/clsFFTReal.h"

#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace orvik {

void clsFFTReal::setUseSPL(bool value)
{
    m_UseSPL = value;
    ORVIK::UseSPL = value;
}

bool clsFFTReal::FFTInit(int32_t NumPoints)
{
    if (NumPoints < 2 || NumPoints > 32768 || !std::has_single_bit(static_cast<uint32_t>(NumPoints))) {
        ReportDspError("clsFFTReal: unusable size " + std::to_string(NumPoints));
        return false;
    }
    IsInitialised = false;
    if (!m_inner.FFTInit(NumPoints / 2))
        return false;
    Points = NumPoints;
    Order = std::countr_zero(static_cast<uint32_t>(NumPoints));
    const auto size = static_cast<size_t>(NumPoints) + 1;
    m_even.assign(size, 0.0f);
    m_odd.assign(size, 0.0f);
    m_scratch.assign(size, 0.0f);
    const int32_t half = NumPoints / 2;
    m_twiddleCos.resize(static_cast<size_t>(half));
    m_twiddleSin.resize(static_cast<size_t>(half));
    for (int32_t i = 0; i < half; ++i) {
        const double angle = 3.14159265358979 * i / half;
        m_twiddleCos[static_cast<size_t>(i)] = static_cast<float>(std::cos(angle));
        m_twiddleSin[static_cast<size_t>(i)] = static_cast<float>(-std::sin(angle));
    }
    if (ORVIK::UseSPL)
        m_vendorPass.init(NumPoints);
    else
        m_vendorPass.initLater(NumPoints);
    m_misuseReported = false;
    IsInitialised = true;
    return true;
}

bool clsFFTReal::checkInitialised()
{
    if (IsInitialised)
        return true;
    if (!m_misuseReported) {
        m_misuseReported = true;
        ReportDspError("clsFFT not initialised, you must call Init first");
    }
    return false;
}

bool clsFFTReal::vendorReady()
{
    return ORVIK::UseSPL && m_vendorPass.ready() && m_vendorPass.segment() == Points;
}

void clsFFTReal::FFT_Real_S_2(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
    if (vendorReady()) {
        vendorForward(SamplesIn, SamplesIOut, SamplesQOut);
        return;
    }
    vectorlib::DeInterlace_S_2(SamplesIn, m_even.data(), m_odd.data(), Points / 2);
    m_inner.FFT_S_2(m_even.data(), m_odd.data(), SamplesIOut, SamplesQOut);
    vectorlib::FFT_Real_S_1_Tabled(SamplesIOut, SamplesQOut, Points, m_twiddleCos.data(), m_twiddleSin.data());
}

void clsFFTReal::FFT_Real_S_2_Plain(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
    vectorlib::DeInterlace_S_2(SamplesIn, m_even.data(), m_odd.data(), Points / 2);
    m_inner.FFT_S_2(m_even.data(), m_odd.data(), SamplesIOut, SamplesQOut);
    vectorlib::FFT_Real_S_1(SamplesIOut, SamplesQOut, Points, Order);
}

void clsFFTReal::IFFT_Real_S_2(float* SamplesIin, float* SamplesQin, float* SamplesIOut)
{
    if (!checkInitialised())
        return;
    if (vendorReady()) {
        vendorInverse(SamplesIin, SamplesQin, SamplesIOut);
        return;
    }
    // Forward transform of re + im gives the inverse as re + im of its
    // result, once the spectrum is made that of a real signal.
    vectorlib::MakeNegFreq_S_1_P(SamplesIin, SamplesQin, Order);
    ORVIK::VecAdd2S(SamplesQin, SamplesIin, Points);
    FFT_Real_S_2(SamplesIin, SamplesIOut, m_scratch.data());
    ORVIK::VecAdd2S(m_scratch.data(), SamplesIOut, Points);
    ORVIK::VecMpy1S(1.0f / static_cast<float>(Points), SamplesIOut, Points);
}

void clsFFTReal::vendorForward(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut)
{
    const int32_t n = Points;
    const int32_t half = n / 2;
    std::memcpy(m_vendorPass.input(), SamplesIn, static_cast<size_t>(n) * sizeof(float));
    m_vendorPass.forward();
    const float* spectrum = m_vendorPass.spectrum();
    for (int32_t k = 0; k <= half; ++k) {
        SamplesIOut[k] = spectrum[2 * k];
        SamplesQOut[k] = spectrum[2 * k + 1];
    }
    SamplesQOut[0] = 0.0f;
    SamplesQOut[half] = 0.0f;
    for (int32_t k = half + 1; k < n; ++k) {
        SamplesIOut[k] = SamplesIOut[n - k];
        SamplesQOut[k] = -SamplesQOut[n - k];
    }
}

void clsFFTReal::vendorInverse(float* SamplesIin, float* SamplesQin, float* SamplesIOut)
{
    const int32_t n = Points;
    const int32_t half = n / 2;
    float* spectrum = m_vendorPass.spectrum();
    for (int32_t k = 0; k <= half; ++k) {
        spectrum[2 * k] = SamplesIin[k];
        spectrum[2 * k + 1] = SamplesQin[k];
    }
    // The own inverse transforms re + im, so imaginary parts at 0 and N/2
    // (which no real signal has) land in the real output: the real
    // transform, which ignores them there, is given them the same way.
    spectrum[0] += spectrum[1];
    spectrum[1] = 0.0f;
    spectrum[n] += spectrum[n + 1];
    spectrum[n + 1] = 0.0f;
    // The callers' arrays are left as the own inverse leaves them.
    vectorlib::MakeNegFreq_S_1_P(SamplesIin, SamplesQin, Order);
    ORVIK::VecAdd2S(SamplesQin, SamplesIin, n);
    m_vendorPass.inverse();
    const float* y = m_vendorPass.output();
    const float scale = 1.0f / static_cast<float>(n);
    for (int32_t i = 0; i < n; ++i)
        SamplesIOut[i] = y[i] * scale;
}

} // namespace orvik
