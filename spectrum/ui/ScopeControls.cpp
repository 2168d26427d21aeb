#include "spectrum/ui/ScopeControls.h"

#include "common/Format.h"
#include "common/Numeric.h"
#include "shell/CtlArray.h"
#include "shell/widgets/ControlFactory.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeImagePage.h"
#include "spectrum/ui/ScopeView.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

constexpr int AudioTap = 3;
// The width slider's and adjuster's largest value at the full span.
constexpr int32_t FullXLargest = 1023;
// The sweep's time per division assumes the program's fixed rate.
constexpr double SampleRate = 48000.0;

QString fmt(double value, const char* picture) { return QString::fromStdString(Format(value, picture)); }

} // namespace

ScopeControls::ScopeControls(QWidget* window, clsSpectrumAnalyser& analyser, CtlArray& ctl, Hooks hooks)
    : QObject(window), window_(window), analyser_(analyser), ctl_(ctl), hooks_(std::move(hooks))
{
    for (int i = 0; i < 2; ++i) {
        pages_[static_cast<size_t>(i)] = std::make_unique<ScopeImagePage>(element("picScope", i));
        if (ScopeView* view = pages_[static_cast<size_t>(i)]->view())
            view->installEventFilter(this);
    }
    for (const char* name : {"picScopeContainer", "imgAreaScope", "picScopeCtls"})
        if (QWidget* w = find(QLatin1String(name))) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
        }

    auto onToggle = [this](QCheckBox* box, std::function<void()> handler) {
        if (box)
            connect(box, &QCheckBox::toggled, this, [handler = std::move(handler)] { handler(); });
    };
    onToggle(check("chkChn1On"), [this] { chkChn1On_Click(); });
    onToggle(check("chkChn2On"), [this] { chkChn2On_Click(); });
    onToggle(check("chkLog"), [this] { chkLog_Click(); });
    onToggle(check("chkSmoothSpectrum"), [this] { chkSmoothSpectrum_Click(); });
    onToggle(check("chkScopeShowFilters"), [this] { chkScopeShowFilters_Click(); });
    onToggle(check("chkSpectrumAutoGain"), [this] { chkSpectrumAutoGain_Click(); });
    onToggle(check("chkSpectrumAnalyser"), [this] { chkSpectrumAnalyser_Click(); });
    for (int i = 1; i <= 2; ++i)
        onToggle(checkElement("chkTrigOn", i), [this, i] { chkTrigOn_Click(i); });
    for (int i = 0; i < 3; ++i)
        onToggle(checkElement("chkScopeMode", i), [this, i] { chkScopeMode_Click(i); });
    for (int i = 0; i < 4; ++i)
        if (auto* option = qobject_cast<QRadioButton*>(element("optSpectrumSource", i)))
            connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
                if (on)
                    optSpectrumSource_Click(i);
            });

    if (QSlider* width = slider("sldXWidth")) {
        width->setRange(0, FullXLargest);
        connect(width, &QSlider::valueChanged, this, [this] { sldXWidth_Change(); });
    }
    if (QSlider* centre = slider("sldXCentre")) {
        centre->setRange(0, FullXLargest);
        connect(centre, &QSlider::valueChanged, this, [this] { sldXCentre_Change(); });
    }
    if (QSlider* gain = slider("sldSpectrumGain")) {
        gain->setRange(0, 8);
        connect(gain, &QSlider::valueChanged, this, [this] { sldSpectrumGain_Change(); });
    }
    for (const char* name : {"sldXWidth", "sldXCentre", "sldSpectrumGain"})
        if (QSlider* s = slider(name))
            s->installEventFilter(this);

    tmrSpectrumDisplay_ = addTimer(window, QStringLiteral("tmrSpectrumDisplay"));
    connect(tmrSpectrumDisplay_, &QTimer::timeout, this, [this] { tmrSpectrumDisplay_Timer(); });
}

ScopeControls::~ScopeControls()
{
    // The analyser may outlive the pages: it must not draw on them any more.
    analyser_.picDisplay0(nullptr);
    analyser_.picDisplay1(nullptr);
}

QWidget* ScopeControls::find(const QString& name) const { return children_.find<QWidget>(name); }

QWidget* ScopeControls::element(const char* arrayName, int index) const
{
    return children_.find<QWidget>(controlName(QLatin1String(arrayName), index));
}

