#include "DspTestSupport.h"

#include "dsp/DspReport.h"
#include "dsp/clsFFT.h"
#include "dsp/clsFFTReal.h"

namespace orvik {
namespace {

using testing::BothBackEnds;
using testing::dft;
using testing::randomFloats;

class ComplexFft : public BothBackEnds {};
class RealFft : public BothBackEnds {};

// Largest error relative to the spectrum's largest magnitude.
double relativeError(const std::vector<std::complex<double>>& want, const float* re, const float* im)
{
    double peak = 1e-30;
    double worst = 0.0;
    for (size_t k = 0; k < want.size(); ++k) {
        peak = std::max(peak, std::abs(want[k]));
        worst = std::max(worst, std::abs(want[k] - std::complex<double>(re[k], im[k])));
    }
    return worst / peak;
}

TEST_P(ComplexFft, MatchesDoubleDftAtEverySize)
{
    for (int32_t n : {1, 2, 4, 8, 64, 512, 2048}) {
        SCOPED_TRACE(n);
        const auto re = randomFloats(n, 11 + n);
        const auto im = randomFloats(n, 97 + n);
        std::vector<std::complex<double>> x(n);
        for (int32_t i = 0; i < n; ++i)
            x[i] = {re[i], im[i]};
        clsFFT fft;
        ASSERT_TRUE(fft.FFTInit(n));
        EXPECT_EQ(fft.Order, std::countr_zero(static_cast<uint32_t>(n)));
        std::vector<float> outRe(n), outIm(n);
        fft.FFT_S_2(re.data(), im.data(), outRe.data(), outIm.data());
        EXPECT_LT(relativeError(dft(x), outRe.data(), outIm.data()), 5e-5);
    }
}

TEST_P(ComplexFft, InverseRestoresTheBlockAndLeavesImaginaryInputNegated)
{
    const int32_t n = 1024;
    const auto re = randomFloats(n, 5);
    auto im = randomFloats(n, 6);
    clsFFT fft;
    ASSERT_TRUE(fft.FFTInit(n));
    std::vector<float> specRe(n), specIm(n), backRe(n), backIm(n);
    fft.FFT_S_2(re.data(), im.data(), specRe.data(), specIm.data());
    const auto specImBefore = specIm;
    fft.IFFT_S_2(specRe.data(), specIm.data(), backRe.data(), backIm.data());
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_NEAR(backRe[i], re[i], 1e-4);
        EXPECT_NEAR(backIm[i], im[i], 1e-4);
        EXPECT_EQ(specIm[i], -specImBefore[i]);
    }
}

// A plain recursive transform in double precision, fast enough for 16384 points.
void doubleFft(std::vector<std::complex<double>>& x)
{
    const size_t n = x.size();
    if (n < 2)
        return;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (size_t i = 0; i < n / 2; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    doubleFft(even);
    doubleFft(odd);
    for (size_t k = 0; k < n / 2; ++k) {
        const auto t = std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n)) * odd[k];
        x[k] = even[k] + t;
        x[k + n / 2] = even[k] - t;
    }
}

// The fast own transform and the table-driven radix-2 reference (bit reversal, cosine and sine)
// against a double-precision transform at every size the class takes: the
// fast one, with exact twiddles, must be at least as close as the reference.
TEST(ComplexFftOwn, FastTransformIsAsExactAsTheTableDrivenReferenceAtEveryOrder)
{
    ORVIK::UseSPL = false;
    for (int32_t order = 0; order <= 14; ++order) {
        const int32_t n = 1 << order;
        SCOPED_TRACE(n);
        const auto re = randomFloats(n, 300 + order), im = randomFloats(n, 400 + order);
        std::vector<std::complex<double>> want(n);
        for (int32_t i = 0; i < n; ++i)
            want[i] = {re[i], im[i]};
        doubleFft(want);
        clsFFT fft;
        ASSERT_TRUE(fft.FFTInit(n));
        std::vector<float> fastRe(n), fastIm(n), plainRe(n), plainIm(n);
        fft.FFT_S_2(re.data(), im.data(), fastRe.data(), fastIm.data());
        fft.FFT_S_2_Plain(re.data(), im.data(), plainRe.data(), plainIm.data());
        const double fastError = relativeError(want, fastRe.data(), fastIm.data());
        EXPECT_LT(fastError, 2e-6);
        EXPECT_LE(fastError, relativeError(want, plainRe.data(), plainIm.data()) + 1e-7);
        EXPECT_EQ(re, randomFloats(n, 300 + order));  // the input is left alone
    }
}

// The vendor transform runs on the caller's arrays where FFTW allows it and
// through its own arrays elsewhere (other alignment, outputs over inputs):
// the spectrum is the same bits wherever the arrays lie, and the inputs of
// an out-of-place call are left alone.
TEST(ComplexFftVendor, ArraysWhereverTheyLieGiveTheSameSpectrum)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "no vendor back-end in this build";
    ORVIK::UseSPL = true;
    for (int32_t n : {8, 2048, 4096}) {
        SCOPED_TRACE(n);
        const auto re = randomFloats(n, 500 + n), im = randomFloats(n, 600 + n);
        clsFFT fft;
        ASSERT_TRUE(fft.FFTInit(n));
        std::vector<float> wantRe(n), wantIm(n);
        auto inRe = re, inIm = im;
        fft.FFT_S_2(inRe.data(), inIm.data(), wantRe.data(), wantIm.data());
        EXPECT_EQ(inRe, re);
        EXPECT_EQ(inIm, im);

        // One float past an aligned start: another alignment for every array.
        std::vector<float> shifted(4 * n + 4);
        float* const a[4] = {shifted.data() + 1, shifted.data() + n + 1, shifted.data() + 2 * n + 1,
                             shifted.data() + 3 * n + 1};
        std::copy(re.begin(), re.end(), a[0]);
        std::copy(im.begin(), im.end(), a[1]);
        fft.FFT_S_2(a[0], a[1], a[2], a[3]);
        EXPECT_TRUE(std::equal(wantRe.begin(), wantRe.end(), a[2]));
        EXPECT_TRUE(std::equal(wantIm.begin(), wantIm.end(), a[3]));

        // Outputs over the inputs.
        auto sameRe = re, sameIm = im;
        fft.FFT_S_2(sameRe.data(), sameIm.data(), sameRe.data(), sameIm.data());
        EXPECT_EQ(sameRe, wantRe);
        EXPECT_EQ(sameIm, wantIm);
    }
    ORVIK::UseSPL = false;
}

