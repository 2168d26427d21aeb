#include "shell/CtlArray.h"

#include "common/Format.h"

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

void CtlArray::DarkenAll()
{
    for (int16_t id = 0; id < Size; ++id)
        DeactivateAdjuster(id);
}

} // namespace orvik