QCheckBox* ScopeControls::check(const QString& name) const { return children_.find<QCheckBox>(name); }

QCheckBox* ScopeControls::checkElement(const char* arrayName, int index) const
{
    return qobject_cast<QCheckBox*>(element(arrayName, index));
}

QSlider* ScopeControls::slider(const char* name) const { return children_.find<QSlider>(QLatin1String(name)); }

QLabel* ScopeControls::readOut(int index) const { return qobject_cast<QLabel*>(element("lblSpectrumFreq", index)); }

void ScopeControls::setChecked(QCheckBox* box, bool on)
{
    if (box)
        box->setChecked(on);
}

std::function<void()> ScopeControls::applyProcedure(int id)
{
    switch (id) {
    case Chn1GainId:
        return [this] { lblScopeChn1Gain_Wheel(); };
    case Chn1ShiftId:
        return [this] { lblScopeChn1Shift_Wheel(); };
    case Chn2GainId:
        return [this] { lblScopeChn2Gain_Wheel(); };
    case Chn2ShiftId:
        return [this] { lblScopeChn2Shift_Wheel(); };
    case XWidthId:
        return [this] { SetScopeXRange(); };
    case XCentreId:
        return [this] { lblScopeX_Wheel(); };
    case SmoothId:
        return [this] { lblSpectrumSmooth_Wheel(); };
    case Y1BrightId:
        return [this] { lblY1Bright_Wheel(); };
    case Y2BrightId:
        return [this] { lblY2Bright_Wheel(); };
    default:
        return {};
    }
}

void ScopeControls::chkChn1On_Click()
{
    if (QCheckBox* box = check("chkChn1On"))
        analyser_.setChn1Enabled(box->isChecked());
}

void ScopeControls::chkChn2On_Click()
{
    if (QCheckBox* box = check("chkChn2On"))
        analyser_.setChn2Enabled(box->isChecked());
}

void ScopeControls::chkLog_Click()
{
    QCheckBox* box = check("chkLog");
    if (!box)
        return;
    // The box reads "Lin": ticked means the linear scale.
    analyser_.setLogMode(!box->isChecked());
    analyser_.setMode(analyser_.Mode());
}

void ScopeControls::chkSmoothSpectrum_Click()
{
    QCheckBox* box = check("chkSmoothSpectrum");
    if (!box)
        return;
    const bool fast = box->isChecked();
    analyser_.SmoothSpectrum = !fast;
    analyser_.setFastMode(fast);
    if (QWidget* smooth = find("lblSpectrumSmooth"))
        smooth->setVisible(!fast);
}

void ScopeControls::chkScopeShowFilters_Click()
{
    if (QCheckBox* box = check("chkScopeShowFilters"))
        analyser_.ShowFilter = box->isChecked();
}

void ScopeControls::chkSpectrumAutoGain_Click()
{
    if (QCheckBox* box = check("chkSpectrumAutoGain"))
        analyser_.AutoGain = box->isChecked();
}

void ScopeControls::chkSpectrumAnalyser_Click()
{
    if (QCheckBox* box = check("chkSpectrumAnalyser"))
        analyser_.Active = box->isChecked();
}

void ScopeControls::chkTrigOn_Click(int Index)
{
    // Loading the boxes from a mode's record shows its flags; it does not pick a source.
    if (trigBusy_ || modeBusy_)
        return;
    trigBusy_ = true;
    for (int i = 1; i <= 2; ++i)
        setChecked(checkElement("chkTrigOn", i), i == Index);
    analyser_.setTriggerChn(static_cast<int16_t>(Index));
    trigBusy_ = false;
}

