#include "shell/ui/modWheelMouse.h"

#include "shell/CtlArray.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <cstdlib>

namespace orvik {

namespace {
constexpr int NotchDelta = 120;
} // namespace

modWheelMouse::modWheelMouse(CtlArray& ctl, QObject* parent) : QObject(parent), ctl_(ctl), hook_(ctl) {}

modWheelMouse::~modWheelMouse() { UnhookWheel(); }

bool modWheelMouse::init(QWidget* frame, QWidget* display, QWidget*, QWidget*)
{
    if (frame && display)
        FreqDisplayRect = QRect(frame->pos() + display->pos(), display->size());
    return true;
}

void modWheelMouse::HookWheel()
{
    if (installed_ || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    installed_ = true;
    HookHandle = 1;
}

void modWheelMouse::UnhookWheel()
{
    if (!installed_)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    installed_ = false;
}

bool modWheelMouse::adjusterTakesWheel() const
{
    const int16_t id = ctl_.ActiveAdjuster;
    return id > 0 && id < CtlArray::Size && !ctl_[id].Disabled;
}

bool modWheelMouse::eventFilter(QObject* watched, QEvent* event)
{
    // Each physical event reaches its window first, then the widgets: act on the window only.
    if (!watched->isWindowType())
        return false;
    WheelMessage msg;
    switch (event->type()) {
    case QEvent::KeyPress:
        msg.message = KeyDownMessage;
        msg.wParam = static_cast<QKeyEvent*>(event)->key();
        hook_.WheelHookProc(msg);
        return false;
    case QEvent::MouseMove: {
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        msg.message = MouseMoveMessage;
        msg.x = static_cast<int32_t>(at.x());
        msg.y = static_cast<int32_t>(at.y());
        hook_.WheelHookProc(msg);
        return false;
    }
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        // Horizontal turns carry no vertical delta; as wParam 0 they would read as forward.
        if (delta == 0)
            return false;
        const bool consume = adjusterTakesWheel();
        if (partialDelta_ != 0 && (partialDelta_ > 0) != (delta > 0))
            partialDelta_ = 0;
        partialDelta_ += delta;
        if (std::abs(partialDelta_) < NotchDelta)
            return consume;
        const int notch = partialDelta_;
        partialDelta_ = 0;
        const Qt::KeyboardModifiers mods = wheel->modifiers();
        msg.message = MouseWheelMessage;
        msg.wParam = WheelWParam(notch, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
        msg.time = static_cast<int32_t>(wheel->timestamp());
        msg.x = static_cast<int32_t>(wheel->globalPosition().x());
        msg.y = static_cast<int32_t>(wheel->globalPosition().y());
        hook_.WheelHookProc(msg);
        return consume;
    }
    default:
        return false;
    }
}

} // namespace orvik
