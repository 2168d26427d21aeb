#include "config/ui/frmConfig.h"
#include "FakeConfigSystem.h"

#include "bands/ColourTheme.h"
#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "shell/widgets/ControlKinds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct frmConfigFixture : ::testing::Test {
    RecordingMessageService shown;
    ScriptedDialogService dialogs;
    QTemporaryDir dir;
    FakeSystem fake;
    ConfigDialogState state;
    std::unique_ptr<frmConfig> form;

    void SetUp() override
    {
        setMessageService(&shown);
        setDialogService(&dialogs);
    }
    void TearDown() override
    {
        form.reset();
        setDialogService(nullptr);
        setMessageService(nullptr);
    }
    void open()
    {
        frmConfig::Setup setup;
        setup.hooks = fake.hooks();
        setup.state = &state;
        setup.programFolder = dir.path();
        setup.version = "1.2.3";
        form = std::make_unique<frmConfig>(std::move(setup), nullptr);
    }
    template <typename T>
    T* child(const QString& name)
    {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QLineEdit* edit(const QString& name) { return child<QLineEdit>(name); }
    QAbstractButton* button(const QString& name) { return child<QAbstractButton>(name); }
    QComboBox* combo(const QString& name) { return child<QComboBox>(name); }
    void click(const QString& name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    uint32_t swatch(const char* name) { return child<ShapeWidget>(name)->fillColour(); }
};

} // namespace

TEST_F(frmConfigFixture, LoadShowsTheRunningSystemOnNinePages)
{
    fake.ifFrequency = -455000;
    fake.hiSide = false;
    fake.clock = 50000000;
    fake.model = 1;
    fake.capture = 2;
    fake.playback = 9; // past the list
    fake.portNo = 3;
    fake.portAddress = 0x3BC;
    fake.serialWait = 1.0 / 230400;
    fake.nonInverting = false;
    fake.dream.DreamWindowStyle = 2;
    fake.dream.PathToDream = "/opt/dream";
    fake.smooth = 7;
    fake.main.SDRTuningColour = 0xFF;
    fake.analyser.YTextColour = 0xFF7F00;
    open();

    EXPECT_EQ(form->windowTitle(), "ORVIKSDR - Configuration");
    EXPECT_TRUE(state.ConfigOpen);
    auto* tabs = child<QTabWidget>("TabStrip1");
    ASSERT_EQ(tabs->count(), 9);
    const char* captions[] = {"General", "Soundcard", "VFO", "DDS", "Serial I/F ", "Parallel I/F", "DREAM",
                              "Spectrum Display", "Controls"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(tabs->tabText(i), captions[i]);
        EXPECT_EQ(tabs->widget(i)->objectName(), QString("frConfigs_%1").arg(i));
    }
    EXPECT_EQ(tabs->tabToolTip(4), "Configure Serial Interface items");
    EXPECT_TRUE(tabs->tabToolTip(6).isEmpty());

    EXPECT_EQ(combo("cboSDRModel")->currentText(), "ELEKTOR DRM");
    EXPECT_EQ(combo("cboCapDevices")->currentIndex(), 1);
    EXPECT_EQ(combo("cboPlayDevices")->currentIndex(), -1);
    EXPECT_EQ(form->InitialCaptureDevice(), 2);
    EXPECT_EQ(edit("txtIFFrequency")->text(), "0 455 000");
    EXPECT_EQ(edit("txtDDSClkin")->text(), "50 000 000");
    EXPECT_TRUE(button("chkLoLO")->isChecked());
    EXPECT_TRUE(button("optIF_1")->isChecked());
    // Without the device on this system the port in force is still shown and selected.
    EXPECT_EQ(combo("cboComPort")->count(), 1);
    EXPECT_EQ(combo("cboComPort")->currentText(), "COM3 (/dev/ttyS2, not present)");
    EXPECT_FALSE(child<QCheckBox>("chkUseSPL")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>("chkShaftAutoRate")->isEnabled());
    EXPECT_EQ(edit("txtBitPeriod")->text(), "0.000004340");
    EXPECT_EQ(edit("txtPortAddress")->text(), "&H3BC");
    EXPECT_TRUE(button("chkInvertingIF")->isChecked());
    EXPECT_TRUE(button("optDreamWindow_2")->isChecked());
    EXPECT_EQ(edit("txtPathToDream")->text(), "/opt/dream");
    EXPECT_EQ(child<QLabel>("lblSDRDreamArgs")->text(), " -M 0 -I 0 -O 0");
    EXPECT_EQ(edit("txtSpectrumDisplaySmoothingCount")->text(), "7");
    EXPECT_EQ(swatch("shpSDRTuningColour"), 0xFFu);
    EXPECT_EQ(swatch("shpScopeYTextColour"), 0xFF7F00u);
    EXPECT_EQ(form->OpeningColours()[2], 0xFFu);
    EXPECT_EQ(form->OpeningColours()[15], 0xFF7F00u);
    EXPECT_TRUE(child<QLabel>("lblAbout")->text().startsWith("ORVIKSDR Ver 1.2.3"));
    EXPECT_EQ(child<QTimer>("Timer1")->interval(), 40);
    EXPECT_TRUE(child<QTimer>("Timer1")->isActive());

    QTest::mouseClick(button("chkEnableEncoder"), Qt::LeftButton);
    EXPECT_TRUE(child<QCheckBox>("chkShaftAutoRate")->isEnabled());
}

