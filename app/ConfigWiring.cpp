#include "app/ConfigWiring.h"

#include "common/Format.h"
#include "config/ui/frmConfig.h"
#include "dsp/ORVIK.h"
#include "platform/ParallelPort.h"
#include "platform/SerialDevices.h"
#include "platform/SettingsStore.h"
#include "receiver/PublicVars.h"
#include "receiver/sound/ORVIKDX8.h"
#include "shell/CtlArray.h"
#include "shell/DreamLauncher.h"
#include "shell/MainWindowSettings.h"
#include "shell/ui/ColourScheme.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "tuning/SynthDriver.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/FrequencyPanel.h"
#include "tuning/ui/frmCalibrate.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace orvik {

namespace {
// How long a deferred sound-device change waits before it looks at the chain again.
constexpr int DeferredDeviceChangeMs = 5;
} // namespace

ConfigWiring::ConfigWiring(Parts parts)
    : parts_(std::move(parts))
{
    if (auto* button = parts_.window->findChild<QAbstractButton*>(QStringLiteral("cmdConfig")))
        connect(button, &QAbstractButton::clicked, this, [this] { cmdConfig_Click(); });
}

ConfigWiring::~ConfigWiring()
{
    // The dialog's hooks point at this object and the main window's members.
    closeDialog();
}

