// Kept in a binary of its own: vendor plans live for the whole process, so
// only a process that has run nothing else shows that the own back-end made
// none.

#include "ReceiverRig.h"

#include "dsp/ORVIK.h"
#include "dsp/VendorFft.h"

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

// An AM station on the IF centre, a carrier, a whistle and noise.
double busyIf(int64_t n)
{
    const double t = static_cast<double>(n) / kSampleRate;
    const auto noise = static_cast<double>((static_cast<uint64_t>(n) * 2654435761u) % 1801) - 900.0;
    return 3000 * (1 + 0.4 * std::sin(kTwoPi * 600 * t)) * std::cos(kTwoPi * 12000 * t)
           + 1500 * std::cos(kTwoPi * 13200 * t) + 2500 * std::cos(kTwoPi * 14500 * t) + noise;
}

// Every stage that transforms: noise reduction, IF filter, notch (audio or
// IF) and the dynamic filter on top of the mode's own filters.
std::unique_ptr<ReceiverRig> heavyRig(int32_t mode)
{
    auto rig = std::make_unique<ReceiverRig>(mode);
    SetAGC(*rig->handlers, true, 2);
    SetNoiseReduction(*rig->handlers, true, 0.1f);
    SetIFFilter(*rig->handlers, true, 1);
    const bool audioNotch = mode == kDemodUSB || mode == kDemodLSB || mode == kDemodBC;
    SetNotch(*rig->handlers, true, 0, audioNotch ? 0 : 1, audioNotch ? 1000.0f : 2500.0f, 200);
    SetDynamicFilter(*rig->handlers, mode != kDemodDRM);
    rig->powerOn();
    return rig;
}

TEST(ReceiverVendorPlanning, OwnBackEndPlansNothingAndASwitchGivesWhatAVendorChainGives)
{
    ORVIK::INIT();
    if (!ORVIK::SPLPresent)
        GTEST_SKIP() << "no vendor back-end in this build";
    ASSERT_EQ(ORVIK::VendorPlanCount(), 0);

    // Every mode runs on the own back-end; a second chain of each is designed
    // and powered on there but switched to the vendor back-end before its
    // first block.
    ORVIK::UseSPL = false;
    std::vector<std::unique_ptr<ReceiverRig>> switched;
    for (int32_t mode = 0; mode <= kDemodBC; ++mode) {
        heavyRig(mode)->run(3, busyIf);
        switched.push_back(heavyRig(mode));
    }
    EXPECT_EQ(ORVIK::VendorPlanCount(), 0);

    ORVIK::UseSPL = true;
    for (int32_t mode = 0; mode <= kDemodBC; ++mode) {
        SCOPED_TRACE(mode);
        switched[mode]->run(4, busyIf);
        auto vendor = heavyRig(mode);
        vendor->run(4, busyIf);
        EXPECT_EQ(switched[mode]->sound.samples, vendor->sound.samples);
    }
    EXPECT_GT(ORVIK::VendorPlanCount(), 0);
    ORVIK::UseSPL = false;
}

} // namespace
} // namespace orvik::testing
