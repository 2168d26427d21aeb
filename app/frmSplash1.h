#pragma once

#include <QWidget>

class QLabel;

namespace orvik {

// The splash window shown while the band plans load.
class frmSplash1 : public QWidget {
public:
    explicit frmSplash1(QWidget* owner = nullptr);
    QLabel* lblBandPlan = nullptr;
};

} // namespace orvik
