#include "shell/ui/FocusHighlighter.h"

#include "shell/CtlArray.h"
#include "shell/ui/ColourScheme.h"
#include "shell/widgets/ControlFactory.h"

#include <QEvent>
#include <QGroupBox>
#include <QWidget>

namespace orvik {

FocusHighlighter::FocusHighlighter(QWidget* window, CtlArray& ctl, const SDRColourSchemes& colours, Hooks hooks)
    : QObject(window), window_(window), ctl_(ctl), colours_(colours), hooks_(std::move(hooks))
{
    const struct {
        const char* name;
        Handler handler;
    } frames[] = {
        {"frAFOut", &FocusHighlighter::frAFOut_MouseMove},
        {"frAGC", &FocusHighlighter::frAGC_MouseMove},
        {"frDispMode", &FocusHighlighter::frDispMode_MouseMove},
        {"frFreqCtl", &FocusHighlighter::frFreqCtl_MouseMove},
        {"frIFFilter", &FocusHighlighter::frIFFilter_MouseMove},
        {"frDemod", &FocusHighlighter::frDemod_MouseMove},
        {"frFilters", &FocusHighlighter::frFilters_MouseMove},
        {"frNB", &FocusHighlighter::frNB_MouseMove},
        {"frNotch", &FocusHighlighter::frNotch_MouseMove},
        {"frScopeChn1Ctl", &FocusHighlighter::frScopeChn1Ctl_MouseMove},
        {"frScopeChn2Ctl", &FocusHighlighter::frScopeChn2Ctl_MouseMove},
        {"frScopeMode", &FocusHighlighter::frScopeMode_MouseMove},
        {"frScopeSweep", &FocusHighlighter::frScopeSweep_MouseMove},
        {"frScopeYMode", &FocusHighlighter::frScopeYMode_MouseMove},
    };
    // Pointer moves without a button reach only widgets that track the mouse.
    for (const auto& f : frames) {
        if (QWidget* frame = named(f.name)) {
            frame->setMouseTracking(true);
            frame->installEventFilter(this);
            frames_.append({frame, f.handler});
        }
    }
    picCalib_ = named("picCalib");
    if (picCalib_) {
        picCalib_->setMouseTracking(true);
        picCalib_->installEventFilter(this);
    }
    window_->setMouseTracking(true);
    window_->installEventFilter(this);
}

QWidget* FocusHighlighter::named(const char* name) const { return children_.find<QWidget>(QLatin1String(name)); }

void FocusHighlighter::foldBandPickersByName(QWidget* window)
{
    for (const char* name : {"cboBandSelect", "cboSubBandSelect", "lstSubBandSelect"})
        if (QWidget* picker = window->findChild<QWidget*>(QLatin1String(name)))
            picker->hide();
    if (QWidget* subBand = window->findChild<QWidget*>(QStringLiteral("lblSubBand")))
        subBand->show();
}

void FocusHighlighter::DarkenControls()
{
    if (hooks_.foldBandPickers)
        hooks_.foldBandPickers();
    ctl_.DarkenAll();
    for (int i = 0; i < 2; ++i)
        if (QWidget* readOut = children_.find<QWidget>(controlName(QStringLiteral("lblSpectrumFreq"), i)))
            readOut->hide();
    ctl_.ActiveAdjuster = 0;
}

void FocusHighlighter::UnFocusFrames()
{
    if (!groupBoxesGathered_) {
        // The frames of the window itself, not those of a dialog it owns.
        for (QGroupBox* frame : window_->findChildren<QGroupBox*>())
            if (frame->window() == window_)
                groupBoxes_.append(frame);
        groupBoxesGathered_ = true;
    }
    for (const QPointer<QGroupBox>& frame : groupBoxes_)
        if (frame)
            setTextColour(frame, colours_.SDRFrameNormalColour);
    if (QWidget* subBand = named("lblSubBand"))
        setTextColour(subBand, colours_.SDRFrameNormalColour);
}

void FocusHighlighter::FrameGotMouse(QWidget* frame)
{
    // Setting a colour can raise further pointer events.
    if (frameBusy_ || !frame)
        return;
    frameBusy_ = true;
    UnFocusFrames();
    setTextColour(frame, colours_.SDRFrameFocusColour);
    frameBusy_ = false;
}

void FocusHighlighter::highlightAlone(const char* frameName)
{
    UnFocusFrames();
    if (QWidget* frame = named(frameName))
        setTextColour(frame, colours_.SDRFrameFocusColour);
}

void FocusHighlighter::Form_MouseMove()
{
    DarkenControls();
    ctl_.ActiveAdjuster = 0;
}

void FocusHighlighter::picCalib_MouseMove() { DarkenControls(); }

void FocusHighlighter::frAFOut_MouseMove()
{
    highlightAlone("frAFOut");
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(10);
}

void FocusHighlighter::frAGC_MouseMove()
{
    highlightAlone("frAGC");
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(13);
    ctl_.DeactivateAdjuster(14);
}

void FocusHighlighter::frDispMode_MouseMove()
{
    highlightAlone("frDispMode");
    ctl_.DeactivateAdjuster();
}

void FocusHighlighter::frFreqCtl_MouseMove() { UnFocusFrames(); }

void FocusHighlighter::frIFFilter_MouseMove()
{
    highlightAlone("frIFFilter");
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(17);
    ctl_.DeactivateAdjuster(18);
}

void FocusHighlighter::frDemod_MouseMove()
{
    highlightAlone("frDemod");
    // The active one first: deactivating 7 clears ActiveAdjuster, which would leave another lit label behind.
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(7);
    ctl_.DeactivateAdjuster(8);
}

void FocusHighlighter::frFilters_MouseMove()
{
    highlightAlone("frFilters");
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(7);
    ctl_.DeactivateAdjuster(8);
}

void FocusHighlighter::frNB_MouseMove()
{
    FrameGotMouse(named("frNB"));
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(9);
}

void FocusHighlighter::frNotch_MouseMove()
{
    FrameGotMouse(named("frNotch"));
    ctl_.DeactivateAdjuster();
    ctl_.DeactivateAdjuster(11);
    ctl_.DeactivateAdjuster(12);
}

void FocusHighlighter::frScopeChn1Ctl_MouseMove() { FrameGotMouse(named("frScopeChn1Ctl")); }
void FocusHighlighter::frScopeChn2Ctl_MouseMove() { FrameGotMouse(named("frScopeChn2Ctl")); }
void FocusHighlighter::frScopeMode_MouseMove() { FrameGotMouse(named("frScopeMode")); }
void FocusHighlighter::frScopeSweep_MouseMove() { FrameGotMouse(named("frScopeSweep")); }
void FocusHighlighter::frScopeYMode_MouseMove() { FrameGotMouse(named("frScopeYMode")); }

bool FocusHighlighter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove)
        return false;
    if (watched == window_) {
        Form_MouseMove();
    } else if (watched == picCalib_) {
        picCalib_MouseMove();
    } else {
        for (const auto& [frame, handler] : frames_)
            if (frame == watched) {
                (this->*handler)();
                break;
            }
    }
    return false;
}

} // namespace orvik