INSTANTIATE_TEST_SUITE_P(, ComplexFft, ::testing::Bool(), testing::backEndName);

TEST(ComplexFftMisuse, UnsetTransformReportsOnceAndLeavesOutputs)
{
    std::vector<std::string> reports;
    SetDspErrorReporter([&](const std::string& text) { reports.push_back(text); });
    clsFFT fft;
    std::vector<float> in(8, 1.0f), outRe(8, 7.0f), outIm(8, 7.0f);
    fft.FFT_S_2(in.data(), in.data(), outRe.data(), outIm.data());
    fft.IFFT_S_2(in.data(), in.data(), outRe.data(), outIm.data());
    SetDspErrorReporter({});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "clsFFT not initialised, you must call Init first");
    EXPECT_EQ(outRe, std::vector<float>(8, 7.0f));
    EXPECT_EQ(in, std::vector<float>(8, 1.0f));
}

TEST(ComplexFftMisuse, SizesThatAreNoPowerOfTwoOrTooLargeAreRefused)
{
    SetDspErrorReporter([](const std::string&) {});
    for (int32_t n : {0, -4, 3, 1000, 32768}) {
        clsFFT fft;
        EXPECT_FALSE(fft.FFTInit(n)) << n;
        EXPECT_FALSE(fft.IsInitialised) << n;
    }
    SetDspErrorReporter({});
}

TEST_P(RealFft, MatchesDoubleDftOverAllBins)
{
    for (int32_t n : {2, 4, 8, 32, 1024, 4096}) {
        SCOPED_TRACE(n);
        const auto in = randomFloats(n, 23 + n);
        std::vector<std::complex<double>> x(in.begin(), in.end());
        clsFFTReal fft;
        ASSERT_TRUE(fft.FFTInit(n));
        const auto want = dft(x);
        std::vector<float> re(n), im(n);
        fft.FFT_Real_S_2(in.data(), re.data(), im.data());
        EXPECT_LT(relativeError(want, re.data(), im.data()), 5e-5);
        EXPECT_EQ(im[0], 0.0f);
        EXPECT_EQ(im[n / 2], 0.0f);
        // The reference stage, twiddle by recurrence, gives the same spectrum.
        std::fill(re.begin(), re.end(), 0.0f);
        fft.FFT_Real_S_2_Plain(in.data(), re.data(), im.data());
        EXPECT_LT(relativeError(want, re.data(), im.data()), 5e-5);
    }
}

TEST_P(RealFft, CosineLandsInItsTwoBins)
{
    const int32_t n = 256;
    const int f = 19;
    std::vector<float> in(n);
    for (int i = 0; i < n; ++i)
        in[i] = static_cast<float>(std::cos(2 * M_PI * f * i / n));
    clsFFTReal fft;
    ASSERT_TRUE(fft.FFTInit(n));
    std::vector<float> re(n), im(n);
    fft.FFT_Real_S_2(in.data(), re.data(), im.data());
    for (int k = 0; k < n; ++k) {
        const double want = (k == f || k == n - f) ? n / 2.0 : 0.0;
        EXPECT_NEAR(re[k], want, 2e-3) << k;
        EXPECT_NEAR(im[k], 0.0, 2e-3) << k;
    }
}

TEST_P(RealFft, InverseRestoresTheBlockAndIgnoresUpperBins)
{
    const int32_t n = 4096;
    const auto in = randomFloats(n, 77, 1000.0f);
    clsFFTReal fft;
    ASSERT_TRUE(fft.FFTInit(n));
    std::vector<float> re(n), im(n), back(n);
    fft.FFT_Real_S_2(in.data(), re.data(), im.data());
    const auto reBefore = re;
    const auto imBefore = im;
    for (int32_t k = n / 2 + 1; k < n; ++k)
        re[k] = im[k] = 12345.0f;  // must not matter
    fft.IFFT_Real_S_2(re.data(), im.data(), back.data());
    for (int32_t i = 0; i < n; ++i)
        ASSERT_NEAR(back[i], in[i], 0.15) << i;  // own transform: about 5e-5 of full scale
    for (int32_t k = 0; k <= n / 2; ++k)
        ASSERT_FLOAT_EQ(re[k], reBefore[k] + imBefore[k]) << k;
}

INSTANTIATE_TEST_SUITE_P(, RealFft, ::testing::Bool(), testing::backEndName);

TEST(RealFftMisuse, TransformBeforeInitReportsAndLeavesOutputs)
{
    int reports = 0;
    SetDspErrorReporter([&](const std::string&) { ++reports; });
    clsFFTReal fft;
    std::vector<float> in(16, 1.0f), re(16, 3.0f), im(16, 3.0f);
    fft.FFT_Real_S_2(in.data(), re.data(), im.data());
    fft.IFFT_Real_S_2(in.data(), im.data(), re.data());
    SetDspErrorReporter({});
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(re, std::vector<float>(16, 3.0f));
}

} // namespace
} // namespace orvik
