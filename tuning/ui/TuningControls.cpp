#include "tuning/ui/TuningControls.h"

#include "common/Format.h"
#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"
#include "shell/widgets/Dial.h"
#include "shell/widgets/FocusEvents.h"
#include "tuning/SynthDriver.h"
#include "tuning/SynthPortInterface.h"
#include "tuning/TuningArithmetic.h"
#include "tuning/clsVFO.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace orvik {

namespace {

constexpr uint32_t DefaultFocusColour = 0x00FFFF;
constexpr uint32_t DefaultNormalColour = 0x00BFBF;
constexpr int MenuItemCount = 5;
const char* const MenuItems[MenuItemCount] = {"Cancel", "-", "Set Tuning Rate", "Lock Tune Rate", "Unlock Tune rate"};

// The key codes the handlers were written for (letters are their ASCII codes).
int designKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    default:
        return qtKey < 256 ? qtKey : 0;
    }
}

} // namespace

TuningControls::TuningControls(QWidget* window, TuningState& state, Hooks hooks)
    : QObject(window), window_(window), state_(state), hooks_(std::move(hooks))
{
    frFreqCtl_ = window->findChild<QWidget*>(QStringLiteral("frFreqCtl"));
    picFreqDisp_ = window->findChild<QWidget*>(QStringLiteral("picFreqDisp"));
    img7SegArea_ = window->findChild<QWidget*>(QStringLiteral("img7SegArea"));
    shpTuneStep_ = window->findChild<QWidget*>(QStringLiteral("shpTuneStep"));
    lblTuningRate_ = window->findChild<QLabel*>(QStringLiteral("lblTuningRate"));
    lblTuneDialRate_ = window->findChild<QLabel*>(QStringLiteral("lblTuneDialRate"));
    lblStatsVal3_ = qobject_cast<QLabel*>(controlElement(window, QStringLiteral("lblStatsVal"), 3));
    chkTuneLo_ = window->findChild<QWidget*>(QStringLiteral("chkTuneLo"));
    cboTuningSteps_ = window->findChild<QComboBox*>(QStringLiteral("cboTuningSteps"));
    dialtuner_ = window->findChild<Dial*>(QStringLiteral("dialtuner"));

    for (QWidget* w : {picFreqDisp_, img7SegArea_}) {
        if (w) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
        }
    }
    for (int i = 0; i < DisplayDigitCount; ++i) {
        lbl7Seg_[static_cast<size_t>(i)] = qobject_cast<QLabel*>(controlElement(window, QStringLiteral("lbl7Seg"), i));
        if (QLabel* digit = lbl7Seg_[static_cast<size_t>(i)]) {
            digit->setMouseTracking(true);
            digit->installEventFilter(this);
        }
    }
    for (int i = 0; i < 3; ++i) {
        lblScale_[static_cast<size_t>(i)] = controlElement(window, QStringLiteral("lblScale"), i);
        if (QWidget* scale = lblScale_[static_cast<size_t>(i)])
            scale->installEventFilter(this);
    }
    for (QWidget* w : {static_cast<QWidget*>(lblTuningRate_), static_cast<QWidget*>(lblTuneDialRate_),
                       static_cast<QWidget*>(cboTuningSteps_)})
        if (w)
            w->installEventFilter(this);

    mnuVFOControl_ = new QMenu(QStringLiteral("VFO Control"), window);
    mnuVFOControl_->setObjectName(controlName(QStringLiteral("mnuVFOControl"), 0));
    for (int i = 0; i < MenuItemCount; ++i) {
        if (i == 1) {
            mnuVFOControl_->addSeparator();
            continue;
        }
        QAction* item = mnuVFOControl_->addAction(QLatin1String(MenuItems[i]));
        item->setObjectName(controlName(QStringLiteral("mnuVFOControlSub"), i));
        connect(item, &QAction::triggered, this, [this, i] { mnuVFOControlSub_Click(i); });
    }
    // Nothing opens this menu; its one item selects a step without unlocking a locked one.
    auto* vfoStep = new QMenu(QStringLiteral("&VFOStep"), window);
    vfoStep->setObjectName(QStringLiteral("mnuVFOStep"));
    QAction* nineKHz = vfoStep->addAction(QStringLiteral("9KHz"));
    nineKHz->setObjectName(controlName(QStringLiteral("mnuVFOStepSub"), 0));
    connect(nineKHz, &QAction::triggered, this, [this] { mnuVFOStepSub_Click(0); });

    if (auto* box = qobject_cast<QAbstractButton*>(chkTuneLo_))
        connect(box, &QAbstractButton::clicked, this, [this] { chkTuneLo_Click(); });
    if (dialtuner_)
        connect(dialtuner_, &Dial::Changing, this, [this] { DialTuner_Changing(); });
    if (cboTuningSteps_)
        connect(cboTuningSteps_, &QComboBox::activated, this, [this](int index) {
            cboTuningSteps_Click(index);
            // With tracing on, the log shows the step the operator's choice left on the rate label.
            if (lblTuningRate_)
                AddLog(QStringLiteral("frmMain:frmMain:cboTuningSteps_Click:lblTuningRate=") + lblTuningRate_->text());
        });

    tmrTune_ = addTimer(window, QStringLiteral("tmrTune"));
    tmrVFOUpdate_ = addTimer(window, QStringLiteral("tmrVFOUpdate"));
    tmrShaft_ = addTimer(window, QStringLiteral("tmrShaft"));
    connect(tmrTune_, &QTimer::timeout, this, [this] { tmrTune_Timer(); });
    connect(tmrVFOUpdate_, &QTimer::timeout, this, [this] { tmrVFOUpdate_Timer(); });
    connect(tmrShaft_, &QTimer::timeout, this, [this] { tmrShaft_Timer(); });

    encoder_.InitTuningSpeedHistory();
}

