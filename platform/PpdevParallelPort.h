#pragma once

#include "platform/ParallelPort.h"

namespace orvik {

// Linux ppdev: the port is opened and claimed on the first write and again
// after the address or device changes. Needs membership of group lp.
class PpdevParallelPort : public ParallelPort {
public:
    PpdevParallelPort() = default;
    ~PpdevParallelPort() override;
    PpdevParallelPort(const PpdevParallelPort&) = delete;
    PpdevParallelPort& operator=(const PpdevParallelPort&) = delete;

    bool writeData(uint16_t address, uint8_t value) override;
    void setDevicePath(const QString& devicePath) override;
    QString lastError() const override { return lastError_; }
    int lastErrorNumber() const override { return lastErrorNumber_; }
    QString lastDevicePath() const override { return lastDevicePath_; }

private:
    bool openFor(uint16_t address);
    void release();

    int fd_ = -1;
    bool tried_ = false;  // an open was attempted for the current address/device
    uint16_t address_ = 0;
    QString devicePath_;
    QString lastError_;
    int lastErrorNumber_ = 0;
    QString lastDevicePath_;
};

} // namespace orvik
