#include "app/ConfigWiring.h"
#include "app/frmMain.h"
#include "tests/app/WindowSandbox.h"
#include "platform/DialogService.h"
#include "config/ui/frmConfig.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"
#include "receiver/sound/ORVIKDX8.h"
#include "shell/widgets/ControlFactory.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "tuning/SynthDriver.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/TuningControls.h"

#include "PortRecord.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <utility>
#include <vector>

using namespace orvik;

namespace {

// The running program with a sound card of several devices, on the parallel port
// (which needs no device to start) and the Elektor board, whose clock is stored.
struct ConfigWiringFixture : orvik::testing::WindowSandbox {
    ConfigWiringFixture() : WindowSandbox("[MainBand]\r\nName=Test\r\n", {"Out A", "Out B"}, {"In A", "In B", "In C"}) {}

    ScriptedDialogService dialogs;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowSandbox::SetUp());
        store->write("frmMain", "SDRModelNo", "1");
        store->write("VFO1.ElektorDRM", "DDSInterfaceType", "1");
        setDialogService(&dialogs);
    }

    void stopWindow()
    {
        window->Form_Unload();
        window.reset();
        store->sync();
    }

    void TearDown() override
    {
        WindowSandbox::TearDown();
        setDialogService(nullptr);
    }

    frmConfig* openDialog()
    {
        auto* button = window->findChild<QAbstractButton*>("cmdConfig");
        EXPECT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        frmConfig* form = window->config()->dialog();
        EXPECT_NE(form, nullptr);
        return form;
    }
    template <typename T>
    T* in(frmConfig* form, const char* name)
    {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(frmConfig* form, const char* name)
    {
        QTest::mouseClick(in<QAbstractButton>(form, name), Qt::LeftButton);
    }
    clsVFO& vfo() { return *window->rig().VFO; }
    SynthDriver& chip() { return *window->rig().VFO->OscType(); }
};

} // namespace

TEST_F(ConfigWiringFixture, TheConfigButtonOpensTheDialogFilledFromTheRunningProgram)
{
    startWindow();
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(window->config()->state.ConfigOpen);
    EXPECT_FALSE(window->findChild<QAbstractButton*>("cmdConfig")->isEnabled());
    EXPECT_EQ(in<QComboBox>(form, "cboSDRModel")->currentText(), "ELEKTOR DRM");
    EXPECT_EQ(in<QLineEdit>(form, "txtIFFrequency")->text(), "0 455 000");
    EXPECT_EQ(in<QLineEdit>(form, "txtDDSClkin")->text(), "50 000 000");
    EXPECT_TRUE(in<QAbstractButton>(form, "optIF_0")->isChecked());
    EXPECT_EQ(in<QComboBox>(form, "cboCapDevices")->count(), 3);
    EXPECT_EQ(in<QComboBox>(form, "cboCapDevices")->currentIndex(), 0);
    EXPECT_EQ(in<QLineEdit>(form, "txtPortAddress")->text(), "&H378");
    EXPECT_EQ(in<QLabel>(form, "lblSDRDreamArgs")->text(), " -M 0 -I 0 -O 0");
    EXPECT_EQ(form->OpeningColours()[2], window->colours().SDRTuningColour);

    // Cancel closes without a refresh and gives the button back.
    in<QLineEdit>(form, "txtIFFrequency")->setText("10 700 000");
    click(form, "cmdCancel");
    EXPECT_EQ(window->config()->dialog(), nullptr);
    EXPECT_TRUE(window->config()->state.ConfigCancelled);
    EXPECT_TRUE(window->findChild<QAbstractButton*>("cmdConfig")->isEnabled());
    EXPECT_EQ(vfo().IFFrequency(), 455000);
    EXPECT_EQ(window->findChild<QLabel*>("lblIFFreq")->text(), "0 455 000");
}

