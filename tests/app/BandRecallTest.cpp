// Bands, sub-bands and presets in the running main window: what start-up recalls, what a
// click recalls, and what a save and a restart bring back.

#include "app/MainWindowRecorder.h"
#include "app/frmMain.h"
#include "tests/app/WindowSandbox.h"
#include "bands/ui/BandControls.h"
#include "bands/ui/frmEditUserPreset.h"
#include "bands/ui/frmPresetDesc.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"
#include "receiver/ReceiverCore.h"
#include "receiver/ui/ReceiverControls.h"
#include "shell/widgets/ControlFactory.h"
#include "tests/support/DropDownList.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/TuningControls.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::testing;

namespace {

const char* const PlanText = R"([MainBand]
Caption=Test bands
Active=True
ActiveSubBand=1
NumSubBands=3
[SubBand.0]
Caption=40m
Description=40 m
FreqMin=7000000
FreqMax=7300000
FreqCurrent=7074000
ActivePreset=-1
DemodMode=1
LowSideLO=True
TuneStep=1200
FilterMode=3
FilterHi=2700
FilterLo=300
IFFilterActive=True
IFFilterMode=1
IFFilterHi=3100
IFFilterLo=200
AGCOn=True
AGCMode=2
AGCAttack=30
AGCDecay=40
NotchActive=True
NotchMode=0
NotchFilterCenter=1500
NotchFilterWidth=300
OutputAttenuation=-600
[SubBand.1]
Caption=31m
FreqMin=9400000
FreqMax=9900000
ActivePreset=0
TuneStep=50000
[Preset.1.0]
Caption=9500
Description=Nine and a half
Active=True
FreqCurrent=9500000
DemodMode=0
FilterMode=4
[Preset.1.1]
FreqCurrent=9600600
DemodMode=2
[SubBand.2]
Caption=none
)";

struct BandRecall : orvik::testing::WindowSandbox {
    BandRecall() : WindowSandbox(PlanText) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowSandbox::SetUp());
        startWindow();
    }

    void restart()
    {
        window->close();
        window.reset();
        store = std::make_unique<SettingsStore>(dir.filePath("ORVIKSDR.ini"));
        startWindow();
    }

    QRadioButton* button(const char* array, int i)
    {
        return static_cast<QRadioButton*>(controlElement(window.get(), array, i));
    }
    QAbstractButton* box(const char* name) { return window->findChild<QAbstractButton*>(name); }
    void click(QWidget* w, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {})
    {
        QTest::mouseClick(w, b, m, QPoint(5, w->height() / 2));
    }
    QString display()
    {
        QString text;
        for (int d = 0; d < 9; ++d)
            text += static_cast<QLabel*>(controlElement(window.get(), "lbl7Seg", d))->text();
        return text;
    }
    SubBand& sub(int i) { return window->bandPlans().BandPlans[0].SubBands[static_cast<size_t>(i)]; }
    template <typename T = QWidget>
    T* named(const char* name) { return window->findChild<T*>(QLatin1String(name)); }

    // The window shown and active, as while a user works in it; events then arrive
    // through its QWindow as the window system hands them over.
    void showActive()
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void pointAt(QWidget* w, QPoint at) { QTest::mouseMove(window->windowHandle(), w->mapTo(window.get(), at)); }
    void clickThroughWindow(QWidget* w)
    {
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, w->mapTo(window.get(), QPoint(5, w->height() / 2)));
    }
    // A point of the window that no control covers.
    QPoint bareSpot()
    {
        for (int y = window->height() - 3; y > 2; y -= 3)
            for (int x = 3; x < window->width() - 2; x += 3)
                if (!window->childAt(QPoint(x, y)))
                    return QPoint(x, y);
        ADD_FAILURE() << "the window has no bare spot";
        return {};
    }
    float value(int id) { return window->ctlArray()[id].Value; }
};

TEST_F(BandRecall, StartUpRecallsTheMarkedPresetOfTheActiveSubBand)
{
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 95000000);
    EXPECT_EQ(display(), "095000000");
    EXPECT_EQ(window->vars().DemodMode, kDemodAM);
    EXPECT_EQ(window->vars().FilterMode, 4);
    EXPECT_TRUE(button("optMode", 0)->isChecked());
    EXPECT_TRUE(button("optSubBand", 1)->isChecked());
    EXPECT_TRUE(button("optPreset", 0)->isChecked());
    EXPECT_EQ(button("optPreset", 0)->text(), "9500");
    EXPECT_EQ(button("optPreset", 1)->text(), "9600");
    EXPECT_EQ(button("optPreset", 2)->text(), "P3");
    EXPECT_EQ(button("optSubBand", 0)->text(), "40m");
    EXPECT_FALSE(button("optSubBand", 2)->isVisibleTo(window.get()));
    EXPECT_EQ(window->findChild<QWidget*>("frPresets")->property("title").toString(), "Test bands");
    EXPECT_EQ(window->tuningControls()->VFO()->TuneStep(), 50000); // the sub-band's 5 kHz
}

