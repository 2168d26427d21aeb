#include "TestBed.h"

#include "tuning/SynthDriver.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsVFO.h"

using namespace orvik;
using namespace orvik::testing;

namespace {

// A chip that only remembers what it was asked to produce.
class RecordingDriver : public SynthDriver {
public:
    explicit RecordingDriver(double clock)
        : SynthDriver(QStringLiteral("RecordingDriver"), 0)
    {
        setClkIn(clock);
    }
    int32_t Initialise() override { return 0; }
    int32_t SetFrequency(int32_t FrequencyToSet) override
    {
        sent.push_back(FrequencyToSet);
        if (duringSend)
            duringSend();
        return clampFrequency(FrequencyToSet);
    }
    void Refresh() override {}

    std::vector<int32_t> sent;
    std::function<void()> duringSend;
};

} // namespace

class Vfo : public TuningTest {
protected:
    void SetUp() override
    {
        TuningTest::SetUp();
        vfo = std::make_unique<clsVFO>(*store);
        vfo->setOscType(&chip);
        vfo->setIFFrequency(45000000);
        vfo->setTuneStep(1000);
    }
    RecordingDriver chip{360096000};
    std::unique_ptr<clsVFO> vfo;
};

TEST_F(Vfo, AssignmentStoresTheMagnitudeCappedAtTheTopOfTheBand)
{
    struct Row {
        double clock;
        int32_t ifHertz;
        int32_t assigned;
        int32_t stored;
    };
    const Row rows[] = {
        {360096000, 45000000, -70000000, 70000000},
        // The chip would reach 135.048 MHz; the nine-digit display stops first.
        {360096000, 45000000, 999999999, 999999999},
        {360096000, 45000000, 1350480000, 999999999},
        {360096000, 45000000, -2147483647 - 1, 999999999},
        {360096000, 0, 1500000000, 999999999},
        {20000000, 0, 1500000000, 100000000},
        {50000000, 455000, 300000000, 245450000},
        {50000000, 455000, 245449999, 245449999},
    };
    for (const Row& r : rows) {
        chip.setClkIn(r.clock);
        vfo->setIFFrequency(r.ifHertz);
        vfo->setTunedFrequency(r.assigned);
        EXPECT_EQ(vfo->TunedFrequency(), r.stored) << r.assigned;
    }
}

TEST_F(Vfo, OscillatorFrequencyAddsIfAndCalibrationOnTheChosenSide)
{
    struct Row {
        bool hiSide;
        int32_t calibHertz;
        int32_t multiplier;
        int32_t tuned;
        int32_t oscOut;
    };
    const Row rows[] = {
        {true, 0, 1, 100000000, 550000000},
        {true, 3, 1, 100000000, 550000030},
        {false, 0, 1, 100000000, 350000000},
        // Below the IF on the low side the chip gets the magnitude of the difference.
        {false, 0, 1, 50000000, 400000000},
        {false, -3, 1, 50000000, 400000030},
        {true, 0, 2, 100000000, 1100000000},
        // Twice 1800480000 wraps in 32 bits; here it stops at the chip's top.
        {true, 0, 2, 1350480000, 1800480000},
        {true, 0, 3, 1000000000, 1800480000},
    };
    for (const Row& r : rows) {
        vfo->setHiSideLO(r.hiSide);
        vfo->setCalibOffset(r.calibHertz);
        vfo->setOscMultiplier(r.multiplier);
        chip.sent.clear();
        vfo->setTunedFrequency(r.tuned);
        EXPECT_EQ(vfo->OscOut(), r.oscOut) << r.tuned << " x" << r.multiplier;
        EXPECT_EQ(chip.sent, std::vector<int32_t>{r.oscOut});
    }
    vfo->setCalibOffset(-3);
    EXPECT_EQ(vfo->CalibOffset(), -3);
}

