#include "TestBed.h"

#include "tuning/ShaftEncoder.h"
#include "tuning/clsVFO.h"

#include <gtest/gtest.h>

using namespace orvik;
using Step = ShaftEncoder::Step;

namespace {

// The modem-status word of a decoder state: bit 0 set = CTS off, bit 1 set = DSR off.
int32_t statusOf(int state)
{
    return ((state & 1) ? 0 : 0x10) | ((state & 2) ? 0 : 0x20);
}

std::vector<Step> feed(ShaftEncoder& e, std::initializer_list<int> states)
{
    std::vector<Step> out;
    for (int s : states)
        out.push_back(e.Decode(statusOf(s)));
    return out;
}

} // namespace

TEST(ShaftEncoderDecode, EveryTransitionOfTheTwoTracks)
{
    // [from][to]: one state on in the up order 0, 2, 3, 1 is a step up, back is down,
    // a jump over a state and no change are nothing.
    const Step expected[4][4] = {
        {Step::None, Step::Down, Step::Up, Step::None},
        {Step::Up, Step::None, Step::None, Step::Down},
        {Step::Down, Step::None, Step::None, Step::Up},
        {Step::None, Step::Up, Step::Down, Step::None},
    };
    for (int from = 0; from < 4; ++from) {
        for (int to = 0; to < 4; ++to) {
            ShaftEncoder e;
            e.Decode(statusOf(from == 0 ? 1 : 0)); // leave state 0 first so "from" counts as a change
            e.Decode(statusOf(from));
            EXPECT_EQ(e.Decode(statusOf(to)), expected[from][to]) << from << " -> " << to;
            EXPECT_EQ(e.EncoderPrevious, to);
        }
    }
}

TEST(ShaftEncoderDecode, FullCyclesBouncesAndRepeats)
{
    ShaftEncoder e;
    EXPECT_EQ(feed(e, {0}), std::vector<Step>{Step::None}); // both lines on at start: no change
    EXPECT_EQ(feed(e, {2, 3, 1, 0}), std::vector<Step>(4, Step::Up));
    EXPECT_EQ(feed(e, {1, 3, 2, 0}), std::vector<Step>(4, Step::Down));
    EXPECT_EQ(feed(e, {2, 0}), (std::vector<Step>{Step::Up, Step::Down})); // a bounce
    EXPECT_EQ(feed(e, {0, 0}), (std::vector<Step>{Step::None, Step::None})); // the other line's event
    EXPECT_EQ(feed(e, {3, 0}), (std::vector<Step>{Step::None, Step::None})); // both lines at once
    // Lines other than CTS and DSR do not enter the state.
    EXPECT_EQ(e.Decode(0x30 | 0x40 | 0x80), Step::None);
}

TEST(ShaftEncoderSpeed, BandsByMeanInterval)
{
    struct Row {
        int32_t mean;
        int tuneStep;
        int grid;
    };
    const Row rows[] = {{0, 1, 1},        {999, 1, 1},       {1000, 2, 10},     {4999, 2, 10},
                        {5000, 10, 10},   {5999, 10, 10},    {6000, 20, 10},    {6999, 20, 10},
                        {7000, 40, 10},   {7999, 40, 10},    {8000, 80, 100},   {8999, 80, 100},
                        {9000, 100, 100}, {12000, 100, 100}, {12001, 1000, 1000}, {-1, 1000, 1000}};
    for (const Row& r : rows) {
        const auto d = ShaftEncoder::divisorsFor(r.mean);
        EXPECT_EQ(d.tuneStep, r.tuneStep) << r.mean;
        EXPECT_EQ(d.grid, r.grid) << r.mean;
    }
}

class ShaftEncoderVfo : public orvik::testing::TuningTest {
protected:
    void SetUp() override
    {
        TuningTest::SetUp();
        vfo = std::make_unique<clsVFO>(*store);
        vfo->setTuneStep(1000);
        vfo->setTunedFrequency(70000000);
        encoder.InitTuningSpeedHistory();
    }
    void pulses(int count, double intervalMicroseconds)
    {
        for (int i = 0; i < count; ++i)
            encoder.AcceleratedTuneStep(intervalMicroseconds, *vfo);
    }
    ShaftEncoder encoder;
    std::unique_ptr<clsVFO> vfo;
};

TEST_F(ShaftEncoderVfo, HistoryStartsSlowAndKeepsFourDecimals)
{
    for (int64_t entry : encoder.TuningSpeedHistory)
        EXPECT_EQ(entry, 100000 * ShaftEncoder::FixedPointScale);
    pulses(1, 1234.56789);
    EXPECT_EQ(encoder.TuningSpeedHistory[0], 12345679);
    EXPECT_EQ(encoder.TuningSpeedHistory[1], 100000 * ShaftEncoder::FixedPointScale);
    // One fast pulse among four slow ones is still slow.
    EXPECT_EQ(encoder.meanInterval(), (1235 + 4 * 100000) / 5);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 10);
    EXPECT_EQ(encoder.LastFormattedFrequency, "070000000");
}

TEST_F(ShaftEncoderVfo, FasterTurningGivesLargerSteps)
{
    pulses(5, 500);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 10000);
    EXPECT_DOUBLE_EQ(vfo->TuneStepLSD(), 10000);
    pulses(5, 3000);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 5000);
    EXPECT_DOUBLE_EQ(vfo->TuneStepLSD(), 1000);
    pulses(5, 10000);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 100);
    pulses(5, 50000);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 10);
}

TEST_F(ShaftEncoderVfo, HalfAndQuarterGridBandsKeepTuningBothWays)
{
    for (double interval : {6500.0, 7500.0}) {
        pulses(5, interval);
        ASSERT_LT(vfo->TuneStep(), vfo->TuneStepLSD()) << interval;
        vfo->setTunedFrequency(70000000);
        for (int i = 0; i < 3; ++i) {
            encoder.EncoderDownCount = 1;
            encoder.tmrShaft_Timer(*vfo);
        }
        EXPECT_EQ(vfo->TunedFrequency(), 69997000) << interval;
        for (int i = 0; i < 5; ++i) {
            encoder.EncoderUpCount = 1;
            encoder.tmrShaft_Timer(*vfo);
        }
        EXPECT_EQ(vfo->TunedFrequency(), 70002000) << interval;
        EXPECT_EQ(encoder.EncoderUpCount, 0);
        EXPECT_EQ(encoder.EncoderDownCount, 0);
    }
}

TEST_F(ShaftEncoderVfo, ALockedStepIsNotChangedBySpeed)
{
    vfo->setTuneStepLock(true);
    pulses(5, 500);
    EXPECT_DOUBLE_EQ(vfo->TuneStep(), 1000);
    encoder.EncoderUpCount = 1;
    encoder.tmrShaft_Timer(*vfo);
    EXPECT_EQ(vfo->TunedFrequency(), 70001000);
    encoder.tmrShaft_Timer(*vfo); // nothing pending: no step
    EXPECT_EQ(vfo->TunedFrequency(), 70001000);
}