ConfigHooks ConfigWiring::hooks()
{
    const Parts& p = parts_;
    auto vfo = [p]() -> clsVFO* { return p.rig ? p.rig->VFO.get() : nullptr; };
    auto chip = [vfo]() -> SynthDriver* { return vfo() ? vfo()->OscType() : nullptr; };
    auto serial = [p]() -> clsDDSSerialIF* { return p.rig ? p.rig->DDSSerialIF.get() : nullptr; };
    auto parallel = [p]() -> clsDDSParallelIF* { return p.rig ? p.rig->DDSParallelIF.get() : nullptr; };
    auto card = [p]() -> ORVIKDX8* { return p.soundCard ? p.soundCard->get() : nullptr; };
    auto dream = [p]() -> DreamLauncher* { return p.dream ? p.dream->get() : nullptr; };
    auto analyser = [p]() -> clsSpectrumAnalyser* { return p.analyser ? p.analyser->get() : nullptr; };

    ConfigHooks h;
    h.readSystem = [=] {
        ConfigSystemValues s;
        const MainWindowOptions& o = *p.options;
        s.SDRModelNo = o.SDRModelNo;
        if (ORVIKDX8* c = card()) {
            c->GetPlayDeviceNames(s.PlaybackDeviceNames);
            c->GetCapDeviceNames(s.CaptureDeviceNames);
            s.CurrentPlaybackDevice = c->CurrentPlaybackDevice();
            s.CurrentCaptureDevice = c->CurrentCaptureDevice();
        }
        if (clsVFO* v = vfo()) {
            s.IFFrequency = v->IFFrequency();
            s.HiSideLO = v->HiSideLO();
            s.DDSInterfaceType = v->DDSInterfaceType();
            s.AutoUpdate = v->AutoUpdate();
        }
        if (SynthDriver* d = chip())
            s.ClkIn = d->ClkIn();
        s.SPLPresent = ORVIK::SPLPresent;
        s.UseSPL = ORVIK::UseSPL;
        if (clsDDSSerialIF* port = serial()) {
            s.SerialWaitTime = port->WaitTime();
            s.PortNo = port->PortNo();
            s.SerialDevicePath = port->DevicePath();
        }
        s.SerialDevices = listSerialDevices();
        s.SerialDeviceInForce = serialDeviceOfChoice(s.PortNo, s.SerialDevicePath);
        if (clsDDSParallelIF* port = parallel()) {
            s.ParallelWaitTime = port->WaitTime();
            s.PortAddress = port->PortAddress();
            s.NonInverting = port->NonInverting();
        }
        s.Dream = dream() ? dream()->options : o.Dream;
        s.DreamDefaultArgs = p.DreamDefaultArgs ? *p.DreamDefaultArgs : QString();
        s.SmoothDefault = (*p.ctl)[19].Default;
        if (const clsSpectrumAnalyser* a = analyser()) {
            s.HideFreqToolTip = a->HideFreqToolTip;
            s.Analyser = {a->ScopeBackColour,   a->GraticuleColour,   a->Y1BaseColour, a->Y2BaseColour,
                          a->FilterCurveColour, a->NotchFilterColour, a->XTextColour,  a->YTextColour,
                          a->ControlColourNormal, a->ControlColourFocused};
        }
        const SDRColourSchemes& c = *p.colours;
        s.Main = {c.SDRBackgroundColour, c.SDRLabelColour,          c.SDRTuningColour,          c.SDRFrameNormalColour,
                  c.SDRFrameFocusColour, c.ScrollableLabelNormalColour, c.ScrollableLabelFocusColour};
        s.Flags = {o.EnableShaftEncoder, o.ShaftAutoRate,         o.ScrollWheelEnableOverScope, o.HiLiteBorder,
                   o.KBDSupport,        o.AutoTrackPresets,      o.FormCaptionOffOnPwrOn,      o.AutoStartSDR};
        return s;
    };

    h.setSDRModelNo = [p](int32_t model) { p.options->SDRModelNo = model; };

    h.setHiSideLO = p.setHiSideLO;
    // The main window's read-outs show what is applied at once, not only when the dialog closes.
    h.setIFFrequency = [p, vfo](int32_t hertz) {
        if (clsVFO* v = vfo()) {
            v->setIFFrequency(hertz);
            showClockAndIF(p.window, *v);
        }
    };
    h.setAutoUpdate = [p, vfo](bool value) {
        if (clsVFO* v = vfo())
            v->setAutoUpdate(value);
        p.options->AutoDDSRefresh = value;
    };
    h.initialiseSynthesizer = [chip] {
        if (SynthDriver* d = chip())
            d->Initialise();
    };
    h.setClkIn = [p, vfo, chip](double hertz) {
        SynthDriver* d = chip();
        if (!d)
            return;
        d->setClkIn(hertz);
        // The operator's clock, like a calibrated one, is the one the next start uses.
        if (p.store)
            StoreClock(*p.store, *d);
        showClockAndIF(p.window, *vfo());
    };
    h.refreshVFO = [vfo] {
        if (clsVFO* v = vfo())
            v->Refresh();
    };
    h.interfaceType = [chip, parallel, vfo] {
        if (SynthDriver* d = chip())
            return d->IFHandler() && d->IFHandler() == parallel() ? 1 : 0;
        return vfo() ? vfo()->DDSInterfaceType() : 0;
    };
    h.setInterfaceType = [p, vfo, chip, serial, parallel](int32_t type) {
        if (clsVFO* v = vfo())
            v->setDDSInterfaceType(type);
        if (SynthDriver* d = chip())
            d->setIFHandler(type == 1 ? static_cast<SynthPortInterface*>(parallel())
                                      : static_cast<SynthPortInterface*>(serial()));
        // Start-up opens the serial port by this key, so the next start follows the choice.
        if (p.store)
            p.store->writeInt(QString::fromLatin1(MainWindowSection), QStringLiteral("VFO1.IFType"), type);
    };

    h.serialPortNo = [serial] { return serial() ? serial()->PortNo() : 0; };
    h.setSerialPortNo = [serial](int32_t port) {
        if (clsDDSSerialIF* s = serial())
            s->setPortNo(port);
    };
    h.serialDevicePath = [serial] { return serial() ? serial()->DevicePath() : QString(); };
    h.setSerialDevicePath = [serial](const QString& path) {
        if (clsDDSSerialIF* s = serial())
            s->setDevicePath(path);
    };
    h.serialPortOpen = [serial] { return serial() && serial()->hComm() > 0; };
    h.closeSerialPort = [serial] {
        if (clsDDSSerialIF* s = serial())
            s->ClosePort();
    };
    h.openSerialPort = [serial](bool eventMode) {
        if (clsDDSSerialIF* s = serial())
            s->OpenPort(eventMode);
    };
    h.setSerialWaitTime = [serial](double seconds) {
        if (clsDDSSerialIF* s = serial())
            s->setWaitTime(seconds);
    };
    h.setParallelPortAddress = [parallel](int32_t address) {
        if (clsDDSParallelIF* port = parallel())
            port->setPortAddress(address);
    };
    h.setParallelWaitTime = [parallel](double seconds) {
        if (clsDDSParallelIF* port = parallel())
            port->setWaitTime(seconds);
    };
    h.setNonInverting = [parallel](bool value) {
        if (clsDDSParallelIF* port = parallel())
            port->setNonInverting(value);
    };
    h.reportParallelFailureAgain = [parallel] {
        if (clsDDSParallelIF* port = parallel())
            port->reportFailureAgain();
    };
    h.parallelDevice = [parallel](int32_t address) {
        return parallelDeviceText(static_cast<uint16_t>(address), parallel() ? parallel()->DevicePath() : QString());
    };

    h.soundInAction = [card] { return card() && card()->InAction(); };
    h.inDSP = [p] { return p.vars->InDSP; };
    h.stopSound = [card] {
        if (ORVIKDX8* c = card())
            c->StopSound();
    };
    h.releaseDevices = [card] {
        if (ORVIKDX8* c = card())
            c->ReleaseDevices();
    };
    h.setPlaybackDevice = [p, card](int32_t device) {
        if (ORVIKDX8* c = card())
            c->setCurrentPlaybackDevice(device);
        p.options->CurrentPlaybackDevice = device;
    };
    h.setCaptureDevice = [p, card](int32_t device) {
        if (ORVIKDX8* c = card())
            c->setCurrentCaptureDevice(device);
        p.options->CurrentCaptureDevice = device;
    };
    h.prepareDevices = [card] { return card() && card()->PrepareDevices(); };
    h.startSound = [card] {
        if (ORVIKDX8* c = card())
            c->StartSound();
    };
    h.runLater = [p](std::function<void()> work) {
        QTimer::singleShot(DeferredDeviceChangeMs, p.window, std::move(work));
    };

    h.splPresent = [] { return ORVIK::SPLPresent; };
    h.setUseSPL = [p](bool value) {
        ORVIK::UseSPL = value;
        p.options->UseSPL = value;
    };

    h.enableShaftEncoder = [p] { return p.options->EnableShaftEncoder; };
    h.setFlags = [p](const ConfigFlags& f) {
        MainWindowOptions& o = *p.options;
        o.EnableShaftEncoder = f.EnableShaftEncoder;
        o.ShaftAutoRate = f.ShaftAutoRate;
        o.ScrollWheelEnableOverScope = f.ScrollWheelEnableOverScope;
        o.HiLiteBorder = f.HiLiteBorder;
        o.KBDSupport = f.KBDSupport;
        o.AutoTrackPresets = f.AutoTrackPresets;
        o.FormCaptionOffOnPwrOn = f.FormCaptionOffOnPwrOn;
        o.AutoStartSDR = f.AutoStartSDR;
        p.ctl->HiLiteBorder = f.HiLiteBorder;
        if (p.setShaftEncoder)
            p.setShaftEncoder(f.EnableShaftEncoder, f.ShaftAutoRate);
    };
    h.setDreamOptions = [p, dream](const DreamOptions& options) {
        if (DreamLauncher* d = dream())
            d->options = options;
        p.options->Dream = options;
    };

    h.setHideFreqToolTip = [analyser](bool hide) {
        if (clsSpectrumAnalyser* a = analyser())
            a->HideFreqToolTip = hide;
    };
    h.setAnalyserColours = [analyser](const AnalyserColours& c) {
        clsSpectrumAnalyser* a = analyser();
        if (!a)
            return;
        a->ScopeBackColour = c.ScopeBackColour;
        a->GraticuleColour = c.GraticuleColour;
        a->Y1BaseColour = c.Y1BaseColour;
        a->Y2BaseColour = c.Y2BaseColour;
        a->FilterCurveColour = c.FilterCurveColour;
        a->NotchFilterColour = c.NotchFilterColour;
        a->XTextColour = c.XTextColour;
        a->YTextColour = c.YTextColour;
        a->ControlColourNormal = c.ControlColourNormal;
        a->ControlColourFocused = c.ControlColourFocused;
    };
    h.setChannelBrightness = [analyser](int channel, int level) {
        if (clsSpectrumAnalyser* a = analyser())
            a->SetChannelBrightness(channel, level);
    };
    h.setDefaultSmoothCount = [p, analyser](int32_t count) {
        if (clsSpectrumAnalyser* a = analyser())
            a->DefaultSmoothCount = count;
        (*p.ctl)[19].Default = static_cast<float>(count);
    };
    h.defaultSmoothCount = [p, analyser] {
        const clsSpectrumAnalyser* a = analyser();
        return a ? a->DefaultSmoothCount : static_cast<int32_t>((*p.ctl)[19].Default);
    };
    h.displayAnalyser = [analyser, card] {
        // While sound runs, every block already draws the display.
        if (card() && card()->InAction())
            return;
        if (clsSpectrumAnalyser* a = analyser())
            a->Display();
    };
    h.setAdjusterDefault = [p](int id, float value) { (*p.ctl)[id].Default = value; };
    h.setAdjusterColours = [p](int id, uint32_t normal, uint32_t focus) {
        (*p.ctl)[id].NormalColour = normal;
        (*p.ctl)[id].FocusColour = focus;
    };
    h.channelBrightness = [p](int channel) { return static_cast<int>((*p.ctl)[channel == 0 ? 21 : 22].Value); };

    h.setMainColours = [p](const MainColours& m) {
        SDRColourSchemes& c = *p.colours;
        c.SDRBackgroundColour = m.SDRBackgroundColour;
        c.SDRLabelColour = m.SDRLabelColour;
        c.SDRTuningColour = m.SDRTuningColour;
        c.SDRFrameNormalColour = m.SDRFrameNormalColour;
        c.SDRFrameFocusColour = m.SDRFrameFocusColour;
        c.ScrollableLabelNormalColour = m.ScrollableLabelNormalColour;
        c.ScrollableLabelFocusColour = m.ScrollableLabelFocusColour;
    };
    h.redrawMainWindow = [p] {
        setWindowBackground(p.window, p.colours->SDRBackgroundColour);
        if (p.ReColour)
            p.ReColour();
    };
    h.calibrate = [this, vfo, chip]() -> std::optional<double> {
        if (!vfo() || !chip())
            return std::nullopt;
        frmCalibrate calibration(*vfo(), parts_.store, dialog_.data());
        calibration.exec();
        if (!calibration.ApplyChanges)
            return std::nullopt;
        return chip()->ClkIn();
    };
    return h;
}

