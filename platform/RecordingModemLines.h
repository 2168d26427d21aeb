#pragma once

#include "platform/ModemLines.h"

#include <cerrno>
#include <deque>
#include <vector>

namespace orvik {

// Test double for a serial port: records every call in order, lets a test
// refuse the open and drive the modem-status inputs.
class RecordingModemLines : public ModemLines {
public:
    enum class Op { Open, Close, Dtr, Rts, Break, EventPass };
    struct Entry {
        Op op;
        bool on;        // level for Dtr/Rts/Break, success for Open
        bool wasOpen;   // whether the port was open when the call arrived
        QString path;   // Open only
    };

    bool open(const QString& devicePath) override;
    void close() override;
    bool isOpen() const override { return open_; }
    int32_t handle() const override { return open_ ? 7 : 0; }

    bool setDtr(bool on) override { return line(Op::Dtr, on); }
    bool setRts(bool on) override { return line(Op::Rts, on); }
    bool setBreak(bool on) override { return line(Op::Break, on); }
    std::optional<uint32_t> modemStatus() override;

    QString lastError() const override { return lastError_; }
    int lastErrorNumber() const override { return lastErrorNumber_; }

    // A test's event pump calls this so that passes show up between line changes.
    void recordEventPass() { log.push_back({Op::EventPass, false, open_, QString()}); }

    std::vector<Entry> log;
    bool refuseOpen = false;
    // The system error a refused open reports.
    int refusedErrorNumber = ENOENT;
    // Non-zero: every line change on the open port fails with this system error, as on a
    // device without modem lines (ENOTTY) or an adapter pulled out (EIO).
    int failLinesWith = 0;
    // The status read fails as from an adapter pulled out (EIO).
    bool failStatusRead = false;
    uint32_t status = 0;
    // Statuses returned by successive reads before falling back to `status`.
    std::deque<uint32_t> statusQueue;

private:
    bool line(Op op, bool on);

    bool open_ = false;
    QString lastError_;
    int lastErrorNumber_ = 0;
};

} // namespace orvik
