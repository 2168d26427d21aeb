#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvik {

class SettingsStore;
class clsVFO;

// Corrects the synthesizer's clock against a station of known frequency: the clock at
// which the tuning word now in the chip gives exactly the typed official frequency.
// Modal; the caller reads ApplyChanges afterwards. Try and Apply stay disabled until a
// usable clock has been computed.
class frmCalibrate : public QDialog {
public:
    // An applied clock is also stored for the next start when a store is given.
    frmCalibrate(clsVFO& vfo, SettingsStore* store, QWidget* parent = nullptr);

    bool ApplyChanges = false;

    void txtOfficialFreq_Change(const QString& text);
    void cmdTry_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

    std::optional<double> newClock() const { return newClock_; }

protected:
    // Closing the window or Escape is a Cancel.
    void reject() override;

private:
    void Form_Load();

    clsVFO& vfo_;
    SettingsStore* store_;
    std::optional<double> newClock_;
    double entryClock_ = 0;
    int32_t tunedFrequency_ = 0;
    int32_t officialFrequency_ = 0;
    int32_t IF_ = 0;
    int32_t tuningWord_ = 0;
    bool closing_ = false;

    QLabel* lblCurrentTunedFreq_ = nullptr;
    QLabel* lblDDSClkInCurrent_ = nullptr;
    QLineEdit* txtOfficialFreq_ = nullptr;
    QLabel* lblDDSClkinNew_ = nullptr;
    QPushButton* cmdTry_ = nullptr;
    QPushButton* cmdApply_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace orvik
