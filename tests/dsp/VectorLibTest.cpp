#include "DspTestSupport.h"

#include "dsp/VectorLib.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace orvik {
namespace {

using namespace vectorlib;
using testing::BothBackEnds;
using testing::randomFloats;

// Every entry must leave memory alone for counts of 0 and below; a negative
// count once reached them from the noise reduction and the AGC.
TEST(VectorLib, NonPositiveCountsTouchNothing)
{
    std::vector<float> a(8, 2.0f), b(8, 3.0f), c(8, 4.0f), d(8, 5.0f);
    std::vector<double> da(8, 2.0), db(8, 3.0);
    std::vector<int16_t> s(16, 7), t(8, 8), u(8, 9);
    std::vector<int32_t> bitReverse(8, 0);
    const std::vector<std::pair<const char*, std::function<void(int32_t)>>> ops = {
        {"Int16ToFloat_S_2", [&](int32_t n) { Int16ToFloat_S_2(s.data(), a.data(), n); }},
        {"FloatToInt16_S_2", [&](int32_t n) { FloatToInt16_S_2(a.data(), s.data(), n); }},
        {"DoubleToSingle_D_2", [&](int32_t n) { DoubleToSingle_D_2(da.data(), a.data(), n); }},
        {"DeInterlace_16_2", [&](int32_t n) { DeInterlace_16_2(s.data(), t.data(), u.data(), n); }},
        {"DeInterlace_S_2", [&](int32_t n) { DeInterlace_S_2(a.data(), b.data(), c.data(), n); }},
        {"Interlace_16_2", [&](int32_t n) { Interlace_16_2(t.data(), u.data(), s.data(), n); }},
        {"Add_S_1", [&](int32_t n) { Add_S_1(1.0f, a.data(), n); }},
        {"Sub_S_1", [&](int32_t n) { Sub_S_1(1.0f, a.data(), n); }},
        {"Mpy_S_1", [&](int32_t n) { Mpy_S_1(9.0f, a.data(), n); }},
        {"Mpy_D_1", [&](int32_t n) { Mpy_D_1(9.0, da.data(), n); }},
        {"Add_S_2", [&](int32_t n) { Add_S_2(a.data(), b.data(), n); }},
        {"Mpy_S_2", [&](int32_t n) { Mpy_S_2(a.data(), b.data(), n); }},
        {"Mpy_D_2", [&](int32_t n) { Mpy_D_2(da.data(), db.data(), n); }},
        {"Add_D_2", [&](int32_t n) { Add_D_2(da.data(), db.data(), n); }},
        {"Add_S_3", [&](int32_t n) { Add_S_3(a.data(), b.data(), c.data(), n); }},
        {"Sub_S_3", [&](int32_t n) { Sub_S_3(a.data(), b.data(), c.data(), n); }},
        {"Mpy_S_3", [&](int32_t n) { Mpy_S_3(a.data(), b.data(), c.data(), n); }},
        {"Abs_S_1", [&](int32_t n) { Abs_S_1(a.data(), n); }},
        {"Negate_S", [&](int32_t n) { Negate_S(a.data(), n); }},
        {"NegateAndDiv_S_1", [&](int32_t n) { NegateAndDiv_S_1(2.0f, a.data(), n); }},
        {"SetMemory_S", [&](int32_t n) { SetMemory_S(a.data(), n, 1.0f); }},
        {"ShiftVectorRight_S_1", [&](int32_t n) { ShiftVectorRight_S_1(a.data(), n); }},
        {"VectorRamp_S_1", [&](int32_t n) { VectorRamp_S_1(0.0f, 1.0f, a.data(), n); }},
        {"CartToPolar_S_2", [&](int32_t n) { CartToPolar_S_2(a.data(), b.data(), c.data(), d.data(), n); }},
        {"PolarToCart_S_2", [&](int32_t n) { PolarToCart_S_2(a.data(), b.data(), c.data(), d.data(), n); }},
        {"PowerSpectrum_S_2", [&](int32_t n) { PowerSpectrum_S_2(a.data(), b.data(), c.data(), n); }},
        {"HiThresh_S_1", [&](int32_t n) { HiThresh_S_1(a.data(), 0.0f, 0.0f, n); }},
        {"LowThresh_S_1", [&](int32_t n) { LowThresh_S_1(a.data(), 0.0f, 100.0f, n); }},
        {"LowThreshFract_S_1", [&](int32_t n) { LowThreshFract_S_1(a.data(), 100.0f, 0.5f, n); }},
        {"MixerIQ_S_S_1", [&](int32_t n) { MixerIQ_S_S_1(a.data(), b.data(), c.data(), n); }},
        {"FFT_S_2", [&](int32_t n) {
             FFT_S_2(a.data(), b.data(), c.data(), d.data(), n, 3, bitReverse.data(), a.data(), a.data());
         }},
        {"Convolve_Cart_S_2", [&](int32_t n) { Convolve_Cart_S_2(a.data(), b.data(), c.data(), d.data(), n); }},
        {"Filter_S_Cart_2",
         [&](int32_t n) { Filter_S_Cart_2(a.data(), b.data(), a.data(), b.data(), c.data(), d.data(), n); }},
        {"CalcWindowCoeffs_D", [&](int32_t n) { CalcWindowCoeffs_D(n, da.data(), 1); }},
        {"CalcBPFilterCoeffs", [&](int32_t n) { CalcBPFilterCoeffs(n, da.data(), 1.0, 0.5, false); }},
        {"CalcBSFilterCoeffs",
         [&](int32_t n) { CalcBSFilterCoeffs(n, da.data(), a.data(), db.data(), 1.0, 0.5, false, db.data()); }},
    };
    for (const auto& [name, op] : ops) {
        for (int32_t n : {0, -1, -2048}) {
            const auto a0 = a, b0 = b, c0 = c, d0 = d;
            const auto da0 = da, db0 = db;
            const auto s0 = s, t0 = t, u0 = u;
            op(n);
            EXPECT_TRUE(a == a0 && b == b0 && c == c0 && d == d0 && da == da0 && db == db0 && s == s0 && t == t0
                        && u == u0)
                << name << " with count " << n;
        }
    }
    EXPECT_EQ(Sum_S_1(a.data(), -3), 0.0f);
    EXPECT_EQ(Sum_D_1(da.data(), 0), 0.0);
    EXPECT_EQ(Sum_Int16_1(s.data(), -1), 0);
    EXPECT_EQ(Sum_Int32_1(bitReverse.data(), -1), 0.0f);
    EXPECT_EQ(MaxValue_S(a.data(), 0), 0.0f);
    EXPECT_EQ(MaxValue_16(s.data(), -5), 0);
    EXPECT_EQ(MaxValueAbs_S(a.data(), 0), 0.0f);
    EXPECT_EQ(MaxIndex_S(a.data(), -1), 0);
}

TEST(VectorLib, FloatToInt16RoundsHalfToEvenAndSaturates)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<float, int16_t>> cases = {
        {0.5f, 0},          {1.5f, 2},          {2.5f, 2},           {-0.5f, 0},          {-1.5f, -2},
        {-2.5f, -2},        {1.49f, 1},         {-0.0f, 0},          {1e-40f, 0},         {32766.5f, 32766},
        {32767.0f, 32767},  {32767.5f, 32767},  {40000.0f, 32767},   {1e9f, 32767},       {-32767.5f, -32768},
        {-32768.0f, -32768}, {-32768.5f, -32768}, {-1e9f, -32768},   {inf, 32767},        {-inf, -32768},
        {std::numeric_limits<float>::quiet_NaN(), 0}, {-std::numeric_limits<float>::quiet_NaN(), 0},
    };
    // Every case once alone and once at every lane of a long vector, so both
    // the per-sample and the wide path are held to the table.
    for (const auto& [in, want] : cases) {
        int16_t out = 123;
        FloatToInt16_S_2(&in, &out, 1);
        EXPECT_EQ(out, want) << in;
        for (int32_t at = 0; at < 19; ++at) {
            std::vector<float> block(19, 7.0f);
            block[static_cast<size_t>(at)] = in;
            std::vector<int16_t> converted(19, 123);
            FloatToInt16_S_2(block.data(), converted.data(), 19);
            EXPECT_EQ(converted[static_cast<size_t>(at)], want) << in << " at " << at;
            EXPECT_EQ(converted[static_cast<size_t>((at + 1) % 19)], 7);
        }
    }
}

