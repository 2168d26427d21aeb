// The receiver's controls as a user meets them: clicks, keys and right clicks on the
// widgets of a bare window, and what they do to the receiver and its audio.

#include "../ReceiverRig.h"

#include "common/Numeric.h"

#include "receiver/ui/ReceiverControls.h"
#include "receiver/ui/ReceiverPanels.h"
#include "shell/widgets/ControlFactory.h"
#include "shell/widgets/Dial.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::testing {
namespace {

class LabelCaption : public AdjusterLabel {
public:
    explicit LabelCaption(QLabel* label) : label_(label) {}
    void SetCaption(const QString& caption) override { label_->setText(caption); }
    QString Caption() const override { return label_->text(); }
    void SetForeColour(uint32_t colour) override { setTextColour(label_, colour); }
    void SetBorder(bool) override {}

private:
    QLabel* label_;
};

constexpr int kSettleBlocks = 6;
constexpr int kMeasureBlocks = 8;

struct ReceiverWindow : ::testing::Test {
    ReceiverWindow()
    {
        window->resize(1300, 400);
        panel = buildReceiverControls(window.get());
        ReceiverHandlers::Hooks hooks;
        hooks.vfoHiSideLO = [this] { return rig.vars.HiSideLO; };
        hooks.setOutputAttenuation = [this](float level) { rig.sound.setOutputAttenuation(RoundEven(level)); };
        rc = std::make_unique<ReceiverControls>(window.get(), panel, *rig.core, table, hooks);
        for (int id : rxadj::All) {
            const AdjusterDefinition* d = CtlArray::definition(id);
            labels.push_back(std::make_unique<LabelCaption>(window->findChild<QLabel*>(d->labelName)));
            table.Define(id, labels.back().get(), rc->applyProcedure(id));
        }
        rc->initialiseNoiseBlankerSlider();
        rc->initialiseNoiseBlankerDial();
        rc->initialiseOutputDial();
        rc->initialiseOutputSlider();
        window->show();
    }

    QString caption(const char* label) const { return window->findChild<QLabel*>(label)->text(); }
    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }
    // Audio level of a tone after the settings made so far take effect.
    double levelOf(double ifHz, double audioHz)
    {
        rig.powerOn();
        rig.run(kSettleBlocks + kMeasureBlocks, tone(ifHz, 3000));
        return levelAt(rig.tail(kMeasureBlocks), audioHz);
    }

    ReceiverRig rig{kDemodAM};
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    ReceiverPanel panel;
    CtlArray table;
    std::vector<std::unique_ptr<LabelCaption>> labels;
    std::unique_ptr<ReceiverControls> rc;
};

TEST_F(ReceiverWindow, EachOptionGroupTakesTheClickAndHighlightsTheChoice)
{
    click(panel.optMode[1]);
    EXPECT_EQ(rig.vars.DemodMode, kDemodUSB);
    click(panel.optFilter[1]);
    EXPECT_EQ(rig.vars.FilterMode, 1);
    EXPECT_EQ(rig.vars.FilterHi, 600);
    EXPECT_EQ(caption("lblFHi"), "600");
    EXPECT_EQ(caption("lblFilterLo"), "200");
    click(panel.chkAGC);
    click(panel.optAGC[3]);
    EXPECT_EQ(rig.vars.AGCMode, 3);
    EXPECT_EQ(caption("lblAGCAttack"), "10.0");

    const struct {
        const char* group;
        int count;
        int chosen;
    } groups[] = {{"optMode", 6, 1}, {"optFilter", 5, 1}, {"optAGC", 5, 3}};
    for (const auto& g : groups)
        for (int i = 0; i < g.count; ++i) {
            QWidget* b = controlElement(window.get(), g.group, i);
            EXPECT_EQ(textColour(b), i == g.chosen ? 0xFFFF00u : 0xC0C000u) << g.group << i;
            EXPECT_EQ(static_cast<QRadioButton*>(b)->isChecked(), i == g.chosen) << g.group << i;
        }

    // With the IF filter off a click on its group snaps back to the mode in force.
    click(panel.optIFFilter[2]);
    EXPECT_TRUE(panel.optIFFilter[1]->isChecked());
    EXPECT_FALSE(rig.vars.IFFilterActive);
    click(panel.chkIFFilter);
    click(panel.optIFFilter[2]);
    EXPECT_EQ(rig.vars.IFFilterMode, 2);
    EXPECT_EQ(textColour(panel.optIFFilter[2]), 0xFFFF00u);
    EXPECT_FALSE(panel.lblIFHi->isVisible());
}

