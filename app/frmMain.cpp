#include "app/frmMain.h"

#include "app/LabelAdjusterView.h"
#include "app/MainWindowControls.h"
#include "app/frmLog.h"
#include "app/frmSplash1.h"
#include "bands/BandPlanDiscovery.h"
#include "bands/modIniFiles.h"
#include "common/Format.h"
#include "common/Numeric.h"
#include "dsp/DspReport.h"
#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/PpdevParallelPort.h"
#include "platform/SerialModemLines.h"
#include "platform/SettingsStore.h"
#include "receiver/ReceiverAdjust.h"
#include "receiver/ReceiverCore.h"
#include "receiver/ReceiverModes.h"
#include "receiver/ReceiverTables.h"
#include "receiver/sound/ORVIKDX8.h"
#include "receiver/sound/frmDX8Events.h"
#include "receiver/ui/SMeter.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"
#include "tuning/clsAD9835.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"

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
#include <QSlider>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <unistd.h>

namespace orvik {

namespace {

const QString Product = QStringLiteral("ORVIKSDR");
const QString InitializeLocation = QStringLiteral("frmMain:frmMain:Form_Initialize");

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
      shippedBandPlans_(std::move(services.shippedBandPlans))
{
    // The signal-processing classes report misuse through this seam, once per object.
    SetDspErrorReporter([](const std::string& text) {
        messages().show(QString::fromStdString(text), Product, MessageButtons::Ok, MessageIcon::Critical);
    });
    setObjectName(QStringLiteral("frmMain"));
    buildMainWindowControls(this);
    MSComm1 = new ModemLineWatcher(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    WindowSizeController::Hooks sizeHooks;
    sizeHooks.chkPerfStatsOn_Click = [this] { chkPerfStatsOn_Click(); };
    sizeHooks.statisticsAndAnalyserOff = [this] { vars_.PerfStatsOn = false; };
    windowSize_ = std::make_unique<WindowSizeController>(this, frameState_, sizeHooks);

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
    for (int i = 0; i < 6; ++i)
        if (auto* button = qobject_cast<QAbstractButton*>(element("optMode", i)))
            connect(button, &QAbstractButton::toggled, this, [this, i](bool checked) {
                if (checked && !InFormLoad && !InFormInitialize)
                    optMode_Click(i);
            });
    if (auto* box = qobject_cast<QAbstractButton*>(control(QStringLiteral("chkPerfStatsOn"))))
        connect(box, &QAbstractButton::toggled, this, [this] { chkPerfStatsOn_Click(); });
    if (auto* zero = qobject_cast<QAbstractButton*>(control(QStringLiteral("cmdCalibrateSMeter"))))
        connect(zero, &QAbstractButton::clicked, this, [this] { cmdCalibrateSMeter_Click(); });
    if (QTimer* t = timer("tmrPerfStats"))
        connect(t, &QTimer::timeout, this, [this] { tmrPerfStats_Timer(); });
    if (QTimer* t = timer("tmrClock"))
        connect(t, &QTimer::timeout, this, [this] { tmrClock_Timer(); });
    // While the receiver runs every block re-arms the display timer; one tick per block is enough.
    if (QTimer* t = timer("tmrSpectrumDisplay"))
        connect(t, &QTimer::timeout, this, [this, t] {
            if (powerOn())
                t->stop();
        });
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

QWidget* frmMain::control(const QString& name) const { return findChild<QWidget*>(name); }

QWidget* frmMain::element(const char* arrayName, int index) const
{
    return control(controlName(QLatin1String(arrayName), index));
}

QTimer* frmMain::timer(const char* name) const { return findChild<QTimer*>(QLatin1String(name)); }

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
        messages().show(found.MessageText, found.MessageTitle, MessageButtons::Ok, MessageIcon::Critical);
        return 4;
    }

    log(InitializeLocation + QStringLiteral(":Initialising Digital Filter Objects"));
    soundOutput_ = std::make_unique<SoundCardOutput>();
    tuning_ = std::make_unique<VfoTuning>();
    receiver_ = std::make_unique<ReceiverCore>(vars_, *soundOutput_, spectrum_, player_, *tuning_);
    receiver_->setYieldHook([] { pumpEvents(); });
    receiver_->setClock([] {
        using namespace std::chrono;
        return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
    });
    receiver_->setBlockDoneHook([this] {
        armTimer("tmrSpectrumDisplay", 2);
        armTimer("tmrPerfStats", 3);
    });

    log(InitializeLocation + QStringLiteral(":Creating Profiler Object"));
    PerfProfiler = std::make_unique<Profiler>();
    EncoderProfiler = std::make_unique<Profiler>();

    log(InitializeLocation + QStringLiteral(":Initialising Tuning Step Array"));
    TuningSteps = DefaultTuningSteps();

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
    const AdjusterDefinition* d = CtlArray::definition(id);
    if (!d || !d->labelName)
        return nullptr;
    auto* label = findChild<QLabel*>(QLatin1String(d->labelName));
    if (!label)
        return nullptr;
    labels_.push_back(std::make_unique<LabelAdjusterView>(label));
    return labels_.back().get();
}

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
    // The spectrum analyser is not part of this program yet; the receive chain feeds a null one.
    s.add(QStringLiteral(":Creating SpectrumAnalyser Object"));
    s.add(QStringLiteral(":Making Form Visible"), [this] {
        show();
        for (int i = 0; i < 2; ++i)
            if (QWidget* pic = element("picScope", i))
                setBackColour(pic, 0);
        setWindowBackground(this, colours_.SDRBackgroundColour);
    });
    s.add(QStringLiteral(":Setting Colour Scheme"), [this] {
        ReColourHooks hooks;
        hooks.colourAdjusterRecords = [this](const SDRColourSchemes& scheme) {
            for (int id = 0; id < CtlArray::Size; ++id) {
                CtlArray_[id].FocusColour = scheme.ScrollableLabelFocusColour;
                CtlArray_[id].NormalColour = scheme.ScrollableLabelNormalColour;
            }
            CtlArray_[1].NormalColour = scheme.SDRTuningColour;
            CtlArray_[1].FocusColour = DarkenColour(scheme.SDRTuningColour, 75);
            CtlArray_.TuningColour = scheme.SDRTuningColour;
        };
        hooks.drawSMeter = [this] { DrawSMeter(this); };
        ReColour(this, colours_, hooks);
        pumpEvents();
    });
    // The recorder is not part of this program yet.
    s.add(QStringLiteral(":Creating Wavfile Object"), [this] {
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

    // The adjustable values. The display adjusters (2 to 6, 15, 19, 21, 22) belong to
    // the spectrum display, which is not part of this program yet: they keep their
    // values and captions and apply nothing.
    s.add(QStringLiteral(":Initialising MouseOverS"));
    s.add(QStringLiteral(":Initialising 7Segment Display Tuning"), [this, &ctl] {
        defineAdjuster(1, [this, &ctl] {
            if (!rig_.VFO)
                return;
            if (ctl[1].LastWheelMsg.wParam < 0)
                rig_.VFO->Dec_Freq(0);
            else
                rig_.VFO->Inc_Freq(0);
        });
    });
    s.add(QStringLiteral(":Initialising dialtuner"), [this] {
        if (auto* dial = findChild<QDial*>(QStringLiteral("dialtuner")))
            dial->setRange(0, 100);
    });
    for (int id : {2, 3, 4, 5}) {
        s.add(QStringLiteral(":Initialising CtlArray(%1)").arg(id), [this, &ctl, id] {
            defineAdjuster(id, {});
            ctl.WriteCaption(id);
        });
    }
    s.add(QStringLiteral(":Initialising CtlArray(7)"), [this, &ctl, &v] {
        defineAdjuster(7, [&ctl, &v] { ApplyFilterHi(v, ctl[7].Value); ctl.UpdateCaption(7); });
    });
    s.add(QStringLiteral(":Initialising CtlArray(8)"), [this, &ctl, &v] {
        defineAdjuster(8, [&ctl, &v] { ApplyFilterLo(v, ctl[8].Value); ctl.UpdateCaption(8); });
    });
    s.add(QStringLiteral(":Initialising CtlArray(9)"), [this, &ctl, &v] {
        defineAdjuster(9, [this, &ctl, &v] {
            ctl[9].Locked = true;
            ApplyNoiseBlanker(v, ctl[9].Value, ctl[9].Max, ctl[9].Min);
            ctl.WriteCaption(9);
            if (auto* slider = findChild<QSlider*>(QStringLiteral("sldNB")))
                slider->setValue(-RoundEven(ctl[9].Value));
            ctl[9].Locked = false;
        });
        ctl.Apply(9);
    });
    s.add(QStringLiteral(":Initialising sldNB"), [this, &ctl] {
        if (auto* slider = findChild<QSlider*>(QStringLiteral("sldNB"))) {
            slider->setRange(-RoundEven(ctl[9].Max), -RoundEven(ctl[9].Min));
            slider->setSingleStep(RoundEven(ctl[9].Step));
            slider->setPageStep(RoundEven(ctl[9].Step));
            slider->setValue(-RoundEven(ctl[9].Value));
        }
    });
    s.add(QStringLiteral(":Initialising dialNB"));
    s.add(QStringLiteral(":Initialising ctlArray(10)"), [this, &ctl, &v] {
        defineAdjuster(10, [this, &ctl, &v] {
            if (auto* slider = findChild<QSlider*>(QStringLiteral("sldOutVolume")))
                slider->setValue(RoundEven(ctl[10].Value));
            ApplyOutputAttenuation(v, ctl[10].Value);
            if (soundOutput_)
                soundOutput_->setOutputAttenuation(RoundEven(v.OutputAttenuation));
            ctl.WriteCaption(10);
        });
        ctl.Apply(10);
    });
    s.add(QStringLiteral(":Initialising dialOutVol"));
    s.add(QStringLiteral(":Initialising sldOutVolume"), [this, &ctl] {
        if (auto* slider = findChild<QSlider*>(QStringLiteral("sldOutVolume"))) {
            slider->setRange(RoundEven(ctl[10].Min), RoundEven(ctl[10].Max));
            slider->setTickInterval(RoundEven((ctl[10].Max - ctl[10].Min) / 10));
            slider->setSingleStep(RoundEven(ctl[10].Step));
            slider->setPageStep(RoundEven(ctl[10].Step));
            slider->setValue(RoundEven(ctl[10].Value));
        }
    });
    s.add(QStringLiteral(":Initialising ctlArray(11)"), [this, &ctl, &v] {
        v.NotchAdjusterLimits = NotchLimits{};
        std::function<void()> apply = [this, &ctl, &v] {
            ApplyNotchCentre(v, ctl[11].Value, rig_.VFO ? rig_.VFO->HiSideLO() : true, receiver_->NotchFilter.Active);
            ctl.WriteCaption(11);
        };
        defineAdjuster(11, apply);
        ctl[11].Max = v.NotchAdjusterLimits.AudioMax;
        ctl[11].Min = v.NotchAdjusterLimits.AudioMin;
        ctl.Apply(11);
        ctl[11].Disabled = true;
    });
    s.add(QStringLiteral(":Initialising ctlArray(12)"), [this, &ctl, &v] {
        defineAdjuster(12, [&ctl, &v] { ApplyNotchWidth(v, ctl[12].Value); ctl.WriteCaption(12); });
        ctl.Apply(12);
        ctl[12].Disabled = true;
    });
    s.add(QStringLiteral(":Initialising ctlArray(13)"), [this, &ctl, &v] {
        defineAdjuster(13, [&ctl, &v] {
            ApplyAGCAttack(v, ctl[13].Value);
            ctl.WriteCaption(13);
        });
        ctl.Apply(13);
    });
    s.add(QStringLiteral(":Initialising ctlArray(14)"), [this, &ctl, &v] {
        defineAdjuster(14, [&ctl, &v] {
            ApplyAGCDecay(v, ctl[14].Value);
            ctl.WriteCaption(14);
        });
        ctl.Apply(14);
    });
    s.add(QStringLiteral(":Initialising ctlArray(15)"), [this, &ctl] {
        defineAdjuster(15, {});
        ctl.WriteCaption(15);
    });
    s.add(QStringLiteral(":Initialising CtlArray(6)"), [this, &ctl] {
        defineAdjuster(6, {});
        ctl.WriteCaption(6);
    });
    s.add(QStringLiteral(":Initialising ctlArray(PicScopeIndex)"), [&ctl] {
        ctl[CtlArray::PicScopeIndex].Id = CtlArray::PicScopeIndex;
    });
    for (int id : {17, 18}) {
        s.add(QStringLiteral(":Initialising ctlArray(%1)").arg(id), [this, &ctl, &v, id] {
            defineAdjuster(id, [&ctl, &v, id] {
                if (id == 17)
                    ApplyIFHi(v, ctl[17].Value);
                else
                    ApplyIFLo(v, ctl[18].Value);
                ctl.UpdateCaption(id);
            });
            ctl.Apply(id);
            ctl.WriteCaption(id);
            ctl[id].Disabled = true;
        });
    }
    s.add(QStringLiteral(":Initialising ctlArray(19)"), [this, &ctl] {
        defineAdjuster(19, {});
        ctl[19].Default = 1;
        ctl[19].Value = 1;
        ctl.WriteCaption(19);
    });
    s.add(QString(), [this, &ctl, &v] {
        defineAdjuster(20, [&ctl, &v] { ApplyBFO(v, ctl[20].Value); ctl.UpdateCaption(20); });
        ctl.Apply(20);
        ctl.WriteCaption(20);
        for (int id : {21, 22}) {
            defineAdjuster(id, {});
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
    });
    // The receive chain made its block FFT with its filters.
    s.add(QStringLiteral(":New clsFFTReal"));
    s.add(QStringLiteral(":Initialising FFTReal"));
    s.add(QStringLiteral(" : Initialising Interface Objects"), [this] {
        rig_ = SetUpSynthesizer(store_, QString::fromLatin1(MainWindowSection), std::make_unique<SerialModemLines>(),
                                std::make_unique<PpdevParallelPort>(), MSComm1);
        if (!rig_.modelKnown)
            throw StartupError(QStringLiteral("Unknown SDRModelNo %1").arg(rig_.SDRModelNo), 91);
        tuning_->vfo = rig_.VFO.get();
        options_.SDRModelNo = rig_.SDRModelNo;
        options_.EnableShaftEncoder = rig_.EnableShaftEncoder;
        HiSideLO = rig_.VFO->HiSideLO();
        vars_.HiSideLO = HiSideLO;
        const SynthDriver* chip = rig_.VFO->OscType();
        if (!chip)
            throw StartupError(QStringLiteral("The VFO has no synthesizer"), 91);
        if (auto* clk = findChild<QLabel*>(QStringLiteral("lblCLKINFreq")))
            clk->setText(QString::fromStdString(Format(chip->ClkIn(), "#0 000 000")));
        if (auto* ifFreq = findChild<QLabel*>(QStringLiteral("lblIFFreq")))
            ifFreq->setText(QString::fromStdString(Format(rig_.VFO->IFFrequency(), "#0 000 000;(#0.000 000)")));
    });
    for (const char* name : {"sldAGCAttack", "sldAGCDecay"}) {
        s.add(QStringLiteral(":Initialising ") + QLatin1String(name), [this, name] {
            if (auto* slider = findChild<QSlider*>(QLatin1String(name))) {
                const int tick = IntDiv(slider->maximum() - slider->minimum(), 10);
                slider->setTickInterval(tick);
                slider->setPageStep(tick);
                slider->setSingleStep(RoundEven(tick / 2.0));
                slider->setValue(100); // outside the attack range: the slider keeps it in range
            }
        });
    }
    s.add(QStringLiteral(":Initialising SpectrumAnalyser"), [this, &v] {
        setElementChecked("optSpectrumSource", 1, true);
        v.SpectrumSource = kSourcePreDemod;
        setElementChecked("optAGC", 1, true);
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
        v.IFFilterMode = 1;
        setElementChecked("optIFFilter", 1, true);
        v.IFFilterActive = false;
        setCheckBox("chkIFFilter", false);
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
        card.setFSampling(48000);
        card.setNoChannelsIn(2);
        card.setNoChannelsOut(1);
        card.setNoBlocksInBuffer(2);
        card.setSamplesPerEvent(2048);
        card.setBitsPerSample(16);
        card.setInp2OutpBufferRatio(2);
        card.setCurrentCaptureDevice(options_.CurrentCaptureDevice);
        card.setCurrentPlaybackDevice(options_.CurrentPlaybackDevice);
        setCheckBox("chkTuneLo", false);
        if (rig_.VFO->HiSideLO())
            setCheckBox("chkTuneLo", true);
        setCheckBox("chkNB", v.NBOn);
        DreamDefaultArgs = DreamDeviceArgs(card.CurrentCaptureDevice(), card.CurrentPlaybackDevice());
    });
    s.add(QStringLiteral(":Set OutputLevel Attenuator to PublicVars.OutputAttenuation"), [this, &ctl, &v] {
        ctl[10].Value = v.OutputAttenuation;
        ctl.Apply(10);
        setCheckBox("chkNotchOn", v.NotchActive);
        setCheckBox("chkNotchType", v.NotchType != 0);
        setElementChecked("optNotch", std::clamp(v.NotchMode, 0, 1), true);
        setElementChecked("optIFFilter", std::clamp(v.IFFilterMode, 0, 2), true);
        setCheckBox("chkIFFilter", v.IFFilterActive);
        const FilterSetting& row = v.IFFilterSettings[static_cast<size_t>(std::clamp(v.IFFilterMode, 0, 2))]
                                       .FilterSettings[static_cast<size_t>(std::clamp(v.DemodMode, 0, 8))];
        ctl[17].Value = static_cast<float>(row.Hi);
        ctl[18].Value = static_cast<float>(row.Lo);
        ctl.Apply(17);
        ctl.Apply(18);
        for (int i : {2, 3})
            if (auto* b = qobject_cast<QAbstractButton*>(element("optFilter", i)))
                b->setText(QString::fromStdString(Format((i == 2 ? 2000 : 3000) / 1000.0, "0.0 kHz")));
    });
    s.add(QStringLiteral(":Select Band in use last time"), [this, &ctl, &v] {
        auto* combo = findChild<QComboBox*>(QStringLiteral("cboBandSelect"));
        if (combo && combo->currentIndex() != bandPlans_.CurrentMainBandIndex)
            combo->setCurrentIndex(bandPlans_.CurrentMainBandIndex);
        // The band's settings block is not recalled here yet, so the receiver takes the
        // current filter preset as selecting it would: without it the audio filter has
        // no pass band at all.
        setElementChecked("optMode", std::clamp(v.DemodMode, 0, 5), true);
        setElementChecked("optFilter", std::clamp(v.FilterMode, 0, 4), true);
        SelectFilterPreset(*receiver_, v.FilterMode);
        const FilterSetting& row = v.FilterTable[static_cast<size_t>(std::clamp(v.FilterMode, 0, 8))];
        ctl[7].Default = static_cast<float>(row.Hi);
        ctl[8].Default = static_cast<float>(row.Lo);
        ctl[7].Value = static_cast<float>(v.FilterHi);
        ctl[8].Value = static_cast<float>(v.FilterLo);
    });
    // The keyboard and wheel hook comes with the adjusters' pointer handling.
    s.add(QStringLiteral(":Call modWheelMouse.init"));
    s.add(QStringLiteral(":Set up default values in the AGC delayline"), [&v] {
        vectorlib::SetMemory_S(v.AGCPeakHistory.data(), std::clamp(v.AGCHistoryLength, 0, kAGCHistoryCapacity),
                               16383.0f);
    });
    s.add(QStringLiteral(":Call MouseOverS.lblFilterHi_Wheel"), [&ctl] { ctl.Apply(7); });
    s.add(QStringLiteral(":Call MouseOverS.lblFilterLo_Wheel"), [&ctl] { ctl.Apply(8); });
    s.add(QStringLiteral(":Initialise WavFile Object"), [this] {
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("txtRecordFileName")))
            name->clear();
    });
    s.add(QStringLiteral(":Call tmrPerfStats_Timer"), [this] {
        PerfStatsTimer::Hooks hooks;
        hooks.stopTimer = [this] {
            if (QTimer* t = timer("tmrPerfStats"))
                t->stop();
        };
        hooks.ShowLevelBar = [this](float level) { ShowLevelBar(this, level); };
        hooks.setSMeterToolTip = [this](const QString& tip) {
            for (int i = 0; i < 2; ++i)
                if (QWidget* pic = element("picSmeter", i))
                    pic->setToolTip(tip);
        };
        hooks.showPanel = [this](const StatsPanelText& panel) {
            for (int i = 0; i < 6; ++i)
                if (panel.valueWritten[i])
                    if (auto* label = qobject_cast<QLabel*>(element("lblStatsVal", i)))
                        label->setText(panel.value[i]);
            if (panel.value0Coloured)
                if (QWidget* w = element("lblStatsVal", 0))
                    setTextColour(w, panel.value0Colour);
            if (panel.loadColoured)
                for (int i : {4, 5})
                    if (QWidget* w = element("lblStatsVal", i))
                        setTextColour(w, panel.loadColour);
        };
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
        hooks.showNotchCentre = [this](const QString& caption, const QString& toolTip) {
            if (auto* notch = findChild<QLabel*>(QStringLiteral("lblNotch")))
                notch->setText(caption);
            if (QWidget* slider = control(QStringLiteral("sldNotch")))
                slider->setToolTip(toolTip);
        };
        hooks.showOscillator = [this](const QString& text) {
            if (auto* label = qobject_cast<QLabel*>(element("lblStatsVal", 3)))
                label->setText(text);
        };
        perfStats_ = std::make_unique<PerfStatsTimer>(hooks);
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
        s.add(QLatin1String(t.text), [this, name, interval] { armTimer(name, interval); });
    }
    s.add(QStringLiteral(":Initialise the Tuning Step Selector Drop Down List"), [this] {
        auto* combo = findChild<QComboBox*>(QStringLiteral("cboTuningSteps"));
        if (!combo)
            return;
        combo->clear();
        combo->hide();
        setBackColour(combo, colours_.SDRBackgroundColour);
        setTextColour(combo, colours_.ScrollableLabelFocusColour);
        QFont fixed(QStringLiteral("Monospace"));
        fixed.setStyleHint(QFont::TypeWriter);
        combo->setFont(fixed);
        combo->addItems(TuningStepListTexts(TuningSteps));
        combo->setCurrentIndex(rig_.VFO ? TuningStepIndex(TuningSteps, rig_.VFO->TuneStep()) : -1);
    });
    s.add(QStringLiteral(":Call DarkenControls"), [&ctl] { ctl.DarkenAll(); });
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
    if (auto* clock = findChild<QLabel*>(QStringLiteral("lblClock")))
        clock->setText(QString::fromStdString(ORVIK::GetUTCTimeString()));
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
        if (receiver_)
            receiver_->ApplyFilterSettings();
        priority_.raiseToRealTime();
        if (QWidget* close = element("optPwr", 2))
            close->hide();
        if (QTimer* t = timer("tmrSpectrumDisplay"))
            t->stop();
        if (SoundCard)
            SoundCard->StartSound();
        if (!SoundCard || !SoundCard->InAction()) {
            // Nothing will arrive: go back to Off rather than pretend to receive.
            log(QStringLiteral("optPwr_click : sound did not start, the receiver stays off"));
            setElementChecked("optPwr", 1, true);
        }
        break;
    }
    case 1: {
        if (SoundCard)
            SoundCard->StopSound();
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

void frmMain::optMode_Click(int Index)
{
    if (!receiver_)
        return;
    const int32_t previous = vars_.DemodMode;
    if (!SetDemodMode(*receiver_, Index) || Index == previous)
        return;
    if (!dream_)
        return;
    const DreamOptions& d = dream_->options;
    if (Index == kDemodDRM) {
        if (d.MuteAFOnDRM)
            vars_.Mute = true;
        if (SoundCard && SoundCard->Prepared() && d.CloseSoundcardOnDRM) {
            SoundCard->StopSound();
            SoundCard->ReleaseDevices();
        }
        dream_->RunDREAM();
    } else if (previous == kDemodDRM) {
        if (d.MuteAFOnDRM)
            vars_.Mute = false;
        if (SoundCard && powerOn() && !SoundCard->Prepared()) {
            SoundCard->PrepareDevices();
            SoundCard->StartSound();
        }
        if (d.DreamCloseOnModeChange)
            dream_->CloseListedWindows();
    }
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
    // Every timer, not only the display ones: none may fire into a released object.
    ignoringFailure([this] { stopEveryTimer(); });
    ignoringFailure([this] {
        if (SoundCard) {
            SoundCard->StopSound();
            SoundCard->ReleaseDevices();
        }
    });
    ignoringFailure([this] { bandPlans_.SaveBandPlans(Product); });
    ignoringFailure([this] { SaveSettings(); });
    ignoringFailure([this] {
        PerfProfiler.reset();
        tuning_->vfo = nullptr;
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
