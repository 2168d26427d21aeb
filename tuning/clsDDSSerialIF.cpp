#include "tuning/clsDDSSerialIF.h"

#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/ModemLines.h"
#include "platform/SettingsStore.h"

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
    if (isOpen())
        lines_.setDtr(State >= 1);
}

void clsDDSSerialIF::SetRTS(int16_t State)
{
    if (isOpen())
        lines_.setRts(State >= 1);
}

void clsDDSSerialIF::SetTXD(int16_t State)
{
    if (isOpen())
        lines_.setBreak(State >= 1);
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
    if (!isOpen())
        return 1;
    Out8(ByteToSend);
    return 0;
}

void clsDDSSerialIF::Out8(uint8_t ByteToSend)
{
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

int32_t clsDDSSerialIF::OpenPort(bool EventMode)
{
    EventMode_ = EventMode;
    if (hComm_ >= 1)
        return hComm_;

    const QString device = portDevice();
    if (EventMode_) {
        if (!MSCommCtl_ || !lines_.open(device)) {
            AddLog(Name_ + QStringLiteral(": cannot open ") + device + QStringLiteral(" for the knob: ")
                   + (MSCommCtl_ ? lines_.lastError() : QStringLiteral("no line watcher assigned")));
            messages().show(QStringLiteral("Unable to Open COM") + QString::number(PortNo_) + QLatin1Char('\n')
                                + QStringLiteral("Please Set valid COM port in Configuration, then Close and Restart")
                                + QLatin1Char('\n') + QStringLiteral("clsDDSSerialIF:clsDDSSerialIF:OpenPort:0"),
                            programTitle(), MessageButtons::Ok, MessageIcon::None);
            return 0;
        }
        hComm_ = lines_.handle();
        MSCommCtl_->start(&lines_);
    } else {
        if (!lines_.open(device)) {
            AddLog(Name_ + QStringLiteral(": cannot open ") + device + QStringLiteral(": ") + lines_.lastError());
            messages().show(Name_ + QStringLiteral(" : PollMode : Unable to Open COM") + QString::number(PortNo_)
                                + QLatin1Char('\n')
                                + QStringLiteral("Please Set valid COM port in Configuration, then Close and Restart"),
                            programTitle(), MessageButtons::Ok, MessageIcon::None);
            return 0;
        }
        hComm_ = lines_.handle();
    }
    IOUPD(0);
    SDATA(0);
    SCLCK(0);
    return hComm_;
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
    PortNo_ = store_.readInt(Name_, QStringLiteral("PortNo"), PortNo_);
    if (PortNo_ < 1)
        PortNo_ = 1;
    WaitTime_ = store_.readDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    DevicePath_ = store_.read(Name_, QStringLiteral("DevicePath"), DevicePath_).trimmed();
}

void clsDDSSerialIF::SaveSettings()
{
    ClosePort();
    store_.writeInt(Name_, QStringLiteral("PortNo"), PortNo_);
    store_.writeDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    if (!DevicePath_.isEmpty())
        store_.write(Name_, QStringLiteral("DevicePath"), DevicePath_);
}

} // namespace orvik
