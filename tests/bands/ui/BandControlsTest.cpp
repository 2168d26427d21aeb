// The band, sub-band and preset controls as a user meets them, on a bare window with a
// stand-in receiver behind the hooks.

#include "bands/ui/BandControls.h"
#include "bands/ui/frmEditUserPreset.h"
#include "bands/ui/frmPresetDesc.h"
#include "bands/modIniFiles.h"
#include "common/Numeric.h"
#include "platform/MessageService.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/ControlKinds.h"
#include "tests/support/DropDownList.h"

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

// What the hooks read and set in place of the receiver.
struct StandInReceiver {
    int32_t T = 70000000; // tenths of a hertz
    int32_t DemodMode = 1;
    int32_t FilterMode = 2;
    bool hiSide = true;
    bool applying = false;
    bool autoTrack = true;
    int captures = 0;
    int unfocused = 0;
    int deactivated = 0;
    std::vector<RxSettings> applied;
    std::vector<std::pair<int, bool>> steps;
};

struct BandWindow : ::testing::Test {
    BandWindow()
    {
        window->resize(700, 200);
        for (int i = 0; i < 6; ++i) {
            // The program's own captions, mnemonics and all.
            const char* modes[] = {"&AM", "&USB", "&LSB", "&DRM", "&FM", "&BC"};
            addOption(window.get(), "optMode", i, modes[i], {0, 4000, 10, 10});
        }
        for (int i = 0; i < 5; ++i)
            addOption(window.get(), "optFilter", i, QString("F%1").arg(i), {0, 4000, 10, 10});
        panel = buildBandControls(window.get());

        BandPlan band;
        band.Name = "Test";
        band.FileName = folder.filePath("Test.bpl");
        band.Caption = "Test bands";
        band.NumSubBandsAlloc = SubBandButtonCount;
        band.PresetsPerSubBand = PresetButtonCount;
        plans.InitBandPlan(band);
        band.NumSubBands = 3;
        SubBand& forty = band.SubBands[0];
        forty.Caption = "40m";
        forty.Description = "40 m band";
        forty.FreqMin = 7000000;
        forty.FreqMax = 7200000;
        forty.HasRange = true;
        forty.Settings.FreqCurrent = 7074000;
        forty.Settings.TuneStep = 1200;
        forty.Settings.DemodMode = 1;
        setPreset(forty.Presets[0], 7050600, 2);
        setPreset(forty.Presets[1], 7100000, 1);
        SubBand& range = band.SubBands[1];
        range.Caption = "31m";
        range.FreqMin = 9400000;
        range.FreqMax = 9900000;
        range.HasRange = true;
        range.Settings.TuneStep = 50000;
        band.SubBands[2].Caption = "none"; // no range: no button
        plans.BandPlans.push_back(band);
        plans.CurrentMainBandIndex = 0;

        BandControls::Hooks hooks;
        hooks.CaptureSettingsBlock = [this](RxSettings& s) {
            ++rx.captures;
            s.Captured = true;
            s.FreqCurrent = RoundEven(rx.T / 10.0);
            s.DemodMode = rx.DemodMode;
            s.FilterMode = rx.FilterMode;
            s.LowSideLO = !rx.hiSide;
        };
        hooks.ApplySettingsBlock = [this](RxSettings& s) {
            rx.applied.push_back(s);
            if (s.FreqCurrent >= 1)
                rx.T = s.FreqCurrent * 10;
            rx.DemodMode = s.DemodMode;
            rx.FilterMode = s.FilterMode;
        };
        hooks.ApplyingSettings = [this] { return rx.applying; };
        hooks.AutoTrackPresets = [this] { return rx.autoTrack; };
        hooks.SelectTuningStep = [this](int i, bool unlock) { rx.steps.emplace_back(i, unlock); };
        hooks.TunedFrequency = [this] { return rx.T; };
        hooks.vfoHiSideLO = [this] { return rx.hiSide; };
        hooks.DemodMode = [this] { return rx.DemodMode; };
        hooks.FilterMode = [this] { return rx.FilterMode; };
        hooks.SDRLabelColour = [] { return 0x808080u; };
        hooks.UnFocusFrames = [this] { ++rx.unfocused; };
        hooks.DeactivateAdjuster = [this] { ++rx.deactivated; };
        hooks.runDialog = [this](QDialog& d) {
            auto& editor = static_cast<frmEditUserPreset&>(d);
            dialogTitle = editor.windowTitle();
            dialogTexts.clear();
            for (QLineEdit* t : editor.txtPresetValues)
                dialogTexts.append(t->text());
            if (answer)
                answer(editor);
            return d.result();
        };
        hooks.now = [] { return QDateTime(QDate(2006, 1, 6), QTime(9, 5, 3)); };
        const std::vector<int32_t> steps{100000, 90000, 50000, 25000, 10000, 5000, 2500, 1000, 500,
                                         250,    100,   50,    25,    10,    5,    2,    1};
        controls = std::make_unique<BandControls>(window.get(), panel, plans, steps, hooks);
        window->show();
        setMessageService(&shown);
    }
    ~BandWindow() override { setMessageService(nullptr); }

