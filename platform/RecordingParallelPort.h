#pragma once

#include "platform/DeviceAccess.h"
#include "platform/ParallelPort.h"

#include <cerrno>
#include <vector>

namespace orvik {

// Test double: keeps every data-register write with its address.
class RecordingParallelPort : public ParallelPort {
public:
    struct Write {
        uint16_t address;
        uint8_t value;
    };

    bool writeData(uint16_t address, uint8_t value) override
    {
        if (refuse) {
            ++refusedWrites;
            return false;
        }
        writes.push_back({address, value});
        return true;
    }
    void setDevicePath(const QString& devicePath) override { this->devicePath = devicePath; }
    QString lastError() const override
    {
        return refuse ? refusedDevice + QStringLiteral(": ") + systemErrorText(refusedErrorNumber) : QString();
    }
    int lastErrorNumber() const override { return refuse ? refusedErrorNumber : 0; }
    QString lastDevicePath() const override { return refuse ? refusedDevice : QString(); }

    std::vector<uint8_t> values() const
    {
        std::vector<uint8_t> v;
        for (const Write& w : writes)
            v.push_back(w.value);
        return v;
    }

    std::vector<Write> writes;
    QString devicePath;
    bool refuse = false;
    QString refusedDevice = QStringLiteral("/dev/parport0");
    int refusedErrorNumber = EACCES;
    int refusedWrites = 0;
};

} // namespace orvik
