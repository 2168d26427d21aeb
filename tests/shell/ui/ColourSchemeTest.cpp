#include "app/MainWindowControls.h"
#include "receiver/ui/SMeter.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/ControlFactory.h"

#include "platform/Log.h"
#include "platform/SettingsStore.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"
#include "shell/widgets/Dial.h"

#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace orvik;

namespace {

uint32_t text(QWidget* window, const char* name)
{
    QWidget* control = window->findChild<QWidget*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control ? textColour(control) : 0xDEADBEEF;
}

uint32_t back(QWidget* window, const char* name)
{
    QWidget* control = window->findChild<QWidget*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control ? backColour(control) : 0xDEADBEEF;
}

struct ColouredWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    SDRColourSchemes scheme;

    explicit ColouredWindow(const SDRColourSchemes& s, uint32_t scopeBack = 0) : scheme(s)
    {
        buildMainWindowControls(window.get());
        setWindowBackground(window.get(), scheme.SDRBackgroundColour);
        ReColourHooks hooks;
        hooks.scopeBackColour = scopeBack;
        hooks.drawSMeter = [this] { DrawSMeter(window.get()); };
        ReColour(window.get(), scheme, hooks);
    }
};

} // namespace

TEST(DarkenColour, ScalesEachByteRoundingHalvesToEven)
{
    struct Case {
        uint32_t colour;
        int percent;
        uint32_t expected;
    };
    const Case table[] = {
        {0xFF, 75, 0xBF},             // 191.25
        {0xFF, 50, 0x80},             // 127.5 goes to the even 128
        {0x808080, 75, 0x606060},
        {0xFFFF00, 75, 0xBFBF00},
        {0x030303, 50, 0x020202},     // 1.5 -> 2
        {0x050505, 50, 0x020202},     // 2.5 -> 2
        {0x123456, 100, 0x123456},
        {0xFFFFFF, 100, 0xFFFFFF},
        {0xFF, 200, 0xFE},            // 510 keeps its low 8 bits
        {0x1000000, 100, 0},          // the top byte lands in the blue part and is cut to 8 bits
        {0xFFFFFFFF, 100, 0x0000FF},  // -1: blue and green parts truncate to 0
    };
    for (const Case& c : table)
        EXPECT_EQ(DarkenColour(c.colour, c.percent), c.expected) << std::hex << c.colour << " at " << std::dec
                                                                 << c.percent;
}

TEST(ColourScheme, DefaultsAreBlackWithCyanGreyLabelsAndRedTuning)
{
    const SDRColourSchemes scheme = defaultColourScheme();
    EXPECT_EQ(scheme.SDRBackgroundColour, 0u);
    EXPECT_EQ(scheme.SDRLabelColour, 0xBFBF00u);
    EXPECT_EQ(scheme.SDRFrameFocusColour, 0xFFFF00u);
    EXPECT_EQ(scheme.SDRFrameNormalColour, 0xBFBF00u);
    EXPECT_EQ(scheme.SDRTuningColour, 0xFFu);
    EXPECT_EQ(scheme.ScrollableLabelNormalColour, 0xBFBF00u);
    EXPECT_EQ(scheme.ScrollableLabelFocusColour, 0xFFu);
}

TEST(ColourScheme, SurvivesARoundTripThroughTheSettingsStore)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("ORVIKSDR.ini");
    SDRColourSchemes saved{0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0x010203, 0x040506};
    {
        SettingsStore store(path);
        SaveColours(store, saved);
        EXPECT_EQ(store.read("frmMain", "SDRTuningColour", ""), QString::number(0xD0E0F0));
        store.sync();
    }
    SettingsStore store(path);
    SDRColourSchemes restored = defaultColourScheme();
    RestoreColours(store, restored);
    EXPECT_EQ(restored, saved);
}

TEST(ColourScheme, MissingOrDamagedKeysKeepTheCurrentColours)
{
    QTemporaryDir folder;
    SettingsStore store(folder.filePath("ORVIKSDR.ini"));
    store.write("frmMain", "SDRLabelColour", "abc");
    store.write("FRMMAIN", "sdrtuningcolour", "65280");
    QStringList log;
    setLogSink([&log](const QString& line) { log << line; });

    SDRColourSchemes scheme = defaultColourScheme();
    RestoreColours(store, scheme);
    setLogSink({});

    SDRColourSchemes expected = defaultColourScheme();
    expected.SDRTuningColour = 0xFF00;
    EXPECT_EQ(scheme, expected);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains("SDRLabelColour")) << log[0].toStdString();
}

