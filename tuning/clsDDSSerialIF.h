#pragma once

#include "platform/ModemLineWatcher.h"
#include "tuning/SynthPortInterface.h"

#include <QPointer>

#include <set>

namespace orvik {

class ModemLines;
class SettingsStore;

// Loads a synthesizer through the control lines of a serial port: DTR is the
// I/O update (frame), RTS the serial data, TXD held in break the serial clock.
// CTS and DSR carry the tuning knob. Line levels are inverted by the level
// shifters on the board: logic 0 sets DTR/RTS.
class clsDDSSerialIF final : public SynthPortInterface {
public:
    clsDDSSerialIF(SettingsStore& store, ModemLines& lines);
    ~clsDDSSerialIF() override;
    clsDDSSerialIF(const clsDDSSerialIF&) = delete;
    clsDDSSerialIF& operator=(const clsDDSSerialIF&) = delete;

    void IOUPD(int16_t State) override;
    void SDATA(int16_t State) override;
    void SCLCK(int16_t State) override;
    int32_t StartSequence() override;
    int32_t EndSequence() override;
    int32_t Send(uint8_t ByteToSend) override;
    void Out8(uint8_t ByteToSend) override;
    void Out16(int16_t Data) override;
    void Out32(int32_t Data) override;
    void Delay(double DELAYTIME) override;
    // A positive handle, or 0 after showing why the port did not open.
    int32_t OpenPort(bool EventMode) override;
    int32_t ClosePort() override;
    int32_t Initialise() override { return 0; }
    void RestoreSettings() override;
    // Closes the port, then writes the settings (also done at destruction).
    void SaveSettings();
    int32_t GetEncoderBits() override;
    int32_t GetEncoderB1() override { return GetEncoderBits() & 2; }
    int32_t GetEncoderB0() override { return GetEncoderBits() & 1; }

    QString Name() const override { return Name_; }
    void setName(const QString& name) override { Name_ = name; }
    double WaitTime() const override { return WaitTime_; }
    void setWaitTime(double seconds) override { WaitTime_ = seconds; }

    int32_t hComm() const { return hComm_; }
    int32_t PortNo() const { return PortNo_; }
    void setPortNo(int32_t portNumber) { PortNo_ = portNumber; }
    bool EventMode() const { return EventMode_; }
    // The watcher that raises the knob's line-change events in event mode.
    // Held weakly: the window that owns it may go first at shut-down.
    ModemLineWatcher* MSCommCtl() const { return MSCommCtl_.data(); }
    void setMSCommCtl(ModemLineWatcher* watcher) { MSCommCtl_ = watcher; }
    // A device in place of /dev/ttyS{PortNo-1} (USB adapters), key "DevicePath".
    QString DevicePath() const { return DevicePath_; }
    void setDevicePath(const QString& path)
    {
        DevicePath_ = path;
        storedDevicePathRefused_ = false;
    }
    // The device OpenPort uses.
    QString portDevice() const;
    // How messages name the port: "COM3", or the device path in force.
    QString portName() const;
    // Line changes the open port refused since it was opened.
    int failedLineChanges() const { return failedLineChanges_; }

private:
    void SetDTR(int16_t State);
    void SetRTS(int16_t State);
    void SetTXD(int16_t State);
    bool isOpen() const { return hComm_ > 0; }
    // True when the port is not open, saying so once (log line and message).
    bool closedForWrites();
    void driveLine(bool (ModemLines::*set)(bool), bool on);
    // Counts a refused line change; the first of each kind since the open is told.
    void lineChangeFailed();

    SettingsStore& store_;
    ModemLines& lines_;
    int32_t hComm_ = 0;
    QString Name_ = QStringLiteral("clsDDSSerialIF");
    double WaitTime_ = DefaultWaitTime;
    int32_t PortNo_ = 1;
    bool EventMode_ = false;
    QPointer<ModemLineWatcher> MSCommCtl_;
    QString DevicePath_;
    bool closedWriteReported_ = false;
    // The stored "DevicePath" was unusable: saving leaves it as the file has it.
    bool storedDevicePathRefused_ = false;
    int failedLineChanges_ = 0;
    // The system errors of refused line changes reported since the port opened.
    std::set<int> reportedLineErrors_;
};

} // namespace orvik
