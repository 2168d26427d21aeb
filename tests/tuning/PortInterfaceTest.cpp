#include "LineDecoders.h"
#include "TestBed.h"

#include "platform/ModemLineWatcher.h"
#include "platform/SerialModemLines.h"

#include <QCoreApplication>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include "tuning/clsDDSParallelIF.h"
#include "tuning/clsDDSSerialIF.h"

using namespace orvik;
using namespace orvik::testing;
using Op = RecordingModemLines::Op;

namespace {

std::vector<RecordingModemLines::Entry> linesOnly(const std::vector<RecordingModemLines::Entry>& log)
{
    std::vector<RecordingModemLines::Entry> out;
    for (const auto& e : log)
        if (e.op != Op::EventPass)
            out.push_back(e);
    return out;
}

} // namespace

class SerialInterface : public TuningTest {};

TEST_F(SerialInterface, Out8ShiftsEachBitMsbFirstWithOneClockPulse)
{
    clsDDSSerialIF port(*store, lines);
    ASSERT_GT(port.OpenPort(false), 0);
    lines.log.clear();
    port.IOUPD(0);
    port.Out8(0xA5);
    port.IOUPD(1);
    const SerialDecode d = decodeSerial(lines.log);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0], (Frame{1, 0, 1, 0, 0, 1, 0, 1}));
    EXPECT_EQ(d.strayBits, 0);
    // Data is set before the clock rises, with no pass in between.
    const auto ops = linesOnly(lines.log);
    for (size_t i = 1; i < ops.size(); ++i) {
        if (ops[i].op == Op::Break && ops[i].on) {
            EXPECT_EQ(ops[i - 1].op, Op::Rts) << "clock rise " << i;
        }
    }
}

TEST_F(SerialInterface, Out16SendsItsSignBitAndFramesTheWord)
{
    clsDDSSerialIF port(*store, lines);
    ASSERT_GT(port.OpenPort(false), 0);
    for (const int16_t word : {int16_t(-2048), int16_t(0x1234), int16_t(-1), int16_t(0)}) {
        lines.log.clear();
        passes = 0;
        port.Out16(word);
        const SerialDecode d = decodeSerial(lines.log);
        ASSERT_EQ(d.frames.size(), 1u);
        EXPECT_EQ(wordsOf(d.frames[0]), std::vector<uint16_t>{static_cast<uint16_t>(word)});
        EXPECT_EQ(d.lineOps, 50);
        EXPECT_EQ(passes, 48);
    }
}

TEST_F(SerialInterface, Out32FramesThirtyTwoBits)
{
    clsDDSSerialIF port(*store, lines);
    ASSERT_GT(port.OpenPort(false), 0);
    lines.log.clear();
    port.Out32(static_cast<int32_t>(0x89ABCDEF));
    const SerialDecode d = decodeSerial(lines.log);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(bytesOf(d.frames[0]), (std::vector<uint8_t>{0x89, 0xAB, 0xCD, 0xEF}));
}

TEST_F(SerialInterface, ClosedPortTouchesNoLineAndSendReportsIt)
{
    clsDDSSerialIF port(*store, lines);
    EXPECT_EQ(port.Send(0x55), 1);
    port.IOUPD(0);
    port.SDATA(1);
    port.SCLCK(1);
    port.Out16(-2048);
    port.Out32(7);
    EXPECT_EQ(port.GetEncoderBits(), 0);
    for (const auto& e : lines.log)
        EXPECT_EQ(e.op, Op::EventPass);
    ASSERT_GT(port.OpenPort(false), 0);
    lines.log.clear();
    EXPECT_EQ(port.Send(0x55), 0);
    EXPECT_EQ(decodeSerial(lines.log).lineOps, 25);
}

TEST_F(SerialInterface, DelayOfZeroRunsNoEventsAndAnyOtherTimeRunsOnePass)
{
    clsDDSSerialIF port(*store, lines);
    port.Delay(0);
    EXPECT_EQ(passes, 0);
    port.Delay(1e-6);
    EXPECT_EQ(passes, 1);
    port.setWaitTime(0);
    ASSERT_GT(port.OpenPort(false), 0);
    port.Out16(-2048);
    EXPECT_EQ(passes, 1);
}

