#include "app/frmMain.h"
#include "common/Product.h"

#include "app/ConfigWiring.h"
#include "app/SettingsBlock.h"
#include "bands/ui/BandControls.h"
#include "app/MainWindowControls.h"
#include "app/SpectrumStartup.h"
#include "app/SynthPorts.h"
#include "app/TerminationSignals.h"
#include "app/MainWindowRecorder.h"
#include "app/frmLog.h"
#include "app/frmSplash1.h"
#include "bands/BandPlanDiscovery.h"
#include "bands/modIniFiles.h"
#include "common/Format.h"
#include "common/Numeric.h"
#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VendorFft.h"
#include "dsp/VectorLib.h"
#include "platform/DeviceAccess.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/PpdevParallelPort.h"
#include "platform/SerialModemLines.h"
#include "platform/SettingsStore.h"
#include "receiver/ReceiverAdjust.h"
#include "receiver/ReceiverCore.h"
#include "receiver/ReceiverTables.h"
#include "receiver/sound/ORVIKDX8.h"
#include "receiver/sound/frmDX8Events.h"
#include "receiver/ui/ReceiverControls.h"
#include "receiver/ui/SMeter.h"
#include "shell/ui/AdjusterControls.h"
#include "shell/ui/FocusHighlighter.h"
#include "shell/ui/StatisticsPanel.h"
#include "shell/ui/modWheelMouse.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeControls.h"
#include "tuning/clsAD9835.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/FrequencyPanel.h"
#include "tuning/ui/TuningControls.h"

#include <QFileInfo>
#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDial>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unistd.h>

