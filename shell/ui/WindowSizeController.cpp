#include "shell/ui/WindowSizeController.h"

#include "platform/EventPump.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/ui/ColourScheme.h"
#include "shell/widgets/Twips.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>

namespace orvik {

namespace {
// Y1 of linExtended, linNormal, linCompact and linConfig, by display-size index.
constexpr int32_t MarkerLineY1[] = {6660, 3650, 1280, 7200};
constexpr int DisplaySizeCount = 4;
} // namespace

WindowSizeController::WindowSizeController(QWidget* window, WindowFrameState& state, Hooks hooks)
    : QObject(window), window_(window), state_(state), hooks_(std::move(hooks))
{
    for (int i = 0; i < DisplaySizeCount; ++i) {
        if (auto* option = qobject_cast<QAbstractButton*>(controlElement(window, "optDisplaySize", i)))
            connect(option, &QAbstractButton::clicked, this, [this, i] { optDisplaySize_Click(i); });
    }

    frPower_ = window->findChild<QWidget*>("frPower");
    if (frPower_) {
        frPower_->setMouseTracking(true);
        frPower_->installEventFilter(this);
    }
    window->installEventFilter(this);

    if (auto* pwm = window->findChild<QSlider*>("sldPwm"))
        connect(pwm, &QSlider::valueChanged, pwm, [pwm](int value) { pwm->setToolTip(QString::number(value)); });
}

int32_t WindowSizeController::markerLineY1(int index)
{
    return index >= 0 && index < DisplaySizeCount ? MarkerLineY1[index] : -1;
}

void WindowSizeController::optDisplaySize_Click(int index)
{
    HighlightOptionGroup(window_, "optDisplaySize", index);

    const int32_t y1 = markerLineY1(index);
    if (y1 >= 0) {
        // Cutting the client area at the line leaves the frame around it as it is.
        window_->resize(window_->width(), twipsToPixels(y1));
        if (index == 0 || index == 3) {
            if (hooks_.chkPerfStatsOn_Click)
                hooks_.chkPerfStatsOn_Click();
            if (hooks_.chkSpectrumAnalyser_Click)
                hooks_.chkSpectrumAnalyser_Click();
        } else if (hooks_.statisticsAndAnalyserOff) {
            hooks_.statisticsAndAnalyserOff();
        }
    }

    const int32_t outer = pixelsToTwips(window_->frameGeometry().height());
    state_.FormHeight = outer + (state_.TitleBarHidden ? state_.TitleBarHeight : 0);
}

void WindowSizeController::selectDisplaySize(int index)
{
    if (auto* option = qobject_cast<QAbstractButton*>(controlElement(window_, "optDisplaySize", index)))
        option->setChecked(true);
    optDisplaySize_Click(index);
}

int WindowSizeController::selectedDisplaySize() const
{
    for (int i = 0; i < DisplaySizeCount; ++i) {
        auto* option = qobject_cast<QAbstractButton*>(controlElement(window_, "optDisplaySize", i));
        if (option && option->isChecked())
            return i;
    }
    return -1;
}

void WindowSizeController::frPower_MouseDown(QPoint framePos)
{
    drag_ = true;
    pressX_ = pixelsToTwips(framePos.x());
    pressY_ = pixelsToTwips(framePos.y());
}

void WindowSizeController::frPower_MouseMove(QPoint framePos)
{
    if (hooks_.frPowerHover)
        hooks_.frPowerHover();
    if (!drag_)
        return;
    dragLeft_ = pixelsToTwips(window_->x()) - pressX_ + pixelsToTwips(framePos.x());
    dragTop_ = pixelsToTwips(window_->y()) - pressY_ + pixelsToTwips(framePos.y());
    window_->move(twipsToPixels(dragLeft_), twipsToPixels(dragTop_));
    pumpEvents();
}

void WindowSizeController::frPower_MouseUp()
{
    drag_ = false;
}

void WindowSizeController::Form_MouseUp()
{
    drag_ = false;
}

bool WindowSizeController::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == frPower_) {
        if (type == QEvent::MouseButtonPress)
            frPower_MouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (type == QEvent::MouseMove)
            frPower_MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (type == QEvent::MouseButtonRelease)
            frPower_MouseUp();
    } else if (watched == window_) {
        if (type == QEvent::MouseButtonPress)
            Form_MouseDown();
        else if (type == QEvent::MouseButtonRelease)
            Form_MouseUp();
    }
    return false;
}

} // namespace orvik
