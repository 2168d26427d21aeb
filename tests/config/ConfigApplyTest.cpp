#include "config/ConfigApply.h"
#include "FakeConfigSystem.h"

#include "platform/MessageService.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <functional>
#include <vector>

using namespace orvik;

namespace {

// Entries that change nothing in FakeSystem's defaults.
ConfigEntries entriesFor(const FakeSystem& f)
{
    ConfigEntries e;
    e.SDRModelNo = f.model;
    e.IFFrequencyText = "455 000";
    e.ClkInText = "50 000 000";
    e.playbackIndex = f.playback - 1;
    e.captureIndex = f.capture - 1;
    e.DDSInterfaceType = f.interface;
    e.comPort = SerialPortChoice{f.portNo, f.devicePath};
    e.BitPeriodText = "0.000004340";
    e.PortAddressText = "&H378";
    e.ParallelBitPeriodText = "0.000004340";
    e.SmoothingCountText = "1";
    return e;
}

struct ConfigApplyFixture : ::testing::Test {
    RecordingMessageService shown;
    FakeSystem fake;
    std::unique_ptr<ConfigApply> apply;

    void SetUp() override
    {
        setMessageService(&shown);
        load();
    }
    void TearDown() override { setMessageService(nullptr); }
    void load()
    {
        apply = std::make_unique<ConfigApply>(fake.hooks(), "ORVIKSDR - Configuration");
        apply->Load(fake.system());
    }
};

} // namespace

TEST(ConfigNumbers, StrictConversionAndTexts)
{
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {{"&H378", 888.0},    {"&h3bc", 956.0},  {"378", 378.0},        {" 12 ", 12.0},
                 {"0.000004340", 0.00000434}, {"-1", -1.0}, {"&HFFFFFFFF", -1.0}, {"&H", std::nullopt},
                 {"&H12G", std::nullopt},      {"12x", std::nullopt}, {"", std::nullopt},
                 {"1,5", std::nullopt},        {"&H123456789", std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(ConfigNumber(c.text), c.value) << c.text;

    EXPECT_EQ(HexAddressText(0x378), "&H378");
    EXPECT_EQ(HexAddressText(0x3BC), "&H3BC");
    EXPECT_EQ(FrequencyText(455000), "0 455 000");
    EXPECT_EQ(FrequencyText(45000000), "45 000 000");
    EXPECT_EQ(BitPeriodText(DefaultBitPeriod), "0.000004340");
}

TEST_F(ConfigApplyFixture, TheIfCheckRefusesSmallValuesBeforeAnythingButTheModel)
{
    for (const char* refused : {"400 000", "0", "-1", "abc"}) {
        fake.log.clear();
        shown.clear();
        ConfigEntries e = entriesFor(fake);
        e.SDRModelNo = 1;
        e.IFFrequencyText = refused;
        e.LoLO = true;
        EXPECT_FALSE(apply->Apply(e)) << refused;
        EXPECT_EQ(fake.log, QStringList({"model"})) << refused;
        ASSERT_EQ(shown.shown().size(), 1u);
        EXPECT_EQ(shown.shown()[0].text, "IF Frequency must be greater than 0.4 MHZ");
        EXPECT_EQ(shown.shown()[0].title, "ORVIKSDR - Configuration CLKIN - ERROR");
        EXPECT_TRUE(fake.hiSide);
    }

    ConfigEntries e = entriesFor(fake);
    e.IFFrequencyText = "455 001";
    e.LoLO = true;
    EXPECT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.ifFrequency, 455001);
    EXPECT_FALSE(fake.hiSide);
}

TEST_F(ConfigApplyFixture, TheClockCheckComesAfterIfSideAndRefreshOption)
{
    ConfigEntries e = entriesFor(fake);
    e.IFFrequencyText = "10 700 000";
    e.AutoDDSRefresh = true;
    e.LoLO = true;
    e.ClkInText = "1 000 000";
    EXPECT_FALSE(apply->Apply(e));
    EXPECT_EQ(fake.log, QStringList({"model", "side", "if", "autoupdate"}));
    EXPECT_EQ(fake.ifFrequency, 10700000);
    EXPECT_TRUE(fake.autoUpdate);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].text, "CLKIN must be greater than 1.0000 MHZ");

    fake.log.clear();
    e.ClkInText = "1 000 001";
    EXPECT_TRUE(apply->Apply(e));
    // The new clock follows the driver's initialisation, and the VFO sends the new word.
    EXPECT_EQ(fake.log.mid(4, 3), QStringList({"initialise", "clkin", "refresh"}));
    EXPECT_EQ(fake.clock, 1000001.0);
}

