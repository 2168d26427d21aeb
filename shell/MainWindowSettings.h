#pragma once

#include "shell/DreamLauncher.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace orvik {

class SettingsStore;

// The main window's options kept in the settings store (section "frmMain"). The main
// window copies its program-wide variables in before a save and out after a restore.
struct MainWindowOptions {
    int32_t SDRModelNo = 0;
    int32_t CurrentMainBandIndex = 0;
    float NoiseFloor = 0; // divided by 100000 when read, multiplied when written
    bool UseSPL = false;
    bool ShaftAutoRate = false;
    bool EnableShaftEncoder = false;
    bool ScrollWheelEnableOverScope = false;
    int32_t CurrentPlaybackDevice = 1;
    int32_t CurrentCaptureDevice = 1;
    bool AutoDDSRefresh = false;
    bool HiLiteBorder = false;
    DreamOptions Dream; // the decoder hand-off's own options, stored under "DRM."
    bool KBDSupport = false;
    bool AutoTrackPresets = true;
    bool FormCaptionOffOnPwrOn = false;
    bool AutoStartSDR = false;
};

// Receiver values that are only written, for the record of the last session.
struct MainWindowSaveValues {
    std::array<uint32_t, 7> colours{}; // in key order of the save: background, frame focus,
                                       // frame normal, label, tuning, scroll focus, scroll normal
    bool AGCOn = false;
    int32_t AGCMode = 0;
    float AGCAttack = 0; // adjuster 13
    float AGCDecay = 0;  // adjuster 14
    double OutputAttenuation = 0;
    int32_t FilterMode = 0;
    int32_t DemodMode = 0;
    int32_t MusicMode = 0;
    std::array<bool, 4> DisplaySize{}; // Ext, Std, Comp, Full
    int32_t SpectrumAnalyserOn = 0;
    int32_t PerfStatsOn = 0;
    double AGCDelayTime = 0;
    double AGCSmoothTime = 0;
    double TunedFrequency = 0; // tenths of a hertz
    float OutputVolume = 0;    // adjuster 10
    float FilterHi = 0;        // adjuster 7
    float FilterLo = 0;        // adjuster 8
    int32_t NotchType = 0;
    float NotchCentre = 0; // adjuster 11
    float NotchWidth = 0;  // adjuster 12
    int32_t NotchMode = 0;
    bool NotchActive = false;
    bool NBOn = false;
    float NB = 0; // adjuster 9
    bool IFFilterActive = false;
    int32_t IFFilterMode = 0;
    // CurrentHi and CurrentLo of IFFilterSettings(m).FilterSettings(d).
    std::array<std::array<std::array<int32_t, 2>, 9>, 3> IFFilterCurrent{};
};

// What the restore does to controls while it reads (in read order).
struct MainWindowRestoreHooks {
    std::function<void(int index)> selectDisplaySize; // a stored True selects that size
    std::function<void(int16_t value)> setSpectrumAnalyserBox;
    std::function<void(int16_t value)> setPerfStatsBox;
    bool SPLPresent = false;
};

inline constexpr const char* MainWindowSection = "frmMain";

// Reads the options; each key's default is the current value unless the table says
// otherwise. A stored text that does not convert leaves its target unchanged and is
// reported on stderr. Logs "RestoreSettings : Start" and "RestoreSettings : End".
void RestoreMainWindowSettings(const SettingsStore& store, MainWindowOptions& options,
                               const MainWindowRestoreHooks& hooks);

// Writes every key of the main window in its order.
void SaveMainWindowSettings(SettingsStore& store, const MainWindowOptions& options,
                            const MainWindowSaveValues& values);

// Number to text as the store keeps it ("True"/"False" for Booleans).
QString SettingText(bool value);
QString SettingText(double value);

} // namespace orvik
