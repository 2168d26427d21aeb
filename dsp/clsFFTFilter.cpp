#include "dsp/clsFFTFilter.h"

#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace orvik {

namespace {
constexpr double Pi = 3.14159265358979;
constexpr double TwoPi = 6.28318530717958;
constexpr double FourPi = 12.56637061435916;
} // namespace

using namespace vectorlib;

void clsFFTFilter::setUseSPL(bool value)
{
    m_UseSPL = value;
    ORVIK::UseSPL = value;
}

bool clsFFTFilter::ready()
{
    if (m_allocated > 0)
        return true;
    if (!m_misuseReported) {
        m_misuseReported = true;
        ReportDspError("clsFFTFilter: Init must be called before filtering");
    }
    return false;
}

// The spectral products run over SegmentSize bins, but never past the 2N + 1
// entries the arrays hold.
int32_t clsFFTFilter::binCount() const
{
    return std::clamp(SegmentSize, 0, 2 * m_allocated + 1);
}

bool clsFFTFilter::Init(int32_t NumPoints)
{
    if (NumPoints < 2 || NumPoints > 16384 || !std::has_single_bit(static_cast<uint32_t>(NumPoints))
        || SegmentSize <= 0 || FSampling <= 0) {
        ReportDspError("clsFFTFilter: cannot initialise with Points " + std::to_string(NumPoints) + ", SegmentSize "
                       + std::to_string(SegmentSize) + ", FSampling " + std::to_string(FSampling));
        return false;
    }
    const int32_t n = NumPoints;
    Points = n;
    Order = static_cast<int32_t>(std::floor(std::log(static_cast<double>(n)) / 0.693147180559945 + 0.5));
    HzPerBin = static_cast<double>(FSampling) / static_cast<double>(SegmentSize);

    const auto full = static_cast<size_t>(2 * n) + 1;
    m_KernelD.assign(full, 0.0);
    m_KernelS.assign(full, 0.0f);
    m_KernelIm.assign(full, 0.0f);
    m_LowPassD.assign(static_cast<size_t>(n) + 1, 0.0);
    m_FCoeffsDRe.assign(full, 0.0);
    m_FCoeffsDIm.assign(full, 0.0);
    m_HRe.assign(full, 0.0f);
    m_HIm.assign(full, 0.0f);
    m_HMag.assign(full, 0.0f);
    m_HPhase.assign(full, 0.0f);
    m_SpecRe.assign(full, 0.0f);
    m_SpecIm.assign(full, 0.0f);
    m_Overlap.assign(full, 0.0f);
    m_Window.assign(full, 0.0);

    m_fft.Points = 2 * n;
    m_fft.FFTInit(2 * n);
    m_fftReal.Points = 2 * n;
    m_fftReal.FFTInit(2 * n);
    // On the own back-end the vendor plans wait until the vendor back-end is used.
    if (ORVIK::UseSPL)
        m_vendorPass.init(2 * n);
    else
        m_vendorPass.initLater(2 * n);
    kernelFromTaps_ = false;
    m_HVendor.assign(static_cast<size_t>(2 * n + 2), 0.0f);
    m_allocated = n;
    m_misuseReported = false;
    CalcWindowCoeffs(WindowType);
    return true;
}

bool clsFFTFilter::MakeFilter()
{
    if (!ready())
        return false;
    if (FSampling <= 0 || HzPerBin <= 0.0) {
        ReportDspError("clsFFTFilter: MakeFilter needs a positive sample rate and bin width");
        return false;
    }
    if (FSampling / 2.0 < FHigh)
        FHigh = static_cast<int32_t>(std::nearbyint(FSampling / 2.0));
    if (FLow < 0.1)
        FLow = 0;
    BinFLow = static_cast<int32_t>(std::floor(FLow / HzPerBin));
    BinFHigh = static_cast<int32_t>(std::floor(FHigh / HzPerBin + 0.5));
    BinFCount = BinFHigh - BinFLow;
    FHRadians = FHigh * TwoPi / FSampling;
    FLRadians = FLow * TwoPi / FSampling;

    if (BandReject)
        CalcBandStop_PAS();
    else
        CalcBandPass();
    transformKernel();
    return true;
}

