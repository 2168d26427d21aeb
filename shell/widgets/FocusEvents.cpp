#include "shell/widgets/FocusEvents.h"

#include <QApplication>
#include <QWidget>

namespace orvik {

bool focusLeftForAnotherControl(const QWidget* control, Qt::FocusReason reason)
{
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
        return false;
    // Qt names the new focus widget before it sends the FocusOut; an open list takes the
    // focus into its own window.
    const QWidget* now = QApplication::focusWidget();
    return !(control && now && now->window() != control->window());
}

} // namespace orvik