TEST_F(ConfigWiringFixture, ApplyReachesTheVfoTheChipTheLoSideAndTheDecoder)
{
    startWindow();
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    in<QLineEdit>(form, "txtIFFrequency")->setText("10 700 000");
    in<QLineEdit>(form, "txtDDSClkin")->setText("60 000 000");
    QTest::mouseClick(in<QAbstractButton>(form, "chkLoLO"), Qt::LeftButton);
    QTest::mouseClick(in<QAbstractButton>(form, "chkDreamRunOnDRM"), Qt::LeftButton);
    in<QLineEdit>(form, "txtDreamProgArgs")->setText("-f %CurFreq%");
    in<QLineEdit>(form, "txtSpectrumDisplaySmoothingCount")->setText("12");
    click(form, "cmdApply");
    for (const auto& m : shown.shown())
        EXPECT_FALSE(m.title.endsWith("CLKIN - ERROR")) << m.text.toStdString();

    EXPECT_EQ(vfo().IFFrequency(), 10700000);
    EXPECT_FALSE(vfo().HiSideLO());
    EXPECT_FALSE(window->HiSideLO);
    EXPECT_FALSE(window->vars().HiSideLO);
    EXPECT_TRUE(window->findChild<QAbstractButton*>("chkTuneLo")->isChecked()); // ticked: LO below
    EXPECT_EQ(chip().ClkIn(), 60000000.0);
    // The chip was sent the word the new clock and IF give for the tuned frequency.
    const int32_t osc = vfo().TunedFrequency() - 10 * 10700000;
    EXPECT_EQ(vfo().OscOut(), std::abs(osc));
    EXPECT_EQ(chip().CurrentTuningWord(), chip().TuningWordFor(vfo().OscOut()));
    EXPECT_TRUE(window->dream()->options.RunDreamOnDRM);
    EXPECT_EQ(window->dream()->options.DreamProgArgs, "-f %CurFreq%");
    EXPECT_EQ(window->ctlArray()[19].Default, 12.0f);

    // OK closes and refreshes the main window's labels.
    click(form, "cmdOK");
    EXPECT_FALSE(window->config()->state.ConfigOpen);
    EXPECT_EQ(window->findChild<QLabel*>("lblIFFreq")->text(), "10 700 000");
    EXPECT_EQ(window->findChild<QLabel*>("lblCLKINFreq")->text(), "60 000 000");

    // The clock, the IF and the side are stored; after a restart the clock and the IF are
    // in force, and the side is the one the recalled sub-band holds (this band plan's
    // sub-band has the LO above the signal).
    stopWindow();
    EXPECT_EQ(store->read("VFO1.ElektorDRM", "HiSideLo", "?"), "False");
    startWindow();
    EXPECT_EQ(vfo().IFFrequency(), 10700000);
    EXPECT_EQ(chip().ClkIn(), 60000000.0);
    EXPECT_TRUE(vfo().HiSideLO());
    EXPECT_FALSE(window->findChild<QAbstractButton*>("chkTuneLo")->isChecked());
    EXPECT_TRUE(window->dream()->options.RunDreamOnDRM);
}

TEST_F(ConfigWiringFixture, ADeviceChangeRestartsTheRunningSoundCardOnce)
{
    startWindow();
    window->findChild<QAbstractButton*>("optPwr_0")->setChecked(true);
    ASSERT_TRUE(window->soundCard()->InAction());
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    in<QComboBox>(form, "cboCapDevices")->setCurrentIndex(2);
    const int startsBefore = backend.startCaptureCalls();
    click(form, "cmdApply");
    EXPECT_EQ(backend.openedCaptureDevice(), 3);
    EXPECT_EQ(backend.openedPlaybackDevice(), 1);
    EXPECT_TRUE(window->soundCard()->InAction());
    EXPECT_EQ(backend.startCaptureCalls(), startsBefore + 1);
    EXPECT_EQ(form->InitialCaptureDevice(), 3);
    click(form, "cmdApply");
    EXPECT_EQ(backend.startCaptureCalls(), startsBefore + 1);
    click(form, "cmdOK");
    EXPECT_EQ(window->soundCard()->CurrentCaptureDevice(), 3);
}

