#include "dsp/VectorLib.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvik::vectorlib {

void Int16ToFloat_S_2(const int16_t* src, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src[i]);
}

namespace {

int16_t floatToInt16(float x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 32767.0f)
        return 32767;
    if (x <= -32768.0f)
        return -32768;
    return static_cast<int16_t>(std::nearbyint(x));  // default mode: half to even
}

} // namespace

void FloatToInt16_S_2(const float* src, int16_t* dst, int32_t n)
{
    int32_t i = 0;
#if defined(__SSE2__)
    // Clamped first, so the conversion never meets its out-of-range value;
    // NaN is masked to 0 before it. cvtps rounds in the current mode, half to
    // even by default, as nearbyint does.
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= n; i += 8) {
        const __m128 a = _mm_loadu_ps(src + i);
        const __m128 b = _mm_loadu_ps(src + i + 4);
        const __m128 ca = _mm_and_ps(_mm_min_ps(_mm_max_ps(a, lo), hi), _mm_cmpord_ps(a, a));
        const __m128 cb = _mm_and_ps(_mm_min_ps(_mm_max_ps(b, lo), hi), _mm_cmpord_ps(b, b));
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(ca), _mm_cvtps_epi32(cb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
#endif
    for (; i < n; ++i)
        dst[i] = floatToInt16(src[i]);
}

void DoubleToSingle_D_2(const double* src, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src[i]);
}

void DeInterlace_16_2(const int16_t* src, int16_t* a, int16_t* b, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        a[i] = src[2 * i];
        b[i] = src[2 * i + 1];
    }
}

void DeInterlace_S_2(const float* src, float* a, float* b, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        a[i] = src[2 * i];
        b[i] = src[2 * i + 1];
    }
}

void Interlace_16_2(const int16_t* a, const int16_t* b, int16_t* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        dst[2 * i] = a[i];
        dst[2 * i + 1] = b[i];
    }
}

void Add_S_1(float value, float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] += value;
}

void Sub_S_1(float value, float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] -= value;
}

void Mpy_S_1(float value, float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] *= value;
}

void Mpy_D_1(double value, double* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] *= value;
}

void Add_S_2(const float* src, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] += src[i];
}

void Mpy_S_2(const float* src, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] *= src[i];
}

void Mpy_D_2(const double* src, double* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] *= src[i];
}

void Add_D_2(const double* src, double* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] += src[i];
}

void Add_S_3(const float* a, const float* b, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = a[i] + b[i];
}

void Sub_S_3(const float* a, const float* b, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = a[i] - b[i];
}

void Mpy_S_3(const float* a, const float* b, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = a[i] * b[i];
}

void Abs_S_1(float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] = std::fabs(v[i]);
}

void Negate_S(float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] = -v[i];
}

void NegateAndDiv_S_1(float d, float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] = -v[i] / d;
}

void SetMemory_S(float* v, int32_t n, float value)
{
    for (int32_t i = 0; i < n; ++i)
        v[i] = value;
}

void ShiftVectorRight_S_1(float* v, int32_t n)
{
    for (int32_t i = n - 1; i >= 1; --i)
        v[i] = v[i - 1];
}

void VectorRamp_S_1(float start, float end, float* v, int32_t n)
{
    if (n <= 0)
        return;
    if (n == 1) {
        v[0] = start;
        return;
    }
    const double step = (static_cast<double>(end) - start) / (n - 1);
    for (int32_t i = 0; i < n - 1; ++i)
        v[i] = static_cast<float>(start + step * i);
    v[n - 1] = end;
}

float Sum_S_1(const float* v, int32_t n)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return sum;
}

double Sum_D_1(const double* v, int32_t n)
{
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return sum;
}

int32_t Sum_Int16_1(const int16_t* v, int32_t n)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return static_cast<int32_t>(
        std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

float Sum_Int32_1(const int32_t* v, int32_t n)
{
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i)
        sum += v[i];
    return static_cast<float>(sum);
}

float MaxValue_S(const float* v, int32_t n)
{
    if (n <= 0)
        return 0.0f;
    float best = v[0];
    for (int32_t i = 1; i < n; ++i)
        best = std::max(best, v[i]);
    return best;
}

