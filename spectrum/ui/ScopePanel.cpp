#include "spectrum/ui/ScopePanel.h"

#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>

namespace orvik {

namespace {

constexpr int32_t ContainerHeight = 2910;
constexpr int32_t PageTop = 180;
constexpr int32_t PageHeight = ContainerHeight - PageTop - 50;

void buildPages(QWidget* container)
{
    addImage(container, "imgAreaScope", {30, 0, 9000, PageTop});
    for (int i = 0; i < 2; ++i) {
        auto* page = addPicture(container, "picScope", i, {30, PageTop, 9000, PageHeight});
        addLabel(page, "lblSpectrumFreq", i, "", {60, 60, 1500, 240});
    }

    // One step is 6 dB; the lowest value, +24 dB, sits at the top beside its label.
    addSlider(container, "sldSpectrumGain", -1, {9060, PageTop, 255, PageHeight}, 0, 8, true, "Y Gain")
        ->setInvertedAppearance(true);
    const char* gains[] = {"-24", "-18", "-12", "- 6", "0 dB", "+ 6", "+12", "+18", "+24"};
    const int32_t labelHeight = 210;
    for (int k = 0; k < 9; ++k) {
        const int32_t top = PageTop + (8 - k) * (PageHeight - labelHeight) / 8;
        addLabel(container, "lblSpectrumGain", k, gains[k], {9330, top, 360, labelHeight});
    }
}

void buildChannel(QWidget* parent, int channel, int32_t top)
{
    const QString n = QString::number(channel);
    auto* frame = addFrame(parent, "frScopeChn" + n + "Ctl", "Chn" + n, {1620, top, 1500, 1050});
    addLabel(frame, "lblScopeChn" + n + "Gain", -1, "0", {600, 195, 840, 225}, "Y" + n + " Gain Adjust");
    addLabel(frame, "lblScopeChn" + n + "Shift", -1, "0", {600, 420, 840, 225}, "Y" + n + " Shift Adjust");
    addCheck(frame, "chkChn" + n + "On", -1, "", {60, 645, 480, 225}, "Y" + n + " On");
    addCheck(frame, "chkTrigOn", channel, "", {600, 645, 480, 225}, "Trigger on Y" + n);
    addLabel(frame, "lblY" + n + "Bright", -1, "0", {600, 840, 840, 195}, "Y" + n + " Brightness");
}

void buildControls(QWidget* container)
{
    auto* controls = addPicture(container, "picScopeCtls", -1, {9720, 30, 4650, 2850});

    auto* mode = addFrame(controls, "frScopeMode", "Scope", {60, 0, 1500, 900});
    const char* modes[] = {"Freq", "Time", "Phase"};
    const char* modeTips[] = {"Spectrum Analyser", "Oscilloscope", "Lissajous Y1:Y2"};
    for (int i = 0; i < 3; ++i)
        addCheck(mode, "chkScopeMode", i, modes[i], {60, 195 + i * 225, 1380, 225}, modeTips[i]);

    auto* yMode = addFrame(controls, "frScopeYMode", "Y Mode", {60, 930, 1500, 1200});
    addCheck(yMode, "chkLog", -1, "Lin", {60, 195, 720, 225}, "Linear Y Scale");
    addCheck(yMode, "chkScopeDualChn", -1, "Dual", {780, 195, 660, 225});
    addCheck(yMode, "chkSmoothSpectrum", -1, "Fast", {60, 420, 780, 225}, "Realtime Display");
    addLabel(yMode, "lblSpectrumSmooth", -1, "0", {900, 420, 540, 225}, "Spectrum Smoothing");
    addCheck(yMode, "chkScopeY1PlusY2", -1, "Y1+Y2", {60, 645, 1380, 225});
    addCheck(yMode, "chkScopeY1MinusY2", -1, "Y1-Y2", {60, 870, 1380, 225});

    // Column captions sit beside the first channel's adjustable labels.
    buildChannel(controls, 1, 0);
    buildChannel(controls, 2, 1080);
    QWidget* first = controls->findChild<QWidget*>("frScopeChn1Ctl");
    addLabel(first, "lblScopeCtl", 2, "Gain", {60, 195, 540, 225});
    addLabel(first, "lblScopeCtl", 3, "Shift", {60, 420, 540, 225});
    addLabel(first, "lblScopeCtl", 4, "Trig", {1080, 645, 420, 225});
    addLabel(first, "lblScopeCtl", 5, "Brite", {60, 840, 540, 195});

    // The centre label holds the widest centre whole, "100,012,000" (the highest tuning
    // plus half the widest span), with the border it gets when highlighted.
    auto* sweep = addFrame(controls, "frScopeSweep", "Timebase", {60, 2160, 3060, 660});
    addLabel(sweep, "lblScopeCtl", 0, "ms/Div", {60, 195, 660, 225});
    addLabel(sweep, "lblScopeXWidth", -1, "0", {720, 195, 1140, 225}, "Sweep Adjust");
    addSlider(sweep, "sldXWidth", -1, {1920, 195, 1080, 210}, 0, 1024, false);
    addLabel(sweep, "lblScopeCtl", 1, "Hz", {60, 420, 660, 225});
    addLabel(sweep, "lblScopeXCentre", -1, "0", {720, 420, 1140, 225}, "Centre Offset Adjust");
    addSlider(sweep, "sldXCentre", -1, {1920, 420, 1080, 210}, 0, 1024, false);

    const char* sources[] = {"IF in", "Pre Demod", "Post Demod", "AF Out"};
    const char* sourceTips[] = {"IF Input", "After IF & Notch Filters", "Unfiltered Demodulation", "What you hear"};
    for (int i = 0; i < 4; ++i)
        addOption(controls, "optSpectrumSource", i, sources[i], {3180, 60 + i * 240, 1440, 240}, sourceTips[i]);
    addCheck(controls, "chkSpectrumAnalyser", -1, "On", {3180, 1080, 1440, 240}, "Click to turn on Spectrum Display");
    addCheck(controls, "chkScopeShowFilters", -1, "Show Fltr ", {3180, 1320, 1440, 240}, "Show Filter Curve");
    addCheck(controls, "chkSpectrumAutoGain", -1, "AutoGain", {3180, 1560, 1440, 240});
}

} // namespace

void buildScopeControls(QWidget* window)
{
    auto* container = addPicture(window, "picScopeContainer", -1, {60, 3690, 14400, ContainerHeight});
    buildPages(container);
    buildControls(container);
}

} // namespace orvik
