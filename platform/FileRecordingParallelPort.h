#pragma once

#include "platform/ParallelPort.h"

#include <memory>

namespace orvik {

class PortRecordFile;

// A parallel port without hardware: every data-register write is appended to a record
// file as "parallel ADDRESS VALUE", both in hexadecimal ("parallel 0x378 0x05").
class FileRecordingParallelPort : public ParallelPort {
public:
    explicit FileRecordingParallelPort(std::shared_ptr<PortRecordFile> file);

    bool writeData(uint16_t address, uint8_t value) override;
    void setDevicePath(const QString&) override {}
    QString lastError() const override { return {}; }

private:
    std::shared_ptr<PortRecordFile> file_;
};

} // namespace orvik