    static void setPreset(Preset& p, int32_t hertz, int32_t mode)
    {
        p.Settings.FreqCurrent = hertz;
        p.Settings.DemodMode = mode;
        p.Description = QString("Preset at %1").arg(hertz);
        p.Caption = QString::number(hertz / 1000);
    }

    SubBand& sub(int i) { return plans.BandPlans[0].SubBands[static_cast<size_t>(i)]; }
    QRadioButton* preset(int i) { return panel.optPreset[static_cast<size_t>(i)]; }
    QRadioButton* subBand(int i) { return panel.optSubBand[static_cast<size_t>(i)]; }
    void click(QWidget* w, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {})
    {
        QTest::mouseClick(w, b, m, QPoint(5, w->height() / 2));
    }
    // The window active, as while a user works in it, so that presses move the keyboard focus.
    void activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Pointer events as the window system hands them to the window.
    void pointAt(QWidget* w, QPoint at) { QTest::mouseMove(window->windowHandle(), w->mapTo(window.get(), at)); }
    void clickThroughWindow(QWidget* w)
    {
        const QPoint at = w->mapTo(window.get(), QPoint(5, w->height() / 2));
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
    }
    // A second band, "Other", beside "Test", both named in the band picker.
    void addSecondBand()
    {
        BandPlan other = plans.BandPlans[0];
        other.Name = "Other";
        other.Caption = "Other bands";
        other.NumSubBands = 1;
        other.SubBands[0].Caption = "20m";
        other.SubBands[0].Settings.FreqCurrent = 14074000;
        plans.BandPlans.push_back(other);
        panel.cboBandSelect->addItems({"Test", "Other"});
    }

    int checkedPreset()
    {
        int found = -1;
        for (int i = 0; i < PresetButtonCount; ++i)
            if (preset(i)->isChecked()) {
                EXPECT_EQ(found, -1) << "two presets chosen";
                found = i;
            }
        return found;
    }

    // The band plan's file: what the band holds on disk.
    QString stored(const char* section, const char* key)
    {
        return ReadIniString(section, key, "<missing>", plans.BandPlans[0].FileName);
    }

    QTemporaryDir folder;
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    BandPanel panel;
    modBandPlan plans;
    StandInReceiver rx;
    RecordingMessageService shown;
    std::function<void(frmEditUserPreset&)> answer;
    QString dialogTitle;
    QStringList dialogTexts;
    std::unique_ptr<BandControls> controls;
};

TEST_F(BandWindow, SelectingABandLabelsItsButtonsListsAndPresetsAndRecallsTheSubBand)
{
    controls->SelectBand(0);
    EXPECT_EQ(panel.frPresets->title(), "Test bands");
    EXPECT_EQ(subBand(0)->text(), "40m");
    EXPECT_EQ(subBand(0)->toolTip(), "40 m band");
    EXPECT_TRUE(subBand(0)->isVisibleTo(window.get()));
    EXPECT_TRUE(subBand(1)->isVisibleTo(window.get()));
    EXPECT_FALSE(subBand(2)->isVisibleTo(window.get())); // no range
    EXPECT_FALSE(subBand(3)->isVisibleTo(window.get())); // beyond NumSubBands
    // Both lists name every sub-band shown, with or without a range.
    ASSERT_EQ(panel.cboSubBandSelect->count(), 3);
    EXPECT_EQ(panel.lstSubBandSelect->item(2)->text(), "none");
    EXPECT_EQ(panel.lstSubBandSelect->currentRow(), 0);
    EXPECT_EQ(panel.lblSubBand->text(), " 40m ");

    // 7050.6 kHz is labelled with its whole kilohertz, not rounded up.
    EXPECT_EQ(preset(0)->text(), "7050");
    EXPECT_EQ(preset(0)->toolTip(), "Preset at 7050600");
    EXPECT_EQ(preset(2)->text(), "P3");
    EXPECT_EQ(preset(2)->toolTip(), "Unused - Shift + Right Click to set");
    EXPECT_EQ(checkedPreset(), -1);
    EXPECT_EQ(textColour(preset(0)), 0xC0C000u);

    // No marked preset: the sub-band's own block, with the largest step not above 1200.
    ASSERT_FALSE(rx.applied.empty());
    EXPECT_EQ(rx.applied.back().FreqCurrent, 7074000);
    EXPECT_EQ(rx.T, 70740000);
    ASSERT_FALSE(rx.steps.empty());
    EXPECT_EQ(rx.steps.back(), std::make_pair(7, true));
    EXPECT_TRUE(sub(0).Selected);
    EXPECT_TRUE(subBand(0)->isChecked());
    EXPECT_EQ(textColour(subBand(0)), 0xFFu);
    EXPECT_EQ(textColour(subBand(1)), 0xC0u);
}