void TuningControls::setCommControl(ModemLineWatcher* MSComm1)
{
    if (MSComm1)
        connect(MSComm1, &ModemLineWatcher::commEventRaised, this, [this](int event) { MSComm1_OnComm(event); });
}

QLabel* TuningControls::digitLabel(int index) const
{
    return index >= 0 && index < DisplayDigitCount ? lbl7Seg_[static_cast<size_t>(index)] : nullptr;
}

uint32_t TuningControls::focusColour() const
{
    return hooks_.focusColour ? hooks_.focusColour() : DefaultFocusColour;
}

uint32_t TuningControls::normalColour() const
{
    return hooks_.normalColour ? hooks_.normalColour() : DefaultNormalColour;
}

void TuningControls::setActiveAdjuster(int16_t id)
{
    if (hooks_.setActiveAdjuster)
        hooks_.setActiveAdjuster(id);
}

void TuningControls::colourDigit(int digit, uint32_t colour)
{
    if (QLabel* label = digitLabel(digit))
        setTextColour(label, colour);
}

void TuningControls::placeMarker(int digit)
{
    QLabel* label = digitLabel(digit);
    if (!label || !shpTuneStep_)
        return;
    const TwipsRect d = twipsGeometry(label);
    placeTwips(shpTuneStep_, {d.left - 20, d.top + 150, d.width + 40, d.height - 150});
    if (auto* shape = qobject_cast<ShapeWidget*>(shpTuneStep_))
        shape->setBorderColour(focusColour());
}

// ---- display and digit selection

void TuningControls::Display7Seg(const QString& Text)
{
    if (Text == LastDisplayText_)
        return;
    LastDisplayText_ = Text;
    for (int i = 0; i < DisplayDigitCount; ++i)
        if (QLabel* digit = digitLabel(i))
            digit->setText(Text.mid(i, 1));
    if (lblStatsVal3_ && vfo_)
        lblStatsVal3_->setText(QString::fromStdString(Format(vfo_->OscOut() / 10.0, "#0 000 000 Hz")));
}

void TuningControls::SelectTuningDigit(int Digit, double Multiplier)
{
    if (HighlightedDigit_ < 1)
        HighlightedDigit_ = 0;
    colourDigit(HighlightedDigit_, normalColour());
    colourDigit(Digit, focusColour());
    if (vfo_) {
        vfo_->setTuneStep(DigitWeight(Digit) * Multiplier);
        const QString caption = TuningRateCaption(Digit, vfo_->TuneStep());
        if (!caption.isEmpty() && lblTuningRate_)
            lblTuningRate_->setText(caption);
    }
    HighlightedDigit_ = Digit;
    placeMarker(Digit);
}

void TuningControls::lbl7Seg_MouseMove(int Index)
{
    setActiveAdjuster(1);
    if (Index == HoverDigit_)
        return;
    if ((vfo_ && vfo_->TuneStepLock()) || state_.TuningRateLocked)
        return;
    state_.DigitHover = 1;
    colourDigit(HoverDigit_, normalColour());
    state_.TuneRate = static_cast<float>(DigitWeight(Index));
    state_.SelectedDigit = Index;
    SelectTuningDigit(Index, 1.0);
    HoverDigit_ = Index;
    colourDigit(Index, focusColour());
    placeMarker(Index);
}

