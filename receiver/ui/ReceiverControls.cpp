#include "receiver/ui/ReceiverControls.h"

#include "common/Numeric.h"
#include "receiver/ReceiverAdjust.h"
#include "shell/ui/ColourScheme.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Dial.h"
#include "shell/widgets/Twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <optional>

namespace orvik {

namespace {

constexpr uint32_t EdgeLabelNormal = 0xC0C000;
constexpr uint32_t EdgeLabelLit = 0xFFFF00;

const char* groupName(RxWidget group)
{
    switch (group) {
    case RxWidget::optMode: return "optMode";
    case RxWidget::optFilter: return "optFilter";
    case RxWidget::optIFFilter: return "optIFFilter";
    case RxWidget::optNotch: return "optNotch";
    case RxWidget::optAGC: return "optAGC";
    default: return "";
    }
}

template <size_t N>
QAbstractButton* pick(const std::array<QRadioButton*, N>& group, int index)
{
    return index >= 0 && static_cast<size_t>(index) < N ? group[static_cast<size_t>(index)] : nullptr;
}

} // namespace

ReceiverControls::ReceiverControls(QWidget* window, const ReceiverPanel& panel, ReceiverCore& core, CtlArray& table,
                                   ReceiverHandlers::Hooks hooks)
    : QObject(window), window_(window), panel_(panel), table_(table), adjusters_(table)
{
    handlers_ = std::make_unique<ReceiverHandlers>(core, adjusters_, *this, std::move(hooks));
    connectControls();

    // The label resets that take the receiver's tables.
    PublicVars& v = core.vars();
    table.hooks.mainFilterEdge = [&v](int id) {
        const FilterSetting& row = v.FilterTable[static_cast<size_t>(std::clamp(v.FilterMode, 0, 8))];
        return static_cast<float>(id == rxadj::FilterHi ? row.Hi : row.Lo);
    };
    table.hooks.ifFilterEdge = [&v](int id) -> std::optional<float> {
        const int32_t mode = v.DemodMode;
        if (mode < kDemodAM || mode > kDemodBC || mode == kDemodDRM)
            return std::nullopt;
        const FilterSetting& row = CurrentIFRow(v);
        return static_cast<float>(id == rxadj::IFHi ? row.Hi : row.Lo);
    };
    table.hooks.positionNoiseBlankerSlider = [this](int position) { setPosition(RxWidget::sldNB, position); };
}

ReceiverControls::~ReceiverControls() = default;

QWidget* ReceiverControls::widget(RxWidget control) const
{
    const ReceiverPanel& p = panel_;
    switch (control) {
    case RxWidget::chkDynFilter: return p.chkDynFilter;
    case RxWidget::chkNB: return p.chkNB;
    case RxWidget::chkNotchOn: return p.chkNotchOn;
    case RxWidget::chkNotchType: return p.chkNotchType;
    case RxWidget::chkIFFilter: return p.chkIFFilter;
    case RxWidget::chkMusic: return p.chkMusic;
    case RxWidget::chkMute: return p.chkMute;
    case RxWidget::chkAGC: return p.chkAGC;
    case RxWidget::sldAGCAttack: return p.sldAGCAttack;
    case RxWidget::sldAGCDecay: return p.sldAGCDecay;
    case RxWidget::sldBalance: return p.sldBalance;
    case RxWidget::sldBW0: return p.sldBW[0];
    case RxWidget::sldBW1: return p.sldBW[1];
    case RxWidget::sldNB: return p.sldNB;
    case RxWidget::sldNotch: return p.sldNotch;
    case RxWidget::sldNotchWidth: return p.sldNotchWidth;
    case RxWidget::sldOutVolume: return p.sldOutVolume;
    case RxWidget::dialNB: return p.dialNB;
    case RxWidget::dialOutVol: return p.dialOutVol;
    case RxWidget::lblFLo: return p.lblFLo;
    case RxWidget::lblFHi: return p.lblFHi;
    case RxWidget::lblNotch: return p.lblNotch;
    case RxWidget::lblNotchWidth: return p.lblNotchWidth;
    case RxWidget::lblIFHi: return p.lblIFHi;
    case RxWidget::lblIFHiDesc: return p.lblIFHiDesc;
    case RxWidget::lblIFLo: return p.lblIFLo;
    case RxWidget::lblIFLoDesc: return p.lblIFLoDesc;
    case RxWidget::lblNotchC: return p.lblNotchC;
    case RxWidget::lblNotchCDesc: return p.lblNotchCDesc;
    case RxWidget::lblNotchW: return p.lblNotchW;
    case RxWidget::lblNotchWDesc: return p.lblNotchWDesc;
    default: return nullptr;
    }
}

QAbstractButton* ReceiverControls::option(RxWidget group, int index) const
{
    switch (group) {
    case RxWidget::optMode: return pick(panel_.optMode, index);
    case RxWidget::optFilter: return pick(panel_.optFilter, index);
    case RxWidget::optIFFilter: return pick(panel_.optIFFilter, index);
    case RxWidget::optNotch: return pick(panel_.optNotch, index);
    case RxWidget::optAGC: return pick(panel_.optAGC, index);
    default: return nullptr;
    }
}

int ReceiverControls::optionCount(RxWidget group) const
{
    int n = 0;
    while (option(group, n))
        ++n;
    return n;
}

// ---- the view ----

void ReceiverControls::selectOption(RxWidget group, int index)
{
    if (QAbstractButton* b = option(group, index)) {
        const QSignalBlocker quiet(b);
        b->setChecked(true);
    } else if (QAbstractButton* first = option(group, 0)) {
        // A row without a button (filter presets 5 to 8): no button shows as chosen.
        QButtonGroup* exclusive = first->group();
        if (exclusive)
            exclusive->setExclusive(false);
        for (int i = 0, n = optionCount(group); i < n; ++i) {
            QAbstractButton* other = option(group, i);
            const QSignalBlocker quiet(other);
            other->setChecked(false);
        }
        if (exclusive)
            exclusive->setExclusive(true);
    }
    HighlightOptionGroup(window_, QLatin1String(groupName(group)), index);
}

int ReceiverControls::selectedOption(RxWidget group) const
{
    for (int i = 0, n = optionCount(group); i < n; ++i)
        if (option(group, i)->isChecked())
            return i;
    return -1;
}

void ReceiverControls::setChecked(RxWidget box, bool checked)
{
    if (auto* b = qobject_cast<QAbstractButton*>(widget(box))) {
        const QSignalBlocker quiet(b);
        b->setChecked(checked);
    }
}

bool ReceiverControls::isChecked(RxWidget box) const
{
    auto* b = qobject_cast<QAbstractButton*>(widget(box));
    return b && b->isChecked();
}

void ReceiverControls::setPosition(RxWidget control, int32_t value)
{
    if (auto* s = qobject_cast<QAbstractSlider*>(widget(control))) {
        const QSignalBlocker quiet(s);
        s->setValue(value);
    }
}

int32_t ReceiverControls::position(RxWidget control) const
{
    auto* s = qobject_cast<QAbstractSlider*>(widget(control));
    return s ? s->value() : 0;
}

void ReceiverControls::setRange(RxWidget control, int32_t min, int32_t max)
{
    if (auto* s = qobject_cast<QAbstractSlider*>(widget(control))) {
        const QSignalBlocker quiet(s);
        s->setRange(min, max);
    }
}

int32_t ReceiverControls::minimum(RxWidget control) const
{
    auto* s = qobject_cast<QAbstractSlider*>(widget(control));
    return s ? s->minimum() : 0;
}

int32_t ReceiverControls::maximum(RxWidget control) const
{
    auto* s = qobject_cast<QAbstractSlider*>(widget(control));
    return s ? s->maximum() : 0;
}

void ReceiverControls::setText(RxWidget control, const std::string& text)
{
    if (auto* l = qobject_cast<QLabel*>(widget(control)))
        l->setText(QString::fromStdString(text));
}

void ReceiverControls::setToolTip(RxWidget control, const std::string& text)
{
    if (QWidget* w = widget(control))
        w->setToolTip(QString::fromStdString(text));
}

void ReceiverControls::setVisible(RxWidget control, bool visible)
{
    if (QWidget* w = widget(control))
        w->setVisible(visible);
}

void ReceiverControls::setEnabled(RxWidget control, bool enabled)
{
    if (QWidget* w = widget(control))
        w->setEnabled(enabled);
}

void ReceiverControls::setForeColour(RxWidget control, uint32_t colour)
{
    if (QWidget* w = widget(control))
        setTextColour(w, colour);
}

// ---- user actions ----

void ReceiverControls::connectControls()
{
    ReceiverHandlers& h = *handlers_;
    const struct {
        RxWidget group;
        void (ReceiverHandlers::*click)(int);
    } groups[] = {{RxWidget::optMode, &ReceiverHandlers::optMode_Click},
                  {RxWidget::optFilter, &ReceiverHandlers::optFilter_Click},
                  {RxWidget::optIFFilter, &ReceiverHandlers::optIFFilter_Click},
                  {RxWidget::optNotch, &ReceiverHandlers::optNotch_Click},
                  {RxWidget::optAGC, &ReceiverHandlers::optAGC_Click}};
    for (const auto& g : groups)
        for (int i = 0, n = optionCount(g.group); i < n; ++i)
            connect(option(g.group, i), &QAbstractButton::clicked, this,
                    [&h, click = g.click, i] { (h.*click)(i); });

    for (RxWidget box : {RxWidget::chkDynFilter, RxWidget::chkNB, RxWidget::chkNotchOn, RxWidget::chkNotchType,
                         RxWidget::chkIFFilter, RxWidget::chkMusic, RxWidget::chkMute, RxWidget::chkAGC})
        if (auto* b = qobject_cast<QAbstractButton*>(widget(box)))
            connect(b, &QAbstractButton::clicked, this, [&h, box](bool checked) { h.clickBox(box, checked); });

    // Program writes are made with signals blocked, so a value change is the user's.
    for (RxWidget s : {RxWidget::sldAGCAttack, RxWidget::sldAGCDecay, RxWidget::sldBalance, RxWidget::sldBW0,
                       RxWidget::sldBW1, RxWidget::sldNB, RxWidget::sldNotch, RxWidget::sldNotchWidth,
                       RxWidget::sldOutVolume})
        if (auto* slider = qobject_cast<QAbstractSlider*>(widget(s)))
            connect(slider, &QAbstractSlider::valueChanged, this, [&h, s](int value) { h.movePosition(s, value); });
    for (RxWidget d : {RxWidget::dialNB, RxWidget::dialOutVol})
        if (auto* dial = qobject_cast<Dial*>(widget(d)))
            connect(dial, &Dial::Changing, this, [&h, d, dial] { h.movePosition(d, dial->value()); });

    for (QWidget* w : {static_cast<QWidget*>(panel_.sldBW[0]), static_cast<QWidget*>(panel_.sldBW[1]),
                       static_cast<QWidget*>(panel_.sldNB), static_cast<QWidget*>(panel_.sldNotchWidth),
                       static_cast<QWidget*>(panel_.sldOutVolume)}) {
        if (!w)
            continue;
        w->installEventFilter(this);
        w->setMouseTracking(true);
    }
}

bool ReceiverControls::eventFilter(QObject* watched, QEvent* event)
{
    ReceiverHandlers& h = *handlers_;
    const int bw = watched == panel_.sldBW[0] ? 0 : (watched == panel_.sldBW[1] ? 1 : -1);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const bool right = static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
        if (bw >= 0)
            h.sldBW_MouseDown(bw, right);
        else if (watched == panel_.sldNB)
            h.sldNB_MouseDown(right);
        else if (watched == panel_.sldNotchWidth)
            h.sldNotchWidth_MouseDown(right);
        else if (watched == panel_.sldOutVolume)
            h.sldOutVolume_MouseDown(right);
        break;
    }
    case QEvent::MouseMove:
        if (bw >= 0)
            sldBW_MouseMove(bw, static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (watched == panel_.sldOutVolume)
            panel_.sldOutVolume->setFocus();
        break;
    case QEvent::FocusIn:
        if (bw >= 0)
            for (QLabel* l : {bw == 0 ? panel_.lblFloDesc : panel_.lblFHiDesc, bw == 0 ? panel_.lblFLo : panel_.lblFHi})
                if (l)
                    setTextColour(l, EdgeLabelNormal);
        break;
    default:
        break;
    }
    return false;
}