TEST_F(ConfigApplyFixture, SoundDevicesChangeOnceAndOnlyWithASelection)
{
    fake.soundRunning = true;
    ConfigEntries e = entriesFor(fake);
    e.captureIndex = 2;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.log.filter(QRegularExpression("stop|release|prepare|start")),
              QStringList({"stop", "release", "prepare", "start"}));
    EXPECT_EQ(fake.capture, 3);
    EXPECT_EQ(fake.playback, 1);
    EXPECT_EQ(apply->InitialCaptureDevice(), 3);

    // The same selection again restarts nothing.
    fake.log.clear();
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_TRUE(fake.log.filter(QRegularExpression("stop|release|prepare|start")).isEmpty());

    // No selection in either list keeps the devices.
    e.playbackIndex = -1;
    e.captureIndex = 0;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_TRUE(fake.log.filter(QRegularExpression("stop|release|prepare|start")).isEmpty());
    EXPECT_EQ(fake.capture, 3);

    // Receiver off: the devices are prepared but sound stays stopped.
    fake.soundRunning = false;
    fake.log.clear();
    e = entriesFor(fake);
    e.playbackIndex = 1;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.log.filter(QRegularExpression("stop|release|prepare|start")), QStringList({"release", "prepare"}));
    EXPECT_EQ(fake.playback, 2);

    // A device that cannot be prepared is tried again by the next Apply.
    fake.prepareWorks = false;
    e.playbackIndex = 0;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(apply->InitialPlaybackDevice(), 2);
}

TEST_F(ConfigApplyFixture, ADeviceChangeWaitsForTheBlockInTheChain)
{
    fake.soundRunning = true;
    fake.inDSP = true;
    ConfigEntries e = entriesFor(fake);
    e.playbackIndex = 1;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_TRUE(fake.log.filter(QRegularExpression("stop|release")).isEmpty());
    EXPECT_TRUE(apply->soundChangePending());
    ASSERT_EQ(fake.later.size(), 1u);

    // A second Apply meanwhile changes what the waiting change will set.
    e.captureIndex = 1;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.later.size(), 1u);

    // Still busy: it waits another round.
    auto first = fake.later[0];
    first();
    ASSERT_EQ(fake.later.size(), 2u);
    fake.inDSP = false;
    auto second = fake.later[1];
    second();
    EXPECT_EQ(fake.log.filter(QRegularExpression("stop|release|prepare|start")),
              QStringList({"stop", "release", "prepare", "start"}));
    EXPECT_EQ(fake.playback, 2);
    EXPECT_EQ(fake.capture, 2);
    EXPECT_FALSE(apply->soundChangePending());
}

TEST_F(ConfigApplyFixture, TheInterfaceFollowsTheDriverAndTheAppliedClockStands)
{
    fake.encoder = true;
    fake.storedClock = 40000000;
    ConfigEntries e = entriesFor(fake);
    e.ClkInText = "60 000 000";
    e.DDSInterfaceType = 1;
    e.Flags.EnableShaftEncoder = true;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.interface, 1);
    EXPECT_FALSE(fake.portOpen);
    EXPECT_TRUE(fake.log.contains("close"));

    // Applying "Par" again re-wires nothing: the driver is on the parallel port already.
    fake.log.clear();
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_FALSE(fake.log.filter(QRegularExpression("interface")).size());

    // Back to "Ser" within the same opening: the driver returns to the serial port,
    // which opens again with the knob's event mode, and the typed clock stands.
    fake.log.clear();
    e.DDSInterfaceType = 0;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.interface, 0);
    EXPECT_TRUE(fake.portOpen);
    const qsizetype wired = fake.log.indexOf("interface 0");
    ASSERT_GE(wired, 0);
    EXPECT_EQ(fake.log.mid(wired, 5), QStringList({"interface 0", "open 1", "initialise", "clkin", "refresh"}));
    EXPECT_EQ(fake.clock, 60000000.0);

    // Neither option selected leaves the interface alone.
    fake.log.clear();
    e.DDSInterfaceType.reset();
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_FALSE(fake.log.filter(QRegularExpression("interface")).size());
}