void TuningControls::lbl7Seg_Click(int Index)
{
    menuTag_ = Index;
    mnuVFOControlSub_Click(3);
}

void TuningControls::lbl7Seg_DblClick(int Index)
{
    menuTag_ = Index;
    mnuVFOControlSub_Click(4);
}

void TuningControls::lbl7Seg_MouseDown(int Index, Qt::MouseButton Button)
{
    if (Button != Qt::RightButton)
        return;
    menuTag_ = Index;
    mnuVFOControl_->popup(QCursor::pos());
}

void TuningControls::mnuVFOControlSub_Click(int Index)
{
    const int d = menuTag_;
    switch (Index) {
    case 2: {
        QLabel* digit = digitLabel(d);
        if (!digit || !picFreqDisp_ || !cboTuningSteps_)
            return;
        const TwipsRect pic = twipsGeometry(picFreqDisp_);
        const TwipsRect lbl = twipsGeometry(digit);
        const TwipsRect cbo = twipsGeometry(cboTuningSteps_);
        showStepList(pic.left + lbl.left - cbo.width / 2, pic.top + lbl.top + lbl.height);
        break;
    }
    case 3:
        state_.TuningRateLocked = true;
        if (vfo_)
            vfo_->setTuneStepLock(true);
        SelectTuningDigit(d, 1.0);
        break;
    case 4:
        state_.TuningRateLocked = false;
        if (vfo_)
            vfo_->setTuneStepLock(false);
        break;
    default:
        break;
    }
}

void TuningControls::showStepList(int leftTwips, int topTwips)
{
    if (!cboTuningSteps_)
        return;
    const TwipsRect cbo = twipsGeometry(cboTuningSteps_);
    placeTwips(cboTuningSteps_, {leftTwips, topTwips, cbo.width, cbo.height});
    setBackColour(cboTuningSteps_, designColour(QApplication::palette().color(QPalette::Button)));
    setTextColour(cboTuningSteps_, 0);
    cboTuningSteps_->setVisible(true);
    cboTuningSteps_->raise();
    cboTuningSteps_->setFocus(Qt::PopupFocusReason);
}

void TuningControls::lblTuningRate_Click()
{
    if (!lblTuningRate_)
        return;
    state_.TuningRateLocked = !state_.TuningRateLocked;
    if (state_.TuningRateLocked) {
        setTextColour(lblTuningRate_, normalColour());
        lblTuningRate_->setToolTip(QStringLiteral("Click to Unlock Tuning Rate"));
    } else {
        setTextColour(lblTuningRate_, focusColour());
        lblTuningRate_->setToolTip(QStringLiteral("Click to Lock Tuning Rate"));
    }
}

void TuningControls::lblTuningRate_MouseDown(Qt::MouseButton Button)
{
    if (Button != Qt::RightButton || !lblTuningRate_ || !cboTuningSteps_)
        return;
    const TwipsRect lbl = twipsGeometry(lblTuningRate_);
    const TwipsRect cbo = twipsGeometry(cboTuningSteps_);
    showStepList(lbl.left + lbl.width - cbo.width, lbl.top);
}

void TuningControls::lblTuneDialRate_MouseDown(Qt::MouseButton Button)
{
    if (Button != Qt::RightButton || !dialtuner_ || !cboTuningSteps_ || !frFreqCtl_)
        return;
    // The dial sits in a picture box; the list is placed in the frame's coordinates.
    const QPoint dialInFrame = dialtuner_->mapTo(frFreqCtl_, QPoint(0, 0));
    const int dialLeft = pixelsToTwips(dialInFrame.x());
    const int dialTop = pixelsToTwips(dialInFrame.y());
    const TwipsRect dial = twipsGeometry(dialtuner_);
    const TwipsRect cbo = twipsGeometry(cboTuningSteps_);
    showStepList(dialLeft, dialTop + dial.height / 2 - cbo.height / 2);
}

void TuningControls::lblScale_Click(int Index)
{
    if (!vfo_)
        return;
    const QString text = ClearScaleGroup(vfo_->FormattedTunedFreq(), Index);
    vfo_->setTunedFrequency(RoundEven(NumericValue(text.toStdString())));
    Display7Seg(vfo_->FormattedTunedFreq());
}