TEST_F(Vfo, StepsSnapToTheGridAndSendTheWordTwice)
{
    struct Row {
        double lsd;
        int32_t start;
        double step;
        int32_t result;
    };
    const Row rows[] = {
        {1000, 70001499, 1000, 70002000},
        {1000, 70001500, 1000, 70003000},
        {1000, 70001500, -1000, 70001000},
        {1000, 70000000, 0, 70001000},   // 0 means TuneStep
        {10, 70000003, 0.0001, 70000000}, // a tiny step only snaps
        {0, 70001499, 1000, 70002499},    // no grid, no snapping
        {-5, 70001499, 1000, 70002499},
        {1, 70000000, 2.5, 70000002},     // halves to even
        {1, 70000000, 3.5, 70000004},
    };
    for (const Row& r : rows) {
        vfo->setTuneStepLSD(r.lsd);
        vfo->setTunedFrequency(r.start);
        chip.sent.clear();
        EXPECT_EQ(vfo->Inc_Freq(r.step), r.result) << r.start << " + " << r.step << " grid " << r.lsd;
        ASSERT_EQ(chip.sent.size(), 2u);
        EXPECT_EQ(chip.sent[0], chip.sent[1]);
    }
    vfo->setTuneStep(1000);
    vfo->setTunedFrequency(70000000);
    EXPECT_EQ(vfo->Dec_Freq(0), 69999000);
    EXPECT_EQ(vfo->Dec_Freq(500), 69998500) << "a positive decrement still tunes down";
    EXPECT_EQ(vfo->Dec_Freq(-200), 69998800) << "snapped to the grid of 1000 first";
}

TEST_F(Vfo, PeriodicRefreshIsHeldOffOnlyWhileAStepIsSent)
{
    vfo->setAutoUpdate(true);
    std::vector<bool> seen;
    chip.duringSend = [&] { seen.push_back(vfo->AutoUpdate()); };
    vfo->Inc_Freq(0);
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_TRUE(vfo->AutoUpdate());
}

TEST_F(Vfo, AnAssignmentArrivingWhileOneIsSentIsDropped)
{
    vfo->setTunedFrequency(70000000);
    chip.sent.clear();
    chip.duringSend = [&] {
        chip.duringSend = nullptr;
        vfo->setTunedFrequency(80000000);
    };
    vfo->setTunedFrequency(71000000);
    EXPECT_EQ(vfo->TunedFrequency(), 71000000);
    EXPECT_EQ(chip.sent.size(), 1u);
    vfo->setTunedFrequency(72000000);
    EXPECT_EQ(vfo->TunedFrequency(), 72000000) << "the in-progress mark was cleared";
}

TEST_F(Vfo, StepPropertiesCapTheGridAndRespectTheLock)
{
    vfo->setTuneStepLSD(25000);
    EXPECT_EQ(vfo->TuneStepLSD(), 10000);
    vfo->setTuneStep(25000);
    EXPECT_EQ(vfo->TuneStep(), 25000);
    EXPECT_EQ(vfo->TuneStepLSD(), 25000);
    vfo->setTuneStepLock(true);
    vfo->setTuneStep(50);
    vfo->setTuneStepLSD(50);
    EXPECT_EQ(vfo->TuneStep(), 25000);
    EXPECT_EQ(vfo->TuneStepLSD(), 25000);
}

TEST_F(Vfo, FormattedFrequencyHasNineDigits)
{
    vfo->setTunedFrequency(5000000);
    EXPECT_EQ(vfo->FormattedTunedFreq(), "005000000");
    vfo->setTunedFrequency(0);
    EXPECT_EQ(vfo->FormattedTunedFreq(), "000000000");
}