TEST_F(ConfigApplyFixture, TheSerialPortIsKeptWithoutASelectionAndReopenedInTheOldEventMode)
{
    fake.encoder = true;
    ConfigEntries e = entriesFor(fake);
    e.comPort.reset();
    e.Flags.EnableShaftEncoder = false;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_FALSE(fake.log.contains("close"));
    EXPECT_EQ(fake.portNo, 1);
    EXPECT_TRUE(fake.portOpen);

    e.comPortListEnabled = false;
    e.comPort = SerialPortChoice{5, {}};
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.portNo, 1);

    fake.encoder = true;
    fake.log.clear();
    e.comPortListEnabled = true;
    e.comPort = SerialPortChoice{3, {}};
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.log.filter(QRegularExpression("close|port|device|open")),
              QStringList({"close", "port 3", "device ", "open 1"}));
    EXPECT_FALSE(fake.encoder); // the box applies after the port
    EXPECT_DOUBLE_EQ(fake.serialWait, 0.00000434);
}

TEST_F(ConfigApplyFixture, ADeviceInPlaceOfTheComNumberIsReopenedOnlyWhenTheChoiceChanges)
{
    fake.portNo = 2;
    load();
    ConfigEntries e = entriesFor(fake);
    e.comPort = SerialPortChoice{2, "/dev/ttyUSB0"};
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.log.filter(QRegularExpression("close|port|device|open")),
              QStringList({"close", "port 2", "device /dev/ttyUSB0", "open 0"}));

    fake.log.clear();
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_TRUE(fake.log.filter(QRegularExpression("close|port|device|open")).isEmpty());

    // Back to the COM number: the path goes, so the number decides again.
    e.comPort = SerialPortChoice{2, {}};
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.devicePath, "");
    EXPECT_EQ(fake.portNo, 2);
    EXPECT_TRUE(fake.log.contains("close"));
}

TEST_F(ConfigApplyFixture, PortFieldsConvertStrictlyAndKeepTheirValueOnBadText)
{
    ConfigEntries e = entriesFor(fake);
    e.PortAddressText = "&H3BC";
    e.ParallelBitPeriodText = "0.00001";
    e.InvertingIF = true;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.portAddress, 956);
    EXPECT_DOUBLE_EQ(fake.parallelWait, 0.00001);
    EXPECT_FALSE(fake.nonInverting);

    e.PortAddressText = "378";
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.portAddress, 378);

    e.PortAddressText = "LPT1";
    e.ParallelBitPeriodText = "fast";
    e.BitPeriodText = "";
    fake.serialWait = 0.5;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.portAddress, 378);
    EXPECT_DOUBLE_EQ(fake.parallelWait, 0.00001);
    EXPECT_DOUBLE_EQ(fake.serialWait, 0.5);
}

TEST_F(ConfigApplyFixture, SmoothingCountFitsTheHistoryOrIsKept)
{
    ConfigEntries e = entriesFor(fake);
    e.SmoothingCountText = "12";
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.smooth, 12);
    EXPECT_EQ(fake.adjusterDefault19, 12.0f);
    for (const char* refused : {"25", "0", "-3", "3.5", "many", "&H19"}) {
        e.SmoothingCountText = refused;
        ASSERT_TRUE(apply->Apply(e));
        EXPECT_EQ(fake.smooth, 12) << refused;
        EXPECT_EQ(fake.adjusterDefault19, 12.0f) << refused;
    }
    e.SmoothingCountText = "&H18";
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.smooth, 24);
}

