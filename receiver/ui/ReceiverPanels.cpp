#include "receiver/ui/ReceiverPanels.h"

#include "receiver/ReceiverHandlers.h"

#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Dial.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>

namespace orvik {

namespace {

Dial* addKnob(QWidget* parent, const QString& name, TwipsRect rect, RxWidget control)
{
    auto* dial = new Dial(parent);
    dial->setObjectName(name);
    placeTwips(dial, rect);
    dial->setRange(DesignRange(control).min, DesignRange(control).max);
    // A level knob stops at its ends: going round would jump from the loudest to silence.
    dial->setWrapping(false);
    dial->setAttribute(Qt::WA_NoMousePropagation);
    return dial;
}

QSlider* addRangedSlider(QWidget* parent, const QString& name, int index, TwipsRect rect, RxWidget control)
{
    return addSlider(parent, name, index, rect, DesignRange(control).min, DesignRange(control).max, false);
}

void buildDemod(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frDemod", "Mode", {60, 1260, 2460, 1020});
    const char* captions[] = {"&AM", "&USB", "&LSB", "&DRM", "&FM", "&BC"};
    const char* tips[] = {"AM Demodulation",
                          "Single Sideband - Upper Sideband",
                          "Single Sideband - Lower Sideband",
                          "DRM mode - Select, then launch Dream/DRM.EXE manually",
                          "Frequency Demodulation",
                          "AM Demodulation "};
    for (int i = 0; i < 6; ++i)
        p.optMode[i] = addOption(frame, "optMode", i, captions[i], {90 + (i % 2) * 1170, 210 + (i / 2) * 255, 1110, 240}, tips[i]);
}

void buildFilters(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frFilters", "Filters", {12000, 1260, 3960, 1170});
    const char* captions[] = {"5.0 KHz", "400 Hz", "2.4 KHz", "3.2 KHz", "4.0 KHz"};
    const TwipsRect places[] = {{60, 195, 1080, 225},
                                {1140, 195, 960, 225},
                                {2100, 195, 1080, 225},
                                {60, 420, 1080, 225},
                                {1140, 420, 1080, 225}};
    for (int i = 0; i < 5; ++i)
        p.optFilter[i] = addOption(frame, "optFilter", i, captions[i], places[i]);
    p.chkDynFilter = addCheck(frame, "chkDynFilter", -1, "Dyn", {2220, 420, 720, 225},
             "AF Filter centered on the Strongest Peak Frequency");
    p.chkMusic = addCheck(frame, "chkMusic", -1, "&Music", {2940, 420, 960, 225}, "Set LO frequ. cutoff to 50Hz, Bass Boost");

    p.lblFloDesc = addLabel(frame, "lblFloDesc", -1, "Lo", {60, 660, 300, 240});
    p.lblFLo = addLabel(frame, "lblFLo", -1, "0", {360, 660, 540, 240});
    p.sldBW[0] = addRangedSlider(frame, "sldBW", 0, {900, 660, 2340, 240}, RxWidget::sldBW0);
    p.sldBW[0]->setInvertedAppearance(true);
    addLabel(frame, "lblFilterLo", -1, "0", {3300, 660, 600, 240});

    p.lblFHiDesc = addLabel(frame, "lblFHiDesc", -1, "Hi", {60, 900, 300, 240});
    p.lblFHi = addLabel(frame, "lblFHi", -1, "0", {360, 900, 540, 240});
    p.sldBW[1] = addRangedSlider(frame, "sldBW", 1, {900, 900, 2340, 240}, RxWidget::sldBW1);
    p.sldBW[1]->setInvertedAppearance(true);
    addLabel(frame, "lblFilterHi", -1, "0", {3300, 900, 600, 240});
}

void buildIFFilter(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frIFFilter", "IF Filter", {16020, 1260, 2520, 1170});
    p.chkIFFilter = addCheck(frame, "chkIFFilter", -1, "", {60, 195, 270, 225}, "IF Filter On/Off");
    p.optIFFilter[0] = addOption(frame, "optIFFilter", 0, "Off", {300, 195, 630, 225}, "OFF");
    p.optIFFilter[1] = addOption(frame, "optIFFilter", 1, "Man", {930, 195, 690, 225}, "Passband Tuning Mode");
    p.optIFFilter[2] = addOption(frame, "optIFFilter", 2, "Track", {1620, 195, 840, 225}, "Tracks Main Filters");
    p.lblIFHiDesc = addLabel(frame, "lblIFHiDesc", -1, "IF Hi", {60, 480, 600, 240});
    p.lblIFHi = addLabel(frame, "lblIFHi", -1, "0", {660, 480, 900, 240});
    p.lblIFLoDesc = addLabel(frame, "lblIFLoDesc", -1, "IF Lo", {60, 780, 600, 240});
    p.lblIFLo = addLabel(frame, "lblIFLo", -1, "0", {660, 780, 900, 240});
}

void buildNotch(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frNotch", "Notch", {12000, 2460, 2580, 1170});
    p.chkNotchOn = addCheck(frame, "chkNotchOn", -1, "", {60, 195, 270, 225}, "Notch On/Off");
    p.optNotch[0] = addOption(frame, "optNotch", 0, "Man", {330, 195, 690, 225}, "Manual Notch");
    p.optNotch[1] = addOption(frame, "optNotch", 1, "Auto", {1020, 195, 720, 225}, "Auto Notch");
    p.chkNotchType = addCheck(frame, "chkNotchType", -1, "IF", {1800, 195, 600, 225}, "AF or IF Notch");
    p.lblNotchCDesc = addLabel(frame, "lblNotchCDesc", -1, "Centre", {60, 450, 600, 240});
    p.lblNotchC = addLabel(frame, "lblNotchC", -1, "0", {660, 450, 660, 240});
    p.lblNotch = addLabel(frame, "lblNotch", -1, "0", {1380, 450, 600, 240});
    p.lblNotchWDesc = addLabel(frame, "lblNotchWDesc", -1, "Width", {60, 690, 600, 240});
    p.lblNotchW = addLabel(frame, "lblNotchW", -1, "0", {660, 690, 660, 240});
    p.lblNotchWidth = addLabel(frame, "lblNotchWidth", -1, "0", {1380, 690, 600, 240});
    p.sldNotch = addRangedSlider(frame, "sldNotch", -1, {60, 930, 1200, 210}, RxWidget::sldNotch);
    p.sldNotchWidth = addRangedSlider(frame, "sldNotchWidth", -1, {1320, 930, 1200, 210}, RxWidget::sldNotchWidth);
    p.sldNotchWidth->setInvertedAppearance(true);
}

void buildNoiseBlanker(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frNB", "NB", {14640, 2460, 1800, 1170});
    p.chkNB = addCheck(frame, "chkNB", -1, "On", {60, 195, 660, 225}, "Experimental Noise Reducer");
    addLabel(frame, "lblNB", -1, "0.00", {720, 195, 840, 240});
    p.dialNB = addKnob(frame, "dialNB", {60, 450, 660, 660}, RxWidget::dialNB);
    p.sldNB = addRangedSlider(frame, "sldNB", -1, {780, 600, 960, 240}, RxWidget::sldNB);
}

void buildAGC(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frAGC", "AGC", {60, 2340, 2460, 1290});
    p.chkAGC = addCheck(frame, "chkAGC", -1, "", {60, 195, 270, 225}, "AGC On/off");
    struct Option {
        const char* caption;
        const char* tip;
        TwipsRect rect;
    };
    // "Normal" with its button takes more than a third of the frame at the desktop's
    // font: the second row starts under the on/off box, and Fast stands over Slow.
    const Option options[] = {{"Off", "AGC OFF", {330, 195, 720, 225}},
                              {"Fast", "Fast (CW)", {1065, 195, 780, 225}},
                              {"Normal", "Normal (AM)", {60, 420, 990, 225}},
                              {"Slow", "Slow (SSB)", {1065, 420, 780, 225}},
                              {"u", "", {1890, 420, 450, 225}}};
    for (int i = 0; i < 5; ++i)
        p.optAGC[i] = addOption(frame, "optAGC", i, options[i].caption, options[i].rect, options[i].tip);
    addLabel(frame, "lblAGCAttack", -1, "0", {60, 690, 600, 240});
    p.sldAGCAttack = addRangedSlider(frame, "sldAGCAttack", -1, {690, 690, 1710, 240}, RxWidget::sldAGCAttack);
    addLabel(frame, "lblAGCDecay", -1, "0", {60, 960, 600, 240});
    p.sldAGCDecay = addRangedSlider(frame, "sldAGCDecay", -1, {690, 960, 1710, 240}, RxWidget::sldAGCDecay);
}

void buildAFOut(QWidget* window, ReceiverPanel& p)
{
    auto* frame = addFrame(window, "frAFOut", "AF Out", {16500, 2460, 2040, 1170});
    addLabel(frame, "lblOutVol", -1, "0", {60, 195, 840, 240});
    p.chkMute = addCheck(frame, "chkMute", -1, "Mute", {1080, 195, 900, 225}, "Mute AF Output");
    p.dialOutVol = addKnob(frame, "dialOutVol", {60, 450, 660, 660}, RxWidget::dialOutVol);
    p.sldOutVolume = addRangedSlider(frame, "sldOutVolume", -1, {780, 450, 1200, 240}, RxWidget::sldOutVolume);
    p.sldBalance = addRangedSlider(frame, "sldBalance", -1, {780, 780, 1200, 240}, RxWidget::sldBalance);
}

void buildSMeter(QWidget* window)
{
    auto* container = addPicture(window, "Picture", -1, {12000, 60, 3000, 600});
    auto* scale = addPicture(container, "picSmeter", 2, {0, 0, 3000, 600});
    for (int i = 0; i < 15; ++i) {
        const uint32_t colour = i <= 8 ? 0x00FF00 : (i <= 10 ? 0x00FFFF : 0x0000FF);
        addShape(scale, "shpSMeterTick", i, {i * 200, 10, 200, 257}, colour, colour);
    }
    addPicture(window, "picSmeter", 0, {12000, 690, 3000, 240});
    addPicture(window, "picSmeter", 1, {12000, 690, 3000, 240});
    addCommand(window, "cmdCalibrateSMeter", -1, "ZeroS", {12000, 960, 900, 285});
}

} // namespace

ReceiverPanel buildReceiverControls(QWidget* window)
{
    ReceiverPanel p;
    buildDemod(window, p);
    buildFilters(window, p);
    buildIFFilter(window, p);
    buildNotch(window, p);
    buildNoiseBlanker(window, p);
    buildAGC(window, p);
    buildAFOut(window, p);
    buildSMeter(window);
    return p;
}

} // namespace orvik
