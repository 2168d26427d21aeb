#include "tuning/clsDDSSerialIF.h"

#include "platform/DeviceAccess.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/ModemLines.h"
#include "platform/SerialDevices.h"
#include "platform/SettingsStore.h"

#include <cerrno>

namespace orvik {

clsDDSSerialIF::clsDDSSerialIF(SettingsStore& store, ModemLines& lines)
    : store_(store)
    , lines_(lines)
{
}

clsDDSSerialIF::~clsDDSSerialIF()
{
    SaveSettings();
}

void clsDDSSerialIF::SetDTR(int16_t State)
{
    driveLine(&ModemLines::setDtr, State >= 1);
}

void clsDDSSerialIF::SetRTS(int16_t State)
{
    driveLine(&ModemLines::setRts, State >= 1);
}

void clsDDSSerialIF::SetTXD(int16_t State)
{
    driveLine(&ModemLines::setBreak, State >= 1);
}

void clsDDSSerialIF::driveLine(bool (ModemLines::*set)(bool), bool on)
{
    if (isOpen() && !(lines_.*set)(on))
        lineChangeFailed();
}

void clsDDSSerialIF::lineChangeFailed()
{
    ++failedLineChanges_;
    // A device that refuses one change refuses them all: a transfer would repeat the
    // report hundreds of times.
    if (!reportedLineErrors_.insert(lines_.lastErrorNumber()).second)
        return;
    AddLog(Name_ + QStringLiteral(": line change refused by ") + portDevice() + QStringLiteral(" (")
           + lines_.lastError() + QStringLiteral("); the synthesizer is not tuned"));
    const QString reason = portDevice() + QStringLiteral(": ") + lines_.lastError();
    QString text = Name_ + QStringLiteral(" : Unable to drive the lines of ") + portName()
                   + QStringLiteral(", so the synthesizer cannot be tuned\n") + reason;
    switch (lines_.lastErrorNumber()) {
    case ENOTTY:
    case EINVAL:
        text += QStringLiteral("\nThe device has no modem lines (a pseudo-terminal or a data-only port)");
        break;
    case EIO:
    case ENODEV:
    case ENXIO:
        text += QStringLiteral("\nThe device has gone: was the adapter unplugged?");
        break;
    default:
        break;
    }
    text += QStringLiteral("\nPlease Set valid COM port in Configuration, then Close and Restart");
    messages().show(text, programTitle(), MessageButtons::Ok, MessageIcon::Warning);
}

void clsDDSSerialIF::IOUPD(int16_t State)
{
    SetDTR(State < 1 ? 1 : 0);
}

void clsDDSSerialIF::SDATA(int16_t State)
{
    SetRTS(State < 1 ? 1 : 0);
}

void clsDDSSerialIF::SCLCK(int16_t State)
{
    SetTXD(static_cast<int16_t>(State & 1));
}

int32_t clsDDSSerialIF::StartSequence()
{
    IOUPD(0);
    return 0;
}

int32_t clsDDSSerialIF::EndSequence()
{
    IOUPD(1);
    return 0;
}

int32_t clsDDSSerialIF::Send(uint8_t ByteToSend)
{
    if (closedForWrites())
        return 1;
    const int failedBefore = failedLineChanges_;
    Out8(ByteToSend);
    return failedLineChanges_ == failedBefore ? 0 : 1;
}

void clsDDSSerialIF::Out8(uint8_t ByteToSend)
{
    if (closedForWrites())
        return;
    SCLCK(0);
    Delay(WaitTime_);
    // The chip samples the data line on the clock's rising edge.
    for (int mask = 128; mask >= 1; mask >>= 1) {
        SDATA(static_cast<int16_t>(mask & ByteToSend));
        SCLCK(1);
        Delay(WaitTime_);
        SCLCK(0);
        Delay(WaitTime_);
    }
}

void clsDDSSerialIF::Out16(int16_t Data)
{
    if (closedForWrites())
        return;
    const auto bits = static_cast<uint16_t>(Data);
    IOUPD(0);
    for (uint32_t mask = 0x8000; mask >= 1; mask >>= 1) {
        SDATA((bits & mask) != 0 ? 1 : 0);
        Delay(WaitTime_);
        SCLCK(1);
        Delay(WaitTime_);
        SCLCK(0);
        Delay(WaitTime_);
    }
    IOUPD(1);
}

void clsDDSSerialIF::Out32(int32_t Data)
{
    if (closedForWrites())
        return;
    const auto bits = static_cast<uint32_t>(Data);
    IOUPD(0);
    Delay(WaitTime_);
    for (uint32_t mask = 0x80000000u; mask >= 1; mask >>= 1) {
        SDATA((bits & mask) != 0 ? 1 : 0);
        Delay(WaitTime_);
        SCLCK(1);
        Delay(WaitTime_);
        SCLCK(0);
        Delay(WaitTime_);
        Delay(WaitTime_);
    }
    Delay(WaitTime_);
    IOUPD(1);
    Delay(WaitTime_);
}

void clsDDSSerialIF::Delay(double DELAYTIME)
{
    if (DELAYTIME == 0.0)
        return;
    // No real wait: the ioctl round trips already pace the lines, and the pass
    // keeps the window and the knob alive during a long transfer.
    pumpEvents();
}

QString clsDDSSerialIF::portDevice() const
{
    return DevicePath_.isEmpty() ? serialDevicePath(PortNo_) : DevicePath_;
}

QString clsDDSSerialIF::portName() const
{
    return DevicePath_.isEmpty() ? QStringLiteral("COM") + QString::number(PortNo_) : DevicePath_;
}

int32_t clsDDSSerialIF::OpenPort(bool EventMode)
{
    EventMode_ = EventMode;
    if (hComm_ >= 1)
        return hComm_;

    const QString device = portDevice();
    QString failure;
    int errorNumber = 0;
    if (device.isEmpty())
        failure = QStringLiteral("port number %1 is below 1").arg(PortNo_);
    else if (EventMode_ && !MSCommCtl_)
        failure = QStringLiteral("no line watcher assigned");
    else if (!lines_.open(device)) {
        failure = lines_.lastError();
        errorNumber = lines_.lastErrorNumber();
    }
    if (!failure.isEmpty()) {
        AddLog(Name_ + QStringLiteral(": cannot open ") + (device.isEmpty() ? QStringLiteral("the serial port") : device)
               + (EventMode_ ? QStringLiteral(" for the knob: ") : QStringLiteral(": ")) + failure);
        // Under the message: the device and the system's reason, and for a refused
        // device what gives the user access.
        QString why = QLatin1Char('\n')
                      + (device.isEmpty() || failure.startsWith(device) ? failure
                                                                         : device + QStringLiteral(": ") + failure);
        if (const QString advice = deviceAccessAdvice(device, errorNumber, QStringLiteral("dialout"));
            !advice.isEmpty())
            why += QLatin1Char('\n') + advice;
        if (EventMode_)
            messages().show(QStringLiteral("Unable to Open ") + portName() + QLatin1Char('\n')
                                + QStringLiteral("Please Set valid COM port in Configuration, then Close and Restart")
                                + QLatin1Char('\n') + QStringLiteral("clsDDSSerialIF:clsDDSSerialIF:OpenPort:0") + why,
                            programTitle(), MessageButtons::Ok, MessageIcon::None);
        else
            messages().show(Name_ + QStringLiteral(" : PollMode : Unable to Open ") + portName() + QLatin1Char('\n')
                                + QStringLiteral("Please Set valid COM port in Configuration, then Close and Restart")
                                + why,
                            programTitle(), MessageButtons::Ok, MessageIcon::None);
        // The user has been told; the writes that follow are dropped quietly.
        closedWriteReported_ = true;
        return 0;
    }
    hComm_ = lines_.handle();
    failedLineChanges_ = 0;
    reportedLineErrors_.clear();
    if (EventMode_)
        MSCommCtl_->start(&lines_, device);
    IOUPD(0);
    SDATA(0);
    SCLCK(0);
    return hComm_;
}

bool clsDDSSerialIF::closedForWrites()
{
    if (isOpen())
        return false;
    if (!closedWriteReported_) {
        closedWriteReported_ = true;
        AddLog(Name_ + QStringLiteral(": ") + portName() + QStringLiteral(" is not open; the synthesizer is not tuned"));
        messages().show(Name_ + QStringLiteral(" : ") + portName()
                            + QStringLiteral(" is not open, so the synthesizer cannot be tuned.\n")
                            + QStringLiteral("Please check the interface type and COM port in Configuration"),
                        programTitle(), MessageButtons::Ok, MessageIcon::Warning);
    }
    return true;
}

int32_t clsDDSSerialIF::ClosePort()
{
    if (hComm_ <= 0)
        return 0;
    if (MSCommCtl_)
        MSCommCtl_->stop();
    lines_.close();
    hComm_ = 0;
    return EventMode_ ? 0 : 1;
}

int32_t clsDDSSerialIF::GetEncoderBits()
{
    if (!isOpen())
        return 0;
    return static_cast<int32_t>(lines_.modemStatus().value_or(0));
}

void clsDDSSerialIF::RestoreSettings()
{
    // A number below 1 is kept: opening refuses it instead of taking the first port.
    PortNo_ = store_.readInt(Name_, QStringLiteral("PortNo"), PortNo_);
    WaitTime_ = store_.readDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    const QString stored = store_.read(Name_, QStringLiteral("DevicePath"), DevicePath_).trimmed();
    if (const QString problem = devicePathProblem(stored); !problem.isEmpty()) {
        setDevicePath(QString());
        storedDevicePathRefused_ = true;
        AddLog(Name_ + QStringLiteral(": stored DevicePath \"") + logValue(stored) + QStringLiteral("\" ") + problem
               + QStringLiteral(", ignored; the port is ") + portName());
        return;
    }
    setDevicePath(stored);
}

void clsDDSSerialIF::SaveSettings()
{
    ClosePort();
    store_.writeInt(Name_, QStringLiteral("PortNo"), PortNo_);
    store_.writeDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    if (storedDevicePathRefused_)
        return;
    // A file that names no device keeps naming none; one that did is emptied when the
    // choice went back to a COM number.
    if (!DevicePath_.isEmpty() || !store_.read(Name_, QStringLiteral("DevicePath"), QString()).isEmpty())
        store_.write(Name_, QStringLiteral("DevicePath"), DevicePath_);
}

} // namespace orvik