TEST_F(BandRecall, ClickingASubBandRecallsEveryPartOfItsState)
{
    click(button("optSubBand", 0));
    const PublicVars& v = window->vars();
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 70740000);
    EXPECT_EQ(display(), "070740000");
    // The tune-image box: the LO below the signal.
    EXPECT_TRUE(box("chkTuneLo")->isChecked());
    EXPECT_FALSE(window->tuningControls()->VFO()->HiSideLO());
    EXPECT_FALSE(v.HiSideLO);
    EXPECT_EQ(v.DemodMode, kDemodUSB);
    EXPECT_TRUE(button("optMode", 1)->isChecked());
    EXPECT_EQ(v.FilterMode, 3);
    EXPECT_EQ(v.FilterHi, 2700);
    EXPECT_EQ(v.FilterLo, 300);
    EXPECT_EQ(window->findChild<QLabel*>("lblFilterHi")->text(), "2700");
    EXPECT_TRUE(v.IFFilterActive);
    EXPECT_TRUE(box("chkIFFilter")->isChecked());
    EXPECT_EQ(v.IFFilterMode, 1);
    EXPECT_EQ(value(17), 3100.0f);
    EXPECT_EQ(value(18), 200.0f);
    EXPECT_TRUE(v.AGCOn);
    EXPECT_TRUE(box("chkAGC")->isChecked());
    EXPECT_EQ(v.AGCMode, 4);
    EXPECT_EQ(value(13), 30.0f);
    EXPECT_EQ(value(14), 40.0f);
    EXPECT_TRUE(v.NotchActive);
    EXPECT_TRUE(box("chkNotchOn")->isChecked());
    EXPECT_EQ(v.NotchMode, 0);
    EXPECT_EQ(value(11), 1500.0f);
    EXPECT_EQ(value(12), 300.0f);
    EXPECT_EQ(value(10), -600.0f);
    EXPECT_EQ(v.OutputAttenuation, -600.0f);
    EXPECT_EQ(window->tuningControls()->VFO()->TuneStep(), 1000); // 1200 gives the 100 Hz step below it

    // Back to the 31 m band: its marked preset, on the high side again.
    click(button("optSubBand", 1));
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 95000000);
    EXPECT_TRUE(window->tuningControls()->VFO()->HiSideLO());
    EXPECT_FALSE(box("chkTuneLo")->isChecked());
    EXPECT_EQ(v.DemodMode, kDemodAM);
}

TEST_F(BandRecall, TrackingUnmarksThePresetAndTheSubBandComesBackAfterARestart)
{
    BandControls& bands = *window->bandControls();
    window->tuningControls()->VFO()->setTunedFrequency(95005000);
    bands.tmrSubBands_Timer();
    EXPECT_TRUE(sub(1).Presets[0].Active);
    EXPECT_TRUE(button("optPreset", 0)->isChecked());
    window->tuningControls()->VFO()->setTunedFrequency(95005010);
    bands.tmrSubBands_Timer();
    EXPECT_FALSE(sub(1).Presets[0].Active);
    EXPECT_FALSE(button("optPreset", 0)->isChecked());
    EXPECT_EQ(textColour(button("optPreset", 0)), 0xC0C000u);
    EXPECT_TRUE(sub(1).Settings.Captured);
    EXPECT_EQ(sub(1).Settings.FreqCurrent, 9500501);

    restart();
    // No preset is marked now: the sub-band's own block, as it was left.
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 95005010);
    EXPECT_FALSE(button("optPreset", 0)->isChecked());
    EXPECT_EQ(window->vars().FilterMode, 4);
}

TEST_F(BandRecall, PresetsStoredInTheWindowComeBackAfterARestart)
{
    click(button("optSubBand", 0));
    window->tuningControls()->VFO()->setTunedFrequency(70500000);
    click(button("optPreset", 2), Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(button("optPreset", 2)->text(), "7050");

    // Save to Preset through the menu and the editor, changing the frequency and mode.
    window->bandControls()->setDialogRunner([](QDialog& d) {
        auto& editor = static_cast<frmEditUserPreset&>(d);
        editor.txtPresetValues[1]->setText("9 800 000");
        editor.optDemodulationValue[2]->click();
        editor.cmdSave->click();
        return d.result();
    });
    click(button("optPreset", 3), Qt::RightButton);
    QMenu* menu = window->findChild<QMenu*>("mnuUserPresets");
    ASSERT_TRUE(menu->isVisible());
    menu->hide();
    menu->findChild<QAction*>("mnuUserPresets_Save")->trigger();
    EXPECT_EQ(button("optPreset", 3)->text(), "9800");
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 98000000);

    restart();
    click(button("optSubBand", 0));
    EXPECT_EQ(button("optPreset", 2)->text(), "7050");
    EXPECT_EQ(button("optPreset", 3)->text(), "9800");
    click(button("optPreset", 3));
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 98000000);
    EXPECT_EQ(window->vars().DemodMode, kDemodLSB);
    click(button("optPreset", 2));
    EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), 70500000);
    EXPECT_EQ(window->vars().DemodMode, kDemodUSB);
    EXPECT_EQ(window->vars().FilterHi, 2700);
    EXPECT_FALSE(window->tuningControls()->VFO()->HiSideLO());
}