TEST_F(Vfo, SettingsRoundTripUnderTheVfoName)
{
    vfo->setName("VFO1.VESKA");
    vfo->setHiSideLO(false);
    vfo->setAutoUpdate(true);
    vfo->setTunedFrequency(70001234);
    vfo->setTuneStep(2.5);
    vfo->setOscMultiplier(2);
    vfo->setCalibOffset(-7);
    vfo->setDDSInterfaceType(1);
    vfo.reset();

    EXPECT_EQ(store->read("VFO1.VESKA", "HiSideLo", ""), "False");
    EXPECT_EQ(store->read("VFO1.VESKA", "TuneStep", ""), "3");
    EXPECT_EQ(store->read("VFO1.VESKA", "IFFrequency", ""), "45000000");

    clsVFO again(*store);
    again.setName("vfo1.veska");
    again.RestoreSettings();
    EXPECT_EQ(again.IFFrequency(), 45000000);
    EXPECT_FALSE(again.HiSideLO());
    EXPECT_TRUE(again.AutoUpdate());
    EXPECT_EQ(again.TunedFrequency(), 70001234);
    EXPECT_EQ(again.TuneStep(), 3);
    EXPECT_EQ(again.TuneStepLSD(), 0) << "restoring the step leaves the grid alone";
    EXPECT_EQ(again.OscMultiplier(), 2);
    EXPECT_EQ(again.CalibOffset(), -7);
    EXPECT_EQ(again.DDSInterfaceType(), 1);
}

TEST_F(Vfo, DamagedOrOutOfRangeStoredValuesDoNotReachTheChip)
{
    store->write("VFO1.VESKA", "TunedFrequency", "-1999999999");
    store->write("VFO1.VESKA", "OscMultiplier", "two");
    store->write("VFO1.VESKA", "IFFrequency", "999999999");
    vfo->setName("VFO1.VESKA");
    vfo->RestoreSettings();
    EXPECT_EQ(vfo->OscMultiplier(), 1);
    EXPECT_EQ(vfo->IFFrequency(), 45000000);
    EXPECT_EQ(vfo->TunedFrequency(), 999999999);
    EXPECT_EQ(vfo->FormattedTunedFreq(), "999999999");
    chip.sent.clear();
    vfo->Refresh();
    EXPECT_EQ(chip.sent, std::vector<int32_t>{1449999999});
}

TEST_F(Vfo, TopOfTheBandReachesTheAD9951AsTheHighestWord)
{
    clsAD9951 real;
    real.setClkIn(360096000);
    vfo->setOscType(&real);
    vfo->setTunedFrequency(2000000000);
    EXPECT_EQ(vfo->TunedFrequency(), 999999999);
    EXPECT_EQ(vfo->OscOut(), 1449999999);
    // Past the chip's top through the multiplier: the highest word, not a wrap.
    vfo->setOscMultiplier(2);
    vfo->Refresh();
    EXPECT_EQ(vfo->OscOut(), real.MaxFreq());
    EXPECT_EQ(real.CurrentTuningWord(), 2147483647);
}

TEST_F(Vfo, StepToGridMovesEvenWhenTheStepIsSmallerThanTheGrid)
{
    struct Row {
        int32_t start;
        double grid;
        double step;
        int32_t result;
    };
    const Row rows[] = {
        {70000000, 1000, 250, 70001000},  // a quarter grid up still reaches the next point
        {70000000, 1000, -250, 69999000}, // and down the one below
        {70000000, 1000, -500, 69999000}, // half a grid down does not snap back up
        {70000400, 1000, -1, 70000000},   // off the grid: the point below
        {70000400, 1000, 1, 70001000},
        {70000000, 100, 500, 70000500},   // a step of whole grids lands exactly
        {70000000, 0, 3, 70000003},       // no grid: the plain step
    };
    for (const Row& r : rows) {
        vfo->setTunedFrequency(r.start);
        vfo->setTuneStepLSD(r.grid);
        chip.sent.clear();
        EXPECT_EQ(vfo->StepToGrid(r.step), r.result) << r.start << " + " << r.step << " grid " << r.grid;
        EXPECT_EQ(chip.sent.size(), 2u);
    }
}