void ScopeControls::chkScopeMode_Click(int Index)
{
    if (modeBusy_)
        return;
    modeBusy_ = true;
    // A read-out of the old axis would be wrong over the new display.
    hideReadOuts();
    analyser_.setMode(Index);

    auto show = [this](const char* name, bool visible) {
        if (QWidget* w = find(QLatin1String(name)))
            w->setVisible(visible);
    };
    auto showElement = [this](const char* name, int index, bool visible) {
        if (QWidget* w = element(name, index))
            w->setVisible(visible);
    };
    auto showTrigger = [&](bool visible) {
        showElement("chkTrigOn", 1, visible);
        showElement("chkTrigOn", 2, visible);
        showElement("lblScopeCtl", 4, visible);
    };
    show("frScopeSweep", false);
    show("frScopeYMode", false);
    showTrigger(false);
    show("chkScopeShowFilters", false);
    show("chkChn1On", false);
    show("chkChn2On", false);
    show("lblScopeXCentre", false);
    showElement("lblScopeCtl", 1, false);

    for (int i = 0; i < 3; ++i)
        setChecked(checkElement("chkScopeMode", i), i == Index);

    auto* sweep = qobject_cast<QGroupBox*>(find("frScopeSweep"));
    auto* xUnit = qobject_cast<QLabel*>(element("lblScopeCtl", 0));
    auto forceFastLinear = [this] {
        analyser_.setFastMode(true);
        analyser_.setLogMode(false);
        setChecked(check("chkSmoothSpectrum"), true);
        setChecked(check("chkLog"), true);
        if (QWidget* yMode = find("frScopeYMode")) {
            yMode->setEnabled(false);
            yMode->hide();
        }
    };
    if (Index == 1) {
        show("chkChn1On", true);
        show("chkChn2On", true);
        show("frScopeSweep", true);
        if (sweep)
            sweep->setTitle(QStringLiteral("Timebase"));
        showTrigger(true);
        if (xUnit)
            xUnit->setText(QStringLiteral("ms/Div"));
        ctl_[XWidthId].FormatText = QStringLiteral("0.000");
        forceFastLinear();
    } else if (Index == 2) {
        showElement("lblScopeCtl", 4, true);
        forceFastLinear();
    } else if (Index == 0) {
        show("chkChn1On", true);
        show("chkChn2On", true);
        if (QWidget* yMode = find("frScopeYMode")) {
            yMode->setEnabled(true);
            yMode->show();
        }
        show("frScopeSweep", true);
        if (sweep)
            sweep->setTitle(QStringLiteral("Sweep"));
        show("chkScopeShowFilters", true);
        show("lblScopeXCentre", true);
        showElement("lblScopeCtl", 1, true);
        if (xUnit)
            xUnit->setText(QStringLiteral("Hz/Div"));
        ctl_[XWidthId].FormatText = QStringLiteral("#,###");
    }

    setChecked(check("chkChn1On"), analyser_.Chn1Enabled());
    setChecked(checkElement("chkTrigOn", 1), analyser_.Chn1Trig());
    setChecked(check("chkLog"), !analyser_.LogMode());
    setChecked(check("chkSmoothSpectrum"), analyser_.FastMode());
    ctl_[Chn1GainId].Value = analyser_.Chn1Gain();
    ctl_[Chn1ShiftId].Value = analyser_.Chn1Shift();
    ctl_.WriteCaption(Chn1GainId);
    ctl_.WriteCaption(Chn1ShiftId);
    lblScopeChn1Shift_Wheel();
    setChecked(check("chkChn2On"), analyser_.Chn2Enabled());
    setChecked(checkElement("chkTrigOn", 2), analyser_.Chn2Trig());
    ctl_[Chn2GainId].Value = analyser_.Chn2Gain();
    ctl_[Chn2ShiftId].Value = analyser_.Chn2Shift();
    ctl_.WriteCaption(Chn2GainId);
    ctl_.WriteCaption(Chn2ShiftId);
    lblScopeChn2Shift_Wheel();

    applyXLimits();
    QSlider* width = slider("sldXWidth");
    QSlider* centre = slider("sldXCentre");
    if (width) {
        width->setMinimum(0);
        setSliderSteps(width);
    }
    if (centre && width) {
        centre->setMinimum(0);
        centre->setMaximum(width->maximum());
        setSliderSteps(centre);
        const QSignalBlocker quiet(centre); // its scroll handler runs once, below
        centre->setValue((centre->maximum() - centre->minimum()) / 2);
    }
    sldXCentre_Scroll();
    lblScopeX_Wheel();
    SetScopeXRange();
    modeBusy_ = false;
}

void ScopeControls::setSliderSteps(QSlider* s)
{
    const int max = s->maximum();
    s->setTickInterval(RoundEven(max / 10.0));
    s->setSingleStep(RoundEven(max / 100.0));
    s->setPageStep(RoundEven(max / 10.0));
    s->update();
}

