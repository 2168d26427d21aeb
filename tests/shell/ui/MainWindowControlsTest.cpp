#include "app/MainWindowControls.h"
#include "receiver/ui/SMeter.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace orvik;

namespace {

std::unique_ptr<QWidget> builtWindow()
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    return window;
}

QString captionOf(QWidget* control)
{
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* frame = qobject_cast<QGroupBox*>(control))
        return frame->title();
    if (auto* text = qobject_cast<QLineEdit*>(control))
        return text->text();
    return QStringLiteral("<no caption>");
}

} // namespace

TEST(MainWindowControls, ControlsCarryDesignNamesCaptionsAndToolTips)
{
    struct Expected {
        const char* name;
        const char* caption;
        const char* toolTip;
    };
    const Expected table[] = {
        {"frPower", "Power", ""},
        {"optPwr_0", "On", "Start Receiving"},
        {"optPwr_1", "Off", "Stop Receiving"},
        {"optPwr_2", "&Close", "Close the Receiver"},
        {"frDispMode", "Display", ""},
        {"optDisplaySize_0", "Ext", "Spectrum Display & Configuration Buttons"},
        {"optDisplaySize_1", "Std", "All the controls"},
        {"optDisplaySize_2", "Comp", "Just VFO & S Meter"},
        {"optDisplaySize_3", "Full", "Everything + Config Button"},
        {"optMode_0", "&AM", "AM Demodulation"},
        {"optMode_3", "&DRM", "DRM mode - Select, then launch Dream/DRM.EXE manually"},
        {"optMode_5", "&BC", "AM Demodulation "},
        {"optFilter_0", "5.0 KHz", ""},
        {"optFilter_1", "400 Hz", ""},
        {"optFilter_4", "4.0 KHz", ""},
        {"chkMusic", "&Music", "Set LO frequ. cutoff to 50Hz, Bass Boost"},
        {"chkDynFilter", "Dyn", "AF Filter centered on the Strongest Peak Frequency"},
        {"optIFFilter_0", "Off", "OFF"},
        {"optIFFilter_1", "Man", "Passband Tuning Mode"},
        {"optIFFilter_2", "Track", "Tracks Main Filters"},
        {"chkIFFilter", "", "IF Filter On/Off"},
        {"optNotch_0", "Man", "Manual Notch"},
        {"optNotch_1", "Auto", "Auto Notch"},
        {"chkNotchType", "IF", "AF or IF Notch"},
        {"chkNotchOn", "", "Notch On/Off"},
        {"chkNB", "On", "Experimental Noise Reducer"},
        {"optAGC_2", "Normal", "Normal (AM)"},
        {"optAGC_4", "u", ""},
        {"chkAGC", "", "AGC On/off"},
        {"chkMute", "Mute", "Mute AF Output"},
        {"cmdCalibrateSMeter", "ZeroS", ""},
        {"chkPerfStatsOn", "On", "Click  Turn on Radio Stats"},
        {"lblStats_4", "Peak In", ""},
        {"lblStats_6", "LO", ""},
        {"lblStats_8", "DSP Window", ""},
        {"lbl7Seg_0", "8", ""},
        {"lbl7Seg_8", "8", ""},
        {"lblScale_0", "MHz", ""},
        {"lblScale_1", "KHz", ""},
        {"lblScale_2", "Hz", ""},
        {"lblTuningRate", "x 100 kHz", "Left Click to Lock Tune Rate, Right Click to Set Tune Step"},
        {"lblTuneDialRate", "x 100 Hz", "Right Click to Set Tune Step"},
        {"optSubBand_17", "S17", ""},
        {"optPreset_11", "88.888", ""},
        {"chkScopeMode_0", "Freq", "Spectrum Analyser"},
        {"chkScopeMode_2", "Phase", "Lissajous Y1:Y2"},
        {"chkTrigOn_2", "", "Trigger on Y2"},
        {"chkLog", "Lin", "Linear Y Scale"},
        {"chkSmoothSpectrum", "Fast", "Realtime Display"},
        {"chkScopeShowFilters", "Show Fltr ", "Show Filter Curve"},
        {"chkSpectrumAnalyser", "On", "Click to turn on Spectrum Display"},
        {"optSpectrumSource_1", "Pre Demod", "After IF & Notch Filters"},
        {"optSpectrumSource_3", "AF Out", "What you hear"},
        {"lblSpectrumGain_3", "- 6", ""},
        {"lblSpectrumGain_4", "0 dB", ""},
        {"frScopeSweep", "Timebase", ""},
        {"frScopeYMode", "Y Mode", ""},
        {"frScopeChn2Ctl", "Chn2", ""},
        {"lblScopeCtl_0", "ms/Div", ""},
        {"lblScopeCtl_5", "Brite", ""},
        {"lblScopeXCentre", "0", "Centre Offset Adjust"},
        {"lblY2Bright", "0", "Y2 Brightness"},
        {"chkScopeY1MinusY2", "Y1-Y2", ""},
        {"cmdWavCtls_6", "", "Continuous Looping Playback"},
        {"cmdWavCtls_9", "", "Close Recorder"},
        {"txtRecordFileName", "orviksdr.wav", "Filename for recording"},
        {"cmdBrowseWavFile", "Browse", ""},
        {"frRecordSampling", "Sample Rate", ""},
        {"optRecordSampleRate_4", "3k", ""},
        {"optRecordSamplePerBit_0", "16", ""},
        {"optRecordSamplePerBit_1", "8", ""},
        {"frRecordBitsPerSample", "Bits/Sample", ""},
        {"lblRecordMBytesPerHr", "120", ""},
        {"lblRecordTime", "00:00:00", ""},
        {"lblRecordSize", "000,000,000", ""},
    };
    auto window = builtWindow();
    for (const Expected& row : table) {
        auto* control = window->findChild<QWidget*>(row.name);
        ASSERT_NE(control, nullptr) << row.name;
        EXPECT_EQ(captionOf(control), QString::fromUtf8(row.caption)) << row.name;
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(row.toolTip)) << row.name;
    }
}

