#include "shell/ui/ShellPanels.h"

#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/ui/WindowSizeController.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace orvik {

namespace {

void buildPower(QWidget* window)
{
    auto* frame = addFrame(window, "frPower", "Power", {60, 0, 960, 1215});
    frame->setMouseTracking(true);
    const char* captions[] = {"On", "Off", "&Close"};
    const char* tips[] = {"Start Receiving", "Stop Receiving", "Close the Receiver"};
    const uint32_t colours[] = {0xFF00, 0xC0, 0xFFFF};
    for (int i = 0; i < 3; ++i) {
        auto* button = addOption(frame, "optPwr", i, captions[i], {90, 240 + i * 300, 810, 255}, tips[i]);
        setTextColour(button, colours[i]);
    }
    qobject_cast<QRadioButton*>(controlElement(frame, "optPwr", 1))->setChecked(true);
}

void buildDisplaySize(QWidget* window)
{
    auto* frame = addFrame(window, "frDispMode", "Display", {1080, 0, 1440, 1215});
    const char* captions[] = {"Ext", "Std", "Comp", "Full"};
    const char* tips[] = {"Spectrum Display & Configuration Buttons", "All the controls", "Just VFO & S Meter",
                          "Everything + Config Button"};
    for (int i = 0; i < 4; ++i)
        addOption(frame, "optDisplaySize", i, captions[i], {90, 195 + i * 240, 1260, 240}, tips[i]);
    qobject_cast<QRadioButton*>(controlElement(frame, "optDisplaySize", 2))->setChecked(true);
}

void buildStatistics(QWidget* window)
{
    addCheck(window, "chkPerfStatsOn", -1, "On", {14580, 3720, 1200, 240}, "Click  Turn on Radio Stats");
    addLabel(window, "lblStats", 0, "", {15840, 3720, 2040, 240})->setVisible(false);
    addLabel(window, "lblStatsVal", 6, "", {16140, 3990, 1740, 240})->setVisible(false);

    struct Row {
        int caption;
        const char* text;
        int value;
    };
    const Row rows[] = {{4, "Peak In", 0}, {5, "Peak Out", 1}, {7, "AGC Gain", 2}, {6, "LO", 3},
                        {8, "DSP Window", 4}, {1, "", 7},     {2, "", 8},         {3, "", 9}};
    int32_t top = 4020;
    for (const Row& row : rows) {
        addLabel(window, "lblStats", row.caption, row.text, {14580, top, 1500, 240});
        const int32_t width = row.value == 4 ? 840 : 1740;
        addLabel(window, "lblStatsVal", row.value, "", {16140, top, width, 240});
        if (row.value == 4)
            addLabel(window, "lblStatsVal", 5, "", {17040, top, 840, 240});
        top += 270;
    }
}

void buildMenus(QWidget* window)
{
    auto* vfoControl = new QMenu("VFO Control", window);
    vfoControl->setObjectName(controlName("mnuVFOControl", 0));
    const char* items[] = {"Cancel", "-", "Set Tuning Rate", "Lock Tune Rate", "Unlock Tune rate"};
    for (int i = 0; i < 5; ++i) {
        QAction* action = vfoControl->addAction(items[i]);
        action->setObjectName(controlName("mnuVFOControlSub", i));
        action->setSeparator(QString(items[i]) == "-");
    }

    auto* vfoStep = new QMenu("&VFOStep", window);
    vfoStep->setObjectName("mnuVFOStep");
    vfoStep->addAction("9KHz")->setObjectName(controlName("mnuVFOStepSub", 0));

    auto* userPresets = new QMenu("&User Presets", window);
    userPresets->setObjectName("mnuUserPresets");
    userPresets->addAction("Save to Preset")->setObjectName("mnuUserPresets_Save");
    userPresets->addAction("Edit Preset")->setObjectName("mnuUserPresets_Edit");
}

} // namespace

void buildShellControls(QWidget* window)
{
    buildPower(window);
    buildDisplaySize(window);

    addLabel(window, "lblClock", -1, "00:00:00", {15120, 120, 1500, 300});
    addLabel(window, "lblVer", -1, "", {15120, 480, 1500, 240});
    addPicture(window, "picCalib", -1, {15120, 780, 2760, 420});

    buildStatistics(window);

    addCommand(window, "cmdConfig", -1, "Config", {60, 6720, 1200, 405});
    addSlider(window, "sldPwm", -1, {1320, 6750, 2400, 300}, 0, 100, false);

    // Focus sink: takes the keyboard so that keys reach only the window's own handler.
    auto* sink = addPicture(window, "Picture1", -1, {17880, 6720, 60, 60});
    sink->setFocusPolicy(Qt::StrongFocus);

    for (int index = 0; index < 4; ++index) {
        static const char* const names[] = {"linExtended", "linNormal", "linCompact", "linConfig"};
        auto* line = addMarkerLine(window, names[index], WindowSizeController::markerLineY1(index),
                                   MainWindowWidthTwips);
        line->setVisible(index == 3);
    }

    for (const char* name : {"tmrTune", "tmrVFOUpdate", "tmrShaft", "tmrClock", "tmrSubBands", "tmrSpectrumDisplay",
                             "tmrPerfStats", "tmrRecorderWrite", "tmrPlaybackRead"})
        addTimer(window, name);

    buildMenus(window);
}

} // namespace orvik
