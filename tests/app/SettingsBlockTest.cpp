// Capturing the receiver into a settings block and applying a block back, on a receiver
// as start-up builds it, down to what the block does to the audio.

#include "../receiver/ReceiverRig.h"

#include "app/SettingsBlock.h"
#include "common/Numeric.h"

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

constexpr int kSettle = 6;
constexpr int kMeasure = 8;

struct SettingsBlockRig : ::testing::Test {
    SettingsBlockRig()
    {
        ReceiverHandlers& h = *rig.handlers;
        const std::pair<int, void (ReceiverHandlers::*)()> procedures[] = {
            {rxadj::FilterHi, &ReceiverHandlers::lblFilterHi_Wheel}, {rxadj::FilterLo, &ReceiverHandlers::lblFilterLo_Wheel},
            {rxadj::OutVol, &ReceiverHandlers::lblOutVol_Wheel},     {rxadj::NotchC, &ReceiverHandlers::lblNotchC_Wheel},
            {rxadj::NotchW, &ReceiverHandlers::lblNotchW_Wheel},     {rxadj::AGCAttack, &ReceiverHandlers::lblAGCAttack_Wheel},
            {rxadj::AGCDecay, &ReceiverHandlers::lblAGCDecay_Wheel}, {rxadj::IFHi, &ReceiverHandlers::lblIFHi_Wheel},
            {rxadj::IFLo, &ReceiverHandlers::lblIFLo_Wheel}};
        for (const auto& [id, procedure] : procedures)
            rig.adjusterTable.Define(id, nullptr, [&h, procedure] { (h.*procedure)(); });

        SettingsBlock::Hooks hooks;
        hooks.TunedFrequency = [this] { return tuned; };
        hooks.setTunedFrequency = [this](int32_t t) {
            tuned = t;
            ++retunes;
        };
        hooks.Display7Seg = [this] {
            ++displays;
            applyingSeen = block->ApplyingSettings;
        };
        hooks.chkTuneLo = [this](bool low) {
            lowSideBox = low;
            rig.vars.HiSideLO = !low;
        };
        hooks.NewLogRecord = [this](int32_t t) {
            logged.push_back(t);
            block->ApplySettingsBlock(RxSettings{}); // a nested apply returns at once
        };
        block = std::make_unique<SettingsBlock>(h, rig.adjusterTable, hooks);
    }

    static RxSettings usbBlock()
    {
        RxSettings s;
        s.FreqCurrent = 7074000;
        s.LowSideLO = false;
        s.TuneStep = 1000;
        s.DemodMode = kDemodUSB;
        s.FilterMode = 3;
        s.FilterHi = 2700;
        s.FilterLo = 300;
        s.IFFilterActive = true;
        s.IFFilterMode = 1; // "Man"
        s.IFFilterHi = 3100;
        s.IFFilterLo = 200;
        s.AGCOn = true;
        s.AGCMode = 2;
        s.AGCAttack = 30;
        s.AGCDecay = 40;
        s.NotchActive = true;
        s.NotchMode = 0;
        s.NotchType = 0;
        s.NotchFilterCenter = 1500;
        s.NotchFilterWidth = 300;
        s.OutputAttenuation = -600;
        return s;
    }

    float value(int id) { return rig.adjusterTable[id].Value; }

    ReceiverRig rig{kDemodAM};
    int32_t tuned = 100000000;
    int retunes = 0;
    int displays = 0;
    bool applyingSeen = false;
    bool lowSideBox = false;
    std::vector<int32_t> logged;
    std::unique_ptr<SettingsBlock> block;
};