int16_t MaxValue_16(const int16_t* v, int32_t n)
{
    if (n <= 0)
        return 0;
    int16_t best = v[0];
    for (int32_t i = 1; i < n; ++i)
        best = std::max(best, v[i]);
    return best;
}

float MaxValueAbs_S(const float* v, int32_t n)
{
    float best = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        best = std::max(best, std::fabs(v[i]));
    return best;
}

int32_t MaxIndex_S(const float* v, int32_t n)
{
    int32_t best = 0;
    for (int32_t i = 1; i < n; ++i)
        if (v[i] > v[best])
            best = i;
    return best;
}

void CartToPolar_S_2(const float* re, const float* im, float* mag, float* phase, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float r = re[i];
        const float q = im[i];
        mag[i] = std::hypot(r, q);
        phase[i] = std::atan2(q, r);
    }
}

void PolarToCart_S_2(const float* mag, const float* phase, float* re, float* im, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float m = mag[i];
        const float p = phase[i];
        re[i] = m * std::cos(p);
        im[i] = m * std::sin(p);
    }
}

void PowerSpectrum_S_2(const float* re, const float* im, float* dst, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = re[i] * re[i] + im[i] * im[i];
}

void HiThresh_S_1(float* v, float, float level, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        if (v[i] > level)
            v[i] = level;
}

void LowThresh_S_1(float* v, float, float level, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        if (v[i] < level)
            v[i] = level;
}

void LowThreshFract_S_1(float* v, float level, float fraction, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        if (v[i] < level)
            v[i] *= fraction;
}

void LowThreshFractCart_S_1(float* re, float* im, float level, float fraction, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        if (std::sqrt(re[i] * re[i] + im[i] * im[i]) < level) {
            re[i] *= fraction;
            im[i] *= fraction;
        }
    }
}

void MixerIQ_S_S_1(const float* x, float* a, float* b, int32_t n)
{
    // cos and sin of pi (i+1) / 2 run through (0, 1), (-1, 0), (0, -1), (1, 0).
    static constexpr float cosine[4] = {0.0f, -1.0f, 0.0f, 1.0f};
    static constexpr float sine[4] = {1.0f, 0.0f, -1.0f, 0.0f};
    for (int32_t i = 0; i < n; ++i) {
        a[i] = x[i] * cosine[i & 3];
        b[i] = x[i] * sine[i & 3];
    }
}

namespace {

// Twiddle runs of stages 2..14 (spans up to 16384), stage k's le2 values
// from entry le2 - 1, with the table entries they were made from.
struct TwiddleRuns {
    static constexpr int32_t LastStage = 14;
    float re[1 << LastStage];
    float im[1 << LastStage];
    float builtCos[LastStage + 1];
    float builtSin[LastStage + 1];
    bool built[LastStage + 1];
};

// One stage's butterflies for a run of le2 pairs, twiddles from the stage's
// table.
void butterflies(float* __restrict topRe, float* __restrict topIm, float* __restrict bottomRe,
                 float* __restrict bottomIm, const float* __restrict twRe, const float* __restrict twIm, int32_t le2)
{
    for (int32_t j = 0; j < le2; ++j) {
        const float tr = twRe[j] * bottomRe[j] - twIm[j] * bottomIm[j];
        const float ti = twIm[j] * bottomRe[j] + twRe[j] * bottomIm[j];
        bottomRe[j] = topRe[j] - tr;
        bottomIm[j] = topIm[j] - ti;
        topRe[j] += tr;
        topIm[j] += ti;
    }
}

} // namespace

