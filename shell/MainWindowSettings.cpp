#include "shell/MainWindowSettings.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/SettingsStore.h"

#include <cmath>
#include <cstdio>

namespace orvik {

namespace {

const QString Section = QString::fromLatin1(MainWindowSection);

void reportBadValue(const QString& key, const QString& text)
{
    std::fprintf(stderr, "ORVIKSDR: ignoring the stored value \"%s\" of %s/%s\n", qPrintable(logValue(text)),
                 qPrintable(Section), qPrintable(key));
}

class Reader {
public:
    explicit Reader(const SettingsStore& store) : store_(store) {}

    QString text(const char* key, const QString& def) const { return store_.read(Section, QLatin1String(key), def); }

    void readBool(const char* key, bool& target, const QString& def) const
    {
        const QString t = text(key, def);
        if (auto v = ParseBool(t.toStdString()))
            target = *v;
        else
            reportBadValue(QLatin1String(key), t);
    }
    void readBool(const char* key, bool& target) const { readBool(key, target, SettingText(target)); }

    void readInt(const char* key, int32_t& target, int32_t def) const
    {
        const QString t = text(key, QString::number(def));
        if (auto v = ParseInt32(t.toStdString()))
            target = *v;
        else
            reportBadValue(QLatin1String(key), t);
    }

