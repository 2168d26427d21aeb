#include "../TestBed.h"

#include "common/Numeric.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsVFO.h"
#include "tuning/ui/frmCalibrate.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace orvik;
using namespace orvik::testing;

namespace {

class Calibrate : public TuningTest {
protected:
    void SetUp() override
    {
        TuningTest::SetUp();
        chip.setName("DDSAD9951");
        chip.setClkIn(360096000);
        vfo = std::make_unique<clsVFO>(*store);
        vfo->setOscType(&chip);
        vfo->setIFFrequency(45000000);
    }
    void TearDown() override
    {
        vfo.reset();
        TuningTest::TearDown();
    }
    QString text(frmCalibrate& d, const char* name) { return d.findChild<QLabel*>(name)->text(); }
    QPushButton* button(frmCalibrate& d, const char* name) { return d.findChild<QPushButton*>(name); }

    clsAD9951 chip;
    std::unique_ptr<clsVFO> vfo;
};

} // namespace

TEST_F(Calibrate, StationAtTenMegahertzGivesTheCorrectedClock)
{
    vfo->setTunedFrequency(100000000);
    ASSERT_EQ(chip.CurrentTuningWord(), 656000626);
    frmCalibrate d(*vfo, store.get());
    EXPECT_EQ(d.windowTitle(), "ORVIKSDR - Calibrate DDS CLKIN");
    EXPECT_EQ(text(d, "lblCurrentTunedFreq"), "10 000 000");
    EXPECT_EQ(text(d, "lblDDSClkInCurrent"), "360 096 000");
    EXPECT_EQ(d.findChild<QLineEdit*>("txtOfficialFreq")->text(), "10000000");
    d.findChild<QLineEdit*>("txtOfficialFreq")->setText("10 000 000");
    ASSERT_TRUE(d.newClock());
    EXPECT_NEAR(*d.newClock(), 360095999.8, 0.05);
    EXPECT_EQ(text(d, "lblDDSClkinNew"), "360 096 000");

    // A station 100 Hz higher than tuned: the clock was 3.6 kHz slow.
    d.findChild<QLineEdit*>("txtOfficialFreq")->setText("10000100");
    EXPECT_NEAR(*d.newClock(), 4294967296.0 * 55000100 / 656000626, 1e-3);
    QTest::mouseClick(button(d, "cmdTry"), Qt::LeftButton);
    EXPECT_EQ(chip.MaxFreq(), RoundEven(*d.newClock() * 10 / 2));
    EXPECT_TRUE(messagesShown.shown().empty());

    QTest::mouseClick(button(d, "cmdCancel"), Qt::LeftButton);
    EXPECT_FALSE(d.ApplyChanges);
    EXPECT_EQ(chip.ClkIn(), 360096000);
    EXPECT_EQ(chip.MaxFreq(), 1800480000);
    EXPECT_TRUE(store->read("DDSAD9951", "ClkIn", "").isEmpty());
}

TEST_F(Calibrate, ZeroIsRefusedAndAnEmptyFieldIsNotAZero)
{
    vfo->setTunedFrequency(100000000);
    frmCalibrate d(*vfo, store.get());
    const double computed = *d.newClock();
    auto* field = d.findChild<QLineEdit*>("txtOfficialFreq");
    field->setText("");
    EXPECT_TRUE(messagesShown.shown().empty());
    field->setText("0");
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_EQ(messagesShown.shown()[0].text, "Official Frequency must not be ZERO");
    EXPECT_DOUBLE_EQ(*d.newClock(), computed);
    EXPECT_EQ(text(d, "lblDDSClkinNew"), "360 096 000");
}

TEST_F(Calibrate, NoClockBeforeAFrequencyWasSent)
{
    ASSERT_EQ(chip.CurrentTuningWord(), 0);
    frmCalibrate d(*vfo, store.get());
    EXPECT_FALSE(d.newClock());
    EXPECT_FALSE(button(d, "cmdTry")->isEnabled());
    EXPECT_FALSE(button(d, "cmdApply")->isEnabled());
    d.cmdApply_Click();
    EXPECT_FALSE(d.ApplyChanges);
    EXPECT_EQ(chip.ClkIn(), 360096000);
}

TEST_F(Calibrate, LowSideStationBelowTheIfGivesAPositiveClock)
{
    vfo->setHiSideLO(false);
    vfo->setTunedFrequency(100000000);
    ASSERT_EQ(chip.CurrentTuningWord(), 417454944);
    frmCalibrate d(*vfo, store.get());
    ASSERT_TRUE(d.newClock());
    EXPECT_NEAR(*d.newClock(), 360095999.6, 0.05);
}

TEST_F(Calibrate, AppliedClockIsUsedAtTheNextStart)
{
    vfo->setTunedFrequency(100000000);
    {
        frmCalibrate d(*vfo, store.get());
        d.findChild<QLineEdit*>("txtOfficialFreq")->setText("10000100");
        QTest::mouseClick(button(d, "cmdApply"), Qt::LeftButton);
        EXPECT_TRUE(d.ApplyChanges);
    }
    const double applied = chip.ClkIn();
    EXPECT_NE(applied, 360096000);
    vfo.reset();

    RecordingModemLines* unused = nullptr;
    auto lines = std::make_unique<RecordingModemLines>();
    unused = lines.get();
    store->write("frmMain", "VFO1.IFType", "1");
    SynthesizerRig rig = SetUpSynthesizer(*store, "frmMain", std::move(lines), std::make_unique<RecordingParallelPort>());
    ASSERT_TRUE(rig.DDSAD9951);
    EXPECT_EQ(rig.DDSAD9951->ClkIn(), applied);
    EXPECT_TRUE(unused->log.empty());

    // A damaged stored clock falls back to the one derived from the IF.
    rig = SynthesizerRig();
    store->write("DDSAD9951", "ClkIn", "fast");
    rig = SetUpSynthesizer(*store, "frmMain", std::make_unique<RecordingModemLines>(),
                           std::make_unique<RecordingParallelPort>());
    EXPECT_EQ(rig.DDSAD9951->ClkIn(), 360096000);
    EXPECT_TRUE(logLines.join('\n').contains("DDSAD9951: stored clock \"fast\""));
}