int32_t ScopeControls::xLargest() const
{
    const bool audio = hooks_.SpectrumSource && hooks_.SpectrumSource() == AudioTap;
    if (analyser_.Mode() != 0 || !audio || analyser_.HzPerBin <= 0)
        return FullXLargest;
    return std::clamp(RoundEven(analyser_.FEnd / analyser_.HzPerBin), 10, FullXLargest);
}

void ScopeControls::applyXLimits()
{
    // The audio tap's span is a quarter of the IF's: the X adjusters and sliders shrink to it.
    const int32_t largest = xLargest();
    if (RoundEven(ctl_[XWidthId].Max) == largest)
        return;
    Adjuster& width = ctl_[XWidthId];
    width.Max = static_cast<float>(largest);
    width.Default = width.Max;
    width.Value = width.Max;
    Adjuster& centre = ctl_[XCentreId];
    centre.Max = static_cast<float>(largest);
    centre.Default = static_cast<float>(IntDiv(largest, 2));
    centre.Value = centre.Default;
    for (const char* name : {"sldXWidth", "sldXCentre"})
        if (QSlider* s = slider(name)) {
            const QSignalBlocker quiet(s);
            s->setMaximum(largest);
            s->setValue(std::string_view(name) == "sldXWidth" ? largest : largest / 2);
            setSliderSteps(s);
        }
}

void ScopeControls::optSpectrumSource_Click(int Index)
{
    if (hooks_.setSpectrumSource)
        hooks_.setSpectrumSource(Index);
    hideReadOuts();
    clsSpectrumAnalyser& a = analyser_;
    a.FStart = 0;
    a.ReverseSpectrum = true;
    if (Index == AudioTap) {
        a.FEnd = IntDiv(a.FSampling, 8);
        a.FOffset = 0;
    } else {
        a.FEnd = RoundEven(a.FSampling / 2.0);
        const double tuned = hooks_.TunedFrequency ? hooks_.TunedFrequency() : 0;
        a.FOffset = RoundEven(tuned / 10.0 - (a.FEnd - a.FStart) / 2.0);
    }
    applyXLimits();
    if (a.Mode() == 0) {
        SetScopeXRange();
        // With no sweep running nothing else redraws the axis that clicks now tune by.
        a.SetupDisplay();
    }
    if (hooks_.DSPSettingsChanged)
        hooks_.DSPSettingsChanged();
}

void ScopeControls::sldSpectrumGain_Change()
{
    QCheckBox* autoGain = check("chkSpectrumAutoGain");
    QSlider* s = slider("sldSpectrumGain");
    if (!s || (autoGain && autoGain->isChecked()))
        return;
    const float e = static_cast<float>(s->maximum()) / 2.0F - static_cast<float>(s->value());
    const float factor = std::pow(2.0F, e);
    s->setToolTip(QStringLiteral("YGain : ") + fmt(20.0 * std::log10(factor), "#0 dB"));
    analyser_.Gain = factor;
}

void ScopeControls::sldXCentre_Scroll()
{
    if (QSlider* centre = slider("sldXCentre"))
        centre->setToolTip(QStringLiteral("Center Frequency : ") +
                           fmt(analyser_.HzPerBin * centre->value() + analyser_.FOffset, "#,0 Hz"));
    sldXWidth_Scroll();
}

void ScopeControls::sldXWidth_Scroll()
{
    QSlider* width = slider("sldXWidth");
    QSlider* centre = slider("sldXCentre");
    if (!width || !centre)
        return;
    clsSpectrumAnalyser& a = analyser_;
    const int32_t largest = width->maximum() - width->minimum();
    const int32_t w = sliderXWidth(*width);
    if (a.Mode() == 0) {
        const int32_t c = centre->value();
        a.StartBin = std::max(c - IntDiv(w, 2), 0);
        a.StopBin = std::min(c + static_cast<int32_t>(Int(w / 2.0 + 0.5)), largest);
        width->setToolTip(QStringLiteral("Spectrum Width : ") +
                          fmt(a.HzPerBin / 12.0 * (a.StopBin - a.StartBin), "#,##0 Hz/div"));
    } else if (a.Mode() == 1) {
        a.ScreenWidth = w;
        a.StartBin = 0;
        a.StopBin = w - 1;
        width->setToolTip(QStringLiteral("Timebase : ") +
                          fmt(1000.0 / 12.0 / SampleRate * (a.StopBin - a.StartBin), "00.00 mS/div"));
    }
}

