#include "config/ui/frmConfig.h"

#include "bands/ColourTheme.h"
#include "common/Product.h"
#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "platform/clsComDlg.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "shell/widgets/Twips.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <cmath>

namespace orvik {

namespace {

const QString Product = QString::fromLatin1(ProductName);

struct PageInfo {
    const char* caption;
    const char* toolTip;
};

constexpr PageInfo Pages[] = {
    {"General", "Configure the SDR"},
    {"Soundcard", "Configure Soundcard Items"},
    {"VFO", "Configure VFO Items"},
    {"DDS", "Configure DDS Items"},
    {"Serial I/F ", "Configure Serial Interface items"},
    {"Parallel I/F", "Configure Parallel I/F Items"},
    {"DREAM", nullptr},
    {"Spectrum Display", nullptr},
    {"Controls", nullptr},
};
constexpr int PageCount = 9;

// Twips.
constexpr int32_t TabLeft = 120;
constexpr int32_t TabTop = 120;
constexpr int32_t PageWidth = 11400; // every tab caption fits without scroll arrows
constexpr int32_t PageHeight = 4560;
constexpr int32_t TabBarHeight = 420;
constexpr int32_t ButtonWidth = 1100;
constexpr int32_t ButtonHeight = 375;
constexpr int32_t Row = 360;

constexpr uint32_t SwatchBorder = 0x808080;

} // namespace

frmConfig::frmConfig(Setup setup, QWidget* owner)
    : QDialog(owner)
    , state_(setup.state ? *setup.state : ownState_)
    , programFolder_(std::move(setup.programFolder))
    , version_(std::move(setup.version))
    , apply_(std::move(setup.hooks), Product + QStringLiteral(" - Configuration"))
{
    setObjectName(QStringLiteral("frmConfig"));
    setModal(false);
    buildPages();
    connectControls();
    Form_Load();
}

frmConfig::~frmConfig()
{
    Form_Unload();
}

void frmConfig::buildPages()
{
    TabStrip1_ = new QTabWidget(this);
    TabStrip1_->setObjectName(QStringLiteral("TabStrip1"));
    placeTwips(TabStrip1_, {TabLeft, TabTop, PageWidth, PageHeight + TabBarHeight});
    QWidget* page[PageCount];
    for (int i = 0; i < PageCount; ++i) {
        page[i] = new QWidget;
        page[i]->setObjectName(controlName(QStringLiteral("frConfigs"), i));
        TabStrip1_->addTab(page[i], QString::fromLatin1(Pages[i].caption));
        if (Pages[i].toolTip)
            TabStrip1_->setTabToolTip(i, QString::fromLatin1(Pages[i].toolTip));
    }

    // General.
    QWidget* p = page[0];
    addLabel(p, "lblDevices", 5, "SDRModel", {240, 240, 1200, 255});
    addCombo(p, "cboSDRModel", {2400, 200, 2400, 315});
    addCheck(p, "chkEnableEncoder", -1, "Enable Shaft Encoder", {240, 720, 3900, 255});
    addCheck(p, "chkShaftAutoRate", -1, "Shaft Encoder Auto Rate", {240, 720 + Row, 3900, 255});
    addCheck(p, "chkAutoTrackPresets", -1, "Auto-Track Presets", {240, 720 + 2 * Row, 3900, 255},
             "Automatically Update Presets with SDR Settings (exc. Frequency)");
    addCheck(p, "chkKBDSupport", -1, "Keyboard Support", {240, 720 + 3 * Row, 3900, 255},
             "Use Keyboard to Adjust Scrollable Labels ?");
    addCheck(p, "chkScrollWheelEnableOverScope", -1, "ScrollWheel Tune over 'scope?", {240, 720 + 4 * Row, 3900, 255},
             "Click to enable Tuning by ScrollWheel over the Spectrum Display");
    addCheck(p, "chkUseSPL", -1, "Use Intel SPL ?", {4440, 720, 3900, 255}, "Click to use Intel SPL");
    addCheck(p, "FormCaptionOffOnPwrOn", -1, "Title Bar Off", {4440, 720 + Row, 3900, 255});
    addCheck(p, "chkShowClock", -1, "Show Clock ?", {4440, 720 + 2 * Row, 3900, 255});
    addCheck(p, "chkAutoStartSDR", -1, "Power On SDR on Start-Up", {4440, 720 + 3 * Row, 3900, 255});
    QLabel* about = addLabel(p, "lblAbout", -1, {}, {240, 3000, 5800, 900});
    about->setWordWrap(true);

    // Soundcard.
    p = page[1];
    addLabel(p, "lblDevices", 1, "IF IN Device", {240, 360, 2100, 255});
    addCombo(p, "cboCapDevices", {2400, 320, 4200, 315}, "Select Audio Input Device");
    addLabel(p, "lblDevices", 0, "AF OUT Device", {240, 960, 2100, 255});
    addCombo(p, "cboPlayDevices", {2400, 920, 4200, 315}, "Select AF Output Device");

    // VFO.
    p = page[2];
    addLabel(p, "lblDevices", 2, "IF Offset (Hz)", {240, 360, 2100, 255});
    addText(p, "txtIFFrequency", {}, {2400, 320, 1500, 315}, "IF Frequency");
    addCheck(p, "chkLoLO", -1, "Lo Side LO ?", {240, 840, 2400, 255}, "Check if DDS tunes LOW side of tuned frequency");

    // DDS.
    p = page[3];
    addLabel(p, "lblDevices", 3, "DDS Clock (Hz)", {240, 360, 2100, 255});
    addText(p, "txtDDSClkin", {}, {2400, 320, 1500, 315}, "DDS CLKIN Frequency");
    addCommand(p, "cmdCalDDS", -1, "Calibrate", {4080, 300, ButtonWidth, ButtonHeight}, "Calibrate DDS CLKIN");
    addLabel(p, "lblDevices", 7, "DDS Auto Refresh", {240, 960, 2100, 255});
    addCheck(p, "chkAutoDDSRefresh", -1, "AutoDDSRefresh ", {2400, 960, 2400, 255}, "Periodic Initialise DDS ");
    addLabel(p, "lblDevices", 6, "DDS I/F Control", {240, 1560, 2100, 255});
    addOption(p, "optIF", 1, "Ser", {2400, 1560, 900, 255}, "Serial Port DDS Control");
    addOption(p, "optIF", 0, "Par", {3420, 1560, 900, 255}, "Parallel Port DDS Control");

    // Serial interface.
    p = page[4];
    addLabel(p, "lblDevices", 4, "COM Port", {240, 360, 2100, 255});
    // Wide enough for the stable by-id names of USB adapters.
    addCombo(p, "cboComPort", {2400, 320, 8400, 315}, "Select Serial Com Port");
    addLabel(p, "lblDevices", 8, "Bit Period        sec", {240, 960, 2100, 255});
    addText(p, "txtBitPeriod", {}, {2400, 920, 1500, 315});
    addCommand(p, "cmdBitPeriodDefault", -1, "Default", {4080, 900, ButtonWidth, ButtonHeight});

    // Parallel interface.
    p = page[5];
    addLabel(p, "lblDevices", 11, "Port Address    Hex", {240, 360, 2100, 255});
    addText(p, "txtPortAddress", {}, {2400, 320, 1500, 315});
    addLabel(p, "lblParallelDevice", -1, {}, {2400, 660, 4560, 240});
    addLabel(p, "lblDevices", 10, "Bit Period           sec", {240, 960, 2100, 255});
    addText(p, "txtParallelPortBitPeriod", {}, {2400, 920, 1500, 315});
    addCheck(p, "chkInvertingIF", -1, "Invert, eg MC1489", {240, 1560, 2400, 255});
    addCommand(p, "cmdParallelPortDefaults", -1, "Defaults", {4080, 900, ButtonWidth, ButtonHeight});
    addImage(p, "Image1", {7200, 240, 1200, 1200});

    // DREAM.
    p = page[6];
    addCheck(p, "chkDreamRunOnDRM", -1, "Run DREAM.EXE on DRM", {240, 240, 3900, 255});
    addCheck(p, "chkMuteAFOnDRM", -1, "Mute AF on DRM Mode Selected", {240, 240 + Row, 3900, 255},
             "Mute AF Output when DRM selected");
    addCheck(p, "chkCloseSoundCardOnDRM", -1, "Close Soundcard on DRM Mode", {240, 240 + 2 * Row, 3900, 255},
             "Release Soundcard when DRM Selected - Win98");
    addCheck(p, "chkDreamCloseOnExit", -1, "Close Dream On SDR Exit", {240, 240 + 3 * Row, 3900, 255},
             "Kill DREAM.EXE when ORVIKSDR exists");
    addCheck(p, "chkDreamCloseOnModeChange", -1, "Close Dream on Mode Change", {240, 240 + 4 * Row, 3900, 255},
             "Kill DREAM.EXE when Changing Demod mode away from DRM");
    QGroupBox* window = addFrame(p, "frDreamWindowMode", "Dream Window", {4440, 180, 2400, 1440});
    window->setToolTip(QStringLiteral("Set DREAM.EXE Window Style"));
    addOption(window, "optDreamWindow", 0, "Default", {180, 300, 1800, 255}, "Run DREAM with Window showing");
    addOption(window, "optDreamWindow", 1, "Min", {180, 300 + Row, 1800, 255}, "Run DREAM minimised");
    addOption(window, "optDreamWindow", 2, "Hide", {180, 300 + 2 * Row, 1800, 255}, "Run DREAM hidden");
    addLabel(p, "lblDevices", 12, "DREAM Program", {240, 2280, 2100, 255});
    addText(p, "txtPathToDream", {}, {2400, 2240, 4200, 315}, "Full Pathname of DREAM.EXE");
    addCommand(p, "cmdFindDREAM", -1, "&Browse", {6780, 2220, ButtonWidth, ButtonHeight}, "Locate DREAM.EXE");
    addLabel(p, "lblDevices", 13, "DREAM Prog Args", {240, 2760, 2100, 255});
    addText(p, "txtDreamProgArgs", {}, {2400, 2720, 4200, 315}, "DREAM.EXE Arguments");
    addLabel(p, "lblSDRDreamArgs", -1, {}, {2400, 3180, 4200, 255}, "SDR generated Dream.exe cli args");
    addCommand(p, "cmdDreamDefault", -1, "Defaults", {6780, 3600, ButtonWidth, ButtonHeight}, "Set to Default Values");

    buildColourPages(page[7], page[8]);

    for (int i = 0; i < 3; ++i) {
        static const char* const names[] = {"cmdOK", "cmdApply", "cmdCancel"};
        static const char* const captions[] = {"&OK", "&Apply", "&Cancel"};
        addCommand(this, names[i], -1, captions[i], {0, 0, ButtonWidth, ButtonHeight});
    }
    // The shared control factory colours boxes for the main window's dark scheme; the
    // dialog keeps the desktop's colours.
    for (QComboBox* combo : findChildren<QComboBox*>())
        combo->setPalette(QPalette());
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setPalette(QPalette());
    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
}

void frmConfig::buildColourPages(QWidget* spectrumPage, QWidget* controlsPage)
{
    auto addSwatch = [this](QWidget* frame, int swatch, int row) {
        const SwatchInfo& info = swatchInfo(swatch);
        auto* button = addCommand(frame, info.button, -1, info.caption, {120, 240 + row * 420, 1200, 330});
        connect(button, &QPushButton::clicked, this, [this, swatch] { PickShapeColour(swatch); });
        swatches_[static_cast<size_t>(swatch)] = addShape(frame, info.shape, -1, {1440, 240 + row * 420, 480, 330}, 0,
                                                          SwatchBorder);
    };

    // Spectrum Display.
    QWidget* p = spectrumPage;
    addLabel(p, "lblDevices", 14, "Default Smooth Count", {240, 360, 2400, 255});
    addText(p, "txtSpectrumDisplaySmoothingCount", {}, {2760, 320, 900, 315});
    addLabel(p, "lblDevices", 9, "Hide Freq ToolTip", {240, 840, 2400, 255});
    addCheck(p, "chkSpectrumDisplayHideToolTip", -1, {}, {2760, 840, 400, 255});
    QGroupBox* control = addFrame(p, "frControlColours", "Control Colours", {4440, 240, 2160, 1200});
    addSwatch(control, SwatchControlNormal, 0);
    addSwatch(control, SwatchControlFocused, 1);
    addCommand(p, "cmdScopeDefaults", -1, "Defaults", {4440, 1680, ButtonWidth, ButtonHeight}, "Set to Default Values");

    // Controls.
    p = controlsPage;
    QGroupBox* sdr = addFrame(p, "frSDRColours", "SDR Colours", {120, 60, 2160, 1500});
    addSwatch(sdr, SwatchSDRBackGround, 0);
    addSwatch(sdr, SwatchSDRLabel, 1);
    addSwatch(sdr, SwatchSDRTuning, 2);
    QGroupBox* frames = addFrame(p, "frFrameColours", "Frame Colours", {120, 1620, 2160, 1080});
    addSwatch(frames, SwatchSDRFrameNormal, 0);
    addSwatch(frames, SwatchSDRFrameFocus, 1);
    QGroupBox* scroll = addFrame(p, "frScrollLabels", "Scroll Labels", {120, 2760, 2160, 1440});
    addSwatch(scroll, SwatchNormalScrollLabel, 0);
    addSwatch(scroll, SwatchFocusScrollLabel, 1);
    addCheck(scroll, "chkScollLabelHiliteBorder", -1, "  Hilite Border", {120, 1080, 1600, 255});
    QGroupBox* trace = addFrame(p, "frTraceColours", "Trace Colours", {2640, 60, 2160, 1920});
    addSwatch(trace, SwatchScopeY1, 0);
    addSwatch(trace, SwatchScopeY2, 1);
    addSwatch(trace, SwatchScopeFilterCurve, 2);
    addSwatch(trace, SwatchScopeNotchFilter, 3);
    QGroupBox* scope = addFrame(p, "frScopeColours", "Scope Colours", {2640, 2040, 2160, 1920});
    addSwatch(scope, SwatchScopeBack, 0);
    addSwatch(scope, SwatchScopeGraticule, 1);
    addSwatch(scope, SwatchScopeXText, 2);
    addSwatch(scope, SwatchScopeYText, 3);
    addCommand(p, "cmdSDRColoursLoad", -1, "Load", {5280, 180, ButtonWidth, ButtonHeight});
    addCommand(p, "cmdSDRColoursSave", -1, "Save", {5280, 660, ButtonWidth, ButtonHeight});
    addCommand(p, "cmdSDRPreviewColours", -1, "Preview", {5280, 1140, ButtonWidth, ButtonHeight});
    addCommand(p, "cmdSDRControlDefaults", -1, "Defaults", {5280, 1620, ButtonWidth, ButtonHeight},
               "Set to Default Values");
}

void frmConfig::connectControls()
{
    auto button = [this](const char* name) { return findChild<QPushButton*>(QLatin1String(name)); };
    auto onClick = [this, &button](const char* name, void (frmConfig::*handler)()) {
        if (QPushButton* b = button(name))
            connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick("cmdBitPeriodDefault", &frmConfig::cmdBitPeriodDefault_Click);
    onClick("cmdParallelPortDefaults", &frmConfig::cmdParallelPortDefaults_Click);
    onClick("cmdDreamDefault", &frmConfig::cmdDreamDefault_Click);
    onClick("cmdFindDREAM", &frmConfig::cmdFindDREAM_Click);
    onClick("cmdCalDDS", &frmConfig::cmdCalDDS_Click);
    onClick("cmdOK", &frmConfig::cmdOK_Click);
    onClick("cmdCancel", &frmConfig::cmdCancel_Click);
    onClick("cmdSDRControlDefaults", &frmConfig::cmdSDRControlDefaults_Click);
    onClick("cmdScopeDefaults", &frmConfig::cmdScopeDefaults_Click);
    onClick("cmdSDRColoursSave", &frmConfig::cmdSDRColoursSave_Click);
    onClick("cmdSDRColoursLoad", &frmConfig::cmdSDRColoursLoad_Click);
    if (QPushButton* b = button("cmdApply"))
        connect(b, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    if (QPushButton* b = button("cmdSDRPreviewColours")) {
        connect(b, &QPushButton::pressed, this, [this] { cmdSDRPreviewColours_MouseDown(); });
        connect(b, &QPushButton::released, this, [this] { cmdSDRPreviewColours_MouseUp(); });
    }
    for (int i = 0; i < 2; ++i)
        if (auto* option = qobject_cast<QRadioButton*>(controlElement(this, QStringLiteral("optIF"), i)))
            connect(option, &QRadioButton::clicked, this, [this, i] { optIF_Click(i); });
    if (auto* box = findChild<QCheckBox*>(QStringLiteral("chkEnableEncoder")))
        connect(box, &QCheckBox::toggled, this, [this] { chkEnableEncoder_Click(); });
    if (auto* address = findChild<QLineEdit*>(QStringLiteral("txtPortAddress")))
        connect(address, &QLineEdit::textChanged, this, [this] { showParallelDevice(); });
    connect(Timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

bool frmConfig::checked(const char* name) const
{
    auto* box = findChild<QAbstractButton*>(QLatin1String(name));
    return box && box->isChecked();
}

void frmConfig::setChecked(const char* name, bool value)
{
    if (auto* box = findChild<QAbstractButton*>(QLatin1String(name)))
        box->setChecked(value);
}

QString frmConfig::text(const char* name) const
{
    if (auto* edit = findChild<QLineEdit*>(QLatin1String(name)))
        return edit->text();
    if (auto* label = findChild<QLabel*>(QLatin1String(name)))
        return label->text();
    return {};
}

void frmConfig::setText(const char* name, const QString& value)
{
    if (auto* edit = findChild<QLineEdit*>(QLatin1String(name)))
        edit->setText(value);
    else if (auto* label = findChild<QLabel*>(QLatin1String(name)))
        label->setText(value);
}

uint32_t frmConfig::swatchColour(int swatch) const
{
    ShapeWidget* shape = swatch >= 0 && swatch < SwatchCount ? swatches_[static_cast<size_t>(swatch)] : nullptr;
    return shape ? shape->fillColour() : 0;
}

void frmConfig::setSwatchColour(int swatch, uint32_t colour)
{
    if (swatch < 0 || swatch >= SwatchCount || !swatches_[static_cast<size_t>(swatch)])
        return;
    ShapeWidget* shape = swatches_[static_cast<size_t>(swatch)];
    shape->setFillColour(colour & 0xFFFFFFu);
    shape->update();
}

void frmConfig::Form_Load()
{
    state_.ConfigOpen = true;
    setWindowTitle(Product + QStringLiteral(" - Configuration"));

    // Layout: the tab strip with a margin, the three buttons below it.
    const TwipsRect tab = twipsGeometry(TabStrip1_);
    const int32_t width = 3 * tab.left + tab.width;
    const int32_t height = tab.top + tab.height + 3 * ButtonHeight;
    setFixedSize(twipsToPixels(width), twipsToPixels(height));
    const int32_t buttonTop = height - ButtonHeight * 3 / 2;
    const int32_t free = width - ButtonWidth;
    placeTwips(findChild<QPushButton*>(QStringLiteral("cmdApply")), {free / 2, buttonTop, ButtonWidth, ButtonHeight});
    placeTwips(findChild<QPushButton*>(QStringLiteral("cmdOK")), {free / 4, buttonTop, ButtonWidth, ButtonHeight});
    placeTwips(findChild<QPushButton*>(QStringLiteral("cmdCancel")), {free * 3 / 4, buttonTop, ButtonWidth, ButtonHeight});
    setText("lblAbout", Product + QStringLiteral(" Ver ") + version_ + QLatin1Char('\n') +
                            QStringLiteral("Sound-card software-defined radio receiver"));

    const ConfigHooks& h = apply_.hooks();
    system_ = h.readSystem ? h.readSystem() : ConfigSystemValues{};
    const ConfigSystemValues& s = system_;
    apply_.Load(s);

    if (auto* model = findChild<QComboBox*>(QStringLiteral("cboSDRModel"))) {
        model->clear();
        model->addItem(QStringLiteral("VESKA"), 0);
        model->addItem(QStringLiteral("ELEKTOR DRM"), 1);
        model->setCurrentIndex(s.SDRModelNo >= 0 && s.SDRModelNo < model->count() ? s.SDRModelNo : 0);
    }
    TabStrip1_->setCurrentIndex(0);

    auto fillDevices = [this](const char* name, const QStringList& names, int32_t current) {
        if (auto* list = findChild<QComboBox*>(QLatin1String(name))) {
            list->clear();
            list->addItems(names);
            // A device number of 0 or past the list leaves the list without a selection.
            list->setCurrentIndex(current >= 1 && current <= names.size() ? current - 1 : -1);
        }
    };
    fillDevices("cboPlayDevices", s.PlaybackDeviceNames, s.CurrentPlaybackDevice);
    fillDevices("cboCapDevices", s.CaptureDeviceNames, s.CurrentCaptureDevice);

    setText("txtDDSClkin", FrequencyText(std::fabs(s.ClkIn)));
    setText("txtIFFrequency", FrequencyText(std::fabs(static_cast<double>(s.IFFrequency))));
    setChecked("chkLoLO", !s.HiSideLO);

    if (s.DDSInterfaceType == 0) {
        setChecked("optIF_1", true);
        optIF_Click(1);
    } else if (s.DDSInterfaceType == 1) {
        setChecked("optIF_0", true);
        optIF_Click(0);
    }

    if (auto* spl = findChild<QCheckBox*>(QStringLiteral("chkUseSPL"))) {
        spl->setEnabled(s.SPLPresent);
        if (s.SPLPresent)
            spl->setChecked(s.UseSPL);
    }
    setChecked("chkEnableEncoder", s.Flags.EnableShaftEncoder);
    chkEnableEncoder_Click();
    setChecked("chkShaftAutoRate", s.Flags.ShaftAutoRate);
    setChecked("chkScrollWheelEnableOverScope", s.Flags.ScrollWheelEnableOverScope);
    setChecked("chkAutoDDSRefresh", s.AutoUpdate);
    setText("txtBitPeriod", BitPeriodText(s.SerialWaitTime));

    setChecked("chkDreamRunOnDRM", s.Dream.RunDreamOnDRM);
    setChecked("chkCloseSoundCardOnDRM", s.Dream.CloseSoundcardOnDRM);
    setChecked("chkMuteAFOnDRM", s.Dream.MuteAFOnDRM);
    setChecked("chkDreamCloseOnExit", s.Dream.DreamCloseOnExit);
    setChecked("chkDreamCloseOnModeChange", s.Dream.DreamCloseOnModeChange);
    if (s.Dream.DreamWindowStyle >= 0 && s.Dream.DreamWindowStyle <= 2)
        setChecked(controlName(QStringLiteral("optDreamWindow"), s.Dream.DreamWindowStyle).toLatin1().constData(), true);
    setText("txtPathToDream", s.Dream.PathToDream);
    setText("txtDreamProgArgs", s.Dream.DreamProgArgs);
    setText("lblSDRDreamArgs", s.DreamDefaultArgs);

    setText("txtParallelPortBitPeriod", BitPeriodText(s.ParallelWaitTime));
    setText("txtPortAddress", HexAddressText(s.PortAddress));
    setChecked("chkInvertingIF", !s.NonInverting);

    const OpeningColourTable& opening = apply_.OpeningColours();
    for (int i = 0; i < SwatchControlNormal; ++i)
        setSwatchColour(i, opening[static_cast<size_t>(swatchInfo(i).openingSlot)]);
    setChecked("chkSpectrumDisplayHideToolTip", s.HideFreqToolTip);
    setText("txtSpectrumDisplaySmoothingCount", QString::number(static_cast<double>(s.SmoothDefault)));
    setChecked("chkScollLabelHiliteBorder", s.Flags.HiLiteBorder);
    setChecked("chkKBDSupport", s.Flags.KBDSupport);
    setChecked("chkAutoTrackPresets", s.Flags.AutoTrackPresets);
    setChecked("FormCaptionOffOnPwrOn", s.Flags.FormCaptionOffOnPwrOn);
    setChecked("chkAutoStartSDR", s.Flags.AutoStartSDR);

    Timer1_->setInterval(40);
    Timer1_->start();
}

void frmConfig::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    Timer1_->stop();
    state_.ConfigOpen = false;
}

void frmConfig::Timer1_Timer()
{
    if (apply_.hooks().displayAnalyser)
        apply_.hooks().displayAnalyser();
}

void frmConfig::fillComPorts()
{
    auto* list = findChild<QComboBox*>(QStringLiteral("cboComPort"));
    if (!list)
        return;
    list->clear();
    serialPorts_ = SerialPortList(system_);
    for (const SerialDevice& device : serialPorts_)
        list->addItem(serialDeviceLabel(device));
    list->setCurrentIndex(SerialPortIndex(serialPorts_, {system_.PortNo, system_.SerialDevicePath}));
}

void frmConfig::showParallelDevice()
{
    QString device;
    const std::optional<double> address = ConfigNumber(text("txtPortAddress"));
    if (address && *address >= 0 && *address <= 0xFFFF && apply_.hooks().parallelDevice)
        device = apply_.hooks().parallelDevice(static_cast<int32_t>(*address));
    setText("lblParallelDevice", device);
}

void frmConfig::optIF_Click(int Index)
{
    auto* list = findChild<QComboBox*>(QStringLiteral("cboComPort"));
    if (list)
        list->setEnabled(true);
    if (QWidget* label = controlElement(this, QStringLiteral("lblDevices"), 4))
        label->setEnabled(true);
    // The list is filled whatever the interface: the knob may still use the serial port.
    if (Index == 1 || (list && list->count() == 0))
        fillComPorts();
    setChecked(controlName(QStringLiteral("optIF"), Index).toLatin1().constData(), true);
}

void frmConfig::chkEnableEncoder_Click()
{
    if (auto* rate = findChild<QCheckBox*>(QStringLiteral("chkShaftAutoRate")))
        rate->setEnabled(checked("chkEnableEncoder"));
}

void frmConfig::cmdBitPeriodDefault_Click()
{
    setText("txtBitPeriod", BitPeriodText(DefaultBitPeriod));
}

void frmConfig::cmdParallelPortDefaults_Click()
{
    setText("txtPortAddress", QStringLiteral("&H378"));
    setText("txtParallelPortBitPeriod", BitPeriodText(DefaultBitPeriod));
}

void frmConfig::cmdDreamDefault_Click()
{
    setChecked("chkMuteAFOnDRM", true);
    setChecked("chkCloseSoundCardOnDRM", false);
    setChecked("chkDreamCloseOnExit", true);
    setChecked("chkDreamCloseOnModeChange", true);
    setChecked("optDreamWindow_1", true);
}

namespace {

// The path the user chose, empty when the dialog was cancelled.
QString chooseFile(const FileDialogOptions& request)
{
    const FileDialogAnswer answer = dialogs().fileDialog(request);
    return answer.accepted && !answer.files.isEmpty() ? answer.files.front() : QString();
}

} // namespace

void frmConfig::cmdFindDREAM_Click()
{
    FileDialogOptions request;
    request.title = QStringLiteral("Select DREAM executable");
    request.directory = QStringLiteral("/usr/bin");
    request.fileMustExist = true;
    const QString chosen = chooseFile(request);
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    if (!info.isFile() || !info.isExecutable()) {
        messages().show(chosen + QStringLiteral(" is not a program that can be started"), windowTitle(),
                        MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    setText("txtPathToDream", chosen);
}

void frmConfig::cmdCalDDS_Click()
{
    if (!apply_.hooks().calibrate)
        return;
    if (const std::optional<double> clock = apply_.hooks().calibrate())
        setText("txtDDSClkin", FrequencyText(std::fabs(*clock)));
}

ConfigEntries frmConfig::entries() const
{
    ConfigEntries e;
    if (auto* model = findChild<QComboBox*>(QStringLiteral("cboSDRModel")))
        e.SDRModelNo = model->currentIndex() >= 0 ? model->currentData().toInt() : 0;
    e.IFFrequencyText = text("txtIFFrequency");
    e.LoLO = checked("chkLoLO");
    e.AutoDDSRefresh = checked("chkAutoDDSRefresh");
    e.ClkInText = text("txtDDSClkin");
    if (auto* list = findChild<QComboBox*>(QStringLiteral("cboPlayDevices")))
        e.playbackIndex = list->currentIndex();
    if (auto* list = findChild<QComboBox*>(QStringLiteral("cboCapDevices")))
        e.captureIndex = list->currentIndex();
    if (checked("optIF_0"))
        e.DDSInterfaceType = 1;
    else if (checked("optIF_1"))
        e.DDSInterfaceType = 0;
    if (auto* list = findChild<QComboBox*>(QStringLiteral("cboComPort"))) {
        e.comPortListEnabled = list->isEnabled();
        const int index = list->currentIndex();
        if (index >= 0 && index < static_cast<int>(serialPorts_.size()))
            e.comPort = SerialPortChoiceOf(serialPorts_[static_cast<size_t>(index)],
                                            {system_.PortNo, system_.SerialDevicePath});
    }
    e.BitPeriodText = text("txtBitPeriod");
    e.PortAddressText = text("txtPortAddress");
    e.ParallelBitPeriodText = text("txtParallelPortBitPeriod");
    e.InvertingIF = checked("chkInvertingIF");
    e.UseSPL = checked("chkUseSPL");
    e.Dream.RunDreamOnDRM = checked("chkDreamRunOnDRM");
    e.Dream.MuteAFOnDRM = checked("chkMuteAFOnDRM");
    e.Dream.CloseSoundcardOnDRM = checked("chkCloseSoundCardOnDRM");
    e.Dream.PathToDream = text("txtPathToDream");
    e.Dream.DreamCloseOnExit = checked("chkDreamCloseOnExit");
    e.Dream.DreamCloseOnModeChange = checked("chkDreamCloseOnModeChange");
    e.Dream.DreamProgArgs = text("txtDreamProgArgs");
    e.Dream.DreamWindowStyle = 0;
    for (int i = 0; i < 3; ++i)
        if (checked(controlName(QStringLiteral("optDreamWindow"), i).toLatin1().constData())) {
            e.Dream.DreamWindowStyle = i;
            break;
        }
    e.HideFreqToolTip = checked("chkSpectrumDisplayHideToolTip");
    e.SmoothingCountText = text("txtSpectrumDisplaySmoothingCount");
    e.Flags.EnableShaftEncoder = checked("chkEnableEncoder");
    e.Flags.ShaftAutoRate = checked("chkShaftAutoRate");
    e.Flags.ScrollWheelEnableOverScope = checked("chkScrollWheelEnableOverScope");
    e.Flags.HiLiteBorder = checked("chkScollLabelHiliteBorder");
    e.Flags.KBDSupport = checked("chkKBDSupport");
    e.Flags.AutoTrackPresets = checked("chkAutoTrackPresets");
    e.Flags.FormCaptionOffOnPwrOn = checked("FormCaptionOffOnPwrOn");
    e.Flags.AutoStartSDR = checked("chkAutoStartSDR");
    for (int i = 0; i < SwatchCount; ++i)
        e.Swatches[static_cast<size_t>(i)] = swatchColour(i);
    return e;
}

bool frmConfig::cmdApply_Click()
{
    return apply_.Apply(entries());
}

void frmConfig::leave(bool cancelled)
{
    hide();
    Cancel = cancelled;
    state_.ConfigCancelled = cancelled;
    Form_Unload();
    done(cancelled ? QDialog::Rejected : QDialog::Accepted);
}

void frmConfig::cmdOK_Click()
{
    // A failed check keeps the dialog, and every other edit in it, open.
    if (!cmdApply_Click())
        return;
    leave(false);
}

void frmConfig::cmdCancel_Click()
{
    leave(true);
}

void frmConfig::reject()
{
    // The close box and Escape: ConfigCancelled keeps what an earlier Cancel or OK left.
    Form_Unload();
    QDialog::reject();
}

void frmConfig::PickShapeColour(int swatch)
{
    const int64_t chosen = ComDlg().SelectColour(swatchColour(swatch), true);
    if (chosen == -1)
        return;
    setSwatchColour(swatch, static_cast<uint32_t>(chosen));
}

void frmConfig::cmdSDRControlDefaults_Click()
{
    const uint32_t dim = 0xBFBF00; // 0xFFFF00 darkened to 75 %
    const struct {
        int swatch;
        uint32_t colour;
    } defaults[] = {{SwatchSDRBackGround, 0},        {SwatchSDRFrameFocus, 0xFFFF00},
                    {SwatchSDRFrameNormal, dim},     {SwatchSDRLabel, dim},
                    {SwatchSDRTuning, 0xFF},         {SwatchNormalScrollLabel, dim},
                    {SwatchFocusScrollLabel, 0xFF},  {SwatchScopeBack, 0},
                    {SwatchScopeGraticule, 0x7F00},  {SwatchScopeY1, 0xFF00},
                    {SwatchScopeY2, 0xFFFF},         {SwatchScopeFilterCurve, 0xC0},
                    {SwatchScopeNotchFilter, 0xC0FF60}, {SwatchScopeXText, 0xFFFF00},
                    {SwatchScopeYText, 0xFF7F00}};
    for (const auto& d : defaults)
        setSwatchColour(d.swatch, d.colour);
    setChecked("chkScollLabelHiliteBorder", false);
    setChecked("chkShowClock", true);
}

void frmConfig::cmdScopeDefaults_Click()
{
    const struct {
        int swatch;
        uint32_t colour;
    } defaults[] = {{SwatchScopeBack, 0},          {SwatchScopeGraticule, 0x7F00},  {SwatchScopeY1, 0xFF00},
                    {SwatchScopeY2, 0xFFFF},       {SwatchControlFocused, 0xFF},    {SwatchControlNormal, 0xC0C000},
                    {SwatchScopeFilterCurve, 0xC0}, {SwatchScopeNotchFilter, 0xC0FF60},
                    {SwatchScopeXText, 0xFFFF00},  {SwatchScopeYText, 0xFF7F00}};
    for (const auto& d : defaults)
        setSwatchColour(d.swatch, d.colour);
}

void frmConfig::cmdSDRPreviewColours_MouseDown()
{
    apply_.PreviewPress(entries().Swatches);
}

void frmConfig::cmdSDRPreviewColours_MouseUp()
{
    apply_.PreviewRelease();
}

FileDialogOptions frmConfig::themeFileRequest(bool save) const
{
    FileDialogOptions request;
    request.save = save;
    request.title = save ? QStringLiteral("Save SDr Colour Theme Filename") : QStringLiteral("Load SDr Colour Theme Filename");
    request.directory = programFolder_;
    request.nameFilters = {QStringLiteral("SDR Colour Themes (*.thm)")};
    request.defaultSuffix = QStringLiteral("thm");
    request.confirmOverwrite = save;
    request.fileMustExist = !save;
    return request;
}

ThemeColours frmConfig::swatchTheme() const
{
    ThemeColours colours;
    for (int i = 0; i < SwatchControlNormal; ++i)
        colours[QString::fromLatin1(swatchInfo(i).shape)] = swatchColour(i);
    return colours;
}

void frmConfig::cmdSDRColoursSave_Click()
{
    const QString file = chooseFile(themeFileRequest(true));
    if (!file.isEmpty())
        SaveColourTheme(file, swatchTheme());
}

void frmConfig::cmdSDRColoursLoad_Click()
{
    const QString file = chooseFile(themeFileRequest(false));
    if (file.isEmpty())
        return;
    // A swatch the file does not name, or names with a bad value, keeps its colour.
    ThemeColours colours = swatchTheme();
    LoadColourTheme(file, colours);
    for (int i = 0; i < SwatchControlNormal; ++i)
        setSwatchColour(i, colours.value(QString::fromLatin1(swatchInfo(i).shape)));
}

} // namespace orvik
