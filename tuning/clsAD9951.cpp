#include "tuning/clsAD9951.h"

#include "tuning/SynthPortInterface.h"

namespace orvik {

namespace {
// Instruction 0x00: control function register 1.
const QByteArray controlOneCommand("\x00\x00\x00\x02\x02", 5);
} // namespace

clsAD9951::clsAD9951()
    : SynthDriver(QStringLiteral("clsAD9951"), 360096000.0)
{
}

QByteArray clsAD9951::controlTwoCommand() const
{
    // 0x47: reference multiplier 8, high VCO range, charge pump 11. The 200
    // compares hertz where megahertz were meant, so every real clock gives 0x47.
    const char range = ClkIn() > 200 ? '\x47' : '\x43';
    QByteArray command("\x01\x00\x00", 3);
    command.append(range);
    return command;
}

void clsAD9951::SendBytes(const QByteArray& command)
{
    if (CMDOutActive_)
        return;
    CMDOutActive_ = true;
    if (IFHandler_) {
        IFHandler_->IOUPD(0);
        for (const char byte : command)
            IFHandler_->Send(static_cast<uint8_t>(byte));
        // The rising I/O update makes the chip take the register over.
        IFHandler_->IOUPD(1);
    }
    CMDOutActive_ = false;
    sendPendingFrequency();
}

int32_t clsAD9951::Initialise()
{
    if (initialising_)
        return 0;
    initialising_ = true;
    SendBytes(controlOneCommand);
    SendBytes(controlTwoCommand());
    initialising_ = false;
    return 0;
}

int32_t clsAD9951::SetFrequency(int32_t FrequencyToSet)
{
    const int32_t f = clampFrequency(FrequencyToSet);
    if (settingFrequency_ || CMDOutActive_) {
        pendingFrequency_ = FrequencyToSet;
        return f;
    }
    settingFrequency_ = true;
    if (tuningFactor_ <= 0) {
        showClockMessage();
        settingFrequency_ = false;
        return f;
    }
    CurrentTuningWord_ = TuningWordFor(f);
    const auto word = static_cast<uint32_t>(CurrentTuningWord_);
    QByteArray command;
    command.append('\x04');
    command.append(static_cast<char>(word >> 24));
    command.append(static_cast<char>((word >> 16) & 0xFF));
    command.append(static_cast<char>((word >> 8) & 0xFF));
    command.append(static_cast<char>(word & 0xFF));
    SendBytes(command);
    lastCommand_ = command;
    settingFrequency_ = false;
    sendPendingFrequency();
    return f;
}

void clsAD9951::Refresh()
{
    Initialise();
    SendBytes(lastCommand_);
}

} // namespace orvik
