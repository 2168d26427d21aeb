#pragma once

#include "shell/widgets/ControlFactory.h"

#include <QGroupBox>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QWidget;

namespace orvik {

class CtlArray;
struct SDRColourSchemes;

// Shows where the pointer is: the frame under it gets the frame focus colour and the others
// the normal one; the bare window (and picCalib) puts every value label back and clears the
// active adjuster. Construct after buildMainWindowControls; it watches the frames itself.
class FocusHighlighter : public QObject {
public:
    struct Hooks {
        // Hides frmPresetDesc, cboBandSelect, cboSubBandSelect and lstSubBandSelect and shows
        // lblSubBand. Empty leaves the band pickers as they are.
        std::function<void()> foldBandPickers;
    };

    FocusHighlighter(QWidget* window, CtlArray& ctl, const SDRColourSchemes& colours, Hooks hooks = {});
    // The band controls are made after the highlighting; they fill the hooks then.
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // Every value label in its normal colour (the BFO label in the tuning colour), the
    // pointer read-outs hidden, no active adjuster.
    void DarkenControls();
    // Every frame caption, and lblSubBand, in the normal frame colour.
    void UnFocusFrames();
    // UnFocusFrames, then this frame in the focus colour; re-entry is ignored.
    void FrameGotMouse(QWidget* frame);

    void Form_MouseMove();
    void picCalib_MouseMove();
    void frAFOut_MouseMove();
    void frAGC_MouseMove();
    void frDispMode_MouseMove();
    void frFreqCtl_MouseMove();
    void frIFFilter_MouseMove();
    void frDemod_MouseMove();
    void frFilters_MouseMove();
    void frNB_MouseMove();
    void frNotch_MouseMove();
    void frScopeChn1Ctl_MouseMove();
    void frScopeChn2Ctl_MouseMove();
    void frScopeMode_MouseMove();
    void frScopeSweep_MouseMove();
    void frScopeYMode_MouseMove();

    // The band pickers of the main window folded away by control name (no description window).
    static void foldBandPickersByName(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Handler = void (FocusHighlighter::*)();
    void highlightAlone(const char* frameName);
    QWidget* named(const char* name) const;

    QWidget* window_;
    ChildCache children_{window_}; // the pointer runs these handlers on every move
    CtlArray& ctl_;
    const SDRColourSchemes& colours_;
    Hooks hooks_;
    QWidget* picCalib_ = nullptr;
    QList<QPair<QObject*, Handler>> frames_;
    // The window's frames, gathered at the first pointer move (the panels are built by then).
    QList<QPointer<QGroupBox>> groupBoxes_;
    bool groupBoxesGathered_ = false;
    bool frameBusy_ = false;
};

} // namespace orvik
