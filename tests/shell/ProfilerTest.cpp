#include "dsp/VectorLib.h"
#include "shell/Profiler.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace orvik;

namespace {

struct FakeCounter {
    int64_t now = 0;
    Profiler::TickSource source()
    {
        return [this] { return now; };
    }
};

} // namespace

TEST(Profiler, StopTimingGivesMicrosecondsSinceStart)
{
    FakeCounter clock;
    Profiler p(clock.source(), 10'000'000);
    clock.now = 5'000;
    p.StartTiming();
    clock.now += 427; // 42.7 us
    EXPECT_EQ(p.StopTiming(), 0);
    EXPECT_EQ(p.DurationInTicks, 427);
    EXPECT_DOUBLE_EQ(p.Duration, 42.7);
}

TEST(Profiler, SecondStopMeasuresFromTheSameStart)
{
    FakeCounter clock;
    Profiler p(clock.source(), 1000);
    p.StartTiming();
    clock.now = 3;
    p.StopTiming();
    const double first = p.Duration;
    clock.now = 10;
    p.StopTiming();
    EXPECT_DOUBLE_EQ(first, 3000.0);
    EXPECT_DOUBLE_EQ(p.Duration, 10000.0);
}

TEST(Profiler, LongPauseReadsAsLongNotAsTheLastShortInterval)
{
    FakeCounter clock;
    Profiler p(clock.source(), 10'000'000);
    p.StartTiming();
    clock.now = 100;
    p.StopTiming();
    p.StartTiming();
    clock.now += 10'000'000LL * 600; // ten minutes without a knob pulse
    p.StopTiming();
    EXPECT_EQ(p.DurationInTicks, INT32_MAX);
    EXPECT_DOUBLE_EQ(p.Duration, 600.0 * 1e6);
}

TEST(Profiler, StoppFormatsMilliseconds)
{
    FakeCounter clock;
    Profiler p(clock.source(), 1'000'000);
    clock.now = 2'000'000;
    p.Start();
    clock.now += 1'234'567;
    p.Stopp();
    EXPECT_NEAR(p.Duration, 1.234567, 1e-9);
    EXPECT_EQ(p.DurationMS, "1,234.567 ms");
}

// The library entries the window's code calls directly, with the meanings it relies on.
TEST(DspEntries, SumsConversionsPeakPositionAndCallBack)
{
    using namespace orvik::vectorlib;
    const std::vector<int16_t> s16 = {32767, 32767, -5, 1};
    EXPECT_EQ(Sum_Int16_1(s16.data(), 4), 65530); // wider than 16 bits
    EXPECT_EQ(Sum_Int16_1(s16.data(), 0), 0);
    const std::vector<int32_t> s32 = {1 << 24, 1, -3};
    EXPECT_FLOAT_EQ(Sum_Int32_1(s32.data(), 3), static_cast<float>((1 << 24) - 2));

    std::vector<float> f(5, 0.0f);
    SetMemory_S(f.data(), 3, 16383.0f);
    EXPECT_EQ(f, (std::vector<float>{16383, 16383, 16383, 0, 0}));
    Add_S_1(1.5f, f.data() + 2, 3);
    EXPECT_EQ(f, (std::vector<float>{16383, 16383, 16384.5f, 1.5f, 1.5f}));
    EXPECT_FLOAT_EQ(Sum_S_1(f.data(), 5), 16383 * 2 + 16384.5f + 3.0f);

    std::vector<float> floats(4);
    Int16ToFloat_S_2(s16.data(), floats.data(), 4);
    EXPECT_EQ(floats, (std::vector<float>{32767, 32767, -5, 1}));
    EXPECT_EQ(MaxIndex_S(floats.data(), 4), 0); // the first of two equal maxima

    const std::vector<float> re = {3, 0, -1}, im = {4, 2, 0};
    std::vector<float> power(3);
    PowerSpectrum_S_2(re.data(), im.data(), power.data(), 3);
    EXPECT_EQ(power, (std::vector<float>{25, 4, 1}));
    EXPECT_EQ(MaxIndex_S(power.data(), 3), 0);
    EXPECT_EQ(MaxIndex_S(power.data() + 1, 2), 0);

    int calls = 0;
    const std::function<void()> procedure = [&calls] { ++calls; };
    CallBack(procedure);
    EXPECT_EQ(calls, 1);
    CallBack(std::function<void()>{}); // an empty procedure runs nothing
    EXPECT_EQ(calls, 1);
}