int32_t ScopeControls::sliderXWidth(const QSlider& width) const
{
    const int32_t largest = width.maximum() - width.minimum();
    return std::clamp(width.value() - width.minimum(), std::min(10, largest), largest);
}

void ScopeControls::sldXCentre_Change()
{
    sldXCentre_Scroll();
    xRecordsFromSliders();
}

void ScopeControls::sldXWidth_Change()
{
    sldXWidth_Scroll();
    xRecordsFromSliders();
}

void ScopeControls::xRecordsFromSliders()
{
    // The tune timer applies adjusters 6 and 15 on every tick. Holding the values that give
    // the sliders' range, they keep it, and their labels show it, until either is used again.
    QSlider* width = slider("sldXWidth");
    QSlider* centre = slider("sldXCentre");
    const int32_t mode = analyser_.Mode();
    if (!width || !centre || (mode != 0 && mode != 1))
        return;
    Adjuster& span = ctl_[XWidthId];
    const auto w = static_cast<float>(sliderXWidth(*width));
    if (mode == 0) {
        span.Value = std::clamp(w, span.Min, span.Max);
        Adjuster& middle = ctl_[XCentreId];
        middle.Value = std::clamp(static_cast<float>(centre->value()), middle.Min, middle.Max);
    } else {
        // The sweep is Value - Min samples: the widest the adjuster holds is Max - Min, and
        // the slider's widest positions are drawn at that.
        span.Value = std::clamp(w + span.Min, span.Min, span.Max);
    }
    SetScopeXRange();
}

void ScopeControls::tmrSpectrumDisplay_Timer()
{
    if (analyser_.Freeze) {
        analyser_.DisplayFrozen();
        return;
    }
    tmrSpectrumDisplay_->stop();
    tmrSpectrumDisplay_->setInterval(0);
    analyser_.Display();
}

void ScopeControls::lblScopeChn1Gain_Wheel() { analyser_.setChn1Gain(ctl_[Chn1GainId].Value); }

void ScopeControls::lblScopeChn1Shift_Wheel() { analyser_.setChn1Shift(ctl_[Chn1ShiftId].Value); }

void ScopeControls::lblScopeChn2Gain_Wheel() { analyser_.setChn2Gain(ctl_[Chn2GainId].Value); }

void ScopeControls::lblScopeChn2Shift_Wheel() { analyser_.setChn2Shift(ctl_[Chn2ShiftId].Value); }

void ScopeControls::SetScopeXRange()
{
    clsSpectrumAnalyser& a = analyser_;
    const Adjuster& width = ctl_[XWidthId];
    const Adjuster& centre = ctl_[XCentreId];
    if (a.Mode() == 0) {
        const int32_t largest = RoundEven(width.Max);
        const int32_t w = RoundEven(width.Value);
        const int32_t c = RoundEven(centre.Value);
        a.StartBin = std::max(c - IntDiv(w, 2), 0);
        a.StopBin = std::min(c + static_cast<int32_t>(Int(w / 2.0 + 0.5)), largest);
    } else if (a.Mode() == 1) {
        const int32_t largest = RoundEven(width.Max - width.Min);
        const int32_t w = std::clamp(RoundEven(width.Value - width.Min), std::min(10, largest), largest);
        a.ScreenWidth = w;
        a.StartBin = 0;
        a.StopBin = w - 1;
    }
    // The tune timer comes here fifty times a second: the captions are formatted again only
    // when what they show changed, or when something else wrote over them.
    const int32_t span = a.StopBin - a.StartBin;
    XCaptionInputs inputs{a.Mode(), centre.Value, a.HzPerBin, a.FOffset, span, centre.FormatText, width.FormatText};
    const bool showsWidth = a.Mode() == 0 || a.Mode() == 1;
    if (inputs == xCaptionInputs_ && (!centre.Control || centre.Control->Caption() == centreCaption_) &&
        (!width.Control || !showsWidth || width.Control->Caption() == widthCaption_))
        return;
    xCaptionInputs_ = std::move(inputs);
    if (centre.Control) {
        centreCaption_ = QString::fromStdString(
            Format((centre.Value + 1) * a.HzPerBin + a.FOffset, centre.FormatText.toStdString()));
        centre.Control->SetCaption(centreCaption_);
    }
    if (width.Control && showsWidth) {
        const double shown = a.Mode() == 0 ? a.HzPerBin * (span + 1) / 12.0 : (span + 1) * 1000.0 / SampleRate / 12.0;
        widthCaption_ = QString::fromStdString(Format(shown, width.FormatText.toStdString()));
        width.Control->SetCaption(widthCaption_);
    }
}

