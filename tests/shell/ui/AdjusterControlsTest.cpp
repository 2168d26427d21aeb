#include "app/MainWindowControls.h"
#include "shell/CtlArray.h"
#include "shell/ui/AdjusterControls.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/FocusHighlighter.h"
#include "shell/ui/modWheelMouse.h"
#include "shell/widgets/ControlFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace orvik;

namespace {

constexpr uint32_t Lit = 0x0000FF;
constexpr uint32_t Dark = 0x00FF00;
constexpr uint32_t Tuning = 0xFF0000;

// The main window's controls with the adjusters, the key handler, the focus highlighting and the
// hook, as start-up wires them, on a shown window so that events arrive through its QWindow.
struct AdjusterWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    CtlArray ctl;
    SDRColourSchemes colours = defaultColourScheme();
    FocusHighlighter* focus = nullptr;
    AdjusterControls* adjusters = nullptr;
    std::unique_ptr<modWheelMouse> hook;
    int applied[CtlArray::Size] = {};
    int folded = 0;

    AdjusterWindow()
    {
        buildMainWindowControls(window.get());
        window->resize(window->width(), 480); // every panel, the scope's frames included
        FocusHighlighter::Hooks hooks;
        hooks.foldBandPickers = [this] {
            ++folded;
            FocusHighlighter::foldBandPickersByName(window.get());
        };
        focus = new FocusHighlighter(window.get(), ctl, colours, hooks);
        adjusters = new AdjusterControls(window.get(), ctl, *focus);
        for (int id = 1; id <= 22; ++id) {
            ctl.Define(id, adjusters->labelView(id), [this, id] { ++applied[id]; });
            ctl[id].FocusColour = Lit;
            ctl[id].NormalColour = Dark;
        }
        ctl.TuningColour = Tuning;
        ctl.hooks.mainFilterEdge = [](int id) { return id == 7 ? 2300.0f : 300.0f; };
        hook = std::make_unique<modWheelMouse>(ctl);
        hook->HookWheel();
        focus->DarkenControls();
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    QWidget* named(const char* name) const { return window->findChild<QWidget*>(QLatin1String(name)); }
    QLabel* label(int id) const { return qobject_cast<QLabel*>(named(CtlArray::definition(id)->labelName)); }
    QWindow* handle() const { return window->windowHandle(); }

    // A point of w that no child covers: the frame's or window's own surface.
    static QPoint bareSpot(QWidget* w)
    {
        for (int y = w->height() - 3; y > 2; y -= 3)
            for (int x = 3; x < w->width() - 2; x += 3)
                if (!w->childAt(QPoint(x, y)))
                    return QPoint(x, y);
        ADD_FAILURE() << "no bare spot on " << w->objectName().toStdString();
        return {};
    }
    void pointAt(QWidget* w, QPoint at)
    {
        QTest::mouseMove(handle(), w->mapTo(window.get(), at));
    }
    void hover(QWidget* w) { pointAt(w, w->rect().center()); }
    void hoverBare(QWidget* w) { pointAt(w, bareSpot(w)); }
    void press(QWidget* w, Qt::MouseButton button)
    {
        const QPoint at = w->mapTo(window.get(), w->rect().center());
        QTest::mousePress(handle(), button, Qt::NoModifier, at);
        QTest::mouseRelease(handle(), button, Qt::NoModifier, at);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(handle(), k, mods); }
    // One wheel event as the window system hands it to the window.
    void wheel(QWidget* over, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier, bool horizontal = false)
    {
        const QPointF at = over->mapTo(window.get(), over->rect().center());
        const QPoint angle = horizontal ? QPoint(delta, 0) : QPoint(0, delta);
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(handle(), &event);
    }
};

} // namespace

TEST(AdjusterLabels, PointingLightsOneLabelAndSendsTheFocusToTheSink)
{
    AdjusterWindow w;
    w.hover(w.label(10));
    EXPECT_EQ(w.ctl.ActiveAdjuster, 10);
    EXPECT_EQ(textColour(w.label(10)), Lit);
    EXPECT_EQ(QApplication::focusWidget(), w.named("Picture1"));

    w.hover(w.label(20));
    EXPECT_EQ(w.ctl.ActiveAdjuster, 20);
    EXPECT_EQ(textColour(w.label(10)), Dark);
    EXPECT_EQ(textColour(w.label(20)), Lit);
    EXPECT_GT(w.folded, 0);

    // A disabled adjuster is not lit and leaves none active.
    w.hover(w.label(11));
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);
    EXPECT_EQ(textColour(w.label(11)), Dark);
    EXPECT_EQ(textColour(w.label(20)), Tuning);

    // The border marks the active label when so configured.
    w.ctl.HiLiteBorder = true;
    w.hover(w.label(7));
    EXPECT_EQ(w.label(7)->frameShape(), QFrame::Box);
    w.hover(w.label(8));
    EXPECT_EQ(w.label(7)->frameShape(), QFrame::NoFrame);

    // lblFilterLo sends the focus to the sink itself, also when its adjuster cannot be
    // made active; another label of a disabled adjuster leaves the focus where it is.
    w.ctl[7].Disabled = w.ctl[8].Disabled = true;
    QWidget* text = w.named("txtRecordFileName");
    text->setFocus();
    w.hover(w.label(7));
    EXPECT_EQ(QApplication::focusWidget(), text);
    w.hover(w.label(8));
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);
    EXPECT_EQ(QApplication::focusWidget(), w.named("Picture1"));
}