// In the window's own font each AGC caption has its whole width beside its button, and no
// button reaches into another or out of the frame.
TEST_F(ReceiverWindow, TheAgcCaptionsFitBesideTheirButtons)
{
    auto* frame = window->findChild<QWidget*>("frAGC");
    ASSERT_NE(frame, nullptr);
    std::vector<QAbstractButton*> buttons{panel.chkAGC};
    buttons.insert(buttons.end(), panel.optAGC.begin(), panel.optAGC.end());
    for (size_t i = 0; i < buttons.size(); ++i) {
        QAbstractButton* b = buttons[i];
        const std::string name = b->text().toStdString();
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const QRect room = b->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, b);
        if (b != panel.chkAGC)
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), room.width()) << name;
        EXPECT_TRUE(frame->rect().contains(b->geometry())) << name;
        for (size_t j = i + 1; j < buttons.size(); ++j)
            EXPECT_FALSE(b->geometry().intersects(buttons[j]->geometry()))
                << name << " and " << buttons[j]->text().toStdString();
    }
}

TEST_F(ReceiverWindow, AFilterRowWithoutAButtonShowsNoButtonChosen)
{
    click(panel.optFilter[1]);
    rc->handlers().optFilter_Click(6); // as a recalled settings block does
    EXPECT_EQ(rig.vars.FilterMode, 6);
    EXPECT_EQ(caption("lblFHi"), "0");
    for (QRadioButton* b : panel.optFilter) {
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
        EXPECT_EQ(textColour(b), 0xC0C000u) << b->objectName().toStdString();
    }
    click(panel.optFilter[2]);
    EXPECT_EQ(rig.vars.FilterMode, 2);
    EXPECT_TRUE(panel.optFilter[2]->isChecked());
    EXPECT_FALSE(panel.optFilter[1]->isChecked());
}

TEST_F(ReceiverWindow, CheckBoxesSwitchTheirStageAndShowIt)
{
    click(panel.chkMute);
    EXPECT_TRUE(rig.vars.Mute);
    EXPECT_EQ(textColour(panel.chkMute), 0xFFFF00u);
    click(panel.chkMute);
    EXPECT_FALSE(rig.vars.Mute);
    EXPECT_EQ(textColour(panel.chkMute), 0xC0C000u);

    click(panel.chkNB);
    EXPECT_TRUE(rig.vars.NBOn);
    EXPECT_TRUE(panel.sldNB->isEnabled());
    click(panel.chkNB);
    EXPECT_FALSE(panel.dialNB->isEnabled());
    EXPECT_TRUE(table[9].Disabled);

    click(panel.chkDynFilter);
    EXPECT_TRUE(rig.core->DynamicFilter.Active);
    click(panel.chkNotchOn);
    EXPECT_TRUE(rig.vars.NotchActive);
    EXPECT_FALSE(table[11].Disabled);
    click(panel.chkIFFilter);
    EXPECT_TRUE(rig.core->IFFilter.Active);
    click(panel.chkMusic);
    EXPECT_EQ(rig.vars.FilterLo, 50);
}