void ScopeControls::lblScopeX_Wheel()
{
    if (xWheelBusy_)
        return;
    xWheelBusy_ = true;
    clsSpectrumAnalyser& a = analyser_;
    if (a.Mode() == 0) {
        SetScopeXRange();
    } else if (a.Mode() == 1) {
        const Adjuster& width = ctl_[XWidthId];
        const int32_t m = RoundEven(width.Max);
        int32_t w = RoundEven(width.Value - width.Min);
        if (w < 10)
            w = 10;
        if (w > m)
            w = m;
        a.ScreenWidth = w;
        a.StartBin = 0;
        a.StopBin = w - 1;
    }
    xWheelBusy_ = false;
}

void ScopeControls::lblSpectrumSmooth_Wheel()
{
    if (smoothBusy_)
        return;
    smoothBusy_ = true;
    analyser_.setSpectrumSmooth(RoundEven(ctl_[SmoothId].Value));
    ctl_.WriteCaption(SmoothId);
    smoothBusy_ = false;
}

void ScopeControls::lblY1Bright_Wheel()
{
    if (y1BrightBusy_)
        return;
    y1BrightBusy_ = true;
    analyser_.SetChannelBrightness(0, RoundEven(ctl_[Y1BrightId].Value));
    y1BrightBusy_ = false;
}

void ScopeControls::lblY2Bright_Wheel()
{
    if (y2BrightBusy_)
        return;
    y2BrightBusy_ = true;
    analyser_.SetChannelBrightness(1, RoundEven(ctl_[Y2BrightId].Value));
    y2BrightBusy_ = false;
}

double ScopeControls::frequencyAt(int Index, float X) const
{
    const clsSpectrumAnalyser& a = analyser_;
    // The traces and the frequency labels spread StartBin..StopBin across the page's
    // width, whatever span the page was last laid out for, so X goes through the same
    // spread: a zoomed page reads what its labels say.
    const float across = page(Index).ScaleWidth;
    const int32_t span = a.StopBin - a.StartBin;
    const double bins = span > 0 && across > 0 ? static_cast<double>(X) * span / across : X;
    if (a.ReverseSpectrum)
        return a.FOffset + static_cast<double>(a.HzPerBin) * (a.StartBin + bins);
    return a.FOffset + a.FSampling / 2.0 - static_cast<double>(a.HzPerBin) * (a.StopBin - bins);
}

void ScopeControls::hideReadOuts()
{
    for (int i = 0; i < 2; ++i)
        if (QLabel* label = readOut(i))
            label->hide();
}