TEST_F(BandWindow, ABandWithoutRangesListsItsSubBandsButShowsNoButtons)
{
    for (SubBand& sb : plans.BandPlans[0].SubBands)
        sb.HasRange = false;
    controls->SelectBand(0);
    for (int i = 0; i < SubBandButtonCount; ++i)
        EXPECT_FALSE(subBand(i)->isVisibleTo(window.get())) << i;
    EXPECT_EQ(panel.lstSubBandSelect->count(), 3);
    EXPECT_EQ(panel.cboSubBandSelect->itemText(1), "31m");
}

TEST_F(BandWindow, ClickingSubBandsRecallsTheirBlockOrTheirMarkedPresetAndTheChosenOneAgain)
{
    controls->SelectBand(0);
    click(subBand(1));
    EXPECT_EQ(plans.BandPlans[0].ActiveSubBand, 1);
    EXPECT_EQ(rx.steps.back(), std::make_pair(2, true)); // 5 kHz
    EXPECT_EQ(panel.lstSubBandSelect->currentRow(), 1);
    EXPECT_EQ(panel.cboSubBandSelect->currentIndex(), 1);
    EXPECT_EQ(checkedPreset(), -1);

    // The chosen sub-band, clicked again with the left button, is applied again.
    const size_t before = rx.applied.size();
    click(subBand(1));
    EXPECT_EQ(rx.applied.size(), before + 1);
    // The right button does not re-apply the sub-band in force.
    click(subBand(1), Qt::RightButton);
    EXPECT_EQ(rx.applied.size(), before + 1);

    // A sub-band whose marked preset is Active recalls the preset instead of its own block.
    sub(0).ActivePreset = 1;
    sub(0).Presets[1].Active = true;
    click(subBand(0));
    EXPECT_EQ(rx.applied.back().FreqCurrent, 7100000);
    EXPECT_EQ(checkedPreset(), 1);
    EXPECT_EQ(textColour(preset(1)), 0xFFFF00u);

    // The list and the combo choose sub-bands as the buttons do.
    panel.lstSubBandSelect->setEnabled(true);
    panel.lstSubBandSelect->setCurrentRow(1);
    EXPECT_EQ(plans.BandPlans[0].ActiveSubBand, 1);
    EXPECT_EQ(panel.lblSubBand->text(), " 31m ");
    EXPECT_TRUE(subBand(1)->isChecked());
    EXPECT_FALSE(subBand(0)->isChecked());
}

TEST_F(BandWindow, AnUnusedPresetDoesNothingUntilAPresetWasRecalledThenRecallsThatOne)
{
    controls->SelectBand(0);
    const size_t before = rx.applied.size();
    const int32_t tuned = rx.T;
    click(preset(5));
    EXPECT_EQ(rx.applied.size(), before);
    EXPECT_EQ(rx.T, tuned);
    EXPECT_EQ(checkedPreset(), -1);
    EXPECT_EQ(sub(0).ActivePreset, -1);
    // A right click first (its menu left unused) recalls nothing either.
    click(preset(6), Qt::RightButton);
    controls->mnuUserPresets()->hide();
    click(preset(5));
    EXPECT_EQ(rx.applied.size(), before);
    EXPECT_EQ(checkedPreset(), -1);

    click(preset(1));
    EXPECT_EQ(rx.T, 71000000);
    EXPECT_TRUE(sub(0).Presets[1].Active);
    EXPECT_EQ(checkedPreset(), 1);
    EXPECT_EQ(textColour(preset(0)), 0x808080u); // the scheme's label colour
    EXPECT_EQ(textColour(preset(1)), 0xFFFF00u);

    // An unused button now re-applies the last recalled preset and leaves itself unmarked.
    rx.T = 72000000;
    click(preset(5));
    EXPECT_EQ(rx.T, 71000000);
    EXPECT_EQ(sub(0).ActivePreset, 1);
    EXPECT_EQ(checkedPreset(), 1);
    EXPECT_FALSE(sub(0).Presets[5].Active);

    // Another used preset takes the mark from the first.
    click(preset(0));
    EXPECT_TRUE(sub(0).Presets[0].Active);
    EXPECT_FALSE(sub(0).Presets[1].Active);
    EXPECT_EQ(rx.DemodMode, 2);
}

