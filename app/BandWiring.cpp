// The band controls and the settings-block code joined to the receiver, the tuning
// controls and the adjusters.

#include "app/MainWindowRecorder.h"
#include "app/SettingsBlock.h"
#include "app/frmMain.h"
#include "bands/ui/BandControls.h"
#include "receiver/ui/ReceiverControls.h"
#include "shell/ui/FocusHighlighter.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/TuningControls.h"

#include <QAbstractButton>
#include <QSignalBlocker>

namespace orvik {

void frmMain::wireBandControls()
{
    SettingsBlock::Hooks block;
    block.TunedFrequency = [this] { return rig_.VFO ? rig_.VFO->TunedFrequency() : 0; };
    block.setTunedFrequency = [this](int32_t tenths) {
        if (rig_.VFO)
            rig_.VFO->setTunedFrequency(tenths);
    };
    block.Display7Seg = [this] {
        if (rig_.VFO)
            tuningControls_->Display7Seg(rig_.VFO->FormattedTunedFreq());
    };
    block.chkTuneLo = [this](bool lowSide) {
        if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkTuneLo")))) {
            const QSignalBlocker quiet(box);
            box->setChecked(lowSide);
        }
        tuningControls_->chkTuneLo_Click();
    };
    block.NewLogRecord = [this](int32_t tunedFrequency) { recorder_->NewLogRecord(tunedFrequency); };
    settingsBlock_ = std::make_unique<SettingsBlock>(receiverControls_->handlers(), CtlArray_, block);

    BandControls::Hooks hooks;
    hooks.CaptureSettingsBlock = [this](RxSettings& settings) { settingsBlock_->CaptureSettingsBlock(settings); };
    hooks.ApplySettingsBlock = [this](RxSettings& settings) { settingsBlock_->ApplySettingsBlock(settings); };
    hooks.ApplyingSettings = [this] { return settingsBlock_->ApplyingSettings; };
    hooks.StartingDream = [this] { return dream_ && dream_->StartingDream; };
    hooks.AutoTrackPresets = [this] { return options_.AutoTrackPresets; };
    hooks.Initialising = [this] { return InFormInitialize || InFormLoad; };
    hooks.SelectTuningStep = [this](int Index, bool Unlock) { tuningControls_->SelectTuningStep(Index, Unlock); };
    hooks.TunedFrequency = block.TunedFrequency;
    hooks.vfoHiSideLO = [this] { return rig_.VFO ? rig_.VFO->HiSideLO() : HiSideLO; };
    hooks.DemodMode = [this] { return vars_.DemodMode; };
    hooks.FilterMode = [this] { return vars_.FilterMode; };
    hooks.SDRLabelColour = [this] { return colours_.SDRLabelColour; };
    hooks.SDRFrameFocusColour = [this] { return colours_.SDRFrameFocusColour; };
    hooks.UnFocusFrames = [this] {
        if (focus_)
            focus_->UnFocusFrames();
    };
    hooks.DeactivateAdjuster = [this] { CtlArray_.DeactivateAdjuster(); };
    bandControls_ = std::make_unique<BandControls>(this, panels_.bands, bandPlans_,
                                                   std::vector<int32_t>(TuningSteps.begin(), TuningSteps.end()), hooks);

    FocusHighlighter::Hooks focusHooks;
    focusHooks.foldBandPickers = [this] {
        if (bandControls_)
            bandControls_->foldBandPickers();
    };
    focus_->setHooks(focusHooks);
}

} // namespace orvik
