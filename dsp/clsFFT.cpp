#include "dsp/clsFFT.h"

#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <bit>
#include <cmath>

namespace orvik {

namespace {
constexpr const char* NotInitialisedText = "clsFFT not initialised, you must call Init first";
constexpr int32_t LargestPoints = 16384;  // the butterfly span is kept in 16 bits
} // namespace

void clsFFT::setUseSPL(bool value)
{
    m_UseSPL = value;
    ORVIK::UseSPL = value;
}

int32_t clsFFT::BitReverse(int32_t value, int16_t Bits)
{
    int32_t result = 0;
    for (int16_t b = 0; b < Bits; ++b) {
        result = result * 2 + (value & 1);
        value /= 2;
    }
    return result;
}

bool clsFFT::FFTInit(int32_t NumPoints)
{
    if (NumPoints < 1 || NumPoints > LargestPoints || !std::has_single_bit(static_cast<uint32_t>(NumPoints))) {
        ReportDspError("clsFFT: unusable size " + std::to_string(NumPoints));
        return false;
    }
    IsInitialised = false;
    Points = NumPoints;
    Order = std::countr_zero(static_cast<uint32_t>(NumPoints));

    m_bitReverse.assign(static_cast<size_t>(Points), 0);
    m_cosine.assign(static_cast<size_t>(Order) + 1, 0.0f);
    m_sine.assign(static_cast<size_t>(Order) + 1, 0.0f);
    for (int32_t i = 0; i < Points; ++i)
        m_bitReverse[static_cast<size_t>(i)] = BitReverse(i, static_cast<int16_t>(Order));
    // The twiddle steps use pi rounded to a float, as the transform's own
    // recurrence expects.
    constexpr double pi = 3.1415927410125732;
    for (int32_t k = 1; k <= Order; ++k) {
        const double le = static_cast<double>(1 << k);
        m_cosine[static_cast<size_t>(k)] = static_cast<float>(std::cos(pi / (le / 2)));
        m_sine[static_cast<size_t>(k)] = static_cast<float>(-std::sin(pi / (le / 2)));
    }
    m_fast.init(Points);
    // On the own back-end the vendor plan waits for the first vendor transform.
    if (ORVIK::UseSPL)
        ORVIK::PrepareVendorFFT(Points);
    m_misuseReported = false;
    IsInitialised = true;
    return true;
}

bool clsFFT::checkInitialised()
{
    if (IsInitialised)
        return true;
    // Once per object: in the audio path a report per block would flood.
    if (!m_misuseReported) {
        m_misuseReported = true;
        ReportDspError(NotInitialisedText);
    }
    return false;
}

void clsFFT::FFT_S_2(const float* SamplesI, const float* SamplesQ, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
    if (ORVIK::VendorFFTS(SamplesI, SamplesQ, SamplesIOut, SamplesQOut, Points))
        return;
    m_fast.forward(SamplesI, SamplesQ, SamplesIOut, SamplesQOut);
}

void clsFFT::FFT_S_2_Plain(const float* SamplesI, const float* SamplesQ, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
    vectorlib::FFT_S_2(SamplesI, SamplesQ, SamplesIOut, SamplesQOut, Points, Order, m_bitReverse.data(),
                       m_cosine.data(), m_sine.data());
}

void clsFFT::IFFT_S_2(const float* SamplesI, float* SamplesQ, float* SamplesIOut, float* SamplesQOut)
{
    if (!checkInitialised())
        return;
    vectorlib::Negate_S(SamplesQ, Points);
    FFT_S_2(SamplesI, SamplesQ, SamplesIOut, SamplesQOut);
    ORVIK::VecMpy1S(1.0f / static_cast<float>(Points), SamplesIOut, Points);
    vectorlib::NegateAndDiv_S_1(static_cast<float>(Points), SamplesQOut, Points);
}

} // namespace orvik
