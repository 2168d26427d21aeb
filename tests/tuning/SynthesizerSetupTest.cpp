#include "LineDecoders.h"
#include "TestBed.h"

#include "platform/ModemLineWatcher.h"
#include "tuning/SynthesizerSetup.h"
#include "tuning/clsAD9835.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"
#include "tuning/clsVFO.h"

#include <cerrno>

using namespace orvik;
using namespace orvik::testing;

class SynthesizerSetup : public TuningTest {
protected:
    // The rig owns its ports; the test keeps a view of them.
    SynthesizerRig setUp(ModemLineWatcher* watcher = nullptr)
    {
        auto ownedLines = std::make_unique<RecordingModemLines>();
        auto ownedParallel = std::make_unique<RecordingParallelPort>();
        rigLines = ownedLines.get();
        rigParallel = ownedParallel.get();
        ownedLines->refuseOpen = refuseSerial;
        return SetUpSynthesizer(*store, "frmMain", std::move(ownedLines), std::move(ownedParallel), watcher);
    }
    RecordingModemLines* rigLines = nullptr;
    RecordingParallelPort* rigParallel = nullptr;
    bool refuseSerial = false;
};

TEST_F(SynthesizerSetup, DefaultBoardIsTheAD9951OnTheSerialPort)
{
    SynthesizerRig rig = setUp();
    ASSERT_TRUE(rig.modelKnown);
    ASSERT_TRUE(rig.DDSAD9951);
    EXPECT_FALSE(rig.DDSAD9835);
    EXPECT_EQ(rig.VFO->OscType(), rig.DDSAD9951.get());
    EXPECT_EQ(rig.VFO->Name(), "VFO1.VESKA");
    EXPECT_EQ(rig.VFO->IFFrequency(), 45000000);
    EXPECT_TRUE(rig.VFO->AutoUpdate());
    EXPECT_EQ(rig.VFO->TuneStep(), 1000);
    EXPECT_EQ(rig.DDSAD9951->Name(), "DDSAD9951");
    EXPECT_EQ(rig.DDSAD9951->ClkIn(), 360096000);
    EXPECT_EQ(rig.DDSAD9951->IFHandler(), rig.DDSSerialIF.get());
    EXPECT_EQ(rig.DDSSerialIF->Name(), "DDSSerialIF");
    EXPECT_EQ(rig.DDSParallelIF->Name(), "DDSParallelIF");
    EXPECT_EQ(rigLines->log.front().path, "/dev/ttyS0");
    // Initialise has loaded both control registers.
    std::vector<std::vector<uint8_t>> commands;
    for (const Frame& f : decodeSerial(rigLines->log).frames)
        commands.push_back(bytesOf(f));
    EXPECT_EQ(commands, (std::vector<std::vector<uint8_t>>{{0x00, 0x00, 0x00, 0x02, 0x02}, {0x01, 0x00, 0x00, 0x47}}));
    EXPECT_TRUE(messagesShown.shown().empty());

    rigLines->log.clear();
    rig.VFO->setTunedFrequency(100000000);
    EXPECT_EQ(rig.DDSAD9951->CurrentTuningWord(), 656000626);
}

TEST_F(SynthesizerSetup, StoredSettingsChooseTheBoardClockAndPort)
{
    store->write("frmMain", "SDRModelNo", "1");
    store->write("frmMain", "VFO1.IFType", "1");
    store->write("VFO1.ElektorDRM", "DDSInterfaceType", "1");
    store->write("DDSAD9835", "ClkIn", "49999000");
    SynthesizerRig rig = setUp();
    ASSERT_TRUE(rig.DDSAD9835);
    EXPECT_FALSE(rig.DDSAD9951);
    EXPECT_EQ(rig.VFO->Name(), "VFO1.ElektorDRM");
    EXPECT_EQ(rig.VFO->IFFrequency(), 455000);
    EXPECT_FALSE(rig.VFO->AutoUpdate());
    EXPECT_EQ(rig.DDSAD9835->ClkIn(), 49999000);
    EXPECT_EQ(rig.DDSAD9835->IFHandler(), rig.DDSParallelIF.get());
    EXPECT_TRUE(rigLines->log.empty()) << "the parallel interface type opens no serial port";
    EXPECT_TRUE(rigParallel->writes.empty()) << "the AD9835 sends nothing at start";
    EXPECT_TRUE(messagesShown.shown().empty());
}

