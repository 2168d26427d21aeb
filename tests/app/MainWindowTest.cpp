#include "PortRecord.h"

#include "app/MainWindowRecorder.h"
#include "app/frmMain.h"
#include "tests/app/WindowSandbox.h"
#include "dsp/DspReport.h"
#include "platform/EventPump.h"
#include "platform/Log.h"
#include "platform/MessageService.h"
#include "platform/ModemLineWatcher.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"
#include "receiver/ReceiverCore.h"
#include "receiver/sound/ORVIKDX8.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Twips.h"
#include "tuning/clsVFO.h"
#include "shell/ui/ColourScheme.h"
#include "tuning/ui/TuningControls.h"
#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeControls.h"
#include "spectrum/ui/ScopeImagePage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QDial>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace orvik;

namespace {

struct MainWindowFixture : orvik::testing::WindowSandbox {
    QAbstractButton* power(int i) { return window->findChild<QAbstractButton*>(QString("optPwr_%1").arg(i)); }
    QTimer* timer(const char* name) { return window->findChild<QTimer*>(name); }

    // Arms the statistics timer as a processed block does and lets it run once: its
    // handler switches it off.
    void runStatisticsTimer()
    {
        QTimer* stats = timer("tmrPerfStats");
        stats->start(0);
        ASSERT_TRUE(QTest::qWaitFor([stats] { return !stats->isActive(); }, 30000)) << "the statistics never ran";
    }
};

} // namespace

TEST_F(MainWindowFixture, StartUpLeavesTheReceiverOffWithItsTimersRunning)
{
    startWindow();
    EXPECT_FALSE(window->powerOn());
    EXPECT_FALSE(window->InFormLoad);
    EXPECT_FALSE(window->InFormInitialize);
    const struct {
        const char* name;
        int interval;
    } running[] = {{"tmrTune", 50},  {"tmrVFOUpdate", 1000}, {"tmrClock", 500},
                   {"tmrSubBands", 300}, {"tmrSpectrumDisplay", 100}};
    for (const auto& t : running) {
        ASSERT_NE(timer(t.name), nullptr) << t.name;
        EXPECT_TRUE(timer(t.name)->isActive()) << t.name;
        EXPECT_EQ(timer(t.name)->interval(), t.interval) << t.name;
    }
    // The knob's timer has its interval but waits for the knob.
    EXPECT_EQ(timer("tmrShaft")->interval(), 30);
    EXPECT_FALSE(timer("tmrShaft")->isActive());
    EXPECT_FALSE(timer("tmrPerfStats")->isActive());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(power(i)->isEnabled()) << i;

    // Controls by their design names, filled by start-up.
    auto* steps = window->findChild<QComboBox*>("cboTuningSteps");
    ASSERT_NE(steps, nullptr);
    EXPECT_EQ(steps->count(), 17);
    EXPECT_EQ(steps->itemText(3), "2.5 KHz");
    EXPECT_EQ(steps->currentIndex(), 7); // the VFO's step of 100 Hz
    auto* bands = window->findChild<QComboBox*>("cboBandSelect");
    ASSERT_NE(bands, nullptr);
    EXPECT_EQ(bands->itemText(0), "Test");
    EXPECT_EQ(window->findChild<QAbstractButton*>("optFilter_2")->text(), "2.0 kHz");
    EXPECT_EQ(window->findChild<QAbstractButton*>("optSubBand_17")->text(), "S17");
    EXPECT_EQ(window->findChild<QAbstractButton*>("optPreset_11")->text(), "P12"); // labelled by the band
    EXPECT_EQ(window->findChild<QLabel*>("lblCLKINFreq")->text(), "360 096 000");
    EXPECT_EQ(window->findChild<QLabel*>("lblIFFreq")->text(), "45 000 000");
    // Start-up sends the first frequency: 10 MHz above the 45 MHz IF.
    EXPECT_EQ(window->findChild<QLabel*>("lblStatsVal_3")->text(), "55 000 000 Hz");
    EXPECT_EQ(window->DreamDefaultArgs, " -M 0 -I 0 -O 0");

    // The adjusters hold the receiver's tables as start-up left them.
    CtlArray& ctl = window->ctlArray();
    EXPECT_EQ(ctl[17].Value, 4500.0f); // AM row of the manual IF filter
    EXPECT_TRUE(ctl[11].Disabled);
    EXPECT_EQ(window->vars().AGCTable[1].Attack, 25);
    EXPECT_EQ(window->vars().AGCTable[3].Decay, 200);
    EXPECT_EQ(window->vars().FilterTable[4].Lo, 240);
}

TEST_F(MainWindowFixture, PowerOnAndOffDriveTheSoundCardAndButtons)
{
    startWindow();
    power(0)->setChecked(true);
    ASSERT_TRUE(window->powerOn());
    EXPECT_TRUE(window->soundCard()->InAction());
    EXPECT_TRUE(backend.capturing());
    EXPECT_FALSE(power(2)->isVisibleTo(window.get()));
    EXPECT_FALSE(timer("tmrSpectrumDisplay")->isActive());

    power(1)->setChecked(true);
    EXPECT_FALSE(window->powerOn());
    EXPECT_FALSE(window->soundCard()->InAction());
    EXPECT_FALSE(backend.capturing());
    EXPECT_TRUE(power(2)->isVisibleTo(window.get()));
    EXPECT_TRUE(timer("tmrSpectrumDisplay")->isActive());
    EXPECT_EQ(timer("tmrSpectrumDisplay")->interval(), 100);
}

