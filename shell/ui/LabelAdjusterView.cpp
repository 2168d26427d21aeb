#include "shell/ui/LabelAdjusterView.h"

#include "shell/widgets/ControlFactory.h"

#include <QLabel>

namespace orvik {

void LabelAdjusterView::SetCaption(const QString& caption) { label_->setText(caption); }

QString LabelAdjusterView::Caption() const { return label_->text(); }

void LabelAdjusterView::SetForeColour(uint32_t designColour) { setTextColour(label_, designColour); }

void LabelAdjusterView::SetBorder(bool fixedSingle)
{
    label_->setFrameStyle(fixedSingle ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
}

} // namespace orvik
