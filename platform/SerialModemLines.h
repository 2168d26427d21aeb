#pragma once

#include "platform/ModemLines.h"

namespace orvik {

// A real serial port through termios and the modem-control ioctls.
// Pseudo-terminals have no modem lines: open works, the line calls fail.
// Some USB adapters ignore an indefinite break (TIOCSBRK); the clock line then
// never moves.
class SerialModemLines : public ModemLines {
public:
    SerialModemLines() = default;
    ~SerialModemLines() override;
    SerialModemLines(const SerialModemLines&) = delete;
    SerialModemLines& operator=(const SerialModemLines&) = delete;

    bool open(const QString& devicePath) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    int32_t handle() const override { return fd_ >= 0 ? fd_ + 1 : 0; }

    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool setBreak(bool on) override;
    std::optional<uint32_t> modemStatus() override;

    QString lastError() const override { return lastError_; }
    int lastErrorNumber() const override { return lastErrorNumber_; }

private:
    bool fail(const QString& what);
    bool modemBit(int bit, bool on);

    // -1 is closed: 0 is a valid descriptor and must never be toggled by mistake.
    int fd_ = -1;
    QString lastError_;
    int lastErrorNumber_ = 0;
};

} // namespace orvik