TEST_F(BandWindow, ShiftRightClickStoresThePresentStateOncePerClick)
{
    controls->SelectBand(0);
    rx.T = 70746000; // 7 074 600 Hz
    rx.DemodMode = 2;
    const int captured = rx.captures;
    const size_t applied = rx.applied.size();
    click(preset(4), Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(rx.captures, captured + 1);
    EXPECT_EQ(rx.applied.size(), applied + 1);
    const Preset& p = sub(0).Presets[4];
    EXPECT_TRUE(p.Settings.Captured);
    EXPECT_EQ(p.Settings.FreqCurrent, 7074600);
    EXPECT_EQ(p.Caption, "7075"); // kHz, rounded
    EXPECT_EQ(p.When, "2006-01-06 09:05:03");
    EXPECT_EQ(p.Description, "7,074,600 Hz");
    EXPECT_EQ(preset(4)->text(), "7075");
    EXPECT_EQ(preset(4)->toolTip(), "7,074,600 Hz");
    EXPECT_FALSE(shown.shown().size() > 0);
    // On disk at once, not only at close.
    EXPECT_EQ(stored("Preset.0.4", "FreqCurrent"), "7074600");
    EXPECT_EQ(stored("Preset.0.4", "DemodMode"), "2");
    EXPECT_EQ(stored("Preset.0.4", "When"), "2006-01-06 09:05:03");
}

TEST_F(BandWindow, APresetThatCannotBeWrittenWhenStoredIsSaidSoAndKept)
{
    plans.BandPlans[0].FileName = folder.filePath("Test.bpl/not-a-folder.bpl");
    ASSERT_TRUE(QFile(folder.filePath("Test.bpl")).open(QIODevice::WriteOnly));
    controls->SelectBand(0);
    rx.T = 70746000;
    click(preset(4), Qt::RightButton, Qt::ShiftModifier);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].title, "ORVIKSDR - Band plan not saved");
    EXPECT_TRUE(shown.shown()[0].text.contains(plans.BandPlans[0].FileName + ": "))
        << shown.shown()[0].text.toStdString();
    EXPECT_TRUE(shown.shown()[0].text.contains("tried again when the program closes"));
    EXPECT_EQ(sub(0).Presets[4].Settings.FreqCurrent, 7074600);
    EXPECT_EQ(preset(4)->text(), "7075");
    EXPECT_TRUE(plans.BandPlanChanged(plans.BandPlans[0]));
}

TEST_F(BandWindow, RightClickShowsTheMenuOnceWithEditOnlyForAUsedPreset)
{
    controls->SelectBand(0);
    QMenu* menu = controls->mnuUserPresets();
    int shownCount = 0;
    QObject::connect(menu, &QMenu::aboutToShow, [&] { ++shownCount; });
    QAction* edit = menu->findChild<QAction*>("mnuUserPresets_Edit");
    click(preset(6), Qt::RightButton);
    EXPECT_EQ(shownCount, 1);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(edit->isEnabled());
    menu->hide();
    click(preset(0), Qt::RightButton);
    EXPECT_EQ(shownCount, 2);
    EXPECT_TRUE(edit->isEnabled());
    menu->hide();
}

