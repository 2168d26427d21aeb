#include "app/MainWindowControls.h"
#include "receiver/ui/SMeter.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace orvik;

namespace {

struct SizedWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    WindowFrameState state;
    QStringList calls;
    std::unique_ptr<WindowSizeController> sizes;

    SizedWindow()
    {
        buildMainWindowControls(window.get());
        WindowSizeController::Hooks hooks;
        hooks.chkPerfStatsOn_Click = [this] { calls << "stats"; };
        hooks.chkSpectrumAnalyser_Click = [this] { calls << "analyser"; };
        hooks.statisticsAndAnalyserOff = [this] { calls << "off"; };
        hooks.frPowerHover = [this] { calls << "hover"; };
        sizes = std::make_unique<WindowSizeController>(window.get(), state, hooks);
    }
};

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(WindowSize, EachSizeCutsTheClientAreaAtItsMarkerLine)
{
    struct Case {
        int index;
        int height;
        QStringList calls;
    };
    const Case table[] = {{0, 444, {"stats", "analyser"}},
                          {1, 243, {"off"}},
                          {2, 85, {"off"}},
                          {3, 480, {"stats", "analyser"}}};
    SizedWindow w;
    for (const Case& c : table) {
        w.calls.clear();
        w.sizes->optDisplaySize_Click(c.index);
        EXPECT_EQ(w.window->height(), c.height) << c.index;
        EXPECT_EQ(w.calls, c.calls) << c.index;
        EXPECT_EQ(w.state.FormHeight, pixelsToTwips(w.window->frameGeometry().height())) << c.index;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(textColour(controlElement(w.window.get(), "optDisplaySize", i)),
                      i == c.index ? 0xFFFF00u : 0xC0C000u);
    }
}

TEST(WindowSize, FormHeightCountsTheHiddenTitleBar)
{
    SizedWindow w;
    w.state.TitleBarHidden = true;
    w.state.TitleBarHeight = 300;
    w.sizes->optDisplaySize_Click(1);
    EXPECT_EQ(w.window->height(), 243);
    EXPECT_EQ(w.state.FormHeight, pixelsToTwips(w.window->frameGeometry().height()) + 300);
}

TEST(WindowSize, UnknownIndexLeavesTheSizeAndTheSwitches)
{
    SizedWindow w;
    w.sizes->optDisplaySize_Click(2);
    w.calls.clear();
    w.sizes->optDisplaySize_Click(7);
    EXPECT_EQ(w.window->height(), 85);
    EXPECT_TRUE(w.calls.isEmpty());
    EXPECT_GT(w.state.FormHeight, 0);
}

TEST(WindowSize, ClickingAnOptionOrSelectingItInCodeRunsTheHandler)
{
    SizedWindow w;
    EXPECT_EQ(w.sizes->selectedDisplaySize(), 2); // the design default
    w.sizes->selectDisplaySize(3);
    EXPECT_EQ(w.window->height(), 480);
    EXPECT_EQ(w.sizes->selectedDisplaySize(), 3);

    auto* std = qobject_cast<QAbstractButton*>(controlElement(w.window.get(), "optDisplaySize", 1));
    QTest::mouseClick(std, Qt::LeftButton);
    EXPECT_EQ(w.window->height(), 243);
    EXPECT_EQ(w.sizes->selectedDisplaySize(), 1);
}

TEST(WindowDrag, PowerFrameDragsTheWindowUntilAMouseUp)
{
    SizedWindow w;
    w.window->move(100, 100);
    QWidget* frame = w.window->findChild<QWidget*>("frPower");

    sendMouse(frame, QEvent::MouseMove, {10, 10}, Qt::NoButton);
    EXPECT_EQ(w.window->pos(), QPoint(100, 100)); // a move without a press only highlights
    EXPECT_EQ(w.calls, QStringList{"hover"});

    sendMouse(frame, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton);
    EXPECT_TRUE(w.sizes->dragging());
    sendMouse(frame, QEvent::MouseMove, {30, 25}, Qt::RightButton);
    EXPECT_EQ(w.window->pos(), QPoint(120, 115));

    // A mouse-up on the bare window ends the drag as well.
    sendMouse(w.window.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton);
    EXPECT_FALSE(w.sizes->dragging());
    sendMouse(frame, QEvent::MouseMove, {50, 50}, Qt::NoButton);
    EXPECT_EQ(w.window->pos(), QPoint(120, 115));
}

TEST(WindowSize, PwmSliderShowsItsValueAsToolTip)
{
    SizedWindow w;
    auto* pwm = w.window->findChild<QSlider*>("sldPwm");
    pwm->setValue(37);
    EXPECT_EQ(pwm->toolTip(), "37");
}

TEST(Twips, ConvertToTheNearestPixel)
{
    EXPECT_EQ(twipsToPixels(7200), 480);
    EXPECT_EQ(twipsToPixels(6660), 444);
    EXPECT_EQ(twipsToPixels(3650), 243);
    EXPECT_EQ(twipsToPixels(1280), 85);
    EXPECT_EQ(twipsToPixels(7), 0);
    EXPECT_EQ(twipsToPixels(8), 1);
    EXPECT_EQ(twipsToPixels(-8), -1);
    EXPECT_EQ(pixelsToTwips(85), 1275);
}
