// The main window's side of tuning: what the tuning controls reach in other subsystems.
#include "app/frmMain.h"

#include "platform/ModemLineWatcher.h"
#include "shell/ui/FocusHighlighter.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/TuningControls.h"

namespace orvik {

void frmMain::createTuningControls()
{
    TuningControls::Hooks h;
    h.ActiveAdjuster = [this] { return CtlArray_.ActiveAdjuster; };
    h.setActiveAdjuster = [this](int16_t id) { CtlArray_.ActiveAdjuster = id; };
    h.UnFocusFrames = [this] { focus_->UnFocusFrames(); };
    h.focusColour = [this] { return CtlArray_[1].FocusColour; };
    h.normalColour = [this] { return CtlArray_[1].NormalColour; };
    h.BFO = [this] { return vars_.BFO; };
    h.setHiSideLO = [this](bool hiSide) { setHiSideLO(hiSide); };
    h.setDSPSettingsChanged = [this] { vars_.DSPSettingsChanged = true; };
    // The scope's centre adjuster and the notch centre re-apply themselves.
    h.lblScopeX_Wheel = [this] { CtlArray_.Apply(15); };
    h.lblNotchC_Wheel = [this] { CtlArray_.Apply(11); };
    h.storeSubBandStep = [this](int32_t step) {
        if (bandPlans_.CurrentMainBandIndex < 0
            || bandPlans_.CurrentMainBandIndex >= static_cast<int32_t>(bandPlans_.BandPlans.size()))
            return;
        BandPlan& band = bandPlans_.BandPlans[static_cast<size_t>(bandPlans_.CurrentMainBandIndex)];
        if (band.ActiveSubBand < 0 || band.ActiveSubBand >= static_cast<int32_t>(band.SubBands.size()))
            return;
        SubBand& sub = band.SubBands[static_cast<size_t>(band.ActiveSubBand)];
        sub.Settings.TuneStep = step;
        sub.Settings.Captured = true;
    };
    h.GetEncoderBits = [this] { return rig_.DDSSerialIF ? rig_.DDSSerialIF->GetEncoderBits() : 0; };
    h.encoderInterval = [this] {
        if (!EncoderProfiler)
            return 0.0;
        EncoderProfiler->StopTiming();
        const double microseconds = EncoderProfiler->Duration;
        EncoderProfiler->StartTiming();
        return microseconds;
    };
    tuningControls_ = std::make_unique<TuningControls>(this, tuningState_, h);
    tuningControls_->setCommControl(MSComm1);
}

void frmMain::connectTuningToSynthesizer()
{
    tuningControls_->setVFO(rig_.VFO.get());
    tuningState_.EnableShaftEncoder = rig_.EnableShaftEncoder;
}

} // namespace orvik