TEST_F(MainWindowFixture, StatisticsRunShowsTheAutomaticNotchCentre)
{
    startWindow();
    auto* notch = window->findChild<QLabel*>("lblNotch");
    ASSERT_NE(notch, nullptr);
    notch->setText("manual");
    PublicVars& v = window->vars();
    v.DynFilterActive = true; // the peak search runs, but a manual notch keeps its caption
    v.NotchMode = 0;
    v.DynFilterPeakHistory.fill(10);
    v.FilterLo = 0;
    runStatisticsTimer();
    EXPECT_EQ(notch->text(), "manual");

    v.NotchMode = 1;
    runStatisticsTimer();
    EXPECT_EQ(v.PeakFrequency, 117); // bin 10 of 2048 at 48 kHz
    EXPECT_EQ(notch->text(), "117");
    EXPECT_EQ(window->findChild<QWidget*>("sldNotch")->toolTip(), "Fcentre : 117 Hz");
    EXPECT_FALSE(timer("tmrPerfStats")->isActive()); // each run switches its timer off
}

TEST_F(MainWindowFixture, ZeroButtonSetsTheReceiversReferenceAndItsToolTip)
{
    startWindow();
    PublicVars& v = window->vars();
    v.SMeterHistory = {100, 100, 100, 100};
    window->findChild<QAbstractButton*>("cmdCalibrateSMeter")->click();
    runStatisticsTimer();
    ReceiverCore* chain = window->receiver();
    EXPECT_FLOAT_EQ(chain->SMeterZero, 100.0f);
    EXPECT_FALSE(chain->SMeterZeroRequested);
    for (const char* name : {"picSmeter_0", "picSmeter_1"})
        EXPECT_EQ(window->findChild<QWidget*>(name)->toolTip(), "Meter Backoff=40.00 dB") << name;

    v.SMeterHistory = {400, 400, 400, 400};
    runStatisticsTimer();
    EXPECT_FLOAT_EQ(chain->SMeterLevel, 400.0f);
    EXPECT_FLOAT_EQ(chain->SMeterZero, 100.0f);
}

TEST_F(MainWindowFixture, SignalProcessingMisuseReachesTheMessageBoxWhileTheWindowLives)
{
    startWindow();
    const size_t before = shown.shown().size();
    ReportDspError("clsFFTFilter: block of 4096 samples is larger than the 2048 it was sized for");
    ASSERT_EQ(shown.shown().size(), before + 1);
    const auto& box = shown.shown().back();
    EXPECT_EQ(box.text, "clsFFTFilter: block of 4096 samples is larger than the 2048 it was sized for");
    EXPECT_EQ(box.title, "ORVIKSDR");
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(box.icon, MessageIcon::Critical);

    window->Form_Unload();
    window.reset();
    ReportDspError("after the window"); // back to the default: no box
    EXPECT_EQ(shown.shown().size(), before + 1);
}

TEST_F(MainWindowFixture, StatisticsFollowTheirBoxFromTheStoreAndFromClicks)
{
    store->write("frmMain", "PerfStatsOn", "1");
    startWindow();
    auto* box = window->findChild<QAbstractButton*>("chkPerfStatsOn");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(window->vars().PerfStatsOn);
    box->click();
    EXPECT_FALSE(window->vars().PerfStatsOn);
    box->click();
    EXPECT_TRUE(window->vars().PerfStatsOn);
}

TEST_F(MainWindowFixture, PowerOnFallsBackToOffWhenSoundCannotStart)
{
    backend.openError = 7;
    startWindow();
    power(0)->setChecked(true);
    EXPECT_FALSE(window->powerOn());
    EXPECT_TRUE(power(1)->isChecked());
    EXPECT_TRUE(power(2)->isVisibleTo(window.get()));
    EXPECT_FALSE(window->soundCard()->InAction());
    EXPECT_FALSE(shown.shown().empty()); // the sound card said why
}

TEST_F(MainWindowFixture, ShutDownReleasesTheDevicesAndSavesTheSettings)
{
    startWindow();
    power(0)->setChecked(true);
    window->close();
    EXPECT_FALSE(backend.devicesOpen());
    EXPECT_FALSE(window->isVisible());
    for (QTimer* t : window->findChildren<QTimer*>())
        EXPECT_FALSE(t->isActive()) << t->objectName().toStdString();
    SettingsStore reread(dir.filePath("ORVIKSDR.ini"));
    // The sub-band recalled at start has the band plan's AGC attack of 10.
    EXPECT_EQ(reread.read("frmMain", "AGCAttack", "?"), "10");
    EXPECT_EQ(reread.read("frmMain", "FullDisplay", "?"), "True");
    EXPECT_EQ(reread.read("VFO1.VESKA", "IFFrequency", "?"), "45000000");
    window->Form_Unload(); // a second run does nothing
}

