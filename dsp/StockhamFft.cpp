#include "dsp/StockhamFft.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace orvik {

namespace {

struct Twiddle {
    float c1, s1, c2, s2, c3, s3;
};

// s radix-4 butterflies with one twiddle set, on contiguous runs.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void butterflies4(const float* __restrict ar, const float* __restrict ai, const float* __restrict br,
                  const float* __restrict bi, const float* __restrict cr, const float* __restrict ci,
                  const float* __restrict dr, const float* __restrict di, float* __restrict y0r,
                  float* __restrict y0i, float* __restrict y1r, float* __restrict y1i, float* __restrict y2r,
                  float* __restrict y2i, float* __restrict y3r, float* __restrict y3i, Twiddle w, int32_t s)
{
    for (int32_t q = 0; q < s; ++q) {
        const float sacR = ar[q] + cr[q], sacI = ai[q] + ci[q];
        const float dacR = ar[q] - cr[q], dacI = ai[q] - ci[q];
        const float sbdR = br[q] + dr[q], sbdI = bi[q] + di[q];
        const float dbdR = br[q] - dr[q], dbdI = bi[q] - di[q];
        const float t1r = dacR + dbdI, t1i = dacI - dbdR;
        const float t2r = sacR - sbdR, t2i = sacI - sbdI;
        const float t3r = dacR - dbdI, t3i = dacI + dbdR;
        y0r[q] = sacR + sbdR;
        y0i[q] = sacI + sbdI;
        y1r[q] = t1r * w.c1 - t1i * w.s1;
        y1i[q] = t1r * w.s1 + t1i * w.c1;
        y2r[q] = t2r * w.c2 - t2i * w.s2;
        y2i[q] = t2r * w.s2 + t2i * w.c2;
        y3r[q] = t3r * w.c3 - t3i * w.s3;
        y3i[q] = t3r * w.s3 + t3i * w.c3;
    }
}

// One radix-4 stage: length L sub-transforms interleaved with stride s,
// m = L / 4. Twiddles: W^p, W^2p, W^3p for p = 0..m-1, W = e^(-2 pi i / L).
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void radix4(const float* __restrict xr, const float* __restrict xi, float* __restrict yr, float* __restrict yi,
            int32_t length, int32_t s, const float* __restrict wr, const float* __restrict wi)
{
    const int32_t m = length / 4;
    const float* w1r = wr;
    const float* w1i = wi;
    const float* w2r = wr + m;
    const float* w2i = wi + m;
    const float* w3r = wr + 2 * m;
    const float* w3i = wi + 2 * m;
    if (s == 1) {
        // First stage: one sample per sub-transform, so run along p instead.
        for (int32_t p = 0; p < m; ++p) {
            const float ar = xr[p], ai = xi[p];
            const float br = xr[p + m], bi = xi[p + m];
            const float cr = xr[p + 2 * m], ci = xi[p + 2 * m];
            const float dr = xr[p + 3 * m], di = xi[p + 3 * m];
            const float sacR = ar + cr, sacI = ai + ci, dacR = ar - cr, dacI = ai - ci;
            const float sbdR = br + dr, sbdI = bi + di, dbdR = br - dr, dbdI = bi - di;
            // -i (b - d)
            const float jR = dbdI, jI = -dbdR;
            const float t1r = dacR + jR, t1i = dacI + jI;
            const float t2r = sacR - sbdR, t2i = sacI - sbdI;
            const float t3r = dacR - jR, t3i = dacI - jI;
            yr[4 * p] = sacR + sbdR;
            yi[4 * p] = sacI + sbdI;
            yr[4 * p + 1] = t1r * w1r[p] - t1i * w1i[p];
            yi[4 * p + 1] = t1r * w1i[p] + t1i * w1r[p];
            yr[4 * p + 2] = t2r * w2r[p] - t2i * w2i[p];
            yi[4 * p + 2] = t2r * w2i[p] + t2i * w2r[p];
            yr[4 * p + 3] = t3r * w3r[p] - t3i * w3i[p];
            yi[4 * p + 3] = t3r * w3i[p] + t3i * w3r[p];
        }
        return;
    }
    for (int32_t p = 0; p < m; ++p) {
        const int32_t in = s * p;
        const int32_t out = s * 4 * p;
        const Twiddle w{wr[p], wi[p], wr[p + m], wi[p + m], wr[p + 2 * m], wi[p + 2 * m]};
        butterflies4(xr + in, xi + in, xr + in + s * m, xi + in + s * m, xr + in + 2 * s * m, xi + in + 2 * s * m,
                     xr + in + 3 * s * m, xi + in + 3 * s * m, yr + out, yi + out, yr + out + s, yi + out + s,
                     yr + out + 2 * s, yi + out + 2 * s, yr + out + 3 * s, yi + out + 3 * s, w, s);
    }
}

// The last stage of an odd order: length-2 sub-transforms, no twiddles.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
void radix2Last(const float* __restrict xr, const float* __restrict xi, float* __restrict yr,
                float* __restrict yi, int32_t s)
{
    for (int32_t q = 0; q < s; ++q) {
        const float ar = xr[q], ai = xi[q], br = xr[q + s], bi = xi[q + s];
        yr[q] = ar + br;
        yi[q] = ai + bi;
        yr[q + s] = ar - br;
        yi[q + s] = ai - bi;
    }
}

} // namespace

bool StockhamFft::init(int32_t n)
{
    n_ = 0;
    stages_.clear();
    twiddleRe_.clear();
    twiddleIm_.clear();
    if (n < 1 || n > (1 << 20) || !std::has_single_bit(static_cast<uint32_t>(n)))
        return false;
    int32_t length = n;
    int32_t stride = 1;
    while (length >= 4) {
        const int32_t m = length / 4;
        stages_.push_back({4, length, stride, twiddleRe_.size()});
        for (int32_t k = 1; k <= 3; ++k) {
            for (int32_t p = 0; p < m; ++p) {
                const double angle = -2.0 * 3.14159265358979323846 * k * p / length;
                twiddleRe_.push_back(static_cast<float>(std::cos(angle)));
                twiddleIm_.push_back(static_cast<float>(std::sin(angle)));
            }
        }
        length /= 4;
        stride *= 4;
    }
    if (length == 2)
        stages_.push_back({2, 2, stride, twiddleRe_.size()});
    workRe_.assign(static_cast<size_t>(n), 0.0f);
    workIm_.assign(static_cast<size_t>(n), 0.0f);
    n_ = n;
    return true;
}

void StockhamFft::forward(const float* reIn, const float* imIn, float* reOut, float* imOut)
{
    if (n_ <= 0)
        return;
    const size_t count = stages_.size();
    if (count == 0) {
        reOut[0] = reIn[0];
        imOut[0] = imIn[0];
        return;
    }
    // Ping-pong between the output and the work arrays so that the last
    // stage lands in the output.
    float* bufRe[2] = {reOut, workRe_.data()};
    float* bufIm[2] = {imOut, workIm_.data()};
    int target = (count % 2 == 1) ? 0 : 1;
    const float* srcRe = reIn;
    const float* srcIm = imIn;
    for (const Stage& st : stages_) {
        float* dstRe = bufRe[target];
        float* dstIm = bufIm[target];
        if (st.radix == 4)
            radix4(srcRe, srcIm, dstRe, dstIm, st.length, st.stride, twiddleRe_.data() + st.twiddles,
                   twiddleIm_.data() + st.twiddles);
        else
            radix2Last(srcRe, srcIm, dstRe, dstIm, st.stride);
        srcRe = dstRe;
        srcIm = dstIm;
        target ^= 1;
    }
}

} // namespace orvik
