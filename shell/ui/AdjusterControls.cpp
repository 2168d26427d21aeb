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

struct LabelEntry {
    int id;
    void (AdjusterControls::*move)();
    void (AdjusterControls::*down)(int16_t);
};

const LabelEntry LabelTable[] = {
    {2, &AdjusterControls::lblScopeChn1Gain_MouseMove, &AdjusterControls::lblScopeChn1Gain_MouseDown},
    {3, &AdjusterControls::lblScopeChn1Shift_MouseMove, &AdjusterControls::lblScopeChn1Shift_MouseDown},
    {4, &AdjusterControls::lblScopeChn2Gain_MouseMove, &AdjusterControls::lblScopeChn2Gain_MouseDown},
    {5, &AdjusterControls::lblScopeChn2Shift_MouseMove, &AdjusterControls::lblScopeChn2Shift_MouseDown},
    {6, &AdjusterControls::lblScopeXWidth_MouseMove, &AdjusterControls::lblScopeXWidth_MouseDown},
    {7, &AdjusterControls::lblFilterHi_MouseMove, &AdjusterControls::lblFilterHi_MouseDown},
    {8, &AdjusterControls::lblFilterLo_MouseMove, &AdjusterControls::lblFilterLo_MouseDown},
    {9, &AdjusterControls::lblNB_MouseMove, &AdjusterControls::lblNB_MouseDown},
    {10, &AdjusterControls::lblOutVol_MouseMove, &AdjusterControls::lblOutVol_MouseDown},
    {11, &AdjusterControls::lblNotchC_MouseMove, &AdjusterControls::lblNotchC_MouseDown},
    {12, &AdjusterControls::lblNotchW_MouseMove, &AdjusterControls::lblNotchW_MouseDown},
    {13, &AdjusterControls::lblAGCAttack_MouseMove, &AdjusterControls::lblAGCAttack_MouseDown},
    {14, &AdjusterControls::lblAGCDecay_MouseMove, &AdjusterControls::lblAGCDecay_MouseDown},
    {15, &AdjusterControls::lblScopeXCentre_MouseMove, &AdjusterControls::lblScopeXCentre_MouseDown},
    {17, &AdjusterControls::lblIFHi_MouseMove, &AdjusterControls::lblIFHi_MouseDown},
    {18, &AdjusterControls::lblIFLo_MouseMove, &AdjusterControls::lblIFLo_MouseDown},
    {19, &AdjusterControls::lblSpectrumSmooth_MouseMove, &AdjusterControls::lblSpectrumSmooth_MouseDown},
    {20, &AdjusterControls::lblBFO_MouseMove, &AdjusterControls::lblBFO_MouseDown},
    {21, &AdjusterControls::lblY1Bright_MouseMove, &AdjusterControls::lblY1Bright_MouseDown},
    {22, &AdjusterControls::lblY2Bright_MouseMove, &AdjusterControls::lblY2Bright_MouseDown},
};

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
    for (const LabelEntry& entry : LabelTable) {
        const AdjusterDefinition* d = CtlArray::definition(entry.id);
        auto* label = d && d->labelName ? window->findChild<QLabel*>(QLatin1String(d->labelName)) : nullptr;
        if (!label)
            continue;
        views_[static_cast<size_t>(entry.id)] = std::make_unique<LabelAdjusterView>(label);
        label->setMouseTracking(true);
        labels_.append({label, entry.move, entry.down});
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
}

void AdjusterControls::lblFilterLo_MouseMove()
{
    labelMouseMove(8);
    if (Picture1_)
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
    for (const LabelHandlers& h : labels_) {
        if (h.label != watched)
            continue;
        if (type == QEvent::MouseMove)
            (this->*h.move)();
        else
            (this->*h.down)(buttonCode(static_cast<QMouseEvent*>(event)->button()));
        break;
    }
    return false;
}

} // namespace orvik