TEST_F(BandWindow, EditDialogSavesACapturedPresetKeepsAnUnofferedModeAndCancelChangesNothing)
{
    controls->SelectBand(0);
    Preset& fm = sub(0).Presets[0];
    fm.Settings.DemodMode = 4; // FM: not among the editor's modes
    fm.When = "2020-02-03 04:05:06";
    click(preset(0), Qt::RightButton);
    controls->mnuUserPresets()->hide();

    const Preset before = fm;
    answer = [](frmEditUserPreset& e) {
        EXPECT_FALSE(e.optDemodulationValue[0]->isChecked());
        e.txtPresetValues[1]->setText("7 060 000");
        e.cmdCancel->click();
    };
    controls->mnuUserPresets()->findChild<QAction*>("mnuUserPresets_Edit")->trigger();
    EXPECT_EQ(dialogTitle, "ORVIKSDR - Edit Preset 0");
    EXPECT_EQ(dialogTexts, (QStringList{"Preset at 7050600", "7 050 600", "2020-02-03", "04:05:06"}));
    EXPECT_EQ(fm, before);
    EXPECT_FALSE(QFile::exists(plans.BandPlans[0].FileName)) << "nothing stored, nothing written";

    answer = [](frmEditUserPreset& e) {
        EXPECT_EQ(e.cmdSave->text(), "&Update");
        e.txtPresetValues[0]->setText("Edited");
        e.txtPresetValues[1]->setText("7 060 500");
        e.optFilteringValues[0]->click();
        e.cmdSave->click();
    };
    controls->mnuUserPresets()->findChild<QAction*>("mnuUserPresets_Edit")->trigger();
    EXPECT_EQ(fm.Settings.FreqCurrent, 7060500);
    EXPECT_EQ(fm.Settings.DemodMode, 4);
    EXPECT_EQ(fm.Settings.FilterMode, 0);
    EXPECT_TRUE(fm.Settings.Captured); // reaches the band-plan file
    EXPECT_TRUE(fm.Active);
    EXPECT_EQ(fm.Caption, "7061"); // 500 Hz and more round the kHz up
    EXPECT_EQ(fm.Description, "Edited");
    EXPECT_EQ(preset(0)->text(), "7061");
    EXPECT_EQ(rx.applied.back().FreqCurrent, 7060500);
    EXPECT_EQ(stored("Preset.0.0", "FreqCurrent"), "7060500");
    EXPECT_EQ(stored("Preset.0.0", "Description"), "Edited");

    // Below 500 Hz the caption rounds down.
    answer = [](frmEditUserPreset& e) {
        e.txtPresetValues[1]->setText("7060499");
        e.cmdSave->click();
    };
    controls->mnuUserPresets()->findChild<QAction*>("mnuUserPresets_Edit")->trigger();
    EXPECT_EQ(fm.Caption, "7060");

    // A frequency that is not one leaves the dialog open with a message, and the preset as it was.
    answer = [](frmEditUserPreset& e) {
        e.txtPresetValues[1]->setText("none");
        e.cmdSave->click();
        EXPECT_TRUE(e.result() == QDialog::Rejected);
        e.cmdCancel->click();
    };
    controls->mnuUserPresets()->findChild<QAction*>("mnuUserPresets_Edit")->trigger();
    EXPECT_EQ(fm.Settings.FreqCurrent, 7060499);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_TRUE(shown.shown()[0].text.contains("frequency"));
}

TEST_F(BandWindow, SaveMenuStoresTheTunedFrequencyModeAndFilterIntoAnUnusedPreset)
{
    controls->SelectBand(0);
    rx.T = 70123400;
    rx.DemodMode = 2;
    rx.FilterMode = 3;
    click(preset(7), Qt::RightButton);
    controls->mnuUserPresets()->hide();
    answer = [](frmEditUserPreset& e) {
        EXPECT_TRUE(e.optDemodulationValue[2]->isChecked());
        EXPECT_TRUE(e.optFilteringValues[3]->isChecked());
        EXPECT_EQ(e.cmdSave->text(), "&Save");
        e.cmdSave->click();
    };
    controls->mnuUserPresets()->findChild<QAction*>("mnuUserPresets_Save")->trigger();
    EXPECT_EQ(dialogTitle, "ORVIKSDR - Save Current Settings to Preset 7");
    EXPECT_EQ(dialogTexts[1], "7 012 340");
    EXPECT_EQ(dialogTexts[2], "2006-01-06");
    const Preset& p = sub(0).Presets[7];
    EXPECT_EQ(p.Settings.FreqCurrent, 7012340);
    EXPECT_EQ(p.Settings.DemodMode, 2);
    EXPECT_EQ(p.Settings.FilterMode, 3);
    EXPECT_TRUE(p.Settings.Captured);
    EXPECT_FALSE(p.Active);
    EXPECT_EQ(preset(7)->text(), "7012");
    EXPECT_EQ(checkedPreset(), 7);
    EXPECT_EQ(stored("Preset.0.7", "FreqCurrent"), "7012340");
    EXPECT_EQ(stored("Preset.0.7", "FilterMode"), "3");
}