TEST_F(SynthesizerSetup, RestoredIfMovesTheAD9951Clock)
{
    store->write("VFO1.VESKA", "IFFrequency", "10700000");
    store->write("frmMain", "VFO1.IFType", "2");
    SynthesizerRig rig = setUp();
    EXPECT_EQ(rig.DDSAD9951->ClkIn(), (10700000 + 12000) * 8);
    EXPECT_EQ(rig.DDSAD9951->IFHandler(), rig.DDSSerialIF.get());
}

TEST_F(SynthesizerSetup, SerialFailureAndUnknownTypesAreReportedAndSetUpGoesOn)
{
    refuseSerial = true;
    store->write("DDSSerialIF", "PortNo", "2");
    {
        SynthesizerRig rig = setUp();
        EXPECT_TRUE(rig.modelKnown);
        ASSERT_EQ(messagesShown.shown().size(), 2u);
        EXPECT_EQ(messagesShown.shown()[0].text.section('\n', 0, 0), "DDSSerialIF : PollMode : Unable to Open COM2");
        EXPECT_EQ(messagesShown.shown()[1].text,
                  "Unable to open Serial Interface COM2\nfrmMain:frmMain:Form_Load:0\nError Code=0\n"
                  "Error Desc=/dev/ttyS1: No such file or directory");
    }
    messagesShown.clear();
    refuseSerial = false;
    store->write("frmMain", "VFO1.IFType", "7");
    store->write("frmMain", "SDRModelNo", "5");
    SynthesizerRig rig = setUp();
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_EQ(messagesShown.shown()[0].text,
              "Unknown DDSIFType specified in Registry - Check DDSIFType key - No interface initialised");
    EXPECT_FALSE(rig.modelKnown);
    EXPECT_EQ(rig.VFO->OscType(), nullptr);
    rig.VFO->setTunedFrequency(1000);
    rig.VFO->Refresh();
}

TEST_F(SynthesizerSetup, BothStartUpMessagesNameTheDevicePathInForce)
{
    const QString device = "/dev/serial/by-id/usb-Prolific_PL2303-if00-port0";
    refuseSerial = true;
    store->write("DDSSerialIF", "PortNo", "1");
    store->write("DDSSerialIF", "DevicePath", device);
    SynthesizerRig rig = setUp();
    ASSERT_EQ(messagesShown.shown().size(), 2u);
    EXPECT_EQ(messagesShown.shown()[0].text.section('\n', 0, 0), "DDSSerialIF : PollMode : Unable to Open " + device);
    EXPECT_EQ(messagesShown.shown()[1].text.section('\n', 0, 0), "Unable to open Serial Interface " + device);
    EXPECT_TRUE(messagesShown.shown()[1].text.endsWith("Error Desc=" + device + ": No such file or directory"))
        << messagesShown.shown()[1].text.toStdString();
}

TEST_F(SynthesizerSetup, APortWithoutModemLinesIsReportedOnceAtStartAndSetUpGoesOn)
{
    store->write("DDSSerialIF", "DevicePath", "/dev/pts/4");
    auto ownedLines = std::make_unique<RecordingModemLines>();
    ownedLines->failLinesWith = ENOTTY;
    RecordingModemLines* view = ownedLines.get();
    SynthesizerRig rig =
        SetUpSynthesizer(*store, "frmMain", std::move(ownedLines), std::make_unique<RecordingParallelPort>());
    ASSERT_TRUE(rig.DDSAD9951);
    // Opening, the two control registers and a tuning all fail on the lines.
    rig.VFO->setTunedFrequency(100000000);
    EXPECT_EQ(rig.DDSSerialIF->hComm(), view->handle());
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_TRUE(messagesShown.shown()[0].text.contains("/dev/pts/4: DTR: Inappropriate ioctl for device"))
        << messagesShown.shown()[0].text.toStdString();
    EXPECT_EQ(logLines.size(), 1) << logLines.join('\n').toStdString();
    int changes = 0;
    for (const auto& e : view->log)
        changes += e.op != RecordingModemLines::Op::EventPass && e.op != RecordingModemLines::Op::Open;
    EXPECT_EQ(rig.DDSSerialIF->failedLineChanges(), changes);
    EXPECT_GT(changes, 3 * 4 * 25) << "three commands of at least four bytes";
}