void ReceiverControls::sldBW_MouseMove(int Index, const QPoint& pos)
{
    QSlider* slider = panel_.sldBW[static_cast<size_t>(Index)];
    slider->setFocus();
    const int margin = twipsToPixels(50);
    const bool inside = pos.x() > margin && pos.y() > margin && pos.x() < slider->width() - margin &&
                        pos.y() < slider->height() - margin;
    for (QLabel* l : {Index == 0 ? panel_.lblFloDesc : panel_.lblFHiDesc, Index == 0 ? panel_.lblFLo : panel_.lblFHi})
        if (l)
            setTextColour(l, inside ? EdgeLabelLit : EdgeLabelNormal);
}

void ReceiverControls::initialiseNoiseBlankerSlider()
{
    const Adjuster& a = table_[rxadj::NB];
    QSlider* s = panel_.sldNB;
    setRange(RxWidget::sldNB, RoundEven(a.Min), RoundEven(a.Max));
    s->setSingleStep(RoundEven(a.Step));
    s->setPageStep(RoundEven(a.Step));
    s->setTickInterval(RoundEven((a.Max - a.Min) / 10));
    setPosition(RxWidget::sldNB, RoundEven(a.Value));
    handlers_->sldNB_Scroll();
}

void ReceiverControls::initialiseNoiseBlankerDial()
{
    const Adjuster& a = table_[rxadj::NB];
    setRange(RxWidget::dialNB, RoundEven(a.Min), RoundEven(a.Max));
    setPosition(RxWidget::dialNB, RoundEven(a.Value));
    handlers_->dialNB_Changing();
}