TEST(MainWindowControls, ControlArraysHaveTheirDesignLengths)
{
    const std::pair<const char*, int> arrays[] = {
        {"optPwr", 3},          {"optDisplaySize", 4}, {"optMode", 6},          {"optFilter", 5},
        {"optIFFilter", 3},     {"optNotch", 2},       {"optAGC", 5},           {"sldBW", 2},
        {"lbl7Seg", 9},         {"lblScale", 3},       {"optSubBand", 18},      {"optPreset", 12},
        {"picSmeter", 3},       {"shpSMeterTick", 15}, {"lblStats", 9},         {"lblStatsVal", 10},
        {"picScope", 2},        {"lblSpectrumFreq", 2}, {"chkScopeMode", 3},    {"optSpectrumSource", 4},
        {"lblSpectrumGain", 9}, {"lblScopeCtl", 6},    {"cmdWavCtls", 10},      {"optRecordSampleRate", 5},
        {"optRecordSamplePerBit", 2}};
    auto window = builtWindow();
    for (const auto& [name, length] : arrays)
        EXPECT_EQ(controlCount(window.get(), name), length) << name;
    // chkTrigOn is indexed 1 and 2.
    EXPECT_NE(window->findChild<QWidget*>("chkTrigOn_1"), nullptr);
    EXPECT_NE(window->findChild<QWidget*>("chkTrigOn_2"), nullptr);
}

TEST(MainWindowControls, SlidersAndDialsHaveTheirRanges)
{
    struct Range {
        const char* name;
        int minimum;
        int maximum;
    };
    const Range table[] = {{"sldAGCAttack", 5, 50},       {"sldAGCDecay", 10, 200},  {"sldBalance", -20000, 20000},
                           {"sldBW_0", 0, 1999},          {"sldBW_1", 0, 5000},      {"sldNotchWidth", 10, 1000},
                           {"sldNotch", 100, 3000},       {"sldNB", 0, 10000},       {"sldOutVolume", -10000, 8000},
                           {"dialtuner", 0, 100},         {"dialNB", 0, 10000},      {"dialOutVol", -10000, 8000}};
    auto window = builtWindow();
    for (const Range& row : table) {
        auto* slider = window->findChild<QAbstractSlider*>(row.name);
        ASSERT_NE(slider, nullptr) << row.name;
        EXPECT_EQ(slider->minimum(), row.minimum) << row.name;
        EXPECT_EQ(slider->maximum(), row.maximum) << row.name;
    }
}