TEST_F(SettingsBlockRig, ApplyPutsTheWholeBlockOnTheReceiverAndCaptureReadsItBack)
{
    const RxSettings s = usbBlock();
    block->ApplySettingsBlock(s);
    const PublicVars& v = rig.vars;
    EXPECT_EQ(tuned, 70740000);
    EXPECT_EQ(displays, 1);
    EXPECT_TRUE(applyingSeen);
    EXPECT_FALSE(block->ApplyingSettings);
    EXPECT_FALSE(lowSideBox);
    EXPECT_EQ(v.DemodMode, kDemodUSB);
    EXPECT_EQ(v.FilterMode, 3);
    EXPECT_EQ(v.FilterHi, 2700);
    EXPECT_EQ(v.FilterLo, 300);
    EXPECT_EQ(value(rxadj::FilterHi), 2700.0f);
    EXPECT_TRUE(v.IFFilterActive);
    EXPECT_EQ(v.IFFilterMode, 1);
    EXPECT_EQ(value(rxadj::IFHi), 3100.0f);
    EXPECT_EQ(value(rxadj::IFLo), 200.0f);
    EXPECT_TRUE(v.NotchActive);
    EXPECT_EQ(v.NotchMode, 0);
    EXPECT_EQ(value(rxadj::NotchC), 1500.0f);
    EXPECT_EQ(value(rxadj::NotchW), 300.0f);
    EXPECT_TRUE(v.AGCOn);
    EXPECT_EQ(v.AGCMode, 4);
    EXPECT_EQ(v.AGCTable[4].Attack, 30);
    EXPECT_EQ(v.AGCTable[4].Decay, 40);
    EXPECT_EQ(value(rxadj::AGCAttack), 30.0f);
    EXPECT_FLOAT_EQ(v.AGCDelayTime, 3.0f);
    EXPECT_EQ(value(rxadj::OutVol), -600.0f);
    EXPECT_EQ(v.OutputAttenuation, -600.0f);
    // One track record, with the frequency the VFO was given.
    EXPECT_EQ(logged, std::vector<int32_t>{70740000});

    RxSettings back;
    back.TuneStep = 25;
    block->CaptureSettingsBlock(back);
    EXPECT_TRUE(back.Captured);
    EXPECT_EQ(back.TuneStep, 25); // capture leaves the step alone
    RxSettings expected = s;
    expected.Captured = true;
    expected.TuneStep = 25;
    expected.HiSideLO = true;
    expected.AGCMode = 4;
    EXPECT_EQ(back, expected);
}

TEST_F(SettingsBlockRig, NegativeEdgesComeFromTheFilterTablesOfTheModesJustSet)
{
    RxSettings s = usbBlock();
    s.FilterHi = -1;
    s.FilterLo = -1;
    s.IFFilterHi = -1;
    s.IFFilterLo = -1;
    block->ApplySettingsBlock(s);
    const PublicVars& v = rig.vars;
    EXPECT_EQ(value(rxadj::FilterHi), static_cast<float>(v.FilterTable[3].Hi));
    EXPECT_EQ(value(rxadj::FilterLo), static_cast<float>(v.FilterTable[3].Lo));
    EXPECT_EQ(v.FilterHi, v.FilterTable[3].Hi);
    const FilterSetting& ifRow = v.IFFilterSettings[1].FilterSettings[kDemodUSB];
    EXPECT_EQ(value(rxadj::IFHi), static_cast<float>(ifRow.CurrentHi));
    EXPECT_EQ(value(rxadj::IFLo), static_cast<float>(ifRow.CurrentLo));
}

TEST_F(SettingsBlockRig, AFrequencyBelowOneHertzOrBeyondTenthsLeavesTheTuningAlone)
{
    for (int32_t hertz : {-1, 0, 214748365, 300000000}) {
        SCOPED_TRACE(hertz);
        RxSettings s = usbBlock();
        s.FreqCurrent = hertz;
        s.DemodMode = kDemodLSB;
        block->ApplySettingsBlock(s);
        EXPECT_EQ(tuned, 100000000);
        EXPECT_EQ(retunes, 0);
        EXPECT_EQ(rig.vars.DemodMode, kDemodLSB); // the rest of the block applies
        EXPECT_EQ(logged.back(), 100000000);
        rig.handlers->optMode_Click(kDemodAM);
    }
    RxSettings top = usbBlock();
    top.FreqCurrent = 214748364; // the largest that fits in tenths
    block->ApplySettingsBlock(top);
    EXPECT_EQ(tuned, 2147483640);
}