namespace orvik {

namespace {

const QString Product = QString::fromLatin1(ProductName);
const QString InitializeLocation = QStringLiteral("frmMain:frmMain:Form_Initialize");
// Redraw interval of a frozen display while blocks arrive.
constexpr int kFrozenDisplayMs = 2;

template <typename F>
void ignoringFailure(F&& step)
{
    try {
        step();
    } catch (...) {
        // Shut-down carries on whatever one step does.
    }
}

} // namespace

// The block handler writes its audio here; the sound card exists only from the
// second start-up step on, the receive chain from the first.
class frmMain::SoundCardOutput : public SoundOutput {
public:
    ORVIKDX8* card = nullptr;
    void Output(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) override
    {
        if (card)
            card->Output(Channel1, Channel2, NoSamples);
    }
    bool ReplaceLastOutput(const int16_t* Channel1, const int16_t* Channel2, int32_t NoSamples) override
    {
        return card && card->ReplaceLastOutput(Channel1, Channel2, NoSamples);
    }
    void setOutputAttenuation(int32_t value) override
    {
        if (card)
            card->setOutputAttenuation(value);
    }
};

class frmMain::VfoTuning : public TuningSource {
public:
    clsVFO* vfo = nullptr;
    int32_t TunedFrequency() const override { return vfo ? vfo->TunedFrequency() : 0; }
};

frmMain::frmMain(Services services)
    : QWidget(nullptr),
      store_(services.store),
      soundBackend_(services.soundBackend),
      programFolder_(std::move(services.programFolder)),
      shippedBandPlans_(std::move(services.shippedBandPlans)),
      recorder_(std::make_unique<MainWindowRecorder>(programFolder_))
{
    // The signal-processing classes report misuse through this seam, once per object.
    SetDspErrorReporter([](const std::string& text) {
        messages().show(QString::fromStdString(text), Product, MessageButtons::Ok, MessageIcon::Critical);
    });
    setObjectName(QStringLiteral("frmMain"));
    panels_ = buildMainWindowControls(this);
    MSComm1 = new ModemLineWatcher(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    WindowSizeController::Hooks sizeHooks;
    sizeHooks.chkPerfStatsOn_Click = [this] { chkPerfStatsOn_Click(); };
    sizeHooks.statisticsAndAnalyserOff = [this] {
        vars_.PerfStatsOn = false;
        if (SpectrumAnalyser)
            SpectrumAnalyser->Active = false;
    };
    sizeHooks.chkSpectrumAnalyser_Click = [this] {
        if (scopeControls_)
            scopeControls_->chkSpectrumAnalyser_Click();
    };
    sizeHooks.frPowerHover = [this] { focus_->FrameGotMouse(control(QStringLiteral("frPower"))); };
    windowSize_ = std::make_unique<WindowSizeController>(this, frameState_, sizeHooks);
    focus_ = std::make_unique<FocusHighlighter>(this, CtlArray_, colours_);
    adjusters_ = std::make_unique<AdjusterControls>(this, CtlArray_, *focus_);
    wheelMouse_ = std::make_unique<modWheelMouse>(CtlArray_, this);
    createTuningControls();

    createConfigWiring();

    // Enabled by the last steps of start-up, once there is a receiver to switch.
    for (int i = 0; i < 3; ++i)
        if (QWidget* button = element("optPwr", i))
            button->setEnabled(false);
    for (int i = 0; i < 3; ++i)
        if (auto* button = qobject_cast<QAbstractButton*>(element("optPwr", i)))
            connect(button, &QAbstractButton::toggled, this, [this, i](bool checked) {
                if (checked)
                    optPwr_Click(i);
            });
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkPerfStatsOn"))))
        connect(box, &QAbstractButton::toggled, this, [this] { chkPerfStatsOn_Click(); });
    if (auto* zero = qobject_cast<QAbstractButton*>(control(QStringLiteral("cmdCalibrateSMeter"))))
        connect(zero, &QAbstractButton::clicked, this, [this] { cmdCalibrateSMeter_Click(); });
    if (QTimer* t = timer("tmrPerfStats"))
        connect(t, &QTimer::timeout, this, [this] { tmrPerfStats_Timer(); });
    if (QTimer* t = timer("tmrClock"))
        connect(t, &QTimer::timeout, this, [this] { tmrClock_Timer(); });
}

frmMain::~frmMain()
{
    SetDspErrorReporter({});
    if (abandoned_)
        return;
    setLogSink({});
}

void frmMain::abandon()
{
    // Leaves every object unreleased so that none writes its settings; the
    // process ends right after.
    abandoned_ = true;
    (void)SpectrumAnalyser.release();
    (void)rig_.VFO.release();
    (void)rig_.DDSAD9835.release();
    (void)rig_.DDSAD9951.release();
    (void)rig_.DDSSerialIF.release();
    (void)rig_.DDSParallelIF.release();
    (void)rig_.serialLines.release();
    (void)rig_.parallelPort.release();
    (void)dx8Events_.release();
    (void)SoundCard.release();
    if (instanceLock_)
        instanceLock_->unlock();
}

QWidget* frmMain::control(const QString& name) const { return children_.find<QWidget>(name); }

QWidget* frmMain::element(const char* arrayName, int index) const
{
    return control(controlName(QLatin1String(arrayName), index));
}

QTimer* frmMain::timer(const char* name) const { return children_.find<QTimer>(QLatin1String(name)); }

void frmMain::armTimer(const char* name, int intervalMs)
{
    if (QTimer* t = timer(name)) {
        t->setInterval(intervalMs);
        t->start();
    }
}

void frmMain::setElementChecked(const char* arrayName, int index, bool checked)
{
    if (auto* b = qobject_cast<QAbstractButton*>(element(arrayName, index)))
        b->setChecked(checked);
}

void frmMain::setCheckBox(const char* name, bool checked)
{
    if (auto* b = qobject_cast<QAbstractButton*>(control(QLatin1String(name))))
        b->setChecked(checked);
}

void frmMain::log(const QString& text) { AddLog(text); }

bool frmMain::powerOn() const
{
    auto* on = qobject_cast<QAbstractButton*>(element("optPwr", 0));
    return on && on->isChecked();
}

int frmMain::Form_Initialize(const QStringList& argumentsAfterProgram)
{
    TraceOn = commandLineAsksForTrace(argumentsAfterProgram);
    RunningInIDE = InIDE();
    InFormInitialize = true;

    // Checked before the log window exists: a refused second start must not
    // empty the running instance's trace.
    QDir().mkpath(programFolder_);
    instanceLock_ = std::make_unique<QLockFile>(QDir(programFolder_).filePath(QStringLiteral("ORVIKSDR.lock")));
    instanceLock_->setStaleLockTime(0);
    if (!instanceLock_->tryLock(0)) {
        const QLockFile::LockError why = instanceLock_->error();
        instanceLock_.reset();
        if (why == QLockFile::LockFailedError) {
            messages().show(Product + QStringLiteral(" is already running"), Product, MessageButtons::Ok,
                            MessageIcon::None);
            return 3;
        }
        // A folder we cannot write to is not a second instance: say what is wrong
        // and let the start go on to its own checks.
        AddLog(QStringLiteral("Error:frmMain:Form_Initialize:cannot create the instance lock in %1, so another "
                              "instance is not looked for")
                   .arg(programFolder_));
    }

    logWindow_ = std::make_unique<frmLog>(TraceOn, QDir(programFolder_).filePath(QString::fromLatin1(TraceLog::FileName)));
    if (TraceOn) {
        logWindow_->show();
        pumpEvents();
    }

    splash_ = std::make_unique<frmSplash1>(this);
    splash_->show();
    pumpEvents();

    log(InitializeLocation + QStringLiteral(" : Start"));
    log(InitializeLocation + QStringLiteral(" : ORVIK.INIT"));
    ORVIK::INIT();
    // Measured vendor plans, made when the vendor back-end is first used,
    // with their wisdom beside the settings so that only the first use
    // spends time planning.
    ORVIK::ConfigureVendorPlanning(
        true,
        QFile::encodeName(QFileInfo(SettingsStore::defaultPath()).dir().filePath(QStringLiteral("fftw-wisdom")))
            .toStdString(),
        [](const std::string& line) { AddLog(QString::fromLocal8Bit(line)); });

    log(InitializeLocation + QStringLiteral(" : PublicVars.SDRColourSchemes.Defaults"));
    colours_ = defaultColourScheme();

    log(InitializeLocation + QStringLiteral(":Initialising BandPlans"));
    const BandPlanDiscovery found = DiscoverBandPlans(
        bandPlans_, programFolder_, Product, InitializeLocation,
        [this](const QString& name) {
            if (splash_)
                splash_->lblBandPlan->setText(name);
        },
        shippedBandPlans_);
    if (found.EndProgram) {
        // Under the message: the folder looked in and why it holds no band plan.
        const QString problem = folderAccessProblem(programFolder_);
        const QString why = programFolder_ + QStringLiteral(": ")
                            + (problem.isEmpty() ? QStringLiteral("no .bpl file in this folder") : problem);
        messages().show(found.MessageText + QLatin1Char('\n') + why, found.MessageTitle, MessageButtons::Ok,
                        MessageIcon::Critical);
        return 4;
    }

    log(InitializeLocation + QStringLiteral(":Initialising Digital Filter Objects"));
    soundOutput_ = std::make_unique<SoundCardOutput>();
    tuning_ = std::make_unique<VfoTuning>();
    receiver_ = std::make_unique<ReceiverCore>(vars_, *soundOutput_, spectrum_, recorder_->player(), *tuning_);
    receiver_->setYieldHook([] { pumpEvents(); });
    receiver_->setClock([] {
        using namespace std::chrono;
        return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
    });
    // Found once: the hook runs after every block. Both timers get no delay, the
    // display's armed first: the event loop runs them right after the block, in the
    // wake-up that brought the block, instead of waking twice more for them. A frozen
    // display keeps its timer running, so it gets a delay rather than a busy loop.
    receiver_->setBlockDoneHook([this, display = QPointer<QTimer>(timer("tmrSpectrumDisplay")),
                                 stats = QPointer<QTimer>(timer("tmrPerfStats"))] {
        if (display)
            display->start(SpectrumAnalyser && SpectrumAnalyser->Freeze ? kFrozenDisplayMs : 0);
        if (stats)
            stats->start(0);
    });
    receiverControls_ = std::make_unique<ReceiverControls>(this, panels_.receiver, *receiver_, CtlArray_, receiverHooks());

    log(InitializeLocation + QStringLiteral(":Creating Profiler Object"));
    PerfProfiler = std::make_unique<Profiler>();
    EncoderProfiler = std::make_unique<Profiler>();

    log(InitializeLocation + QStringLiteral(":Initialising Tuning Step Array"));
    TuningSteps = DefaultTuningSteps();
    tuningControls_->setTuningSteps(TuningSteps);
    wireBandControls();

    options_.Dream.PathToDream.clear();
    options_.Dream.DreamProgArgs.clear();
    InFormInitialize = false;
    splash_->close();
    splash_.reset();

    log(InitializeLocation + QStringLiteral(":Load Main Form"));
    buildLoadSteps();
    log(loadSteps_.location() + QStringLiteral(":Start"));
    setWindowTitle(Product);
    try {
        Form_Load();
    } catch (const StartupAbort& abort) {
        return abort.exitCode;
    } catch (const std::exception& e) {
        const StartupError* known = dynamic_cast<const StartupError*>(&e);
        const StartupFailureReport report = describeStartupFailure(
            loadSteps_.location(), loadSteps_.currentStep(), known ? known->code() : 0, QString::fromStdString(e.what()),
            known ? known->source() : Product);
        messages().show(report.messageText, QStringLiteral("Error"), MessageButtons::Ok, MessageIcon::None);
        log(report.logLine);
        return 5;
    }
    log(InitializeLocation + QStringLiteral(":End"));
    if (closeRequestedDuringStart_)
        QTimer::singleShot(0, this, [this] { close(); });
    return 0;
}

void frmMain::Form_Load()
{
    if (InFormInitialize)
        return;
    if (InFormLoad)
        return;
    InFormLoad = true;
    loadSteps_.run([this](const QString& line) { log(line); });
}

LabelAdjusterView* frmMain::adjusterLabel(int id)
{
    return adjusters_->labelView(id);
}

void frmMain::defineReceiverAdjuster(int id) { defineAdjuster(id, receiverControls_->applyProcedure(id)); }

void frmMain::defineAdjuster(int id, std::function<void()> apply)
{
    // The colours the scheme gave the record stay.
    const uint32_t focus = CtlArray_[id].FocusColour;
    const uint32_t normal = CtlArray_[id].NormalColour;
    CtlArray_.Define(id, adjusterLabel(id), std::move(apply));
    CtlArray_[id].FocusColour = focus;
    CtlArray_[id].NormalColour = normal;
}

void frmMain::buildLoadSteps()
{
    StartupSteps& s = loadSteps_;
    PublicVars& v = vars_;
    CtlArray& ctl = CtlArray_;

    s.add(QStringLiteral(":Resizing"), [this] {
        for (const char* name : {"linExtended", "linNormal", "linCompact"})
            if (QWidget* line = control(QLatin1String(name)))
                line->hide();
        resize(width(), twipsToPixels(WindowSizeController::markerLineY1(1)));
        if (!RunningInIDE) {
            if (QWidget* w = element("lblStatsVal", 6))
                w->hide();
            if (QWidget* w = element("lblStats", 0))
                w->hide();
        }
    });
    s.add(QStringLiteral(":Restoring SDR Colour Settings from Registry"), [this] { RestoreColours(store_, colours_); });
    s.add(QStringLiteral(":Creating SpectrumAnalyser Object"), [this] { createSpectrumAnalyser(); });
    s.add(QStringLiteral(":Making Form Visible"), [this] {
        show();
        for (int i = 0; i < 2; ++i)
            if (QWidget* pic = element("picScope", i))
                setBackColour(pic, 0);
        setWindowBackground(this, colours_.SDRBackgroundColour);
    });
    s.add(QStringLiteral(":Setting Colour Scheme"), [this] {
        ReColourWindow();
        pumpEvents();
    });
    s.add(QStringLiteral(":Creating Wavfile Object"), [this] {
        RecorderControls::Hooks hooks;
        hooks.selectPower = [this](int i) { setElementChecked("optPwr", i, true); };
        hooks.powerIsOn = [this] { return powerOn(); };
        hooks.programEnding = [] { return terminationRequested(); };
        // One block more than the sound card and the device hold, for the sound server's pass.
        hooks.whenPlayedOut = [this](std::function<void()> then) {
            receiver_->PlayOut(blocksStillToBeHeard() + 1, std::move(then));
        };
        recorder_->create(this, hooks, [this] { return tuning_ ? tuning_->TunedFrequency() : 0; });
        frameState_.TitleBarHeight = pixelsToTwips(frameGeometry().height() - geometry().height());
        if (auto* ver = findChild<QLabel*>(QStringLiteral("lblVer")))
            ver->setText(QStringLiteral(ORVIKSDR_VERSION_TEXT));
        windowSize_->selectDisplaySize(3);
    });
    s.add(QStringLiteral(":Draw SMeter"), [this] { DrawSMeter(this); });
    s.add(QStringLiteral(":Positioning Presets"), [this] {
        if (QWidget* list = control(QStringLiteral("lstSubBandSelect"))) {
            list->setEnabled(false);
            list->hide();
        }
        if (auto* id = qobject_cast<QLabel*>(element("lblStatsVal", 9)))
            id->setText(QString::number(static_cast<qint64>(::gettid())));
    });

    // The adjustable values.
    s.add(QStringLiteral(":Initialising MouseOverS"), [this] { tuningControls_->InitTuningSpeedHistory(); });
    s.add(QStringLiteral(":Initialising 7Segment Display Tuning"), [this, &ctl] {
        defineAdjuster(1, [this, &ctl] { tuningControls_->picFreqDisp_Wheel(ctl[1].LastWheelMsg.wParam); });
    });
    s.add(QStringLiteral(":Initialising dialtuner"), [this] {
        if (auto* dial = findChild<QDial*>(QStringLiteral("dialtuner")))
            dial->setRange(0, 100);
    });
    for (int id : {2, 3, 4, 5}) {
        s.add(QStringLiteral(":Initialising CtlArray(%1)").arg(id), [this, &ctl, id] {
            defineScopeAdjuster(id);
            ctl.WriteCaption(id);
        });
    }
    s.add(QStringLiteral(":Initialising CtlArray(7)"), [this] { defineReceiverAdjuster(7); });
    s.add(QStringLiteral(":Initialising CtlArray(8)"), [this] { defineReceiverAdjuster(8); });
    s.add(QStringLiteral(":Initialising CtlArray(9)"), [this, &ctl] {
        defineReceiverAdjuster(9);
        ctl.Apply(9);
    });
    s.add(QStringLiteral(":Initialising sldNB"), [this] { receiverControls_->initialiseNoiseBlankerSlider(); });
    s.add(QStringLiteral(":Initialising dialNB"), [this] { receiverControls_->initialiseNoiseBlankerDial(); });
    s.add(QStringLiteral(":Initialising ctlArray(10)"), [this, &ctl] {
        defineReceiverAdjuster(10);
        ctl.Apply(10);
    });
    s.add(QStringLiteral(":Initialising dialOutVol"), [this] { receiverControls_->initialiseOutputDial(); });
    s.add(QStringLiteral(":Initialising sldOutVolume"), [this] { receiverControls_->initialiseOutputSlider(); });
    s.add(QStringLiteral(":Initialising ctlArray(11)"), [this, &ctl, &v] {
        v.NotchAdjusterLimits = NotchLimits{};
        defineReceiverAdjuster(11);
        ctl[11].Max = v.NotchAdjusterLimits.AudioMax;
        ctl[11].Min = v.NotchAdjusterLimits.AudioMin;
        ctl.Apply(11);
        ctl[11].Disabled = true;
    });
    s.add(QStringLiteral(":Initialising ctlArray(12)"), [this, &ctl] {
        defineReceiverAdjuster(12);
        ctl.Apply(12);
        ctl[12].Disabled = true;
    });
    for (int id : {13, 14})
        s.add(QStringLiteral(":Initialising ctlArray(%1)").arg(id), [this, &ctl, id] {
            defineReceiverAdjuster(id);
            ctl.Apply(id);
        });
    s.add(QStringLiteral(":Initialising ctlArray(15)"), [this, &ctl] {
        defineScopeAdjuster(15);
        ctl.Apply(15);
    });
    s.add(QStringLiteral(":Initialising CtlArray(6)"), [this] {
        defineScopeAdjuster(6);
        scopeControls_->lblScopeX_Wheel();
    });
    s.add(QStringLiteral(":Initialising ctlArray(PicScopeIndex)"), [this, &ctl] {
        ctl[CtlArray::PicScopeIndex].Id = CtlArray::PicScopeIndex;
        ctl[CtlArray::PicScopeIndex].ApplyProc = [this, &ctl] {
            tuningControls_->picScope_Wheel(ctl[CtlArray::PicScopeIndex].LastWheelMsg.wParam);
        };
    });
    for (int id : {17, 18}) {
        s.add(QStringLiteral(":Initialising ctlArray(%1)").arg(id), [this, &ctl, id] {
            defineReceiverAdjuster(id);
            ctl.Apply(id);
            ctl.WriteCaption(id);
            ctl[id].Disabled = true;
        });
    }
    s.add(QStringLiteral(":Initialising ctlArray(19)"), [this, &ctl] {
        defineScopeAdjuster(19);
        ctl[19].Default = static_cast<float>(SpectrumAnalyser->DefaultSmoothCount);
        ctl[19].Value = static_cast<float>(SpectrumAnalyser->SpectrumSmooth());
        ctl.Apply(19);
        ctl.WriteCaption(19);
    });
    s.add(QString(), [this, &ctl] {
        defineReceiverAdjuster(20);
        ctl.Apply(20);
        ctl.WriteCaption(20);
        for (int id : {21, 22}) {
            defineScopeAdjuster(id);
            ctl.Apply(id);
            ctl.WriteCaption(id);
        }
    });

    s.add(QStringLiteral(":Initialising cboBandSelect"), [this] {
        if (auto* combo = findChild<QComboBox*>(QStringLiteral("cboBandSelect"))) {
            combo->clear();
            for (const BandPlan& band : bandPlans_.BandPlans)
                combo->addItem(band.Name);
        }
    });
    s.add(QStringLiteral(":Initialising optSubBand"), [this] {
        for (int i = 0; i < controlCount(this, QStringLiteral("optSubBand")); ++i)
            if (auto* b = qobject_cast<QAbstractButton*>(element("optSubBand", i))) {
                b->setText(QStringLiteral("S%1").arg(i));
                setTextColour(b, 0xC0);
            }
    });
    s.add(QStringLiteral(":Initialising optPreset"), [this] {
        for (int i = 0; i < controlCount(this, QStringLiteral("optPreset")); ++i)
            if (auto* b = qobject_cast<QAbstractButton*>(element("optPreset", i))) {
                b->setText(QStringLiteral("P%1").arg(i));
                setTextColour(b, 0xC0C000);
            }
    });
    s.add(QStringLiteral(":New ORVIKDX8"), [this] {
        SoundCard = std::make_unique<ORVIKDX8>(soundBackend_);
        dx8Events_ = std::make_unique<frmDX8Events>(*SoundCard);
        soundOutput_->card = SoundCard.get();
        SoundCard->DataReady = [this](SampleBlock& Channel1, SampleBlock& Channel2, int32_t NoSamples) {
            receiver_->SoundCard_DataReady(Channel1.data(), Channel2.data(), NoSamples);
        };
        // A device gone while receiving switches the receiver off as the Off button does.
        SoundCard->DeviceLost = [this] {
            if (powerOn())
                setElementChecked("optPwr", 1, true);
        };
    });
    // The receive chain made its block FFT with its filters.
    s.add(QStringLiteral(":New clsFFTReal"));
    s.add(QStringLiteral(":Initialising FFTReal"));
    s.add(QStringLiteral(" : Initialising Interface Objects"), [this] {
        SynthPorts ports = MakeSynthPorts();
        rig_ = SetUpSynthesizer(store_, QString::fromLatin1(MainWindowSection), std::move(ports.serial),
                                std::move(ports.parallel), MSComm1);
        if (!rig_.modelKnown)
            throw StartupError(QStringLiteral("Unknown SDRModelNo %1").arg(rig_.SDRModelNo), 91);
        tuning_->vfo = rig_.VFO.get();
        connectTuningToSynthesizer();
        options_.SDRModelNo = rig_.SDRModelNo;
        options_.EnableShaftEncoder = rig_.EnableShaftEncoder;
        setHiSideLO(rig_.VFO->HiSideLO());
        if (!rig_.VFO->OscType())
            throw StartupError(QStringLiteral("The VFO has no synthesizer"), 91);
        showClockAndIF(this, *rig_.VFO);
    });
    s.add(QStringLiteral(":Initialising sldAGCAttack"),
          [this] { receiverControls_->initialiseAGCSlider(RxWidget::sldAGCAttack); });
    s.add(QStringLiteral(":Initialising sldAGCDecay"),
          [this] { receiverControls_->initialiseAGCSlider(RxWidget::sldAGCDecay); });
    s.add(QStringLiteral(":Initialising SpectrumAnalyser"), [this, &v] {
        InitialiseSpectrumAnalyser(*SpectrumAnalyser, *scopeControls_, this, rig_.VFO->TunedFrequency(), v.NotchActive);
        setElementChecked("optSpectrumSource", 1, true);
        v.SpectrumSource = kSourcePreDemod;
        receiverControls_->handlers().optAGC_Click(1);
        v.AGCMode = 1;
        v.AGCOn = false;
    });
    s.add(QStringLiteral(":Initialising Variable Filter Default Values (0)"), [&v] { FillFilterTable(v); });
    for (int row = 1; row <= 4; ++row)
        s.add(QStringLiteral(":Initialising Variable Filter Default Values (%1)").arg(row));
    s.add(QStringLiteral(":Initialising Variable AGC Default Values (1)"),
          [&v, &ctl] { FillAGCTable(v, ctl[13].Max, ctl[14].Max); });
    s.add(QStringLiteral(":Initialising Variable AGC Default Values (2)"));
    s.add(QStringLiteral(":Initialising Variable AGC Default Values (3)"), [this, &v] {
        // Program writes raise no clicks, so the handlers the option and the box would run
        // are called here: the AGC adjusters and the box agree from the start on.
        ReceiverHandlers& h = receiverControls_->handlers();
        h.optAGC_Click(v.AGCMode);
        h.chkAGC_Click();
        v.IFFilterMode = 1;
        h.optIFFilter_Click(1);
        v.IFFilterActive = false;
        h.writeBox(RxWidget::chkIFFilter, false);
    });
    s.add(QStringLiteral(":Initialising Variable IF Filter Default Values (0)"), [&v] { FillIFFilterSettings(v); });
    s.add(QStringLiteral(":Initialising NotchFilter Default Values"), [&v] { SetNotchDefaults(v); });

    s.add(QStringLiteral(":Restoring SDR Settings"), [this] {
        options_.CurrentMainBandIndex = bandPlans_.CurrentMainBandIndex;
        MainWindowRestoreHooks hooks;
        hooks.SPLPresent = ORVIK::SPLPresent;
        hooks.selectDisplaySize = [this](int index) { windowSize_->selectDisplaySize(index); };
        hooks.setSpectrumAnalyserBox = [this](int16_t value) { setCheckBox("chkSpectrumAnalyser", value != 0); };
        hooks.setPerfStatsBox = [this](int16_t value) {
            setCheckBox("chkPerfStatsOn", value != 0);
            chkPerfStatsOn_Click(); // also when the box already showed the stored value
        };
        RestoreMainWindowSettings(store_, options_, hooks);
        tuningState_.ShaftAutoRate = options_.ShaftAutoRate;
        ORVIK::UseSPL = ORVIK::SPLPresent && options_.UseSPL;
        // A band plan removed since the last run must not leave the index pointing past the list.
        const int32_t count = static_cast<int32_t>(bandPlans_.BandPlans.size());
        if (options_.CurrentMainBandIndex < 0 || options_.CurrentMainBandIndex >= count)
            options_.CurrentMainBandIndex = bandPlans_.CurrentMainBandIndex;
        bandPlans_.CurrentMainBandIndex = options_.CurrentMainBandIndex;
        CtlArray_.HiLiteBorder = options_.HiLiteBorder;
        DreamLauncher::Environment env;
        env.captureDevice = [this] { return SoundCard ? SoundCard->CurrentCaptureDevice() : 1; };
        env.playbackDevice = [this] { return SoundCard ? SoundCard->CurrentPlaybackDevice() : 1; };
        env.tunedFrequency = [this] { return rig_.VFO ? static_cast<double>(rig_.VFO->TunedFrequency()) : 0.0; };
        env.hiSideLO = [this] { return HiSideLO; };
        env.programFolder = programFolder_;
        env.writeIni = [](const QString& section, const QString& key, const QString& value, const QString& file) {
            return WriteIniString(section, key, value, file);
        };
        dream_ = std::make_unique<DreamLauncher>(env);
        dream_->options = options_.Dream;
    });
    s.add(QStringLiteral(":Initialising SoundCard Object"), [this, &v] {
        ORVIKDX8& card = *SoundCard;
        SetReceiverGeometry(card);
        card.setCurrentCaptureDevice(options_.CurrentCaptureDevice);
        card.setCurrentPlaybackDevice(options_.CurrentPlaybackDevice);
        // Opened now rather than at power On: a stream connected only at On waits
        // for the sound server's next pass over its source, up to two seconds.
        card.PrepareDevicesAhead();
        setHiSideLO(rig_.VFO->HiSideLO());
        tuningControls_->chkTuneLo_Click(); // also sends the first frequency
        receiverControls_->handlers().clickBox(RxWidget::chkNB, v.NBOn);
        DreamDefaultArgs = DreamDeviceArgs(card.CurrentCaptureDevice(), card.CurrentPlaybackDevice());
    });
    s.add(QStringLiteral(":Set OutputLevel Attenuator to PublicVars.OutputAttenuation"), [this, &ctl, &v] {
        ctl[10].Value = v.OutputAttenuation;
        ctl.Apply(10);
        ReceiverControls& rx = *receiverControls_;
        ReceiverHandlers& h = rx.handlers();
        h.writeBox(RxWidget::chkNotchOn, v.NotchActive);
        h.writeBox(RxWidget::chkNotchType, v.NotchType != 0);
        h.optNotch_Click(v.NotchMode);
        h.writeBox(RxWidget::chkNotchType, v.NotchType != 0);
        rx.selectOption(RxWidget::optNotch, std::clamp(v.NotchMode, 0, 1));
        rx.selectOption(RxWidget::optIFFilter, std::clamp(v.IFFilterMode, 0, 2));
        h.writeBox(RxWidget::chkIFFilter, v.IFFilterActive);
        const FilterSetting& row = CurrentIFRow(v);
        ctl[17].Value = static_cast<float>(row.Hi);
        ctl[18].Value = static_cast<float>(row.Lo);
        ctl.Apply(17);
        ctl.Apply(18);
        for (int i : {2, 3})
            if (auto* b = qobject_cast<QAbstractButton*>(element("optFilter", i)))
                b->setText(QString::fromStdString(Format((i == 2 ? 2000 : 3000) / 1000.0, "0.0 kHz")));
    });
    s.add(QStringLiteral(":Select Band in use last time"), [this] {
        // Recalls the band's active sub-band or its marked preset: frequency, mode, filters.
        bandControls_->SelectBand(bandPlans_.CurrentMainBandIndex);
        SpectrumAnalyser->FOffset = SpectrumOffset(*SpectrumAnalyser, rig_.VFO->TunedFrequency());
        // The axis was first drawn for the frequency tuned before the band was recalled.
        SpectrumAnalyser->SetupDisplay();
    });
    // The keyboard and wheel hook comes with the adjusters' pointer handling.
    s.add(QStringLiteral(":Call modWheelMouse.init"), [this] {
        wheelMouse_->init(control(QStringLiteral("frFreqCtl")), control(QStringLiteral("picFreqDisp")),
                          control(QStringLiteral("lblTuningRate")), this);
        wheelMouse_->HookWheel();
    });
    s.add(QStringLiteral(":Set up default values in the AGC delayline"), [&v] {
        vectorlib::SetMemory_S(v.AGCPeakHistory.data(), std::clamp(v.AGCHistoryLength, 0, kAGCHistoryCapacity),
                               16383.0f);
    });
    s.add(QStringLiteral(":Call MouseOverS.lblFilterHi_Wheel"), [&ctl] { ctl.Apply(7); });
    s.add(QStringLiteral(":Call MouseOverS.lblFilterLo_Wheel"), [&ctl] { ctl.Apply(8); });
    s.add(QStringLiteral(":Initialise WavFile Object"), [this] { recorder_->initialise(this, store_); });
    s.add(QStringLiteral(":Call tmrPerfStats_Timer"), [this] {
        StatisticsPanel::Hooks hooks;
        hooks.ShowLevelBar = [ticks = SMeterTickWidgets(this)](float level) { ShowLevelBar(ticks, level); };
        hooks.receiverWork = [this] {
            receiver_->RunStatisticsPass();
            ReceiverStatistics chain;
            chain.SMeterLevel = receiver_->SMeterLevel;
            chain.SMeterZero = receiver_->SMeterZero;
            chain.SMeterZeroTaken = receiver_->SMeterZeroTaken;
            // Only the automatic notch follows the peak, so only it shows the peak as its centre.
            chain.NotchFollowsPeak = vars_.NotchMode == 1;
            chain.PeakFrequency = vars_.PeakFrequency;
            return chain;
        };
        perfStats_ = std::make_unique<StatisticsPanel>(this, hooks);
        tmrPerfStats_Timer();
    });
    s.add(QStringLiteral(":Enable Power Butons"), [this] {
        for (int i = 0; i < 3; ++i)
            if (QWidget* b = element("optPwr", i))
                b->setEnabled(true);
    });
    const struct {
        const char* text;
        const char* timer;
        int interval;
    } timers[] = {{":Enable TmrTune", "tmrTune", 50},          {":Enable TmrVFOUpdate", "tmrVFOUpdate", 1000},
                  {":Enable TmrShaft", "tmrShaft", 30},        {":Enable TmrClock", "tmrClock", 500},
                  {":Enable TmrSubBands", "tmrSubBands", 300}};
    for (const auto& t : timers) {
        const char* name = t.timer;
        const int interval = t.interval;
        s.add(QLatin1String(t.text), [this, name, interval] {
            // The knob's timer only applies the knob's requests, so it runs only while one waits.
            if (QLatin1String(name) == QLatin1String("tmrShaft"))
                tuningControls_->enableShaftTimer(interval);
            else
                armTimer(name, interval);
        });
    }
    s.add(QStringLiteral(":Initialise the Tuning Step Selector Drop Down List"), [this] {
        auto* combo = findChild<QComboBox*>(QStringLiteral("cboTuningSteps"));
        if (!combo)
            return;
        setBackColour(combo, colours_.SDRBackgroundColour);
        setTextColour(combo, colours_.ScrollableLabelFocusColour);
        QFont fixed(QStringLiteral("Monospace"));
        fixed.setStyleHint(QFont::TypeWriter);
        combo->setFont(fixed);
        tuningControls_->fillTuningStepList();
    });
    s.add(QStringLiteral(":Call DarkenControls"), [this] { focus_->DarkenControls(); });
    s.add(QString(), [this] {
        armTimer("tmrSpectrumDisplay", 100);
        if (options_.AutoStartSDR)
            setElementChecked("optPwr", 0, true);
    });
    s.add(QStringLiteral(":End"), [this] { InFormLoad = false; });
}

void frmMain::tmrPerfStats_Timer()
{
    if (!perfStats_ || !receiver_)
        return;
    const StatsRings rings{receiver_->InPeakHistory, receiver_->OutPeakHistory, receiver_->BlockTimeHistory};
    perfStats_->tmrPerfStats_Timer(vars_.PerfStatsOn, rings, vars_.AGCGain, rig_.VFO ? rig_.VFO->OscOut() : 0);
}

void frmMain::chkPerfStatsOn_Click()
{
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkPerfStatsOn"))))
        vars_.PerfStatsOn = box->isChecked();
}

void frmMain::cmdCalibrateSMeter_Click()
{
    // The receive chain's next statistics pass takes the reference.
    if (receiver_ && !receiver_->SMeterZeroRequested)
        receiver_->SMeterZeroRequested = true;
}

void frmMain::tmrClock_Timer()
{
    if (auto* clock = children_.find<QLabel>(QStringLiteral("lblClock")))
        clock->setText(QString::fromStdString(ORVIK::GetUTCTimeString()));
}

void frmMain::ReColourWindow()
{
    ReColourHooks hooks;
    hooks.colourAdjusterRecords = [this](const SDRColourSchemes& scheme) {
        for (int id = 0; id < CtlArray::Size; ++id) {
            CtlArray_[id].FocusColour = scheme.ScrollableLabelFocusColour;
            CtlArray_[id].NormalColour = scheme.ScrollableLabelNormalColour;
        }
        // Unselected digits at 75 per cent, the selected one in the full tuning colour.
        CtlArray_[1].NormalColour = DarkenColour(scheme.SDRTuningColour, 75);
        CtlArray_[1].FocusColour = scheme.SDRTuningColour;
        CtlArray_.TuningColour = scheme.SDRTuningColour;
    };
    hooks.drawSMeter = [this] { DrawSMeter(this); };
    if (SpectrumAnalyser)
        hooks.scopeBackColour = SpectrumAnalyser->ScopeBackColour;
    ReColour(this, colours_, hooks);
}

void frmMain::ShowTitleBar(bool show)
{
    const QRect client = geometry();
    const bool visible = isVisible();
    setWindowFlag(Qt::FramelessWindowHint, !show);
    setGeometry(client);
    if (visible)
        QWidget::show();
}

void frmMain::optPwr_Click(int Index)
{
    log(QStringLiteral("optPwr_click : Start Arg=") + QString::number(Index));
    switch (Index) {
    case 0: {
        if (options_.FormCaptionOffOnPwrOn) {
            ShowTitleBar(false);
            frameState_.TitleBarHidden = true;
        }
        setTextColour(element("optPwr", 0), 0xC000);
        setTextColour(element("optPwr", 1), 0xFF);
        if (receiver_) {
            receiver_->ApplyFilterSettings();
            receiver_->ClearCarriedTails();
        }
        priority_.raiseToRealTime();
        if (QWidget* close = element("optPwr", 2))
            close->hide();
        if (SpectrumAnalyser)
            SpectrumAnalyser->Freeze = false;
        if (QTimer* t = timer("tmrSpectrumDisplay"))
            t->stop();
        if (SoundCard)
            SoundCard->StartSound();
        if (!SoundCard || !SoundCard->InAction()) {
            // Nothing will arrive: go back to Off rather than pretend to receive. RealtimeKit
            // is asked only once the sound has started, so this On is granted nothing.
            log(QStringLiteral("optPwr_click : sound did not start, the receiver stays off"));
            setElementChecked("optPwr", 1, true);
            break;
        }
        priority_.raiseSoundThreads();
        break;
    }
    case 1: {
        // Off while a file's end is still playing out: the end's Stop comes now.
        if (receiver_)
            receiver_->EndPlayOut();
        if (SoundCard)
            SoundCard->StopSound();
        // The display timer then redraws the held traces, so display changes still show.
        if (SpectrumAnalyser)
            SpectrumAnalyser->Freeze = true;
        priority_.restoreStartPriority();
        if (QTimer* t = timer("tmrPerfStats"))
            t->stop();
        if (QTimer* t = timer("tmrSpectrumDisplay"))
            t->stop();
        setTextColour(element("optPwr", 0), 0xFF00);
        setTextColour(element("optPwr", 1), 0xC0);
        if (QWidget* close = element("optPwr", 2))
            close->show();
        ShowTitleBar(true);
        frameState_.TitleBarHidden = false;
        // The chosen display size's height, also when it changed while the receiver was on.
        if (frameState_.FormHeight > frameState_.TitleBarHeight)
            resize(width(), twipsToPixels(frameState_.FormHeight - frameState_.TitleBarHeight));
        armTimer("tmrSpectrumDisplay", 100);
        break;
    }
    case 2:
        endedByCloseButton_ = true;
        close();
        QCoreApplication::exit(0);
        return;
    default:
        break;
    }
    log(QStringLiteral("optPwr_click : End"));
}

int32_t frmMain::blocksStillToBeHeard() const
{
    if (!SoundCard)
        return 0;
    const ORVIKDX8& card = *SoundCard;
    constexpr int32_t ringSlots = ORVIKDX8::kOutputSlots;
    const int32_t inRing = (card.OutWriteIndex() - card.OutReadIndex() + ringSlots) % ringSlots;
    const int32_t inBuffer = card.NoBlocksInBuffer() * card.Inp2OutpBufferRatio();
    const double blockSeconds = static_cast<double>(card.SamplesPerEvent()) / std::max(card.FSampling(), 1);
    const auto inDevice = static_cast<int32_t>(std::ceil(soundBackend_.outputLatency() / blockSeconds));
    // The block being handled now is not in the ring yet.
    return inRing + 1 + inBuffer + inDevice;
}

void frmMain::setHiSideLO(bool hiSide)
{
    if (rig_.VFO)
        rig_.VFO->setHiSideLO(hiSide);
    HiSideLO = hiSide;
    vars_.HiSideLO = hiSide;
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkTuneLo")))) {
        const QSignalBlocker quiet(box);
        box->setChecked(!hiSide);
    }
}

ReceiverHandlers::Hooks frmMain::receiverHooks()
{
    ReceiverHandlers::Hooks h;
    h.soundPrepared = [this] { return SoundCard && SoundCard->Prepared(); };
    h.prepareAndStartSound = [this] {
        // As at power on: nothing from before the decoder had the card may play again.
        if (receiver_)
            receiver_->ClearCarriedTails();
        SoundCard->PrepareDevices();
        SoundCard->StartSound();
    };
    h.stopAndReleaseSound = [this] {
        SoundCard->StopSound();
        SoundCard->ReleaseDevices();
    };
    h.powerOn = [this] { return powerOn(); };
    h.RunDREAM = [this] {
        if (dream_)
            dream_->RunDREAM();
    };
    h.CloseListedWindows = [this] {
        if (dream_)
            dream_->CloseListedWindows();
    };
    h.MuteAFOnDRM = [this] { return dream_ && dream_->options.MuteAFOnDRM; };
    h.CloseSoundcardOnDRM = [this] { return dream_ && dream_->options.CloseSoundcardOnDRM; };
    h.DreamCloseOnModeChange = [this] { return dream_ && dream_->options.DreamCloseOnModeChange; };
    h.vfoHiSideLO = [this] { return rig_.VFO ? rig_.VFO->HiSideLO() : HiSideLO; };
    h.setOutputAttenuation = [this](float level) {
        if (soundOutput_)
            soundOutput_->setOutputAttenuation(RoundEven(level));
    };
    h.yield = [] { pumpEvents(); };
    h.setShowNotch = [this](bool on) { spectrum_.setShowNotch(on); };
    return h;
}

void frmMain::stopEveryTimer()
{
    for (QTimer* t : findChildren<QTimer*>())
        t->stop();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A close that arrives while start-up lets events run (SIGTERM, the window
    // manager) waits until start-up has finished: the shut-down releases the
    // objects start-up is still setting up.
    if (InFormInitialize || InFormLoad) {
        closeRequestedDuringStart_ = true;
        event->ignore();
        return;
    }
    // Inside a synthesizer transfer, a sound block's yield or a message box the
    // work that let events run still uses the objects the shut-down releases:
    // leave the event loop instead; the shut-down runs once that work returned.
    if (pumpDepth() > 0 || QThread::currentThread()->loopLevel() > 1) {
        event->ignore();
        QCoreApplication::exit(0);
        return;
    }
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

void frmMain::SaveSettings()
{
    SaveColours(store_, colours_);
    MainWindowSaveValues v;
    const SDRColourSchemes& c = colours_;
    v.colours = {c.SDRBackgroundColour, c.SDRFrameFocusColour, c.SDRFrameNormalColour, c.SDRLabelColour,
                 c.SDRTuningColour,     c.ScrollableLabelFocusColour, c.ScrollableLabelNormalColour};
    v.AGCOn = vars_.AGCOn;
    v.AGCMode = vars_.AGCMode;
    v.AGCAttack = CtlArray_[13].Value;
    v.AGCDecay = CtlArray_[14].Value;
    v.OutputAttenuation = vars_.OutputAttenuation;
    v.FilterMode = vars_.FilterMode;
    v.DemodMode = vars_.DemodMode;
    v.MusicMode = vars_.MusicModeActive ? 1 : 0;
    const int size = windowSize_ ? windowSize_->selectedDisplaySize() : -1;
    for (int i = 0; i < 4; ++i)
        v.DisplaySize[static_cast<size_t>(i)] = size == i;
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkSpectrumAnalyser"))))
        v.SpectrumAnalyserOn = box->isChecked() ? 1 : 0;
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkPerfStatsOn"))))
        v.PerfStatsOn = box->isChecked() ? 1 : 0;
    v.AGCDelayTime = vars_.AGCDelayTime;
    v.AGCSmoothTime = vars_.AGCSmoothTime;
    v.TunedFrequency = rig_.VFO ? rig_.VFO->TunedFrequency() : 0;
    v.OutputVolume = CtlArray_[10].Value;
    v.FilterHi = CtlArray_[7].Value;
    v.FilterLo = CtlArray_[8].Value;
    v.NotchType = vars_.NotchType;
    v.NotchCentre = CtlArray_[11].Value;
    v.NotchWidth = CtlArray_[12].Value;
    v.NotchMode = vars_.NotchMode;
    v.NotchActive = vars_.NotchActive;
    v.NBOn = vars_.NBOn;
    v.NB = CtlArray_[9].Value;
    v.IFFilterActive = vars_.IFFilterActive;
    v.IFFilterMode = vars_.IFFilterMode;
    for (size_t m = 0; m < 3; ++m)
        for (size_t d = 0; d < 9; ++d)
            v.IFFilterCurrent[m][d] = {vars_.IFFilterSettings[m].FilterSettings[d].CurrentHi,
                                       vars_.IFFilterSettings[m].FilterSettings[d].CurrentLo};
    if (SoundCard) {
        options_.CurrentCaptureDevice = SoundCard->CurrentCaptureDevice();
        options_.CurrentPlaybackDevice = SoundCard->CurrentPlaybackDevice();
    }
    options_.UseSPL = ORVIK::UseSPL;
    options_.CurrentMainBandIndex = bandPlans_.CurrentMainBandIndex;
    if (dream_)
        options_.Dream = dream_->options;
    SaveMainWindowSettings(store_, options_, v);
    store_.sync();
}

void frmMain::Form_Unload()
{
    if (unloaded_ || abandoned_)
        return;
    unloaded_ = true;
    ignoringFailure([this] { hide(); });
    // An open configuration dialog would otherwise outlive the objects its Apply reaches.
    ignoringFailure([this] {
        if (config_)
            config_->closeDialog();
    });
    // Every timer, not only the display ones: none may fire into a released object.
    ignoringFailure([this] { stopEveryTimer(); });
    ignoringFailure([this] {
        if (wheelMouse_ && wheelMouse_->HookHandle != 0)
            wheelMouse_->UnhookWheel();
    });
    ignoringFailure([this] {
        if (SoundCard) {
            SoundCard->StopSound();
            SoundCard->ReleaseDevices();
        }
    });
    ignoringFailure([this] { bandPlans_.SaveBandPlans(Product); });
    ignoringFailure([this] { recorder_->terminate(); });
    ignoringFailure([this] { SaveSettings(); });
    ignoringFailure([this] {
        // Releasing the analyser writes its settings.
        scopeControls_.reset();
        spectrum_.setAnalyser(nullptr);
        SpectrumAnalyser.reset();
    });
    ignoringFailure([this] {
        PerfProfiler.reset();
        tuning_->vfo = nullptr;
        bandControls_.reset();
        settingsBlock_.reset();
        tuningControls_->setVFO(nullptr);
        receiverControls_.reset();
        rig_ = SynthesizerRig(); // VFO, AD9835, AD9951, serial and parallel interfaces, in that order
        receiver_.reset();
        soundOutput_->card = nullptr;
        dx8Events_.reset();
        SoundCard.reset();
    });
    // After the rig release, which stores the synthesizer sections.
    ignoringFailure([this] {
        if (!store_.sync())
            messages().show(QStringLiteral("Your settings could not be saved to %1:\n%2\nChanges made in this session "
                                           "are lost.")
                                .arg(store_.filePath(), store_.saveError()),
                            Product + QStringLiteral(" - Settings not saved"), MessageButtons::Ok,
                            MessageIcon::Warning);
    });
    ignoringFailure([this] {
        if (dream_ && dream_->options.DreamCloseOnExit)
            dream_->CloseListedWindows();
    });
    ignoringFailure([this] {
        if (logWindow_)
            logWindow_->close();
    });
}

void frmMain::Form_Terminate()
{
    // The Close button ends the process at once, without this step.
    if (endedByCloseButton_)
        return;
    if (dream_ && dream_->options.DreamCloseOnExit)
        dream_->CloseListedWindows();
}

} // namespace orvik
