#pragma once

#include "bands/Preset.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvik {

// The preset editor: description, frequency, date and time, demodulation, filter and the
// tune-image box of one preset. Works on the hand-over record; sets saved only on Save.
class frmEditUserPreset : public QDialog {
public:
    frmEditUserPreset(QWidget* owner, Preset& record, bool& saved, const QString& title,
                      const QString& buttonCaption);

    void Form_Load();
    void cmdSave_Click();
    void cmdCancel_Click();

    std::array<QLineEdit*, 4> txtPresetValues{};
    std::array<QRadioButton*, 4> optDemodulationValue{};
    std::array<QRadioButton*, 5> optFilteringValues{};
    QCheckBox* chkPresetTuneImage = nullptr;
    QLabel* lblPresetIndex = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    Preset& record_;
    bool& saved_;
    QString title_;
    QString buttonCaption_;
};

} // namespace orvik
