#include "DspTestSupport.h"

#include "dsp/DspReport.h"
#include "dsp/VendorFft.h"
#include "dsp/clsFFTFilter.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <unistd.h>

namespace orvik {
namespace {

using testing::BothBackEnds;
using testing::randomFloats;

constexpr int32_t Rate = 48000;

void setUp(clsFFTFilter& f, int32_t n, int32_t low, int32_t high, int32_t window = 2, bool bandReject = false,
           bool normalise = true, bool qPhase = false)
{
    f.SegmentSize = 2 * n;
    f.FSampling = Rate;
    f.WindowType = window;
    f.QPhase = qPhase;
    f.NormaliseGain = normalise;
    f.BandReject = bandReject;
    f.FLow = low;
    f.FHigh = high;
    ASSERT_TRUE(f.Init(n));
    ASSERT_TRUE(f.MakeFilter());
}

// Runs x through the filter block by block; returns the concatenated output.
std::vector<float> filterBlocks(clsFFTFilter& f, const std::vector<float>& x)
{
    const int32_t n = f.Points;
    std::vector<float> out;
    std::vector<float> block(2 * n);
    for (size_t start = 0; start + n <= x.size(); start += n) {
        std::copy_n(x.begin() + start, n, block.begin());
        std::fill(block.begin() + n, block.end(), 99.0f);  // the filter must re-zero the padding
        f.Filter_FFT_S_1(block.data());
        out.insert(out.end(), block.begin(), block.begin() + n);
    }
    return out;
}

std::vector<double> convolve(const std::vector<float>& x, const std::vector<float>& h)
{
    std::vector<double> y(x.size(), 0.0);
    for (size_t i = 0; i < x.size(); ++i) {
        double acc = 0.0;
        for (size_t k = 0; k < h.size() && k <= i; ++k)
            acc += static_cast<double>(h[k]) * x[i - k];
        y[i] = acc;
    }
    return y;
}

// Steady-state amplitude of a sine of the given frequency after the filter.
double toneGain(clsFFTFilter& f, double hz)
{
    const int32_t n = f.Points;
    std::vector<float> x(4 * static_cast<size_t>(n));
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / Rate));
    const auto y = filterBlocks(f, x);
    // Measure the last two blocks, well past the kernel's length.
    double c = 0.0, s = 0.0;
    const size_t from = 2 * static_cast<size_t>(n);
    for (size_t i = from; i < y.size(); ++i) {
        const double phase = 2 * M_PI * hz * static_cast<double>(i) / Rate;
        c += y[i] * std::cos(phase);
        s += y[i] * std::sin(phase);
    }
    return 2.0 * std::hypot(c, s) / static_cast<double>(y.size() - from);
}

class FftFilter : public BothBackEnds {};

TEST_P(FftFilter, BlocksMatchOneLongDirectConvolution)
{
    struct Case {
        int32_t points, low, high, window;
        bool qPhase;
    };
    const Case cases[] = {
        {64, 300, 2300, 2, false}, {256, 0, 4500, 1, false}, {256, 7500, 16500, 0, false},
        {2048, 300, 2300, 2, true}, {512, 1000, 1000, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.points << " points, " << c.low << "-" << c.high);
        clsFFTFilter f;
        setUp(f, c.points, c.low, c.high, c.window, false, true, c.qPhase);
        std::vector<float> h(c.points);
        f.GetFilterCoeffs_T_S(h.data());
        EXPECT_EQ(h[c.points - 1], 0.0f);  // N-1 taps
        const auto x = randomFloats(4 * static_cast<size_t>(c.points), 1234 + c.points, 1000.0f);
        const auto y = filterBlocks(f, x);
        const auto want = convolve(x, h);
        for (size_t i = 0; i < y.size(); ++i)
            ASSERT_NEAR(y[i], want[i], 0.05) << i;
    }
}

TEST_P(FftFilter, ArbitraryKernelsOfAnyLengthFilterExactly)
{
    for (int taps : {1, 7, 100, 255}) {
        SCOPED_TRACE(taps);
        clsFFTFilter f;
        setUp(f, 256, 300, 2300);
        std::vector<float> h(256, 0.0f);
        const auto random = randomFloats(taps, 40 + taps);
        std::copy(random.begin(), random.end(), h.begin());
        f.PutFilterTCoeffs_S(h.data());
        const auto x = randomFloats(256 * 5, 77 + taps);
        const auto y = filterBlocks(f, x);
        const auto want = convolve(x, h);
        for (size_t i = 0; i < y.size(); ++i)
            ASSERT_NEAR(y[i], want[i], 2e-3) << i;
    }
}