void FFT_S_2(const float* reIn, const float* imIn, float* reOut, float* imOut, int32_t n, int32_t order,
             const int32_t* bitReverse, const float* cosine, const float* sine)
{
    if (n <= 0)
        return;
    for (int32_t i = 0; i < n; ++i) {
        reOut[bitReverse[i]] = reIn[i];
        imOut[bitReverse[i]] = imIn[i];
    }
    // The twiddle of each stage is advanced by recurrence in float, as the
    // tables are meant to be used. The run of values depends only on the
    // stage's table entries, so it is kept from call to call (rebuilt when
    // the entries differ): the recurrence is a long serial chain and would
    // otherwise cost as much as the butterflies.
    thread_local TwiddleRuns runs{};
    // The first stage's twiddle is exactly 1: plain sums and differences.
    if (order >= 1) {
        for (int32_t i = 0; i < n; i += 2) {
            const float br = reOut[i + 1];
            const float bi = imOut[i + 1];
            reOut[i + 1] = reOut[i] - br;
            imOut[i + 1] = imOut[i] - bi;
            reOut[i] += br;
            imOut[i] += bi;
        }
    }
    for (int32_t stage = 2; stage <= order; ++stage) {
        const int32_t le = 1 << stage;
        const int32_t le2 = le / 2;
        if (stage > TwiddleRuns::LastStage)
            return;
        float* twiddleRe = runs.re + (le2 - 1);
        float* twiddleIm = runs.im + (le2 - 1);
        const float c = cosine[stage];
        const float s = sine[stage];
        if (!runs.built[stage] || runs.builtCos[stage] != c || runs.builtSin[stage] != s) {
            float ur = 1.0f;
            float ui = 0.0f;
            for (int32_t j = 0; j < le2; ++j) {
                twiddleRe[j] = ur;
                twiddleIm[j] = ui;
                const float nextUr = ur * c - ui * s;
                ui = ui * c + ur * s;
                ur = nextUr;
            }
            runs.built[stage] = true;
            runs.builtCos[stage] = c;
            runs.builtSin[stage] = s;
        }
        if (le2 >= 16) {
            for (int32_t i = 0; i < n; i += le)
                butterflies(reOut + i, imOut + i, reOut + i + le2, imOut + i + le2, twiddleRe, twiddleIm, le2);
            continue;
        }
        // Short runs: one twiddle at a time across all groups instead.
        for (int32_t j = 0; j < le2; ++j) {
            const float wr = twiddleRe[j];
            const float wi = twiddleIm[j];
            for (int32_t i = j; i < n; i += le) {
                const int32_t ip = i + le2;
                const float tr = wr * reOut[ip] - wi * imOut[ip];
                const float ti = wi * reOut[ip] + wr * imOut[ip];
                reOut[ip] = reOut[i] - tr;
                imOut[ip] = imOut[i] - ti;
                reOut[i] += tr;
                imOut[i] += ti;
            }
        }
    }
}

namespace {

// Steps 1 and 2 of the final stage: the even/odd frequency split.
void splitEvenOdd(float* __restrict re, float* __restrict im, int32_t n)
{
    const int32_t h = n / 2;
    const int32_t q = n / 4;
    for (int32_t i = 1; i <= q - 1; ++i) {
        const int32_t imi = h - i;
        const float reI = re[i];
        const float reM = re[imi];
        const float imI = im[i];
        const float imM = im[imi];
        const float upperRe = (imI + imM) / 2;
        const float upperIm = -(reI - reM) / 2;
        re[i + h] = upperRe;
        re[imi + h] = upperRe;
        im[i + h] = upperIm;
        im[imi + h] = -upperIm;
        const float lowerRe = (reI + reM) / 2;
        const float lowerIm = (imI - imM) / 2;
        re[i] = lowerRe;
        re[imi] = lowerRe;
        im[i] = lowerIm;
        im[imi] = -lowerIm;
    }
    if (q >= 1) {
        re[3 * q] = im[q];
        im[3 * q] = 0.0f;
        im[q] = 0.0f;
    }
    re[h] = im[0];
    im[h] = 0.0f;
    im[0] = 0.0f;
}

} // namespace