TEST(AdjusterLabels, KeysStepTheActiveAdjusterWithTheirModifiers)
{
    AdjusterWindow w;
    w.hover(w.label(2)); // gain 1, steps 0.01 / 0.1 / 1
    w.key(Qt::Key_Up);
    EXPECT_FLOAT_EQ(w.ctl[2].Value, 1.1f);
    EXPECT_EQ(w.label(2)->text(), "1.1");
    w.key(Qt::Key_A, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(w.ctl[2].Value, 2.1f);
    w.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(w.ctl[2].Value, 2.09f);
    w.key(Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier); // Shift wins
    EXPECT_FLOAT_EQ(w.ctl[2].Value, 1.09f);
    EXPECT_EQ(w.applied[2], 4);
    w.key(Qt::Key_Space);
    EXPECT_EQ(w.ctl[2].Value, 1.0f);
    EXPECT_EQ(w.label(2)->text(), "1.0");

    // Clamped at the limit in the step's direction.
    w.hover(w.label(3));
    for (int i = 0; i < 12; ++i)
        w.key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(w.ctl[3].Value, -100.0f);
    EXPECT_EQ(w.label(3)->text(), "-100");

    // Left and Right walk to the neighbours; the one left goes dark.
    w.key(Qt::Key_Right);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 4);
    EXPECT_EQ(textColour(w.label(3)), Dark);
    EXPECT_EQ(textColour(w.label(4)), Lit);
    w.key(Qt::Key_Left);
    w.key(Qt::Key_Left);
    w.key(Qt::Key_Left);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 1);
    w.key(Qt::Key_Left); // the frequency display keeps its keys
    EXPECT_EQ(w.ctl.ActiveAdjuster, 1);
}

TEST(AdjusterLabels, TypingIntoATextBoxIsNotAdjusterInput)
{
    AdjusterWindow w;
    w.hover(w.label(20));
    auto* name = qobject_cast<QLineEdit*>(w.named("txtRecordFileName"));
    ASSERT_NE(name, nullptr);
    name->clear();
    name->setFocus();
    w.key(Qt::Key_A);
    w.key(Qt::Key_Z);
    w.key(Qt::Key_Space);
    EXPECT_EQ(w.ctl[20].Value, 0.0f);
    EXPECT_EQ(w.applied[20], 0);
    EXPECT_EQ(name->text(), "az ");

    // Only an editable list takes text; a plain one leaves the keys to the adjuster.
    auto* steps = qobject_cast<QComboBox*>(w.named("cboTuningSteps"));
    ASSERT_NE(steps, nullptr);
    EXPECT_FALSE(AdjusterControls::isTextEntry(steps));
    steps->setEditable(true);
    EXPECT_TRUE(AdjusterControls::isTextEntry(steps));
    EXPECT_FALSE(AdjusterControls::isTextEntry(w.named("Picture1")));

    w.named("Picture1")->setFocus();
    w.key(Qt::Key_A);
    EXPECT_EQ(w.ctl[20].Value, 20.0f);
}

TEST(AdjusterLabels, ButtonsOnALabelResetIt)
{
    AdjusterWindow w;
    w.ctl[21].Value = 40;
    w.press(w.label(21), Qt::LeftButton);
    EXPECT_EQ(w.ctl[21].Value, 40.0f);
    w.press(w.label(21), Qt::RightButton);
    EXPECT_EQ(w.ctl[21].Value, 100.0f);
    EXPECT_EQ(w.label(21)->text(), "100");
    EXPECT_EQ(w.applied[21], 1);

    w.ctl[7].Value = 999;
    w.press(w.label(7), Qt::RightButton);
    EXPECT_EQ(w.ctl[7].Value, 2300.0f);

    w.ctl[15].Value = 3;
    w.press(w.label(15), Qt::MiddleButton);
    EXPECT_EQ(w.ctl[15].Value, 511.0f);
    w.ctl[6].Value = 30;
    w.press(w.label(6), Qt::LeftButton);
    EXPECT_EQ(w.ctl[6].Value, 30.0f);
}