TEST_P(FftFilter, BandStopBlocksLackOnlyTheLastTapOfTheCarriedSample)
{
    const int32_t n = 256;
    clsFFTFilter f;
    setUp(f, n, 5000, 9000, 1, true);
    std::vector<float> h(n);
    f.GetFilterCoeffs_T_S(h.data());
    const auto x = randomFloats(4 * n, 8);
    const auto y = filterBlocks(f, x);
    auto want = convolve(x, h);
    // Sample N-2 of each later block misses x(previous block's last) * h(N-1).
    for (size_t b = 1; b < 4; ++b)
        want[b * n + n - 2] -= static_cast<double>(h[n - 1]) * x[b * n - 1];
    for (size_t i = 0; i < y.size(); ++i)
        ASSERT_NEAR(y[i], want[i], 1e-4) << i;
}

TEST_P(FftFilter, MeasuredResponsesPassAndStopWhereDesigned)
{
    struct Case {
        const char* name;
        int32_t low, high, window;
        bool bandReject, normalise;
        double hz, minGain, maxGain;
    };
    const Case cases[] = {
        {"SSB pass", 300, 2300, 2, false, true, 1000, 0.99, 1.01},
        {"SSB lower edge is -6 dB", 300, 2300, 2, false, true, 300, 0.48, 0.52},
        {"SSB below", 300, 2300, 2, false, true, 150, 0, 1e-4},
        {"SSB above", 300, 2300, 2, false, true, 5000, 0, 1e-5},
        {"AM low-pass at DC side", 100, 4500, 2, false, true, 2000, 0.99, 1.01},
        {"IF rectangular pass", 7500, 16500, 0, false, false, 12000, 0.99, 1.01},
        {"IF rectangular stop", 7500, 16500, 0, false, false, 6000, 0, 4e-3},
        {"notch centre", 900, 1100, 1, true, true, 1000, 0, 5e-3},
        {"notch passes below", 900, 1100, 1, true, true, 500, 0.99, 1.01},
        {"notch passes above", 900, 1100, 1, true, true, 3000, 0.99, 1.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clsFFTFilter f;
        setUp(f, 2048, c.low, c.high, c.window, c.bandReject, c.normalise);
        const double gain = toneGain(f, c.hz);
        EXPECT_GE(gain, c.minGain);
        EXPECT_LE(gain, c.maxGain);
    }
}

TEST_P(FftFilter, ImpulseOutputIsTheKernelDelayedIntoTheNextBlock)
{
    const int32_t n = 2048;
    clsFFTFilter f;
    setUp(f, n, 300, 2300);
    std::vector<float> h(n);
    f.GetFilterCoeffs_T_S(h.data());
    std::vector<float> x(2 * n, 0.0f);
    x[n - 1] = 1.0f;
    const auto y = filterBlocks(f, x);
    EXPECT_NEAR(y[n - 1], h[0], 5e-6);
    for (int32_t k = 1; k <= n - 2; ++k)
        ASSERT_NEAR(y[n + k - 1], h[k], 5e-6) << k;
    // The designed response peaks at the centre tap, 1023 samples late.
    EXPECT_EQ(std::max_element(h.begin(), h.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); })
                  - h.begin(),
              1023);
}