// Zero-pads the kernel to 2N, transforms it and keeps the polar form of the
// first N bins.
void clsFFTFilter::transformKernel()
{
    const int32_t n = m_allocated;
    ORVIK::VecZeroS(m_KernelS.data() + n, n);
    ORVIK::VecZeroS(m_KernelIm.data(), 2 * n);
    m_fft.FFT_S_2(m_KernelS.data(), m_KernelIm.data(), m_HRe.data(), m_HIm.data());
    ORVIK::VecCartToPolarS(m_HRe.data(), m_HIm.data(), m_HMag.data(), m_HPhase.data(), n);
    kernelFromTaps_ = true;
    kernelOnVendor_ = ORVIK::UseSPL;
    refreshVendorSpectrum();
    // A design on the vendor back-end plans the pass now rather than at the first block.
    vendorReady();
}

void clsFFTFilter::followBackEnd()
{
    if (kernelFromTaps_ && kernelOnVendor_ != ORVIK::UseSPL)
        transformKernel();
}

void clsFFTFilter::refreshVendorSpectrum()
{
    const int32_t n = m_allocated;
    if (static_cast<int32_t>(m_HVendor.size()) < 2 * n + 2)
        return;
    // The inverse reads bins 0..N only; bins past SegmentSize stay out, as in
    // the Cartesian product.
    const int32_t bins = std::min(binCount(), n + 1);
    const float scale = 1.0f / static_cast<float>(2 * n);
    std::fill(m_HVendor.begin(), m_HVendor.end(), 0.0f);
    for (int32_t k = 0; k < bins; ++k) {
        m_HVendor[static_cast<size_t>(2 * k)] = m_HRe[static_cast<size_t>(k)] * scale;
        m_HVendor[static_cast<size_t>(2 * k + 1)] = m_HIm[static_cast<size_t>(k)] * scale;
    }
}

bool clsFFTFilter::vendorReady()
{
    return ORVIK::UseSPL && m_vendorPass.ready() && m_vendorPass.segment() == 2 * m_allocated;
}

void clsFFTFilter::ClearOverlap()
{
    std::fill(m_Overlap.begin(), m_Overlap.end(), 0.0f);
}

void clsFFTFilter::Filter_FFT_S_1(float* SamplesInOut)
{
    if (!ready())
        return;
    followBackEnd();
    forwardBlock(SamplesInOut);
    finishBlock(*this, SamplesInOut);
}

void clsFFTFilter::FilterSameInput_FFT_S_1(clsFFTFilter& Second, float* SamplesInOut, float* SecondInOut)
{
    if (!ready() || !Second.ready())
        return;
    followBackEnd();
    Second.followBackEnd();
    if (Second.m_allocated != m_allocated || Second.vendorReady() != vendorReady()) {
        Filter_FFT_S_1(SamplesInOut);
        Second.Filter_FFT_S_1(SecondInOut);
        return;
    }
    forwardBlock(SamplesInOut);
    // The second product reads this spectrum before the first overwrites it.
    Second.finishBlock(*this, SecondInOut);
    finishBlock(*this, SamplesInOut);
}

void clsFFTFilter::forwardBlock(float* samples)
{
    const int32_t n = m_allocated;
    if (vendorReady()) {
        // The pass's input keeps its zero upper half from block to block.
        std::memcpy(m_vendorPass.input(), samples, static_cast<size_t>(n) * sizeof(float));
        m_vendorPass.forward();
        return;
    }
    // The own real transform reads all 2N samples: pad them here.
    ORVIK::VecZeroS(samples + n, n);
    m_fftReal.FFT_Real_S_2(samples, m_SpecRe.data(), m_SpecIm.data());
}