TEST_F(MainWindowFixture, UnknownReceiverModelEndsTheStartWithTheErrorBox)
{
    store->write("frmMain", "SDRModelNo", "7");
    window = std::make_unique<frmMain>(frmMain::Services{*store, backend, home, dir.filePath("shipped")});
    EXPECT_NE(window->Form_Initialize({}), 0);
    ASSERT_FALSE(shown.shown().empty());
    const auto& box = shown.shown().back();
    EXPECT_EQ(box.title, "Error");
    EXPECT_TRUE(box.text.startsWith("frmMain:frmMain:Form_Load:")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("Description=Unknown SDRModelNo 7"));
    window.reset();
}

TEST_F(MainWindowFixture, KnobEnabledOpensTheSerialPortOnTheWindowsSerialControl)
{
    // A pseudo-terminal stands in for the port: it opens like one, without modem lines,
    // which is said once.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    store->write("frmMain", "VFO1.IFType", "0");
    store->write("frmMain", "EnableShaftEncoder", "True");
    store->write("DDSSerialIF", "DevicePath", slave);
    startWindow();
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_TRUE(shown.shown()[0].text.startsWith("DDSSerialIF : Unable to drive the lines of " + slave))
        << shown.shown()[0].text.toStdString();
    auto* watcher = window->findChild<ModemLineWatcher*>("MSComm1");
    ASSERT_NE(watcher, nullptr);
    EXPECT_TRUE(watcher->isWatching());
    window->Form_Unload();
    EXPECT_FALSE(watcher->isWatching());
    ::close(master);
}

TEST_F(MainWindowFixture, ProgramFolderThatCannotBeMadeIsNotTakenForASecondInstance)
{
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    window = std::make_unique<frmMain>(
        frmMain::Services{*store, backend, dir.filePath("not-a-folder/ORVIKSDR"), dir.filePath("shipped")});
    EXPECT_EQ(window->Form_Initialize({}), 4);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].title, "ORVIKSDR - No Bandplan found");
    EXPECT_TRUE(shown.shown()[0].text.endsWith("find a .BPL file\n" + dir.filePath("not-a-folder/ORVIKSDR")
                                               + ": Not a directory"))
        << shown.shown()[0].text.toStdString();
    window->abandon();
    window.reset();
}

TEST_F(MainWindowFixture, CloseArrivingWhileOtherWorkLetsEventsRunWaitsForThatWork)
{
    startWindow();
    power(0)->setChecked(true);
    // A termination signal or the window's close command handled inside a
    // synthesizer transfer or a sound block's yield.
    setEventPump([this] { window->close(); });
    pumpEvents();
    setEventPump({});
    EXPECT_NE(window->soundCard(), nullptr);
    EXPECT_NE(window->receiver(), nullptr);
    EXPECT_TRUE(backend.devicesOpen());

    // Back in the event loop, which has been told to end, the shut-down runs.
    window->Form_Unload();
    EXPECT_EQ(window->soundCard(), nullptr);
    EXPECT_FALSE(backend.devicesOpen());
    SettingsStore reread(dir.filePath("ORVIKSDR.ini"));
    EXPECT_EQ(reread.read("frmMain", "FullDisplay", "?"), "True");
}

TEST_F(MainWindowFixture, StoredBandIndexOutsideTheListFallsBackToTheActiveBand)
{
    store->write("frmMain", "CurrentMainBandIndex", "5");
    startWindow();
    EXPECT_EQ(window->bandPlans().CurrentMainBandIndex, 0);
    EXPECT_EQ(window->findChild<QComboBox*>("cboBandSelect")->currentIndex(), 0);
}

