#pragma once

#include "app/PriorityRequests.h"
#include "app/SpectrumFeedAdapter.h"
#include "bands/modBandPlan.h"
#include "receiver/PublicVars.h"
#include "receiver/ReceiverHandlers.h"
#include "receiver/SoundOutput.h"
#include "receiver/SpectrumFeed.h"
#include "receiver/TuningSource.h"
#include "shell/CtlArray.h"
#include "shell/DreamLauncher.h"
#include "shell/MainWindowSettings.h"
#include "shell/PerfStats.h"
#include "shell/ProcessPriority.h"
#include "shell/Profiler.h"
#include "shell/StartupSteps.h"
#include "shell/TuningSteps.h"
#include "app/MainWindowControls.h"
#include "shell/ui/ColourScheme.h"
#include "shell/ui/WindowSizeController.h"
#include "shell/widgets/ControlFactory.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/TuningState.h"

#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QLockFile;
class QTimer;

namespace orvik {

class ConfigWiring;
class ORVIKDX8;
class ScopeControls;
class clsSpectrumAnalyser;
class ReceiverCore;
class SettingsStore;
class SoundBackend;
class frmDX8Events;
class frmLog;
class frmSplash1;
class LabelAdjusterView;
class AdjusterControls;
class FocusHighlighter;
class StatisticsPanel;
class modWheelMouse;
class MainWindowRecorder;
class ModemLineWatcher;
class TuningControls;
class ReceiverControls;
class BandControls;
class SettingsBlock;

// The main window: creates every long-lived object at start-up, wires the
// subsystems to the controls, switches the receiver on and off, and saves
// everything when it closes.
class frmMain : public QWidget {
public:
    struct Services {
        SettingsStore& store;
        SoundBackend& soundBackend;
        QString programFolder;
        QString shippedBandPlans; // where the band plans shipped with the program are
    };

    explicit frmMain(Services services);
    ~frmMain() override;

    // Start-up, both steps. 0: the program runs; otherwise the exit code of a start
    // that was refused or failed (the message has been shown, nothing was saved).
    int Form_Initialize(const QStringList& argumentsAfterProgram);
    void Form_Load();
    // The power buttons: 0 On, 1 Off, 2 Close.
    void optPwr_Click(int Index);
    // Shut-down; runs once, from the window's close or the Close button.
    void Form_Unload();
    void Form_Terminate();
    // A failed start ends the program at once: no object may save on the way out.
    void abandon();

    bool powerOn() const;
    bool TraceOn = false;
    bool RunningInIDE = false;
    bool InFormInitialize = false;
    bool InFormLoad = false;
    QString DreamDefaultArgs;
    bool HiSideLO = true;
    // The one way to change the LO side: the VFO, the receive chain's copy, this copy and
    // the low-side box (ticked when the LO is below the signal).
    void setHiSideLO(bool hiSide);

