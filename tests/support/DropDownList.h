#pragma once

// A drop-down list opened and chosen in as a user does it: a press on the combo box through
// its window, a drag onto an entry of the list's own window, and the release there.

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace orvik::testing {

// The open list of a combo box: a window of its own.
inline QWidget* listWindow(QComboBox* combo) { return combo->view()->window(); }

// Presses the combo box through its window and keeps the button down; the list opens.
inline void pressToOpen(QComboBox* combo)
{
    QWidget* top = combo->window();
    QTest::mousePress(top->windowHandle(), Qt::LeftButton, {}, combo->mapTo(top, combo->rect().center()));
}

// With the button still down, drags onto entry `row` of the open list and lets go there.
inline void dragOntoAndRelease(QComboBox* combo, int row)
{
    QAbstractItemView* view = combo->view();
    QWidget* list = listWindow(combo);
    const QPoint at = view->viewport()->mapTo(list, view->visualRect(combo->model()->index(row, 0)).center());
    QTest::mouseMove(list->windowHandle(), at);
    QTest::mouseRelease(list->windowHandle(), Qt::LeftButton, {}, at);
}

} // namespace orvik::testing
