#include "LineDecoders.h"
#include "TestBed.h"

#include "tuning/clsAD9835.h"
#include "tuning/clsAD9951.h"
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"

#include <cmath>

using namespace orvik;
using namespace orvik::testing;

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

std::vector<Bytes> serialCommands(const RecordingModemLines& lines)
{
    std::vector<Bytes> out;
    for (const Frame& f : decodeSerial(lines.log).frames)
        out.push_back(bytesOf(f));
    return out;
}

Words serialWords(const RecordingModemLines& lines)
{
    Words out;
    for (const Frame& f : decodeSerial(lines.log).frames)
        for (uint16_t w : wordsOf(f))
            out.push_back(w);
    return out;
}

const Bytes controlOne{0x00, 0x00, 0x00, 0x02, 0x02};
const Bytes controlTwo{0x01, 0x00, 0x00, 0x47};

} // namespace

class AD9951 : public TuningTest {
protected:
    void SetUp() override
    {
        TuningTest::SetUp();
        serial = std::make_unique<clsDDSSerialIF>(*store, lines);
        ASSERT_GT(serial->OpenPort(false), 0);
        lines.log.clear();
        chip.setIFHandler(serial.get());
    }
    std::unique_ptr<clsDDSSerialIF> serial;
    clsAD9951 chip;
};

