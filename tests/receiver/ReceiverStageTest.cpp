// Single stages of the chain against slow obvious versions of themselves.

#include "ReceiverRig.h"

#include "dsp/VectorLib.h"

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

std::vector<float> randomBlock(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-9000.0f, 9000.0f);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(gen);
    return v;
}

TEST(ReceiverStage, BCDetectorGivesExactlyTheShiftedHistoryAverage)
{
    ReceiverRig rig(kDemodBC);
    std::array<float, 10> history{};
    // Pieces shorter than the history, a whole block and more than a block;
    // non-integer samples, so a different summing order would show.
    for (int32_t count : {3, 7, kBlockSamples, 1, 2 * kBlockSamples + 5, 12}) {
        auto in = randomBlock(static_cast<size_t>(count), static_cast<uint32_t>(count));
        for (float& x : in)
            x *= 1.0001f;
        std::vector<float> want(in.size());
        for (size_t k = 0; k < in.size(); ++k) {
            vectorlib::ShiftVectorRight_S_1(history.data(), 10);
            history[0] = std::fabs(in[k]);
            want[k] = vectorlib::Sum_S_1(history.data(), 10) / 10;
        }
        std::vector<float> got(in.size());
        rig.core->DemodBCEnvelope(in.data(), got.data(), count);
        for (size_t k = 0; k < in.size(); ++k) {
            ASSERT_EQ(got[k], want[k]) << "count " << count << " sample " << k;
            ASSERT_GE(in[k], 0.0f);  // the input is left rectified
        }
    }
}

} // namespace
} // namespace orvik::testing
