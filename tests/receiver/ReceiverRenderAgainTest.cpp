// A mode chosen between blocks is heard a block sooner: the block already handed to the
// sound card is rendered again in the new mode. What takes its place, and every block after
// it, must be what a receiver that had been in the new mode all along gives, once the new
// mode has faded in.

#include "ReceiverRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace orvik::testing {
namespace {

// Something every mode hears: a modulated carrier at the IF centre and a tone either side.
double mixture(int64_t n)
{
    const double t = static_cast<double>(n) / kSampleRate;
    return 4000 * (1 + 0.5 * std::sin(kTwoPi * 700 * t)) * std::cos(kTwoPi * 12000 * t) +
           3000 * std::cos(kTwoPi * 11000 * t) + 3000 * std::cos(kTwoPi * 13100 * t);
}

// Largest difference between two stretches after the new mode's fade-in, as a fraction of
// the second's peak.
double mismatch(const std::vector<int16_t>& a, const std::vector<int16_t>& b)
{
    int32_t worst = 0;
    for (size_t i = ReceiverCore::kFadeInSamples; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int32_t{a[i]} - b[i]));
    return static_cast<double>(worst) / std::max(peakOf(b), 1);
}

constexpr int32_t kModes[] = {kDemodAM, kDemodUSB, kDemodLSB, kDemodFM, kDemodBC};
constexpr int kBlocksBefore = 8;
constexpr int kBlocksAfter = 3;
// A rounding here and there.
constexpr double kTolerance = 0.001;

bool sideband(int32_t mode) { return mode == kDemodUSB || mode == kDemodLSB; }

using Setting = std::function<void(ReceiverRig&)>;

// A receiver set up in `from`, then in `to` before it receives anything.
std::unique_ptr<ReceiverRig> receiverIn(int32_t from, int32_t to, float bfo, const Setting& setting = {})
{
    auto rig = std::make_unique<ReceiverRig>(from);
    SetBFO(*rig->handlers, bfo);
    if (setting)
        setting(*rig);
    if (to != from)
        SetDemodMode(*rig->handlers, to);
    rig->powerOn();
    return rig;
}

TEST(ReceiverRenderAgain, TheBlockWaitingAndThoseAfterItAreWhatTheNewModeGivesAllAlong)
{
    // At a BFO of 750 Hz the oscillator is back at the same phase at every block's start, so
    // a receiver that ran it all along is comparable with one that starts it now; at 600 Hz
    // only one that kept it running (USB <-> LSB) is.
    for (float bfo : {0.0f, 750.0f, 600.0f}) {
        for (int32_t from : kModes) {
            for (int32_t to : kModes) {
                if (from == to || (bfo == 600.0f && !(sideband(from) && sideband(to))))
                    continue;
                SCOPED_TRACE(::testing::Message() << "mode " << from << " -> " << to << ", BFO " << bfo);
                auto switched = receiverIn(from, from, bfo);
                auto along = receiverIn(from, to, bfo);
                switched->run(kBlocksBefore, mixture);
                along->run(kBlocksBefore, mixture);
                const std::vector<int16_t> before = switched->tail(1);

                ASSERT_TRUE(SetDemodMode(*switched->handlers, to));
                EXPECT_EQ(switched->sound.replacements, 1);
                EXPECT_GT(mismatch(before, switched->tail(1)), 0.1) << "the block waiting was not rendered again";
                switched->run(kBlocksAfter, mixture);
                along->run(kBlocksAfter, mixture);
                EXPECT_LT(mismatch(switched->tail(kBlocksAfter + 1), along->tail(kBlocksAfter + 1)), kTolerance);
            }
        }
    }
}

// The stages around the demodulator start again with it: the audio or IF notch and the
// dynamic filter. The dynamic filter is held where it stands: following the audio's peak,
// it would stand elsewhere in a receiver that heard the new mode all along.
TEST(ReceiverRenderAgain, TheNotchAndTheDynamicFilterFollowTheNewModeToo)
{
    const Setting stages[] = {
        [](ReceiverRig& rig) { SetNotch(*rig.handlers, true, 0, 0, 1000, 200); },
        [](ReceiverRig& rig) { SetNotch(*rig.handlers, true, 0, 1, 600, 200); },
        [](ReceiverRig& rig) {
            SetDynamicFilter(*rig.handlers, true);
            rig.runStatistics = false;
        },
    };
    const int32_t pairs[][2] = {{kDemodAM, kDemodUSB}, {kDemodUSB, kDemodAM}, {kDemodLSB, kDemodFM}};
    for (size_t stage = 0; stage < std::size(stages); ++stage) {
        for (const auto& pair : pairs) {
            SCOPED_TRACE(::testing::Message() << "stage " << stage << ", mode " << pair[0] << " -> " << pair[1]);
            auto switched = receiverIn(pair[0], pair[0], 0, stages[stage]);
            auto along = receiverIn(pair[0], pair[1], 0, stages[stage]);
            switched->run(kBlocksBefore, mixture);
            along->run(kBlocksBefore, mixture);
            ASSERT_TRUE(SetDemodMode(*switched->handlers, pair[1]));
            EXPECT_EQ(switched->sound.replacements, 1);
            switched->run(kBlocksAfter, mixture);
            along->run(kBlocksAfter, mixture);
            EXPECT_LT(mismatch(switched->tail(kBlocksAfter + 1), along->tail(kBlocksAfter + 1)), kTolerance);
        }
    }
}

// Too late, inside a block, or with a file playing, nothing is replaced; when the block
// had already been played, the blocks after it are still the new mode's own.
TEST(ReceiverRenderAgain, NothingIsReplacedWhereItCannotBeAndTheNextBlocksStillFollowTheNewMode)
{
    {
        auto rig = receiverIn(kDemodAM, kDemodAM, 0);
        EXPECT_FALSE(rig->core->RenderLastBlockAgain()) << "before any block";
        rig->run(2, mixture);
        rig->core->ClearCarriedTails();
        EXPECT_FALSE(rig->core->RenderLastBlockAgain()) << "after a stop";
        rig->run(2, mixture);
        rig->vars.InDSP = true;
        EXPECT_FALSE(rig->core->RenderLastBlockAgain()) << "inside a block";
        rig->vars.InDSP = false;
        rig->player.playing = true;
        EXPECT_FALSE(rig->core->RenderLastBlockAgain()) << "a file playing";
        rig->player.playing = false;
        EXPECT_TRUE(rig->core->RenderLastBlockAgain());
    }
    auto switched = receiverIn(kDemodUSB, kDemodUSB, 600);
    auto along = receiverIn(kDemodUSB, kDemodLSB, 600);
    switched->run(kBlocksBefore, mixture);
    along->run(kBlocksBefore, mixture);
    const std::vector<int16_t> before = switched->tail(1);
    switched->sound.replaceable = false;
    ASSERT_TRUE(SetDemodMode(*switched->handlers, kDemodLSB));
    EXPECT_EQ(switched->sound.replacements, 0);
    EXPECT_EQ(switched->tail(1), before);
    switched->run(kBlocksAfter, mixture);
    along->run(kBlocksAfter, mixture);
    EXPECT_LT(mismatch(switched->tail(kBlocksAfter), along->tail(kBlocksAfter)), kTolerance);
}

} // namespace
} // namespace orvik::testing
