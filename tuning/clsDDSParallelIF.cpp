#include "tuning/clsDDSParallelIF.h"

#include "platform/DeviceAccess.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ParallelPort.h"
#include "platform/SerialDevices.h"
#include "platform/SettingsStore.h"

namespace orvik {

clsDDSParallelIF::clsDDSParallelIF(SettingsStore& store, ParallelPort& port)
    : store_(store)
    , port_(port)
{
}

clsDDSParallelIF::~clsDDSParallelIF()
{
    SaveSettings();
}

void clsDDSParallelIF::setPortAddress(int32_t address)
{
    // The same address again is the same port: its failure has been told.
    if (address != PortAddress_)
        failureReported_ = false;
    PortAddress_ = address;
}

void clsDDSParallelIF::setDevicePath(const QString& path)
{
    if (path != DevicePath_)
        failureReported_ = false;
    DevicePath_ = path;
    port_.setDevicePath(path);
}

int clsDDSParallelIF::level(int16_t State) const
{
    const int normalised = State > 0 ? 1 : 0;
    return NonInverting_ ? 1 - normalised : normalised;
}

void clsDDSParallelIF::write(uint8_t value)
{
    const auto address = static_cast<uint16_t>(PortAddress_ & 0xFFFF);
    if (port_.writeData(address, value))
        return;
    writeFailed_ = true;
    if (failureReported_)
        return;
    failureReported_ = true;
    const QString address16 = QStringLiteral("&H%1").arg(address, 0, 16).toUpper();
    AddLog(Name_ + QStringLiteral(": cannot write the parallel port at ") + address16 + QStringLiteral(": ")
           + port_.lastError());
    QString why = port_.lastError();
    if (const QString advice = deviceAccessAdvice(port_.lastDevicePath(), port_.lastErrorNumber(), QStringLiteral("lp"));
        !advice.isEmpty())
        why += QLatin1Char('\n') + advice;
    messages().show(QStringLiteral("Unable to open the parallel port at ") + address16 + QLatin1Char('\n') + why
                        + QLatin1Char('\n') + QStringLiteral("Please Set a valid port address in Configuration"),
                    programTitle(), MessageButtons::Ok, MessageIcon::Warning);
}

void clsDDSParallelIF::SendDataBit(int16_t State)
{
    // D2 stays high for the whole bit; D1 pulses once.
    if (level(State) == 1) {
        write(4);
        write(6);
        Delay(WaitTime_);
        write(4);
        Delay(WaitTime_);
    } else {
        write(5);
        write(7);
        Delay(WaitTime_);
        write(5);
        Delay(WaitTime_);
    }
}

void clsDDSParallelIF::SetClock(int16_t)
{
    Delay(WaitTime_);
    write(0);
    Delay(WaitTime_);
}

void clsDDSParallelIF::SCLCK(int16_t)
{
    Delay(WaitTime_);
    write(0);
}

void clsDDSParallelIF::SetFSync(int16_t State)
{
    IOUPD(State);
    Delay(WaitTime_);
}

void clsDDSParallelIF::IOUPD(int16_t State)
{
    write(level(State) == 1 ? 0 : 4);
}

int32_t clsDDSParallelIF::StartSequence()
{
    Delay(WaitTime_);
    SetFSync(1);
    return 0;
}

int32_t clsDDSParallelIF::EndSequence()
{
    Delay(WaitTime_);
    SetFSync(0);
    return 0;
}

void clsDDSParallelIF::writeBits(uint32_t data, int count)
{
    for (int bit = count - 1; bit >= 0; --bit)
        SendDataBit(((data >> bit) & 1u) != 0 ? 1 : 0);
}

void clsDDSParallelIF::Out8(uint8_t ByteToSend)
{
    writeBits(ByteToSend, 8);
}

void clsDDSParallelIF::Out16(int16_t Data)
{
    SetClock(0);
    SetFSync(1);
    writeBits(static_cast<uint16_t>(Data), 16);
    SetFSync(0);
}

void clsDDSParallelIF::Out32(int32_t Data)
{
    SetClock(0);
    SetFSync(1);
    writeBits(static_cast<uint32_t>(Data), 32);
    SetFSync(0);
}

int32_t clsDDSParallelIF::Send(uint8_t ByteToSend)
{
    writeFailed_ = false;
    Out8(ByteToSend);
    return writeFailed_ ? 1 : 0;
}

void clsDDSParallelIF::Delay(double DELAYTIME)
{
    if (DELAYTIME == 0.0)
        return;
    pumpEvents();
}

void clsDDSParallelIF::RestoreSettings()
{
    setPortAddress(store_.readInt(Name_, QStringLiteral("PortAddress"), PortAddress_));
    WaitTime_ = store_.readDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    NonInverting_ = store_.readBool(Name_, QStringLiteral("NonInverting"), NonInverting_);
    const QString stored = store_.read(Name_, QStringLiteral("DevicePath"), DevicePath_).trimmed();
    // A path cut at a NUL would open another device, and quoted whole it would break the log.
    if (const QString problem = devicePathProblem(stored); !problem.isEmpty()) {
        setDevicePath(QString());
        AddLog(Name_ + QStringLiteral(": stored DevicePath \"") + logValue(stored) + QStringLiteral("\" ") + problem
               + QStringLiteral(", ignored; the port address chooses the device"));
        return;
    }
    setDevicePath(stored);
}

void clsDDSParallelIF::SaveSettings()
{
    store_.writeInt(Name_, QStringLiteral("PortAddress"), PortAddress_);
    store_.writeDouble(Name_, QStringLiteral("WaitTime"), WaitTime_);
    store_.writeBool(Name_, QStringLiteral("NonInverting"), NonInverting_);
    if (!DevicePath_.isEmpty())
        store_.write(Name_, QStringLiteral("DevicePath"), DevicePath_);
}

} // namespace orvik
