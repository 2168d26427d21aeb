#pragma once
// FIR filter by FFT overlap-add: a windowed-sinc band-pass or band-stop
// kernel of about Points taps, applied to blocks of Points samples through a
// real FFT of SegmentSize = 2 x Points, with the tail of each block carried
// into the next. Every array and both inner transforms are made by Init;
// filtering a block allocates nothing.
//
// Calling order: set SegmentSize, FSampling, WindowType, QPhase,
// NormaliseGain, BandReject, FLow, FHigh; Init(N); MakeFilter(); then
// Filter_FFT_S_1 once per block. New edges: set them and call MakeFilter
// again (the window is not recomputed; WindowType takes effect in Init).

#include "dsp/clsFFT.h"
#include "dsp/clsFFTReal.h"
#include "dsp/VendorFft.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvik {

class clsFFTFilter {
public:
    int32_t Index = 0;
    std::string Name;
    int32_t Points = 0;       // N, block length
    int32_t Order = 0;        // log2 N, rounded
    int32_t SegmentSize = 0;  // FFT length, the owner keeps it at 2N
    int32_t FSampling = 0;    // Hz
    int32_t FLow = 0;         // Hz; MakeFilter raises it to 0 when below 0.1
    double FLRadians = 0.0;   // radians per sample
    int32_t FHigh = 0;        // Hz; MakeFilter lowers it to FSampling / 2
    double FHRadians = 0.0;
    int32_t WindowType = 2;   // 0 rectangular, 1 Hamming, 2 Blackman
    int32_t FNotch = 0;       // kept for the owner; not read here
    double FNotchRadians = 0.0;
    int32_t NotchBW = 0;
    double HzPerBin = 0.0;    // FSampling / SegmentSize
    int32_t BinFLow = 0;
    int32_t BinFHigh = 0;
    int32_t BinFCount = 0;
    bool QPhase = false;      // design the 90-degree version of the response
    bool NormaliseGain = false;
    bool IsInitialised = false;  // kept for the owner; this class never sets it
    bool Active = false;      // the owner's on/off switch; not read here
    bool BandReject = false;  // MakeFilter designs a band-stop

    bool UseSPL() const { return m_UseSPL; }
    // Also sets the program-wide switch (last writer wins).
    void setUseSPL(bool value);

    // Spectral product over SegmentSize bins with the kernel's spectrum.
    void Filter_S_Cart_2_Plain(const float* FSamplesInI, const float* FSamplesinQ, float* FSamplesOutI,
                               float* FSamplesOutQ);
    void Filter_S_Polar_2(const float* MagIn, const float* PhaseIn, float* MagOut, float* PhaseOut);
    void Filter_S_Polar_1(float* MagInOut, float* PhaseInOut);
    void Filter_S_Cart_2(const float* RealIn, const float* IMagIn, float* RealOut, float* IMagOut);
    void Filter_S_Cart_1(float* RealInOut, float* IMagInOut);
    // Filters one block in place: SamplesInOut holds 2N entries, the N new
    // samples first; on return entries 0..N-1 are the filtered block and
    // N..2N-1 are scratch.
    void Filter_FFT_S_1(float* SamplesInOut);
    // Filter_FFT_S_1 on this filter and on Second for two arrays that hold the
    // same N new samples, with one forward transform for both. The results
    // are those of the two separate calls.
    void FilterSameInput_FFT_S_1(clsFFTFilter& Second, float* SamplesInOut, float* SecondInOut);

    // Sizes everything for blocks of NumPoints (a power of two, 2 to 16384)
    // and fills the window. Refused (false, nothing changed) when the size is
    // not usable or SegmentSize / FSampling are not positive.
    bool Init(int32_t NumPoints);
    // Designs the kernel from the current edges and flags and transforms it.
    // Refused (false) before Init.
    bool MakeFilter();
    // Drops the carried tail, for an owner that switches the filter back on
    // after it has stood idle.
    void ClearOverlap();

    // Coefficient access; counts are N unless said.
    void GetFilterCoeffs_F_S(float* Mag, float* Phase) const;
    void GetFilterCoeffs_T_S(float* Coeffs) const;
    void CalcWindowCoeffs(int32_t WindowTypeToUse);
    void CalcWindowCoeffs_Plain(double* WindowCoeffs, int32_t NumPoints, int32_t WindowTypeToUse) const;
    void CalcBandStop_PAS();
    void CalcBandStop();
    void CalcBandStop_Direct();
    void GetFilterTCoeffs_D(double* Dest) const;
    void GetFilterTCoeffs_S(float* Dest) const;
    void GetFilterFCoeffs_D(double* DestI, double* DestQ) const;
    void GetFilterFCoeffs_S(float* DestI, float* DestQ) const;  // SegmentSize each
    void GetFilterPCoeffs_S(float* DestI, float* DestQ) const;
    void PutFilterPCoeffs_S(const float* SrcI, const float* SrcQ);
    void PutFilterTCoeffs_S(const float* Src);
    void PutFilterFCoeffs_S(const float* SrcI, const float* SrcQ);  // SegmentSize each
    void PutFilterTCoeffs_D(const double* Src);
    void CalcBandPass();
    void CalcBandPass_Direct();
    void CalcBandPass_Plain();

private:
    bool ready();
    int32_t binCount() const;
    void transformKernel();
    void refreshVendorSpectrum();
    // The vendor pass on the vendor back-end, planned at its first use.
    bool vendorReady();
    // A kernel transformed on the other back-end is transformed again, so
    // that the filter gives what one designed on the current back-end gives.
    void followBackEnd();
    // The spectrum of the block's N samples, zero-padded, on either back-end.
    void forwardBlock(float* samples);
    // Multiplies a block spectrum (from forwardBlock of this filter or of a
    // filter of the same size) by the kernel's, inverts, and overlaps.
    void finishBlock(clsFFTFilter& source, float* SamplesInOut);
    void lowPassInto(double* dst, double w);
    void scaleLowPass(double* dst, bool bandPassRule, double negateFactor);

    bool m_UseSPL = false;
    bool m_misuseReported = false;
    int32_t m_allocated = 0;  // N the arrays were sized for
    std::vector<double> m_KernelD;
    std::vector<float> m_KernelS;
    std::vector<float> m_KernelIm;
    std::vector<double> m_LowPassD;
    std::vector<double> m_FCoeffsDRe;
    std::vector<double> m_FCoeffsDIm;
    std::vector<float> m_HRe;
    std::vector<float> m_HIm;
    std::vector<float> m_HMag;
    std::vector<float> m_HPhase;
    std::vector<float> m_SpecRe;
    std::vector<float> m_SpecIm;
    std::vector<float> m_Overlap;
    std::vector<double> m_Window;
    // The vendor pass and the kernel spectrum it multiplies by, bins 0..N
    // interleaved and scaled by 1/(2N) so the inverse needs no scaling pass.
    ORVIK::VendorRealPass m_vendorPass;
    std::vector<float> m_HVendor;
    bool kernelFromTaps_ = false;  // the spectrum is the transformed kernel, not put in whole
    bool kernelOnVendor_ = false;  // the back-end that transformed it
    clsFFT m_fft;
    clsFFTReal m_fftReal;
};

} // namespace orvik
