#include "receiver/ReceiverModes.h"

namespace orvik {

bool SetDemodMode(ReceiverHandlers& h, int32_t mode)
{
    if (mode < kDemodAM || mode > kDemodBC)
        return false;
    h.optMode_Click(mode);
    return true;
}

bool SelectFilterPreset(ReceiverHandlers& h, int32_t index)
{
    if (index < 0 || index > 4)
        return false;
    h.optFilter_Click(index);
    return true;
}

bool SetIFFilter(ReceiverHandlers& h, bool active, int32_t mode)
{
    if (mode < 0 || mode > 2)
        return false;
    h.clickBox(RxWidget::chkIFFilter, active);
    if (active)
        h.optIFFilter_Click(mode);
    return true;
}

bool SetNotch(ReceiverHandlers& h, bool active, int32_t mode, int32_t type, float centre, float width)
{
    if (mode < 0 || mode > 1 || type < 0 || type > 1)
        return false;
    h.clickBox(RxWidget::chkNotchOn, active);
    if (!active)
        return true;
    h.optNotch_Click(mode);
    if (h.box(RxWidget::chkNotchType) != (type == 1))
        h.clickBox(RxWidget::chkNotchType, type == 1);
    h.adjusters().Value(rxadj::NotchW) = width;
    h.lblNotchW_Wheel();
    h.adjusters().Value(rxadj::NotchC) = centre;
    h.lblNotchC_Wheel();
    return true;
}

bool SetAGC(ReceiverHandlers& h, bool on, int32_t mode)
{
    if (mode < 0 || mode > 4)
        return false;
    h.clickBox(RxWidget::chkAGC, true);
    h.optAGC_Click(mode);
    if (!on)
        h.clickBox(RxWidget::chkAGC, false);
    return true;
}

void SetDynamicFilter(ReceiverHandlers& h, bool active) { h.clickBox(RxWidget::chkDynFilter, active); }

void SetNoiseReduction(ReceiverHandlers& h, bool on, float threshold)
{
    h.clickBox(RxWidget::chkNB, on);
    ReceiverAdjusters& a = h.adjusters();
    a.Value(rxadj::NB) = threshold * (a.Max(rxadj::NB) - a.Min(rxadj::NB)) * 5;
    h.lblNB_Wheel();
}

void SetBFO(ReceiverHandlers& h, float bfo)
{
    h.adjusters().Value(rxadj::BFO) = bfo;
    h.lblBFO_Wheel();
}

void SetOutputLevel(ReceiverHandlers& h, float value)
{
    h.adjusters().Value(rxadj::OutVol) = value;
    h.lblOutVol_Wheel();
}

} // namespace orvik