TEST_F(ConfigWiringFixture, ColoursReachTheMainWindowsWidgets)
{
    startWindow();
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    auto* label = window->findChild<QWidget*>("lblIFFreq");
    ASSERT_NE(label, nullptr);
    const uint32_t before = textColour(label);

    // Preview shows the picked label colour only while held.
    dialogs.queueColour(0x00FF00);
    click(form, "cmdSDrLabelColour");
    QTest::mousePress(in<QAbstractButton>(form, "cmdSDRPreviewColours"), Qt::LeftButton);
    EXPECT_EQ(textColour(label), 0x00FF00u);
    QTest::mouseRelease(in<QAbstractButton>(form, "cmdSDRPreviewColours"), Qt::LeftButton);
    EXPECT_EQ(textColour(label), before);

    click(form, "cmdApply");
    EXPECT_EQ(textColour(label), 0x00FF00u);
    EXPECT_EQ(window->colours().SDRLabelColour, 0x00FF00u);
    // A preview after the Apply returns to the applied colours.
    dialogs.queueColour(0x0000FF);
    click(form, "cmdSDrLabelColour");
    QTest::mousePress(in<QAbstractButton>(form, "cmdSDRPreviewColours"), Qt::LeftButton);
    QTest::mouseRelease(in<QAbstractButton>(form, "cmdSDRPreviewColours"), Qt::LeftButton);
    EXPECT_EQ(textColour(label), 0x00FF00u);
    click(form, "cmdCancel");
    EXPECT_EQ(window->colours().SDRLabelColour, 0x00FF00u);
}

TEST_F(ConfigWiringFixture, ShutDownRemovesAnOpenDialogBeforeReleasingWhatItReaches)
{
    startWindow();
    QPointer<frmConfig> form = openDialog();
    ASSERT_FALSE(form.isNull());
    window->Form_Unload();
    EXPECT_TRUE(form.isNull());
    EXPECT_FALSE(window->config()->state.ConfigOpen);
}

namespace {

// The record's lines from the given one on.
QStringList recordLines(const QString& path, qsizetype from = 0)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts).mid(from);
}

// The AD9951 frequency words (instruction 0x04) among parallel writes.
std::vector<uint32_t> parallelAd9951Words(const QStringList& lines, bool nonInverting)
{
    std::vector<uint8_t> writes;
    for (const QString& line : lines) {
        const QStringList parts = line.split(' ');
        if (parts.size() == 3 && parts[0] == "parallel")
            writes.push_back(static_cast<uint8_t>(parts[2].toUInt(nullptr, 16)));
    }
    std::vector<uint32_t> words;
    for (const auto& frame : orvik::testing::decodeParallel(writes, nonInverting).frames) {
        const auto b = orvik::testing::bytesOf(frame);
        if (b.size() == 5 && b[0] == 0x04)
            words.push_back((uint32_t(b[1]) << 24) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 8) | b[4]);
    }
    return words;
}

} // namespace

TEST_F(ConfigWiringFixture, TheChipFollowsTheInterfaceFromSerialToParallelAndBack)
{
    const QString record = dir.filePath("synth.txt");
    qputenv("ORVIKSDR_SYNTH_PORT", ("record:" + record).toUtf8());
    store->write("frmMain", "SDRModelNo", "0");
    store->write("frmMain", "VFO1.IFType", "0"); // the recorded serial port opens
    startWindow();
    qunsetenv("ORVIKSDR_SYNTH_PORT");
    const uint32_t word = orvik::testing::ad9951WordFor(vfo().TunedFrequency());
    ASSERT_FALSE(orvik::testing::ad9951WordsInRecord(record).empty());

    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    qsizetype mark = recordLines(record).size();
    QTest::mouseClick(in<QAbstractButton>(form, "optIF_0"), Qt::LeftButton);
    click(form, "cmdApply");
    QStringList after = recordLines(record, mark);
    EXPECT_TRUE(after.contains("serial close"));
    const bool nonInverting = window->rig().DDSParallelIF->NonInverting();
    EXPECT_EQ(parallelAd9951Words(after, nonInverting), std::vector<uint32_t>{word});
    EXPECT_EQ(vfo().DDSInterfaceType(), 1);

    // Back to the serial port in the same opening: it opens again and carries the word.
    mark = recordLines(record).size();
    QTest::mouseClick(in<QAbstractButton>(form, "optIF_1"), Qt::LeftButton);
    click(form, "cmdApply");
    after = recordLines(record, mark);
    // The clock step still sends through the parallel port; nothing after the re-wiring does.
    const auto opened = std::find_if(after.begin(), after.end(), [](const QString& l) { return l.startsWith("serial open"); });
    ASSERT_NE(opened, after.end());
    EXPECT_TRUE(std::none_of(opened, after.end(), [](const QString& l) { return l.startsWith("parallel"); }));
    const QString rest = dir.filePath("after.txt");
    {
        QFile f(rest);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(after.join('\n').toUtf8());
    }
    const auto serialWords = orvik::testing::ad9951WordsInRecord(rest);
    ASSERT_FALSE(serialWords.empty());
    EXPECT_EQ(serialWords.back(), word);
    EXPECT_EQ(vfo().DDSInterfaceType(), 0);
    EXPECT_EQ(store->read("frmMain", "VFO1.IFType", ""), "0");
}

