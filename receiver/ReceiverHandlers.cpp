#include "receiver/ReceiverHandlers.h"


#include "common/Format.h"
#include "common/Numeric.h"
#include "common/ReentryGuard.h"
#include "dsp/ORVIK.h"
#include "receiver/ReceiverAdjust.h"

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

constexpr uint32_t OptionColour = 0xC0C000;
constexpr uint32_t ChosenColour = 0xFFFF00;

int32_t clampIndex(int32_t index, int32_t upper) { return std::clamp(index, 0, upper); }

} // namespace

std::string OutputLevelCaption(float value)
{
    if (value < -50)
        return Format(value / 100.0, "0.0");
    if (value > 1)
        return Format(20 * ORVIK::Log10(1 + value / 1000.0), "+0.0");
    return Format(ORVIK::Log10(0), "0.0");
}

ReceiverHandlers::ReceiverHandlers(ReceiverCore& core, ReceiverAdjusters& adjusters, ReceiverView& view,
                                   Hooks hooks)
    : core_(core), adj_(adjusters), view_(view), hooks_(std::move(hooks))
{
    for (const auto& [control, range] : DesignRanges)
        view_.setRange(control, range.min, range.max);
}

void ReceiverView::setPosition(RxWidget control, int32_t value)
{
    const int32_t lo = minimum(control);
    const int32_t hi = maximum(control);
    at(position_, control) = lo < hi ? std::clamp(value, lo, hi) : value;
}

void ReceiverView::setRange(RxWidget control, int32_t min, int32_t max)
{
    at(min_, control) = min;
    at(max_, control) = max;
    setPosition(control, position(control));
}

void ReceiverHandlers::InitialiseControls()
{
    // The blanker and output controls take their adjusters' ranges.
    for (RxWidget w : {RxWidget::sldNB, RxWidget::dialNB})
        view_.setRange(w, RoundEven(adj_.Min(rxadj::NB)), RoundEven(adj_.Max(rxadj::NB)));
    for (RxWidget w : {RxWidget::sldOutVolume, RxWidget::dialOutVol})
        view_.setRange(w, RoundEven(adj_.Min(rxadj::OutVol)), RoundEven(adj_.Max(rxadj::OutVol)));
    view_.setPosition(RxWidget::sldNB, RoundEven(adj_.Value(rxadj::NB)));
    view_.setPosition(RxWidget::dialNB, RoundEven(adj_.Value(rxadj::NB)));
    view_.setPosition(RxWidget::sldOutVolume, RoundEven(adj_.Value(rxadj::OutVol)));
    view_.setPosition(RxWidget::dialOutVol, RoundEven(adj_.Value(rxadj::OutVol)));
}

void ReceiverHandlers::writeBox(RxWidget box, bool checked)
{
    if (view_.isChecked(box) != checked)
        clickBox(box, checked);
}

void ReceiverHandlers::clickBox(RxWidget box, bool checked)
{
    view_.setChecked(box, checked);
    switch (box) {
    case RxWidget::chkDynFilter: chkDynFilter_Click(); break;
    case RxWidget::chkNB: chkNB_Click(); break;
    case RxWidget::chkNotchOn: chkNotchOn_Click(); break;
    case RxWidget::chkNotchType: chkNotchType_Click(); break;
    case RxWidget::chkIFFilter: chkIFFilter_Click(); break;
    case RxWidget::chkMusic: chkMusic_Click(); break;
    case RxWidget::chkMute: chkMute_Click(); break;
    case RxWidget::chkAGC: chkAGC_Click(); break;
    default: break;
    }
}

