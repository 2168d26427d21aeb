#pragma once

#include "tuning/SynthDriver.h"

namespace orvik {

class SettingsStore;

// AD9835 DDS of the DRM receiver board: 16-bit command words, one frame each,
// through either port interface. Keeps its clock in the settings store.
class clsAD9835 final : public SynthDriver {
public:
    // Reads the clock stored under "clsAD9835".
    explicit clsAD9835(SettingsStore& store);
    // Writes the clock under the present Name.
    ~clsAD9835() override;
    clsAD9835(const clsAD9835&) = delete;
    clsAD9835& operator=(const clsAD9835&) = delete;

    // Loads the stored clock of section Name; sends nothing.
    int32_t Initialise() override;
    // The seven-word frequency load. The whole load holds CMDOutActive, so a
    // refresh fired between two of its words waits instead of resetting the chip.
    int32_t SetFrequency(int32_t FrequencyToSet) override;
    // Reset, release and sync words, then an empty frame; never the frequency.
    void Refresh() override;
    void SaveSettings();

private:
    void loadStoredClock(const QString& section);
    void sendFrame(uint16_t word);
    bool reportMissingInterface();

    SettingsStore& store_;
    bool interfaceMissingReported_ = false;
};

} // namespace orvik
