// The receiver's option, box, slider and dial handlers and the apply procedures of
// its adjustable values, driven without any window.

#include "ReceiverRig.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace orvik::testing {
namespace {

// A value label that keeps what it was told to show.
class TextLabel : public AdjusterLabel {
public:
    void SetCaption(const QString& caption) override { text = caption.toStdString(); }
    QString Caption() const override { return QString::fromStdString(text); }
    void SetForeColour(uint32_t) override {}
    void SetBorder(bool) override {}
    std::string text;
};

// Keeps the control state like the plain view and records the texts shown.
class RecordingView : public ReceiverView {
public:
    void setText(RxWidget w, const std::string& t) override { text[w] = t; }
    void setToolTip(RxWidget w, const std::string& t) override { tip[w] = t; }
    void setVisible(RxWidget w, bool v) override { visible[w] = v; }
    void setForeColour(RxWidget w, uint32_t c) override { colour[w] = c; }
    std::map<RxWidget, std::string> text;
    std::map<RxWidget, std::string> tip;
    std::map<RxWidget, bool> visible;
    std::map<RxWidget, uint32_t> colour;
};

struct Bench {
    explicit Bench(int32_t mode = kDemodAM)
    {
        vars.HiSideLO = true;
        InitialiseReceiverState(vars);
        core = std::make_unique<ReceiverCore>(vars, sound, spectrum, player, tuning);
        for (int id : rxadj::All)
            table.Define(id, &labels[id], {});
        ReceiverHandlers::Hooks hooks;
        hooks.vfoHiSideLO = [this] { return hiSide; };
        hooks.soundPrepared = [this] { return prepared; };
        hooks.prepareAndStartSound = [this] { prepared = true; events.push_back("start"); };
        hooks.stopAndReleaseSound = [this] { prepared = false; events.push_back("release"); };
        hooks.powerOn = [this] { return power; };
        hooks.RunDREAM = [this] {
            events.push_back("dream");
            if (whileDreamStarts)
                whileDreamStarts();
        };
        hooks.CloseListedWindows = [this] { events.push_back("close"); };
        hooks.MuteAFOnDRM = [this] { return muteOnDRM; };
        hooks.CloseSoundcardOnDRM = [] { return true; };
        hooks.DreamCloseOnModeChange = [] { return true; };
        hooks.setShowNotch = [this](bool on) { showNotch = on; };
        hooks.setOutputAttenuation = [this](float level) { soundLevel = level; };
        h = std::make_unique<ReceiverHandlers>(*core, adjusters, view, hooks);
        h->InitialiseControls();
        h->optMode_Click(mode);
    }

    Adjuster& adj(int id) { return table[id]; }
    const std::string& caption(int id) { return labels[id].text; }