TEST_F(frmConfigFixture, TheParallelInterfaceStillFillsTheComListAndApplyKeepsThePort)
{
    fake.interface = 1;
    fake.portNo = 2;
    open();
    EXPECT_TRUE(button("optIF_0")->isChecked());
    EXPECT_TRUE(combo("cboComPort")->isEnabled());
    EXPECT_EQ(combo("cboComPort")->currentText(), "COM2 (/dev/ttyS1, not present)");
    click("cmdApply");
    EXPECT_FALSE(fake.log.contains("close"));
    EXPECT_EQ(fake.portNo, 2);
    EXPECT_TRUE(fake.portOpen);
    EXPECT_TRUE(shown.shown().empty());
}

TEST_F(frmConfigFixture, ThePortListOffersTheSystemsSerialDevicesAndApplyStoresTheChoice)
{
    const QString stable = "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0";
    fake.serialDevices = {{"/dev/ttyS0", 1, {}, true},
                          {"/dev/ttyS10", 11, {}, true},
                          {"/dev/ttyUSB0", 0, {}, true},
                          {stable, 0, "ttyUSB0", true}};
    open();

    QStringList items;
    for (int i = 0; i < combo("cboComPort")->count(); ++i)
        items << combo("cboComPort")->itemText(i);
    EXPECT_EQ(items, QStringList({"COM1 (/dev/ttyS0)", "COM11 (/dev/ttyS10)", "/dev/ttyUSB0", stable + " (ttyUSB0)"}));
    EXPECT_EQ(combo("cboComPort")->currentIndex(), 0);

    combo("cboComPort")->setCurrentIndex(3);
    click("cmdApply");
    EXPECT_EQ(fake.devicePath, stable);
    EXPECT_EQ(fake.portNo, 1) << "a device path keeps the COM number the file had";
    EXPECT_EQ(fake.log.filter(QRegularExpression("close|port|device|open")),
              QStringList({"close", "port 1", "device " + stable, "open 0"}));

    // The next opening shows the device in force, and a COM port chosen again drops it.
    open();
    EXPECT_EQ(combo("cboComPort")->currentIndex(), 3);
    combo("cboComPort")->setCurrentIndex(1);
    click("cmdApply");
    EXPECT_EQ(fake.portNo, 11);
    EXPECT_EQ(fake.devicePath, "");
}