void ReceiverHandlers::movePosition(RxWidget control, int32_t value)
{
    view_.setPosition(control, value);
    switch (control) {
    case RxWidget::sldAGCAttack: sldAGCAttack_Change(); break;
    case RxWidget::sldAGCDecay: sldAGCDecay_Change(); break;
    case RxWidget::sldBalance: sldBalance_Change(); break;
    case RxWidget::sldBW0: sldBW_Scroll(0); break;
    case RxWidget::sldBW1: sldBW_Scroll(1); break;
    case RxWidget::sldNB: sldNB_Scroll(); break;
    case RxWidget::sldNotch: sldNotch_Change(); break;
    case RxWidget::sldNotchWidth: sldNotchWidth_Change(); break;
    case RxWidget::sldOutVolume: sldOutVolume_Change(); break;
    case RxWidget::dialNB: dialNB_Changing(); break;
    case RxWidget::dialOutVol: dialOutVol_Changing(); break;
    default: break;
    }
}

void ReceiverHandlers::letEventsRun()
{
    if (hooks_.yield)
        hooks_.yield();
}

bool ReceiverHandlers::soundPrepared() const { return hookFlag(hooks_.soundPrepared); }

FilterSetting& ReceiverHandlers::filterRow()
{
    PublicVars& v = vars();
    v.FilterMode = clampIndex(v.FilterMode, static_cast<int32_t>(v.FilterTable.size()) - 1);
    return v.FilterTable[static_cast<size_t>(v.FilterMode)];
}


// ---- option groups ----

void ReceiverHandlers::optFilter_Click(int Index)
{
    PublicVars& v = vars();
    // Any row of the table; rows without a button (5 to 8) hand zero edges.
    if (Index >= 0 && Index < static_cast<int>(v.FilterTable.size())) {
        view_.selectOption(RxWidget::optFilter, Index);
        v.FilterMode = Index;
    }
    if (Index >= 0) {
        FilterSetting& r = filterRow();
        v.FilterLo = r.CurrentLo;
        v.FilterHi = r.CurrentHi;
        adj_.Default(rxadj::FilterHi) = static_cast<float>(r.Hi);
        adj_.Default(rxadj::FilterLo) = static_cast<float>(r.Lo);
        if (v.IFFilterMode == 2) {
            lblIFHi_Wheel();
            lblIFLo_Wheel();
        }
        v.MusicModeActive = r.Music;
        view_.setChecked(RxWidget::chkMusic, r.Music);
        // Set from code, the box raises no click of its own: the rule runs once.
        chkMusic_Click();
    }
    if (Index == -2) {
        v.FilterLo = RoundEven(NumericValue(sldBWTag_[0]));
        v.FilterHi = RoundEven(NumericValue(sldBWTag_[1]));
    }
    const double w = static_cast<double>(v.FilterHi) - v.FilterLo;
    sldBWTag_[0] = NumberToText(v.FilterLo);
    sldBWTag_[1] = NumberToText(v.FilterHi);
    core_.DynamicFilter.FLow = RoundEven(v.FilterLo + 0.1 * w);
    core_.DynamicFilter.FHigh = RoundEven(v.FilterHi - 0.1 * w);
    // Positioning the sliders from code must not read an edge back from a clamped slider:
    // the edges in force go to the sliders, their labels and adjusters 7 and 8.
    ShowFilterEdges();
    v.DSPSettingsChanged = true;
}

void ReceiverHandlers::chkMusic_Click()
{
    PublicVars& v = vars();
    FilterSetting& r = filterRow();
    if (!box(RxWidget::chkMusic)) {
        v.MusicModeActive = false;
        v.FilterLo = r.InitLo;
        r.Music = false;
    } else {
        r.InitLo = v.FilterLo;
        v.MusicModeActive = true;
        r.Music = true;
        v.FilterLo = 50;
    }
    adj_.Value(rxadj::FilterLo) = static_cast<float>(v.FilterLo);
    lblFilterLo_Wheel();
    adj_.WriteCaption(rxadj::FilterLo);
    v.DSPSettingsChanged = true;
}

