#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace orvik {

// Modem-status bits as the encoder code reads them (the Windows layout).
inline constexpr uint32_t ModemStatusCts = 0x10;
inline constexpr uint32_t ModemStatusDsr = 0x20;
inline constexpr uint32_t ModemStatusRing = 0x40;
inline constexpr uint32_t ModemStatusDcd = 0x80;

// The control lines of one serial port, used without any UART data: DTR, RTS
// and break on TXD are driven, CTS/DSR/RING/DCD are read.
class ModemLines {
public:
    virtual ~ModemLines() = default;

    // Exclusive open; false with lastError() set when the device cannot be used.
    virtual bool open(const QString& devicePath) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // A positive token for the open port, 0 when closed.
    virtual int32_t handle() const = 0;

    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    virtual bool setBreak(bool on) = 0;
    // CTS 0x10, DSR 0x20, RING 0x40, DCD 0x80; nullopt when closed or the read fails.
    virtual std::optional<uint32_t> modemStatus() = 0;

    virtual QString lastError() const = 0;
    // The system's error number behind lastError(), 0 when none applies.
    virtual int lastErrorNumber() const { return 0; }
};

// COM port number N is /dev/ttyS{N-1}; an empty text for numbers below 1.
QString serialDevicePath(int32_t portNumber);

} // namespace orvik