void ReceiverControls::initialiseOutputDial()
{
    const Adjuster& a = table_[rxadj::OutVol];
    setRange(RxWidget::dialOutVol, RoundEven(a.Min), RoundEven(a.Max));
    setPosition(RxWidget::dialOutVol, RoundEven(a.Value));
}

void ReceiverControls::initialiseOutputSlider()
{
    const Adjuster& a = table_[rxadj::OutVol];
    QSlider* s = panel_.sldOutVolume;
    setRange(RxWidget::sldOutVolume, RoundEven(a.Min), RoundEven(a.Max));
    s->setTickInterval(RoundEven((a.Max - a.Min) / 10));
    s->setSingleStep(RoundEven(a.Step));
    s->setPageStep(RoundEven(a.Step));
    setPosition(RxWidget::sldOutVolume, RoundEven(a.Value));
}

void ReceiverControls::initialiseAGCSlider(RxWidget slider)
{
    auto* s = qobject_cast<QSlider*>(widget(slider));
    if (!s)
        return;
    const int tick = IntDiv(s->maximum() - s->minimum(), 10);
    s->setTickInterval(tick);
    s->setPageStep(tick);
    s->setSingleStep(RoundEven(tick / 2.0));
    // Beyond the attack slider's range: the slider holds it to its maximum.
    handlers_->movePosition(slider, 100);
}

std::function<void()> ReceiverControls::applyProcedure(int id)
{
    ReceiverHandlers& h = *handlers_;
    switch (id) {
    case rxadj::FilterHi: return [&h] { h.lblFilterHi_Wheel(); };
    case rxadj::FilterLo: return [&h] { h.lblFilterLo_Wheel(); };
    case rxadj::NB: return [&h] { h.lblNB_Wheel(); };
    case rxadj::OutVol: return [&h] { h.lblOutVol_Wheel(); };
    case rxadj::NotchC: return [&h] { h.lblNotchC_Wheel(); };
    case rxadj::NotchW: return [&h] { h.lblNotchW_Wheel(); };
    case rxadj::AGCAttack: return [&h] { h.lblAGCAttack_Wheel(); };
    case rxadj::AGCDecay: return [&h] { h.lblAGCDecay_Wheel(); };
    case rxadj::IFHi: return [&h] { h.lblIFHi_Wheel(); };
    case rxadj::IFLo: return [&h] { h.lblIFLo_Wheel(); };
    case rxadj::BFO: return [&h] { h.lblBFO_Wheel(); };
    default: return {};
    }
}

} // namespace orvik