void ScopeControls::picScope_MouseMove(int Index, Qt::MouseButtons, float X, float Y)
{
    if (hooks_.UnFocusFrames)
        hooks_.UnFocusFrames();
    const ScopeImagePage& page = this->page(Index);
    const bool wheelTunes = hooks_.ScrollWheelEnableOverScope && hooks_.ScrollWheelEnableOverScope();
    int32_t rate = 0;
    if (wheelTunes) {
        ctl_.ActiveAdjuster = CtlArray::PicScopeIndex;
        const double height = std::fabs(page.ScaleHeight);
        rate = height > 0 ? static_cast<int32_t>(Int(Y / height * 10 + 0.5) * 1000 / 10) : 10;
        if (rate < 10)
            rate = 10;
        ctl_[CtlArray::PicScopeIndex].StepText = QString::number(rate);
        if (hooks_.setTuneStep)
            hooks_.setTuneStep(rate * 10);
    } else {
        ctl_.ActiveAdjuster = 0;
        if (hooks_.clearDigitHover)
            hooks_.clearDigitHover();
    }

    // Only the spectrum has a frequency axis; across the other displays X is a sample.
    if (analyser_.Mode() != 0) {
        tag_.clear();
        hideReadOuts();
        return;
    }
    const bool audio = hooks_.SpectrumSource && hooks_.SpectrumSource() == AudioTap;
    const double f = frequencyAt(Index, X);
    tag_ = QString::number(f, 'f', 1);
    QString caption = fmt(f, audio ? "###0" : "#0 000 000");
    if (wheelTunes)
        caption += QStringLiteral(" : ") + fmt(rate, "###0");

    QLabel* label = readOut(0);
    if (!label)
        return;
    label->setText(caption);
    label->adjustSize();
    const QPointF at = page.toPixel(X, Y);
    const double unit = page.ScaleWidth != 0 ? page.pixelSize().width() / std::fabs(page.ScaleWidth) : 1.0;
    int left = static_cast<int>(at.x() + 17 * unit);
    const int pageWidth = page.picture() ? page.picture()->width() : page.pixelSize().width();
    left = std::max(0, std::min(left, pageWidth - label->width()));
    label->move(left, static_cast<int>(at.y()));
    if (QLabel* other = readOut(1)) {
        other->setGeometry(label->geometry());
        other->setText(caption);
    }
    // Both pages carry the read-out: the pages change places with every frame, and a label
    // left on the hidden page only would vanish at the next frame while the pointer rests.
    for (int i = 0; i < 2; ++i)
        if (QLabel* l = readOut(i)) {
            l->setVisible(!analyser_.HideFreqToolTip);
            l->raise();
        }
}

void ScopeControls::picScope_MouseDown(int Index, Qt::MouseButtons Button, float X, float)
{
    const bool audio = hooks_.SpectrumSource && hooks_.SpectrumSource() == AudioTap;
    if (analyser_.Mode() != 0 || audio || !(Button & Qt::LeftButton) || !hooks_.tuneTo)
        return;
    // The press position is where the last move left the pointer.
    const double f = frequencyAt(Index, X);
    tag_ = QString::number(f, 'f', 1);
    hooks_.tuneTo(static_cast<int32_t>(Int(f / 1000 + 0.5) * 10000));
}

void ScopeControls::picScopeContainer_MouseMove()
{
    hideReadOuts();
    if (hooks_.UnFocusFrames)
        hooks_.UnFocusFrames();
}

void ScopeControls::imgAreaScope_MouseMove()
{
    if (hooks_.DarkenControls)
        hooks_.DarkenControls();
    hideReadOuts();
}

void ScopeControls::picScopeCtls_MouseMove() { ctl_.DeactivateAdjuster(); }

bool ScopeControls::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (auto* view = qobject_cast<ScopeView*>(watched)) {
        const int index = &view->page() == pages_[0].get() ? 0 : 1;
        const QPointF user = view->page().toUser(mouse->position());
        const auto x = static_cast<float>(user.x());
        const auto y = static_cast<float>(user.y());
        if (type == QEvent::MouseMove)
            picScope_MouseMove(index, mouse->buttons(), x, y);
        else
            picScope_MouseDown(index, mouse->buttons() | mouse->button(), x, y);
        return false;
    }
    if (auto* s = qobject_cast<QSlider*>(watched)) {
        if (type != QEvent::MouseButtonPress || mouse->button() != Qt::RightButton)
            return false;
        const int half = RoundEven((s->maximum() - s->minimum()) / 2.0);
        if (s->objectName() == QLatin1String("sldXWidth")) {
            const QSignalBlocker quiet(s);
            s->setValue(s->maximum() - s->minimum());
            sldXWidth_Change();
        } else if (s->objectName() == QLatin1String("sldXCentre")) {
            const QSignalBlocker quiet(s);
            s->setValue(half);
            sldXCentre_Change();
        } else {
            s->setValue(half); // its change handler runs
        }
        return true;
    }
    if (type == QEvent::MouseMove) {
        const QString name = watched->objectName();
        if (name == QLatin1String("picScopeContainer"))
            picScopeContainer_MouseMove();
        else if (name == QLatin1String("imgAreaScope"))
            imgAreaScope_MouseMove();
        else if (name == QLatin1String("picScopeCtls"))
            picScopeCtls_MouseMove();
    }
    return false;
}

} // namespace orvik