TEST(VectorLib, FloatToInt16MatchesNearbyintOnRandomValues)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> wide(-40000.0f, 40000.0f);
    std::uniform_int_distribution<int> halves(-65540, 65540);
    std::vector<float> in(4096);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = i % 2 ? wide(gen) : static_cast<float>(halves(gen)) / 2;
    std::vector<int16_t> out(in.size());
    FloatToInt16_S_2(in.data(), out.data(), static_cast<int32_t>(in.size()));
    for (size_t i = 0; i < in.size(); ++i) {
        const float want = std::clamp(std::nearbyint(in[i]), -32768.0f, 32767.0f);
        ASSERT_EQ(out[i], static_cast<int16_t>(want)) << in[i];
    }
}

TEST(VectorLib, RampEndsOnItsTargetSoAGainRampMeetsTheGainThatFollows)
{
    std::vector<float> ramp(240);
    VectorRamp_S_1(2.0f, 5.0f, ramp.data(), 240);
    EXPECT_EQ(ramp.front(), 2.0f);
    EXPECT_EQ(ramp.back(), 5.0f);
    for (size_t i = 1; i < ramp.size(); ++i)
        ASSERT_NEAR(ramp[i] - ramp[i - 1], 3.0 / 239, 1e-5) << i;

    // Newest weight 1, oldest 0: a one-entry history keeps its full weight.
    float single = -1.0f;
    VectorRamp_S_1(1.0f, 0.0f, &single, 1);
    EXPECT_EQ(single, 1.0f);

    // Two blocks in a row, each ramping from the previous block's gain to its
    // own: the gain applied sample by sample never jumps by more than a step.
    std::vector<float> gains;
    float prev = 1.0f;
    for (float next : {4.0f, 3.0f}) {
        std::vector<float> block(2048, 1.0f);
        std::vector<float> r(480);
        VectorRamp_S_1(prev, next, r.data(), 480);
        Mpy_S_2(r.data(), block.data(), 480);
        Mpy_S_1(next, block.data() + 480, 2048 - 480);
        gains.insert(gains.end(), block.begin(), block.end());
        prev = next;
    }
    for (size_t i = 1; i < gains.size(); ++i)
        ASSERT_LE(std::fabs(gains[i] - gains[i - 1]), 3.0f / 479 + 1e-5f) << i;
}

