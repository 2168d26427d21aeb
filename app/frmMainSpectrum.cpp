// The main window's side of the spectrum display: the analyser, its controls and what
// they reach in other subsystems (the VFO for click-to-tune, the tuning step, focus).
#include "app/frmMain.h"

#include "app/SpectrumStartup.h"
#include "shell/ui/FocusHighlighter.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeControls.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/TuningControls.h"

namespace orvik {

void frmMain::createSpectrumAnalyser()
{
    SpectrumAnalyser = CreateSpectrumAnalyser(store_, vars_);
    spectrum_.setAnalyser(SpectrumAnalyser.get());

    ScopeControls::Hooks h;
    h.TunedFrequency = [this] { return rig_.VFO ? rig_.VFO->TunedFrequency() : 0; };
    h.tuneTo = [this](int32_t frequency) {
        if (!rig_.VFO)
            return;
        rig_.VFO->setTunedFrequency(frequency);
        tuningControls_->Display7Seg(rig_.VFO->FormattedTunedFreq());
    };
    h.SpectrumSource = [this] { return static_cast<int>(vars_.SpectrumSource); };
    h.setSpectrumSource = [this](int source) { vars_.SpectrumSource = source; };
    h.DSPSettingsChanged = [this] { vars_.DSPSettingsChanged = true; };
    h.ScrollWheelEnableOverScope = [this] { return options_.ScrollWheelEnableOverScope; };
    h.setTuneStep = [this](int32_t step) {
        tuningState_.TuneRate = static_cast<float>(step);
        if (rig_.VFO) {
            rig_.VFO->setTuneStep(step);
            rig_.VFO->setTuneStepLSD(step);
        }
    };
    h.clearDigitHover = [this] { tuningState_.DigitHover = 0; };
    h.UnFocusFrames = [this] { focus_->UnFocusFrames(); };
    h.DarkenControls = [this] { focus_->DarkenControls(); };
    scopeControls_ = std::make_unique<ScopeControls>(this, *SpectrumAnalyser, CtlArray_, std::move(h));
}

void frmMain::defineScopeAdjuster(int id)
{
    defineAdjuster(id, scopeControls_->applyProcedure(id));
    ColourScopeAdjuster(CtlArray_, id, *SpectrumAnalyser);
}

} // namespace orvik
