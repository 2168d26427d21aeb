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

    void lblScopeChn1Gain_MouseMove() { labelMouseMove(2); }
    void lblScopeChn1Shift_MouseMove() { labelMouseMove(3); }
    void lblScopeChn2Gain_MouseMove() { labelMouseMove(4); }
    void lblScopeChn2Shift_MouseMove() { labelMouseMove(5); }
    void lblScopeXWidth_MouseMove() { labelMouseMove(6); }
    void lblFilterHi_MouseMove() { labelMouseMove(7); }
    void lblFilterLo_MouseMove();
    void lblNB_MouseMove() { labelMouseMove(9); }
    void lblOutVol_MouseMove() { labelMouseMove(10); }
    void lblNotchC_MouseMove() { labelMouseMove(11); }
    void lblNotchW_MouseMove() { labelMouseMove(12); }
    void lblAGCAttack_MouseMove() { labelMouseMove(13); }
    void lblAGCDecay_MouseMove() { labelMouseMove(14); }
    void lblScopeXCentre_MouseMove() { labelMouseMove(15); }
    void lblIFHi_MouseMove() { labelMouseMove(17); }
    void lblIFLo_MouseMove() { labelMouseMove(18); }
    void lblSpectrumSmooth_MouseMove() { labelMouseMove(19); }
    void lblBFO_MouseMove() { labelMouseMove(20); }
    void lblY1Bright_MouseMove() { labelMouseMove(21); }
    void lblY2Bright_MouseMove() { labelMouseMove(22); }

    void lblScopeChn1Gain_MouseDown(int16_t Button) { ctl_.LabelMouseDown(2, Button); }
    void lblScopeChn1Shift_MouseDown(int16_t Button) { ctl_.LabelMouseDown(3, Button); }
    void lblScopeChn2Gain_MouseDown(int16_t Button) { ctl_.LabelMouseDown(4, Button); }
    void lblScopeChn2Shift_MouseDown(int16_t Button) { ctl_.LabelMouseDown(5, Button); }
    void lblScopeXWidth_MouseDown(int16_t Button) { ctl_.LabelMouseDown(6, Button); }
    void lblFilterHi_MouseDown(int16_t Button) { ctl_.LabelMouseDown(7, Button); }
    void lblFilterLo_MouseDown(int16_t Button) { ctl_.LabelMouseDown(8, Button); }
    void lblNB_MouseDown(int16_t Button) { ctl_.LabelMouseDown(9, Button); }
    void lblOutVol_MouseDown(int16_t Button) { ctl_.LabelMouseDown(10, Button); }
    void lblNotchC_MouseDown(int16_t Button) { ctl_.LabelMouseDown(11, Button); }
    void lblNotchW_MouseDown(int16_t Button) { ctl_.LabelMouseDown(12, Button); }
    void lblAGCAttack_MouseDown(int16_t Button) { ctl_.LabelMouseDown(13, Button); }
    void lblAGCDecay_MouseDown(int16_t Button) { ctl_.LabelMouseDown(14, Button); }
    void lblScopeXCentre_MouseDown(int16_t Button) { ctl_.LabelMouseDown(15, Button); }
    void lblIFHi_MouseDown(int16_t Button) { ctl_.LabelMouseDown(17, Button); }
    void lblIFLo_MouseDown(int16_t Button) { ctl_.LabelMouseDown(18, Button); }
    void lblSpectrumSmooth_MouseDown(int16_t Button) { ctl_.LabelMouseDown(19, Button); }
    void lblBFO_MouseDown(int16_t Button) { ctl_.LabelMouseDown(20, Button); }
    void lblY1Bright_MouseDown(int16_t Button) { ctl_.LabelMouseDown(21, Button); }
    void lblY2Bright_MouseDown(int16_t Button) { ctl_.LabelMouseDown(22, Button); }

    // True for a widget that takes typed text: keys pressed there are not adjuster keys.
    static bool isTextEntry(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using MoveHandler = void (AdjusterControls::*)();
    using DownHandler = void (AdjusterControls::*)(int16_t);
    struct LabelHandlers {
        QObject* label;
        MoveHandler move;
        DownHandler down;
    };

    void labelMouseMove(int id);
    void keyPress(const QKeyEvent& key);

    QWidget* window_;
    CtlArray& ctl_;
    FocusHighlighter& focus_;
    QWidget* Picture1_ = nullptr;
    std::array<std::unique_ptr<LabelAdjusterView>, CtlArray::Size> views_;
    QList<LabelHandlers> labels_;
};

} // namespace orvik
