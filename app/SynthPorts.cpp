#include "app/SynthPorts.h"

#include "platform/FileRecordingModemLines.h"
#include "platform/FileRecordingParallelPort.h"
#include "platform/PortRecordFile.h"
#include "platform/PpdevParallelPort.h"
#include "platform/SerialModemLines.h"

namespace orvik {

SynthPorts MakeSynthPorts()
{
    SynthPorts ports;
    const QString record = synthPortRecordPath();
    if (record.isEmpty()) {
        ports.serial = std::make_unique<SerialModemLines>();
        ports.parallel = std::make_unique<PpdevParallelPort>();
        return ports;
    }
    auto file = std::make_shared<PortRecordFile>(record);
    ports.serial = std::make_unique<FileRecordingModemLines>(file);
    ports.parallel = std::make_unique<FileRecordingParallelPort>(file);
    return ports;
}

} // namespace orvik