TEST(ReColour, FreshStorePaintsEveryKindOfControl)
{
    QTemporaryDir folder;
    const SettingsStore store(folder.filePath("ORVIKSDR.ini"));
    SDRColourSchemes scheme = defaultColourScheme();
    RestoreColours(store, scheme);
    ColouredWindow w(scheme, 0x203040);
    QWidget* window = w.window.get();
    // Frames, labels, options and check boxes.
    EXPECT_EQ(text(window, "frDemod"), 0xBFBF00u);
    EXPECT_EQ(back(window, "frDemod"), 0u);
    EXPECT_EQ(text(window, "lblFLo"), 0xBFBF00u);
    EXPECT_EQ(text(window, "chkMusic"), 0xBFBF00u);
    EXPECT_EQ(back(window, "chkMusic"), 0u);
    // Adjustable value labels take the normal scroll colour; lblBFO is a tuning read-out.
    EXPECT_EQ(text(window, "lblNB"), 0xBFBF00u);
    EXPECT_EQ(text(window, "lblBFO"), 0xFFu);
    // Frequency display and tuning read-outs.
    EXPECT_EQ(text(window, "lbl7Seg_0"), 0xBFu);
    EXPECT_EQ(text(window, "lbl7Seg_8"), 0xBFu);
    EXPECT_EQ(window->findChild<ShapeWidget*>("shpDP_1")->fillColour(), 0x80u);
    EXPECT_EQ(window->findChild<ShapeWidget*>("shpDP_1")->borderColour(), 0x80u);
    EXPECT_EQ(text(window, "lblScale_2"), 0xBFu);
    EXPECT_EQ(text(window, "lblTuningRate"), 0xFFu);
    EXPECT_EQ(text(window, "lblTuneDialRate"), 0u);
    EXPECT_EQ(text(window, "chkTuneLo"), 0xFFu);
    EXPECT_EQ(text(window, "lblClock"), 0xBFu);
    EXPECT_EQ(text(window, "lblRecordSize"), 0xFFu);
    EXPECT_EQ(text(window, "lblRecordTime"), 0xFFu);
    // Pictures, scope pages, S-meter and the dial's picture.
    EXPECT_EQ(back(window, "picScope_0"), 0x203040u);
    EXPECT_EQ(back(window, "picScope_1"), 0x203040u);
    EXPECT_EQ(back(window, "picSmeter_2"), 0u);
    EXPECT_EQ(back(window, "picTuneDial"), window->findChild<Dial*>("dialtuner")->BackColour());
}

TEST(ReColour, PowerButtonsTakeFixedColoursWhateverTheState)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    window->findChild<QRadioButton*>("optPwr_0")->setChecked(true);
    ReColour(window.get(), defaultColourScheme());
    EXPECT_EQ(text(window.get(), "optPwr_0"), 0xFF00u);
    EXPECT_EQ(text(window.get(), "optPwr_1"), 0xFFu);
    EXPECT_EQ(text(window.get(), "optPwr_2"), 0xFFFFu);
}

TEST(ReColour, LeavesCommandButtonsAndKeepsTheChosenOptionsMarked)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    auto* config = window->findChild<QPushButton*>("cmdConfig");
    const QPalette before = config->palette();
    window->findChild<QRadioButton*>("optMode_2")->setChecked(true);
    SDRColourSchemes scheme = defaultColourScheme();
    scheme.SDRLabelColour = 0x00FF00;
    ReColour(window.get(), scheme);

    EXPECT_EQ(config->palette(), before);
    EXPECT_EQ(text(window.get(), "optMode_2"), 0xFFFF00u);
    EXPECT_EQ(text(window.get(), "optMode_0"), 0xC0C000u);
    // A group with nothing chosen keeps the label colour.
    EXPECT_EQ(text(window.get(), "optSpectrumSource_0"), 0x00FF00u);
}

TEST(ReColour, DesignColoursReachThePixels)
{
    SDRColourSchemes scheme = defaultColourScheme();
    scheme.SDRBackgroundColour = 0x405060; // red 0x60, green 0x50, blue 0x40
    ColouredWindow w(scheme);
    w.window->resize(w.window->width(), twipsToPixels(7200));
    const QImage image = w.window->grab().toImage();

    auto pixelAt = [&](const char* name) {
        QWidget* control = w.window->findChild<QWidget*>(name);
        const QPoint centre = control->mapTo(w.window.get(), control->rect().center());
        return image.pixelColor(centre);
    };
    EXPECT_EQ(pixelAt("picCalib"), QColor(0x60, 0x50, 0x40));
    EXPECT_EQ(pixelAt("shpDP_0"), QColor(0x80, 0, 0));
    EXPECT_EQ(pixelAt("shpSMeterTick_0"), QColor(0, 0xFF, 0));
}

TEST(OptionGroupHighlight, MarksTheChosenOptionOnly)
{
    auto window = std::make_unique<QWidget>();
    buildMainWindowControls(window.get());
    HighlightOptionGroup(window.get(), "optAGC", 3);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(textColour(controlElement(window.get(), "optAGC", i)), i == 3 ? 0xFFFF00u : 0xC0C000u) << i;
    HighlightOptionGroup(window.get(), "optAGC", 9);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(textColour(controlElement(window.get(), "optAGC", i)), 0xC0C000u) << i;
}