TEST(VectorLib, ReductionsAndIndexes)
{
    const std::vector<float> v = {-3.0f, 1.0f, 2.0f, 2.0f, -1.0f};
    EXPECT_EQ(MaxValue_S(v.data(), 5), 2.0f);
    EXPECT_EQ(MaxValueAbs_S(v.data(), 5), 3.0f);
    EXPECT_EQ(MaxIndex_S(v.data(), 5), 2);
    EXPECT_EQ(Sum_S_1(v.data(), 5), 1.0f);
    const std::vector<int16_t> s = {32767, 32767, 32767, -5};
    EXPECT_EQ(Sum_Int16_1(s.data(), 4), 98296);
    EXPECT_EQ(MaxValue_16(s.data(), 4), 32767);
    const std::vector<int32_t> big = {2000000000, 2000000000};
    EXPECT_EQ(Sum_Int32_1(big.data(), 2), 4e9f);
}

TEST(VectorLib, ElementwiseEntriesFollowTheirArgumentOrder)
{
    std::vector<float> v = {1, -2, 3, -4};
    ShiftVectorRight_S_1(v.data(), 3);
    EXPECT_EQ(v, (std::vector<float>{1, 1, -2, -4}));
    v = {1, -2, 3, -4};
    NegateAndDiv_S_1(2.0f, v.data(), 4);
    EXPECT_EQ(v, (std::vector<float>{-0.5f, 1, -1.5f, 2}));
    v = {1, -2, 3, -4};
    LowThreshFract_S_1(v.data(), 2.0f, 0.5f, 4);
    EXPECT_EQ(v, (std::vector<float>{0.5f, -1, 3, -2}));
    v = {1, -2, 3, -4};
    HiThresh_S_1(v.data(), 0.0f, 2.0f, 4);
    LowThresh_S_1(v.data(), 0.0f, -3.0f, 4);
    EXPECT_EQ(v, (std::vector<float>{1, -2, 2, -3}));
    std::vector<float> power(2);
    const std::vector<float> re = {3, 1}, im = {4, -1};
    PowerSpectrum_S_2(re.data(), im.data(), power.data(), 2);
    EXPECT_EQ(power, (std::vector<float>{25, 2}));
    const std::vector<int16_t> pairs = {1, 2, 3, 4, 5, 6};
    std::vector<int16_t> left(3), right(3), back(6);
    DeInterlace_16_2(pairs.data(), left.data(), right.data(), 3);
    EXPECT_EQ(left, (std::vector<int16_t>{1, 3, 5}));
    EXPECT_EQ(right, (std::vector<int16_t>{2, 4, 6}));
    Interlace_16_2(left.data(), right.data(), back.data(), 3);
    EXPECT_EQ(back, pairs);
}