TEST_F(BandWindow, CtrlWithAKeyTogglesTheDescriptionWindowWhichDescribesWhatIsHovered)
{
    controls->SelectBand(0);
    sub(0).Presets[0].When = "2006-01-06 09:05:03";
    preset(0)->setFocus();
    QTest::keyClick(preset(0), Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(controls->ShowPresetDesc);
    frmPresetDesc* desc = controls->presetDescription();
    ASSERT_NE(desc, nullptr);
    EXPECT_TRUE(desc->isVisible());

    QTest::mouseMove(preset(0), QPoint(4, 4));
    EXPECT_EQ(desc->lblCaption->text(), "Preset at 7050600");
    EXPECT_EQ(desc->lblPresetDesc->text(), "Frequency=7050\nModulation=LSB\nFilter=F0\nDate=2006/01/06\nTime=09:05");
    QTest::mouseMove(subBand(1), QPoint(4, 4));
    EXPECT_EQ(desc->lblPresetDesc->text(), "Band=31m\nFreq Lo=9400000\nFreq Hi=9900000");

    // A key without Ctrl does nothing; Ctrl again returns to the first state.
    QTest::keyClick(preset(0), Qt::Key_D);
    EXPECT_TRUE(controls->ShowPresetDesc);
    QTest::keyClick(preset(0), Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(controls->ShowPresetDesc);
    EXPECT_FALSE(desc->isVisible());
    QTest::mouseMove(preset(1), QPoint(4, 4));
    EXPECT_FALSE(desc->isVisible());
}

// Records where the description window is and what it says each time it is shown.
class DescriptionShowings : public QObject {
public:
    struct Showing {
        QString caption;
        QString text;
        QPoint at;
    };
    DescriptionShowings() { qApp->installEventFilter(this); }
    ~DescriptionShowings() override { qApp->removeEventFilter(this); }
    std::vector<Showing> showings;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == "frmPresetDesc") {
            auto* desc = static_cast<frmPresetDesc*>(watched);
            showings.push_back({desc->lblCaption->text(), desc->lblPresetDesc->text(), desc->pos()});
        }
        return false;
    }
};

// It used to come up as an empty box in the screen's top-left corner until the pointer
// reached a preset.
TEST_F(BandWindow, TheDescriptionWindowFirstShowsInItsPlaceWithItsText)
{
    window->move(300, 200);
    controls->SelectBand(0);
    DescriptionShowings watch;
    QCursor::setPos(10, 10); // away from every button
    preset(1)->setFocus();
    QTest::keyClick(preset(1), Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(watch.showings.size(), 1u);
    EXPECT_EQ(watch.showings[0].caption, "Preset at 7100000");
    EXPECT_TRUE(watch.showings[0].text.startsWith("Frequency=7100\nModulation=USB\n"))
        << watch.showings[0].text.toStdString();
    const QPoint below = preset(1)->mapToGlobal(QPoint(0, preset(1)->height()));
    EXPECT_LE((watch.showings[0].at - below).manhattanLength(), 30)
        << watch.showings[0].at.x() << "," << watch.showings[0].at.y();

    QTest::keyClick(preset(1), Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(controls->presetDescription()->isVisible());

    // With the pointer on the button, beside the pointer.
    const QPoint pointer = preset(0)->mapToGlobal(QPoint(6, 4));
    QCursor::setPos(pointer);
    preset(0)->setFocus();
    QTest::keyClick(preset(0), Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(watch.showings.size(), 2u);
    EXPECT_EQ(watch.showings[1].caption, "Preset at 7050600");
    EXPECT_LE((watch.showings[1].at - pointer).manhattanLength(), 30)
        << watch.showings[1].at.x() << "," << watch.showings[1].at.y();
}

TEST_F(BandWindow, HoveringSwapsTheSubBandLabelAndThePickers)
{
    controls->SelectBand(0);
    ASSERT_TRUE(panel.cboBandSelect->isVisible());
    QTest::mouseMove(subBand(0), QPoint(4, 4));
    EXPECT_FALSE(panel.cboBandSelect->isVisible());
    EXPECT_FALSE(panel.cboSubBandSelect->isVisible());
    EXPECT_TRUE(panel.lblSubBand->isVisible());

    // Over the sub-band label its combo box comes up in its place.
    QTest::mouseMove(panel.lblSubBand, QPoint(4, 4));
    EXPECT_FALSE(panel.lblSubBand->isVisible());
    EXPECT_TRUE(panel.cboSubBandSelect->isVisible());

    // Over the frame's top edge above the band picker, the band picker comes back.
    const QPoint over(panel.cboBandSelect->x() + 4, 1);
    QTest::mouseMove(panel.frPresets, over);
    EXPECT_TRUE(panel.cboBandSelect->isVisible());
    EXPECT_TRUE(panel.lblSubBand->isVisible() != panel.cboSubBandSelect->isVisible());

    // Opening a picker's list moves the focus into the list: the picker stays. Leaving
    // it for anything else hides it.
    for (QComboBox* picker : {panel.cboBandSelect, panel.cboSubBandSelect}) {
        picker->setVisible(true);
        QFocusEvent opening(QEvent::FocusOut, Qt::PopupFocusReason);
        QApplication::sendEvent(picker, &opening);
        EXPECT_TRUE(picker->isVisible()) << picker->objectName().toStdString();
        QFocusEvent leaving(QEvent::FocusOut, Qt::MouseFocusReason);
        QApplication::sendEvent(picker, &leaving);
        EXPECT_FALSE(picker->isVisible()) << picker->objectName().toStdString();
    }

    // Choosing a sub-band in its combo box recalls it and names it on the label.
    panel.cboSubBandSelect->setVisible(true);
    panel.cboSubBandSelect->setCurrentIndex(1);
    emit panel.cboSubBandSelect->activated(1);
    EXPECT_EQ(plans.BandPlans[0].ActiveSubBand, 1);
    EXPECT_EQ(panel.lblSubBand->text(), " 31m ");
    EXPECT_EQ(panel.lblSubBand->property("Tag").toInt(), 1);
}

TEST_F(BandWindow, TrackingUnmarksAPresetMoreThan500HzAwayAndCapturesTheSubBandOnThatTick)
{
    controls->SelectBand(0);
    click(preset(1)); // 7 100 000 Hz, marked
    rx.DemodMode = 3;
    rx.T = 71005000; // exactly 500 Hz away: still marked, and followed without its frequency
    controls->tmrSubBands_Timer();
    EXPECT_TRUE(sub(0).Presets[1].Active);
    EXPECT_EQ(sub(0).Presets[1].Settings.DemodMode, 3);
    EXPECT_EQ(sub(0).Presets[1].Settings.FreqCurrent, 7100000);
    EXPECT_TRUE(sub(0).Presets[1].Settings.Captured);
    EXPECT_FALSE(sub(0).Settings.Captured);

    rx.T = 71005001; // 500.1 Hz
    controls->tmrSubBands_Timer();
    EXPECT_FALSE(sub(0).Presets[1].Active);
    EXPECT_FALSE(preset(1)->isChecked());
    EXPECT_EQ(textColour(preset(1)), 0xC0C000u);
    EXPECT_TRUE(sub(0).Settings.Captured);
    EXPECT_EQ(sub(0).Settings.FreqCurrent, 7100500);

    // The sub-band block follows the receiver while no preset is marked.
    rx.FilterMode = 4;
    controls->tmrSubBands_Timer();
    EXPECT_EQ(sub(0).Settings.FilterMode, 4);
}

TEST_F(BandWindow, TrackingPausesWhileApplyingAndLeavesPresetsAloneWithoutAutoTrack)
{
    controls->SelectBand(0);
    click(preset(1));
    const int captures = rx.captures;
    rx.applying = true;
    rx.T = 90000000;
    controls->tmrSubBands_Timer();
    EXPECT_EQ(rx.captures, captures);
    EXPECT_TRUE(sub(0).Presets[1].Active);

    rx.applying = false;
    rx.autoTrack = false;
    rx.T = 71000000;
    rx.DemodMode = 0;
    controls->tmrSubBands_Timer();
    EXPECT_EQ(rx.captures, captures);
    EXPECT_EQ(sub(0).Presets[1].Settings.DemodMode, 1);

    // A sub-band without a marked preset index is never captured.
    click(subBand(1));
    const int later = rx.captures;
    controls->tmrSubBands_Timer();
    EXPECT_EQ(rx.captures, later);
    EXPECT_FALSE(sub(1).Settings.Captured);
}

TEST_F(BandWindow, TheTimerRunsTheTrackingEvery300Ms)
{
    controls->SelectBand(0);
    click(preset(1));
    QTimer* timer = window->findChild<QTimer*>("tmrSubBands");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 300);
    timer->start();
    rx.T = 80000000;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sub(0).Presets[1].Active; }, 30000));
}

