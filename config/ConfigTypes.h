#pragma once

#include "platform/SerialDevices.h"
#include "shell/DreamLauncher.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik {

// The colour swatches of the configuration dialog. The first seven are the main
// window's colours in the order of the opening table's slots 0 to 6; the next eight
// are the analyser's (slots 8 to 15); the last two stand alone.
enum Swatch : int {
    SwatchSDRBackGround,
    SwatchSDRLabel,
    SwatchSDRTuning,
    SwatchSDRFrameNormal,
    SwatchSDRFrameFocus,
    SwatchNormalScrollLabel,
    SwatchFocusScrollLabel,
    SwatchScopeBack,
    SwatchScopeGraticule,
    SwatchScopeY1,
    SwatchScopeY2,
    SwatchScopeFilterCurve,
    SwatchScopeNotchFilter,
    SwatchScopeXText,
    SwatchScopeYText,
    SwatchControlNormal,
    SwatchControlFocused,
    SwatchCount
};

struct SwatchInfo {
    const char* shape;   // object name of the swatch
    const char* button;  // object name of its button
    const char* caption; // the button's caption
    const char* frame;   // caption of the frame that holds both
    int openingSlot;     // slot in the opening colours, -1 for none
};

const SwatchInfo& swatchInfo(int swatch);

using SwatchColours = std::array<uint32_t, SwatchCount>;
// The colours in force when the dialog opened; slot 7 stays 0.
using OpeningColourTable = std::array<uint32_t, 16>;

// The spectrum analyser's colour properties.
struct AnalyserColours {
    uint32_t ScopeBackColour = 0;
    uint32_t GraticuleColour = 0;
    uint32_t Y1BaseColour = 0;
    uint32_t Y2BaseColour = 0;
    uint32_t FilterCurveColour = 0;
    uint32_t NotchFilterColour = 0;
    uint32_t XTextColour = 0;
    uint32_t YTextColour = 0;
    uint32_t ControlColourNormal = 0;
    uint32_t ControlColourFocused = 0;
    bool operator==(const AnalyserColours&) const = default;
};

// The main window's seven colours by name; the wiring maps them onto its scheme.
struct MainColours {
    uint32_t SDRBackgroundColour = 0;
    uint32_t SDRLabelColour = 0;
    uint32_t SDRTuningColour = 0;
    uint32_t SDRFrameNormalColour = 0;
    uint32_t SDRFrameFocusColour = 0;
    uint32_t ScrollableLabelNormalColour = 0;
    uint32_t ScrollableLabelFocusColour = 0;
    bool operator==(const MainColours&) const = default;
};

// The main-window flags the dialog shows and sets.
struct ConfigFlags {
    bool EnableShaftEncoder = false;
    bool ShaftAutoRate = false;
    bool ScrollWheelEnableOverScope = false;
    bool HiLiteBorder = false;
    bool KBDSupport = false;
    bool AutoTrackPresets = true;
    bool FormCaptionOffOnPwrOn = false;
    bool AutoStartSDR = false;
};

// What the dialog reads from the running system when it loads.
struct ConfigSystemValues {
    int32_t SDRModelNo = 0;
    QStringList PlaybackDeviceNames;
    QStringList CaptureDeviceNames;
    int32_t CurrentPlaybackDevice = 1; // 1-based
    int32_t CurrentCaptureDevice = 1;
    double ClkIn = 0;        // Hz
    int32_t IFFrequency = 0; // Hz, signed
    bool HiSideLO = true;
    int32_t DDSInterfaceType = 0; // 0 serial, 1 parallel
    bool AutoUpdate = false;
    bool SPLPresent = false;
    bool UseSPL = false;
    double SerialWaitTime = 0; // s
    int32_t PortNo = 1;
    QString SerialDevicePath; // the device in place of COM PortNo, empty for none
    std::vector<SerialDevice> SerialDevices; // what the system has now
    SerialDevice SerialDeviceInForce; // the device PortNo and SerialDevicePath name, as the system has it now
    double ParallelWaitTime = 0;
    int32_t PortAddress = 0x378;
    bool NonInverting = false;
    DreamOptions Dream;
    QString DreamDefaultArgs;
    bool HideFreqToolTip = false;
    AnalyserColours Analyser;
    float SmoothDefault = 1; // Default of the smoothing adjuster (19)
    MainColours Main;
    ConfigFlags Flags;
};

// The serial port the interface opens: COM PortNo, unless a device path is given.
struct SerialPortChoice {
    int32_t PortNo = 1;
    QString DevicePath;
    bool operator==(const SerialPortChoice&) const = default;
};

// The serial port list of the dialog: the system's devices, and the choice in force
// when the system does not have it now, so the list always shows it.
std::vector<SerialDevice> SerialPortList(const ConfigSystemValues& system);
// The entry of that list that is the choice in force, -1 for none.
int SerialPortIndex(const std::vector<SerialDevice>& list, const SerialPortChoice& choice);
// What choosing an entry stores: the entry of the choice in force keeps that choice as
// it is; another ttyS device is stored by its COM number alone, so that files holding
// only "PortNo" stay as they are; any other device by its path, keeping PortNo.
SerialPortChoice SerialPortChoiceOf(const SerialDevice& device, const SerialPortChoice& inForce);

// What the dialog's controls hold when Apply runs. An index of -1 is a list without
// a selection.
struct ConfigEntries {
    int32_t SDRModelNo = 0;
    QString IFFrequencyText;
    bool LoLO = false;
    bool AutoDDSRefresh = false;
    QString ClkInText;
    int playbackIndex = -1;
    int captureIndex = -1;
    std::optional<int32_t> DDSInterfaceType; // the selected option, none when neither is
    bool comPortListEnabled = true;
    std::optional<SerialPortChoice> comPort; // none without a selection
    QString BitPeriodText;
    QString PortAddressText;
    QString ParallelBitPeriodText;
    bool InvertingIF = false;
    bool UseSPL = false;
    DreamOptions Dream;
    bool HideFreqToolTip = false;
    QString SmoothingCountText;
    ConfigFlags Flags;
    SwatchColours Swatches{};
};

// Program-wide flags the main window waits on while the dialog is open.
struct ConfigDialogState {
    bool ConfigOpen = false;
    bool ConfigCancelled = false; // the dialog was last left with Cancel
};

// Strict conversion of a typed number: "&H" (any case) then hexadecimal digits, or one
// decimal number with '.' as the point whatever the locale. nullopt for anything else.
std::optional<double> ConfigNumber(const QString& text);

// "&H" and the upper-case hexadecimal digits without leading zeros.
QString HexAddressText(int32_t address);

// Texts the dialog shows: "#0 000 000" for frequencies, "0.000000000" for bit periods.
QString FrequencyText(double hertz);
QString BitPeriodText(double seconds);

// Half a bit at 115200 baud.
inline constexpr double DefaultBitPeriod = 1.0 / 115200.0 / 2.0;

// Smoothing counts the analyser's 24-block history can hold.
inline constexpr int32_t MinSmoothCount = 1;
inline constexpr int32_t MaxSmoothCount = 24;

} // namespace orvik