// A stored device the listing leaves out (a pseudo-terminal here) is offered as it is: only
// a path that is gone is "not present".
TEST_F(ConfigWiringFixture, TheSerialListSaysNotPresentOnlyOfAPathThatIsGone)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString pty = QString::fromLocal8Bit(::ptsname(master));
    for (const QString& device : {pty, dir.filePath("gone")}) {
        store->write("DDSSerialIF", "DevicePath", device);
        startWindow();
        EXPECT_EQ(in<QComboBox>(openDialog(), "cboComPort")->currentText().toStdString(),
                  (device == pty ? pty : device + " (not present)").toStdString());
        stopWindow();
    }
    ::close(master);
}

// "Par" chosen where there is no parallel port: each Apply tells it once, on either board,
// and the VESKA's periodic refresh after it does not tell it again. "Ser" chosen again
// tells the serial port's own fault once and the parallel port's no more.
TEST_F(ConfigWiringFixture, AMissingParallelPortIsToldOncePerApply)
{
    const auto count = [this](const QString& start) {
        return std::count_if(shown.shown().begin(), shown.shown().end(),
                             [&](const auto& m) { return m.text.contains(start); });
    };
    for (const char* model : {"0", "1"}) {
        store->write("frmMain", "SDRModelNo", model);
        store->write("frmMain", "VFO1.IFType", "0");
        store->write(model == QString("0") ? "VFO1.VESKA" : "VFO1.ElektorDRM", "DDSInterfaceType", "0");
        store->write("DDSSerialIF", "DevicePath", dir.filePath("no-serial-port"));
        store->write("DDSParallelIF", "DevicePath", dir.filePath("no-parallel-port"));
        startWindow();
        shown.clear();
        frmConfig* form = openDialog();
        QTest::mouseClick(in<QAbstractButton>(form, "optIF_0"), Qt::LeftButton);
        for (int apply = 1; apply <= 2; ++apply) {
            click(form, "cmdApply");
            window->tuningControls()->tmrVFOUpdate_Timer();
            EXPECT_EQ(count("Unable to open the parallel port"), apply) << "model " << model;
        }
        QTest::mouseClick(in<QAbstractButton>(form, "optIF_1"), Qt::LeftButton);
        click(form, "cmdOK");
        EXPECT_EQ(count("Unable to open the parallel port"), 2) << "model " << model;
        EXPECT_EQ(count("Unable to Open " + dir.filePath("no-serial-port")), 1) << "model " << model;
        stopWindow();
    }
}

TEST_F(ConfigWiringFixture, TheDisplaySettingsReachTheAnalyser)
{
    store->write("SpectrumAnalyser", "HideFreqToolTip", "True");
    startWindow();
    clsSpectrumAnalyser& a = *window->spectrumAnalyser();
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    // The dialog opens with the analyser's own settings.
    EXPECT_TRUE(in<QAbstractButton>(form, "chkSpectrumDisplayHideToolTip")->isChecked());

    dialogs.queueColour(0x0000FF);
    click(form, "cmdScopeY1Colour");
    in<QAbstractButton>(form, "chkSpectrumDisplayHideToolTip")->setChecked(false);
    in<QLineEdit>(form, "txtSpectrumDisplaySmoothingCount")->setText("12");
    a.SetChannelBrightness(0, 50); // Apply shows the new colour at full brightness
    click(form, "cmdApply");
    EXPECT_EQ(a.Y1BaseColour, 0x0000FFu);
    EXPECT_EQ(a.Y1Colour, 0x0000FFu);
    EXPECT_FALSE(a.HideFreqToolTip);
    EXPECT_EQ(a.DefaultSmoothCount, 12);
    EXPECT_EQ(window->ctlArray()[19].Default, 12.0f);
    click(form, "cmdCancel");
}