// The mixer is x times cos and sin of pi (i+1) / 2: the quarter-rate
// oscillator advanced once before the first sample.
TEST(VectorLib, CartesianThresholdDoesWhatThePolarRoundTripDid)
{
    const int32_t n = 3000;
    const auto re = randomFloats(n, 21, 100.0f), im = randomFloats(n, 22, 100.0f);
    std::vector<float> mag(n), phase(n), wantRe(n), wantIm(n);
    CartToPolar_S_2(re.data(), im.data(), mag.data(), phase.data(), n);
    LowThreshFract_S_1(mag.data(), 60.0f, 0.01f, n);
    PolarToCart_S_2(mag.data(), phase.data(), wantRe.data(), wantIm.data(), n);
    std::vector<float> gotRe = re, gotIm = im;
    LowThreshFractCart_S_1(gotRe.data(), gotIm.data(), 60.0f, 0.01f, n);
    int32_t reduced = 0;
    for (int32_t i = 0; i < n; ++i) {
        const bool below = std::hypot(re[i], im[i]) < 60.0f;
        reduced += below;
        // Untouched bins stay exactly as they were; reduced ones agree with
        // the round trip to its rounding.
        if (!below) {
            ASSERT_EQ(gotRe[i], re[i]) << i;
            ASSERT_EQ(gotIm[i], im[i]) << i;
        }
        ASSERT_NEAR(gotRe[i], wantRe[i], 1e-4f * std::fabs(re[i]) + 1e-5f) << i;
        ASSERT_NEAR(gotIm[i], wantIm[i], 1e-4f * std::fabs(im[i]) + 1e-5f) << i;
    }
    EXPECT_GT(reduced, n / 4);
    EXPECT_LT(reduced, n);
}

TEST(VectorLib, QuarterRateMixerMatchesItsOscillator)
{
    const auto x = randomFloats(2048, 17);
    std::vector<float> a(2048), b(2048);
    MixerIQ_S_S_1(x.data(), a.data(), b.data(), 2048);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_NEAR(a[i], x[i] * std::cos(M_PI * (i + 1) / 2), 1e-6) << i;
        ASSERT_NEAR(b[i], x[i] * std::sin(M_PI * (i + 1) / 2), 1e-6) << i;
    }
}

class Wrappers : public BothBackEnds {};

