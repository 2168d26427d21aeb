#pragma once

#include <QString>
#include "common/Product.h"
#include <cstdint>

namespace orvik {

// What a synthesizer driver needs of a port that carries the chip's serial
// load lines. The serial and the parallel interface answer the same members,
// so a driver works with either.
class SynthPortInterface {
public:
    virtual ~SynthPortInterface() = default;

    virtual void IOUPD(int16_t State) = 0;
    virtual void SDATA(int16_t State) = 0;
    virtual void SCLCK(int16_t State) = 0;
    virtual int32_t StartSequence() = 0;
    virtual int32_t EndSequence() = 0;
    // 0 when the byte went out; non-zero when the port could not take it.
    virtual int32_t Send(uint8_t ByteToSend) = 0;
    virtual void Out8(uint8_t ByteToSend) = 0;
    virtual void Out16(int16_t Data) = 0;
    virtual void Out32(int32_t Data) = 0;
    // Zero returns at once; any other time runs one pass of pending events.
    virtual void Delay(double DELAYTIME) = 0;
    virtual int32_t OpenPort(bool EventMode) = 0;
    virtual int32_t ClosePort() = 0;
    virtual int32_t Initialise() = 0;
    virtual void RestoreSettings() = 0;
    virtual int32_t GetEncoderBits() = 0;
    virtual int32_t GetEncoderB1() = 0;
    virtual int32_t GetEncoderB0() = 0;

    virtual QString Name() const = 0;
    virtual void setName(const QString& name) = 0;
    // Seconds handed to Delay between line changes.
    virtual double WaitTime() const = 0;
    virtual void setWaitTime(double seconds) = 0;
};

// Half a bit period at 115200 baud.
inline constexpr double DefaultWaitTime = 1.0 / 230400.0;

// Title of the program's plain message boxes.
inline QString programTitle()
{
    return QString::fromLatin1(ProductName);
}

} // namespace orvik