TEST_F(SynthesizerSetup, EventModeHandsTheKnobLinesToTheWatcher)
{
    store->writeBool("frmMain", "EnableShaftEncoder", true);
    ModemLineWatcher watcher;
    SynthesizerRig rig = setUp(&watcher);
    EXPECT_TRUE(rig.EnableShaftEncoder);
    EXPECT_TRUE(rig.DDSSerialIF->EventMode());
    EXPECT_TRUE(watcher.isWatching());
    rig = SynthesizerRig();
    EXPECT_FALSE(watcher.isWatching()) << "releasing the rig closes the port";
}

TEST_F(SynthesizerSetup, ReleasingTheRigSavesEverySection)
{
    store->write("frmMain", "SDRModelNo", "1");
    {
        SynthesizerRig rig = setUp();
        rig.VFO->setTunedFrequency(70000000);
        rig.DDSAD9835->setClkIn(49998000);
        rig.DDSSerialIF->setPortNo(3);
    }
    EXPECT_EQ(store->read("VFO1.ElektorDRM", "TunedFrequency", ""), "70000000");
    EXPECT_EQ(store->read("DDSAD9835", "ClkIn", ""), "49998000");
    EXPECT_EQ(store->read("DDSSerialIF", "PortNo", ""), "3");
    EXPECT_EQ(store->read("DDSParallelIF", "PortAddress", ""), "888");
}

TEST_F(SynthesizerSetup, RetuneFiredDuringThePeriodicRefreshReachesEitherChip)
{
    // The AD9951 is caught while it re-sends its last frequency, the AD9835
    // inside its first control word.
    for (const auto& [model, firePass] : {std::pair{"0", 200}, std::pair{"1", 30}}) {
        store->write("frmMain", "SDRModelNo", model);
        SynthesizerRig rig = setUp();
        SynthDriver* chip = rig.VFO->OscType();
        ASSERT_NE(chip, nullptr);
        rig.VFO->setTunedFrequency(70000000);
        rigLines->log.clear();
        setEventPump([&] {
            if (++passes == firePass)
                rig.VFO->setTunedFrequency(71000000);
        });
        passes = 0;
        chip->Refresh();
        setEventPump({});
        EXPECT_EQ(rig.VFO->TunedFrequency(), 71000000) << model;
        EXPECT_EQ(chip->CurrentTuningWord(), chip->TuningWordFor(rig.VFO->OscOut())) << model;
        // The new word is the last thing loaded, whole.
        const SerialDecode d = decodeSerial(rigLines->log);
        ASSERT_FALSE(d.frames.empty());
        const auto word = static_cast<uint32_t>(chip->CurrentTuningWord());
        if (std::string(model) == "0") {
            EXPECT_EQ(bytesOf(d.frames.back()),
                      (std::vector<uint8_t>{0x04, uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8),
                                            uint8_t(word)}));
        } else {
            ASSERT_GE(d.frames.size(), 7u);
            std::vector<uint16_t> tail;
            for (size_t i = d.frames.size() - 7; i < d.frames.size(); ++i)
                tail.push_back(wordsOf(d.frames[i]).at(0));
            EXPECT_EQ(tail, (std::vector<uint16_t>{0xF800, uint16_t(0x3000 | (word & 0xFF)),
                                                   uint16_t(0x2100 | ((word >> 8) & 0xFF)),
                                                   uint16_t(0x3200 | ((word >> 16) & 0xFF)),
                                                   uint16_t(0x2300 | (word >> 24)), 0x8000, 0xC000}));
        }
        EXPECT_EQ(d.strayBits, 0);
    }
}