TEST_F(BandRecall, ALabelOrTheBareWindowFoldsThePickersWhichStayReachableFromTheBandPicture)
{
    showActive();
    auto* bands = named<QComboBox>("cboBandSelect");
    auto* subBands = named<QComboBox>("cboSubBandSelect");
    auto* label = named("lblSubBand");
    auto* picture = named("imgBandSelect");
    // Start-up ends by putting the pointer's highlights back, the pickers folded.
    EXPECT_FALSE(bands->isVisible());
    EXPECT_FALSE(subBands->isVisible());
    EXPECT_TRUE(label->isVisible());

    // From the band picture into the picker and its open list: the picker stays.
    pointAt(picture, QPoint(10, 2));
    ASSERT_TRUE(bands->isVisible());
    pointAt(bands, bands->rect().center());
    pressToOpen(bands);
    ASSERT_TRUE(listWindow(bands)->isVisible());
    EXPECT_TRUE(bands->isVisible());
    dragOntoAndRelease(bands, 0);
    EXPECT_TRUE(bands->isVisible());
    EXPECT_EQ(window->bandPlans().CurrentMainBandIndex, 0);

    // The preset description switched on and shown over a preset, the sub-band picker up.
    QRadioButton* preset = button("optPreset", 0);
    clickThroughWindow(preset);
    QTest::keyClick(window->windowHandle(), Qt::Key_D, Qt::ControlModifier);
    pointAt(preset, QPoint(4, 4));
    frmPresetDesc* desc = window->bandControls()->presetDescription();
    ASSERT_TRUE(desc && desc->isVisible());
    pointAt(label, QPoint(4, 4));
    ASSERT_TRUE(subBands->isVisible());

    // Onto a value label: all of it folds away.
    pointAt(named("lblOutVol"), QPoint(4, 4));
    EXPECT_FALSE(desc->isVisible());
    EXPECT_FALSE(bands->isVisible());
    EXPECT_FALSE(subBands->isVisible());
    EXPECT_TRUE(label->isVisible());

    // Onto the bare window likewise.
    pointAt(picture, QPoint(10, 2));
    ASSERT_TRUE(bands->isVisible());
    QTest::mouseMove(window->windowHandle(), bareSpot());
    EXPECT_FALSE(bands->isVisible());
    EXPECT_TRUE(label->isVisible());
}

TEST_F(BandRecall, ThePresetDescriptionNamesTheModeWithoutTheButtonsMnemonic)
{
    showActive();
    QRadioButton* am = button("optPreset", 0);
    clickThroughWindow(am);
    QTest::keyClick(window->windowHandle(), Qt::Key_D, Qt::ControlModifier);
    pointAt(am, QPoint(4, 4));
    frmPresetDesc* desc = window->bandControls()->presetDescription();
    ASSERT_TRUE(desc && desc->isVisible());
    EXPECT_TRUE(desc->lblPresetDesc->text().startsWith("Frequency=9500\nModulation=AM\n"))
        << desc->lblPresetDesc->text().toStdString();
    pointAt(button("optPreset", 1), QPoint(4, 4));
    EXPECT_TRUE(desc->lblPresetDesc->text().contains("\nModulation=LSB\n")) << desc->lblPresetDesc->text().toStdString();
}

TEST_F(BandRecall, RecallingAPresetPutsItsSettingsInForce)
{
    // Two presets that differ in frequency, mode and filter, recalled in turn; after each
    // click one statistics pass rebuilds the filters. How long it takes: bench/PresetRecallBench.
    for (int i = 0; i < 4; ++i) {
        const int p = (i + 1) % 2;
        click(button("optPreset", p));
        window->receiver()->RunStatisticsPass();
        EXPECT_FALSE(window->vars().DSPSettingsChanged) << i;
        EXPECT_EQ(window->vars().DemodMode, p == 0 ? kDemodAM : kDemodLSB) << i;
        EXPECT_EQ(window->tuningControls()->VFO()->TunedFrequency(), p == 0 ? 95000000 : 96006000) << i;
        EXPECT_TRUE(button("optPreset", p)->isChecked()) << i;
    }
}

} // namespace

TEST_F(BandRecall, ASubBandRecalledWhileRecordingStartsANewTrack)
{
    clsWavFile& wav = window->recorder()->WavFile();
    click(controlElement(window.get(), "cmdWavCtls", 0));
    ASSERT_TRUE(wav.IsRecording());
    ASSERT_EQ(wav.TrackLog.size(), 2u);
    EXPECT_EQ(wav.TrackLog[0].Frequency, 95000000);

    click(button("optSubBand", 0));
    ASSERT_EQ(wav.TrackLog.size(), 3u);
    EXPECT_EQ(wav.TrackLog[1].Frequency, 70740000);
    EXPECT_EQ(wav.TrackLog[0].EndOffset, wav.TrackLog[1].StartOffset);
}