// ---- keys, pointer and timers

void TuningControls::picFreqDisp_KeyDown(int KeyCode)
{
    if (activeAdjuster() != 1)
        return;
    if (!KeyDigitInitialised_) {
        KeyDigitInitialised_ = true;
        state_.SelectedDigit = FirstKeyDigit(state_.TuneRate);
    }
    switch (KeyCode) {
    case 65:
    case 38:
        state_.TuneUpPending = true;
        state_.TuneDownPending = false;
        break;
    case 90:
    case 40:
        state_.TuneDownPending = true;
        state_.TuneUpPending = false;
        break;
    case 37:
        state_.SelectedDigit = state_.SelectedDigit - 1 < 0 ? DisplayDigitCount - 1 : state_.SelectedDigit - 1;
        SelectTuningDigit(state_.SelectedDigit, 1.0);
        break;
    case 39:
        state_.SelectedDigit = state_.SelectedDigit + 1 > DisplayDigitCount - 1 ? 0 : state_.SelectedDigit + 1;
        SelectTuningDigit(state_.SelectedDigit, 1.0);
        break;
    default:
        break;
    }
    if (vfo_) {
        state_.TuneRate = static_cast<float>(vfo_->TuneStep());
        vfo_->setTuneStepLSD(vfo_->TuneStep());
    }
    tmrTune_->setInterval(20);
}

void TuningControls::picFreqDisp_KeyUp()
{
    state_.TuneUpPending = false;
    state_.TuneDownPending = false;
    state_.TuneRate = 0;
}

void TuningControls::picFreqDisp_MouseMove()
{
    if (hooks_.UnFocusFrames)
        hooks_.UnFocusFrames();
    setActiveAdjuster(1);
    if (picFreqDisp_)
        picFreqDisp_->setFocus(Qt::MouseFocusReason);
}

void TuningControls::picFreqDisp_MouseUp(Qt::MouseButton Button)
{
    if (Button == Qt::LeftButton)
        state_.TuneUpPending = false;
    else if (Button == Qt::RightButton)
        state_.TuneDownPending = false;
}

void TuningControls::setDialValue(int value)
{
    if (dialtuner_)
        dialtuner_->setValue(WrapDialValue(value, dialtuner_->minimum(), dialtuner_->maximum()));
}

void TuningControls::tmrTune_Timer()
{
    if (!vfo_)
        return;
    // The pointer turns against the tuning direction; these steps tune by themselves,
    // so the dial's last position follows and the next turn is measured from here.
    if (state_.TuneUpPending) {
        vfo_->Inc_Freq(state_.TuneRate);
        if (dialtuner_) {
            setDialValue(dialtuner_->value() - 1);
            DialLastValue_ = dialtuner_->value();
        }
        state_.TuneUpPending = false;
    }
    if (state_.TuneDownPending) {
        vfo_->Dec_Freq(state_.TuneRate);
        if (dialtuner_) {
            setDialValue(dialtuner_->value() + 1);
            DialLastValue_ = dialtuner_->value();
        }
        state_.TuneDownPending = false;
    }
    showDisplayedFrequency();
    if (hooks_.lblScopeX_Wheel)
        hooks_.lblScopeX_Wheel();
    if (lblTuneDialRate_ && lblTuningRate_)
        lblTuneDialRate_->setText(lblTuningRate_->text());
}

void TuningControls::showDisplayedFrequency()
{
    const int64_t bfo = hooks_.BFO ? hooks_.BFO() : 0;
    const int64_t shown = static_cast<int64_t>(vfo_->TunedFrequency()) + bfo * 10;
    DisplayFrequency_ = static_cast<int32_t>(std::clamp<int64_t>(shown, INT32_MIN, INT32_MAX));
    Display7Seg(DisplayText(shown));
}

void TuningControls::tmrVFOUpdate_Timer()
{
    if (!vfo_ || !vfo_->AutoUpdate())
        return;
    if (SynthDriver* chip = vfo_->OscType(); chip && !chip->CMDOutActive())
        chip->Refresh();
    const double r = hooks_.random ? hooks_.random() : QRandomGenerator::global()->generateDouble();
    tmrVFOUpdate_->setInterval(VFOUpdateInterval(r));
}

// The timer runs only while the knob turns: a tick that finds no request stops it, and
// the decoder's next request starts it again.
void TuningControls::tmrShaft_Timer()
{
    if (!encoder_.StepPending()) {
        if (tmrShaft_)
            tmrShaft_->stop();
        return;
    }
    if (vfo_)
        encoder_.tmrShaft_Timer(*vfo_);
}

