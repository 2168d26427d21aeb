#pragma once

#include "shell/Adjuster.h"

class QLabel;

namespace orvik {

// An adjuster's value label on the main window.
class LabelAdjusterView : public AdjusterLabel {
public:
    explicit LabelAdjusterView(QLabel* label) : label_(label) {}
    void SetCaption(const QString& caption) override;
    QString Caption() const override;
    void SetForeColour(uint32_t designColour) override;
    void SetBorder(bool fixedSingle) override;
    QLabel* label() const { return label_; }

private:
    QLabel* label_;
};

} // namespace orvik
