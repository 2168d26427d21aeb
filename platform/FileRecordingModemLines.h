#pragma once

#include "platform/ModemLines.h"

#include <memory>

namespace orvik {

class PortRecordFile;

// A serial port without hardware: every open, close and line change is appended to a
// record file as "serial open PATH", "serial close", "serial dtr 0|1", "serial rts 0|1"
// or "serial break 0|1". Any path opens; CTS and DSR read as off.
class FileRecordingModemLines : public ModemLines {
public:
    explicit FileRecordingModemLines(std::shared_ptr<PortRecordFile> file);

    bool open(const QString& devicePath) override;
    void close() override;
    bool isOpen() const override { return open_; }
    int32_t handle() const override { return open_ ? 1 : 0; }
    bool setDtr(bool on) override { return line("dtr", on); }
    bool setRts(bool on) override { return line("rts", on); }
    bool setBreak(bool on) override { return line("break", on); }
    std::optional<uint32_t> modemStatus() override;
    QString lastError() const override { return {}; }

private:
    bool line(const char* name, bool on);

    std::shared_ptr<PortRecordFile> file_;
    bool open_ = false;
};

} // namespace orvik