TEST_F(BandWindow, IndexesOutsideTheirRangesAreNeverUsed)
{
    controls->SelectBand(0);
    const size_t applied = rx.applied.size();
    const int captures = rx.captures;

    sub(0).ActivePreset = 40;
    controls->tmrSubBands_Timer();
    click(subBand(0));
    sub(0).ActivePreset = 40;
    click(preset(3), Qt::RightButton);
    controls->mnuUserPresets()->hide();
    sub(0).ActivePreset = 40;
    controls->mnuUserPresets_Edit_Click();

    plans.BandPlans[0].ActiveSubBand = 30;
    controls->tmrSubBands_Timer();
    click(preset(0));
    controls->SelectBand(0);

    plans.CurrentMainBandIndex = 3;
    controls->tmrSubBands_Timer();
    click(preset(0));
    click(subBand(0));
    controls->SelectBand(7);
    controls->SelectBand(-1);
    EXPECT_EQ(plans.CurrentMainBandIndex, 3);
    // Only the one click on a valid sub-band applied anything.
    EXPECT_EQ(rx.applied.size(), applied + 1);
    EXPECT_EQ(rx.captures, captures);
}

TEST_F(BandWindow, APickerStaysUpWhileItsOwnListIsOpenAndChoosesWhatIsPickedThere)
{
    addSecondBand();
    controls->SelectBand(0);
    controls->foldBandPickers();
    activate();
    // The upper half of the band picture brings the picker up under the pointer.
    pointAt(panel.imgBandSelect, QPoint(10, 2));
    ASSERT_TRUE(panel.cboBandSelect->isVisible());
    pressToOpen(panel.cboBandSelect);
    // Opening the list moves the keyboard focus into the list's window: not leaving the picker.
    EXPECT_TRUE(panel.cboBandSelect->isVisible());
    ASSERT_TRUE(listWindow(panel.cboBandSelect)->isVisible());
    dragOntoAndRelease(panel.cboBandSelect, 1);
    EXPECT_FALSE(listWindow(panel.cboBandSelect)->isVisible());
    EXPECT_EQ(plans.CurrentMainBandIndex, 1);
    EXPECT_EQ(panel.frPresets->title(), "Other bands");
    EXPECT_EQ(rx.applied.back().FreqCurrent, 14074000);
    EXPECT_TRUE(panel.cboBandSelect->isVisible());

    // The sub-band picker comes up over its label with the focus, which leaves the band
    // picker for another control: the band picker goes.
    pointAt(panel.lblSubBand, QPoint(4, 4));
    EXPECT_FALSE(panel.cboBandSelect->isVisible());
    ASSERT_TRUE(panel.cboSubBandSelect->isVisible());
    pressToOpen(panel.cboSubBandSelect);
    EXPECT_TRUE(panel.cboSubBandSelect->isVisible());
    ASSERT_TRUE(listWindow(panel.cboSubBandSelect)->isVisible());
    dragOntoAndRelease(panel.cboSubBandSelect, 0);
    EXPECT_TRUE(panel.cboSubBandSelect->isVisible());
    EXPECT_EQ(panel.lblSubBand->text(), " 20m ");

    // A press on another control that takes the focus is leaving the picker.
    clickThroughWindow(preset(0));
    EXPECT_FALSE(panel.cboSubBandSelect->isVisible());
}

