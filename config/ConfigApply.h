#pragma once

#include "config/ConfigTypes.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace orvik {

// Everything the configuration dialog changes in the running program, filled by the
// main window. An empty hook is skipped, as a member the object does not offer.
struct ConfigHooks {
    // Reading the running system when the dialog loads.
    std::function<ConfigSystemValues()> readSystem;

    std::function<void(int32_t)> setSDRModelNo;

    // The VFO and its synthesizer.
    std::function<void(bool hiSide)> setHiSideLO; // every copy of the injection side at once
    std::function<void(int32_t hertz)> setIFFrequency;
    std::function<void(bool)> setAutoUpdate;
    std::function<void()> initialiseSynthesizer;
    std::function<void(double hertz)> setClkIn;
    std::function<void()> refreshVFO;
    // The interface the driver sends through now (0 serial, 1 parallel).
    std::function<int32_t()> interfaceType;
    // Sets the VFO's type and hands the driver that interface.
    std::function<void(int32_t)> setInterfaceType;

    // Serial interface.
    std::function<int32_t()> serialPortNo;
    std::function<void(int32_t)> setSerialPortNo;
    // The device opened in place of COM PortNo; empty for none.
    std::function<QString()> serialDevicePath;
    std::function<void(const QString&)> setSerialDevicePath;
    std::function<bool()> serialPortOpen;
    std::function<void()> closeSerialPort;
    std::function<void(bool eventMode)> openSerialPort;
    std::function<void(double seconds)> setSerialWaitTime;

    // Parallel interface.
    std::function<void(int32_t)> setParallelPortAddress;
    std::function<void(double seconds)> setParallelWaitTime;
    std::function<void(bool)> setNonInverting;
    // A port that still fails is told once more by this Apply, and no more after it.
    std::function<void()> reportParallelFailureAgain;
    // The device a port address reaches, as the page shows it (empty for none).
    std::function<QString(int32_t address)> parallelDevice;

    // Sound card; device numbers are 1-based.
    std::function<bool()> soundInAction;
    std::function<bool()> inDSP;
    std::function<void()> stopSound;
    std::function<void()> releaseDevices;
    std::function<void(int32_t)> setPlaybackDevice;
    std::function<void(int32_t)> setCaptureDevice;
    std::function<bool()> prepareDevices;
    std::function<void()> startSound;
    // Runs the function a little later from the event loop (a single-shot timer).
    std::function<void(std::function<void()>)> runLater;

    // Vector back-end.
    std::function<bool()> splPresent;
    std::function<void(bool)> setUseSPL;

    // Options of the main window and the decoder hand-off.
    std::function<bool()> enableShaftEncoder;
    std::function<void(const ConfigFlags&)> setFlags;
    std::function<void(const DreamOptions&)> setDreamOptions;

    // Spectrum analyser and the display adjusters.
    std::function<void(bool)> setHideFreqToolTip;
    std::function<void(const AnalyserColours&)> setAnalyserColours;
    std::function<void(int channel, int level)> setChannelBrightness;
    // The brightness adjusters' levels (channel 0 and 1).
    std::function<int(int channel)> channelBrightness;
    std::function<void(int32_t)> setDefaultSmoothCount;
    std::function<int32_t()> defaultSmoothCount;
    std::function<void(int id, float value)> setAdjusterDefault;
    std::function<void(int id, uint32_t normal, uint32_t focus)> setAdjusterColours;
    std::function<void()> displayAnalyser;

    // Main-window colours: set the seven, then background, recolour, darken, unfocus.
    std::function<void(const MainColours&)> setMainColours;
    std::function<void()> redrawMainWindow;

    // The clock calibration dialog; the clock it applied, or nothing.
    std::function<std::optional<double>()> calibrate;
};

// The display adjusters that take the analyser's control colours, in order.
inline constexpr int DisplayAdjusterIds[] = {2, 3, 4, 5, 15, 6, 21, 22, 19};

// Loads the opening state of one dialog and commits its entries in the fixed order.
class ConfigApply {
public:
    ConfigApply(ConfigHooks hooks, QString caption);

    const ConfigHooks& hooks() const { return *hooks_; }

    // Records the devices, interface and colours in force as the dialog loads.
    void Load(const ConfigSystemValues& system);

    // Commits the entries. False when the IF or clock check stopped it (the message has
    // been shown; what came before the check stays applied).
    bool Apply(const ConfigEntries& entries);

    // Shows the swatches on the main window and the analyser while Preview is held.
    void PreviewPress(const SwatchColours& swatches);
    // Puts back the colours in force (those of the opening or the last Apply).
    void PreviewRelease();

    int32_t InitialCaptureDevice() const { return devices_->capture; }
    int32_t InitialPlaybackDevice() const { return devices_->playback; }
    int32_t InitialDDSInterfaceType = 0;
    const OpeningColourTable& OpeningColours() const { return OpeningColours_; }
    // True while a device change waits for the block in the chain.
    bool soundChangePending() const { return devices_->pending; }

    static AnalyserColours analyserColoursOf(const SwatchColours& swatches);
    static MainColours mainColoursOf(const SwatchColours& swatches);

private:
    struct Devices {
        int32_t playback = 1;
        int32_t capture = 1;
        bool pending = false;
        int32_t wantedPlayback = 1;
        int32_t wantedCapture = 1;
    };

    bool checkFailed(const QString& text) const;
    void rememberColours(const MainColours& main, const AnalyserColours& analyser);
    void applySoundDevices(const ConfigEntries& entries);
    void applyInterface(const ConfigEntries& entries, double clock, bool encoderBefore);
    void applySerialPort(const ConfigEntries& entries, bool encoderBefore);
    void applyParallelPort(const ConfigEntries& entries);
    void applySmoothing(const ConfigEntries& entries);
    void applyAnalyserColours(const AnalyserColours& colours);

    static void changeSoundDevices(const std::shared_ptr<const ConfigHooks>& hooks,
                                   const std::shared_ptr<Devices>& devices);

    std::shared_ptr<const ConfigHooks> hooks_;
    QString caption_;
    std::shared_ptr<Devices> devices_;
    OpeningColourTable OpeningColours_{};
};

} // namespace orvik
