#pragma once

#include <QString>
#include <cstdint>

namespace orvik {

// The data register of a PC parallel port, addressed the classic way by its
// I/O address (0x378, 0x278, 0x3BC) unless a device path is configured.
class ParallelPort {
public:
    virtual ~ParallelPort() = default;

    // One byte to the data register; false when the port cannot be reached
    // (lastError() says why).
    virtual bool writeData(uint16_t address, uint8_t value) = 0;
    // An explicit device (/dev/parportN) in place of the address lookup; empty
    // restores the lookup.
    virtual void setDevicePath(const QString& devicePath) = 0;
    virtual QString lastError() const = 0;
};

// The /dev/parportN whose base address (from procRoot/parportN/base-addr) is
// the given one; else 0x378, 0x278 and 0x3BC map to parport0, 1 and 2; else empty.
QString parallelDevicePath(uint16_t address,
                           const QString& procRoot = QStringLiteral("/proc/sys/dev/parport"));

} // namespace orvik
