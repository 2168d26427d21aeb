#include "dsp/clsFFTReal.h"

#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <bit>
#include <cmath>

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

void clsFFTReal::FFT_Real_S_2(const float* SamplesIn, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
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
    // Forward transform of re + im gives the inverse as re + im of its
    // result, once the spectrum is made that of a real signal.
    vectorlib::MakeNegFreq_S_1_P(SamplesIin, SamplesQin, Order);
    ORVIK::VecAdd2S(SamplesQin, SamplesIin, Points);
    FFT_Real_S_2(SamplesIin, SamplesIOut, m_scratch.data());
    ORVIK::VecAdd2S(m_scratch.data(), SamplesIOut, Points);
    ORVIK::VecMpy1S(1.0f / static_cast<float>(Points), SamplesIOut, Points);
}

} // namespace orvik
