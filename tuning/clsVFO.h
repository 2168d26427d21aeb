#pragma once

#include <QString>
#include <cstdint>

namespace orvik {

class SettingsStore;
class SynthDriver;

// The receiver's tuning: holds the tuned frequency and turns it into the
// synthesizer's output (IF, injection side, calibration offset, multiplier).
// Frequencies in 0.1 Hz except IFFrequency and CalibOffset, which are in Hz.
class clsVFO {
public:
    explicit clsVFO(SettingsStore& store);
    // Saves the settings under Name.
    ~clsVFO();
    clsVFO(const clsVFO&) = delete;
    clsVFO& operator=(const clsVFO&) = delete;

    SynthDriver* OscType() const { return OscType_; }
    void setOscType(SynthDriver* driver) { OscType_ = driver; }

    // Always within 0 .. the chip's limit once the chip is known, even when the
    // stored value was not.
    int32_t TunedFrequency() const;
    // |value|, capped at MaxFreq - 10 x IFFrequency and at what the nine-digit
    // display shows, then sent to the chip. Dropped while an earlier assignment is
    // still sending.
    void setTunedFrequency(int32_t value);
    // The highest tunable frequency, or -1 while no chip with a clock is set.
    int64_t TunedFrequencyLimit() const;

    int32_t IFFrequency() const;
    void setIFFrequency(int32_t hertz);
    int32_t CalibOffset() const;
    void setCalibOffset(int32_t hertz);

    bool HiSideLO() const { return HiSideLO_; }
    void setHiSideLO(bool value) { HiSideLO_ = value; }
    bool AutoUpdate() const { return AutoUpdate_; }
    void setAutoUpdate(bool value) { AutoUpdate_ = value; }
    int32_t OscMultiplier() const { return OscMultiplier_; }
    void setOscMultiplier(int32_t value) { OscMultiplier_ = value; }
    int32_t OscOut() const { return OscOut_; }
    void setOscOut(int32_t value) { OscOut_ = value; }
    int32_t DDSInterfaceType() const { return DDSInterfaceType_; }
    void setDDSInterfaceType(int32_t value) { DDSInterfaceType_ = value; }
    QString Name() const { return Name_; }
    void setName(const QString& name) { Name_ = name; }

    double TuneStep() const { return TuneStep_; }
    // Sets the step and the snapping grid to the same value (the grid uncapped).
    void setTuneStep(double value);
    double TuneStepLSD() const { return TuneStepLSD_; }
    // At most 10000.
    void setTuneStepLSD(double value);
    bool TuneStepLock() const { return TuneStepLock_; }
    void setTuneStepLock(bool value) { TuneStepLock_ = value; }

    // Nine digits with leading zeros.
    QString FormattedTunedFreq() const;

    // Recomputes OscOut and hands it to the chip.
    void Refresh();
    // Snaps to the TuneStepLSD grid, adds the step (TuneStep when 0) and
    // returns the new tuned frequency. Each step sends the chip its word twice.
    double Inc_Freq(double Increment);
    double Dec_Freq(double Decrement);
    // Adds the step to the present frequency, then snaps onto the TuneStepLSD grid in
    // the step's direction, so a step smaller than the grid still moves. Sends as
    // Inc_Freq does; returns the new tuned frequency.
    double StepToGrid(double step);

    void RestoreSettings();
    void SaveSettings();

private:
    void storeTunedFrequency(int64_t value);

    SettingsStore& store_;
    SynthDriver* OscType_ = nullptr;
    int32_t TunedFrequency_ = 100000000;
    int32_t IFFrequency_ = 0;  // 0.1 Hz
    int32_t CalibOffset_ = 0;  // 0.1 Hz
    bool HiSideLO_ = true;
    int32_t OscOut_ = 0;
    int32_t OscMultiplier_ = 1;
    bool AutoUpdate_ = false;
    double TuneStep_ = 0;
    double TuneStepLSD_ = 0;
    QString Name_;
    int32_t DDSInterfaceType_ = 0;
    bool TuneStepLock_ = false;
    bool assigning_ = false;
};

} // namespace orvik