TEST_F(ConfigApplyFixture, OptionsReachTheirOwnersAndTheVectorSwitchOnlyWithTheLibrary)
{
    ConfigEntries e = entriesFor(fake);
    e.UseSPL = true;
    e.Dream.RunDreamOnDRM = true;
    e.Dream.PathToDream = "/usr/bin/dream";
    e.Dream.DreamWindowStyle = 2;
    e.HideFreqToolTip = true;
    e.Flags.KBDSupport = true;
    e.Flags.AutoStartSDR = true;
    e.SDRModelNo = 1;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_FALSE(fake.useSPL);
    EXPECT_EQ(fake.model, 1);
    EXPECT_TRUE(fake.dream.RunDreamOnDRM);
    EXPECT_EQ(fake.dream.PathToDream, "/usr/bin/dream");
    EXPECT_EQ(fake.dream.DreamWindowStyle, 2);
    EXPECT_TRUE(fake.hideToolTip);
    EXPECT_TRUE(fake.flags.KBDSupport);
    EXPECT_TRUE(fake.flags.AutoStartSDR);

    fake.splPresent = true;
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_TRUE(fake.useSPL);
}

TEST_F(ConfigApplyFixture, ColoursApplyInOrderAndPreviewReturnsToWhatIsInForce)
{
    fake.main.SDRLabelColour = 0x111111;
    fake.analyser.Y1BaseColour = 0x222222;
    load();

    ConfigEntries e = entriesFor(fake);
    e.Swatches[SwatchSDRLabel] = 0xAA0000;
    e.Swatches[SwatchScopeY1] = 0x00BB00;
    e.Swatches[SwatchNormalScrollLabel] = 0x123456;
    e.Swatches[SwatchFocusScrollLabel] = 0x654321;
    e.Swatches[SwatchControlNormal] = 0x999999; // read by nothing

    // Preview shows the swatches at full brightness, release goes back to the opening
    // colours and the brightness adjusters' levels.
    apply->PreviewPress(e.Swatches);
    EXPECT_EQ(fake.main.SDRLabelColour, 0xAA0000u);
    EXPECT_EQ(fake.analyser.Y1BaseColour, 0x00BB00u);
    apply->PreviewRelease();
    EXPECT_EQ(fake.main.SDRLabelColour, 0x111111u);
    EXPECT_EQ(fake.analyser.Y1BaseColour, 0x222222u);
    EXPECT_EQ(fake.brightness, (std::vector<std::pair<int, int>>{{0, 100}, {1, 100}, {0, 40}, {1, 60}}));

    fake.log.clear();
    ASSERT_TRUE(apply->Apply(e));
    EXPECT_EQ(fake.log.mid(fake.log.size() - 2), QStringList({"colours", "redraw"}));
    EXPECT_EQ(fake.main.SDRLabelColour, 0xAA0000u);
    EXPECT_EQ(fake.main.ScrollableLabelNormalColour, 0x123456u);
    EXPECT_EQ(fake.analyser.ControlColourNormal, 0x123456u);
    EXPECT_EQ(fake.analyser.ControlColourFocused, 0x654321u);
    EXPECT_EQ(fake.adjusterColourIds, (std::vector<int>{2, 3, 4, 5, 15, 6, 21, 22, 19}));
    EXPECT_EQ(fake.adjusterNormal, 0x123456u);
    EXPECT_EQ(fake.adjusterFocus, 0x654321u);
    EXPECT_EQ(apply->OpeningColours()[1], 0xAA0000u);
    EXPECT_EQ(apply->OpeningColours()[10], 0x00BB00u);

    // After an Apply the release keeps the applied colours.
    ConfigEntries other = e;
    other.Swatches[SwatchSDRLabel] = 0x010101;
    apply->PreviewPress(other.Swatches);
    apply->PreviewRelease();
    EXPECT_EQ(fake.main.SDRLabelColour, 0xAA0000u);
    EXPECT_EQ(fake.analyser.Y1BaseColour, 0x00BB00u);
    EXPECT_EQ(fake.analyser.ControlColourNormal, 0x123456u);
}