TEST_F(SerialInterface, OpenPortSetsTheIdleLinesAndReturnsTheSameHandleWhenOpen)
{
    clsDDSSerialIF port(*store, lines);
    const int32_t handle = port.OpenPort(false);
    ASSERT_GT(handle, 0);
    const auto ops = linesOnly(lines.log);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0].path, "/dev/ttyS0");
    EXPECT_TRUE(ops[1].op == Op::Dtr && ops[1].on);
    EXPECT_TRUE(ops[2].op == Op::Rts && ops[2].on);
    EXPECT_TRUE(ops[3].op == Op::Break && !ops[3].on);

    lines.log.clear();
    EXPECT_EQ(port.OpenPort(true), handle);
    EXPECT_TRUE(lines.log.empty());
    EXPECT_TRUE(messagesShown.shown().empty());
}

TEST_F(SerialInterface, EveryPortNumberMapsToItsOwnDeviceUnlessAPathIsConfigured)
{
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.RestoreSettings();
    EXPECT_EQ(port.PortNo(), 1);
    EXPECT_EQ(port.portDevice(), "/dev/ttyS0");
    port.setPortNo(12);
    EXPECT_EQ(port.portDevice(), "/dev/ttyS11");
    store->write("ddsserialif", "devicepath", " /dev/ttyUSB0 ");
    port.RestoreSettings();
    ASSERT_GT(port.OpenPort(false), 0);
    EXPECT_EQ(lines.log.front().path, "/dev/ttyUSB0");
}