void TuningControls::enableShaftTimer(int intervalMs)
{
    if (!tmrShaft_)
        return;
    tmrShaft_->setInterval(intervalMs);
    shaftTimerEnabled_ = true;
    armShaftTimer();
}

void TuningControls::armShaftTimer()
{
    if (shaftTimerEnabled_ && tmrShaft_ && !tmrShaft_->isActive() && encoder_.StepPending())
        tmrShaft_->start();
}

void TuningControls::DialTuner_Changing()
{
    if (DialBusy_ || !dialtuner_)
        return;
    DialBusy_ = true;
    DialStep_ = state_.TuningRateLocked && vfo_ ? vfo_->TuneStep() : 0.0001;
    const int value = dialtuner_->value();
    const int delta = DialDelta(value, DialLastValue_, dialtuner_->minimum(), dialtuner_->maximum());
    DialLastValue_ = value;
    if (vfo_) {
        if (delta < 0)
            vfo_->Dec_Freq(DialStep_);
        else if (delta > 0)
            vfo_->Inc_Freq(DialStep_);
    }
    DialBusy_ = false;
}

void TuningControls::chkTuneLo_Click()
{
    auto* box = qobject_cast<QAbstractButton*>(chkTuneLo_);
    const bool lowSide = box && box->isChecked();
    if (box)
        setTextColour(box, lowSide ? 0xC0 : 0xFF);
    if (hooks_.setHiSideLO)
        hooks_.setHiSideLO(!lowSide);
    else if (vfo_)
        vfo_->setHiSideLO(!lowSide);
    if (hooks_.setDSPSettingsChanged)
        hooks_.setDSPSettingsChanged();
    if (vfo_) {
        vfo_->setTunedFrequency(vfo_->TunedFrequency());
        Display7Seg(vfo_->FormattedTunedFreq());
    }
    if (hooks_.lblNotchC_Wheel)
        hooks_.lblNotchC_Wheel();
}

void TuningControls::MSComm1_OnComm(int CommEvent)
{
    try {
        if (CommEvent == ModemLineWatcher::CommEventCts || CommEvent == ModemLineWatcher::CommEventDsr)
            DecodeShaftEncoder();
    } catch (const std::exception&) {
        messages().show(QStringLiteral("frmMain:frmMain:MSComm1_OnComm:0"), QStringLiteral("Error"),
                        MessageButtons::Ok, MessageIcon::None);
    }
}

void TuningControls::picFreqDisp_Wheel(int32_t wParam)
{
    if (!vfo_)
        return;
    const bool down = wParam < 0;
    if (down)
        vfo_->Dec_Freq(0);
    else
        vfo_->Inc_Freq(0);
    if (dialtuner_) {
        setDialValue(dialtuner_->value() + (down ? -1 : 1));
        DialLastValue_ = dialtuner_->value();
    }
}

void TuningControls::picScope_Wheel(int32_t wParam)
{
    if (vfo_ && vfo_->TuneStepLock())
        return;
    if (wParam > 0) {
        state_.TuneUpPending = true;
        state_.TuneDownPending = false;
    } else if (wParam < 0) {
        state_.TuneDownPending = true;
        state_.TuneUpPending = false;
    }
}

// ---- the knob

void TuningControls::DecodeShaftEncoder()
{
    if (!state_.EnableShaftEncoder)
        return;
    const int32_t bits = hooks_.GetEncoderBits ? hooks_.GetEncoderBits() : 0;
    const ShaftEncoder::Step step = encoder_.Decode(bits);
    if (step == ShaftEncoder::Step::None)
        return;
    const bool up = step == ShaftEncoder::Step::Up;
    if (state_.ShaftAutoRate) {
        encoder_.EncoderUpCount = up ? 1 : 0;
        encoder_.EncoderDownCount = up ? 0 : 1;
        AcceleratedTuneStep();
        armShaftTimer();
    } else if (dialtuner_) {
        // The handler measures this move against the last position it saw.
        setDialValue(dialtuner_->value() + (up ? 1 : -1));
        DialTuner_Changing();
    }
}

void TuningControls::AcceleratedTuneStep()
{
    const double interval = hooks_.encoderInterval ? hooks_.encoderInterval() : 0.0;
    if (vfo_)
        encoder_.AcceleratedTuneStep(interval, *vfo_);
}

