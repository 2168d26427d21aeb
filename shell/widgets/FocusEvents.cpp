#include "shell/widgets/FocusEvents.h"

#include <QApplication>
#include <QWidget>

namespace orvik {

bool focusLeftForAnotherControl(const QWidget* control)
{
    // Qt names the new focus widget before it sends the FocusOut.
    const QWidget* now = QApplication::focusWidget();
    return control && now && now != control && !control->isAncestorOf(now) && now->window() == control->window();
}

} // namespace orvik
