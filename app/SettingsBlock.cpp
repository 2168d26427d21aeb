#include "app/SettingsBlock.h"


#include "common/Numeric.h"
#include "common/ReentryGuard.h"
#include "platform/Log.h"
#include "receiver/ReceiverAdjust.h"
#include "shell/CtlArray.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvik {

namespace {

template <typename Row, size_t N>
const Row& rowAt(const std::array<Row, N>& table, int32_t index)
{
    return table[static_cast<size_t>(std::clamp<int32_t>(index, 0, static_cast<int32_t>(N) - 1))];
}

int32_t roundToInt(float value)
{
    return RoundEvenChecked(static_cast<double>(value)).value_or(value < 0 ? std::numeric_limits<int32_t>::min()
                                                                           : std::numeric_limits<int32_t>::max());
}

} // namespace

SettingsBlock::SettingsBlock(ReceiverHandlers& handlers, CtlArray& adjusters, Hooks hooks)
    : handlers_(handlers), ctl_(adjusters), hooks_(std::move(hooks))
{
}

void SettingsBlock::CaptureSettingsBlock(RxSettings& block)
{
    const PublicVars& v = handlers_.vars();
    block.Captured = true;
    if (hooks_.TunedFrequency)
        block.FreqCurrent = RoundEven(static_cast<double>(hooks_.TunedFrequency()) / 10.0);
    block.HiSideLO = v.HiSideLO;
    block.LowSideLO = !v.HiSideLO;
    block.FilterMode = v.FilterMode;
    block.FilterHi = v.FilterHi;
    block.FilterLo = v.FilterLo;
    block.DynFilterActive = v.DynFilterActive;
    block.MusicModeActive = v.MusicModeActive;
    block.IFFilterActive = v.IFFilterActive;
    block.IFFilterMode = v.IFFilterMode;
    block.IFFilterHi = v.IFFilterHi;
    block.IFFilterLo = v.IFFilterLo;
    block.AGCMode = v.AGCMode;
    block.AGCOn = v.AGCOn;
    block.NotchActive = v.NotchActive;
    block.NotchMode = v.NotchMode;
    block.NotchType = v.NotchType;
    block.DemodMode = v.DemodMode;
    const AGCSetting& agc = rowAt(v.AGCTable, v.AGCMode);
    block.AGCAttack = static_cast<float>(agc.Attack);
    block.AGCDecay = static_cast<float>(agc.Decay);
    block.NotchFilterCenter = roundToInt(ctl_[rxadj::NotchC].Value);
    block.NotchFilterWidth = roundToInt(ctl_[rxadj::NotchW].Value);
    block.OutputAttenuation = ctl_[rxadj::OutVol].Value;
}

void SettingsBlock::setBoxRaisingClick(RxWidget box, bool checked)
{
    // A check box raises its click only when its value changes.
    if (handlers_.box(box) != checked)
        handlers_.clickBox(box, checked);
}

void SettingsBlock::applyEdge(int id, int32_t value, int32_t fallback)
{
    ctl_[id].Value = static_cast<float>(value >= 0 ? value : fallback);
    ctl_.Apply(id);
    ctl_.WriteCaption(id);
}

void SettingsBlock::ApplySettingsBlock(const RxSettings& block)
{
    ReentryGuard guard(ApplyingSettings);
    if (guard.reentered())
        return;
    PublicVars& v = handlers_.vars();
    ReceiverHandlers& h = handlers_;

    // A block without a frequency (a sub-band that has only a range) leaves the tuning
    // alone, and so does one whose frequency has no place in tenths of a hertz.
    const int64_t tenths = static_cast<int64_t>(block.FreqCurrent) * 10;
    if (block.FreqCurrent < 1) {
        // nothing to tune to
    } else if (tenths > std::numeric_limits<int32_t>::max()) {
        AddLog(QStringLiteral("SettingsBlock:ApplySettingsBlock:frequency %1 Hz is beyond the tuning range; kept")
                   .arg(block.FreqCurrent));
    } else if (hooks_.setTunedFrequency) {
        hooks_.setTunedFrequency(static_cast<int32_t>(tenths));
    }
    if (hooks_.Display7Seg)
        hooks_.Display7Seg();
    if (hooks_.chkTuneLo)
        hooks_.chkTuneLo(block.LowSideLO);

    h.optMode_Click(block.DemodMode);
    h.optFilter_Click(block.FilterMode);
    if (h.box(RxWidget::chkMusic))
        h.clickBox(RxWidget::chkMusic, false);
    if (block.MusicModeActive)
        h.clickBox(RxWidget::chkMusic, true);
    setBoxRaisingClick(RxWidget::chkDynFilter, block.DynFilterActive);

    const FilterSetting& filter = rowAt(v.FilterTable, v.FilterMode);
    applyEdge(rxadj::FilterHi, block.FilterHi, filter.Hi);
    applyEdge(rxadj::FilterLo, block.FilterLo, filter.Lo);

    h.clickBox(RxWidget::chkIFFilter, block.IFFilterActive);
    h.optIFFilter_Click(block.IFFilterMode);
    const FilterSetting& ifRow = CurrentIFRow(v);
    applyEdge(rxadj::IFHi, block.IFFilterHi, ifRow.CurrentHi);
    applyEdge(rxadj::IFLo, block.IFFilterLo, ifRow.CurrentLo);

    h.clickBox(RxWidget::chkNotchOn, block.NotchActive);
    h.clickBox(RxWidget::chkNotchType, block.NotchType != 0);
    h.optNotch_Click(block.NotchMode);
    ctl_[rxadj::NotchC].Value = static_cast<float>(block.NotchFilterCenter);
    ctl_.Apply(rxadj::NotchC);
    ctl_.WriteCaption(rxadj::NotchC);
    // A hand-edited width outside what the adjuster offers is held to its range.
    const Adjuster& width = ctl_[rxadj::NotchW];
    ctl_[rxadj::NotchW].Value =
        std::clamp(static_cast<float>(block.NotchFilterWidth), width.Min, std::max(width.Min, width.Max));
    ctl_.Apply(rxadj::NotchW);
    ctl_.WriteCaption(rxadj::NotchW);

    if (block.AGCMode < 0) {
        h.optAGC_Click(AGCModeBeforePreset == 0 ? 1 : AGCModeBeforePreset);
    } else {
        setBoxRaisingClick(RxWidget::chkAGC, block.AGCOn);
        if (v.AGCMode < 4) {
            AGCModeBeforePreset = v.AGCMode;
            v.AGCMode = 4;
        }
        AGCSetting& row = v.AGCTable[4];
        row.Attack = roundToInt(block.AGCAttack);
        row.Decay = roundToInt(block.AGCDecay);
        h.optAGC_Click(4);
        ctl_[rxadj::AGCAttack].Value = block.AGCAttack;
        ctl_[rxadj::AGCDecay].Value = block.AGCDecay;
    }
    h.lblAGCAttack_Wheel();
    h.lblAGCDecay_Wheel();

    ctl_[rxadj::OutVol].Value = block.OutputAttenuation;
    ctl_.Apply(rxadj::OutVol);

    if (hooks_.NewLogRecord)
        hooks_.NewLogRecord(hooks_.TunedFrequency ? hooks_.TunedFrequency() : 0);
}

} // namespace orvik