    PublicVars vars;
    RecordingSoundOutput sound;
    RecordingSpectrumFeed spectrum;
    RecordingPlayerRecorder player;
    FixedTuning tuning{0};
    std::unique_ptr<ReceiverCore> core;
    CtlArray table;
    std::array<TextLabel, CtlArray::Size> labels;
    CtlArrayReceiverAdjusters adjusters{table};
    RecordingView view;
    std::unique_ptr<ReceiverHandlers> h;
    bool hiSide = true;
    bool prepared = true;
    bool power = true;
    bool muteOnDRM = true;
    bool showNotch = false;
    float soundLevel = 12345;
    std::vector<std::string> events;
    std::function<void()> whileDreamStarts; // events let in while the decoder starts
};

TEST(ReceiverHandlers, FilterPresetSetsEdgesDynamicFilterSlidersAndDefaults)
{
    Bench b;
    b.h->optFilter_Click(1); // "400 Hz", music off
    EXPECT_EQ(b.vars.FilterMode, 1);
    EXPECT_EQ(b.vars.FilterLo, 200);
    EXPECT_EQ(b.vars.FilterHi, 600);
    EXPECT_EQ(b.core->DynamicFilter.FLow, 240);
    EXPECT_EQ(b.core->DynamicFilter.FHigh, 560);
    EXPECT_EQ(b.h->position(RxWidget::sldBW0), 1999 + 0 - 200);
    EXPECT_EQ(b.h->position(RxWidget::sldBW1), 5000 + 0 - 600);
    EXPECT_EQ(b.h->bandwidthTag(0), "200");
    EXPECT_EQ(b.h->bandwidthTag(1), "600");
    EXPECT_EQ(b.adj(7).Default, 600);
    EXPECT_EQ(b.adj(8).Default, 200);
    EXPECT_EQ(b.adj(7).Value, 600);
    EXPECT_EQ(b.caption(8), "200");
    EXPECT_EQ(b.view.text[RxWidget::lblFHi], "600");
    EXPECT_EQ(b.view.tip[RxWidget::sldBW1], "Fhi : 600 Hz");
    EXPECT_TRUE(b.vars.DSPSettingsChanged);
    EXPECT_EQ(b.view.selectedOption(RxWidget::optFilter), 1);
}

TEST(ReceiverHandlers, FilterRowsBeyondTheButtonsHandZeroEdges)
{
    // A settings block may name any row of the table; rows 5 to 8 are empty.
    Bench b;
    b.h->optFilter_Click(1);
    for (int row : {5, 8}) {
        b.h->optFilter_Click(row);
        EXPECT_EQ(b.vars.FilterMode, row);
        EXPECT_EQ(b.vars.FilterLo, 0) << row;
        EXPECT_EQ(b.vars.FilterHi, 0) << row;
        EXPECT_EQ(b.core->DynamicFilter.FLow, 0) << row;
        EXPECT_EQ(b.core->DynamicFilter.FHigh, 0) << row;
        EXPECT_EQ(b.adj(7).Default, 0) << row;
        EXPECT_EQ(b.h->position(RxWidget::sldBW1), 5000) << row;
    }
    b.h->optFilter_Click(9); // beyond the table: the row in force stays
    EXPECT_EQ(b.vars.FilterMode, 8);
}

TEST(ReceiverHandlers, FilterRederiveKeepsEdgesAndTagsRestoreThePreset)
{
    Bench b;
    b.h->optFilter_Click(3); // 300 .. 3000
    b.vars.FilterLo = 700;   // as the dynamic filter or a label leaves it
    b.vars.FilterHi = 1700;
    b.h->optFilter_Click(-1);
    EXPECT_EQ(b.vars.FilterLo, 700);
    EXPECT_EQ(b.vars.FilterHi, 1700);
    EXPECT_EQ(b.core->DynamicFilter.FLow, 800);
    EXPECT_EQ(b.core->DynamicFilter.FHigh, 1600);

    b.h->optFilter_Click(3);
    b.vars.FilterLo = 900;
    b.h->optFilter_Click(-2); // the tags hold the preset's edges
    EXPECT_EQ(b.vars.FilterLo, 300);
    EXPECT_EQ(b.vars.FilterHi, 3000);
    EXPECT_EQ(b.core->DynamicFilter.FLow, 570);
    EXPECT_EQ(b.core->DynamicFilter.FHigh, 2730);
}

TEST(ReceiverHandlers, UpperEdgeBeyondItsSliderIsNotRewrittenByTheSlider)
{
    Bench b;
    b.adj(7).Value = 6000; // the label allows more than the slider shows
    b.h->lblFilterHi_Wheel();
    b.h->optFilter_Click(-1);
    EXPECT_EQ(b.vars.FilterHi, 6000);
    EXPECT_EQ(b.h->position(RxWidget::sldBW1), 0); // the slider stops at its end
    EXPECT_EQ(b.adj(7).Value, 6000);
}

TEST(ReceiverHandlers, MusicPullsTheLowerEdgeDownAndGivesItBack)
{
    Bench b;
    b.h->optFilter_Click(2); // 300 .. 2300
    b.h->clickBox(RxWidget::chkMusic, true);
    EXPECT_EQ(b.vars.FilterLo, 50);
    EXPECT_EQ(b.vars.FilterTable[2].InitLo, 300);
    EXPECT_TRUE(b.vars.FilterTable[2].Music);
    EXPECT_EQ(b.caption(8), "50");
    // A right click on the lower slider in music mode goes to 50, not to the preset edge.
    b.vars.FilterLo = 400;
    b.h->sldBW_MouseDown(0, true);
    EXPECT_EQ(b.vars.FilterLo, 50);
    b.h->clickBox(RxWidget::chkMusic, false);
    EXPECT_EQ(b.vars.FilterLo, 300);
    EXPECT_FALSE(b.vars.MusicModeActive);
    // Choosing the preset again runs the rule once, with the preset's own flag.
    b.h->optFilter_Click(2);
    EXPECT_EQ(b.vars.FilterLo, 300);
    EXPECT_FALSE(b.h->box(RxWidget::chkMusic));
}

TEST(ReceiverHandlers, TrackModeLoadsTheAudioEdgesBySideband)
{
    const struct {
        int32_t mode;
        int32_t hi;
        int32_t lo;
    } cases[] = {{kDemodAM, 3000, 3000}, {kDemodUSB, 3000, 300}, {kDemodLSB, 300, 3000}};
    for (const auto& c : cases) {
        Bench b(c.mode);
        b.h->optFilter_Click(3);
        b.h->clickBox(RxWidget::chkIFFilter, true);
        b.h->optIFFilter_Click(2);
        EXPECT_EQ(b.adj(17).Value, c.hi) << c.mode;
        EXPECT_EQ(b.adj(18).Value, c.lo) << c.mode;
        EXPECT_EQ(b.vars.IFFilterHi, c.hi);
        EXPECT_EQ(b.vars.IFFilterLo, c.lo);
        EXPECT_FALSE(b.view.visible[RxWidget::lblIFHi]);
    }
}

TEST(ReceiverHandlers, IFFilterChoicesFollowTheBox)
{
    Bench b;
    // Off: the choice snaps back.
    b.h->optIFFilter_Click(2);
    EXPECT_EQ(b.vars.IFFilterMode, 1);
    EXPECT_EQ(b.view.selectedOption(RxWidget::optIFFilter), 1);
    // Checking the box while the mode is "Off" brings the filter on in "Man".
    b.vars.IFFilterMode = 0;
    b.h->clickBox(RxWidget::chkIFFilter, true);
    EXPECT_TRUE(b.h->box(RxWidget::chkIFFilter));
    EXPECT_TRUE(b.vars.IFFilterActive);
    EXPECT_TRUE(b.core->IFFilter.Active);
    EXPECT_EQ(b.vars.IFFilterMode, 1);
    EXPECT_FALSE(b.adj(17).Disabled);
    // "Off" while on switches everything off together.
    b.h->optIFFilter_Click(0);
    EXPECT_FALSE(b.h->box(RxWidget::chkIFFilter));
    EXPECT_FALSE(b.vars.IFFilterActive);
    EXPECT_FALSE(b.core->IFFilter.Active);
    EXPECT_TRUE(b.adj(18).Disabled);
}

TEST(ReceiverHandlers, ModeChangesHandTheSoundToTheDecoderAndBack)
{
    Bench b(kDemodUSB);
    b.vars.DSPSettingsChanged = false;
    b.h->optMode_Click(kDemodUSB); // the mode in force: no hand-off, still a rebuild
    EXPECT_TRUE(b.events.empty());
    EXPECT_TRUE(b.vars.DSPSettingsChanged);
    EXPECT_TRUE(b.core->SSBFilterI.Active);
    EXPECT_FALSE(b.core->AMFilterI.Active);

    b.h->optMode_Click(kDemodDRM);
    EXPECT_EQ(b.events, (std::vector<std::string>{"release", "dream"}));
    EXPECT_TRUE(b.vars.Mute);
    EXPECT_FALSE(b.core->SSBFilterI.Active);
    EXPECT_FALSE(b.core->DemodFilter.Active);

    b.events.clear();
    b.muteOnDRM = false; // leaving DRM unmutes whatever the option says now
    b.h->optMode_Click(kDemodAM);
    EXPECT_EQ(b.events, (std::vector<std::string>{"start", "close"}));
    EXPECT_FALSE(b.vars.Mute);
    EXPECT_TRUE(b.core->DemodFilter.Active);

    // With the receiver off and the devices not prepared nothing is started or released.
    b.events.clear();
    b.power = false;
    b.prepared = false;
    b.h->optMode_Click(kDemodDRM);
    b.h->optMode_Click(kDemodFM);
    EXPECT_EQ(b.events, (std::vector<std::string>{"dream", "close"}));

    // Clicks let in while the decoder starts are not lost: the last one is taken after it.
    for (const std::vector<int>& clicks : {std::vector<int>{kDemodUSB, kDemodAM}, {kDemodAM, kDemodDRM}}) {
        b.h->optMode_Click(kDemodFM);
        b.events.clear();
        b.whileDreamStarts = [&] {
            for (int mode : clicks)
                b.h->optMode_Click(mode);
            b.whileDreamStarts = nullptr;
        };
        b.h->optMode_Click(kDemodDRM);
        EXPECT_EQ(b.vars.DemodMode, clicks.back());
        EXPECT_EQ(b.view.selectedOption(RxWidget::optMode), clicks.back());
        const std::vector<std::string> expected =
            clicks.back() == kDemodDRM ? std::vector<std::string>{"dream"} : std::vector<std::string>{"dream", "close"};
        EXPECT_EQ(b.events, expected);
    }
}

TEST(ReceiverHandlers, AutoNotchKeepsTheIFLimitsWhole)
{
    Bench b;
    b.h->clickBox(RxWidget::chkNotchOn, true);
    b.h->optNotch_Click(0);
    b.h->clickBox(RxWidget::chkNotchType, true); // the IF set is live now
    EXPECT_EQ(b.adj(11).Min, -6000);
    b.adj(11).Value = -1500;
    b.h->lblNotchC_Wheel();
    b.h->optNotch_Click(1);
    const NotchLimits& l = b.vars.NotchAdjusterLimits;
    EXPECT_EQ(l.IFMin, -6000);
    EXPECT_EQ(l.IFMax, 6000);
    EXPECT_EQ(l.IFValue, -1500);
    EXPECT_EQ(b.adj(11).Min, 0); // the automatic notch works on the audio set
    EXPECT_TRUE(b.showNotch);
    EXPECT_FALSE(b.view.visible[RxWidget::chkNotchType]);

    // With the audio set live, Auto must not write it over the IF limits.
    Bench audio;
    audio.h->clickBox(RxWidget::chkNotchOn, true);
    audio.h->optNotch_Click(0);
    audio.adj(11).Value = 1800;
    audio.h->optNotch_Click(1);
    EXPECT_EQ(audio.vars.NotchAdjusterLimits.IFMin, -6000);
    EXPECT_EQ(audio.vars.NotchAdjusterLimits.AudioValue, 1800);
    EXPECT_EQ(audio.adj(11).Value, 1800);
}

TEST(ReceiverHandlers, NotchTypeRoundTripRestoresTheAudioCentre)
{
    Bench b;
    b.h->clickBox(RxWidget::chkNotchOn, true);
    b.h->optNotch_Click(0);
    b.adj(11).Value = 1800;
    b.h->lblNotchC_Wheel();
    b.h->clickBox(RxWidget::chkNotchType, true);
    b.adj(11).Value = 2000; // an IF offset, low-side LO
    b.hiSide = false;
    b.h->lblNotchC_Wheel();
    EXPECT_EQ(b.vars.NotchCentre, 10000);
    b.h->clickBox(RxWidget::chkNotchType, false);
    EXPECT_EQ(b.adj(11).Value, 1800);
    EXPECT_EQ(b.vars.NotchCentre, 1800);
    // The box cannot change while the notch is off.
    b.h->clickBox(RxWidget::chkNotchOn, false);
    b.h->clickBox(RxWidget::chkNotchType, true);
    EXPECT_FALSE(b.h->box(RxWidget::chkNotchType));
    EXPECT_EQ(b.vars.NotchType, 0);
}

TEST(ReceiverHandlers, NotchSlidersKeepTheEdgesInRange)
{
    Bench b;
    b.vars.NotchCentre = 100;
    b.h->movePosition(RxWidget::sldNotchWidth, 1000 + 10 - 300); // a width of 300
    EXPECT_EQ(b.vars.NotchWidth, 300);
    EXPECT_EQ(b.vars.NotchLo, 0);
    EXPECT_EQ(b.vars.NotchHi, 250);
    EXPECT_EQ(b.view.tip[RxWidget::sldNotchWidth], "Notch Width : 300 Hz");
    b.h->sldNotchWidth_MouseDown(true);
    EXPECT_EQ(b.vars.NotchWidth, 200);
}

TEST(ReceiverHandlers, AGCLabelsShowSecondsAndMillisecondsAndTheSlidersLeaveTheTable)
{
    Bench b;
    b.h->lblAGCAttack_Wheel();
    b.h->lblAGCDecay_Wheel();
    EXPECT_EQ(b.caption(13), "0.5"); // start values 5 and 5
    EXPECT_EQ(b.caption(14), "0.0");
    EXPECT_EQ(b.vars.AGCHistoryLength, 12);

    b.h->clickBox(RxWidget::chkAGC, true);
    b.h->optAGC_Click(0); // "Off" loads 0 and 0, below the minimums
    EXPECT_EQ(b.adj(13).Value, 0);
    EXPECT_EQ(b.adj(14).Value, 0);
    b.h->optAGC_Click(3);
    EXPECT_EQ(b.caption(13), "10.0");
    EXPECT_EQ(b.caption(14), "20.0");

    const AGCSetting before = b.vars.AGCTable[3];
    b.h->movePosition(RxWidget::sldAGCAttack, 50);
    EXPECT_FLOAT_EQ(b.vars.AGCDelayTime, 5.0f);
    EXPECT_EQ(b.vars.AGCHistoryLength, 117);
    EXPECT_EQ(b.view.tip[RxWidget::sldAGCAttack], "AGC Attack=5 S");
    b.h->movePosition(RxWidget::sldAGCDecay, 100);
    EXPECT_EQ(b.vars.AGCSmoothTime, 10);
    EXPECT_EQ(b.vars.AGCRampLength, 480);
    EXPECT_EQ(b.view.tip[RxWidget::sldAGCDecay], "AGC Decay=10 mS");
    EXPECT_EQ(b.vars.AGCTable[3].Attack, before.Attack);
    EXPECT_EQ(b.vars.AGCTable[3].Decay, before.Decay);

    // Off: a choice snaps back to the mode in force.
    b.h->clickBox(RxWidget::chkAGC, false);
    b.h->optAGC_Click(1);
    EXPECT_EQ(b.vars.AGCMode, 3);
    EXPECT_TRUE(b.adj(13).Disabled);
}

TEST(ReceiverHandlers, NoiseBlankerSliderDialAndLabelAgree)
{
    Bench b;
    b.h->movePosition(RxWidget::sldNB, 5000);
    EXPECT_FLOAT_EQ(b.vars.NBThreshold, 0.1f);
    EXPECT_EQ(b.caption(9), "10.00");
    EXPECT_EQ(b.h->position(RxWidget::dialNB), 5000);
    EXPECT_EQ(b.adj(9).Value, 5000);

    b.adj(9).Value = 10000;
    b.h->lblNB_Wheel();
    EXPECT_FLOAT_EQ(b.vars.NBThreshold, 0.2f);
    EXPECT_EQ(b.caption(9), "20.00");
    EXPECT_EQ(b.h->position(RxWidget::sldNB), 10000);
    EXPECT_EQ(b.h->position(RxWidget::dialNB), 10000);

    b.adj(9).Locked = true; // the label's procedure is moving them
    b.h->movePosition(RxWidget::dialNB, 100);
    EXPECT_EQ(b.adj(9).Value, 10000);
    b.adj(9).Locked = false;

    b.h->sldNB_MouseDown(true);
    EXPECT_EQ(b.adj(9).Value, 0);
    EXPECT_EQ(b.h->position(RxWidget::dialNB), 0);
}

TEST(ReceiverHandlers, OutputLevelCaptionIsTheLevelTheSoundOutputGets)
{
    const struct {
        float value;
        const char* caption;
        float level;
    } cases[] = {{-1000, "-10.0", -1000}, {-10000, "-100.0", -10000}, {8000, "+19.1", 9}, {0, "0.0", 0}};
    for (const auto& c : cases) {
        Bench b;
        b.adj(10).Value = c.value;
        b.h->lblOutVol_Wheel();
        EXPECT_EQ(b.caption(10), c.caption) << c.value;
        EXPECT_FLOAT_EQ(b.soundLevel, c.level) << c.value;
        EXPECT_EQ(b.h->position(RxWidget::sldOutVolume), static_cast<int32_t>(c.value));
        EXPECT_EQ(b.h->position(RxWidget::dialOutVol), static_cast<int32_t>(c.value));
    }
    Bench b;
    b.adj(10).Value = -1000;
    b.h->lblOutVol_Wheel();
    b.adj(10).Value = -30; // the dead zone keeps level and caption
    b.h->ApplyOutputAttenuation();
    EXPECT_EQ(b.caption(10), "-10.0");
    EXPECT_FLOAT_EQ(b.vars.OutputAttenuation, -1000);
    b.h->movePosition(RxWidget::dialOutVol, -2000);
    EXPECT_EQ(b.h->position(RxWidget::sldOutVolume), -2000);
    EXPECT_EQ(b.caption(10), "-20.0");
}

TEST(ReceiverHandlers, IndexesFromStoredSettingsAreHeldToTheirControls)
{
    Bench b;
    b.h->optMode_Click(9);
    EXPECT_EQ(b.vars.DemodMode, kDemodBC);
    b.h->optMode_Click(-4);
    EXPECT_EQ(b.vars.DemodMode, kDemodAM);
    b.vars.IFFilterMode = 77;
    b.vars.AGCMode = -5;
    b.vars.NotchMode = 12;
    b.h->optIFFilter_Click(1); // IF off: snaps back to a valid button
    EXPECT_EQ(b.view.selectedOption(RxWidget::optIFFilter), 2);
    b.h->optAGC_Click(2);
    EXPECT_EQ(b.view.selectedOption(RxWidget::optAGC), 0);
    b.h->optNotch_Click(0);
    EXPECT_EQ(b.view.selectedOption(RxWidget::optNotch), 1);
    b.h->clickBox(RxWidget::chkAGC, true);
    b.h->optAGC_Click(40);
    EXPECT_EQ(b.vars.AGCMode, 4);
}

} // namespace
} // namespace orvik::testing