TEST_F(SettingsBlockRig, NotchWidthIsHeldToItsAdjusterAndSidesFollowTheBlock)
{
    RxSettings s = usbBlock();
    s.NotchFilterWidth = -50;
    s.LowSideLO = true;
    block->ApplySettingsBlock(s);
    EXPECT_EQ(value(rxadj::NotchW), 0.0f);
    EXPECT_TRUE(lowSideBox);
    EXPECT_FALSE(rig.vars.HiSideLO);
    s.NotchFilterWidth = 12999;
    block->ApplySettingsBlock(s);
    EXPECT_EQ(value(rxadj::NotchW), rig.adjusterTable[rxadj::NotchW].Max);

    RxSettings back;
    block->CaptureSettingsBlock(back);
    EXPECT_TRUE(back.LowSideLO);
    EXPECT_FALSE(back.HiSideLO);
}

TEST_F(SettingsBlockRig, ANegativeAGCModeGoesBackToTheModeBeforeThePresetRow)
{
    // Nothing remembered yet: mode 1.
    RxSettings keep = usbBlock();
    keep.AGCMode = -1;
    SetAGC(*rig.handlers, true, 2);
    block->ApplySettingsBlock(keep);
    EXPECT_EQ(rig.vars.AGCMode, 1);

    SetAGC(*rig.handlers, true, 3);
    block->ApplySettingsBlock(usbBlock());
    EXPECT_EQ(rig.vars.AGCMode, 4);
    block->ApplySettingsBlock(usbBlock()); // already on row 4: the remembered mode stays 3
    block->ApplySettingsBlock(keep);
    EXPECT_EQ(rig.vars.AGCMode, 3);
    EXPECT_EQ(value(rxadj::AGCAttack), static_cast<float>(rig.vars.AGCTable[3].Attack));
}

TEST_F(SettingsBlockRig, CaptureRoundsTheFrequencyHalfToEvenAndTakesTheAGCRowAndAdjusters)
{
    RxSettings s;
    tuned = 70740005;
    block->CaptureSettingsBlock(s);
    EXPECT_EQ(s.FreqCurrent, 7074000);
    tuned = 70740015;
    block->CaptureSettingsBlock(s);
    EXPECT_EQ(s.FreqCurrent, 7074002);

    SetAGC(*rig.handlers, true, 3);
    rig.adjusterTable[rxadj::NotchC].Value = 1500.5f;
    rig.adjusterTable[rxadj::NotchW].Value = 251.5f;
    rig.adjusterTable[rxadj::OutVol].Value = -250.5f;
    block->CaptureSettingsBlock(s);
    EXPECT_EQ(s.AGCMode, 3);
    EXPECT_EQ(s.AGCAttack, static_cast<float>(rig.vars.AGCTable[3].Attack));
    EXPECT_EQ(s.AGCDecay, static_cast<float>(rig.vars.AGCTable[3].Decay));
    EXPECT_EQ(s.NotchFilterCenter, 1500);
    EXPECT_EQ(s.NotchFilterWidth, 252);
    EXPECT_EQ(s.OutputAttenuation, -250.5f);
}

TEST_F(SettingsBlockRig, AnAppliedUSBBlockDemodulatesTheUpperSideAndRejectsTheLower)
{
    RxSettings s = usbBlock();
    s.NotchActive = false;
    s.IFFilterActive = false;
    s.AGCOn = false;
    s.OutputAttenuation = 0;
    s.FilterMode = 0;
    s.FilterHi = -1;
    s.FilterLo = -1;
    block->ApplySettingsBlock(s);
    rig.powerOn();
    rig.run(kSettle + kMeasure, tone(13000, 8000));
    const double wanted = levelAt(rig.tail(kMeasure), 1000);
    rig.run(kSettle + kMeasure, tone(11000, 8000));
    const double rejected = levelAt(rig.tail(kMeasure), 1000);
    EXPECT_GT(wanted, 2000);
    EXPECT_LT(rejected, wanted / 100);
}

} // namespace
} // namespace orvik::testing
