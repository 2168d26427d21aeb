#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace orvik {

class ModemLines;
class ModemLineWatcher;
class ParallelPort;
class SettingsStore;
class SynthDriver;
class clsAD9835;
class clsAD9951;
class clsDDSParallelIF;
class clsDDSSerialIF;
class clsVFO;

// The synthesizer side of the receiver as start-up wires it. Members are
// released in reverse order, which is the shut-down order: VFO, AD9835,
// AD9951, serial interface (closes its port), parallel interface; each saves
// its settings as it goes.
struct SynthesizerRig {
    SynthesizerRig();
    ~SynthesizerRig();
    SynthesizerRig(SynthesizerRig&&) noexcept;
    // Releases what this rig held (in shut-down order) before taking over.
    SynthesizerRig& operator=(SynthesizerRig&& other) noexcept;

    // Shut-down: every object saves its settings as it is released.
    void release();

    std::unique_ptr<ModemLines> serialLines;
    std::unique_ptr<ParallelPort> parallelPort;
    std::unique_ptr<clsDDSParallelIF> DDSParallelIF;
    std::unique_ptr<clsDDSSerialIF> DDSSerialIF;
    std::unique_ptr<clsAD9951> DDSAD9951;
    std::unique_ptr<clsAD9835> DDSAD9835;
    std::unique_ptr<clsVFO> VFO;

    int32_t IFType = 0;
    bool EnableShaftEncoder = false;
    int32_t SDRModelNo = 0;
    // False for an SDRModelNo without a board: the VFO then has no chip.
    bool modelKnown = false;
};

// Creates the port interfaces, opens the serial port when "VFO1.IFType" is 0,
// and sets up the VFO and the chip of "SDRModelNo", reading those keys and
// "EnableShaftEncoder" from mainSection. Failures are shown through the
// message service and set-up goes on. The watcher, when given, receives the
// knob's line changes in event mode and must outlive the rig's serial port.
SynthesizerRig SetUpSynthesizer(SettingsStore& store, const QString& mainSection,
                                std::unique_ptr<ModemLines> serialLines,
                                std::unique_ptr<ParallelPort> parallelPort,
                                ModemLineWatcher* MSComm1 = nullptr);

} // namespace orvik
