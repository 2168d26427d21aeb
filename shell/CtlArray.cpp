#include "shell/CtlArray.h"

#include "common/Format.h"
#include "common/Numeric.h"

namespace orvik {

namespace {

// Ids 1 to 22 as start-up builds them. Id 14's default lies below its minimum on
// purpose; record 19 takes its default and value from the spectrum analyser and
// record 11 its limits from the notch limits, both set by the caller afterwards.
constexpr AdjusterDefinition Definitions[] = {
    {1, nullptr, 0, 0, 0, 0, 0.1f, 1, 10, nullptr, false, false},
    {2, "lblScopeChn1Gain", 99, 0, 1, 1, 0.01f, 0.1f, 1, "#0.0", true, false},
    {3, "lblScopeChn1Shift", 100, -100, 0, 0, 0.1f, 1, 10, "#0", true, false},
    {4, "lblScopeChn2Gain", 99, 0, 1, 1, 0.01f, 0.1f, 1, "#0.0", true, false},
    {5, "lblScopeChn2Shift", 100, -100, 0, 0, 0.1f, 1, 10, "#0", true, false},
    {6, "lblScopeXWidth", 1023, 10, 1023, 1023, 1, 10, 50, "#,###", false, false},
    {7, "lblFilterHi", 6000, 0, 0, 0, 1, 10, 50, "#0", true, false},
    {8, "lblFilterLo", 1999, 0, 0, 0, 1, 10, 50, "#0", true, false},
    {9, "lblNB", 10000, 0, 0, 0, 1, 10, 50, "#0.00", false, false},
    {10, "lblOutVol", 8000, -10000, 0, 0, 10, 50, 200, "0.0", false, false},
    {11, "lblNotchC", 6000, 0, 1000, 1000, 1, 10, 50, "#0", false, true},
    {12, "lblNotchW", 5000, 0, 100, 100, 1, 10, 50, "#0", false, true},
    {13, "lblAGCAttack", 100, 5, 5, 5, 1, 1, 10, "#0.0", false, false},
    {14, "lblAGCDecay", 200, 10, 5, 5, 1, 10, 50, "#0.0", false, false},
    {15, "lblScopeXCentre", 1023, 0, 511, 511, 1, 10, 50, "#,###", false, false},
    {16, nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, false, false},
    {17, "lblIFHi", 6000, 0, 6000, 6000, 1, 10, 50, "#0", true, true},
    {18, "lblIFLo", 6000, 0, 6000, 6000, 1, 10, 50, "#0", true, true},
    {19, "lblSpectrumSmooth", 24, 1, 0, 0, 1, 1, 4, "#0", true, false},
    {20, "lblBFO", 12000, -12000, 0, 0, 1, 20, 100, "#0", true, false},
    {21, "lblY1Bright", 100, 1, 100, 100, 1, 2, 10, "#0", true, false},
    {22, "lblY2Bright", 100, 1, 100, 100, 1, 2, 10, "#0", true, false},
};

} // namespace

CtlArray::CtlArray()
{
    for (int i = 0; i < Size; ++i)
        records_[static_cast<size_t>(i)].Id = 0;
}

const AdjusterDefinition* CtlArray::definition(int id)
{
    for (const AdjusterDefinition& d : Definitions)
        if (d.Id == id)
            return &d;
    return nullptr;
}

void CtlArray::Define(int id, AdjusterLabel* label, std::function<void()> applyProc)
{
    if (const AdjusterDefinition* d = definition(id))
        Define(*d, label, std::move(applyProc));
}

void CtlArray::Define(const AdjusterDefinition& d, AdjusterLabel* label, std::function<void()> applyProc)
{
    Adjuster& r = (*this)[d.Id];
    r.Id = d.Id;
    r.Disabled = d.Disabled;
    r.Max = d.Max;
    r.Min = d.Min;
    r.Default = d.Default;
    r.Value = d.Value;
    r.CtrlStep = d.CtrlStep;
    r.Step = d.Step;
    r.ShiftStep = d.ShiftStep;
    r.Locked = false;
    r.StepText.clear();
    r.ShowValue = d.ShowValue;
    r.FormatText = d.FormatText ? QString::fromLatin1(d.FormatText) : QString();
    r.Control = label;
    r.ApplyProc = std::move(applyProc);
}

QString AdjusterCaption(const Adjuster& record)
{
    return QString::fromStdString(Format(record.Value, record.FormatText.toStdString()));
}

void CtlArray::UpdateCaption(int id)
{
    const Adjuster& r = (*this)[id];
    if (!r.FormatText.isEmpty() && r.ShowValue && r.Control)
        r.Control->SetCaption(AdjusterCaption(r));
}

void CtlArray::WriteCaption(int id)
{
    const Adjuster& r = (*this)[id];
    if (!r.FormatText.isEmpty() && r.Control)
        r.Control->SetCaption(AdjusterCaption(r));
}

void CtlArray::Apply(int id)
{
    // Copy first: an apply procedure may redefine its own record.
    const std::function<void()> proc = (*this)[id].ApplyProc;
    if (proc)
        proc();
}

void CtlArray::StepUp(int id, float step)
{
    Adjuster& r = (*this)[id];
    r.Value += step;
    if (r.Value >= r.Max)
        r.Value = r.Max;
    UpdateCaption(id);
    Apply(id);
}

void CtlArray::StepDown(int id, float step)
{
    Adjuster& r = (*this)[id];
    r.Value -= step;
    if (r.Value <= r.Min)
        r.Value = r.Min;
    UpdateCaption(id);
    Apply(id);
}

void CtlArray::ActivateAdjuster(int16_t& id)
{
    if (activating_)
        return;
    activating_ = true;
    if (id != ActiveAdjuster) {
        if (id < 0)
            id = ActiveAdjuster;
        if (id >= 0 && id < Size) {
            Adjuster& r = (*this)[id];
            if (!r.Disabled) {
                ActiveAdjuster = id;
                if (focusSink)
                    focusSink();
                if (r.Control) {
                    r.Control->SetForeColour(r.FocusColour);
                    if (HiLiteBorder)
                        r.Control->SetBorder(true);
                }
            }
        }
    }
    activating_ = false;
}

void CtlArray::DeactivateAdjuster(std::optional<int16_t> id)
{
    const int16_t which = id.value_or(ActiveAdjuster);
    if (which >= 0 && which < Size) {
        Adjuster& r = (*this)[which];
        if (r.Control) {
            r.Control->SetForeColour(which == BfoId ? TuningColour : r.NormalColour);
            r.Control->SetBorder(false);
        }
    }
    ActiveAdjuster = 0;
}

bool CtlArray::hasLabel(int id)
{
    const AdjusterDefinition* d = definition(id);
    return d && d->labelName;
}

void CtlArray::Form_KeyDown(int16_t KeyCode, int16_t Shift)
{
    const int16_t id = ActiveAdjuster;
    if (id == 1 || id < 0 || id >= Size)
        return;
    Adjuster& r = (*this)[id];
    float step = r.Step;
    if (Shift & ShiftDown)
        step = r.ShiftStep;
    else if (Shift & CtrlDown)
        step = r.CtrlStep;

    // The neighbours wrap within ids 1 to 20; 21 and 22 are reached only by pointing.
    const auto moveTo = [this](int next) {
        DeactivateAdjuster();
        ActiveAdjuster = static_cast<int16_t>(next < 1 ? 20 : (next > 20 ? 1 : next));
        int16_t recorded = -1;
        ActivateAdjuster(recorded);
    };

    switch (KeyCode) {
    case KeyUp:
    case KeyA:
        if (hasLabel(id))
            StepUp(id, step);
        break;
    case KeyDown:
    case KeyZ:
        if (hasLabel(id))
            StepDown(id, step);
        break;
    case KeySpace:
        if (!hasLabel(id))
            break;
        if ((id == 7 || id == 8) && hooks.mainFilterEdge)
            r.Default = hooks.mainFilterEdge(id);
        r.Value = r.Default;
        UpdateCaption(id);
        Apply(id);
        break;
    case KeyLeft:
        moveTo(id - 1);
        break;
    case KeyRight:
        moveTo(id + 1);
        break;
    default:
        break;
    }
}

void CtlArray::LabelMouseDown(int id, int16_t Button)
{
    if (!hasLabel(id))
        return;
    Adjuster& r = (*this)[id];
    if (id == 15) {
        r.Value = r.Default;
        Apply(id);
        return;
    }
    if (id == 13 && Button == LeftButton) {
        ActiveAdjuster = 13;
        return;
    }
    if (Button != RightButton)
        return;

    switch (id) {
    case 6:
    case 10:
    case 11:
    case 12:
    case 19:
        // Their apply procedures write the caption.
        r.Value = r.Default;
        Apply(id);
        return;
    case 7:
    case 8:
        r.Value = hooks.mainFilterEdge ? hooks.mainFilterEdge(id) : r.Default;
        break;
    case 17:
    case 18: {
        const std::optional<float> edge = hooks.ifFilterEdge ? hooks.ifFilterEdge(id) : std::nullopt;
        r.Value = edge.value_or(r.Default);
        break;
    }
    case 9:
        r.Value = r.Default;
        if (hooks.positionNoiseBlankerSlider)
            hooks.positionNoiseBlankerSlider(RoundEven(r.Default));
        Apply(id);
        return;
    case 13:
    case 14:
        if (r.Default <= 0)
            r.Default = (r.Max - r.Min) / 2;
        r.Value = r.Default;
        break;
    default: // 2 to 5, 20 to 22
        r.Value = r.Default;
        break;
    }
    WriteCaption(id);
    Apply(id);
}

void CtlArray::DarkenAll()
{
    for (int16_t id = 0; id < Size; ++id)
        DeactivateAdjuster(id);
}

} // namespace orvik
