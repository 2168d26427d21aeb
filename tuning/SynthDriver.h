#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace orvik {

class SettingsStore;
class SynthPortInterface;

// A DDS synthesizer chip as the VFO, the periodic refresh and the
// configuration and calibration dialogs see it. Frequencies in 0.1 Hz, the
// clock (ClkIn) in Hz.
class SynthDriver {
public:
    virtual ~SynthDriver() = default;

    // Highest accepted frequency (half the clock), 0.1 Hz; 0 until ClkIn is set.
    int32_t MaxFreq() const { return MaxFreq_; }
    // True while a command is being shifted out; the periodic refresh skips then.
    bool CMDOutActive() const { return CMDOutActive_; }

    // Whole hertz.
    double ClkIn() const;
    // A clock of 0 Hz or less (or not a number) is refused and the old one kept.
    void setClkIn(double hertz);

    SynthPortInterface* IFHandler() const { return IFHandler_; }
    virtual void setIFHandler(SynthPortInterface* port) { IFHandler_ = port; }

    QString Name() const { return Name_; }
    void setName(const QString& name) { Name_ = name; }
    int32_t OscOut() const { return OscOut_; }
    void setOscOut(int32_t value) { OscOut_ = value; }
    int32_t CurrentTuningWord() const { return CurrentTuningWord_; }

    virtual int32_t Initialise() = 0;
    // Returns the frequency used (clamped to MaxFreq). A request that arrives
    // while a transfer is running is kept and sent when that transfer ends.
    virtual int32_t SetFrequency(int32_t FrequencyToSet) = 0;
    virtual void Refresh() = 0;

    // The 32-bit tuning word for a frequency: f x 2^32 / clock, half to even,
    // saturated at 2^31 - 1 (the chip's top register value, not a wrap to 2).
    int32_t TuningWordFor(int32_t frequency) const;

protected:
    explicit SynthDriver(QString name, double systemClock);

    int32_t clampFrequency(int32_t frequency) const;
    void showClockMessage() const;
    // Sends a kept request once no transfer is running any more.
    void sendPendingFrequency();

    double tuningFactor_ = 0;
    double systemClock_;  // 0.1 Hz
    int32_t MaxFreq_ = 0;
    bool CMDOutActive_ = false;
    bool settingFrequency_ = false;
    bool initialising_ = false;
    std::optional<int32_t> pendingFrequency_;
    SynthPortInterface* IFHandler_ = nullptr;
    QString Name_;
    int32_t OscOut_ = 0;
    int32_t CurrentTuningWord_ = 0;
};

// A chip's clock kept in the settings store, section = the chip's Name, key "ClkIn", in
// hertz. A missing key reads as whenMissing; a text that is no clock above 0 Hz is logged
// and reads as nothing.
std::optional<double> StoredClock(const SettingsStore& store, const QString& section,
                                  std::optional<double> whenMissing = std::nullopt);
// Keeps the chip's clock for the next start (nothing for a chip without a name or clock).
void StoreClock(SettingsStore& store, const SynthDriver& chip);

} // namespace orvik