void clsFFTFilter::finishBlock(clsFFTFilter& source, float* SamplesInOut)
{
    const int32_t n = m_allocated;
    if (vendorReady()) {
        const float* __restrict in = source.m_vendorPass.spectrum();
        float* __restrict out = m_vendorPass.spectrum();
        const float* __restrict h = m_HVendor.data();
        if (in == out) {
            Convolve_Interleaved_S_1(h, out, n + 1);
        } else {
            Filter_Interleaved_S_2(in, h, out, n + 1);
        }
        m_vendorPass.inverse();
        const float* y = m_vendorPass.output();
        Add_S_3(y, m_Overlap.data(), SamplesInOut, n - 2);
        std::memcpy(SamplesInOut + (n - 2), y + (n - 2), static_cast<size_t>(n + 2) * sizeof(float));
        std::memcpy(m_Overlap.data(), y + n, static_cast<size_t>(n - 2) * sizeof(float));
        return;
    }
    // The inverse reads only bins 0..N and rebuilds the rest as their
    // conjugates, so the product over the upper bins would be discarded.
    const int32_t bins = std::min(binCount(), n + 1);
    if (&source == this)
        Convolve_Cart_S_2(m_HRe.data(), m_HIm.data(), m_SpecRe.data(), m_SpecIm.data(), bins);
    else
        vectorlib::Filter_S_Cart_2(source.m_SpecRe.data(), source.m_SpecIm.data(), m_HRe.data(), m_HIm.data(),
                                   m_SpecRe.data(), m_SpecIm.data(), bins);
    m_fftReal.IFFT_Real_S_2(m_SpecRe.data(), m_SpecIm.data(), SamplesInOut);
    ORVIK::VecAdd2S(m_Overlap.data(), SamplesInOut, n - 2);
    ORVIK::VecCopyS(SamplesInOut + n, m_Overlap.data(), n - 2);
}

void clsFFTFilter::Filter_S_Cart_1(float* RealInOut, float* IMagInOut)
{
    if (!ready())
        return;
    followBackEnd();
    Convolve_Cart_S_2(m_HRe.data(), m_HIm.data(), RealInOut, IMagInOut, binCount());
}

void clsFFTFilter::Filter_S_Cart_2(const float* RealIn, const float* IMagIn, float* RealOut, float* IMagOut)
{
    if (!ready())
        return;
    followBackEnd();
    vectorlib::Filter_S_Cart_2(RealIn, IMagIn, m_HRe.data(), m_HIm.data(), RealOut, IMagOut, binCount());
}

void clsFFTFilter::Filter_S_Cart_2_Plain(const float* FSamplesInI, const float* FSamplesinQ, float* FSamplesOutI,
                                         float* FSamplesOutQ)
{
    if (!ready())
        return;
    for (int32_t k = 0; k <= 2 * m_allocated; ++k) {
        const float inI = FSamplesInI[k];
        const float inQ = FSamplesinQ[k];
        FSamplesOutI[k] = inI * m_HRe[k] - inQ * m_HIm[k];
        FSamplesOutQ[k] = inI * m_HIm[k] + inQ * m_HRe[k];
    }
}

void clsFFTFilter::Filter_S_Polar_2(const float* MagIn, const float* PhaseIn, float* MagOut, float* PhaseOut)
{
    if (!ready())
        return;
    ORVIK::VecMpy3S(MagIn, m_HMag.data(), MagOut, 2 * m_allocated);
    Add_S_3(PhaseIn, m_HPhase.data(), PhaseOut, 2 * m_allocated);
}

void clsFFTFilter::Filter_S_Polar_1(float* MagInOut, float* PhaseInOut)
{
    if (!ready())
        return;
    ORVIK::VecMpy2S(m_HMag.data(), MagInOut, 2 * m_allocated);
    ORVIK::VecAdd2S(m_HPhase.data(), PhaseInOut, 2 * m_allocated);
}

void clsFFTFilter::GetFilterCoeffs_F_S(float* Mag, float* Phase) const
{
    ORVIK::VecCopyS(m_HMag.data(), Mag, m_allocated);
    ORVIK::VecCopyS(m_HPhase.data(), Phase, m_allocated);
}

void clsFFTFilter::GetFilterCoeffs_T_S(float* Coeffs) const
{
    ORVIK::VecCopyS(m_KernelS.data(), Coeffs, m_allocated);
}

void clsFFTFilter::GetFilterTCoeffs_S(float* Dest) const
{
    ORVIK::VecCopyS(m_KernelS.data(), Dest, m_allocated);
}

void clsFFTFilter::GetFilterTCoeffs_D(double* Dest) const
{
    ORVIK::VecCopy8(m_KernelD.data(), Dest, m_allocated);
}

void clsFFTFilter::GetFilterFCoeffs_D(double* DestI, double* DestQ) const
{
    ORVIK::VecCopy8(m_FCoeffsDRe.data(), DestI, m_allocated);
    ORVIK::VecCopy8(m_FCoeffsDIm.data(), DestQ, m_allocated);
}

void clsFFTFilter::GetFilterFCoeffs_S(float* DestI, float* DestQ) const
{
    const int32_t bins = std::clamp(SegmentSize, 0, 2 * m_allocated + 1);
    ORVIK::VecCopyS(m_HRe.data(), DestI, bins);
    ORVIK::VecCopyS(m_HIm.data(), DestQ, bins);
}

