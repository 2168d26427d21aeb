#pragma once

#include "shell/CtlArray.h"
#include "shell/ui/LabelAdjusterView.h"

#include <QObject>

#include <array>
#include <memory>

class QKeyEvent;
class QWidget;

namespace orvik {

class FocusHighlighter;

// The value labels of the adjusters and the window's key handler: pointing at a label makes
// its adjuster active, a mouse button on it resets it, and Up/A, Down/Z, Space, Left and
// Right step, reset and move through the adjusters. The keyboard focus goes to the focus
// sink Picture1 so that keys reach only this handler. Construct after buildMainWindowControls.
class AdjusterControls : public QObject {
public:
    AdjusterControls(QWidget* window, CtlArray& ctl, FocusHighlighter& focus);

    // The view of the value label of id, nullptr for an id without one.
    LabelAdjusterView* labelView(int id) const;

    // Key codes and shift bits as CtlArray takes them. Keys typed into a text-entry control
    // never get here.
    void Form_KeyDown(int16_t KeyCode, int16_t Shift);

    // The value labels' mouse handlers (lblNB_MouseMove, lblNB_MouseDown and the others),
    // by adjuster id: every label's are the same but for its id, and lblFilterLo's move
    // also gives the focus to Picture1.
    void labelMouseMove(int id);
    void labelMouseDown(int id, int16_t Button) { ctl_.LabelMouseDown(id, Button); }

    // True for a widget that takes typed text: keys pressed there are not adjuster keys.
    static bool isTextEntry(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Label {
        QObject* widget;
        int id;
    };

    void keyPress(const QKeyEvent& key);

    QWidget* window_;
    CtlArray& ctl_;
    FocusHighlighter& focus_;
    QWidget* Picture1_ = nullptr;
    std::array<std::unique_ptr<LabelAdjusterView>, CtlArray::Size> views_;
    QList<Label> labels_;
};

} // namespace orvik