TEST_P(Wrappers, AgreeWithTheOwnEntries)
{
    const int32_t n = 1001;  // odd, so the vector kernels' tails are exercised too
    const auto a = randomFloats(n, 3, 100.0f), b = randomFloats(n, 4, 100.0f);
    std::vector<float> got(n), want(n);

    got = b;
    want = b;
    ORVIK::VecMpy2S(a.data(), got.data(), n);
    Mpy_S_2(a.data(), want.data(), n);
    EXPECT_EQ(got, want);

    ORVIK::VecMpy3S(a.data(), b.data(), got.data(), n);
    Mpy_S_3(a.data(), b.data(), want.data(), n);
    EXPECT_EQ(got, want);

    got = b;
    want = b;
    ORVIK::VecAdd2S(a.data(), got.data(), n);
    Add_S_2(a.data(), want.data(), n);
    EXPECT_EQ(got, want);

    got = b;
    want = b;
    ORVIK::VecMpy1S(0.37f, got.data(), n);
    Mpy_S_1(0.37f, want.data(), n);
    EXPECT_EQ(got, want);

    std::vector<float> mag(n), phase(n), wantMag(n), wantPhase(n);
    ORVIK::VecCartToPolarS(a.data(), b.data(), mag.data(), phase.data(), n);
    CartToPolar_S_2(a.data(), b.data(), wantMag.data(), wantPhase.data(), n);
    for (int32_t i = 0; i < n; ++i) {
        ASSERT_NEAR(mag[i], wantMag[i], 1e-4 * wantMag[i]) << i;
        const double diff = std::remainder(phase[i] - wantPhase[i], 2 * M_PI);
        ASSERT_NEAR(diff, 0.0, 1e-3) << i;
    }

    std::vector<float> copy(n, 0.0f);
    ORVIK::VecCopyS(a.data(), copy.data(), n);
    EXPECT_EQ(copy, a);
    ORVIK::VecZeroS(copy.data(), n - 1);
    EXPECT_EQ(copy[n - 2], 0.0f);
    EXPECT_EQ(copy[n - 1], a[n - 1]);
}

TEST_P(Wrappers, MaxAbsIsTheLargestMagnitudeEvenWhenNegative)
{
    const std::vector<float> v = {-3.0f, 1.0f, 2.0f};
    EXPECT_EQ(ORVIK::VecMaxAbsS(v.data(), 3), 3.0f);
    const std::vector<float> allNegative = {-1.0f, -7.5f, -2.0f};
    EXPECT_EQ(ORVIK::VecMaxAbsS(allNegative.data(), 3), 7.5f);
    EXPECT_EQ(ORVIK::VecMaxAbsS(v.data(), 0), 0.0f);
    const auto r = randomFloats(4099, 8, 500.0f);
    EXPECT_EQ(ORVIK::VecMaxAbsS(r.data(), 4099), MaxValueAbs_S(r.data(), 4099));
}

TEST_P(Wrappers, NonPositiveCountsTouchNothing)
{
    std::vector<float> a(4, 1.0f), b(4, 2.0f), c(4, 3.0f), d(4, 4.0f);
    std::vector<int16_t> s(4, 5), t(4, 6);
    std::vector<double> x(4, 7.0), y(4, 8.0);
    for (int32_t n : {0, -1, -100}) {
        ORVIK::VecCopyS(a.data(), b.data(), n);
        ORVIK::VecCopyI16(s.data(), t.data(), n);
        ORVIK::VecCopy8(x.data(), y.data(), n);
        ORVIK::VecZeroS(a.data(), n);
        ORVIK::VecZeroI16(s.data(), n);
        ORVIK::VecMpy1S(3.0f, a.data(), n);
        ORVIK::VecMpy2S(a.data(), b.data(), n);
        ORVIK::VecMpy3S(a.data(), b.data(), c.data(), n);
        ORVIK::VecAdd2S(a.data(), b.data(), n);
        ORVIK::VecCartToPolarS(a.data(), b.data(), c.data(), d.data(), n);
        ORVIK::VecFFTS(a.data(), b.data(), c.data(), d.data(), n, 2, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(a, std::vector<float>(4, 1.0f));
    EXPECT_EQ(b, std::vector<float>(4, 2.0f));
    EXPECT_EQ(c, std::vector<float>(4, 3.0f));
    EXPECT_EQ(d, std::vector<float>(4, 4.0f));
    EXPECT_EQ(s, std::vector<int16_t>(4, 5));
    EXPECT_EQ(t, std::vector<int16_t>(4, 6));
    EXPECT_EQ(y, std::vector<double>(4, 8.0));
}

INSTANTIATE_TEST_SUITE_P(, Wrappers, ::testing::Bool(), testing::backEndName);

TEST(BackEndSwitch, ProbeSetsPresenceAndLeavesTheSwitchOff)
{
    ORVIK::UseSPL = true;
    ORVIK::INIT();
    EXPECT_FALSE(ORVIK::UseSPL);
#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
    EXPECT_TRUE(ORVIK::SPLPresent);
#else
    EXPECT_FALSE(ORVIK::SPLPresent);
#endif
}

} // namespace
} // namespace orvik