TEST_F(frmConfigFixture, ApplyLeavesAStoredDevicePathAloneUntilTheOperatorChoosesAnotherPort)
{
    // The device in force is a ttyS node, so the list shows it as its COM entry.
    fake.portNo = 1;
    fake.devicePath = "/dev/ttyS77";
    fake.serialDevices = {{"/dev/ttyS0", 1, {}, true}, {"/dev/ttyS77", 78, {}, true}};
    open();
    EXPECT_EQ(combo("cboComPort")->currentIndex(), 1);
    click("cmdApply");
    click("cmdApply");
    EXPECT_EQ(fake.portNo, 1);
    EXPECT_EQ(fake.devicePath, "/dev/ttyS77");
    EXPECT_TRUE(fake.log.filter(QRegularExpression("close|port|device|open")).isEmpty())
        << fake.log.join(", ").toStdString();

    // Away and back within one opening: the stored choice returns as it was.
    combo("cboComPort")->setCurrentIndex(0);
    click("cmdApply");
    EXPECT_EQ(fake.portNo, 1);
    EXPECT_EQ(fake.devicePath, "");
    combo("cboComPort")->setCurrentIndex(1);
    fake.log.clear();
    click("cmdApply");
    EXPECT_EQ(fake.portNo, 1);
    EXPECT_EQ(fake.devicePath, "/dev/ttyS77");
    EXPECT_EQ(fake.log.filter(QRegularExpression("close|port|device|open")),
              QStringList({"close", "port 1", "device /dev/ttyS77", "open 0"}));

    // Chosen afresh in a new opening, the node is taken by its COM number.
    fake.devicePath.clear();
    open();
    combo("cboComPort")->setCurrentIndex(1);
    click("cmdApply");
    EXPECT_EQ(fake.portNo, 78);
    EXPECT_EQ(fake.devicePath, "");
}

TEST_F(frmConfigFixture, TheParallelPageNamesTheDeviceTheAddressReaches)
{
    open();
    auto* device = child<QLabel>("lblParallelDevice");
    EXPECT_EQ(device->text(), "/dev/parport0");
    edit("txtPortAddress")->setText("&H278");
    EXPECT_EQ(device->text(), "/dev/parport1 (not present)");
    edit("txtPortAddress")->setText("&HZZ");
    EXPECT_EQ(device->text(), "");
    click("cmdParallelPortDefaults");
    EXPECT_EQ(device->text(), "/dev/parport0");
}

TEST_F(frmConfigFixture, ControlsReachTheSystemThroughApply)
{
    open();
    combo("cboSDRModel")->setCurrentIndex(1);
    edit("txtIFFrequency")->setText("10 700 000");
    QTest::mouseClick(button("chkLoLO"), Qt::LeftButton);
    edit("txtDDSClkin")->setText("80 000 000");
    combo("cboPlayDevices")->setCurrentIndex(2);
    QTest::mouseClick(button("optIF_0"), Qt::LeftButton);
    edit("txtPortAddress")->setText("&H278");
    QTest::mouseClick(button("chkDreamRunOnDRM"), Qt::LeftButton);
    edit("txtDreamProgArgs")->setText("-f %CurFreq%");
    QTest::mouseClick(button("optDreamWindow_0"), Qt::LeftButton);
    edit("txtSpectrumDisplaySmoothingCount")->setText("12");
    QTest::mouseClick(button("chkKBDSupport"), Qt::LeftButton);
    click("cmdApply");

    EXPECT_EQ(fake.model, 1);
    EXPECT_EQ(fake.ifFrequency, 10700000);
    EXPECT_FALSE(fake.hiSide);
    EXPECT_EQ(fake.clock, 80000000.0);
    EXPECT_EQ(fake.playback, 3);
    EXPECT_EQ(fake.interface, 1);
    EXPECT_EQ(fake.portAddress, 0x278);
    EXPECT_TRUE(fake.dream.RunDreamOnDRM);
    EXPECT_EQ(fake.dream.DreamProgArgs, "-f %CurFreq%");
    EXPECT_EQ(fake.dream.DreamWindowStyle, 0);
    EXPECT_EQ(fake.smooth, 12);
    EXPECT_EQ(fake.adjusterDefault19, 12.0f);
    EXPECT_TRUE(fake.flags.KBDSupport);
    EXPECT_TRUE(state.ConfigOpen); // Apply leaves the dialog open
}