TEST_P(FftFilter, RedesignKeepsTheOldTailAndInitDropsIt)
{
    const int32_t n = 256;
    const auto x = randomFloats(2 * n, 5);
    std::vector<float> hOld(n), hNew(n);

    clsFFTFilter f;
    setUp(f, n, 300, 2300);
    f.GetFilterCoeffs_T_S(hOld.data());
    std::vector<float> block(2 * n);
    std::copy_n(x.begin(), n, block.begin());
    f.Filter_FFT_S_1(block.data());
    f.FLow = 3000;
    f.FHigh = 9000;
    ASSERT_TRUE(f.MakeFilter());
    f.GetFilterCoeffs_T_S(hNew.data());
    std::copy_n(x.begin() + n, n, block.begin());
    f.Filter_FFT_S_1(block.data());

    std::vector<float> first(x.begin(), x.begin() + n), second(x.begin() + n, x.end());
    first.resize(2 * n, 0.0f);
    const auto oldTail = convolve(first, hOld);
    const auto fresh = convolve(second, hNew);
    for (int32_t i = 0; i < n - 2; ++i)
        ASSERT_NEAR(block[i], oldTail[n + i] + fresh[i], 1e-3) << i;

    ASSERT_TRUE(f.Init(n));
    ASSERT_TRUE(f.MakeFilter());
    std::copy_n(x.begin() + n, n, block.begin());
    f.Filter_FFT_S_1(block.data());
    for (int32_t i = 0; i < n; ++i)
        ASSERT_NEAR(block[i], fresh[i], 1e-3) << i;
}

// An in-phase and quadrature pair fed the same block shares one forward
// transform; what each gives, tail and raw upper half included, must be
// exactly what two separate passes give.
TEST_P(FftFilter, PairSharingOneTransformGivesTheSeparateResults)
{
    const int32_t n = 512;
    clsFFTFilter i1, q1, i2, q2;
    setUp(i1, n, 0, 11000);
    setUp(q1, n, 0, 11000, 2, false, true, true);
    setUp(i2, n, 0, 11000);
    setUp(q2, n, 0, 11000, 2, false, true, true);
    const auto x = randomFloats(3 * n, 41, 8000.0f);
    std::vector<float> a(2 * n), b(2 * n), c(2 * n), d(2 * n);
    for (int32_t start = 0; start < 3 * n; start += n) {
        for (auto* v : {&a, &b, &c, &d}) {
            std::copy_n(x.begin() + start, n, v->begin());
            std::fill(v->begin() + n, v->end(), 99.0f);
        }
        i1.FilterSameInput_FFT_S_1(q1, a.data(), b.data());
        i2.Filter_FFT_S_1(c.data());
        q2.Filter_FFT_S_1(d.data());
        ASSERT_EQ(a, c) << start;
        ASSERT_EQ(b, d) << start;
    }
}

INSTANTIATE_TEST_SUITE_P(, FftFilter, ::testing::Bool(), testing::backEndName);

// Measured planning keeps its wisdom in the named file, read only when the
// first plan is made; a missing or damaged file is reported then and the
// transforms are planned afresh.
TEST(VendorPlanning, WisdomIsKeptAndABadFileOnlyMeansPlanningAgain)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "no vendor back-end in this build";
    const auto folder = std::filesystem::temp_directory_path() / ("orvik-wisdom-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    const auto file = (folder / "ORVIKSDR" / "fftw-wisdom").string();
    auto lines = std::make_shared<std::vector<std::string>>();
    const auto keep = [lines](const std::string& l) { lines->push_back(l); };
    ORVIK::ConfigureVendorPlanning(true, file, keep);
    EXPECT_TRUE(lines->empty());
    {
        ORVIK::VendorRealPass pass;
        ASSERT_TRUE(pass.init(64));  // sizes no other test plans: the wisdom is read before a plan is made
        pass.input()[1] = 1.0f;
        pass.forward();
        EXPECT_NEAR(pass.spectrum()[2], std::cos(2 * M_PI / 64), 1e-6);  // bin 1 of an impulse at 1
    }
    ASSERT_EQ(lines->size(), 1u);
    EXPECT_NE((*lines)[0].find(file), std::string::npos);
    EXPECT_TRUE(std::filesystem::file_size(file) > 0);

    std::ofstream(file) << "not wisdom at all";
    lines->clear();
    ORVIK::ConfigureVendorPlanning(true, file, keep);
    ORVIK::VendorRealPass again;
    EXPECT_TRUE(again.init(16));
    EXPECT_EQ(lines->size(), 1u);

    ORVIK::ConfigureVendorPlanning(false, "");
    std::filesystem::remove_all(folder);
}

TEST(FftFilterBackEnds, BothBackEndsGiveTheSameBlocks)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "no vendor back-end in this build";
    const auto x = randomFloats(4 * 2048, 99, 8000.0f);
    std::vector<float> y[2];
    for (int b = 0; b < 2; ++b) {
        ORVIK::UseSPL = b == 1;
        clsFFTFilter f;
        setUp(f, 2048, 300, 2300);
        y[b] = filterBlocks(f, x);
    }
    ORVIK::UseSPL = false;
    for (size_t i = 0; i < y[0].size(); ++i)
        ASSERT_NEAR(y[0][i], y[1][i], 0.2) << i;  // 1e-4 of the output's scale
}