TEST_F(SerialInterface, OpenFailureShowsTheMessageOfEachMode)
{
    lines.refuseOpen = true;
    ModemLineWatcher watcher;
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.setPortNo(3);
    EXPECT_EQ(port.OpenPort(false), 0);
    port.setMSCommCtl(&watcher);
    EXPECT_EQ(port.OpenPort(true), 0);
    EXPECT_FALSE(watcher.isWatching());
    ASSERT_EQ(messagesShown.shown().size(), 2u);
    EXPECT_EQ(messagesShown.shown()[0].text,
              "DDSSerialIF : PollMode : Unable to Open COM3\n"
              "Please Set valid COM port in Configuration, then Close and Restart\n"
              "/dev/ttyS2: No such file or directory");
    EXPECT_EQ(messagesShown.shown()[1].text,
              "Unable to Open COM3\nPlease Set valid COM port in Configuration, then Close and Restart\n"
              "clsDDSSerialIF:clsDDSSerialIF:OpenPort:0\n/dev/ttyS2: No such file or directory");
    EXPECT_EQ(messagesShown.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(port.hComm(), 0);
    EXPECT_EQ(logLines.size(), 2);
}

TEST_F(SerialInterface, ARefusedDeviceTellsWhichGroupToJoin)
{
    lines.refuseOpen = true;
    lines.refusedErrorNumber = EACCES;
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.setDevicePath(dir.filePath("ttyUSB0"));
    EXPECT_EQ(port.OpenPort(false), 0);
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    const QStringList text = messagesShown.shown()[0].text.split('\n');
    ASSERT_EQ(text.size(), 4) << messagesShown.shown()[0].text.toStdString();
    EXPECT_EQ(text[0], "DDSSerialIF : PollMode : Unable to Open " + dir.filePath("ttyUSB0"));
    EXPECT_EQ(text[2], dir.filePath("ttyUSB0") + ": Permission denied");
    EXPECT_TRUE(text[3].startsWith("Your user must be in the group that owns " + dir.filePath("ttyUSB0")
                                   + ", usually dialout: sudo usermod -aG dialout "))
        << text[3].toStdString();
}

TEST_F(SerialInterface, PortNumbersBelowOneAreRefusedWithTheOpenFailureMessage)
{
    for (const char* stored : {"0", "-1", "-2147483648"}) {
        messagesShown.clear();
        lines.log.clear();
        store->write("DDSSerialIF", "PortNo", stored);
        clsDDSSerialIF port(*store, lines);
        port.setName("DDSSerialIF");
        port.RestoreSettings();
        EXPECT_EQ(port.PortNo(), QString(stored).toInt()) << stored;
        EXPECT_EQ(port.OpenPort(false), 0) << stored;
        EXPECT_TRUE(lines.log.empty()) << stored << ": no device may be opened";
        ASSERT_EQ(messagesShown.shown().size(), 1u) << stored;
        EXPECT_TRUE(messagesShown.shown()[0].text.startsWith("DDSSerialIF : PollMode : Unable to Open COM")) << stored;
        // The writes that follow are dropped without a second message.
        port.Out32(0x12345678);
        EXPECT_EQ(messagesShown.shown().size(), 1u) << stored;
    }
}

TEST_F(SerialInterface, WritesToAPortNeverOpenedAreReportedOnce)
{
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.Out32(1);
    port.Out16(2);
    port.Out8(3);
    EXPECT_EQ(port.Send(4), 1);
    EXPECT_TRUE(lines.log.empty());
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_TRUE(messagesShown.shown()[0].text.contains("COM1 is not open"))
        << messagesShown.shown()[0].text.toStdString();
    EXPECT_EQ(logLines.filter("COM1 is not open").size(), 1) << logLines.join('\n').toStdString();

    // Once open the port writes; closed at shut-down, nothing more is said.
    ASSERT_GT(port.OpenPort(false), 0);
    port.Out8(5);
    EXPECT_FALSE(linesOnly(lines.log).empty());
    port.ClosePort();
    port.Out8(6);
    EXPECT_EQ(messagesShown.shown().size(), 1u);
}

TEST_F(SerialInterface, ClosedPortReopensInEitherModeAndEventModeDeliversKnobChanges)
{
    ModemLineWatcher watcher;
    std::vector<int> events;
    QObject::connect(&watcher, &ModemLineWatcher::commEventRaised, [&](int e) { events.push_back(e); });
    clsDDSSerialIF port(*store, lines);
    port.setMSCommCtl(&watcher);

    ASSERT_GT(port.OpenPort(false), 0);
    EXPECT_FALSE(watcher.isWatching());
    port.ClosePort();
    EXPECT_EQ(port.hComm(), 0);
    EXPECT_FALSE(lines.isOpen());

    lines.status = ModemStatusCts;
    ASSERT_GT(port.OpenPort(true), 0);
    EXPECT_TRUE(watcher.isWatching());
    EXPECT_EQ(port.GetEncoderBits(), int32_t(ModemStatusCts));
    watcher.poll();
    EXPECT_TRUE(events.empty()) << "the state at open is the baseline";
    lines.status = ModemStatusCts | ModemStatusDsr;
    watcher.poll();
    lines.status = 0;
    watcher.poll();
    EXPECT_EQ(events, (std::vector<int>{4, 3, 4}));
    EXPECT_EQ(watcher.CommEvent(), 4);

    port.ClosePort();
    EXPECT_FALSE(watcher.isWatching());
    lines.status = ModemStatusCts;
    watcher.poll();
    EXPECT_EQ(events.size(), 3u);
    ASSERT_GT(port.OpenPort(false), 0);
}

TEST_F(SerialInterface, SettingsRoundTripAndTheCloseComesFirst)
{
    {
        clsDDSSerialIF port(*store, lines);
        port.setName("DDSSerialIF");
        port.setPortNo(4);
        port.setWaitTime(1.0 / 230400.0 * 3);
        ASSERT_GT(port.OpenPort(false), 0);
    }
    EXPECT_FALSE(lines.isOpen());
    EXPECT_EQ(lines.log.back().op, Op::Close);
    clsDDSSerialIF again(*store, lines);
    again.setName("DDSSerialIF");
    again.RestoreSettings();
    EXPECT_EQ(again.PortNo(), 4);
    EXPECT_EQ(again.WaitTime(), 1.0 / 230400.0 * 3);
    EXPECT_EQ(store->read("DDSSerialIF", "DevicePath", "absent"), "absent");
}

TEST_F(SerialInterface, AFileWithOnlyAPortNumberKeepsItsShapeAndAChosenDeviceRoundTrips)
{
    store->write("DDSSerialIF", "PortNo", "2");
    const auto restored = [&] {
        auto port = std::make_unique<clsDDSSerialIF>(*store, lines);
        port->setName("DDSSerialIF");
        port->RestoreSettings();
        return port;
    };
    restored().reset();
    EXPECT_EQ(store->read("DDSSerialIF", "PortNo", ""), "2");
    EXPECT_EQ(store->read("DDSSerialIF", "DevicePath", "absent"), "absent");
    EXPECT_EQ(restored()->portDevice(), "/dev/ttyS1");

    {
        auto port = restored();
        port->setDevicePath("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    }
    {
        auto port = restored();
        EXPECT_EQ(port->PortNo(), 2);
        EXPECT_EQ(port->portDevice(), "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
        // Back on a COM port: the stored device must not win at the next start.
        port->setPortNo(1);
        port->setDevicePath("");
    }
    EXPECT_EQ(restored()->portDevice(), "/dev/ttyS0");
}

TEST_F(SerialInterface, AFailingKnobReadIsToldOnceAndTriedOnceASecondUntilItReadsAgain)
{
    ModemLineWatcher watcher;
    std::vector<int> events;
    QObject::connect(&watcher, &ModemLineWatcher::commEventRaised, [&](int e) { events.push_back(e); });
    clsDDSSerialIF port(*store, lines);
    port.setDevicePath("/dev/ttyUSB0");
    port.setMSCommCtl(&watcher);
    ASSERT_GT(port.OpenPort(true), 0);
    const auto told = [&] { return logLines.filter("/dev/ttyUSB0 (modem status: Input/output error)"); };
    for (int round = 1; round <= 2; ++round) {
        lines.failStatusRead = true;
        for (int i = 0; i < 50; ++i)
            watcher.poll();
        EXPECT_EQ(told().size(), round) << logLines.join('\n').toStdString();
        EXPECT_EQ(watcher.pollInterval(), ModemLineWatcher::FailedReadRetryMs);
        // Answering again: the knob's pace, and a line that moved meanwhile is an event.
        lines.failStatusRead = false;
        lines.status ^= ModemStatusCts;
        watcher.poll();
        EXPECT_EQ(watcher.pollInterval(), 1);
        EXPECT_EQ(events.size(), static_cast<size_t>(round));
    }

    // A pseudo-terminal has no modem lines: the read at the open already fails.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    SerialModemLines real;
    clsDDSSerialIF ptyPort(*store, real);
    ptyPort.setDevicePath(QString::fromLocal8Bit(::ptsname(master)));
    ptyPort.setMSCommCtl(&watcher);
    ASSERT_GT(ptyPort.OpenPort(true), 0);
    EXPECT_TRUE(watcher.statusReadFailing());
    EXPECT_EQ(logLines.filter(ptyPort.DevicePath() + " (modem status: ").size(), 1);
    ptyPort.ClosePort();
    ::close(master);
}

TEST(ModemLineWatcherTimer, PollsOnItsOwnWhileTheEventLoopRuns)
{
    int argc = 1;
    char name[] = "orvik_tuning_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    RecordingModemLines lines;
    ASSERT_TRUE(lines.open("/dev/ttyS0"));
    ModemLineWatcher watcher;
    watcher.setPollInterval(1);
    std::vector<int> events;
    QObject::connect(&watcher, &ModemLineWatcher::commEventRaised, [&](int e) {
        events.push_back(e);
        QCoreApplication::quit();
    });
    watcher.start(&lines);
    lines.status = ModemStatusDsr;
    // The deadline: the event ends the loop long before it on any machine.
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(events, std::vector<int>{4});
}

class ParallelInterface : public TuningTest {};

TEST_F(ParallelInterface, Out8OfHex80WritesTheKnownSequenceInBothPolarities)
{
    clsDDSParallelIF port(*store, parallel);
    port.Out8(0x80);
    std::vector<uint8_t> expected{4, 6, 4};
    for (int i = 0; i < 7; ++i)
        expected.insert(expected.end(), {5, 7, 5});
    EXPECT_EQ(parallel.values(), expected);

    parallel.writes.clear();
    port.setNonInverting(true);
    port.Out8(0x80);
    expected = {5, 7, 5};
    for (int i = 0; i < 7; ++i)
        expected.insert(expected.end(), {4, 6, 4});
    EXPECT_EQ(parallel.values(), expected);
    EXPECT_EQ(parallel.writes.front().address, 0x378);
}

TEST_F(ParallelInterface, Out16FramesDecodeBackToTheWordInBothPolarities)
{
    for (const bool nonInverting : {false, true}) {
        clsDDSParallelIF port(*store, parallel);
        port.setNonInverting(nonInverting);
        parallel.writes.clear();
        passes = 0;
        port.Out16(-2048);
        const auto v = parallel.values();
        ASSERT_EQ(v.size(), 51u);
        // Clock low, then the frame line: active is 0 by default, 4 when not inverting.
        EXPECT_EQ(v[0], 0);
        EXPECT_EQ(v[1], nonInverting ? 4 : 0);
        EXPECT_EQ(v.back(), nonInverting ? 0 : 4);
        EXPECT_EQ(passes, 36);
        const ParallelDecode d = decodeParallel(v, nonInverting);
        ASSERT_EQ(d.frames.size(), 1u);
        EXPECT_EQ(wordsOf(d.frames[0]), std::vector<uint16_t>{0xF800});
        EXPECT_EQ(d.illegalWrites, 0);
    }
}

TEST_F(ParallelInterface, FrameAndClockWritesFollowTheTable)
{
    clsDDSParallelIF port(*store, parallel);
    struct Row {
        bool nonInverting;
        int16_t state;
        uint8_t written;
    };
    for (const Row r : {Row{false, 1, 0}, Row{false, 0, 4}, Row{false, 9, 0}, Row{false, -1, 4}, Row{true, 1, 4},
                        Row{true, 0, 0}}) {
        port.setNonInverting(r.nonInverting);
        parallel.writes.clear();
        port.IOUPD(r.state);
        port.SCLCK(r.state);
        port.SetClock(r.state);
        EXPECT_EQ(parallel.values(), (std::vector<uint8_t>{r.written, 0, 0})) << r.nonInverting << " " << r.state;
    }
}

TEST_F(ParallelInterface, UnreachablePortIsReportedOnceAndSendSaysSo)
{
    parallel.refuse = true;
    clsDDSParallelIF port(*store, parallel);
    port.setName("DDSParallelIF");
    EXPECT_EQ(port.Send(0x12), 1);
    EXPECT_EQ(port.Send(0x34), 1);
    EXPECT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_EQ(logLines.size(), 1);
    const QStringList text = messagesShown.shown()[0].text.split('\n');
    ASSERT_EQ(text.size(), 4) << messagesShown.shown()[0].text.toStdString();
    EXPECT_EQ(text[0], "Unable to open the parallel port at &H378");
    EXPECT_EQ(text[1], "/dev/parport0: Permission denied");
    EXPECT_TRUE(text[2].contains("sudo usermod -aG ")) << text[2].toStdString();
    EXPECT_TRUE(text[2].endsWith("then log out and in again")) << text[2].toStdString();

    parallel.refuse = false;
    EXPECT_EQ(port.Send(0x12), 0);
    parallel.refuse = true;
    port.setPortAddress(0x278);
    port.Send(0);
    EXPECT_EQ(messagesShown.shown().size(), 2u) << "a new address gets its own report";
    port.setPortAddress(0x278);
    port.setDevicePath("");
    port.Send(0);
    EXPECT_EQ(messagesShown.shown().size(), 2u) << "the same port again has been told";
    port.reportFailureAgain();
    port.Send(0);
    port.Send(0);
    EXPECT_EQ(messagesShown.shown().size(), 3u);
}

TEST_F(ParallelInterface, SettingsRoundTripInTheirOrder)
{
    {
        clsDDSParallelIF port(*store, parallel);
        port.setName("DDSParallelIF");
        port.setPortAddress(0x278);
        port.setNonInverting(true);
        port.setWaitTime(0);
    }
    clsDDSParallelIF again(*store, parallel);
    again.setName("DDSParallelIF");
    again.RestoreSettings();
    EXPECT_EQ(again.PortAddress(), 0x278);
    EXPECT_TRUE(again.NonInverting());
    EXPECT_EQ(again.WaitTime(), 0.0);
    EXPECT_EQ(store->read("DDSParallelIF", "NonInverting", ""), "True");
}

// As the serial port's: a stored path with a control character is refused with one short
// log line, the port address chooses the device, and the stored text is left to the user.
TEST_F(ParallelInterface, AStoredDevicePathWithAControlCharacterIsRefusedWithOneShortLogLine)
{
    const QString nul = QString("/dev/parport1") + QChar(0) + "junk";
    for (const QString& stored : {nul, QString("/dev/parport1\nsecond line"), "/dev/" + QString(100000, 'x')}) {
        const std::string label = stored.left(20).toStdString();
        logLines.clear();
        store->write("DDSParallelIF", "DevicePath", stored);
        {
            clsDDSParallelIF port(*store, parallel);
            port.setName("DDSParallelIF");
            port.RestoreSettings();
            EXPECT_EQ(port.DevicePath(), "") << label;
            EXPECT_EQ(parallel.devicePath, "") << label;
            ASSERT_EQ(logLines.size(), 1) << label;
            EXPECT_TRUE(logLines[0].contains("DevicePath")) << logLines[0].toStdString();
            EXPECT_LT(logLines[0].size(), 300) << label;
            for (const QChar c : logLines[0])
                EXPECT_GE(c.unicode(), 0x20) << label << ": the line holds a raw control character";
        }
        EXPECT_EQ(store->read("DDSParallelIF", "DevicePath", ""), stored) << label;
    }
}

TEST_F(SerialInterface, MissingRealDeviceGivesTheOpenFailureMessage)
{
    SerialModemLines real;
    clsDDSSerialIF port(*store, real);
    port.setName("DDSSerialIF");
    port.setPortNo(17);
    port.setDevicePath("/nonexistent/ttyUSB9");
    EXPECT_EQ(port.OpenPort(false), 0);
    EXPECT_EQ(port.Send(0x12), 1);
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_TRUE(messagesShown.shown()[0].text.startsWith("DDSSerialIF : PollMode : Unable to Open /nonexistent/ttyUSB9\n"))
        << messagesShown.shown()[0].text.toStdString();
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_TRUE(logLines[0].contains("/nonexistent/ttyUSB9")) << logLines[0].toStdString();
}

TEST_F(SerialInterface, WatcherGoneFirstLeavesTheCloseSafe)
{
    clsDDSSerialIF port(*store, lines);
    {
        ModemLineWatcher watcher;
        port.setMSCommCtl(&watcher);
        ASSERT_GT(port.OpenPort(true), 0);
    }
    EXPECT_EQ(port.MSCommCtl(), nullptr);
    port.ClosePort();
    EXPECT_FALSE(lines.isOpen());
}

namespace {

// Line changes that reached the port while it was open.
int lineChanges(const std::vector<RecordingModemLines::Entry>& log)
{
    int n = 0;
    for (const auto& e : log)
        n += (e.op == Op::Dtr || e.op == Op::Rts || e.op == Op::Break) && e.wasOpen;
    return n;
}

} // namespace

TEST_F(SerialInterface, ADeviceWithoutModemLinesIsReportedOnceAndItsFailuresCounted)
{
    lines.failLinesWith = ENOTTY;
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.setDevicePath("/dev/pts/7");
    // The device opens; setting the idle lines is what fails.
    ASSERT_GT(port.OpenPort(false), 0);
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    const QString text = messagesShown.shown()[0].text;
    EXPECT_TRUE(text.startsWith("DDSSerialIF : Unable to drive the lines of /dev/pts/7")) << text.toStdString();
    EXPECT_TRUE(text.contains("/dev/pts/7: DTR: Inappropriate ioctl for device")) << text.toStdString();
    EXPECT_TRUE(text.contains("no modem lines")) << text.toStdString();
    ASSERT_EQ(logLines.size(), 1) << logLines.join('\n').toStdString();
    EXPECT_TRUE(logLines[0].contains("/dev/pts/7")) << logLines[0].toStdString();
    EXPECT_TRUE(logLines[0].contains("Inappropriate ioctl for device")) << logLines[0].toStdString();

    // A whole transfer fails line by line: counted, not said again, and Send reports it.
    EXPECT_EQ(port.Send(0x5A), 1);
    port.Out16(-2048);
    port.Out32(0x12345678);
    EXPECT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_EQ(logLines.size(), 1);
    EXPECT_EQ(port.failedLineChanges(), lineChanges(lines.log));
    EXPECT_GT(port.failedLineChanges(), 100);
}

TEST_F(SerialInterface, AnAdapterPulledOutWhileOpenIsReportedOnceAndAgainAfterAReopen)
{
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.setDevicePath("/dev/ttyUSB0");
    ASSERT_GT(port.OpenPort(false), 0);
    EXPECT_EQ(port.Send(0x12), 0);
    EXPECT_TRUE(messagesShown.shown().empty());
    EXPECT_EQ(port.failedLineChanges(), 0);

    lines.failLinesWith = EIO;
    EXPECT_EQ(port.Send(0x34), 1);
    port.Out8(0x56);
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    const QString text = messagesShown.shown()[0].text;
    EXPECT_TRUE(text.contains("/dev/ttyUSB0: break: Input/output error")) << text.toStdString();
    EXPECT_TRUE(text.contains("unplugged")) << text.toStdString();
    EXPECT_EQ(logLines.size(), 1);
    EXPECT_EQ(port.failedLineChanges(), 2 * 25);

    // Opened again (as Apply does), the device gets a report of its own.
    port.ClosePort();
    ASSERT_GT(port.OpenPort(false), 0);
    EXPECT_EQ(messagesShown.shown().size(), 2u);
    EXPECT_EQ(logLines.size(), 2);
    EXPECT_EQ(port.failedLineChanges(), 3) << "the count starts again with the open";
}

TEST_F(SerialInterface, ADevicePathInForceIsNamedInPlaceOfTheComNumber)
{
    const QString device = "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0";
    lines.refuseOpen = true;
    lines.refusedErrorNumber = EACCES;
    ModemLineWatcher watcher;
    clsDDSSerialIF port(*store, lines);
    port.setName("DDSSerialIF");
    port.setPortNo(1);
    port.setDevicePath(device);
    port.setMSCommCtl(&watcher);
    EXPECT_EQ(port.portName(), device);
    EXPECT_EQ(port.OpenPort(false), 0);
    EXPECT_EQ(port.OpenPort(true), 0);
    ASSERT_EQ(messagesShown.shown().size(), 2u);
    EXPECT_EQ(messagesShown.shown()[0].text.section('\n', 0, 0), "DDSSerialIF : PollMode : Unable to Open " + device);
    EXPECT_EQ(messagesShown.shown()[1].text.section('\n', 0, 0), "Unable to Open " + device);
    for (const auto& shown : messagesShown.shown())
        EXPECT_FALSE(shown.text.contains("COM1")) << shown.text.toStdString();

    // The write that finds the port closed names it the same way.
    messagesShown.clear();
    clsDDSSerialIF never(*store, lines);
    never.setName("DDSSerialIF");
    never.setDevicePath(device);
    never.Out8(1);
    ASSERT_EQ(messagesShown.shown().size(), 1u);
    EXPECT_TRUE(messagesShown.shown()[0].text.startsWith("DDSSerialIF : " + device + " is not open"))
        << messagesShown.shown()[0].text.toStdString();
    EXPECT_FALSE(messagesShown.shown()[0].text.contains("COM1"));

    never.setDevicePath("");
    never.setPortNo(4);
    EXPECT_EQ(never.portName(), "COM4");
}

TEST_F(SerialInterface, AStoredDevicePathWithAControlCharacterIsRefusedWithOneShortLogLine)
{
    const QString longPath = "/dev/" + QString(100000, 'x');
    const QString nul = QString("/dev/ttyUSB0") + QChar(0) + "junk";
    const QString broken = "/dev/ttyUSB0\nsecond line";
    for (const QString& stored : {nul, broken, longPath, QString("/dev/tty") + QChar(0x1B) + "[2J"}) {
        const std::string label = stored.left(20).toStdString();
        logLines.clear();
        lines.log.clear();
        store->write("DDSSerialIF", "PortNo", "3");
        store->write("DDSSerialIF", "DevicePath", stored);
        ASSERT_EQ(store->read("DDSSerialIF", "DevicePath", ""), stored) << label << ": the store keeps it";
        {
            clsDDSSerialIF port(*store, lines);
            port.setName("DDSSerialIF");
            port.RestoreSettings();
            EXPECT_EQ(port.DevicePath(), "") << label;
            EXPECT_EQ(port.portDevice(), "/dev/ttyS2") << label;
            ASSERT_EQ(logLines.size(), 1) << label;
            const QString line = logLines[0];
            EXPECT_TRUE(line.contains("DevicePath")) << line.toStdString();
            EXPECT_LT(line.size(), 300) << label;
            for (const QChar c : line)
                EXPECT_GE(c.unicode(), 0x20) << label << ": the line holds a raw control character";
            ASSERT_GT(port.OpenPort(false), 0);
            EXPECT_EQ(lines.log.front().path, "/dev/ttyS2") << label;
        }
        // Saving leaves what the file holds for the user to mend.
        EXPECT_EQ(store->read("DDSSerialIF", "DevicePath", ""), stored) << label;
        EXPECT_EQ(store->read("DDSSerialIF", "PortNo", ""), "3") << label;
    }
}

TEST_F(SerialInterface, ARefusedStoredDevicePathGivesWayToTheOperatorsChoice)
{
    store->write("DDSSerialIF", "DevicePath", QString("/dev/ttyUSB0") + QChar(0));
    {
        clsDDSSerialIF port(*store, lines);
        port.setName("DDSSerialIF");
        port.RestoreSettings();
        port.setDevicePath("/dev/ttyACM0");
    }
    EXPECT_EQ(store->read("DDSSerialIF", "DevicePath", ""), "/dev/ttyACM0");
    store->write("DDSSerialIF", "DevicePath", QString("/dev/ttyUSB0") + QChar(0));
    {
        clsDDSSerialIF port(*store, lines);
        port.setName("DDSSerialIF");
        port.RestoreSettings();
        port.setDevicePath("");
    }
    EXPECT_EQ(store->read("DDSSerialIF", "DevicePath", "absent"), "");
}

TEST_F(SerialInterface, APseudoTerminalOpensAndItsRefusedLinesAreReportedOnce)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    {
        SerialModemLines real;
        clsDDSSerialIF port(*store, real);
        port.setName("DDSSerialIF");
        port.setDevicePath(slave);
        ASSERT_GT(port.OpenPort(false), 0);
        port.Out32(0x12345678);
        port.Out16(0x1234);
        ASSERT_EQ(messagesShown.shown().size(), 1u);
        EXPECT_TRUE(messagesShown.shown()[0].text.contains(slave + ": DTR: Inappropriate ioctl for device"))
            << messagesShown.shown()[0].text.toStdString();
        EXPECT_EQ(logLines.size(), 1) << logLines.join('\n').toStdString();
        // A pseudo-terminal takes the break; both modem lines are refused on every change.
        EXPECT_EQ(port.failedLineChanges(), 2 + 2 + 32 + 16 + 2);
    }
    ::close(master);
}
