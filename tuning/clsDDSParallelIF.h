#pragma once

#include "tuning/SynthPortInterface.h"

namespace orvik {

class ParallelPort;
class SettingsStore;

// Loads a synthesizer through three data pins of a parallel port:
// D0 (pin 2) serial data, D1 (pin 3) serial clock, D2 (pin 4) frame.
// Only the values 0, 4, 5, 6 and 7 are ever written.
class clsDDSParallelIF final : public SynthPortInterface {
public:
    clsDDSParallelIF(SettingsStore& store, ParallelPort& port);
    ~clsDDSParallelIF() override;
    clsDDSParallelIF(const clsDDSParallelIF&) = delete;
    clsDDSParallelIF& operator=(const clsDDSParallelIF&) = delete;

    void SendDataBit(int16_t State);
    void SDATA(int16_t State) override { SendDataBit(State); }
    void SetClock(int16_t State);
    void SCLCK(int16_t State) override;
    void SetFSync(int16_t State);
    void IOUPD(int16_t State) override;
    int32_t StartSequence() override;
    int32_t EndSequence() override;
    // 1 when a write of the byte did not reach the port, else 0.
    int32_t Send(uint8_t ByteToSend) override;
    void Out8(uint8_t ByteToSend) override;
    void Out16(int16_t Data) override;
    void Out32(int32_t Data) override;
    void Delay(double DELAYTIME) override;
    int32_t OpenPort(bool) override { return 0; }
    int32_t ClosePort() override { return 0; }
    int32_t Initialise() override { return 0; }
    int32_t TimeRead() { return 0; }
    void RestoreSettings() override;
    void SaveSettings();
    int32_t GetEncoderBits() override { return 0; }
    int32_t GetEncoderB1() override { return 0; }
    int32_t GetEncoderB0() override { return 0; }

    QString Name() const override { return Name_; }
    void setName(const QString& name) override { Name_ = name; }
    double WaitTime() const override { return WaitTime_; }
    void setWaitTime(double seconds) override { WaitTime_ = seconds; }

    int32_t PortAddress() const { return PortAddress_; }
    void setPortAddress(int32_t address);
    bool NonInverting() const { return NonInverting_; }
    void setNonInverting(bool value) { NonInverting_ = value; }
    // A /dev/parportN in place of the address lookup, key "DevicePath".
    QString DevicePath() const { return DevicePath_; }
    void setDevicePath(const QString& path);
    // The next failed write is told even if this port's failure was told before (each
    // press of Apply).
    void reportFailureAgain() { failureReported_ = false; }

private:
    int level(int16_t State) const;
    void write(uint8_t value);
    void writeBits(uint32_t data, int count);

    SettingsStore& store_;
    ParallelPort& port_;
    int32_t PortAddress_ = 0x378;
    QString Name_ = QStringLiteral("clsDDSParallelIF");
    double WaitTime_ = DefaultWaitTime;
    bool NonInverting_ = false;
    QString DevicePath_;
    bool writeFailed_ = false;
    bool failureReported_ = false;
};

} // namespace orvik
