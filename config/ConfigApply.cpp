#include "config/ConfigApply.h"

#include "common/Numeric.h"
#include "platform/Log.h"
#include "platform/MessageService.h"

#include <cmath>

namespace orvik {

namespace {

constexpr double MinimumIF = 400000;      // Hz; the check refuses this and less
constexpr double MinimumClock = 1000000;  // Hz

template <typename F, typename... Args>
void call(const F& hook, Args&&... args)
{
    if (hook)
        hook(std::forward<Args>(args)...);
}

} // namespace

ConfigApply::ConfigApply(ConfigHooks hooks, QString caption)
    : hooks_(std::make_shared<const ConfigHooks>(std::move(hooks)))
    , caption_(std::move(caption))
    , devices_(std::make_shared<Devices>())
{
}

void ConfigApply::Load(const ConfigSystemValues& system)
{
    devices_->playback = system.CurrentPlaybackDevice;
    devices_->capture = system.CurrentCaptureDevice;
    InitialDDSInterfaceType = system.DDSInterfaceType;
    rememberColours(system.Main, system.Analyser);
}

void ConfigApply::rememberColours(const MainColours& m, const AnalyserColours& a)
{
    OpeningColours_ = {m.SDRBackgroundColour, m.SDRLabelColour,           m.SDRTuningColour,
                       m.SDRFrameNormalColour, m.SDRFrameFocusColour,     m.ScrollableLabelNormalColour,
                       m.ScrollableLabelFocusColour, 0,                   a.ScopeBackColour,
                       a.GraticuleColour,      a.Y1BaseColour,            a.Y2BaseColour,
                       a.FilterCurveColour,    a.NotchFilterColour,       a.XTextColour,
                       a.YTextColour};
}

AnalyserColours ConfigApply::analyserColoursOf(const SwatchColours& s)
{
    AnalyserColours a;
    a.ScopeBackColour = s[SwatchScopeBack];
    a.GraticuleColour = s[SwatchScopeGraticule];
    a.Y1BaseColour = s[SwatchScopeY1];
    a.Y2BaseColour = s[SwatchScopeY2];
    a.ControlColourFocused = s[SwatchFocusScrollLabel];
    a.ControlColourNormal = s[SwatchNormalScrollLabel];
    a.NotchFilterColour = s[SwatchScopeNotchFilter];
    a.FilterCurveColour = s[SwatchScopeFilterCurve];
    a.XTextColour = s[SwatchScopeXText];
    a.YTextColour = s[SwatchScopeYText];
    return a;
}

MainColours ConfigApply::mainColoursOf(const SwatchColours& s)
{
    MainColours m;
    m.SDRBackgroundColour = s[SwatchSDRBackGround];
    m.SDRLabelColour = s[SwatchSDRLabel];
    m.SDRTuningColour = s[SwatchSDRTuning];
    m.ScrollableLabelNormalColour = s[SwatchNormalScrollLabel];
    m.ScrollableLabelFocusColour = s[SwatchFocusScrollLabel];
    m.SDRFrameNormalColour = s[SwatchSDRFrameNormal];
    m.SDRFrameFocusColour = s[SwatchSDRFrameFocus];
    return m;
}

bool ConfigApply::checkFailed(const QString& text) const
{
    messages().show(text, caption_ + QStringLiteral(" CLKIN - ERROR"), MessageButtons::Ok, MessageIcon::Warning);
    return false;
}

bool ConfigApply::Apply(const ConfigEntries& e)
{
    const ConfigHooks& h = *hooks_;
    call(h.setSDRModelNo, e.SDRModelNo);

    const double ifFrequency = NumericValue(e.IFFrequencyText.toStdString());
    if (ifFrequency <= MinimumIF)
        return checkFailed(QStringLiteral("IF Frequency must be greater than 0.4 MHZ"));
    call(h.setHiSideLO, !e.LoLO);
    call(h.setIFFrequency, RoundEven(ifFrequency));
    call(h.setAutoUpdate, e.AutoDDSRefresh);

    const double clock = NumericValue(e.ClkInText.toStdString());
    if (clock <= MinimumClock)
        return checkFailed(QStringLiteral("CLKIN must be greater than 1.0000 MHZ"));
    // Only the port that is to carry the chip is worth telling again: leaving the
    // parallel port, the load below still goes through it before the re-wiring.
    const int32_t current = h.interfaceType ? h.interfaceType() : InitialDDSInterfaceType;
    if (e.DDSInterfaceType.value_or(current) == 1)
        call(h.reportParallelFailureAgain);
    call(h.initialiseSynthesizer);
    call(h.setClkIn, clock);
    call(h.refreshVFO);

    applySoundDevices(e);

    const bool encoderBefore = h.enableShaftEncoder ? h.enableShaftEncoder() : false;
    applyInterface(e, clock, encoderBefore);
    applyParallelPort(e);
    applySerialPort(e, encoderBefore);

    if (h.splPresent && h.splPresent())
        call(h.setUseSPL, e.UseSPL);

    call(h.setFlags, e.Flags);
    call(h.setDreamOptions, e.Dream);

    call(h.setHideFreqToolTip, e.HideFreqToolTip);
    const AnalyserColours analyser = analyserColoursOf(e.Swatches);
    applyAnalyserColours(analyser);
    call(h.setChannelBrightness, 0, 100);
    call(h.setChannelBrightness, 1, 100);

    applySmoothing(e);

    for (int id : DisplayAdjusterIds)
        call(h.setAdjusterColours, id, analyser.ControlColourNormal, analyser.ControlColourFocused);

    const MainColours main = mainColoursOf(e.Swatches);
    call(h.setMainColours, main);
    call(h.redrawMainWindow);

    // What was committed is what a later Preview release goes back to.
    rememberColours(main, analyser);
    return true;
}

void ConfigApply::applySoundDevices(const ConfigEntries& e)
{
    // A list without a selection keeps its device; device 0 would be a dead card.
    if (e.playbackIndex < 0 || e.captureIndex < 0)
        return;
    const int32_t playback = e.playbackIndex + 1;
    const int32_t capture = e.captureIndex + 1;
    if (playback == devices_->playback && capture == devices_->capture && !devices_->pending)
        return;
    devices_->wantedPlayback = playback;
    devices_->wantedCapture = capture;
    if (devices_->pending)
        return; // the waiting change takes the new numbers
    changeSoundDevices(hooks_, devices_);
}

void ConfigApply::changeSoundDevices(const std::shared_ptr<const ConfigHooks>& hooks,
                                     const std::shared_ptr<Devices>& devices)
{
    const ConfigHooks& h = *hooks;
    const bool running = h.soundInAction && h.soundInAction();
    if (running && h.inDSP && h.inDSP() && h.runLater) {
        // Never stop the devices under a block in the chain; try again once it is through.
        devices->pending = true;
        h.runLater([hooks, devices] { changeSoundDevices(hooks, devices); });
        return;
    }
    devices->pending = false;
    if (running) {
        call(h.stopSound);
    }
    call(h.releaseDevices);
    call(h.setPlaybackDevice, devices->wantedPlayback);
    call(h.setCaptureDevice, devices->wantedCapture);
    const bool prepared = h.prepareDevices ? h.prepareDevices() : false;
    if (running && prepared)
        call(h.startSound);
    if (prepared) {
        devices->playback = devices->wantedPlayback;
        devices->capture = devices->wantedCapture;
    } else {
        AddLog(QStringLiteral("frmConfig : sound devices %1 (out) and %2 (in) could not be prepared")
                   .arg(devices->wantedPlayback)
                   .arg(devices->wantedCapture));
    }
}

void ConfigApply::applyInterface(const ConfigEntries& e, double clock, bool encoderBefore)
{
    const ConfigHooks& h = *hooks_;
    if (!e.DDSInterfaceType)
        return;
    const int32_t wanted = *e.DDSInterfaceType;
    // The driver's interface now, not the one at load: a serial, parallel, serial round
    // within one opening must end on the serial port.
    const int32_t current = h.interfaceType ? h.interfaceType() : InitialDDSInterfaceType;
    if (wanted == current)
        return;
    if (current == 0 && wanted == 1)
        call(h.closeSerialPort);
    call(h.setInterfaceType, wanted);
    if (wanted == 0) {
        if (h.serialPortOpen && !h.serialPortOpen())
            call(h.openSerialPort, encoderBefore);
        call(h.initialiseSynthesizer);
        // A driver's initialisation may reload its stored clock; the one just applied stands.
        call(h.setClkIn, clock);
    }
    call(h.refreshVFO);
}

void ConfigApply::applyParallelPort(const ConfigEntries& e)
{
    const ConfigHooks& h = *hooks_;
    if (const auto address = ConfigNumber(e.PortAddressText); address && std::fabs(*address) <= 2147483647.0)
        call(h.setParallelPortAddress, static_cast<int32_t>(*address));
    else
        AddLog(QStringLiteral("frmConfig : port address \"%1\" is not a number, kept").arg(logValue(e.PortAddressText)));
    if (const auto period = ConfigNumber(e.ParallelBitPeriodText); period && *period >= 0)
        call(h.setParallelWaitTime, *period);
    else
        AddLog(QStringLiteral("frmConfig : bit period \"%1\" is not a number, kept").arg(logValue(e.ParallelBitPeriodText)));
    call(h.setNonInverting, !e.InvertingIF);
}

void ConfigApply::applySerialPort(const ConfigEntries& e, bool encoderBefore)
{
    const ConfigHooks& h = *hooks_;
    if (h.serialPortNo) {
        const SerialPortChoice current{h.serialPortNo(), h.serialDevicePath ? h.serialDevicePath() : QString()};
        // No selection keeps the port: it also carries the knob.
        const SerialPortChoice wanted = e.comPortListEnabled && e.comPort ? *e.comPort : current;
        if (wanted != current) {
            call(h.closeSerialPort);
            call(h.setSerialPortNo, wanted.PortNo);
            call(h.setSerialDevicePath, wanted.DevicePath);
            call(h.openSerialPort, encoderBefore);
        }
    }
    if (const auto period = ConfigNumber(e.BitPeriodText); period && *period >= 0)
        call(h.setSerialWaitTime, *period);
    else
        AddLog(QStringLiteral("frmConfig : bit period \"%1\" is not a number, kept").arg(logValue(e.BitPeriodText)));
}

void ConfigApply::applySmoothing(const ConfigEntries& e)
{
    const ConfigHooks& h = *hooks_;
    const auto count = ConfigNumber(e.SmoothingCountText);
    if (count && *count == std::floor(*count) && *count >= MinSmoothCount && *count <= MaxSmoothCount)
        call(h.setDefaultSmoothCount, static_cast<int32_t>(*count));
    else
        AddLog(QStringLiteral("frmConfig : smoothing count \"%1\" is not a whole number from %2 to %3, kept")
                   .arg(logValue(e.SmoothingCountText))
                   .arg(MinSmoothCount)
                   .arg(MaxSmoothCount));
    if (h.defaultSmoothCount)
        call(h.setAdjusterDefault, 19, static_cast<float>(h.defaultSmoothCount()));
}

void ConfigApply::applyAnalyserColours(const AnalyserColours& colours)
{
    call(hooks_->setAnalyserColours, colours);
}

void ConfigApply::PreviewPress(const SwatchColours& swatches)
{
    const ConfigHooks& h = *hooks_;
    call(h.setMainColours, mainColoursOf(swatches));
    applyAnalyserColours(analyserColoursOf(swatches));
    call(h.setChannelBrightness, 0, 100);
    call(h.setChannelBrightness, 1, 100);
    call(h.redrawMainWindow);
}

void ConfigApply::PreviewRelease()
{
    const ConfigHooks& h = *hooks_;
    const OpeningColourTable& o = OpeningColours_;
    MainColours m;
    m.SDRBackgroundColour = o[0];
    m.SDRLabelColour = o[1];
    m.SDRTuningColour = o[2];
    m.SDRFrameNormalColour = o[3];
    m.SDRFrameFocusColour = o[4];
    m.ScrollableLabelNormalColour = o[5];
    m.ScrollableLabelFocusColour = o[6];
    call(h.setMainColours, m);
    AnalyserColours a;
    a.ScopeBackColour = o[8];
    a.GraticuleColour = o[9];
    a.Y1BaseColour = o[10];
    a.Y2BaseColour = o[11];
    a.FilterCurveColour = o[12];
    a.NotchFilterColour = o[13];
    a.XTextColour = o[14];
    a.YTextColour = o[15];
    a.ControlColourNormal = o[5];
    a.ControlColourFocused = o[6];
    applyAnalyserColours(a);
    // The traces follow the brightness adjusters again, not the previewed full brightness.
    for (int channel = 0; channel < 2; ++channel)
        call(h.setChannelBrightness, channel, h.channelBrightness ? h.channelBrightness(channel) : 100);
    call(h.redrawMainWindow);
}

} // namespace orvik