void FFT_Real_S_1(float* re, float* im, int32_t points, int32_t order)
{
    (void)order;
    const int32_t n = points;
    if (n < 2)
        return;
    splitEvenOdd(re, im, n);
    const int32_t h = n / 2;
    constexpr double pi = 3.14159265358979;
    const float sr = static_cast<float>(std::cos(pi / h));
    const float si = static_cast<float>(-std::sin(pi / h));
    float ur = 1.0f;
    float ui = 0.0f;
    for (int32_t i = 0; i < h; ++i) {
        const int32_t ip = i + h;
        const float tr = re[ip] * ur - im[ip] * ui;
        const float ti = re[ip] * ui + im[ip] * ur;
        re[ip] = re[i] - tr;
        im[ip] = im[i] - ti;
        re[i] += tr;
        im[i] += ti;
        const float nextUr = ur * sr - ui * si;
        ui = ur * si + ui * sr;
        ur = nextUr;
    }
}

namespace {

// Upper half of the even/odd split from the mirrored lower half.
void splitUpperHalf(const float* __restrict lowRe, const float* __restrict lowIm, float* __restrict highRe,
                    float* __restrict highIm, int32_t h)
{
    for (int32_t i = 1; i < h; ++i) {
        highRe[i] = (lowIm[i] + lowIm[h - i]) * 0.5f;
        highIm[i] = (lowRe[h - i] - lowRe[i]) * 0.5f;
    }
    highRe[0] = lowIm[0];
    highIm[0] = 0.0f;
}

// The lower half of the split, written as a correction by the upper half
// (re + (mirror - re) / 2 is the mean), fused with the last butterfly.
void finishLowerAndButterfly(float* __restrict lowRe, float* __restrict lowIm, float* __restrict highRe,
                             float* __restrict highIm, const float* __restrict c, const float* __restrict s,
                             int32_t h)
{
    for (int32_t i = 0; i < h; ++i) {
        const float hr = highRe[i];
        const float hi = highIm[i];
        const float lr = lowRe[i] + hi;
        const float li = lowIm[i] - hr;
        const float tr = hr * c[i] - hi * s[i];
        const float ti = hr * s[i] + hi * c[i];
        highRe[i] = lr - tr;
        highIm[i] = li - ti;
        lowRe[i] = lr + tr;
        lowIm[i] = li + ti;
    }
}

} // namespace

void FFT_Real_S_1_Tabled(float* re, float* im, int32_t points, const float* twiddleCos, const float* twiddleSin)
{
    const int32_t n = points;
    if (n < 2)
        return;
    const int32_t h = n / 2;
    splitUpperHalf(re, im, re + h, im + h, h);
    finishLowerAndButterfly(re, im, re + h, im + h, twiddleCos, twiddleSin, h);
}

void MakeNegFreq_S_1_P(float* re, float* im, int32_t order)
{
    if (order < 0 || order > 30)
        return;
    const int32_t n = int32_t{1} << order;
    for (int32_t k = n / 2 + 1; k < n; ++k) {
        re[k] = re[n - k];
        im[k] = -im[n - k];
    }
}

void sHilbert(const float* delayLine, const float* coeffs, float* out, int32_t taps, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float* newest = delayLine + taps + i;
        float acc = 0.0f;
        for (int32_t m = 0; m < taps; ++m)
            acc += coeffs[m] * newest[-m];
        out[i] = acc;
    }
}

void sHilbertTaps(const float* delayLine, const int32_t* offsets, const float* values, int32_t count, float* out,
                  int32_t taps, int32_t n)
{
    constexpr int32_t Width = 16;
    int32_t i = 0;
    for (; i + Width <= n; i += Width) {
        float acc[Width] = {};
        const float* newest = delayLine + taps + i;
        for (int32_t t = 0; t < count; ++t) {
            const float c = values[t];
            const float* x = newest - offsets[t];
            for (int32_t j = 0; j < Width; ++j)
                acc[j] += c * x[j];
        }
        for (int32_t j = 0; j < Width; ++j)
            out[i + j] = acc[j];
    }
    for (; i < n; ++i) {
        const float* newest = delayLine + taps + i;
        float acc = 0.0f;
        for (int32_t t = 0; t < count; ++t)
            acc += values[t] * newest[-offsets[t]];
        out[i] = acc;
    }
}