// The back-end switch takes effect at the next block, kernel spectrum
// included: a filter designed on one back-end and run on the other gives
// what a filter designed on the other gives, bit for bit, and a kernel
// spectrum put in whole is left as it was put.
TEST(FftFilterBackEnds, FilterDesignedBeforeASwitchRunsAsOneDesignedAfterIt)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "no vendor back-end in this build";
    const auto x = randomFloats(3 * 2048, 17, 8000.0f);
    for (bool toVendor : {true, false}) {
        SCOPED_TRACE(toVendor ? "own to vendor" : "vendor to own");
        ORVIK::UseSPL = !toVendor;
        clsFFTFilter designedBefore;
        setUp(designedBefore, 2048, 300, 2300);
        ORVIK::UseSPL = toVendor;
        clsFFTFilter designedAfter;
        setUp(designedAfter, 2048, 300, 2300);
        EXPECT_EQ(filterBlocks(designedBefore, x), filterBlocks(designedAfter, x));

        std::vector<float> re(4096), im(4096), bins(4096);
        designedAfter.GetFilterFCoeffs_S(re.data(), im.data());
        ORVIK::UseSPL = !toVendor;
        clsFFTFilter put;
        setUp(put, 2048, 0, 24000);
        put.PutFilterFCoeffs_S(re.data(), im.data());
        ORVIK::UseSPL = toVendor;
        std::fill(bins.begin(), bins.end(), 1.0f);
        std::vector<float> binsIm(4096, 0.0f);
        put.Filter_S_Cart_1(bins.data(), binsIm.data());
        EXPECT_EQ(bins, re);
    }
    ORVIK::UseSPL = false;
}

TEST(FftFilterDesign, MakeFilterClampsEdgesAndSetsBins)
{
    clsFFTFilter f;
    setUp(f, 2048, -1000, 30000);
    EXPECT_EQ(f.FLow, 0);
    EXPECT_EQ(f.FHigh, 24000);
    EXPECT_DOUBLE_EQ(f.HzPerBin, 11.71875);
    EXPECT_EQ(f.Order, 11);
    f.FLow = 300;
    f.FHigh = 2300;
    ASSERT_TRUE(f.MakeFilter());
    EXPECT_EQ(f.BinFLow, 25);
    EXPECT_EQ(f.BinFHigh, 196);
    EXPECT_EQ(f.BinFCount, 171);
    EXPECT_NEAR(f.FHRadians, 2300 * 6.28318530717958 / 48000, 1e-15);
}

TEST(FftFilterDesign, KernelShapes)
{
    const int32_t n = 2048;
    std::vector<double> h(n);
    {
        clsFFTFilter f;  // low-pass, centre tap wH / Pi before the window
        setUp(f, n, 0, 4500, 0, false, false);
        f.GetFilterTCoeffs_D(h.data());
        EXPECT_NEAR(h[1023], 0.1875, 1e-12);
        EXPECT_EQ(h[2047], 0.0);
    }
    {
        clsFFTFilter f;  // quadrature: odd about the centre before the window
        setUp(f, n, 300, 2300, 0, false, false, true);
        f.GetFilterTCoeffs_D(h.data());
        EXPECT_EQ(h[1023], 0.0);
        for (int i = 1; i <= 1023; ++i)
            ASSERT_NEAR(h[1023 + i], -h[1023 - i], 1e-15) << i;
    }
    {
        clsFFTFilter f;  // equal edges design nothing
        setUp(f, n, 1000, 1000);
        f.GetFilterTCoeffs_D(h.data());
        EXPECT_TRUE(std::all_of(h.begin(), h.end(), [](double v) { return v == 0.0; }));
    }
    {
        clsFFTFilter f;  // band-stop: unit gain at DC
        setUp(f, n, 950, 1050, 1, true);
        f.GetFilterTCoeffs_D(h.data());
        EXPECT_NEAR(std::accumulate(h.begin(), h.end(), 0.0), 1.0, 1e-9);
    }
}

