#include "shell/ui/AdjusterControls.h"

#include "shell/ui/FocusHighlighter.h"
#include "shell/widgets/PointerEvents.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

namespace orvik {

namespace {

// lblFilterLo's adjuster.
constexpr int FilterLoId = 8;

int16_t keyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Space:
        return CtlArray::KeySpace;
    case Qt::Key_Left:
        return CtlArray::KeyLeft;
    case Qt::Key_Up:
        return CtlArray::KeyUp;
    case Qt::Key_Right:
        return CtlArray::KeyRight;
    case Qt::Key_Down:
        return CtlArray::KeyDown;
    case Qt::Key_A:
        return CtlArray::KeyA;
    case Qt::Key_Z:
        return CtlArray::KeyZ;
    default:
        return 0;
    }
}

} // namespace

AdjusterControls::AdjusterControls(QWidget* window, CtlArray& ctl, FocusHighlighter& focus)
    : QObject(window), window_(window), ctl_(ctl), focus_(focus)
{
    // Every adjuster with a value label; the frequency display (1) and the scope area
    // (16) have none.
    for (int id = 0; id < CtlArray::Size; ++id) {
        const AdjusterDefinition* d = CtlArray::definition(id);
        auto* label = d && d->labelName ? window->findChild<QLabel*>(QLatin1String(d->labelName)) : nullptr;
        if (!label)
            continue;
        views_[static_cast<size_t>(id)] = std::make_unique<LabelAdjusterView>(label);
        label->setMouseTracking(true);
        labels_.append({label, id});
    }

    Picture1_ = window->findChild<QWidget*>(QStringLiteral("Picture1"));
    ctl_.focusSink = [this] {
        if (Picture1_)
            Picture1_->setFocus(Qt::OtherFocusReason);
    };

    // The window sees key presses before its controls: they arrive at its QWindow first.
    // The labels' own events pass the same filter.
    qApp->installEventFilter(this);
}

LabelAdjusterView* AdjusterControls::labelView(int id) const
{
    return id >= 0 && id < CtlArray::Size ? views_[static_cast<size_t>(id)].get() : nullptr;
}

void AdjusterControls::labelMouseMove(int id)
{
    focus_.DarkenControls();
    int16_t which = static_cast<int16_t>(id);
    ctl_.ActivateAdjuster(which);
    if (id == FilterLoId && Picture1_)
        Picture1_->setFocus(Qt::OtherFocusReason);
}

void AdjusterControls::Form_KeyDown(int16_t KeyCode, int16_t Shift) { ctl_.Form_KeyDown(KeyCode, Shift); }

bool AdjusterControls::isTextEntry(const QWidget* widget)
{
    if (!widget)
        return false;
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

void AdjusterControls::keyPress(const QKeyEvent& key)
{
    if (isTextEntry(QApplication::focusWidget()))
        return;
    if (const int16_t code = keyCode(key.key()))
        Form_KeyDown(code, shiftState(key.modifiers()));
}

bool AdjusterControls::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress) {
        QWindow* handle = window_->windowHandle();
        if (handle && watched == handle)
            keyPress(*static_cast<QKeyEvent*>(event));
        return false;
    }
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
        return false;
    for (const Label& label : labels_) {
        if (label.widget != watched)
            continue;
        if (type == QEvent::MouseMove)
            labelMouseMove(label.id);
        else
            labelMouseDown(label.id, buttonCode(static_cast<QMouseEvent*>(event)->button()));
        break;
    }
    return false;
}

} // namespace orvik