TEST_F(BandWindow, ChoosingASubBandByItsButtonNamesItOnTheLabelAndInBothLists)
{
    controls->SelectBand(0);
    ASSERT_EQ(panel.lblSubBand->text(), " 40m ");
    clickThroughWindow(subBand(1));
    EXPECT_EQ(plans.BandPlans[0].ActiveSubBand, 1);
    EXPECT_EQ(panel.lblSubBand->text(), " 31m ");
    EXPECT_EQ(panel.lblSubBand->property("Tag").toInt(), 1);
    EXPECT_EQ(panel.lstSubBandSelect->currentRow(), 1);
    EXPECT_EQ(panel.cboSubBandSelect->currentIndex(), 1);
    clickThroughWindow(subBand(0));
    EXPECT_EQ(panel.lblSubBand->text(), " 40m ");
}

TEST_F(BandWindow, ABandChangeAppliesItsSubBandOrMarkedPresetOnce)
{
    addSecondBand();
    plans.BandPlans[0].ActiveSubBand = 1;
    controls->SelectBand(0);
    // To "Other", whose sub-band button was not the chosen one: its block, once.
    size_t before = rx.applied.size();
    controls->SelectBand(1);
    ASSERT_EQ(rx.applied.size(), before + 1);
    EXPECT_EQ(rx.applied.back().FreqCurrent, 14074000);

    // Back to a sub-band with a marked preset, its button chosen before and not chosen.
    plans.BandPlans[0].ActiveSubBand = 0;
    sub(0).ActivePreset = 1;
    sub(0).Presets[1].Active = true;
    for (bool buttonChosen : {true, false}) {
        subBand(0)->setChecked(buttonChosen);
        before = rx.applied.size();
        controls->SelectBand(0);
        ASSERT_EQ(rx.applied.size(), before + 1) << "button chosen before: " << buttonChosen;
        EXPECT_EQ(rx.applied.back().FreqCurrent, 7100000);
        EXPECT_EQ(checkedPreset(), 1);
        EXPECT_EQ(textColour(preset(1)), 0xFFFF00u);
        EXPECT_EQ(panel.lblSubBand->text(), " 40m ");
    }
}

TEST_F(BandWindow, ThePictureUnderThePointerUnfocusesOnceAndBringsTheBandPickerBack)
{
    controls->SelectBand(0);
    controls->foldBandPickers();
    ASSERT_FALSE(panel.cboBandSelect->isVisible());
    // The upper half of the picture: the picker comes back under the pointer.
    pointAt(panel.imgBandSelect, QPoint(10, 2));
    EXPECT_EQ(rx.unfocused, 1);
    EXPECT_EQ(rx.deactivated, 1);
    EXPECT_TRUE(panel.cboBandSelect->isVisible());
}

} // namespace
} // namespace orvik::testing