void ReceiverHandlers::optIFFilter_Click(int Index)
{
    ReentryGuard guard(inOptIFFilter_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    Index = clampIndex(Index, 2);
    if (!v.IFFilterActive) {
        view_.selectOption(RxWidget::optIFFilter, clampIndex(v.IFFilterMode, 2));
        return;
    }
    v.IFFilterMode = Index;
    const RxWidget labels[] = {RxWidget::lblIFHi, RxWidget::lblIFHiDesc, RxWidget::lblIFLo, RxWidget::lblIFLoDesc};
    if (Index == 0) {
        view_.setChecked(RxWidget::chkIFFilter, false);
        chkIFFilter_Click();
        view_.setEnabled(RxWidget::lblIFHi, false);
        view_.setEnabled(RxWidget::lblIFLo, false);
    } else if (Index == 1) {
        view_.setChecked(RxWidget::chkIFFilter, true);
        for (RxWidget w : labels)
            view_.setVisible(w, true);
        view_.setEnabled(RxWidget::lblIFHi, true);
        view_.setEnabled(RxWidget::lblIFLo, true);
        const FilterSetting& s = CurrentIFRow(v);
        adj_.Value(rxadj::IFHi) = static_cast<float>(s.CurrentHi);
        adj_.Default(rxadj::IFHi) = static_cast<float>(s.Hi);
        adj_.Value(rxadj::IFLo) = static_cast<float>(s.CurrentLo);
        adj_.Default(rxadj::IFLo) = static_cast<float>(s.Lo);
    } else {
        view_.setChecked(RxWidget::chkIFFilter, true);
        for (RxWidget w : labels)
            view_.setVisible(w, false);
        const FilterSetting& r = filterRow();
        const bool lsb = v.DemodMode == kDemodLSB;
        const bool usb = v.DemodMode == kDemodUSB;
        adj_.Value(rxadj::IFHi) = static_cast<float>(lsb ? r.CurrentLo : r.CurrentHi);
        adj_.Default(rxadj::IFHi) = static_cast<float>(lsb ? -r.Lo : r.Hi);
        adj_.Value(rxadj::IFLo) = static_cast<float>(usb ? r.CurrentLo : r.CurrentHi);
        adj_.Default(rxadj::IFLo) = static_cast<float>(usb ? r.Lo : r.Hi);
    }
    view_.selectOption(RxWidget::optIFFilter, Index);
    lblIFHi_Wheel();
    lblIFLo_Wheel();
}

void ReceiverHandlers::optMode_Click(int Index)
{
    if (inOptMode_) {
        // A click let in while the change lets events run (the decoder's start, the sound
        // coming back) is taken once the change is done: dropped, its button would show a
        // mode the receiver is not in.
        pendingMode_ = Index;
        return;
    }
    for (;;) {
        pendingMode_ = -1;
        {
            ReentryGuard guard(inOptMode_);
            changeMode(Index);
        }
        if (pendingMode_ < 0 || clampIndex(pendingMode_, kDemodBC) == vars().DemodMode)
            return;
        Index = pendingMode_;
    }
}

void ReceiverHandlers::changeMode(int Index)
{
    PublicVars& v = vars();
    Index = clampIndex(Index, kDemodBC);
    const int32_t previous = v.DemodMode;
    view_.selectOption(RxWidget::optMode, Index);
    letEventsRun();
    v.DemodMode = Index;
    const bool amLike = Index == kDemodAM || Index == kDemodFM || Index == kDemodBC;
    const bool ssb = Index == kDemodUSB || Index == kDemodLSB;
    core_.DemodFilter.Active = amLike;
    core_.AMFilterI.Active = amLike;
    core_.AMFilterQ.Active = amLike;
    core_.SSBFilterI.Active = ssb;
    core_.SSBFilterQ.Active = ssb;
    v.DSPSettingsChanged = true;
    if (v.DemodMode != previous) {
        if (previous == kDemodDRM) {
            if (!soundPrepared() && hookFlag(hooks_.powerOn) && hooks_.prepareAndStartSound)
                hooks_.prepareAndStartSound();
            if (hookFlag(hooks_.DreamCloseOnModeChange) && hooks_.CloseListedWindows)
                hooks_.CloseListedWindows();
            optFilter_Click(v.FilterMode);
            v.Mute = false;
        }
        if (Index == kDemodDRM) {
            if (hookFlag(hooks_.MuteAFOnDRM))
                v.Mute = true;
            if (soundPrepared() && hookFlag(hooks_.CloseSoundcardOnDRM) && hooks_.stopAndReleaseSound)
                hooks_.stopAndReleaseSound();
            if (hooks_.RunDREAM)
                hooks_.RunDREAM();
        }
    }
    optIFFilter_Click(v.IFFilterMode);
    // The block already waiting to be played goes out in the new mode too.
    if (v.DemodMode != previous && previous != kDemodDRM && Index != kDemodDRM)
        core_.RenderLastBlockAgain();
}

void ReceiverHandlers::optNotch_Click(int Index)
{
    ReentryGuard guard(inOptNotch_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    Index = clampIndex(Index, 1);
    if (!v.NotchActive) {
        view_.selectOption(RxWidget::optNotch, clampIndex(v.NotchMode, 1));
        return;
    }
    view_.selectOption(RxWidget::optNotch, Index);
    v.NotchMode = Index;
    const RxWidget manual[] = {RxWidget::lblNotchC, RxWidget::lblNotchCDesc, RxWidget::lblNotchW,
                               RxWidget::lblNotchWDesc, RxWidget::chkNotchType};
    for (RxWidget w : manual)
        view_.setVisible(w, Index == 0);
    if (Index == 1) {
        // The live set goes back into the half it came from, so the other half's limits
        // stay whole; the automatic notch then works on the audio set.
        NotchLimits& l = v.NotchAdjusterLimits;
        const float max = adj_.Max(rxadj::NotchC);
        const float min = adj_.Min(rxadj::NotchC);
        const float value = adj_.Value(rxadj::NotchC);
        if (v.NotchType == 1) {
            l.IFMax = max;
            l.IFMin = min;
            l.IFValue = value;
        } else {
            l.AudioMax = max;
            l.AudioMin = min;
            l.AudioValue = value;
        }
        adj_.Max(rxadj::NotchC) = l.AudioMax;
        adj_.Min(rxadj::NotchC) = l.AudioMin;
        adj_.Value(rxadj::NotchC) = l.AudioValue;
    }
    core_.NotchFilter.Active = true;
    v.NotchChanged = true;
    if (hooks_.setShowNotch)
        hooks_.setShowNotch(true);
    if (Index == 0)
        chkNotchType_Click();
}

void ReceiverHandlers::optAGC_Click(int Index)
{
    ReentryGuard guard(inOptAGC_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    Index = clampIndex(Index, 4);
    if (!v.AGCOn) {
        view_.selectOption(RxWidget::optAGC, clampIndex(v.AGCMode, 4));
        return;
    }
    view_.selectOption(RxWidget::optAGC, Index);
    v.AGCMode = Index;
    const AGCSetting& a = v.AGCTable[static_cast<size_t>(Index)];
    adj_.Value(rxadj::AGCAttack) = static_cast<float>(a.Attack);
    adj_.Default(rxadj::AGCAttack) = static_cast<float>(a.AttackDefault);
    adj_.Value(rxadj::AGCDecay) = static_cast<float>(a.Decay);
    adj_.Default(rxadj::AGCDecay) = static_cast<float>(a.DecayDefault);
    lblAGCAttack_Wheel();
    lblAGCDecay_Wheel();
}

// ---- check boxes ----

void ReceiverHandlers::chkDynFilter_Click()
{
    const bool on = box(RxWidget::chkDynFilter);
    vars().DynFilterActive = on;
    core_.DynamicFilter.Active = on;
    if (!on)
        optFilter_Click(-2);
}

void ReceiverHandlers::chkNB_Click()
{
    const bool on = box(RxWidget::chkNB);
    vars().NBOn = on;
    view_.setEnabled(RxWidget::dialNB, on);
    view_.setEnabled(RxWidget::sldNB, on);
    adj_.Disabled(rxadj::NB) = !on;
}

void ReceiverHandlers::chkNotchOn_Click()
{
    PublicVars& v = vars();
    const bool on = box(RxWidget::chkNotchOn);
    if (on) {
        v.NotchMode = view_.selectedOption(RxWidget::optNotch) == 1 ? 1 : 0;
        v.NotchActive = true;
        core_.NotchFilter.Active = true;
        v.NotchChanged = true;
    } else {
        v.NotchActive = false;
        core_.NotchFilter.Active = false;
    }
    if (hooks_.setShowNotch)
        hooks_.setShowNotch(on);
    adj_.Disabled(rxadj::NotchC) = !on;
    adj_.Disabled(rxadj::NotchW) = !on;
}

void ReceiverHandlers::chkNotchType_Click()
{
    ReentryGuard guard(inChkNotchType_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    if (!v.NotchActive) {
        view_.setChecked(RxWidget::chkNotchType, v.NotchType == 1);
        return;
    }
    NotchLimits& l = v.NotchAdjusterLimits;
    const bool onIF = box(RxWidget::chkNotchType);
    if (!onIF) {
        l.IFValue = adj_.Value(rxadj::NotchC);
        adj_.Value(rxadj::NotchC) = std::abs(l.AudioValue);
        adj_.Max(rxadj::NotchC) = l.AudioMax;
        adj_.Min(rxadj::NotchC) = l.AudioMin;
    } else {
        l.AudioValue = adj_.Value(rxadj::NotchC);
        adj_.Value(rxadj::NotchC) = l.IFValue;
        adj_.Max(rxadj::NotchC) = l.IFMax;
        adj_.Min(rxadj::NotchC) = l.IFMin;
    }
    v.NotchType = onIF ? 1 : 0;
    lblNotchC_Wheel();
}

void ReceiverHandlers::chkIFFilter_Click()
{
    ReentryGuard guard(inChkIFFilter_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    const bool on = box(RxWidget::chkIFFilter);
    core_.IFFilter.Active = on;
    v.IFFilterActive = on;
    adj_.Disabled(rxadj::IFHi) = !on;
    adj_.Disabled(rxadj::IFLo) = !on;
    // Switching the filter on with the mode at "Off" would leave the box and the filter
    // disagreeing: it comes on in "Man".
    if (on)
        optIFFilter_Click(v.IFFilterMode == 0 ? 1 : v.IFFilterMode);
    v.DSPSettingsChanged = true;
}

void ReceiverHandlers::chkMute_Click()
{
    const bool on = box(RxWidget::chkMute);
    view_.setForeColour(RxWidget::chkMute, on ? ChosenColour : OptionColour);
    vars().Mute = on;
}

void ReceiverHandlers::chkAGC_Click()
{
    const bool on = box(RxWidget::chkAGC);
    view_.setForeColour(RxWidget::chkAGC, on ? ChosenColour : OptionColour);
    vars().AGCOn = on;
    adj_.Disabled(rxadj::AGCAttack) = !on;
    adj_.Disabled(rxadj::AGCDecay) = !on;
}

// ---- sliders and dials ----

void ReceiverHandlers::sldAGCAttack_Change()
{
    ReentryGuard guard(inSldAGCAttack_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    SetAGCDelayTime(v, static_cast<float>(RoundEven(position(RxWidget::sldAGCAttack))) / 10.0f);
    view_.setToolTip(RxWidget::sldAGCAttack, "AGC Attack=" + NumberToText(v.AGCDelayTime) + " S");
}

void ReceiverHandlers::sldAGCDecay_Change()
{
    ReentryGuard guard(inSldAGCDecay_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    SetAGCSmoothTime(v, RoundEven(RoundEven(position(RxWidget::sldAGCDecay)) / 10.0));
    view_.setToolTip(RxWidget::sldAGCDecay, "AGC Decay=" + NumberToText(v.AGCSmoothTime) + " mS");
}

void ReceiverHandlers::sldBalance_Change()
{
    vars().IQImbalance = static_cast<float>(RoundEven(position(RxWidget::sldBalance))) / 10000.0f;
    view_.setToolTip(RxWidget::sldBalance, "IQ Imbalance=" + Format(std::abs(vars().IQImbalance), "#0.0000"));
}

void ReceiverHandlers::sldBW_Scroll(int Index)
{
    ReentryGuard guard(inSldBW_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    const RxWidget slider = Index == 0 ? RxWidget::sldBW0 : RxWidget::sldBW1;
    const int32_t edge = positionMax(slider) - position(slider) + positionMin(slider);
    if (Index == 0)
        v.FilterLo = edge;
    else
        v.FilterHi = edge;
    v.DSPSettingsChanged = true;
    ShowFilterEdges();
}

void ReceiverHandlers::sldBW_MouseDown(int Index, bool rightButton)
{
    if (!rightButton)
        return;
    const RxWidget slider = Index == 0 ? RxWidget::sldBW0 : RxWidget::sldBW1;
    const int32_t span = positionMax(slider) + positionMin(slider);
    int32_t edge = RoundEven(NumericValue(sldBWTag_[Index == 0 ? 0 : 1]));
    if (Index == 0 && vars().MusicModeActive)
        edge = 50;
    view_.setPosition(slider, span - edge);
    vars().DSPSettingsChanged = true;
    sldBW_Scroll(Index);
}

void ReceiverHandlers::ShowFilterEdges()
{
    ReentryGuard guard(inShowFilterEdges_);
    if (guard.reentered())
        return;
    PublicVars& v = vars();
    const struct {
        RxWidget slider;
        RxWidget label;
        int32_t edge;
        const char* tip;
    } edges[] = {{RxWidget::sldBW0, RxWidget::lblFLo, v.FilterLo, "Flo : "},
                 {RxWidget::sldBW1, RxWidget::lblFHi, v.FilterHi, "Fhi : "}};
    for (const auto& e : edges) {
        view_.setPosition(e.slider, positionMax(e.slider) + positionMin(e.slider) - e.edge);
        view_.setText(e.label, Format(e.edge, "#0"));
        view_.setToolTip(e.slider, e.tip + Format(e.edge, "#,##0 Hz"));
    }
    adj_.Value(rxadj::FilterHi) = static_cast<float>(v.FilterHi);
    adj_.WriteCaption(rxadj::FilterHi);
    lblFilterHi_Wheel();
    adj_.Value(rxadj::FilterLo) = static_cast<float>(v.FilterLo);
    adj_.WriteCaption(rxadj::FilterLo);
    lblFilterLo_Wheel();
}

void ReceiverHandlers::sldNB_Scroll()
{
    ReentryGuard guard(inSldNB_);
    if (guard.reentered())
        return;
    if (adj_.Locked(rxadj::NB))
        return;
    const int32_t value = RoundEven(position(RxWidget::sldNB));
    adj_.Value(rxadj::NB) = static_cast<float>(value);
    // The slider's own range, which start-up gives it from the adjuster.
    ApplyNoiseBlanker(vars(), static_cast<float>(value), static_cast<float>(positionMax(RxWidget::sldNB)),
                      static_cast<float>(positionMin(RxWidget::sldNB)));
    adj_.SetCaption(rxadj::NB, Format(vars().NBThreshold * 100.0, "#0.00"));
    view_.setPosition(RxWidget::dialNB, value);
}

void ReceiverHandlers::dialNB_Changing()
{
    ReentryGuard guard(inDialNB_);
    if (guard.reentered())
        return;
    if (adj_.Locked(rxadj::NB))
        return;
    view_.setPosition(RxWidget::sldNB, RoundEven(position(RxWidget::dialNB)));
    sldNB_Scroll();
}

void ReceiverHandlers::sldNB_MouseDown(bool rightButton)
{
    if (!rightButton)
        return;
    view_.setPosition(RxWidget::sldNB, RoundEven(adj_.Default(rxadj::NB)));
    sldNB_Scroll();
    lblNB_Wheel();
}

void ReceiverHandlers::sldNotch_Change()
{
    if (NotchCentreBusy)
        return;
    NotchCentreBusy = true;
    PublicVars& v = vars();
    view_.setText(RxWidget::lblNotch, Format(v.NotchCentre, "###0"));
    view_.setToolTip(RxWidget::sldNotch, "Notch Centre : " + Format(v.NotchCentre, "#,###0 Hz"));
    SetNotchEdges(v);
    if (core_.NotchFilter.Active)
        v.NotchChanged = true;
    adj_.Value(rxadj::NotchC) = static_cast<float>(v.NotchCentre);
    adj_.WriteCaption(rxadj::NotchC);
    NotchCentreBusy = false;
}

void ReceiverHandlers::sldNotchWidth_Change()
{
    ReentryGuard guard(inSldNotchWidth_);
    if (guard.reentered())
        return;
    const RxWidget s = RxWidget::sldNotchWidth;
    ApplyNotchWidth(vars(), static_cast<float>(positionMax(s) - position(s) + positionMin(s)));
    view_.setText(RxWidget::lblNotchWidth, Format(vars().NotchWidth, "###0"));
    view_.setToolTip(s, "Notch Width : " + Format(vars().NotchWidth, "#,###0 Hz"));
}

void ReceiverHandlers::sldNotchWidth_MouseDown(bool rightButton)
{
    if (!rightButton)
        return;
    const RxWidget s = RxWidget::sldNotchWidth;
    view_.setPosition(s, positionMax(s) + positionMin(s) - 200);
    sldNotchWidth_Change();
}

void ReceiverHandlers::sldOutVolume_Change()
{
    ReentryGuard guard(inSldOutVolume_);
    if (guard.reentered())
        return;
    const int32_t value = RoundEven(position(RxWidget::sldOutVolume));
    adj_.Value(rxadj::OutVol) = static_cast<float>(value);
    letEventsRun();
    view_.setPosition(RxWidget::dialOutVol, value);
    ApplyOutputAttenuation();
}

void ReceiverHandlers::dialOutVol_Changing()
{
    ReentryGuard guard(inDialOutVol_);
    if (guard.reentered())
        return;
    const int32_t value = RoundEven(position(RxWidget::dialOutVol));
    adj_.Value(rxadj::OutVol) = static_cast<float>(value);
    letEventsRun();
    view_.setPosition(RxWidget::sldOutVolume, value);
    sldOutVolume_Change();
}

void ReceiverHandlers::sldOutVolume_MouseDown(bool rightButton)
{
    if (!rightButton)
        return;
    view_.setPosition(RxWidget::sldOutVolume, RoundEven(adj_.Default(rxadj::OutVol)));
    sldOutVolume_Change();
}

// ---- apply procedures ----

void ReceiverHandlers::lblFilterHi_Wheel()
{
    ReentryGuard guard(inFilterHi_);
    if (!guard.reentered())
        ApplyFilterHi(vars(), adj_.Value(rxadj::FilterHi));
}

void ReceiverHandlers::lblFilterLo_Wheel()
{
    ReentryGuard guard(inFilterLo_);
    if (!guard.reentered())
        ApplyFilterLo(vars(), adj_.Value(rxadj::FilterLo));
}

void ReceiverHandlers::lblNB_Wheel()
{
    ReentryGuard guard(inNB_);
    if (guard.reentered())
        return;
    const int id = rxadj::NB;
    adj_.Locked(id) = true;
    ApplyNoiseBlanker(vars(), adj_.Value(id), adj_.Max(id), adj_.Min(id));
    adj_.SetCaption(id, Format(vars().NBThreshold * 100.0, "#0.00"));
    view_.setPosition(RxWidget::sldNB, RoundEven(adj_.Value(id)));
    letEventsRun();
    view_.setPosition(RxWidget::dialNB, RoundEven(adj_.Value(id)));
    letEventsRun();
    adj_.Locked(id) = false;
}

void ReceiverHandlers::lblOutVol_Wheel()
{
    ReentryGuard guard(inOutVol_);
    if (guard.reentered())
        return;
    const int32_t value = RoundEven(adj_.Value(rxadj::OutVol));
    view_.setPosition(RxWidget::dialOutVol, value);
    letEventsRun();
    view_.setPosition(RxWidget::sldOutVolume, value);
    letEventsRun();
    ApplyOutputAttenuation();
}

void ReceiverHandlers::ApplyOutputAttenuation()
{
    const float value = adj_.Value(rxadj::OutVol);
    if (!orvik::ApplyOutputAttenuation(vars(), value))
        return; // the dead zone keeps the level and its caption
    adj_.SetCaption(rxadj::OutVol, OutputLevelCaption(value));
    if (hooks_.setOutputAttenuation)
        hooks_.setOutputAttenuation(vars().OutputAttenuation);
}

void ReceiverHandlers::lblNotchC_Wheel()
{
    if (NotchCentreBusy)
        return;
    NotchCentreBusy = true;
    const bool hiSide = hooks_.vfoHiSideLO ? hooks_.vfoHiSideLO() : vars().HiSideLO;
    ApplyNotchCentre(vars(), adj_.Value(rxadj::NotchC), hiSide, core_.NotchFilter.Active);
    NotchCentreBusy = false;
    adj_.WriteCaption(rxadj::NotchC);
}

void ReceiverHandlers::lblNotchW_Wheel()
{
    ReentryGuard guard(inNotchW_);
    if (guard.reentered())
        return;
    adj_.WriteCaption(rxadj::NotchW);
    ApplyNotchWidth(vars(), adj_.Value(rxadj::NotchW));
}

void ReceiverHandlers::lblAGCAttack_Wheel()
{
    ReentryGuard guard(inAGCAttack_);
    if (guard.reentered())
        return;
    ApplyAGCAttack(vars(), adj_.Value(rxadj::AGCAttack));
    adj_.SetCaption(rxadj::AGCAttack, Format(vars().AGCDelayTime, "#0.0"));
}

void ReceiverHandlers::lblAGCDecay_Wheel()
{
    ReentryGuard guard(inAGCDecay_);
    if (guard.reentered())
        return;
    ApplyAGCDecay(vars(), adj_.Value(rxadj::AGCDecay));
    adj_.SetCaption(rxadj::AGCDecay, Format(vars().AGCSmoothTime, "#0.0"));
}

void ReceiverHandlers::lblIFHi_Wheel()
{
    ReentryGuard guard(inIFHi_);
    if (guard.reentered())
        return;
    ApplyIFHi(vars(), adj_.Value(rxadj::IFHi));
    adj_.WriteCaption(rxadj::IFHi);
}

void ReceiverHandlers::lblIFLo_Wheel()
{
    ReentryGuard guard(inIFLo_);
    if (guard.reentered())
        return;
    ApplyIFLo(vars(), adj_.Value(rxadj::IFLo));
    adj_.WriteCaption(rxadj::IFLo);
}

void ReceiverHandlers::lblBFO_Wheel()
{
    ReentryGuard guard(inBFO_);
    if (guard.reentered())
        return;
    ApplyBFO(vars(), adj_.Value(rxadj::BFO));
    adj_.WriteCaption(rxadj::BFO);
}

} // namespace orvik
