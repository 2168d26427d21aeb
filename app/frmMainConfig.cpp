// The main window's side of the configuration dialog: the Config button and its hooks.
#include "app/ConfigWiring.h"
#include "app/frmMain.h"

#include "shell/ui/FocusHighlighter.h"
#include "tuning/ui/TuningControls.h"

namespace orvik {

void frmMain::createConfigWiring()
{
    ConfigWiring::Parts configParts;
    configParts.window = this;
    configParts.store = &store_;
    configParts.rig = &rig_;
    configParts.soundCard = &SoundCard;
    configParts.vars = &vars_;
    configParts.options = &options_;
    configParts.colours = &colours_;
    configParts.dream = &dream_;
    configParts.ctl = &CtlArray_;
    configParts.analyser = &SpectrumAnalyser;
    configParts.setHiSideLO = [this](bool hiSide) { setHiSideLO(hiSide); };
    configParts.DreamDefaultArgs = &DreamDefaultArgs;
    configParts.programFolder = programFolder_;
    configParts.version = QStringLiteral(ORVIKSDR_VERSION_TEXT);
    configParts.ReColour = [this] {
        ReColourWindow();
        focus_->DarkenControls();
        focus_->UnFocusFrames();
    };
    configParts.Display7Seg = [this](const QString& text) { tuningControls_->Display7Seg(text); };
    configParts.setShaftEncoder = [this](bool enable, bool autoRate) {
        tuningState_.EnableShaftEncoder = enable;
        tuningState_.ShaftAutoRate = autoRate;
    };
    config_ = std::make_unique<ConfigWiring>(std::move(configParts));
}

} // namespace orvik
