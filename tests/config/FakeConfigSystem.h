#pragma once

#include "config/ConfigApply.h"
#include "platform/ModemLines.h"

#include <QStringList>

#include <array>
#include <deque>
#include <optional>
#include <functional>
#include <vector>

namespace orvik {

// The running system as the hooks see it, with a log of every call in order.
struct FakeSystem {
    QStringList log;
    int32_t model = 0;
    bool hiSide = true;
    int32_t ifFrequency = 455000;
    bool autoUpdate = false;
    double clock = 50000000;
    double storedClock = 50000000; // what the driver's initialisation reloads
    int32_t interface = 0;
    int32_t portNo = 1;
    QString devicePath;
    std::vector<SerialDevice> serialDevices;
    bool deviceInForcePresent = false; // whether the port in force exists on the system
    bool portOpen = true;
    double serialWait = 0;
    int32_t portAddress = 0x378;
    double parallelWait = 0;
    bool nonInverting = true;
    bool soundRunning = false;
    bool inDSP = false;
    bool prepareWorks = true;
    int32_t playback = 1;
    int32_t capture = 1;
    std::vector<std::function<void()>> later;
    bool splPresent = false;
    bool useSPL = false;
    bool encoder = false;
    ConfigFlags flags;
    DreamOptions dream;
    bool hideToolTip = false;
    AnalyserColours analyser;
    std::vector<std::pair<int, int>> brightness;
    std::array<int, 2> brightnessLevels{40, 60};
    int32_t smooth = 1;
    float adjusterDefault19 = 0;
    std::vector<int> adjusterColourIds;
    uint32_t adjusterNormal = 0;
    uint32_t adjusterFocus = 0;
    MainColours main;
    std::deque<std::optional<double>> calibrations; // what the calibration dialog answers
    QStringList playbackNames{"Out A", "Out B", "Out C"};
    QStringList captureNames{"In A", "In B", "In C"};

    ConfigHooks hooks()
    {
        ConfigHooks h;
        h.readSystem = [this] { return system(); };
        h.calibrate = [this]() -> std::optional<double> {
            if (calibrations.empty())
                return std::nullopt;
            const std::optional<double> clock = calibrations.front();
            calibrations.pop_front();
            return clock;
        };
        h.setSDRModelNo = [this](int32_t v) { model = v; log << "model"; };
        h.setHiSideLO = [this](bool v) { hiSide = v; log << "side"; };
        h.setIFFrequency = [this](int32_t v) { ifFrequency = v; log << "if"; };
        h.setAutoUpdate = [this](bool v) { autoUpdate = v; log << "autoupdate"; };
        h.initialiseSynthesizer = [this] { clock = storedClock; log << "initialise"; };
        h.setClkIn = [this](double v) { clock = v; log << "clkin"; };
        h.refreshVFO = [this] { log << "refresh"; };
        h.interfaceType = [this] { return interface; };
        h.setInterfaceType = [this](int32_t v) { interface = v; log << QString("interface %1").arg(v); };
        h.serialPortNo = [this] { return portNo; };
        h.setSerialPortNo = [this](int32_t v) { portNo = v; log << QString("port %1").arg(v); };
        h.serialDevicePath = [this] { return devicePath; };
        h.setSerialDevicePath = [this](const QString& v) { devicePath = v; log << QString("device %1").arg(v); };
        h.serialPortOpen = [this] { return portOpen; };
        h.closeSerialPort = [this] { portOpen = false; log << "close"; };
        h.openSerialPort = [this](bool events) { portOpen = true; log << QString("open %1").arg(events); };
        h.setSerialWaitTime = [this](double v) { serialWait = v; };
        h.setParallelPortAddress = [this](int32_t v) { portAddress = v; };
        h.setParallelWaitTime = [this](double v) { parallelWait = v; };
        h.setNonInverting = [this](bool v) { nonInverting = v; };
        h.parallelDevice = [](int32_t address) {
            return address == 0x378 ? QString("/dev/parport0") : address == 0x278 ? QString("/dev/parport1 (not present)")
                                                                                   : QString();
        };
        h.soundInAction = [this] { return soundRunning; };
        h.inDSP = [this] { return inDSP; };
        h.stopSound = [this] { soundRunning = false; log << "stop"; };
        h.releaseDevices = [this] { log << "release"; };
        h.setPlaybackDevice = [this](int32_t v) { playback = v; };
        h.setCaptureDevice = [this](int32_t v) { capture = v; };
        h.prepareDevices = [this] { log << "prepare"; return prepareWorks; };
        h.startSound = [this] { soundRunning = true; log << "start"; };
        h.runLater = [this](std::function<void()> f) { later.push_back(std::move(f)); };
        h.splPresent = [this] { return splPresent; };
        h.setUseSPL = [this](bool v) { useSPL = v; };
        h.enableShaftEncoder = [this] { return encoder; };
        h.setFlags = [this](const ConfigFlags& f) { flags = f; encoder = f.EnableShaftEncoder; };
        h.setDreamOptions = [this](const DreamOptions& d) { dream = d; };
        h.setHideFreqToolTip = [this](bool v) { hideToolTip = v; };
        h.setAnalyserColours = [this](const AnalyserColours& a) { analyser = a; };
        h.setChannelBrightness = [this](int channel, int level) { brightness.emplace_back(channel, level); };
        h.channelBrightness = [this](int channel) { return brightnessLevels[static_cast<size_t>(channel)]; };
        h.setDefaultSmoothCount = [this](int32_t v) { smooth = v; };
        h.defaultSmoothCount = [this] { return smooth; };
        h.setAdjusterDefault = [this](int id, float v) {
            if (id == 19)
                adjusterDefault19 = v;
        };
        h.setAdjusterColours = [this](int id, uint32_t normal, uint32_t focus) {
            adjusterColourIds.push_back(id);
            adjusterNormal = normal;
            adjusterFocus = focus;
        };
        h.setMainColours = [this](const MainColours& m) { main = m; log << "colours"; };
        h.redrawMainWindow = [this] { log << "redraw"; };
        return h;
    }

    ConfigSystemValues system() const
    {
        ConfigSystemValues s;
        s.SDRModelNo = model;
        s.PlaybackDeviceNames = playbackNames;
        s.CaptureDeviceNames = captureNames;
        s.CurrentPlaybackDevice = playback;
        s.CurrentCaptureDevice = capture;
        s.ClkIn = clock;
        s.IFFrequency = ifFrequency;
        s.HiSideLO = hiSide;
        s.DDSInterfaceType = interface;
        s.AutoUpdate = autoUpdate;
        s.SPLPresent = splPresent;
        s.UseSPL = useSPL;
        s.SerialWaitTime = serialWait;
        s.PortNo = portNo;
        s.SerialDevicePath = devicePath;
        s.SerialDevices = serialDevices;
        s.SerialDeviceInForce = {devicePath.isEmpty() ? serialDevicePath(portNo) : devicePath,
                                 devicePath.isEmpty() ? portNo : 0, {}, deviceInForcePresent};
        s.ParallelWaitTime = parallelWait;
        s.PortAddress = portAddress;
        s.NonInverting = nonInverting;
        s.Dream = dream;
        s.DreamDefaultArgs = " -M 0 -I 0 -O 0";
        s.HideFreqToolTip = hideToolTip;
        s.Analyser = analyser;
        s.SmoothDefault = static_cast<float>(smooth);
        s.Main = main;
        s.Flags = flags;
        s.Flags.EnableShaftEncoder = encoder;
        return s;
    }
};

} // namespace orvik