void clsFFTFilter::GetFilterPCoeffs_S(float* DestI, float* DestQ) const
{
    ORVIK::VecCopyS(m_HMag.data(), DestI, m_allocated);
    ORVIK::VecCopyS(m_HPhase.data(), DestQ, m_allocated);
}

void clsFFTFilter::PutFilterPCoeffs_S(const float* SrcI, const float* SrcQ)
{
    ORVIK::VecCopyS(SrcI, m_HMag.data(), m_allocated);
    ORVIK::VecCopyS(SrcQ, m_HPhase.data(), m_allocated);
    kernelFromTaps_ = false;  // a new transform would overwrite what was put
}

void clsFFTFilter::PutFilterFCoeffs_S(const float* SrcI, const float* SrcQ)
{
    if (!ready())
        return;
    ORVIK::VecCopyS(SrcI, m_HRe.data(), binCount());
    ORVIK::VecCopyS(SrcQ, m_HIm.data(), binCount());
    ORVIK::VecCartToPolarS(m_HRe.data(), m_HIm.data(), m_HMag.data(), m_HPhase.data(), m_allocated);
    kernelFromTaps_ = false;
    refreshVendorSpectrum();
}

void clsFFTFilter::PutFilterTCoeffs_S(const float* Src)
{
    if (!ready())
        return;
    ORVIK::VecCopyS(Src, m_KernelS.data(), m_allocated);
    m_fft.Points = 2 * m_allocated;
    m_fft.FFTInit(2 * m_allocated);
    transformKernel();
}

void clsFFTFilter::PutFilterTCoeffs_D(const double* Src)
{
    if (!ready())
        return;
    DoubleToSingle_D_2(Src, m_KernelS.data(), m_allocated);
    ORVIK::VecCopy8(Src, m_KernelD.data(), m_allocated);
    m_fft.Points = 2 * m_allocated;
    m_fft.FFTInit(2 * m_allocated);
    transformKernel();
}

void clsFFTFilter::CalcWindowCoeffs(int32_t WindowTypeToUse)
{
    CalcWindowCoeffs_D(m_allocated, m_Window.data(), WindowTypeToUse);
}

void clsFFTFilter::CalcWindowCoeffs_Plain(double* WindowCoeffs, int32_t NumPoints, int32_t WindowTypeToUse) const
{
    if (NumPoints <= 0)
        return;
    const int32_t m = NumPoints - 1;
    for (int32_t i = 0; i <= m; ++i) {
        if (WindowTypeToUse == 1)
            WindowCoeffs[i] = 0.54 - 0.46 * std::cos(TwoPi * i / m);
        else if (WindowTypeToUse == 2)
            WindowCoeffs[i] = 0.42 - 0.5 * std::cos(TwoPi * i / m) + 0.08 * std::cos(FourPi * i / m);
    }
}

void clsFFTFilter::CalcBandPass()
{
    const int32_t n = m_allocated;
    if (n <= 0)
        return;
    CalcBPFilterCoeffs(n, m_KernelD.data(), FHRadians, FLRadians, QPhase);
    Mpy_D_2(m_Window.data(), m_KernelD.data(), n);
    if (NormaliseGain) {
        const double sum = Sum_D_1(m_KernelD.data(), n);
        Mpy_D_1(sum / n + 1.0, m_KernelD.data(), n);
    }
    DoubleToSingle_D_2(m_KernelD.data(), m_KernelS.data(), n);
}

void clsFFTFilter::CalcBandPass_Plain()
{
    const int32_t n = m_allocated;
    if (n <= 0)
        return;
    const int32_t m = n - 1;
    const int32_t half = m / 2;
    double* h = m_KernelD.data();
    h[m] = 0.0;
    for (int32_t i = -half; i <= half; ++i) {
        const int32_t j = i + half;
        if (i == 0)
            h[j] = QPhase ? 0.0 : (FHRadians - FLRadians) / Pi;
        else if (QPhase)
            h[j] = (std::cos(i * FHRadians) - std::cos(i * FLRadians)) / (i * Pi);
        else
            h[j] = (std::sin(i * FHRadians) - std::sin(i * FLRadians)) / (i * Pi);
    }
    for (int32_t j = 0; j <= m; ++j)
        h[j] *= m_Window[j];
    if (NormaliseGain) {
        double sum = 0.0;
        for (int32_t j = 0; j <= m; ++j)
            sum += h[j];
        const double scale = sum / m + 1.0;
        for (int32_t j = 0; j <= m; ++j)
            h[j] *= scale;
    }
    for (int32_t j = 0; j <= m; ++j)
        m_KernelS[j] = static_cast<float>(h[j]);
}

