#pragma once
// The program's own vector library: plain loops over pointer-plus-count
// vectors, sources first, then the destination, then the count (a few
// entries keep a different order, noted at each). Every entry does nothing
// for a count of 0 or less; reductions then return 0.

#include <cstdint>
#include <functional>

namespace orvik::vectorlib {

// Conversions, value for value, unscaled.
void Int16ToFloat_S_2(const int16_t* src, float* dst, int32_t n);
// Rounds half to even and saturates at -32768 and 32767 (NaN gives 0).
void FloatToInt16_S_2(const float* src, int16_t* dst, int32_t n);
void DoubleToSingle_D_2(const double* src, float* dst, int32_t n);
// a(i) = src(2i), b(i) = src(2i+1); n counts pairs.
void DeInterlace_16_2(const int16_t* src, int16_t* a, int16_t* b, int32_t n);
void DeInterlace_S_2(const float* src, float* a, float* b, int32_t n);
void Interlace_16_2(const int16_t* a, const int16_t* b, int16_t* dst, int32_t n);

// v(i) op= value.
void Add_S_1(float value, float* v, int32_t n);
void Sub_S_1(float value, float* v, int32_t n);
void Mpy_S_1(float value, float* v, int32_t n);
void Mpy_D_1(double value, double* v, int32_t n);
// dst(i) op= src(i).
void Add_S_2(const float* src, float* dst, int32_t n);
void Mpy_S_2(const float* src, float* dst, int32_t n);
void Mpy_D_2(const double* src, double* dst, int32_t n);
void Add_D_2(const double* src, double* dst, int32_t n);
// dst(i) = a(i) op b(i).
void Add_S_3(const float* a, const float* b, float* dst, int32_t n);
void Sub_S_3(const float* a, const float* b, float* dst, int32_t n);
void Mpy_S_3(const float* a, const float* b, float* dst, int32_t n);
void Abs_S_1(float* v, int32_t n);
void Negate_S(float* v, int32_t n);
// v(i) = -v(i) / d.
void NegateAndDiv_S_1(float d, float* v, int32_t n);
void SetMemory_S(float* v, int32_t n, float value);
// v(1..n-1) = old v(0..n-2); v(0) is left for the caller to write.
void ShiftVectorRight_S_1(float* v, int32_t n);
// v(0) = start, v(n-1) = end, straight in between; n = 1 gives start. The
// ramp ends exactly on end so that a gain ramp meets the gain that follows.
void VectorRamp_S_1(float start, float end, float* v, int32_t n);

float Sum_S_1(const float* v, int32_t n);
double Sum_D_1(const double* v, int32_t n);
int32_t Sum_Int16_1(const int16_t* v, int32_t n);
float Sum_Int32_1(const int32_t* v, int32_t n);
float MaxValue_S(const float* v, int32_t n);
int16_t MaxValue_16(const int16_t* v, int32_t n);
float MaxValueAbs_S(const float* v, int32_t n);
// 0-based; the first of equal largest values.
int32_t MaxIndex_S(const float* v, int32_t n);

// Phase in radians.
void CartToPolar_S_2(const float* re, const float* im, float* mag, float* phase, int32_t n);
void PolarToCart_S_2(const float* mag, const float* phase, float* re, float* im, int32_t n);
// dst(i) = re(i)^2 + im(i)^2.
void PowerSpectrum_S_2(const float* re, const float* im, float* dst, int32_t n);
// Clip at level from above / from below; the second argument is unused.
void HiThresh_S_1(float* v, float unused, float level, int32_t n);
void LowThresh_S_1(float* v, float unused, float level, int32_t n);
// Elements below level are multiplied by fraction.
void LowThreshFract_S_1(float* v, float level, float fraction, int32_t n);
// The polar-domain LowThreshFract_S_1 on a Cartesian spectrum: bins whose
// magnitude is below level are multiplied by fraction, the others are left
// exactly as they are, with no trip through magnitude and phase.
void LowThreshFractCart_S_1(float* re, float* im, float level, float fraction, int32_t n);
// Mixes x down by a quarter of the sample rate:
// a(i) = x(i) cos(pi (i+1) / 2), b(i) = x(i) sin(pi (i+1) / 2).
void MixerIQ_S_S_1(const float* x, float* a, float* b, int32_t n);

// Forward, unscaled radix-2 complex FFT of n = 2^order points from the
// tables clsFFT builds (bit-reverse 0..n-1, cosine and sine 0..order).
// Inputs and outputs must be distinct arrays.
void FFT_S_2(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n, int32_t order,
             const int32_t* bitReverse, const float* cosine, const float* sine);
// Final stage of the real FFT: turns the n/2-point complex transform of the
// even (re) and odd (im) samples, held in bins 0..n/2-1, into the full
// n-point spectrum of the real signal, in place (arrays of n entries).
// The last butterfly's twiddle is advanced by recurrence here.
void FFT_Real_S_1(float* re, float* im, int32_t points, int32_t order);
// The same stage with the last butterfly's twiddles read from tables of
// points/2 entries, cos(pi i / (points/2)) and -sin(pi i / (points/2)):
// more exact, and free of the recurrence's serial dependence.
void FFT_Real_S_1_Tabled(float* re, float* im, int32_t points, const float* twiddleCos, const float* twiddleSin);
// Bins n/2+1..n-1 become the conjugates of bins n/2-1..1, n = 2^order.
void MakeNegFreq_S_1_P(float* re, float* im, int32_t order);
// out(i) = sum over m of coeffs(m) * delayLine(taps + i - m), i = 0..n-1:
// the delay line holds taps samples of history followed by the block.
void sHilbert(const float* delayLine, const float* coeffs, float* out, int32_t taps, int32_t n);
// The same filter from its non-zero taps only (offsets m ascending, values
// coeffs(m)), several outputs at a time; each output sums its products in
// the same order as sHilbert, so the results are identical.
void sHilbertTaps(const float* delayLine, const int32_t* offsets, const float* values, int32_t count, float* out,
                  int32_t taps, int32_t n);

// Window of n points: 1 Hamming, 2 Blackman, 0 rectangular (all ones);
// any other type leaves the entries as they are.
void CalcWindowCoeffs_D(int32_t n, double* window, int32_t windowType);
// Raw windowless band-pass (or its quadrature version) of n-1 taps centred
// on (n-1)\2; entry n-1 is 0. wH, wL in radians per sample.
void CalcBPFilterCoeffs(int32_t n, double* kernel, double wH, double wL, bool qPhase);
// Windowed band-stop of n taps centred on n/2, both low-passes scaled to unit
// sum; writes kernelD and its 32-bit copy kernelS. lowPassScratch holds n+1.
void CalcBSFilterCoeffs(int32_t n, double* kernelD, float* kernelS, const double* window, double wH, double wL,
                        bool qPhase, double* lowPassScratch);
// In place complex product (re, im) *= (hRe, hIm) over n bins.
void Convolve_Cart_S_2(const float* hRe, const float* hIm, float* re, float* im, int32_t n);
// (outRe, outIm) = (inRe, inIm) * (hRe, hIm) over n bins.
void Filter_S_Cart_2(const float* inRe, const float* inIm, const float* hRe, const float* hIm, float* outRe,
                     float* outIm, int32_t n);

// The same two products on interleaved spectra (re, im, re, im, ...): x *= h
// in place, and out = in * h.
void Convolve_Interleaved_S_1(const float* h, float* x, int32_t n);
void Filter_Interleaved_S_2(const float* in, const float* h, float* out, int32_t n);

// Runs a kept procedure; an empty one is skipped.
void CallBack(const std::function<void()>& procedure);

} // namespace orvik::vectorlib
