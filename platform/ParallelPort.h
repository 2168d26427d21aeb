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
    // The system's error number behind lastError(), 0 when none applies, and the
    // device it concerns.
    virtual int lastErrorNumber() const { return 0; }
    virtual QString lastDevicePath() const { return {}; }
};

// The /dev/parportN whose base address (from procRoot/parportN/base-addr) is
// the given one; else 0x378, 0x278 and 0x3BC map to parport0, 1 and 2; else empty.
QString parallelDevicePath(uint16_t address,
                           const QString& procRoot = QStringLiteral("/proc/sys/dev/parport"));

// The device a port address reaches, for showing where the port is chosen: devicePath
// when one is configured, else the lookup above, with " (not present)" when there is no
// such node (looked for under devRoot); empty when no device maps to the address.
QString parallelDeviceText(uint16_t address, const QString& devicePath,
                           const QString& devRoot = QStringLiteral("/dev"),
                           const QString& procRoot = QStringLiteral("/proc/sys/dev/parport"));

} // namespace orvik