TEST_F(MainWindowFixture, DrmModeHandsTheSoundCardToTheDecoderAndTakesItBack)
{
    // A stand-in decoder that stays until it is asked to close.
    const QString decoder = dir.filePath(QString("drm%1").arg(QCoreApplication::applicationPid()));
    {
        QFile f(decoder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\ntrap 'exit 0' TERM\nn=0\nwhile [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    store->write("frmMain", "DRM.RunDreamOnDRM", "True");
    store->write("frmMain", "DRM.PathToDream", decoder);
    store->write("frmMain", "DRM.CloseSoundcardOnDRM", "True");
    store->write("frmMain", "DRM.DreamCloseOnModeChange", "True");
    store->write("frmMain", "DRM.MuteAFOnDRM", "True");
    startWindow();
    power(0)->setChecked(true);
    ASSERT_TRUE(backend.devicesOpen());

    window->findChild<QAbstractButton*>("optMode_3")->click();
    EXPECT_EQ(window->vars().DemodMode, 3);
    EXPECT_TRUE(window->vars().Mute);
    EXPECT_FALSE(backend.devicesOpen()); // released for the decoder
    const qint64 pid = window->dream()->DreamTaskID;
    ASSERT_GT(pid, 0);
    EXPECT_GT(window->dream()->processStartTime(pid), 0u);
    const QString ini = QString::fromUtf8([&] {
        QFile f(QDir(home).filePath("Dream.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }());
    EXPECT_TRUE(ini.contains("[window geometry]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("flipspectrum=0")); // high-side injection

    window->findChild<QAbstractButton*>("optMode_0")->click();
    EXPECT_FALSE(window->vars().Mute);
    EXPECT_TRUE(backend.devicesOpen()); // the receiver is on: sound comes back
    EXPECT_TRUE(window->soundCard()->InAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->dream()->processStartTime(pid) == 0; }, 30000))
        << "the decoder was not closed";
}

TEST_F(MainWindowFixture, StartUpHighlightsTheChosenOptionsAndCaptionsTheReceiverValues)
{
    startWindow();
    const struct {
        const char* group;
        int count;
        int chosen;
    } groups[] = {{"optMode", 6, 0}, {"optFilter", 5, 0}, {"optIFFilter", 3, 1}, {"optAGC", 5, 4}};
    // The band plan's sub-band has no settings keys: its block holds the read defaults
    // (AGC on with attack and decay 10 in the preset row 4; the IF filter is off, so its
    // preset 2 snaps back to the one in force).
    for (const auto& g : groups)
        for (int i = 0; i < g.count; ++i) {
            QWidget* b = controlElement(window.get(), g.group, i);
            EXPECT_EQ(textColour(b), i == g.chosen ? 0xFFFF00u : 0xC0C000u) << g.group << i;
        }
    auto caption = [&](const char* name) { return window->findChild<QLabel*>(name)->text(); };
    EXPECT_EQ(caption("lblAGCAttack"), "1.0");
    EXPECT_EQ(caption("lblAGCDecay"), "1.0");
    EXPECT_EQ(caption("lblOutVol"), "0.0");
    EXPECT_EQ(caption("lblNB"), "0.00");
    EXPECT_EQ(caption("lblFilterHi"), "5000");
    EXPECT_EQ(window->ctlArray()[7].Default, 5000.0f);

    // A click on another mode highlights it in the running window too.
    window->findChild<QAbstractButton*>("optMode_2")->click();
    EXPECT_EQ(window->vars().DemodMode, 2);
    EXPECT_EQ(textColour(controlElement(window.get(), "optMode", 2)), 0xFFFF00u);
    EXPECT_EQ(textColour(controlElement(window.get(), "optMode", 0)), 0xC0C000u);
}

TEST_F(MainWindowFixture, TheLowSideBoxAndEveryCopyOfTheSideFollowOneSetter)
{
    startWindow();
    auto* box = window->findChild<QAbstractButton*>("chkTuneLo");
    ASSERT_NE(box, nullptr);
    const bool hi = window->HiSideLO;
    EXPECT_EQ(box->isChecked(), !hi); // ticked when the LO is below the signal
    window->setHiSideLO(!hi);
    EXPECT_EQ(window->HiSideLO, !hi);
    EXPECT_EQ(window->vars().HiSideLO, !hi);
    EXPECT_EQ(box->isChecked(), hi);
}

TEST_F(MainWindowFixture, PowerOffReturnsTheWindowToTheChosenDisplaySizesHeight)
{
    startWindow();
    const int chosen = window->height();
    power(0)->setChecked(true);
    ASSERT_TRUE(window->powerOn());
    window->resize(window->width(), chosen + 120);
    power(1)->setChecked(true);
    EXPECT_EQ(window->height(), chosen);
}

TEST_F(MainWindowFixture, FrequencyDisplayIsDarkerUntilPointedAt)
{
    startWindow();
    const uint32_t tuning = defaultColourScheme().SDRTuningColour;
    EXPECT_EQ(window->ctlArray()[1].NormalColour, DarkenColour(tuning, 75));
    EXPECT_EQ(window->ctlArray()[1].FocusColour, tuning);
}

TEST_F(MainWindowFixture, WheelOverTheWindowStepsTheLabelThePointerLitSinceStartUp)
{
    startWindow();
    CtlArray& ctl = window->ctlArray();
    const uint32_t tuning = defaultColourScheme().SDRTuningColour;
    EXPECT_EQ(ctl.ActiveAdjuster, 0);

    auto* bfo = window->findChild<QLabel*>("lblBFO");
    ASSERT_NE(bfo, nullptr);
    EXPECT_EQ(textColour(bfo), tuning);
    QWindow* handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPoint at = bfo->mapTo(window.get(), bfo->rect().center());
    QTest::mouseMove(handle, at);
    EXPECT_EQ(ctl.ActiveAdjuster, 20);
    for (int i = 0; i < 2; ++i) {
        QWheelEvent turn(at, window->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(handle, &turn);
    }
    EXPECT_EQ(window->vars().BFO, 20);
    EXPECT_EQ(bfo->text(), "20");
    QTest::keyClick(handle, Qt::Key_Space);
    EXPECT_EQ(window->vars().BFO, 0);

    // The right button puts the filter edges back to the rows the receiver has chosen.
    const auto rightClick = [&](const char* name) {
        auto* label = window->findChild<QLabel*>(name);
        QTest::mouseClick(handle, Qt::RightButton, Qt::NoModifier, label->mapTo(window.get(), label->rect().center()));
    };
    const PublicVars& v = window->vars();
    window->vars().FilterMode = v.FilterMode == 1 ? 2 : 1; // a row other than the one Default came from
    ctl[7].Value = 1234;
    rightClick("lblFilterHi");
    EXPECT_NE(ctl[7].Value, ctl[7].Default);
    EXPECT_EQ(ctl[7].Value, static_cast<float>(v.FilterTable[static_cast<size_t>(v.FilterMode)].Hi));
    ctl[17].Value = 1;
    rightClick("lblIFHi");
    EXPECT_EQ(ctl[17].Value, static_cast<float>(v.IFFilterSettings[static_cast<size_t>(v.IFFilterMode)]
                                                     .FilterSettings[static_cast<size_t>(v.DemodMode)]
                                                     .Hi));
    EXPECT_NE(ctl[17].Value, 1.0f);

    // The power frame lights up under the pointer like the others.
    QWidget* frPower = window->findChild<QWidget*>("frPower");
    QTest::mouseMove(handle, frPower->mapTo(window.get(), QPoint(3, frPower->height() - 3)));
    EXPECT_EQ(textColour(frPower), defaultColourScheme().SDRFrameFocusColour);
    EXPECT_EQ(textColour(window->findChild<QWidget*>("frAGC")), defaultColourScheme().SDRFrameNormalColour);

    // Shut-down takes the hook away: a later turn changes nothing.
    window->Form_Unload();
    ctl.ActiveAdjuster = 20;
    for (int i = 0; i < 2; ++i) {
        QWheelEvent turn(at, window->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(handle, &turn);
    }
    EXPECT_EQ(ctl[20].Value, 0.0f);
}

namespace {

void pointAt(QWidget* target, QEvent::Type type = QEvent::MouseMove, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF pos(target->width() / 2.0, target->height() / 2.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST_F(MainWindowFixture, TuningActionsReachTheSynthesizerThroughTheRecordedPort)
{
    const QString record = dir.filePath("synth.txt");
    qputenv("ORVIKSDR_SYNTH_PORT", ("record:" + record).toUtf8());
    store->write("frmMain", "VFO1.IFType", "0"); // the recorded serial port opens
    startWindow();
    qunsetenv("ORVIKSDR_SYNTH_PORT");
    using orvik::testing::ad9951WordFor;
    using orvik::testing::ad9951WordsInRecord;
    auto lastWord = [&] {
        const auto words = ad9951WordsInRecord(record);
        return words.empty() ? 0u : words.back();
    };
    // Start-up sends the stored frequency once the LO side is set.
    ASSERT_EQ(lastWord(), ad9951WordFor(100000000));
    EXPECT_FALSE(window->findChild<QAbstractButton*>("chkTuneLo")->isChecked()); // high side: not ticked

    QWidget* display = window->findChild<QWidget*>("picFreqDisp");
    pointAt(display);
    pointAt(controlElement(window.get(), "lbl7Seg", 5)); // 100 Hz
    EXPECT_EQ(window->ctlArray().ActiveAdjuster, 1);
    QTest::keyPress(display, Qt::Key_Up);
    EXPECT_TRUE(QTest::qWaitFor([&] { return lastWord() == ad9951WordFor(100001000); }, 30000));
    QTest::keyRelease(display, Qt::Key_Up);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return qobject_cast<QLabel*>(controlElement(window.get(), "lbl7Seg", 5))->text() == "1";
    }, 30000));

    // Locked at the 100 Hz digit, a turn of the dial steps down by it.
    pointAt(controlElement(window.get(), "lbl7Seg", 5), QEvent::MouseButtonPress, Qt::LeftButton);
    pointAt(controlElement(window.get(), "lbl7Seg", 5), QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_TRUE(window->tuningState().TuningRateLocked);
    auto* dial = window->findChild<QDial*>("dialtuner");
    dial->triggerAction(QAbstractSlider::SliderSingleStepSub);
    dial->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(lastWord(), ad9951WordFor(99999000));

    // The low-side box retunes on the other side of the IF.
    QTest::mouseClick(window->findChild<QAbstractButton*>("chkTuneLo"), Qt::LeftButton);
    EXPECT_FALSE(window->vars().HiSideLO);
    EXPECT_EQ(lastWord(), static_cast<uint32_t>(std::nearbyint((450000000.0 - 99999000.0) * 4294967296.0 / 3600960000.0)));
    QTest::mouseClick(window->findChild<QAbstractButton*>("chkTuneLo"), Qt::LeftButton);
    EXPECT_TRUE(window->vars().HiSideLO);

    // The periodic refresh sends the same word again.
    const size_t sent = ad9951WordsInRecord(record).size();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ad9951WordsInRecord(record).size() > sent; }, 30000));
    EXPECT_EQ(lastWord(), ad9951WordFor(99999000));
    const int interval = window->findChild<QTimer*>("tmrVFOUpdate")->interval();
    EXPECT_GE(interval, 1500);
    EXPECT_LE(interval, 3000);
}

TEST_F(MainWindowFixture, WheelOverTheFrequencyDisplayTunesByTheStep)
{
    startWindow();
    clsVFO* vfo = window->tuningControls()->VFO();
    ASSERT_NE(vfo, nullptr);
    QWindow* handle = window->windowHandle();
    auto* display = window->findChild<QWidget*>("picFreqDisp");
    const QPoint at = display->mapTo(window.get(), display->rect().center());
    QTest::mouseMove(handle, at);
    ASSERT_EQ(window->ctlArray().ActiveAdjuster, 1);
    const int32_t before = vfo->TunedFrequency();
    const auto turn = [&](int delta) {
        // The hook acts on every second message, as the window system delivered them twice.
        for (int i = 0; i < 2; ++i) {
            QWheelEvent e(at, window->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(handle, &e);
        }
    };
    turn(120);
    const int32_t up = vfo->TunedFrequency();
    EXPECT_GT(up, before);
    turn(-120);
    EXPECT_EQ(vfo->TunedFrequency(), before);
}

TEST_F(MainWindowFixture, TheAnalyserIsFedAndDrawnOnceSwitchedOn)
{
    store->write("SpectrumAnalyser", "SpectrumSmooth", "5");
    store->write("SpectrumAnalyser", "ControlColourNormal", "4210752");
    QFile plan(QDir(home).filePath("Test.bpl"));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly | QIODevice::Truncate));
    plan.write("[MainBand]\r\nName=Test\r\nActiveSubBand=0\r\n[SubBand.0]\r\nFreqCurrent=7150000\r\n");
    plan.close();
    startWindow();
    clsSpectrumAnalyser* a = window->spectrumAnalyser();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Points, 2048);
    EXPECT_EQ(a->FSampling, 48000);
    EXPECT_EQ(window->vars().SpectrumSource, 1);
    // The smoothing adjuster starts from the analyser, the display labels in its colours.
    CtlArray& ctl = window->ctlArray();
    EXPECT_EQ(ctl[19].Value, 5.0f);
    EXPECT_EQ(ctl[19].Default, 8.0f);
    for (int id : ScopeControls::AdjusterIds)
        EXPECT_EQ(ctl[id].NormalColour, 4210752U) << id;
    EXPECT_EQ(ctl[6].Control->Caption(), "2,000");
    // Before any sweep the axis shows the band recalled at start, as clicks on it tune.
    ScopeImagePage& front = window->scopeControls()->page(0);
    const QImage atStart = front.image().copy();
    a->SetupDisplay();
    EXPECT_EQ(front.image(), atStart) << "the axis was drawn for another frequency";

    window->findChild<QAbstractButton*>("chkSpectrumAnalyser")->setChecked(true);
    ASSERT_TRUE(a->Active);
    std::vector<int16_t> i(2048), q(2048);
    for (int k = 0; k < 2048; ++k) {
        i[static_cast<size_t>(k)] = static_cast<int16_t>(8000 * std::cos(2 * std::numbers::pi * 300 * k / 2048));
        q[static_cast<size_t>(k)] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 300 * k / 2048));
    }
    window->receiver()->SoundCard_DataReady(i.data(), q.data(), 2048);
    EXPECT_NE(a->InputBuf1()[100], 0.0f);
    // The block re-armed the display timer; its tick draws one frame and stops it.
    QTimer* display = timer("tmrSpectrumDisplay");
    EXPECT_TRUE(display->isActive());
    const int page = a->ActivePage();
    EXPECT_TRUE(QTest::qWaitFor([display] { return !display->isActive(); }, 30000)) << "the display timer never ran";
    EXPECT_NE(a->ActivePage(), page);

    // Settings are saved when the window goes.
    a->setSpectrumSmooth(7);
    window->Form_Unload();
    EXPECT_EQ(store->read("SpectrumAnalyser", "SpectrumSmooth", ""), "7");
}

// The sweep frame's value labels hold their captions whole, framed as when highlighted, up to
// the centre of the widest span at the highest tuning.
TEST_F(MainWindowFixture, TheSweepCaptionsShowEvenTheirWidestValuesWhole)
{
    startWindow();
    CtlArray& ctl = window->ctlArray();
    for (const auto& [tuned, centre] : {std::pair{71500000, "7,150,000"}, std::pair{999999999, "100,012,000"}}) {
        window->tuningControls()->VFO()->setTunedFrequency(tuned);
        // Choosing an IF tap centres the axis on the tuned frequency.
        for (const char* tap : {"optSpectrumSource_1", "optSpectrumSource_0"})
            window->findChild<QAbstractButton*>(tap)->click();
        ctl[15].Value = tuned == 999999999 ? ctl[15].Max : ctl[15].Value;
        ctl.Apply(15);
        EXPECT_EQ(ctl[15].Control->Caption().toStdString(), centre);
        for (const char* name : {"lblScopeXCentre", "lblScopeXWidth"}) {
            auto* label = window->findChild<QLabel*>(name);
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
            const QFontMetrics metrics(label->font());
            // A framed label without an indent of its own indents by half an "x".
            const int indent = label->indent() >= 0 ? label->indent() : metrics.horizontalAdvance(QLatin1Char('x')) / 2;
            EXPECT_LE(metrics.horizontalAdvance(label->text()) + indent, label->contentsRect().width()) << name;
        }
    }
}

TEST_F(MainWindowFixture, TheRecorderTakesTheReceiversAudioAndKeepsItsSettings)
{
    store->write("WavFile", "Decimator", "4");
    store->write("WavFile", "BitsPerSample", "8");
    startWindow();
    MainWindowRecorder* recorder = window->recorder();
    ASSERT_NE(recorder, nullptr);
    clsWavFile& wav = recorder->WavFile();
    EXPECT_EQ(wav.Name, QStringLiteral("WavFile"));
    auto* rate = window->findChild<QAbstractButton*>("optRecordSampleRate_2");
    ASSERT_NE(rate, nullptr);
    EXPECT_TRUE(rate->isChecked());
    EXPECT_TRUE(window->findChild<QAbstractButton*>("optRecordSamplePerBit_1")->isChecked());
    EXPECT_EQ(window->findChild<QLabel*>("lblRecordMBytesPerHr")->text(), "82");

    power(0)->setChecked(true);
    window->findChild<QAbstractButton*>("cmdWavCtls_0")->click();
    ASSERT_EQ(wav.PlayerMode(), clsWavFile::kRecording);
    ASSERT_EQ(wav.TrackLog.size(), 2u);
    EXPECT_GT(wav.TrackLog[0].Frequency, 0) << "the first track is the tuned frequency";
    std::vector<int16_t> left(2049, 100), right(2049, 0);
    window->receiver()->SoundCard_DataReady(left.data(), right.data(), 2048);
    EXPECT_EQ(wav.SamplesQueued(), 2048);

    window->close();
    QFile temp(home + "/~ORVIKWAV.TMP");
    ASSERT_TRUE(temp.open(QIODevice::ReadOnly));
    EXPECT_EQ(temp.size(), 44 + 2048 / 4 + 5 + 124) << "the unsaved recording was finished at the end";
    SettingsStore reread(dir.filePath("ORVIKSDR.ini"));
    EXPECT_EQ(reread.read("WavFile", "Decimator", "?"), "4");
    EXPECT_EQ(reread.read("WavFile", "BitsPerSample", "?"), "8");
}

namespace {

// A band whose sub-band 0, recalled at start, has the AGC off; sub-band 1 has it on.
const char* const AgcOffPlan = "[MainBand]\r\nName=Test\r\nActive=True\r\nActiveSubBand=0\r\nNumSubBands=2\r\n"
                               "[SubBand.0]\r\nCaption=off\r\nFreqCurrent=7074000\r\nActivePreset=-1\r\n"
                               "AGCOn=False\r\nAGCMode=2\r\n"
                               "[SubBand.1]\r\nCaption=on\r\nFreqCurrent=9500000\r\nActivePreset=-1\r\n"
                               "AGCOn=True\r\nAGCMode=2\r\n";

struct AdjusterBoxes : MainWindowFixture {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MainWindowFixture::SetUp());
        QFile f(QDir(home).filePath("Test.bpl"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(AgcOffPlan);
    }

    QAbstractButton* box(const char* name) { return window->findChild<QAbstractButton*>(name); }
    std::string caption(const char* name) { return window->findChild<QLabel*>(name)->text().toStdString(); }

    // Points at a value label as the user does; the hook activates its adjuster if it may.
    void pointAtLabel(const char* name)
    {
        auto* label = window->findChild<QLabel*>(name);
        QTest::mouseMove(window->windowHandle(), label->mapTo(window.get(), label->rect().center()));
    }
    void pressUp(int times)
    {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(window->windowHandle(), Qt::Key_Up);
    }

    // Every adjuster bound to a box is usable exactly while its box is ticked, and so
    // are the blanker's slider and dial.
    void expectAdjustersFollowTheirBoxes(const char* when)
    {
        const CtlArray& ctl = window->ctlArray();
        const struct {
            const char* box;
            std::vector<int> ids;
        } bound[] = {{"chkNB", {9}}, {"chkNotchOn", {11, 12}}, {"chkAGC", {13, 14}}, {"chkIFFilter", {17, 18}}};
        for (const auto& b : bound)
            for (int id : b.ids)
                EXPECT_EQ(ctl[id].Disabled, !box(b.box)->isChecked()) << when << ": adjuster " << id;
        for (const char* name : {"sldNB", "dialNB"})
            EXPECT_EQ(window->findChild<QWidget*>(name)->isEnabled(), box("chkNB")->isChecked()) << when << ": " << name;
    }
};

} // namespace

TEST_F(AdjusterBoxes, AdjustersFollowTheirBoxesAfterTheStartAndEveryRecall)
{
    startWindow();
    expectAdjustersFollowTheirBoxes("after the start");
    ASSERT_FALSE(box("chkNB")->isChecked());
    ASSERT_FALSE(box("chkAGC")->isChecked()); // the recalled sub-band has the AGC off

    // With the blanker off its label neither lights nor steps.
    pointAtLabel("lblNB");
    EXPECT_NE(window->ctlArray().ActiveAdjuster, 9);
    pressUp(3);
    EXPECT_EQ(caption("lblNB"), "0.00");
    EXPECT_EQ(window->vars().NBThreshold, 0.0f);
    // Nor does the AGC attack while the AGC is off.
    const float attack = window->ctlArray()[13].Value;
    pointAtLabel("lblAGCAttack");
    EXPECT_NE(window->ctlArray().ActiveAdjuster, 13);
    pressUp(3);
    EXPECT_EQ(window->ctlArray()[13].Value, attack);

    // Ticked, the blanker's label steps by 10 a key: 30 of 50000 is 0.06 per cent.
    QTest::mouseClick(box("chkNB"), Qt::LeftButton, {}, QPoint(5, box("chkNB")->height() / 2));
    expectAdjustersFollowTheirBoxes("blanker ticked");
    pointAtLabel("lblNB");
    EXPECT_EQ(window->ctlArray().ActiveAdjuster, 9);
    pressUp(3);
    EXPECT_EQ(caption("lblNB"), "0.06");

    // Recalls switch the AGC's adjusters with the box, both ways.
    auto recall = [&](int subBand) {
        auto* b = qobject_cast<QAbstractButton*>(controlElement(window.get(), "optSubBand", subBand));
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
    };
    recall(1);
    EXPECT_TRUE(box("chkAGC")->isChecked());
    expectAdjustersFollowTheirBoxes("after recalling the AGC on");
    recall(0);
    EXPECT_FALSE(box("chkAGC")->isChecked());
    expectAdjustersFollowTheirBoxes("after recalling the AGC off");
}

TEST_F(MainWindowFixture, WhileOffTheDisplayKeepsRedrawingTheHeldTraces)
{
    startWindow();
    EXPECT_EQ(power(0)->toolTip().toStdString(), "Start Receiving");
    EXPECT_EQ(power(1)->toolTip().toStdString(), "Stop Receiving");
    EXPECT_EQ(power(2)->toolTip().toStdString(), "Close the Receiver");
    clsSpectrumAnalyser* a = window->spectrumAnalyser();
    power(0)->setChecked(true);
    ASSERT_TRUE(window->powerOn());
    EXPECT_FALSE(a->Freeze);
    power(1)->setChecked(true);
    EXPECT_TRUE(a->Freeze);

    // Each tick draws the held traces on the hidden page and shows it: the pages keep
    // changing, so a brightness or colour set while off shows at the next tick.
    int flips = 0;
    int page = a->ActivePage();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (a->ActivePage() != page) {
                ++flips;
                page = a->ActivePage();
            }
            return flips >= 3;
        },
        30000))
        << flips << " redraws";
    EXPECT_TRUE(timer("tmrSpectrumDisplay")->isActive());

    power(0)->setChecked(true);
    EXPECT_FALSE(a->Freeze);
}

