#include "DspTestSupport.h"

#include "dsp/DspReport.h"
#include "dsp/VectorLib.h"
#include "dsp/clHilbert.h"

namespace orvik {
namespace {

using testing::BothBackEnds;
using testing::randomFloats;

TEST(HilbertDesign, LoadBuildsTheOddWindowedTaps)
{
    clHilbert h;
    ASSERT_TRUE(h.Load(128, 2048));
    EXPECT_EQ(h.Nzeros, 128);
    EXPECT_EQ(h.Delay, 64);
    EXPECT_NEAR(h.Gain, 0.637445, 1e-6);
    EXPECT_EQ(h.sGain, static_cast<float>(h.Gain));
    std::vector<double> c(128);
    h.GetCoefs(c.data(), 128);
    EXPECT_EQ(c[0], 0.0);
    EXPECT_EQ(c[64], 0.0);
    EXPECT_NEAR(c[63], 0.54 - 0.46 * std::cos(6.28318530717958 * 65 / 127), 1e-15);
    for (int k = 1; k < 64; ++k) {
        ASSERT_EQ(c[64 + k], -c[64 - k]) << k;
        if (k % 2 == 0) {
            ASSERT_EQ(c[64 + k], 0.0) << k;
        }
    }
    std::vector<float> s(128);
    h.sGetCoefs(s.data(), 128);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(s[i], static_cast<float>(c[i]));
}

TEST(HilbertDesign, GainAtAQuarterOfTheRateMatchesTheFixedTables)
{
    const std::pair<int32_t, double> cases[] = {
        {17, 1.565337619}, {33, 1.566367988}, {65, 1.568367973}, {129, 1.569555289}, {513, 1.570483967},
        {128, 1.568762148},
    };
    for (auto [taps, want] : cases) {
        std::vector<double> c(taps + 1, 0.0);
        double gain = 0.0;
        clHilbert::CalcCoefficients(taps, c.data(), gain);
        EXPECT_NEAR(gain, want, 5e-10) << taps;
    }
}

TEST(HilbertDesign, UnusableTapCountsAreRefused)
{
    SetDspErrorReporter([](const std::string&) {});
    clHilbert h;
    EXPECT_FALSE(h.Load(3, 2048));
    EXPECT_FALSE(h.Load(128, 0));
    EXPECT_FALSE(h.Load(9000, 2048));
    SetDspErrorReporter({});
    EXPECT_EQ(h.Nzeros, 0);
}

class Hilbert : public BothBackEnds {};

// The transformer and the delay on the same tone give a quadrature pair of
// equal amplitude, for tones across the band.
TEST_P(Hilbert, ShiftsTonesByNinetyDegreesAtUnitGainBehindTheDelay)
{
    for (double hz : {1000.0, 6000.0, 12000.0, 20000.0}) {
        SCOPED_TRACE(hz);
        clHilbert h;
        ASSERT_TRUE(h.Load(128, 2048));
        std::vector<float> in(2048), shifted(2048), delayed(2048);
        double sumSq = 0.0, cross = 0.0, delayedSq = 0.0;
        for (int block = 0; block < 3; ++block) {
            for (int i = 0; i < 2048; ++i)
                in[i] = static_cast<float>(std::cos(2 * M_PI * hz * (block * 2048 + i) / 48000.0));
            h.sTransform(in.data(), shifted.data(), 2048);
            h.sDelaySamples(in.data(), delayed.data(), 2048);
            if (block == 0)
                continue;  // history still filling
            for (int i = 0; i < 2048; ++i) {
                sumSq += shifted[i] * shifted[i];
                delayedSq += delayed[i] * delayed[i];
                cross += shifted[i] * delayed[i];
            }
        }
        EXPECT_NEAR(std::sqrt(sumSq / delayedSq), 1.0, 0.005);
        EXPECT_LT(std::fabs(cross) / delayedSq, 0.01);  // in quadrature
    }
}

TEST_P(Hilbert, DelayAndTransformDoNotDependOnHowTheInputIsCut)
{
    const auto x = randomFloats(6000, 31);
    clHilbert whole, pieces;
    ASSERT_TRUE(whole.Load(128, 6000));
    ASSERT_TRUE(pieces.Load(128, 2048));
    std::vector<float> wantT(6000), wantD(6000), gotT(6000), gotD(6000);
    whole.sTransform(x.data(), wantT.data(), 6000);
    whole.sDelaySamples(x.data(), wantD.data(), 6000);
    // Pieces shorter than the taps and the delay, and longer than the block
    // the object was sized for.
    size_t at = 0;
    for (int32_t len : {2048, 17, 50, 100, 3000, 785}) {
        pieces.sTransform(x.data() + at, gotT.data() + at, len);
        pieces.sDelaySamples(x.data() + at, gotD.data() + at, len);
        at += static_cast<size_t>(len);
    }
    ASSERT_EQ(at, 6000u);
    for (size_t i = 0; i < 6000; ++i) {
        ASSERT_NEAR(gotT[i], wantT[i], 1e-5) << i;
        ASSERT_EQ(gotD[i], i < 64 ? 0.0f : x[i - 64]) << i;
        ASSERT_EQ(wantD[i], gotD[i]) << i;
    }
}

// Against the plain serial sum over every tap: the block filter skips the zero
// taps and works several outputs at once, and must give the very same floats.
TEST_P(Hilbert, BlockFilterGivesExactlyThePlainSumOverAllTaps)
{
    for (bool denseTaps : {false, true}) {
        SCOPED_TRACE(denseTaps ? "dense taps" : "designed taps");
        clHilbert h;
        ASSERT_TRUE(h.Load(128, 2048));
        std::vector<float> taps(128);
        if (denseTaps) {
            taps = randomFloats(128, 5);
            h.sSetCoefs(taps.data(), 128);
        } else {
            h.sGetCoefs(taps.data(), 128);
        }
        const auto x = randomFloats(2048 * 2 + 37, 8);
        std::vector<float> line(128 + x.size(), 0.0f);
        std::copy(x.begin(), x.end(), line.begin() + 128);
        std::vector<float> want(x.size()), got(x.size());
        vectorlib::sHilbert(line.data(), taps.data(), want.data(), 128, static_cast<int32_t>(x.size()));
        vectorlib::Mpy_S_1(h.sGain, want.data(), static_cast<int32_t>(want.size()));
        size_t at = 0;
        for (int32_t len : {2048, 2048, 37}) {
            h.sTransform(x.data() + at, got.data() + at, len);
            at += static_cast<size_t>(len);
        }
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_EQ(got[i], want[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(, Hilbert, ::testing::Bool(), testing::backEndName);

TEST(HilbertDelay, DoubleDelayKeepsItsOwnTail)
{
    clHilbert h;
    ASSERT_TRUE(h.Load(128, 256));
    std::vector<double> in(256), out(256);
    std::vector<float> inS(256, 5.0f), outS(256);
    for (int b = 0; b < 2; ++b) {
        for (int i = 0; i < 256; ++i)
            in[i] = b * 256 + i;
        h.DelaySamples(in.data(), out.data(), 256);
        h.sDelaySamples(inS.data(), outS.data(), 256);
    }
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(out[i], 256 + i - 64.0) << i;
}

} // namespace
} // namespace orvik