// ---- tuning steps

void TuningControls::fillTuningStepList()
{
    if (!cboTuningSteps_)
        return;
    cboTuningSteps_->clear();
    cboTuningSteps_->hide();
    cboTuningSteps_->addItems(TuningStepListTexts(TuningSteps_));
    // Showing the VFO's step is not a choice: the sub-band is not marked and the step
    // stays unlocked.
    cboTuningSteps_->setCurrentIndex(vfo_ ? TuningStepIndex(TuningSteps_, vfo_->TuneStep()) : -1);
}

void TuningControls::SelectTuningStep(int Index, bool Unlock)
{
    if (!vfo_)
        return;
    if (Unlock)
        vfo_->setTuneStepLock(false);
    else if (vfo_->TuneStepLock())
        return;
    const int last = static_cast<int>(TuningSteps_.size()) - 1;
    TuningStepIndex_ = Index > last ? 0 : (Index < 0 ? last : Index);
    const int32_t step = TuningSteps_[static_cast<size_t>(TuningStepIndex_)];
    vfo_->setTuneStepLSD(step);
    const StepDigit sd = TuningStepDigit(TuningStepIndex_, step);
    SelectTuningDigit(sd.digit, sd.multiplier);
    vfo_->setTuneStepLock(true);
}

void TuningControls::cboTuningSteps_Click(int ListIndex)
{
    if (ListIndex <= -1 || ListIndex >= static_cast<int>(TuningSteps_.size()))
        return;
    if (hooks_.storeSubBandStep)
        hooks_.storeSubBandStep(TuningSteps_[static_cast<size_t>(ListIndex)]);
    SelectTuningStep(ListIndex, true);
}

void TuningControls::cboTuningSteps_LostFocus()
{
    if (cboTuningSteps_)
        cboTuningSteps_->hide();
}

// ---- events

bool TuningControls::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    const auto button = [event] { return static_cast<QMouseEvent*>(event)->button(); };

    for (int i = 0; i < DisplayDigitCount; ++i) {
        if (widget != digitLabel(i))
            continue;
        switch (type) {
        case QEvent::MouseMove:
            lbl7Seg_MouseMove(i);
            return true;
        case QEvent::MouseButtonPress:
            lbl7Seg_MouseDown(i, button());
            return true;
        case QEvent::MouseButtonRelease:
            if (button() == Qt::LeftButton && widget->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
                if (swallowNextClick_)
                    swallowNextClick_ = false;
                else
                    lbl7Seg_Click(i);
            }
            return true;
        case QEvent::MouseButtonDblClick:
            if (button() == Qt::LeftButton) {
                swallowNextClick_ = true;
                lbl7Seg_DblClick(i);
            }
            return true;
        default:
            return false;
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (widget == lblScale_[static_cast<size_t>(i)]) {
            if (type == QEvent::MouseButtonRelease && button() == Qt::LeftButton)
                lblScale_Click(i);
            return false;
        }
    }
    if (widget == picFreqDisp_) {
        if (type == QEvent::KeyPress) {
            picFreqDisp_KeyDown(designKeyCode(static_cast<QKeyEvent*>(event)->key()));
            return true;
        }
        if (type == QEvent::KeyRelease) {
            // A held key repeats its press; only the real release ends the stepping.
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat())
                picFreqDisp_KeyUp();
            return true;
        }
    }
    if (widget == picFreqDisp_ || widget == img7SegArea_) {
        if (type == QEvent::MouseMove)
            picFreqDisp_MouseMove();
        else if (type == QEvent::MouseButtonRelease)
            picFreqDisp_MouseUp(button());
        return false;
    }
    if (widget == lblTuningRate_) {
        if (type == QEvent::MouseButtonPress)
            lblTuningRate_MouseDown(button());
        else if (type == QEvent::MouseButtonRelease && button() == Qt::LeftButton)
            lblTuningRate_Click();
        return false;
    }
    if (widget == lblTuneDialRate_) {
        if (type == QEvent::MouseButtonPress)
            lblTuneDialRate_MouseDown(button());
        return false;
    }
    if (widget == cboTuningSteps_) {
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cboTuningSteps_->hide();
            return true;
        }
        if (type == QEvent::FocusOut &&
            focusLeftForAnotherControl(cboTuningSteps_, static_cast<QFocusEvent*>(event)->reason()))
            cboTuningSteps_LostFocus();
    }
    return false;
}

} // namespace orvik
