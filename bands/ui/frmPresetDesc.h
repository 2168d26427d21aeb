#pragma once

#include <QWidget>

class QLabel;

namespace orvik {

// The floating description window of the preset and sub-band buttons.
class frmPresetDesc : public QWidget {
public:
    explicit frmPresetDesc(QWidget* owner);
    void Form_Load();

    QLabel* lblCaption = nullptr;
    QLabel* lblPresetDesc = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

} // namespace orvik