namespace orvik::testing {
namespace {

TEST(ReceiverTails, SoundStartingAgainReplaysNothingFromBeforeTheStop)
{
    // The last block before a stop leaves tails in every filter; without clearing them
    // the first block after a restart repeats a piece of the old audio.
    auto firstBlockAfterRestart = [](bool clear) {
        ReceiverRig rig(kDemodUSB);
        SetAGC(*rig.handlers, false, 2);
        rig.powerOn();
        rig.run(6, tone(13000, 8000));
        if (clear)
            rig.core->ClearCarriedTails();
        rig.run(1, [](int64_t) { return 0.0; });
        return peakOf(rig.tail(1));
    };
    EXPECT_GT(firstBlockAfterRestart(false), 50); // the check can see a replay
    EXPECT_LT(firstBlockAfterRestart(true), 2);
}

TEST(ReceiverTails, AModeChosenWhileStoppedStartsFromSilenceToo)
{
    // The new mode's stages first run on the last block: after a stop that is not the
    // block from before it. (FM turns silence into its detector's constant, which the
    // audio filter takes a block to remove.)
    for (int32_t mode : {kDemodAM, kDemodBC, kDemodDRM}) {
        ReceiverRig rig(kDemodUSB);
        SetAGC(*rig.handlers, false, 2);
        SetIFFilter(*rig.handlers, true, 1);
        rig.powerOn();
        rig.run(6, tone(13000, 8000));
        rig.core->ClearCarriedTails();
        SetDemodMode(*rig.handlers, mode);
        rig.run(1, [](int64_t) { return 0.0; });
        EXPECT_LT(peakOf(rig.tail(1)), 2) << "mode " << mode;
    }
}

} // namespace
} // namespace orvik::testing