TEST_F(MainWindowFixture, TheTracedLogWindowIsTitledWithTheProductNameAndShowsLongLinesWhole)
{
    window = std::make_unique<frmMain>(frmMain::Services{*store, backend, home, dir.filePath("shipped")});
    ASSERT_EQ(window->Form_Initialize({"trace"}), 0);
    QWidget* log = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmLog")
            log = w;
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->windowTitle().toStdString(), "ORVIKSDR Log Display");

    // A line far wider than the window is wrapped into it, and again when it narrows.
    auto* list = log->findChild<QListWidget*>("lstLog");
    ASSERT_NE(list, nullptr);
    const QString line =
        "Priority raised through RealtimeKit: " + QString("sound thread 4321 in SCHED_RR; ").repeated(8);
    AddLog(line);
    QListWidgetItem* item = list->item(list->count() - 1);
    ASSERT_EQ(item->text(), line);
    for (const int width : {600, 300}) {
        log->resize(width, 400);
        const QRect row = list->visualItemRect(item);
        EXPECT_LE(row.width(), list->viewport()->width()) << width;
        // At least as many lines as the text is wider than the row.
        const QFontMetrics metrics = list->fontMetrics();
        EXPECT_GE(row.height(), metrics.horizontalAdvance(line) / row.width() * (metrics.height() - 1)) << width;
    }

    // A line of 10,000 characters, far taller than the window: shown from its start, and the
    // wheel goes through it a few lines a notch down to its end.
    QString words;
    for (int i = 0; words.size() < 10000; ++i)
        words += QString("word%1 ").arg(i);
    AddLog(words.left(10000));
    item = list->item(list->count() - 1);
    const int view = list->viewport()->height();
    ASSERT_GT(list->visualItemRect(item).height(), 3 * view);
    EXPECT_EQ(list->visualItemRect(item).top(), 0);
    const QPoint at = list->viewport()->mapTo(log, list->viewport()->rect().center());
    int notches = 0;
    for (; notches < 1000 && list->visualItemRect(item).bottom() > view; ++notches) {
        const int top = list->visualItemRect(item).top();
        QWheelEvent turn(at, log->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(log->windowHandle(), &turn);
        ASSERT_LT(list->visualItemRect(item).top(), top) << "the wheel did not move within the line";
        ASSERT_LT(top - list->visualItemRect(item).top(), view) << "a notch skipped part of the line";
    }
    EXPECT_LE(list->visualItemRect(item).bottom(), view) << "the end of the line was never shown";
}

TEST_F(MainWindowFixture, TheDecoderTemplatePlaceholderIsFoundInAnyCase)
{
    // A stand-in decoder that writes its arguments down and ends. Its own name: a decoder
    // of another test run at the same time may still be running.
    const QString decoder = dir.filePath(QString("args%1").arg(QCoreApplication::applicationPid()));
    const QString argsFile = dir.filePath("args.txt");
    {
        QFile f(decoder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString("#!/bin/sh\necho \"$@\" > '%1.part'\nmv '%1.part' '%1'\n").arg(argsFile).toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    store->write("frmMain", "DRM.RunDreamOnDRM", "True");
    store->write("frmMain", "DRM.PathToDream", decoder);
    store->write("frmMain", "DRM.DreamProgArgs", "-f %curfreq% -g %CURFREQ%");
    startWindow();
    window->findChild<QAbstractButton*>("optMode_3")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(argsFile); }, 30000));
    QFile f(argsFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    // Tuned to 10 MHz: 10000 kHz.
    EXPECT_EQ(f.readAll().trimmed().toStdString(), "-M 0 -I 0 -O 0 -f 10000 -g 10000");
}