TEST(WheelHookAdaptor, EverySecondNotchStepsAndTheControlUnderThePointerStaysPut)
{
    AdjusterWindow w;
    auto* balance = qobject_cast<QSlider*>(w.named("sldBalance"));
    ASSERT_NE(balance, nullptr);
    w.hover(w.label(20)); // BFO: 1 / 20 / 100
    const int before = balance->value();

    w.wheel(balance, 120);
    EXPECT_EQ(w.ctl[20].Value, 0.0f);
    w.wheel(balance, 120);
    EXPECT_EQ(w.ctl[20].Value, 20.0f);
    EXPECT_EQ(w.label(20)->text(), "20");
    w.wheel(balance, -120, Qt::ShiftModifier);
    w.wheel(balance, -120, Qt::ShiftModifier);
    EXPECT_EQ(w.ctl[20].Value, -80.0f);
    w.wheel(balance, 120, Qt::ShiftModifier | Qt::ControlModifier);
    w.wheel(balance, 120, Qt::ShiftModifier | Qt::ControlModifier); // Ctrl wins on the wheel
    EXPECT_EQ(w.ctl[20].Value, -79.0f);
    EXPECT_EQ(balance->value(), before);

    // Sideways turns carry no vertical delta and count for nothing.
    w.wheel(balance, 120, Qt::NoModifier, true);
    w.wheel(balance, 120, Qt::NoModifier, true);
    EXPECT_EQ(w.ctl[20].Value, -79.0f);
    EXPECT_EQ(w.hook->hook().WheelMsgParity, 0);

    // Fine-step wheels count once a whole notch has come together.
    for (int i = 0; i < 16; ++i)
        w.wheel(balance, 15);
    EXPECT_EQ(w.ctl[20].Value, -59.0f);

    // With nothing active the wheel is the slider's again.
    w.hoverBare(w.window.get());
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);
    w.wheel(balance, 120);
    EXPECT_NE(balance->value(), before);
    EXPECT_EQ(w.ctl[20].Value, -59.0f);
}

TEST(WheelHookAdaptor, UnhookedTheWheelLeavesTheAdjustersAlone)
{
    AdjusterWindow w;
    w.hover(w.label(20));
    w.hook->UnhookWheel();
    for (int i = 0; i < 4; ++i)
        w.wheel(w.label(20), 120);
    EXPECT_EQ(w.ctl[20].Value, 0.0f);
    EXPECT_NE(w.hook->HookHandle, 0);
}

TEST(FocusHighlighting, FramesLightUnderThePointerAndClearTheirAdjusters)
{
    AdjusterWindow w;
    const uint32_t focus = w.colours.SDRFrameFocusColour;
    const uint32_t normal = w.colours.SDRFrameNormalColour;
    ASSERT_NE(focus, normal);

    w.hover(w.label(10));
    w.hoverBare(w.named("frAGC"));
    EXPECT_EQ(textColour(w.named("frAGC")), focus);
    for (const char* other : {"frAFOut", "frDemod", "frNB", "frPower", "frScopeMode"})
        EXPECT_EQ(textColour(w.named(other)), normal) << other;
    EXPECT_EQ(textColour(w.label(10)), Dark);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);

    // The frequency frame only puts the frames back; the active label stays.
    w.hover(w.label(20));
    w.hoverBare(w.named("frFreqCtl"));
    EXPECT_EQ(textColour(w.named("frAGC")), normal);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 20);
    EXPECT_EQ(textColour(w.label(20)), Lit);

    // A scope frame lights up and leaves the label lit.
    w.hoverBare(w.named("frScopeYMode"));
    EXPECT_EQ(textColour(w.named("frScopeYMode")), focus);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 20);

    // The mode frame puts the active label back before the filter labels.
    w.hover(w.label(10));
    w.hoverBare(w.named("frDemod"));
    EXPECT_EQ(textColour(w.named("frDemod")), focus);
    EXPECT_EQ(textColour(w.label(10)), Dark);
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);

    w.hover(w.label(9));
    w.hoverBare(w.named("frNB"));
    EXPECT_EQ(textColour(w.named("frNB")), focus);
    EXPECT_EQ(textColour(w.named("frDemod")), normal);
    EXPECT_EQ(textColour(w.label(9)), Dark);
}

TEST(FocusHighlighting, TheBareWindowPutsEveryLabelBack)
{
    AdjusterWindow w;
    w.hover(w.label(14));
    auto* readOut = controlElement(w.window.get(), "lblSpectrumFreq", 0);
    ASSERT_NE(readOut, nullptr);
    readOut->show();
    w.named("cboBandSelect")->show();
    w.hoverBare(w.window.get());
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);
    EXPECT_EQ(textColour(w.label(14)), Dark);
    EXPECT_EQ(textColour(w.label(20)), Tuning); // the BFO label in the tuning colour
    EXPECT_FALSE(readOut->isVisible());
    EXPECT_FALSE(w.named("cboBandSelect")->isVisible());
    EXPECT_TRUE(w.named("lblSubBand")->isVisible());

    w.hover(w.label(14));
    w.hoverBare(w.named("picCalib"));
    EXPECT_EQ(w.ctl.ActiveAdjuster, 0);
    EXPECT_EQ(textColour(w.label(14)), Dark);
}