// Windowed low-pass without the division by pi, centred on N/2, written for
// k = 0..N; only the first N entries are windowed.
void clsFFTFilter::lowPassInto(double* dst, double w)
{
    const int32_t n = m_allocated;
    const int32_t mid = n / 2;
    for (int32_t k = 0; k <= n; ++k) {
        const int32_t d = k - mid;
        if (d == 0)
            dst[k] = QPhase ? 0.0 : w;
        else
            dst[k] = QPhase ? std::cos(d * w) / d : std::sin(d * w) / d;
    }
    Mpy_D_2(m_Window.data(), dst, n);
}

// Scales a low-pass when NormaliseGain asks for it: by (S/N + 1) under the
// band-pass rule, else by negateFactor / S when S is not 0.
void clsFFTFilter::scaleLowPass(double* dst, bool bandPassRule, double negateFactor)
{
    if (!NormaliseGain)
        return;
    const int32_t n = m_allocated;
    const double sum = Sum_D_1(dst, n);
    if (bandPassRule)
        Mpy_D_1(sum / n + 1.0, dst, n);
    else if (sum != 0.0)
        Mpy_D_1(negateFactor / sum, dst, n);
}

void clsFFTFilter::CalcBandStop_PAS()
{
    if (m_allocated <= 0)
        return;
    CalcBSFilterCoeffs(m_allocated, m_KernelD.data(), m_KernelS.data(), m_Window.data(), FHRadians, FLRadians,
                       QPhase, m_LowPassD.data());
}

void clsFFTFilter::CalcBandStop_Direct()
{
    const int32_t n = m_allocated;
    if (n <= 0)
        return;
    lowPassInto(m_LowPassD.data(), FLRadians);
    scaleLowPass(m_LowPassD.data(), false, 1.0);
    lowPassInto(m_KernelD.data(), FHRadians);
    scaleLowPass(m_KernelD.data(), false, 1.0);
    Mpy_D_1(-1.0, m_KernelD.data(), n);
    m_KernelD[n / 2] += 1.0;
    Add_D_2(m_LowPassD.data(), m_KernelD.data(), n);
    DoubleToSingle_D_2(m_KernelD.data(), m_KernelS.data(), n);
}

void clsFFTFilter::CalcBandStop()
{
    const int32_t n = m_allocated;
    if (n <= 0)
        return;
    const bool qPhase = QPhase;
    QPhase = false;
    lowPassInto(m_LowPassD.data(), FLRadians);
    scaleLowPass(m_LowPassD.data(), false, 1.0);
    lowPassInto(m_KernelD.data(), FHRadians);
    scaleLowPass(m_KernelD.data(), false, -1.0);
    QPhase = qPhase;
    m_KernelD[n / 2] += 1.0;
    Add_D_2(m_LowPassD.data(), m_KernelD.data(), n);
    DoubleToSingle_D_2(m_KernelD.data(), m_KernelS.data(), n);
}

void clsFFTFilter::CalcBandPass_Direct()
{
    const int32_t n = m_allocated;
    if (n <= 0)
        return;
    lowPassInto(m_LowPassD.data(), FLRadians);
    scaleLowPass(m_LowPassD.data(), true, 1.0);
    lowPassInto(m_KernelD.data(), FHRadians);
    scaleLowPass(m_KernelD.data(), true, 1.0);
    Mpy_D_1(-1.0, m_KernelD.data(), n);
    m_KernelD[n / 2] += 1.0;
    Add_D_2(m_LowPassD.data(), m_KernelD.data(), n);
    Mpy_D_1(-1.0, m_KernelD.data(), n);
    m_KernelD[n / 2] += 1.0;
    Mpy_D_2(m_Window.data(), m_KernelD.data(), n);
    if (NormaliseGain) {
        const double sum = Sum_D_1(m_KernelD.data(), n);
        Mpy_D_1(sum / n + 1.0, m_KernelD.data(), n);
    }
    DoubleToSingle_D_2(m_KernelD.data(), m_KernelS.data(), n);
}

} // namespace orvik
