#pragma once

#include <memory>

namespace orvik {

class ModemLines;
class ParallelPort;

// The ports the synthesizer is loaded through: the machine's serial and parallel ports,
// or, with ORVIKSDR_SYNTH_PORT=record:FILE, stand-ins that append every line change and
// data write to FILE (the interface type in the settings decides which one the chip uses).
struct SynthPorts {
    std::unique_ptr<ModemLines> serial;
    std::unique_ptr<ParallelPort> parallel;
};
SynthPorts MakeSynthPorts();

} // namespace orvik