void CalcWindowCoeffs_D(int32_t n, double* window, int32_t windowType)
{
    if (n <= 0)
        return;
    constexpr double twoPi = 6.28318530717958;
    constexpr double fourPi = 12.56637061435916;
    const int32_t m = n - 1;
    for (int32_t i = 0; i <= m; ++i) {
        // A one-point window has no shape; its only entry is the peak.
        const double x = m > 0 ? static_cast<double>(i) / m : 0.5;
        switch (windowType) {
        case 0:
            window[i] = 1.0;
            break;
        case 1:
            window[i] = 0.54 - 0.46 * std::cos(twoPi * x);
            break;
        case 2:
            window[i] = 0.42 - 0.5 * std::cos(twoPi * x) + 0.08 * std::cos(fourPi * x);
            break;
        default:
            return;
        }
    }
}

void CalcBPFilterCoeffs(int32_t n, double* kernel, double wH, double wL, bool qPhase)
{
    if (n <= 0)
        return;
    constexpr double pi = 3.14159265358979;
    const int32_t half = (n - 1) / 2;
    for (int32_t i = -half; i <= half; ++i) {
        double h;
        if (i == 0)
            h = qPhase ? 0.0 : (wH - wL) / pi;
        else if (qPhase)
            h = (std::cos(i * wH) - std::cos(i * wL)) / (i * pi);
        else
            h = (std::sin(i * wH) - std::sin(i * wL)) / (i * pi);
        kernel[i + half] = h;
    }
    for (int32_t j = 2 * half + 1; j < n; ++j)
        kernel[j] = 0.0;
}

namespace {

// Windowed low-pass of n taps centred on n/2 (plus the unused entry n),
// scaled to unit sum over the n taps.
void unitLowPass(int32_t n, double* dst, const double* window, double w, bool qPhase)
{
    const int32_t mid = n / 2;
    for (int32_t k = 0; k <= n; ++k) {
        const int32_t d = k - mid;
        if (d == 0)
            dst[k] = qPhase ? 0.0 : w;
        else
            dst[k] = qPhase ? std::cos(d * w) / d : std::sin(d * w) / d;
    }
    Mpy_D_2(window, dst, n);
    const double sum = Sum_D_1(dst, n);
    if (sum != 0.0)
        Mpy_D_1(1.0 / sum, dst, n);
}

} // namespace

void CalcBSFilterCoeffs(int32_t n, double* kernelD, float* kernelS, const double* window, double wH, double wL,
                        bool qPhase, double* lowPassScratch)
{
    if (n <= 0)
        return;
    unitLowPass(n, lowPassScratch, window, wL, qPhase);
    unitLowPass(n, kernelD, window, wH, qPhase);
    Mpy_D_1(-1.0, kernelD, n);
    kernelD[n / 2] += 1.0;
    Add_D_2(lowPassScratch, kernelD, n);
    DoubleToSingle_D_2(kernelD, kernelS, n);
}

void Convolve_Cart_S_2(const float* hRe, const float* hIm, float* re, float* im, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float xr = re[i];
        const float xi = im[i];
        re[i] = xr * hRe[i] - xi * hIm[i];
        im[i] = xr * hIm[i] + xi * hRe[i];
    }
}

void Filter_S_Cart_2(const float* inRe, const float* inIm, const float* hRe, const float* hIm, float* outRe,
                     float* outIm, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float xr = inRe[i];
        const float xi = inIm[i];
        outRe[i] = xr * hRe[i] - xi * hIm[i];
        outIm[i] = xr * hIm[i] + xi * hRe[i];
    }
}

void Convolve_Interleaved_S_1(const float* h, float* x, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float xr = x[2 * i];
        const float xi = x[2 * i + 1];
        x[2 * i] = xr * h[2 * i] - xi * h[2 * i + 1];
        x[2 * i + 1] = xr * h[2 * i + 1] + xi * h[2 * i];
    }
}

void Filter_Interleaved_S_2(const float* in, const float* h, float* out, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const float xr = in[2 * i];
        const float xi = in[2 * i + 1];
        out[2 * i] = xr * h[2 * i] - xi * h[2 * i + 1];
        out[2 * i + 1] = xr * h[2 * i + 1] + xi * h[2 * i];
    }
}

void CallBack(const std::function<void()>& procedure)
{
    if (procedure)
        procedure();
}

} // namespace orvik::vectorlib