TEST_F(ConfigWiringFixture, TheKnobsSwitchesReachTheTuningNowAndAfterARestart)
{
    startWindow();
    ASSERT_FALSE(window->tuningState().ShaftAutoRate);
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    if (!in<QAbstractButton>(form, "chkEnableEncoder")->isChecked())
        QTest::mouseClick(in<QAbstractButton>(form, "chkEnableEncoder"), Qt::LeftButton);
    QTest::mouseClick(in<QAbstractButton>(form, "chkShaftAutoRate"), Qt::LeftButton);
    click(form, "cmdOK");
    EXPECT_TRUE(window->tuningState().ShaftAutoRate); // the knob steps by its speed from now on
    EXPECT_TRUE(window->tuningState().EnableShaftEncoder);
    stopWindow();
    startWindow();
    EXPECT_TRUE(window->tuningState().ShaftAutoRate);
}

TEST_F(ConfigWiringFixture, ApplyShowsTheValuesOnTheMainWindowAndLeavesTheDialogsColours)
{
    startWindow();
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    // The dialog's own controls as it opened: text fields, lists, frames and captions.
    std::vector<std::pair<QPointer<QWidget>, QPalette>> opened;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            opened.emplace_back(w, w->palette());
    ASSERT_GT(opened.size(), 50u);

    in<QLineEdit>(form, "txtIFFrequency")->setText("10 700 000");
    in<QLineEdit>(form, "txtDDSClkin")->setText("60 000 000");
    click(form, "cmdApply");
    ASSERT_EQ(window->config()->dialog(), form) << "Apply leaves the dialog open";
    EXPECT_EQ(window->findChild<QLabel*>("lblIFFreq")->text().toStdString(), "10 700 000");
    EXPECT_EQ(window->findChild<QLabel*>("lblCLKINFreq")->text().toStdString(), "60 000 000");
    // The main window's recolouring stays on the main window: the still open dialog reads
    // as before (its fields had turned into black boxes).
    for (const auto& [w, palette] : opened) {
        ASSERT_FALSE(w.isNull());
        EXPECT_TRUE(w->palette() == palette) << w->objectName().toStdString();
    }
    // A pointer move over the main window after the Apply darkens only its own frames.
    QTest::mouseMove(window->windowHandle(), QPoint(5, 5));
    for (const auto& [w, palette] : opened)
        EXPECT_TRUE(w->palette() == palette) << w->objectName().toStdString();
    click(form, "cmdCancel");
}

TEST_F(ConfigWiringFixture, AClockAppliedToTheVeskaBoardIsTheOneItStartsWith)
{
    store->write("frmMain", "SDRModelNo", "0");
    store->write("VFO1.VESKA", "DDSInterfaceType", "1");
    startWindow();
    ASSERT_EQ(chip().ClkIn(), 360096000.0); // eight times the 45 MHz IF and 12 kHz
    frmConfig* form = openDialog();
    ASSERT_NE(form, nullptr);
    in<QLineEdit>(form, "txtIFFrequency")->setText("10 700 000");
    in<QLineEdit>(form, "txtDDSClkin")->setText("60 000 000");
    click(form, "cmdOK");
    EXPECT_EQ(chip().ClkIn(), 60000000.0);

    stopWindow();
    startWindow();
    EXPECT_EQ(vfo().IFFrequency(), 10700000);
    EXPECT_EQ(chip().ClkIn(), 60000000.0) << "not eight times the IF and 12 kHz (85 696 000)";
    EXPECT_EQ(window->findChild<QLabel*>("lblCLKINFreq")->text().toStdString(), "60 000 000");
}