TEST_F(ReceiverWindow, InvertedSlidersMoveTheEdgesAndTheRightButtonRestoresThem)
{
    click(panel.optFilter[3]); // 300 .. 3000
    QSlider* lo = panel.sldBW[0];
    EXPECT_EQ(lo->value(), 1999 - 300);
    lo->setFocus();
    QTest::keyClick(lo, Qt::Key_Up); // one step up the slider is one hertz lower
    EXPECT_EQ(rig.vars.FilterLo, 299);
    EXPECT_EQ(caption("lblFLo"), "299");
    EXPECT_EQ(caption("lblFilterLo"), "299");
    EXPECT_EQ(table[8].Value, 299);
    QTest::mouseClick(lo, Qt::RightButton);
    EXPECT_EQ(rig.vars.FilterLo, 300);
    EXPECT_EQ(lo->toolTip(), "Flo : 300 Hz");

    QSlider* width = panel.sldNotchWidth;
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Up);
    EXPECT_EQ(rig.vars.NotchWidth, 1000 + 10 - width->value());
    QTest::mouseClick(width, Qt::RightButton);
    EXPECT_EQ(rig.vars.NotchWidth, 200);
}

TEST_F(ReceiverWindow, DialsAndSlidersOfOneValueMoveTogether)
{
    panel.dialOutVol->setPageStep(500);
    panel.dialOutVol->setFocus();
    QTest::keyClick(panel.dialOutVol, Qt::Key_PageDown);
    const int moved = panel.dialOutVol->value();
    EXPECT_LT(moved, 0);
    EXPECT_EQ(panel.sldOutVolume->value(), moved);
    EXPECT_EQ(table[10].Value, moved);
    EXPECT_EQ(caption("lblOutVol").toStdString(), OutputLevelCaption(static_cast<float>(moved)));
    QTest::mouseClick(panel.sldOutVolume, Qt::RightButton);
    EXPECT_EQ(panel.dialOutVol->value(), 0);
    EXPECT_EQ(caption("lblOutVol"), "0.0");

    click(panel.chkNB);
    panel.sldNB->setFocus();
    QTest::keyClick(panel.sldNB, Qt::Key_PageUp);
    EXPECT_EQ(panel.dialNB->value(), panel.sldNB->value());
    EXPECT_GT(rig.vars.NBThreshold, 0.0f);
    panel.dialNB->setFocus();
    QTest::keyClick(panel.dialNB, Qt::Key_PageDown);
    EXPECT_EQ(panel.sldNB->value(), panel.dialNB->value());
}

TEST_F(ReceiverWindow, AnEdgeBeyondItsSliderIsNotWrittenBackFromTheSlider)
{
    table[7].Value = 6000;
    table.Apply(7);
    rc->handlers().optFilter_Click(-1);
    EXPECT_EQ(panel.sldBW[1]->value(), 0);
    EXPECT_EQ(rig.vars.FilterHi, 6000);
    EXPECT_EQ(caption("lblFHi"), "6000");
}

TEST_F(ReceiverWindow, ControlsChangeWhatIsHeard)
{
    click(panel.optMode[kDemodUSB]);
    click(panel.optFilter[3]);
    const double usb = levelOf(13000, 1000); // 1 kHz above the IF: the upper sideband
    click(panel.optMode[kDemodLSB]);
    const double lsb = levelOf(13000, 1000);
    EXPECT_GT(usb, 500);
    EXPECT_LT(lsb, usb / 100);

    // The notch on the tone's audio frequency takes it out.
    click(panel.optMode[kDemodUSB]);
    click(panel.chkNotchOn);
    click(panel.optNotch[0]);
    table[11].Value = 1000;
    table.Apply(11);
    const double notched = levelOf(13000, 1000);
    EXPECT_LT(notched, usb / 30);
    click(panel.chkNotchOn);

    // Mute silences; the output gain raises the level by the decibels its caption shows.
    click(panel.chkMute);
    levelOf(13000, 1000);
    EXPECT_EQ(rig.sound.attenuation, -10000); // the sound output is silenced
    click(panel.chkMute);
    const double before = levelOf(13000, 1000);
    table[10].Value = 1000;
    table.Apply(10);
    const double after = levelOf(13000, 1000);
    EXPECT_NEAR(20 * std::log10(after / before), caption("lblOutVol").toDouble(), 0.2);
    // Below zero the level goes to the sound output, in hundredths of the caption's decibels.
    table[10].Value = -2500;
    table.Apply(10);
    EXPECT_EQ(rig.sound.attenuation, static_cast<int32_t>(caption("lblOutVol").toDouble() * 100));
}

} // namespace
} // namespace orvik::testing