TEST(MainWindowControls, TimersAndMenusExistStoppedWithTheirItems)
{
    auto window = builtWindow();
    for (const char* name : {"tmrTune", "tmrVFOUpdate", "tmrShaft", "tmrClock", "tmrSubBands", "tmrSpectrumDisplay",
                             "tmrPerfStats", "tmrRecorderWrite", "tmrPlaybackRead"}) {
        auto* timer = window->findChild<QTimer*>(name);
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_FALSE(timer->isActive()) << name;
    }

    auto* vfo = window->findChild<QMenu*>("mnuVFOControl_0");
    ASSERT_NE(vfo, nullptr);
    const QStringList items = {"Cancel", "-", "Set Tuning Rate", "Lock Tune Rate", "Unlock Tune rate"};
    for (int i = 0; i < items.size(); ++i) {
        auto* action = vfo->findChild<QAction*>(controlName("mnuVFOControlSub", i));
        ASSERT_NE(action, nullptr) << i;
        EXPECT_EQ(action->isSeparator(), i == 1);
        if (i != 1) {
            EXPECT_EQ(action->text(), items[i]);
        }
    }
    auto* step = window->findChild<QMenu*>("mnuVFOStep");
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->title(), "&VFOStep");
    EXPECT_EQ(step->findChild<QAction*>("mnuVFOStepSub_0")->text(), "9KHz");
    auto* presets = window->findChild<QMenu*>("mnuUserPresets");
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(presets->title(), "&User Presets");
    EXPECT_EQ(presets->findChild<QAction*>("mnuUserPresets_Save")->text(), "Save to Preset");
    EXPECT_EQ(presets->findChild<QAction*>("mnuUserPresets_Edit")->text(), "Edit Preset");
}

TEST(MainWindowControls, EveryControlLiesInsideItsContainer)
{
    auto window = builtWindow();
    window->resize(window->width(), twipsToPixels(WindowSizeController::markerLineY1(3)));
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        // linConfig lies on the lower edge of the largest size, by design just outside it.
        if (name.isEmpty() || name.startsWith("qt_") || control->isWindow() || qobject_cast<MarkerLine*>(control))
            continue;
        const QRect container = control->parentWidget()->rect();
        EXPECT_TRUE(container.contains(control->geometry())) << name.toStdString() << " lies outside "
                                                             << control->parentWidget()->objectName().toStdString();
    }
}

TEST(MainWindowControls, SizeCutsKeepTheirPanels)
{
    // Comp keeps the VFO and the S-meter (and the size choice itself); Std keeps every
    // receiver control but not the scope; Ext holds the scope but not the configuration button.
    auto window = builtWindow();
    auto bottomOf = [&](const char* name) {
        QWidget* control = window->findChild<QWidget*>(name);
        return control->mapTo(window.get(), QPoint(0, control->height())).y();
    };
    const int comp = twipsToPixels(WindowSizeController::markerLineY1(2));
    const int std = twipsToPixels(WindowSizeController::markerLineY1(1));
    const int ext = twipsToPixels(WindowSizeController::markerLineY1(0));
    for (const char* name : {"picFreqDisp", "Picture", "cmdCalibrateSMeter", "frDispMode", "frPower", "picTuneDial"})
        EXPECT_LE(bottomOf(name), comp) << name;
    for (const char* name : {"frDemod", "frFilters", "frIFFilter", "frNotch", "frNB", "frAGC", "frAFOut", "frPresets",
                             "picRecorder"})
        EXPECT_LE(bottomOf(name), std) << name;
    EXPECT_GT(bottomOf("picScopeContainer"), std);
    EXPECT_LE(bottomOf("picScopeContainer"), ext);
    EXPECT_GT(bottomOf("cmdConfig"), ext);
}

TEST(MainWindowControls, EveryAdjusterLabelExists)
{
    auto window = builtWindow();
    int labels = 0;
    for (int id = 1; id <= 22; ++id) {
        const QString name = adjusterLabelName(id);
        if (name.isEmpty())
            continue;
        ++labels;
        EXPECT_NE(window->findChild<QLabel*>(name), nullptr) << id;
    }
    EXPECT_EQ(labels, 20);
}