    // Objects the tests look at.
    PublicVars& vars() { return vars_; }
    CtlArray& ctlArray() { return CtlArray_; }
    modBandPlan& bandPlans() { return bandPlans_; }
    ORVIKDX8* soundCard() const { return SoundCard.get(); }
    const MainWindowOptions& options() const { return options_; }
    StartupSteps& loadSteps() { return loadSteps_; }
    DreamLauncher* dream() const { return dream_.get(); }
    ReceiverCore* receiver() const { return receiver_.get(); }
    clsSpectrumAnalyser* spectrumAnalyser() const { return SpectrumAnalyser.get(); }
    ScopeControls* scopeControls() const { return scopeControls_.get(); }
    MainWindowRecorder* recorder() const { return recorder_.get(); }
    ReceiverControls* receiverControls() const { return receiverControls_.get(); }
    TuningControls* tuningControls() const { return tuningControls_.get(); }
    TuningState& tuningState() { return tuningState_; }
    ConfigWiring* config() const { return config_.get(); }
    const SynthesizerRig& rig() const { return rig_; }
    const SDRColourSchemes& colours() const { return colours_; }
    BandControls* bandControls() const { return bandControls_.get(); }
    SettingsBlock* settingsBlock() const { return settingsBlock_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class SoundCardOutput;
    class VfoTuning;

    void buildLoadSteps();
    void defineAdjusters(int firstId, int lastId);
    void defineAdjuster(int id, std::function<void()> apply);
    void defineReceiverAdjuster(int id);
    void defineScopeAdjuster(int id);
    void createSpectrumAnalyser();
    ReceiverHandlers::Hooks receiverHooks();
    // In frmMainTuning.cpp.
    void createTuningControls();
    void connectTuningToSynthesizer();
    // In BandWiring.cpp: the settings-block code and the band controls with their hooks.
    void wireBandControls();
    LabelAdjusterView* adjusterLabel(int id);
    void log(const QString& text);
    void tmrPerfStats_Timer();
    void chkPerfStatsOn_Click();
    void cmdCalibrateSMeter_Click();
    void tmrClock_Timer();
    void SaveSettings();
    QTimer* timer(const char* name) const;
    // Sets the interval and (re)starts the timer; a missing timer is skipped.
    void armTimer(const char* name, int intervalMs);
    QWidget* control(const QString& name) const;
    QWidget* element(const char* arrayName, int index) const;
    void setElementChecked(const char* arrayName, int index, bool checked);
    void setCheckBox(const char* name, bool checked);
    void ShowTitleBar(bool show);
    // Blocks of output between the one being handled now and the speaker: the sound card's
    // ring, its playback buffer and the device's latency.
    int32_t blocksStillToBeHeard() const;
    void ReColourWindow();
    // The Config button and the hooks of the configuration dialog (frmMainConfig.cpp).
    void createConfigWiring();
    void stopEveryTimer();

    SettingsStore& store_;
    SoundBackend& soundBackend_;
    QString programFolder_;
    QString shippedBandPlans_;

    std::unique_ptr<QLockFile> instanceLock_;
    std::unique_ptr<frmLog> logWindow_;
    std::unique_ptr<frmSplash1> splash_;
    SDRColourSchemes colours_;
    modBandPlan bandPlans_;
    PublicVars vars_;
    std::unique_ptr<SoundCardOutput> soundOutput_;
    std::unique_ptr<VfoTuning> tuning_;
    SpectrumFeedAdapter spectrum_;
    std::unique_ptr<clsSpectrumAnalyser> SpectrumAnalyser;
    std::unique_ptr<ScopeControls> scopeControls_;
    std::unique_ptr<MainWindowRecorder> recorder_;
    std::unique_ptr<ReceiverCore> receiver_;
    MainWindowPanels panels_;
    std::unique_ptr<ReceiverControls> receiverControls_;
    std::unique_ptr<SettingsBlock> settingsBlock_;
    std::unique_ptr<BandControls> bandControls_;
    std::unique_ptr<Profiler> PerfProfiler;
    std::unique_ptr<Profiler> EncoderProfiler;
    TuningStepTable TuningSteps{};
    // The serial control the knob's line changes arrive through; the serial interface opens its port on it.
    ModemLineWatcher* MSComm1 = nullptr;
    SynthesizerRig rig_;
    TuningState tuningState_;
    std::unique_ptr<TuningControls> tuningControls_;
    std::unique_ptr<ORVIKDX8> SoundCard;
    std::unique_ptr<frmDX8Events> dx8Events_;
    CtlArray CtlArray_;
    WindowFrameState frameState_;
    std::unique_ptr<WindowSizeController> windowSize_;
    std::unique_ptr<FocusHighlighter> focus_;
    std::unique_ptr<AdjusterControls> adjusters_;
    std::unique_ptr<modWheelMouse> wheelMouse_;
    std::unique_ptr<StatisticsPanel> perfStats_;
    std::unique_ptr<DreamLauncher> dream_;
    ProcessPriority priority_{SchedulingCalls::system(), realtimeKitRequests(soundBackend_, this)};
    ChildCache children_{this};
    MainWindowOptions options_;
    StartupSteps loadSteps_{QStringLiteral("frmMain:frmMain:Form_Load")};
    bool unloaded_ = false;
    bool abandoned_ = false;
    bool endedByCloseButton_ = false;
    bool closeRequestedDuringStart_ = false;
    // Last, so the open dialog goes before the objects its hooks reach.
    std::unique_ptr<ConfigWiring> config_;
};

} // namespace orvik