    void readText(const char* key, QString& target, const QString& def) const { target = text(key, def); }

private:
    const SettingsStore& store_;
};

int16_t toInt16(double value)
{
    const double r = std::nearbyint(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        return 0;
    return static_cast<int16_t>(r);
}

} // namespace

QString SettingText(bool value) { return QString::fromStdString(BoolToText(value)); }
QString SettingText(double value) { return QString::fromStdString(NumberToText(value)); }

void RestoreMainWindowSettings(const SettingsStore& store, MainWindowOptions& o, const MainWindowRestoreHooks& hooks)
{
    AddLog(QStringLiteral("RestoreSettings : Start"));
    const Reader r(store);
    r.readInt("SDRModelNo", o.SDRModelNo, o.SDRModelNo);
    r.readInt("CurrentMainBandIndex", o.CurrentMainBandIndex, o.CurrentMainBandIndex);
    {
        const QString t = r.text("NoiseFloor", QStringLiteral("1000000"));
        if (auto v = ParseNumber(t.toStdString()))
            o.NoiseFloor = static_cast<float>(*v) / 100000.0f;
        else
            reportBadValue(QStringLiteral("NoiseFloor"), t);
    }
    static const char* const displayKeys[4] = {"ExtendedDisplay", "StandardDisplay", "CompactDisplay", "FullDisplay"};
    for (int i = 0; i < 4; ++i) {
        bool on = false;
        r.readBool(displayKeys[i], on, QStringLiteral("FALSE"));
        if (on && hooks.selectDisplaySize)
            hooks.selectDisplaySize(i);
    }
    {
        const int16_t v = toInt16(NumericValue(r.text("SpectrumAnalyserOn", QStringLiteral("0")).toStdString()));
        if (hooks.setSpectrumAnalyserBox)
            hooks.setSpectrumAnalyserBox(v);
    }
    {
        const int16_t v = toInt16(NumericValue(r.text("PerfStatsOn", QStringLiteral("0")).toStdString()));
        if (hooks.setPerfStatsBox)
            hooks.setPerfStatsBox(v);
    }
    if (hooks.SPLPresent)
        r.readBool("UseSPL", o.UseSPL, QStringLiteral("False"));
    r.readBool("ShaftAutoRate", o.ShaftAutoRate, SettingText(false));
    r.readBool("EnableShaftEncoder", o.EnableShaftEncoder, SettingText(false));
    r.readBool("ScrollWheelEnableOverScope", o.ScrollWheelEnableOverScope, SettingText(false));
    r.readInt("CurrentPlaybackDevice", o.CurrentPlaybackDevice, 1);
    r.readInt("CurrentCaptureDevice", o.CurrentCaptureDevice, 1);
    r.readBool("AutoDDSRefresh", o.AutoDDSRefresh, SettingText(false));
    r.readBool("MouseOverS.HiLiteBorder", o.HiLiteBorder, SettingText(false));
    r.readBool("DRM.RunDreamOnDRM", o.Dream.RunDreamOnDRM, SettingText(false));
    r.readBool("DRM.MuteAFOnDRM", o.Dream.MuteAFOnDRM, SettingText(false));
    r.readBool("DRM.CloseSoundcardOnDRM", o.Dream.CloseSoundcardOnDRM, SettingText(false));
    r.readText("DRM.PathToDream", o.Dream.PathToDream, QString());
    r.readText("DRM.DreamProgArgs", o.Dream.DreamProgArgs, QString());
    r.readInt("DRM.DreamWindowStyle", o.Dream.DreamWindowStyle, 1);
    r.readBool("DRM.DreamCloseOnExit", o.Dream.DreamCloseOnExit, SettingText(true));
    r.readBool("DRM.DreamCloseOnModeChange", o.Dream.DreamCloseOnModeChange, SettingText(false));
    r.readBool("KBDSupport", o.KBDSupport, SettingText(false));
    r.readBool("AutoTrackPresets", o.AutoTrackPresets, SettingText(true));
    r.readBool("FormCaptionOffOnPwrOn", o.FormCaptionOffOnPwrOn, SettingText(false));
    r.readBool("AutoStartSDR", o.AutoStartSDR, SettingText(false));
    AddLog(QStringLiteral("RestoreSettings : End"));
}

void SaveMainWindowSettings(SettingsStore& store, const MainWindowOptions& o, const MainWindowSaveValues& v)
{
    auto put = [&store](const QString& key, const QString& value) { store.write(Section, key, value); };
    auto putNum = [&put](const char* key, double value) { put(QLatin1String(key), SettingText(value)); };
    auto putBool = [&put](const char* key, bool value) { put(QLatin1String(key), SettingText(value)); };

    putNum("SDRModelNo", o.SDRModelNo);
    static const char* const colourKeys[7] = {"SDRBackgroundColour", "SDRFrameFocusColour",
                                              "SDRFrameNormalColour", "SDRLabelColour",
                                              "SDRTuningColour", "ScrollableLabelFocusColour",
                                              "ScrollableLabelNormalColour"};
    for (int i = 0; i < 7; ++i)
        putNum(colourKeys[i], static_cast<int32_t>(v.colours[static_cast<size_t>(i)]));
    putBool("AGCON", v.AGCOn);
    putNum("AGCMode", v.AGCMode);
    putNum("AGCAttack", v.AGCAttack);
    putNum("AGCDecay", v.AGCDecay);
    putNum("OutputAttenuation", v.OutputAttenuation);
    putNum("CurrentMainBandIndex", o.CurrentMainBandIndex);
    putNum("CurrentFilterMode", v.FilterMode);
    putNum("CurrentDemodMode", v.DemodMode);
    putNum("NoiseFloor", std::floor(static_cast<double>(o.NoiseFloor) * 100000.0));
    putNum("MusicMode", v.MusicMode);
    static const char* const displayKeys[4] = {"ExtendedDisplay", "StandardDisplay", "CompactDisplay", "FullDisplay"};
    for (int i = 0; i < 4; ++i)
        putBool(displayKeys[i], v.DisplaySize[static_cast<size_t>(i)]);
    putNum("SpectrumAnalyserOn", v.SpectrumAnalyserOn);
    putNum("PerfStatsOn", v.PerfStatsOn);
    putBool("UseSPL", o.UseSPL);
    putNum("AGCDelayTime", v.AGCDelayTime);
    putNum("AGCSmoothTime", v.AGCSmoothTime);
    putNum("LastTunedFrequency", std::floor(v.TunedFrequency + 0.5));
    putNum("OutputVolume", v.OutputVolume);
    putBool("ShaftAutoRate", o.ShaftAutoRate);
    putBool("EnableShaftEncoder", o.EnableShaftEncoder);
    putBool("ScrollWheelEnableOverScope", o.ScrollWheelEnableOverScope);
    putNum("FilterHi", v.FilterHi);
    putNum("FilterLo", v.FilterLo);
    putNum("NotchType", v.NotchType);
    putNum("NotchCentre", v.NotchCentre);
    putNum("NotchWidth", v.NotchWidth);
    putNum("NotchMode", v.NotchMode);
    putBool("NotchActive", v.NotchActive);
    putBool("NBOn", v.NBOn);
    putNum("NB", v.NB);
    putNum("CurrentPlaybackDevice", o.CurrentPlaybackDevice);
    putNum("CurrentCaptureDevice", o.CurrentCaptureDevice);
    putBool("AutoDDSRefresh", o.AutoDDSRefresh);
    putBool("MouseOverS.HiLiteBorder", o.HiLiteBorder);
    putBool("KBDSupport", o.KBDSupport);
    putBool("DRM.RunDreamOnDRM", o.Dream.RunDreamOnDRM);
    putBool("DRM.MuteAFOnDRM", o.Dream.MuteAFOnDRM);
    putBool("DRM.CloseSoundcardOnDRM", o.Dream.CloseSoundcardOnDRM);
    put(QStringLiteral("DRM.PathToDream"), o.Dream.PathToDream);
    put(QStringLiteral("DRM.DreamProgArgs"), o.Dream.DreamProgArgs);
    putNum("DRM.DreamWindowStyle", o.Dream.DreamWindowStyle);
    putBool("DRM.DreamCloseOnExit", o.Dream.DreamCloseOnExit);
    putBool("DRM.DreamCloseOnModeChange", o.Dream.DreamCloseOnModeChange);
    putBool("IFFilterActive", v.IFFilterActive);
    putNum("CurrentIFFilterMode", v.IFFilterMode);
    for (size_t m = 0; m < v.IFFilterCurrent.size(); ++m)
        for (size_t d = 0; d < v.IFFilterCurrent[m].size(); ++d) {
            const QString stem = QStringLiteral("IFFilterSettings(%1).FilterSettings(%2).").arg(m).arg(d);
            put(stem + QStringLiteral("CurrentHi"), QString::number(v.IFFilterCurrent[m][d][0]));
            put(stem + QStringLiteral("CurrentLo"), QString::number(v.IFFilterCurrent[m][d][1]));
        }
    putBool("AutoTrackPresets", o.AutoTrackPresets);
    putBool("FormCaptionOffOnPwrOn", o.FormCaptionOffOnPwrOn);
    putBool("AutoStartSDR", o.AutoStartSDR);
}

} // namespace orvik
