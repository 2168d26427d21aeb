#include "platform/RecordingModemLines.h"

#include "platform/DeviceAccess.h"

namespace orvik {

bool RecordingModemLines::open(const QString& devicePath)
{
    const bool ok = !refuseOpen && !devicePath.isEmpty();
    log.push_back({Op::Open, ok, open_, devicePath});
    lastErrorNumber_ = ok ? 0 : refusedErrorNumber;
    lastError_ = ok ? QString() : devicePath + QStringLiteral(": ") + systemErrorText(refusedErrorNumber);
    open_ = open_ || ok;
    return ok;
}

void RecordingModemLines::close()
{
    log.push_back({Op::Close, false, open_, QString()});
    open_ = false;
}

bool RecordingModemLines::line(Op op, bool on)
{
    log.push_back({op, on, open_, QString()});
    if (!open_ || failLinesWith == 0)
        return open_;
    const char* name = op == Op::Dtr ? "DTR" : op == Op::Rts ? "RTS" : "break";
    lastErrorNumber_ = failLinesWith;
    lastError_ = QLatin1String(name) + QStringLiteral(": ") + systemErrorText(failLinesWith);
    return false;
}

std::optional<uint32_t> RecordingModemLines::modemStatus()
{
    if (!open_)
        return std::nullopt;
    if (failStatusRead) {
        lastErrorNumber_ = EIO;
        lastError_ = QStringLiteral("modem status: ") + systemErrorText(EIO);
        return std::nullopt;
    }
    if (!statusQueue.empty()) {
        const uint32_t s = statusQueue.front();
        statusQueue.pop_front();
        return s;
    }
    return status;
}

} // namespace orvik