TEST_F(frmConfigFixture, DefaultButtonsBrowseAndCalibrate)
{
    fake.dream.PathToDream = "/keep";
    fake.calibrations = {std::nullopt, 49999123.0};
    open();
    click("cmdCalDDS");
    EXPECT_EQ(edit("txtDDSClkin")->text(), "50 000 000");
    click("cmdCalDDS");
    EXPECT_EQ(edit("txtDDSClkin")->text(), "49 999 123");

    edit("txtBitPeriod")->setText("1");
    click("cmdBitPeriodDefault");
    EXPECT_EQ(edit("txtBitPeriod")->text(), "0.000004340");
    edit("txtPortAddress")->setText("&H3BC");
    edit("txtParallelPortBitPeriod")->setText("2");
    click("cmdParallelPortDefaults");
    EXPECT_EQ(edit("txtPortAddress")->text(), "&H378");
    EXPECT_EQ(edit("txtParallelPortBitPeriod")->text(), "0.000004340");

    QTest::mouseClick(button("chkCloseSoundCardOnDRM"), Qt::LeftButton);
    click("cmdDreamDefault");
    EXPECT_TRUE(button("chkMuteAFOnDRM")->isChecked());
    EXPECT_FALSE(button("chkCloseSoundCardOnDRM")->isChecked());
    EXPECT_TRUE(button("chkDreamCloseOnExit")->isChecked());
    EXPECT_TRUE(button("chkDreamCloseOnModeChange")->isChecked());
    EXPECT_TRUE(button("optDreamWindow_1")->isChecked());
    EXPECT_FALSE(button("chkDreamRunOnDRM")->isChecked());
    EXPECT_EQ(edit("txtPathToDream")->text(), "/keep");

    // Cancelled, not a program, then a program.
    const QString notProgram = dir.filePath("notes.txt");
    QFile(notProgram).open(QIODevice::WriteOnly);
    const QString program = dir.filePath("dream");
    {
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    dialogs.queueCancel();
    dialogs.queueFile(notProgram);
    dialogs.queueFile(program);
    click("cmdFindDREAM");
    EXPECT_EQ(edit("txtPathToDream")->text(), "/keep");
    click("cmdFindDREAM");
    EXPECT_EQ(edit("txtPathToDream")->text(), "/keep");
    ASSERT_EQ(shown.shown().size(), 1u);
    click("cmdFindDREAM");
    EXPECT_EQ(edit("txtPathToDream")->text(), program);
    ASSERT_EQ(dialogs.fileRequests().size(), 3u);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Select DREAM executable");
    EXPECT_TRUE(dialogs.fileRequests()[0].fileMustExist);
}

TEST_F(frmConfigFixture, OkStaysOpenAfterAFailedCheckAndTheFlagsFollowHowTheDialogWasLeft)
{
    open();
    edit("txtIFFrequency")->setText("400 000");
    edit("txtPathToDream")->setText("/typed/but/not/applied");
    click("cmdOK");
    EXPECT_TRUE(state.ConfigOpen);
    EXPECT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(edit("txtPathToDream")->text(), "/typed/but/not/applied");

    edit("txtIFFrequency")->setText("455 000");
    click("cmdOK");
    EXPECT_FALSE(state.ConfigOpen);
    EXPECT_FALSE(state.ConfigCancelled);
    EXPECT_FALSE(form->Cancel);
    EXPECT_EQ(form->result(), QDialog::Accepted);

    open();
    click("cmdCancel");
    EXPECT_FALSE(state.ConfigOpen);
    EXPECT_TRUE(state.ConfigCancelled);
    EXPECT_TRUE(form->Cancel);

    // The close box leaves ConfigCancelled as the last Cancel left it.
    open();
    form->show();
    EXPECT_TRUE(state.ConfigOpen);
    form->close();
    EXPECT_FALSE(state.ConfigOpen);
    EXPECT_TRUE(state.ConfigCancelled);
}

TEST_F(frmConfigFixture, SwatchesPickDefaultAndPreview)
{
    fake.main.SDRLabelColour = 0x202020;
    open();
    dialogs.queueColour(-1);
    dialogs.queueColour(0x00FF00);
    click("cmdSDrLabelColour");
    EXPECT_EQ(swatch("shpSDRLabelColour"), 0x202020u);
    click("cmdSDrLabelColour");
    EXPECT_EQ(swatch("shpSDRLabelColour"), 0x00FF00u);
    EXPECT_EQ(dialogs.colourRequests(), (std::vector<uint32_t>{0x202020, 0x202020}));

    // Preview while held, back when released.
    QTest::mousePress(button("cmdSDRPreviewColours"), Qt::LeftButton);
    EXPECT_EQ(fake.main.SDRLabelColour, 0x00FF00u);
    QTest::mouseRelease(button("cmdSDRPreviewColours"), Qt::LeftButton);
    EXPECT_EQ(fake.main.SDRLabelColour, 0x202020u);

    click("cmdScopeDefaults");
    EXPECT_EQ(swatch("shpControlNormalColour"), 0xC0C000u);
    EXPECT_EQ(swatch("shpControlFocusedColour"), 0xFFu);
    EXPECT_EQ(swatch("shpSDRLabelColour"), 0x00FF00u);

    QTest::mouseClick(button("chkScollLabelHiliteBorder"), Qt::LeftButton);
    click("cmdSDRControlDefaults");
    EXPECT_FALSE(button("chkScollLabelHiliteBorder")->isChecked());
    EXPECT_TRUE(button("chkShowClock")->isChecked());
    click("cmdApply");
    EXPECT_EQ(fake.main.SDRBackgroundColour, 0u);
    EXPECT_EQ(fake.main.SDRLabelColour, 0xBFBF00u);
    EXPECT_EQ(fake.main.SDRFrameNormalColour, 0xBFBF00u);
    EXPECT_EQ(fake.main.ScrollableLabelNormalColour, 0xBFBF00u);
    EXPECT_EQ(fake.main.SDRFrameFocusColour, 0xFFFF00u);
    EXPECT_EQ(fake.main.SDRTuningColour, 0xFFu);
    EXPECT_EQ(fake.main.ScrollableLabelFocusColour, 0xFFu);
    EXPECT_EQ(fake.analyser.NotchFilterColour, 0xC0FF60u);
    EXPECT_EQ(fake.analyser.ControlColourNormal, 0xBFBF00u); // from the scroll labels, not the control swatches
}

TEST_F(frmConfigFixture, AThemeSavedAndLoadedRestoresEverySwatch)
{
    open();
    uint32_t colour = 0x010101;
    for (int i = 0; i < SwatchCount; ++i, colour += 0x0A0A0A)
        form->setSwatchColour(i, colour);
    const std::vector<uint32_t> saved = [&] {
        std::vector<uint32_t> v;
        for (int i = 0; i < SwatchCount; ++i)
            v.push_back(form->swatchColour(i));
        return v;
    }();
    const QString file = dir.filePath("night.thm");
    dialogs.queueCancel();
    dialogs.queueFile(file);
    click("cmdSDRColoursSave"); // cancelled: nothing written
    EXPECT_FALSE(QFile::exists(file));
    click("cmdSDRColoursSave");
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(dialogs.fileRequests()[1].title, "Save SDr Colour Theme Filename");
    EXPECT_EQ(dialogs.fileRequests()[1].directory, dir.path());
    EXPECT_EQ(dialogs.fileRequests()[1].defaultSuffix, "thm");

    for (int i = 0; i < SwatchCount; ++i)
        form->setSwatchColour(i, 0x777777);
    dialogs.queueFile(file);
    click("cmdSDRColoursLoad");
    EXPECT_EQ(dialogs.fileRequests()[2].title, "Load SDr Colour Theme Filename");
    EXPECT_TRUE(dialogs.fileRequests()[2].fileMustExist);
    for (int i = 0; i < SwatchControlNormal; ++i)
        EXPECT_EQ(form->swatchColour(i), saved[static_cast<size_t>(i)]) << swatchInfo(i).shape;
    EXPECT_EQ(form->swatchColour(SwatchControlNormal), 0x777777u);
    EXPECT_EQ(form->swatchColour(SwatchControlFocused), 0x777777u);
    EXPECT_TRUE(fake.log.isEmpty()); // loading only changes the swatches
}