TEST(FftFilterDesign, ReferenceDesignsAgreeWithTheCalledPath)
{
    const int32_t n = 512;
    for (bool q : {false, true}) {
        SCOPED_TRACE(q);
        clsFFTFilter f;
        setUp(f, n, 300, 2300, 2, false, true, q);
        std::vector<double> called(n), plain(n);
        f.GetFilterTCoeffs_D(called.data());
        f.CalcBandPass_Plain();
        f.GetFilterTCoeffs_D(plain.data());
        // Plain scales by S/M + 1 instead of S/N + 1: a few parts in 1e5 here.
        for (int32_t i = 0; i < n; ++i)
            ASSERT_NEAR(plain[i], called[i], 1e-4 * std::fabs(called[i]) + 1e-12) << i;
    }
    clsFFTFilter s;
    setUp(s, n, 2000, 6000, 1, true);
    std::vector<double> pas(n), direct(n), plainStop(n);
    s.GetFilterTCoeffs_D(pas.data());
    s.CalcBandStop_Direct();
    s.GetFilterTCoeffs_D(direct.data());
    s.CalcBandStop();
    s.GetFilterTCoeffs_D(plainStop.data());
    for (int32_t i = 0; i < n; ++i) {
        ASSERT_NEAR(direct[i], pas[i], 1e-12) << i;
        ASSERT_NEAR(plainStop[i], pas[i], 1e-12) << i;
    }
}

TEST(FftFilterDesign, SpectralInversionOfABandStopPassesTheBand)
{
    // Its low-passes keep the unscaled sum of about Pi, so the band comes
    // out at a gain of about Pi; what matters is pass against stop.
    clsFFTFilter f;
    setUp(f, 2048, 900, 3000, 2, false, true);
    f.CalcBandPass_Direct();
    std::vector<float> h(2048);
    f.GetFilterTCoeffs_S(h.data());
    f.PutFilterTCoeffs_S(h.data());
    const double pass = toneGain(f, 2000);
    EXPECT_NEAR(pass, M_PI, 0.05);
    EXPECT_LT(toneGain(f, 300), 0.01 * pass);
    EXPECT_LT(toneGain(f, 6000), 0.01 * pass);
}

TEST(FftFilterDesign, CoefficientAccessKeepsCartesianAndPolarApart)
{
    const int32_t n = 256;
    clsFFTFilter f;
    setUp(f, n, 300, 2300);
    std::vector<float> re(2 * n), im(2 * n), mag(n), phase(n);
    f.GetFilterFCoeffs_S(re.data(), im.data());
    f.GetFilterCoeffs_F_S(mag.data(), phase.data());
    for (int32_t k = 0; k < n; ++k)
        ASSERT_NEAR(mag[k], std::hypot(re[k], im[k]), 1e-5) << k;

    const auto x = randomFloats(2 * n, 4);
    clsFFTFilter reference;
    setUp(reference, n, 300, 2300);
    const std::vector<float> zeros(n, 0.0f);
    f.PutFilterPCoeffs_S(zeros.data(), zeros.data());
    EXPECT_EQ(filterBlocks(f, x), filterBlocks(reference, x));

    std::vector<double> dRe(n, 5.0), dIm(n, 5.0);
    f.GetFilterFCoeffs_D(dRe.data(), dIm.data());
    EXPECT_EQ(dRe, std::vector<double>(n, 0.0));
}

TEST(FftFilterMisuse, UnusableSettingsAreRefusedAndFilteringBeforeInitLeavesTheBlock)
{
    int reports = 0;
    SetDspErrorReporter([&](const std::string&) { ++reports; });
    clsFFTFilter f;
    f.SegmentSize = 0;
    f.FSampling = Rate;
    EXPECT_FALSE(f.Init(2048));
    f.SegmentSize = 4096;
    EXPECT_FALSE(f.Init(1000));
    EXPECT_FALSE(f.MakeFilter());
    std::vector<float> block(16, 3.0f);
    f.Filter_FFT_S_1(block.data());
    f.Filter_FFT_S_1(block.data());
    EXPECT_EQ(block, std::vector<float>(16, 3.0f));
    SetDspErrorReporter({});
    EXPECT_EQ(reports, 3);  // two refusals, then one report for the unsized filter
}

} // namespace
} // namespace orvik