TEST_F(AD9951, FrequencyCommandsCarryTheTuningWordMsbFirst)
{
    chip.setClkIn(360096000);
    EXPECT_EQ(chip.MaxFreq(), 1800480000);
    EXPECT_EQ(chip.ClkIn(), 360096000);
    struct Row {
        int32_t frequency;
        int32_t used;
        Bytes command;
    };
    const Row rows[] = {
        {550000000, 550000000, {0x04, 0x27, 0x19, 0xC6, 0x72}},
        // The top of the range saturates instead of wrapping to the word 2.
        {1800480000, 1800480000, {0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
        {2100000000, 1800480000, {0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
        {0, 0, {0x04, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const Row& r : rows) {
        lines.log.clear();
        EXPECT_EQ(chip.SetFrequency(r.frequency), r.used);
        const auto commands = serialCommands(lines);
        ASSERT_EQ(commands.size(), 1u) << r.frequency;
        EXPECT_EQ(commands[0], r.command) << r.frequency;
    }
    lines.log.clear();
    passes = 0;
    chip.SetFrequency(550000000);
    EXPECT_EQ(chip.CurrentTuningWord(), 656000626);
    EXPECT_EQ(decodeSerial(lines.log).lineOps, 127);
    EXPECT_EQ(passes, 85);
}

TEST_F(AD9951, WithoutAClockNothingIsSentAndTheMessageNamesTheClock)
{
    chip.SetFrequency(550000000);
    EXPECT_TRUE(serialCommands(lines).empty());
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_EQ(messagesShown.shown()[0].text, "Clkin is not set correctly, Clkin=36009600");
    // The mark is cleared: the next request after a clock goes out.
    chip.setClkIn(360096000);
    chip.SetFrequency(550000000);
    EXPECT_EQ(serialCommands(lines).size(), 1u);
}

TEST_F(AD9951, InitialiseAndRefreshSendTheControlRegisters)
{
    chip.setClkIn(150);
    chip.Initialise();
    EXPECT_EQ(serialCommands(lines), (std::vector<Bytes>{controlOne, Bytes{0x01, 0x00, 0x00, 0x43}}));

    lines.log.clear();
    chip.setClkIn(360096000);
    chip.Refresh();
    EXPECT_EQ(serialCommands(lines), (std::vector<Bytes>{controlOne, controlTwo, Bytes{}}));

    lines.log.clear();
    chip.SetFrequency(550000000);
    chip.Refresh();
    const Bytes frequency{0x04, 0x27, 0x19, 0xC6, 0x72};
    EXPECT_EQ(serialCommands(lines), (std::vector<Bytes>{frequency, controlOne, controlTwo, frequency}));
}

TEST_F(AD9951, BadClocksAreRefusedAndAHugeOneSaturatesMaxFreq)
{
    chip.setClkIn(360096000);
    chip.setClkIn(0);
    chip.setClkIn(-5);
    EXPECT_EQ(chip.ClkIn(), 360096000);
    EXPECT_EQ(chip.MaxFreq(), 1800480000);
    EXPECT_EQ(logLines.size(), 2);
    chip.setClkIn(1e9);
    EXPECT_EQ(chip.MaxFreq(), 2147483647);
    // The capped top is below half this clock, so its word is an ordinary one.
    EXPECT_EQ(chip.TuningWordFor(chip.MaxFreq()), std::llround(2147483647.0 * 4294967296.0 / 1e10));
}

TEST_F(AD9951, AFrequencyFiredDuringATransferIsSentWhenItEnds)
{
    chip.setClkIn(360096000);
    chip.SetFrequency(550000000);
    lines.log.clear();
    // A timer retunes in the middle of the periodic refresh, and again in the
    // middle of the retune: each request is kept and the last one wins.
    fireAtPass(30, [&] {
        EXPECT_TRUE(chip.CMDOutActive());
        chip.SetFrequency(560000000);
        fireAtPass(20, [&] { chip.SetFrequency(570000000); });
    });
    chip.Refresh();
    const auto commands = serialCommands(lines);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(decodeSerial(lines.log).strayBits, 0);
    Bytes last{0x04};
    const auto word = static_cast<uint32_t>(chip.CurrentTuningWord());
    EXPECT_EQ(word, static_cast<uint32_t>(chip.TuningWordFor(570000000)));
    for (int shift = 24; shift >= 0; shift -= 8)
        last.push_back(static_cast<uint8_t>(word >> shift));
    EXPECT_EQ(commands.back(), last);
    for (const Bytes& c : commands)
        EXPECT_TRUE(c.size() == 5 || c.size() == 4) << "every frame is a whole command";
    EXPECT_FALSE(chip.CMDOutActive());
}

class AD9835 : public TuningTest {};

TEST_F(AD9835, FrequencyLoadIsSevenWordsThroughEitherPort)
{
    const Words expected{0xF800, 0x30DE, 0x2193, 0x3287, 0x2335, 0x8000, 0xC000};
    clsDDSSerialIF serial(*store, lines);
    ASSERT_GT(serial.OpenPort(false), 0);
    clsDDSParallelIF parallelIF(*store, parallel);
    clsAD9835 chip(*store);
    EXPECT_EQ(chip.ClkIn(), 50000000);
    EXPECT_EQ(chip.MaxFreq(), 250000000);

    lines.log.clear();
    passes = 0;
    chip.setIFHandler(&serial);
    chip.SetFrequency(104550000);
    EXPECT_EQ(chip.CurrentTuningWord(), 898077662);
    EXPECT_EQ(serialWords(lines), expected);
    EXPECT_EQ(decodeSerial(lines.log).frames.size(), 7u);
    EXPECT_EQ(decodeSerial(lines.log).lineOps, 364);
    EXPECT_EQ(passes, 238);
    EXPECT_FALSE(chip.CMDOutActive());

    chip.setIFHandler(&parallelIF);
    chip.SetFrequency(104550000);
    const ParallelDecode d = decodeParallel(parallel.values(), false);
    EXPECT_EQ(d.illegalWrites, 0);
    Words words;
    for (const Frame& f : d.frames)
        for (uint16_t w : wordsOf(f))
            words.push_back(w);
    EXPECT_EQ(words, expected);
    EXPECT_EQ(parallel.writes.size(), 7u * 50u);
}

TEST_F(AD9835, TopOfTheRangeSaturatesTheWord)
{
    clsDDSSerialIF serial(*store, lines);
    ASSERT_GT(serial.OpenPort(false), 0);
    clsAD9835 chip(*store);
    chip.setIFHandler(&serial);
    for (const int32_t f : {250000000, 2000000000}) {
        lines.log.clear();
        EXPECT_EQ(chip.SetFrequency(f), 250000000);
        EXPECT_EQ(serialWords(lines), (Words{0xF800, 0x30FF, 0x21FF, 0x32FF, 0x237F, 0x8000, 0xC000}));
    }
}

TEST_F(AD9835, RefreshSendsControlWordsAndAnEmptyFrameNeverTheFrequency)
{
    clsDDSSerialIF serial(*store, lines);
    ASSERT_GT(serial.OpenPort(false), 0);
    clsAD9835 chip(*store);
    chip.setIFHandler(&serial);
    chip.SetFrequency(104550000);
    lines.log.clear();
    chip.Refresh();
    const SerialDecode d = decodeSerial(lines.log);
    ASSERT_EQ(d.frames.size(), 4u);
    EXPECT_EQ(wordsOf(d.frames[0]), Words{0xF800});
    EXPECT_EQ(wordsOf(d.frames[1]), Words{0xC000});
    EXPECT_EQ(wordsOf(d.frames[2]), Words{0xA000});
    EXPECT_TRUE(d.frames[3].empty());
}

TEST_F(AD9835, RefreshCannotCutIntoAFrequencyLoadAndARetuneWaitsForTheRefresh)
{
    clsDDSSerialIF serial(*store, lines);
    ASSERT_GT(serial.OpenPort(false), 0);
    clsAD9835 chip(*store);
    chip.setIFHandler(&serial);
    lines.log.clear();

    fireAtPass(40, [&] {
        EXPECT_TRUE(chip.CMDOutActive()) << "a periodic refresh would skip now";
        chip.Refresh();
    });
    chip.SetFrequency(104550000);
    EXPECT_EQ(serialWords(lines), (Words{0xF800, 0x30DE, 0x2193, 0x3287, 0x2335, 0x8000, 0xC000}));

    lines.log.clear();
    fireAtPass(10, [&] { chip.SetFrequency(104550000); });
    chip.Refresh();
    EXPECT_EQ(serialWords(lines),
              (Words{0xF800, 0xC000, 0xA000, 0xF800, 0x30DE, 0x2193, 0x3287, 0x2335, 0x8000, 0xC000}));
}

TEST_F(AD9835, ClockComesFromTheStoreWhateverTheKeySpelling)
{
    store->write("clsAD9835", "CLKIn", "40000000");
    store->write("DDSAD9835", "CLKIn", "49999000");
    {
        clsAD9835 chip(*store);
        EXPECT_EQ(chip.ClkIn(), 40000000);
        chip.setName("DDSAD9835");
        chip.setClkIn(50000000);
        chip.Initialise();
        EXPECT_EQ(chip.ClkIn(), 49999000);
        EXPECT_EQ(chip.MaxFreq(), 249995000);
        chip.setClkIn(48000000);
    }
    EXPECT_EQ(store->read("ddsad9835", "clkin", ""), "48000000");

    store->write("DDSAD9835", "ClkIn", "fifty MHz");
    clsAD9835 chip(*store);
    chip.setName("DDSAD9835");
    chip.setClkIn(45000000);
    chip.Initialise();
    EXPECT_EQ(chip.ClkIn(), 45000000);
    EXPECT_EQ(logLines.size(), 1);

    // A stored clock of any length is quoted short: the log line stays one readable line.
    logLines.clear();
    store->write("DDSAD9835", "ClkIn", QString(5000, QLatin1Char('x')));
    chip.Initialise();
    EXPECT_EQ(chip.ClkIn(), 45000000);
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_LT(logLines.front().size(), 200);
    EXPECT_TRUE(logLines.front().contains(QStringLiteral("5000 characters")));
}

TEST_F(AD9835, WithoutAnInterfaceNothingIsSentAndTheMarksClear)
{
    clsAD9835 chip(*store);
    chip.SetFrequency(104550000);
    chip.Refresh();
    EXPECT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_FALSE(chip.CMDOutActive());
    clsDDSSerialIF serial(*store, lines);
    ASSERT_GT(serial.OpenPort(false), 0);
    lines.log.clear();
    chip.setIFHandler(&serial);
    chip.SetFrequency(104550000);
    EXPECT_EQ(serialWords(lines).size(), 7u);
}