void ConfigWiring::cmdConfig_Click()
{
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    // A second opening while one is open would stack two sets of initial values.
    auto* button = parts_.window->findChild<QAbstractButton*>(QStringLiteral("cmdConfig"));
    if (button)
        button->setEnabled(false);
    frmConfig::Setup setup;
    setup.hooks = hooks();
    setup.state = &state;
    setup.programFolder = parts_.programFolder;
    setup.version = parts_.version;
    dialog_ = new frmConfig(std::move(setup), parts_.window);
    dialog_->setWindowFlag(Qt::Window);
    connect(dialog_.data(), &QDialog::finished, this, [this] { dialogClosed(); });
    dialog_->show();
}

void ConfigWiring::closeDialog()
{
    delete dialog_.data();
    dialog_ = nullptr;
    state.ConfigOpen = false;
}

void ConfigWiring::dialogClosed()
{
    if (auto* button = parts_.window->findChild<QAbstractButton*>(QStringLiteral("cmdConfig")))
        button->setEnabled(true);
    if (dialog_)
        dialog_->deleteLater();
    dialog_ = nullptr;
    if (state.ConfigCancelled)
        return;
    clsVFO* v = parts_.rig ? parts_.rig->VFO.get() : nullptr;
    if (!v)
        return;
    showClockAndIF(parts_.window, *v);
    if (parts_.Display7Seg)
        parts_.Display7Seg(v->FormattedTunedFreq());
}

} // namespace orvik
