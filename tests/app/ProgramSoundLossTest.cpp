// The program binary on a virtual X server with a private sound server that goes away
// under it: killed while the receiver is on (a crash), killed and restarted while it is
// off, absent when the program starts, and frozen. The operator must see the receiver
// switch off with a message that says why, get sound at the next power on once the
// server is back, never find the window stuck, and SIGTERM must end the program with
// everything saved, in every one of those states.

#include "platform/sound/SoundCallThread.h"
#include "tests/app/DisplaySandbox.h"
#include "tests/support/PulseAudioServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
constexpr int kTwipsPerPixel = 15;
const QString SoundFailure = "ORVIKSDR: Unable to start DirectSound. Check proper sound card installation\n";
const QString SoundStopped = "ORVIKSDR: The sound stopped while receiving: the receiver is switched off\n";
// Either heading: a start that failed, or sound that stopped while receiving.
const QRegularExpression SoundMessage("^(" + QRegularExpression::escape(SoundFailure) + "|" +
                                          QRegularExpression::escape(SoundStopped) + ")",
                                      QRegularExpression::MultilineOption);
const QString Started = "frmMain:frmMain:Form_Initialize:End";
const QString DeviceStopped = "Capture device \"pulse\", playback device \"pulse\": The device stopped unexpectedly";
const QString NoDevice = "No capture or playback device was found: the sound server may not be running.";
const QString NoAnswer = "Capture device \"pulse\", playback device \"pulse\": The sound system did not answer in time";
const QString NoListInTime = "The sound system did not answer in time.";
// A half of the recorder's ring: the first block it writes to its file.
constexpr qint64 kFirstRecordedBytes = 2 * 131072;

// The receiver as the settings leave it: the "pulse" devices, the synthesizer on the
// recorded port (so no box about a missing board), the full display with the recorder.
QString settingsFor(bool autoStart, int capture, int playback)
{
    return QString("[frmMain]\nAutoStartSDR=%1\nFullDisplay=TRUE\nCurrentCaptureDevice=%2\nCurrentPlaybackDevice=%3\n"
                   "VFO1.IFType=0\n")
        .arg(autoStart ? "True" : "False")
        .arg(capture)
        .arg(playback);
}

// The header and length of a finished recording: the data size in the header, the RIFF size
// that follows from it, and the track log's marker right behind the samples.
struct FinishedRecording {
    bool valid = false;
    qint64 dataBytes = 0;
    std::string problem;
};

FinishedRecording readRecording(const QByteArray& bytes)
{
    FinishedRecording r;
    const auto le32 = [&](int at) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.constData() + at, 4);
        return static_cast<qint64>(v);
    };
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 8) != "WAVEfmt " || bytes.mid(36, 4) != "data") {
        r.problem = "no WAV header";
        return r;
    }
    r.dataBytes = le32(40);
    if (le32(4) != 36 + r.dataBytes)
        r.problem = "RIFF size " + std::to_string(le32(4)) + " for " + std::to_string(r.dataBytes) + " data bytes";
    else if (44 + r.dataBytes + 5 > bytes.size() || bytes.mid(static_cast<int>(44 + r.dataBytes), 5) != "ORVIK")
        r.problem = "no track log right behind " + std::to_string(r.dataBytes) + " data bytes in " +
                    std::to_string(bytes.size());
    else
        r.valid = true;
    return r;
}

// Threads of another process held where they are (a ptrace stop) until released, at the
// latest when this goes.
class HeldThreads {
public:
    explicit HeldThreads(const std::vector<pid_t>& threads)
    {
        for (const pid_t thread : threads) {
            int status = 0;
            const bool seized = ptrace(PTRACE_SEIZE, thread, nullptr, nullptr) == 0;
            if (seized)
                held_.push_back(thread);
            const bool stopped = seized && ptrace(PTRACE_INTERRUPT, thread, nullptr, nullptr) == 0 &&
                                 waitpid(thread, &status, __WALL) == thread;
            holdsAll_ = holdsAll_ && stopped;
        }
    }
    ~HeldThreads() { release(); }
    bool holdsAll() const { return holdsAll_; }
    void release()
    {
        for (const pid_t thread : held_)
            ptrace(PTRACE_DETACH, thread, nullptr, nullptr);
        held_.clear();
    }

private:
    std::vector<pid_t> held_;
    bool holdsAll_ = true;
};

class ProgramSoundLoss : public DisplaySandbox {
protected:
    ProgramSoundLoss() : DisplaySandbox({QStringLiteral("xwd"), QStringLiteral("convert")}) {}

    void SetUp() override
    {
        DisplaySandbox::SetUp();
        if (!readyForTest())
            return;
        std::tie(capture, playback) = pulseDevices();
        ASSERT_GT(capture, 0);
        ASSERT_GT(playback, 0);
    }

    void TearDown() override
    {
        // A frozen server must run again to be ended.
        signalServer(SIGCONT);
        endProcess(recorder, 5000);
        DisplaySandbox::TearDown();
    }

    // The program on the virtual display, traced; without the right to real-time
    // scheduling when `normalPriority`, as most operators run it.
    void startOnDisplay(bool normalPriority, const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment env = extra;
        env.insert("DISPLAY", xserver.name());
        // In a sanitizer build: the sound server's ALSA plugin keeps memory of a connection
        // that died, allocated from a module it unloads later; only a full unwind reaches the
        // library frames the leak suppressions name.
        const QString sanitizer = qEnvironmentVariable("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "fast_unwind_on_malloc=0");
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        const QStringList wrapper = normalPriority ? QStringList{"setpriv", "--bounding-set", "-sys_nice", "--inh-caps",
                                                                 "-sys_nice", "--"}
                                                   : QStringList{};
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {"trace"}, env, wrapper));
        ASSERT_TRUE(runUntil([&] { return trace().contains(Started); }, 60000))
            << "the start did not finish\n" << programLog();
        mainWindow = xserver.shownWindows("ORVIKSDR").value(0);
        ASSERT_FALSE(mainWindow.isEmpty()) << "the main window is not shown";
    }

    // The AM station into "inject", "appout" recorded into `file` from now on.
    void listen(const QString& file)
    {
        endProcess(recorder, 5000);
        QFile::remove(dir.filePath(file));
        ASSERT_TRUE(PulseAudioServer::startRecorder(recorder, "appout.monitor", 1, dir.filePath(file)));
        ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(120, true), "am.raw"));
        heard = file;
    }

    // The last half second recorded carries sound.
    bool soundComesOut() const
    {
        const QByteArray out = fileContents(heard);
        const qsizetype n = out.size() / 2;
        if (n < kRate / 2)
            return false;
        const auto* s = reinterpret_cast<const int16_t*>(out.constData()) + n - kRate / 2;
        return std::count_if(s, s + kRate / 2, [](int16_t v) { return std::abs(v) > 1000; }) > kRate / 20;
    }

    void expectSound(const char* when)
    {
        ASSERT_TRUE(runUntil([&] { return soundComesOut(); }, 30000))
            << "no sound " << when << "\n" << programLog() << trace().toStdString();
    }

    QString trace() const { return QString::fromUtf8(fileContents(traceFile)); }
    QString errors() const { return QString::fromUtf8(fileContents("program.log")); }

    void click(int x, int y)
    {
        xserver.runClient("xdotool", {"mousemove", "--window", mainWindow, QString::number(x), QString::number(y),
                                      "click", "1"});
    }
    // optPwr(i) in frPower: the frame at (60, 0), the buttons at (90, 240 + 300 i), 255 high.
    void clickPower(int index) { click((60 + 90 + 150) / kTwipsPerPixel, (240 + index * 300 + 127) / kTwipsPerPixel); }
    // cmdWavCtls(i): the recorder's buttons.
    void clickRecorder(int index)
    {
        click((2580 + 60 + index * 375 + 180) / kTwipsPerPixel, (2820 + 45 + 165) / kTwipsPerPixel);
    }

    // The brightest pure green in the On button's caption: &HFF00 (255) while the receiver
    // is off, &HC000 (192) while it is on, give or take the grab's rounding.
    int onCaptionGreen()
    {
        const QImage image = xserver.grab(mainWindow, dir.filePath("window.png"));
        int brightest = -1;
        for (int y = 240 / kTwipsPerPixel; y < (240 + 255) / kTwipsPerPixel && y < image.height(); ++y)
            for (int x = (60 + 90) / kTwipsPerPixel; x < (60 + 90 + 810) / kTwipsPerPixel && x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qRed(p) < 40 && qBlue(p) < 40)
                    brightest = std::max(brightest, qGreen(p));
            }
        return brightest;
    }

    void expectPowerShows(bool on)
    {
        int green = -1;
        EXPECT_TRUE(runUntil(
            [&] {
                green = onCaptionGreen();
                return on ? std::abs(green - 192) <= 8 : green >= 247;
            },
            30000))
            << "the Power frame does not show " << (on ? "On" : "Off") << ": the On caption's green is " << green;
    }

    // Waits for the `count`-th sound-failure message with that reason line (or `orReason`)
    // and its box, and answers the box when asked to. A device that stopped while receiving
    // is told as a stop, anything else as a start that failed.
    void expectSoundFailure(int count, const QString& reason, bool answer = true, const QString& orReason = {})
    {
        ASSERT_TRUE(runUntil([&] { return errors().count(SoundMessage) >= count; }, 60000))
            << "no message about the sound device\n" << programLog();
        EXPECT_EQ(errors().count(SoundMessage), count) << programLog();
        QRegularExpressionMatch last;
        for (QRegularExpressionMatchIterator it = SoundMessage.globalMatch(errors()); it.hasNext();)
            last = it.next();
        EXPECT_EQ(last.captured(1).toStdString(), (reason == DeviceStopped ? SoundStopped : SoundFailure).toStdString())
            << programLog();
        const QString newest = errors().mid(last.capturedEnd());
        EXPECT_TRUE(newest.startsWith(reason) || (!orReason.isEmpty() && newest.startsWith(orReason))) << programLog();
        QString box;
        ASSERT_TRUE(runUntil(
            [&] {
                for (const QString& w : xserver.shownWindows("ORVIKSDR"))
                    if (w != mainWindow)
                        box = w;
                return !box.isEmpty();
            },
            30000))
            << "the message is not shown on the display";
        if (!answer)
            return;
        xserver.runClient("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
        ASSERT_TRUE(runUntil([&] { return xserver.shownWindows("ORVIKSDR").size() == 1; }, 30000))
            << "the message stayed open";
    }

    // The window's thread is back in its event loop, and the clock it draws goes on.
    void expectWindowAnswers()
    {
        ASSERT_TRUE(runUntil([&] { return sleepsInItsEventLoop(program.processId()); }, 30000))
            << "the window's thread never went back to its event loop";
        // lblClock at (15120, 120) twips, 1500 by 300.
        const auto clock = [&] {
            return xserver.grab(mainWindow, dir.filePath("window.png"))
                .copy(15120 / kTwipsPerPixel, 120 / kTwipsPerPixel, 1500 / kTwipsPerPixel, 300 / kTwipsPerPixel);
        };
        const QImage before = clock();
        EXPECT_TRUE(runUntil([&] { return clock() != before; }, 30000)) << "the window's clock stands still";
    }

    // SIGTERM ends the program with the shut-down save; the time it took goes to the output.
    void terminateAndExpectSaved(const char* state)
    {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        // The goal is 3 s; the bound only tells an end from a wait for ever.
        ASSERT_TRUE(program.waitForFinished(60000)) << "SIGTERM did not end the program " << state;
        std::printf("SIGTERM %s: ended after %.2f s\n", state, clock.elapsed() / 1000.0);
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << programLog();
        const QByteArray settings = fileContents("config/ORVIKSDR/ORVIKSDR.ini");
        EXPECT_TRUE(settings.contains("SDRBackgroundColour=")) << "the settings were not saved";
        EXPECT_GT(fileContents("home/Test.bpl").size(), 30) << "the band plan was not saved";
    }

    // The sound bytes the recording's file holds so far, as its header says.
    qint64 recordedBytes() const
    {
        const QByteArray file = fileContents("home/~ORVIKWAV.TMP");
        return file.size() >= 44 ? qFromLittleEndian<quint32>(file.constData() + 40) : 0;
    }

    // The recording, once the program has ended: finished, with at least `atLeast` bytes
    // of the station.
    void expectRecordingFinished(qint64 atLeast)
    {
        const QByteArray file = fileContents("home/~ORVIKWAV.TMP");
        const FinishedRecording r = readRecording(file);
        ASSERT_TRUE(r.valid) << r.problem;
        EXPECT_GE(r.dataBytes, atLeast);
        const auto* s = reinterpret_cast<const int16_t*>(file.constData() + 44);
        const qint64 loud = std::count_if(s, s + r.dataBytes / 2, [](int16_t v) { return std::abs(v) > 1000; });
        EXPECT_GT(loud, r.dataBytes / 2 / 10) << "the recording holds no station";
    }

    // Receiving the station with the receiver switched on at start-up, and recording it
    // until the first block reached the file; `recorded`: the bytes of sound it holds then.
    void receiveAndRecord(bool normalPriority, qint64& recorded)
    {
        ASSERT_NO_FATAL_FAILURE(
            writeBandPlanAndSettings("[MainBand]\r\nName=Test\r\n", settingsFor(true, capture, playback)));
        ASSERT_NO_FATAL_FAILURE(listen("out.raw"));
        ASSERT_NO_FATAL_FAILURE(startOnDisplay(normalPriority));
        ASSERT_NO_FATAL_FAILURE(expectSound("after the start"));
        clickRecorder(0);
        ASSERT_TRUE(runUntil(
            [&] {
                recorded = recordedBytes();
                return recorded >= kFirstRecordedBytes;
            },
            30000))
            << "the recording did not reach its file";
    }

    // As a crash ends it. Never a process id of 0, which is the test's own process group.
    void signalServer(int signal)
    {
        if (const qint64 pid = server.processId(); pid > 0)
            ::kill(static_cast<pid_t>(pid), signal);
    }
    void killServer()
    {
        signalServer(SIGKILL);
        server.stop();
    }

    // A server again, the station into it and "appout" recorded into `file`.
    void restartServer(const QString& file)
    {
        const QString problem = server.start(dir.path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_NO_FATAL_FAILURE(listen(file));
    }

    // Threads, open descriptors and connections to the sound server the program holds. Qt's
    // pooled threads come and go by themselves, with an eventfd each: neither counts.
    std::array<qsizetype, 3> holdings() const
    {
        const QString process = QString("/proc/%1").arg(program.processId());
        std::array<qsizetype, 3> held{};
        for (const QString& task : QDir(process + "/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile name(process + "/task/" + task + "/comm");
            held[0] += name.open(QIODevice::ReadOnly) && name.readAll().startsWith("Thread (pooled)") ? 0 : 1;
        }
        // A descriptor is a link to what it opened, which need not exist as a file.
        for (const QString& fd : QDir(process + "/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            held[1] += QFile::symLinkTarget(process + "/fd/" + fd).endsWith("[eventfd]") ? 0 : 1;
        QString clients;
        runTool("pactl", {"list", "clients"}, &clients);
        held[2] = clients.count(QString("application.process.id = \"%1\"").arg(program.processId()));
        return held;
    }

    void expectPowerClickDone()
    {
        ASSERT_TRUE(runUntil([&] { return trace().endsWith("optPwr_click : End\r\n"); }, 60000))
            << "the power click did not finish\n" << trace().toStdString();
    }

    // The program started with the receiver off, once the streams it opened are on the server.
    void startOffWithTheStreamsOpen(bool normalPriority)
    {
        ASSERT_NO_FATAL_FAILURE(
            writeBandPlanAndSettings("[MainBand]\r\nName=Test\r\n", settingsFor(false, capture, playback)));
        ASSERT_NO_FATAL_FAILURE(startOnDisplay(normalPriority));
        ASSERT_TRUE(runUntil(
            [] {
                QString listing;
                runTool("pactl", {"list", "short", "source-outputs"}, &listing);
                return !listing.trimmed().isEmpty();
            },
            30000));
    }

    // Clicks On; milliseconds from the window's thread starting on it until `done`.
    qint64 onMsUntil(const std::function<bool()>& done)
    {
        const qsizetype starts = trace().count("optPwr_click : Start Arg=0");
        clickPower(0);
        EXPECT_TRUE(runUntil([&] { return trace().count("optPwr_click : Start Arg=0") > starts; }, 30000));
        QElapsedTimer held;
        held.start();
        EXPECT_TRUE(runUntil(done, 60000)) << programLog() << trace().toStdString();
        return held.elapsed();
    }

    // Off at the start with the streams opened, the server frozen, then On: the window waits
    // for the sound system once, then says it did not answer. The goal is 2 s; a wait for each
    // call in turn held the window 6 s.
    void clickOnWithTheServerFrozen()
    {
        ASSERT_NO_FATAL_FAILURE(startOffWithTheStreamsOpen(false));
        ASSERT_NO_FATAL_FAILURE(listen("out.raw"));
        signalServer(SIGSTOP);
        const qint64 toldMs = onMsUntil([&] { return errors().contains(SoundFailure); });
        std::printf("On with the server frozen: the window was told after %lld ms\n", qlonglong(toldMs));
        EXPECT_LT(toldMs, 4500);
        ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, NoAnswer));
        expectPowerShows(false);
    }

    // Lines the sound libraries printed on standard error themselves.
    qsizetype libraryLines() const
    {
        return errors().count(QRegularExpression("^(Expression '|ALSA lib )", QRegularExpression::MultilineOption));
    }

    // The program's threads that make its calls into the sound library.
    std::vector<pid_t> soundCallThreads() const
    {
        std::vector<pid_t> threads;
        const QString tasks = QString("/proc/%1/task").arg(program.processId());
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile name(tasks + "/" + task + "/comm");
            if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "sound calls")
                threads.push_back(static_cast<pid_t>(task.toInt()));
        }
        return threads;
    }

    QProcess recorder;
    QString heard;
    QString traceFile = "home/ORVIKSDR.log";
    QString mainWindow;
    int capture = 0;
    int playback = 0;
};

// The server killed while receiving and recording: the receiver switches off through the
// Off steps, the message names both devices and why, and SIGTERM while it is still up
// ends the program with the settings, the band plan and the recording saved.
TEST_F(ProgramSoundLoss, ServerKilledWhileReceivingSwitchesOffWithAMessageAndSigtermSavesAll)
{
    qint64 recorded = 0;
    ASSERT_NO_FATAL_FAILURE(receiveAndRecord(false, recorded));
    expectPowerShows(true);
    const qsizetype offs = trace().count("optPwr_click : Start Arg=1");
    killServer();
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, DeviceStopped, false));
    EXPECT_EQ(trace().count("optPwr_click : Start Arg=1"), offs + 1) << trace().toStdString();
    expectPowerShows(false);
    if (sched_getscheduler(static_cast<pid_t>(program.processId())) == SCHED_RR)
        ADD_FAILURE() << "the receiver's real-time scheduling outlived the loss";
    terminateAndExpectSaved("with the message of the lost device open");
    expectRecordingFinished(recorded);
}

// Off and On with the server still away: the message again, and the power stays off.
TEST_F(ProgramSoundLoss, OnWithTheServerAwayTellsAgainAndStaysOff)
{
    qint64 recorded = 0;
    ASSERT_NO_FATAL_FAILURE(receiveAndRecord(false, recorded));
    killServer();
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, DeviceStopped));
    clickPower(1);
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(2, NoDevice));
    // The switch back to Off follows the message's close.
    const auto afterOn = [&] { return trace().section("optPwr_click : Start Arg=0", -1); };
    EXPECT_TRUE(runUntil([&] { return afterOn().contains("optPwr_click : Start Arg=1"); }, 30000))
        << "the power did not go back to Off\n" << afterOn().toStdString();
    expectPowerShows(false);
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("after On with the server away");
    expectRecordingFinished(recorded);
}

// The server back: the next On opens the devices afresh and the station is heard again;
// the recording goes on. Run without the right to real-time scheduling.
TEST_F(ProgramSoundLoss, OnWithTheServerBackGivesSoundAgain)
{
    qint64 recorded = 0;
    ASSERT_NO_FATAL_FAILURE(receiveAndRecord(true, recorded));
    killServer();
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, DeviceStopped));
    clickPower(1);
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(2, NoDevice));
    ASSERT_NO_FATAL_FAILURE(restartServer("again.raw"));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("after On with the server back"));
    expectPowerShows(true);
    EXPECT_EQ(errors().count(SoundMessage), 2) << programLog();
    EXPECT_TRUE(runUntil([&] { return recordedBytes() >= recorded + kFirstRecordedBytes; }, 30000))
        << "the recording did not go on";
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("receiving again after the server came back");
    expectRecordingFinished(recorded + kFirstRecordedBytes);
}

// The server killed while off: On reads the device lists afresh rather than opening the old
// ones again, tells of a missing server, and the sound library prints only for that one start.
// The program has closed the devices of the server gone by then.
TEST_F(ProgramSoundLoss, ServerKilledWhileOffTellsOfNoDeviceWithoutTheLibrarysChatter)
{
    ASSERT_NO_FATAL_FAILURE(startOffWithTheStreamsOpen(true));
    const qsizetype printedBefore = libraryLines();
    killServer();
    ASSERT_TRUE(runUntil([&] { return trace().contains("the sound server of the open devices has gone"); }, 30000));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, NoDevice));
    EXPECT_FALSE(errors().contains("Illegal combination")) << programLog();
    EXPECT_LE(libraryLines() - printedBefore, 2) << programLog();
    expectPowerShows(false);
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("after On with the server killed while off");
}

// The server killed and started again while the receiver is off, five times, in every other
// round frozen first and killed while the Off waits on it. Streams opened on a server that has
// gone never start again: a start on them stayed inside the sound library for good, with the
// second capture stream it keeps open on the new server, and every restart cost threads and
// descriptors. Every On must give sound from fresh streams, no call stay inside, and at Off the
// program hold what it held before, with one capture stream on the server, corked once started.
TEST_F(ProgramSoundLoss, ServerRestartedWhileOffGivesSoundAtEveryOnAndLeavesNothingBehind)
{
    ASSERT_NO_FATAL_FAILURE(startOffWithTheStreamsOpen(true));
    ASSERT_NO_FATAL_FAILURE(listen("out.raw"));
    const auto power = [&](int index) {
        const qsizetype ends = trace().count("optPwr_click : End");
        clickPower(index);
        ASSERT_TRUE(runUntil([&] { return trace().count("optPwr_click : End") > ends; }, 60000));
    };
    const QString ours = QString("application.process.id = \"%1\"").arg(program.processId());
    std::array<qsizetype, 3> before{};
    // At Off: what the program holds is back where it was, and its capture streams on the
    // server are one, and corked when asked.
    const auto expectHeldAsBefore = [&](bool corked) {
        std::array<qsizetype, 3> now{};
        std::pair<int, int> streams; // capture streams, uncorked ones
        EXPECT_TRUE(runUntil(
            [&] {
                now = holdings();
                QString listing;
                runTool("pactl", {"list", "source-outputs"}, &listing);
                streams = {};
                for (const QString& output : listing.split("Source Output #", Qt::SkipEmptyParts))
                    if (output.contains(ours)) {
                        ++streams.first;
                        streams.second += output.contains("Corked: no") ? 1 : 0;
                    }
                return now[0] <= before[0] + 2 && now[1] <= before[1] + 4 && now[2] == before[2] &&
                       streams.first == 1 && (!corked || streams.second == 0);
            },
            30000))
            << "threads, descriptors, clients " << now[0] << ", " << now[1] << ", " << now[2] << " against "
            << before[0] << ", " << before[1] << ", " << before[2] << "; capture streams " << streams.first << " ("
            << streams.second << " uncorked)";
    };
    ASSERT_NO_FATAL_FAILURE(power(0));
    ASSERT_NO_FATAL_FAILURE(expectSound("at the first On"));
    ASSERT_NO_FATAL_FAILURE(power(1));
    before = holdings();
    ASSERT_NO_FATAL_FAILURE(power(0));
    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE("restart " + std::to_string(round));
        const bool frozen = round % 2 == 0;
        if (frozen)
            signalServer(SIGSTOP);
        const qsizetype offs = trace().count("optPwr_click : Start Arg=1");
        const qsizetype ends = trace().count("optPwr_click : End");
        clickPower(1);
        ASSERT_TRUE(runUntil([&] { return trace().count("optPwr_click : Start Arg=1") > offs; }, 30000));
        // A frozen server is killed while the Off waits on it.
        ASSERT_TRUE(frozen || runUntil([&] { return trace().count("optPwr_click : End") > ends; }, 30000));
        killServer();
        ASSERT_NO_FATAL_FAILURE(restartServer(QString("again%1.raw").arg(round)));
        ASSERT_TRUE(runUntil([&] { return trace().count("optPwr_click : End") > ends; }, 30000));
        expectHeldAsBefore(false);
        ASSERT_NO_FATAL_FAILURE(power(0));
        ASSERT_NO_FATAL_FAILURE(expectSound("after On"));
    }
    ASSERT_NO_FATAL_FAILURE(power(1));
    expectHeldAsBefore(true);
    EXPECT_EQ(errors().count(SoundMessage), 0) << programLog();
    EXPECT_FALSE(trace().contains("counts as stuck")) << trace().toStdString();
    EXPECT_EQ(soundCallThreads().size(), 1u) << "a call stayed inside the sound library";
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("after server restarts while off");
}

// A start while no server runs: the early opening of the devices fails without a word, so
// the trace is the start-up table alone, line for line that of a start without sound; the
// failure is told at On, in the trace and to the operator. Once the server runs, On gives
// sound.
TEST_F(ProgramSoundLoss, StartWithoutServerIsQuietUntilOnAndOnGivesSoundOnceItRuns)
{
    server.stop();
    // Listed by a process of its own: PortAudio lists the devices once per process.
    QString devices;
    runTool(QFileInfo(QStringLiteral(ORVIKSDR_PROGRAM)).dir().filePath("sounddevices"), {}, &devices);
    if (devices.contains("capture"))
        GTEST_SKIP() << "the machine has sound devices of its own besides the sound server:\n" << devices.toStdString();
    const QByteArray bandPlan = "[MainBand]\r\nName=Test\r\n";
    ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(bandPlan, settingsFor(false, capture, playback)));
    // The same start with the program's stand-in for no sound at all, in folders of its own.
    const QString otherHome = dir.filePath("nullhome");
    const QString otherConfig = dir.filePath("nullconfig");
    QDir().mkpath(otherHome);
    QDir().mkpath(otherConfig + "/ORVIKSDR");
    QFile::copy(dir.filePath("home/Test.bpl"), otherHome + "/Test.bpl");
    QFile::copy(dir.filePath("config/ORVIKSDR/ORVIKSDR.ini"), otherConfig + "/ORVIKSDR/ORVIKSDR.ini");
    QProcessEnvironment nullSound;
    nullSound.insert("ORVIKSDR_SOUND", "null");
    nullSound.insert("ORVIKSDR_HOME", otherHome);
    nullSound.insert("XDG_CONFIG_HOME", otherConfig);
    traceFile = "nullhome/ORVIKSDR.log";
    ASSERT_NO_FATAL_FAILURE(startOnDisplay(false, nullSound));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(60000));
    const QStringList expected = trace().split("\r\n").mid(1);

    traceFile = "home/ORVIKSDR.log";
    ASSERT_NO_FATAL_FAILURE(startOnDisplay(false));
    const QStringList lines = trace().split("\r\n").mid(1);
    ASSERT_GT(lines.indexOf(Started), 0);
    EXPECT_EQ(lines.mid(0, lines.indexOf(Started) + 1).join('\n').toStdString(),
              expected.mid(0, expected.indexOf(Started) + 1).join('\n').toStdString());
    EXPECT_FALSE(errors().contains(SoundMessage)) << programLog();

    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, NoDevice));
    const QString afterOn = trace().section("optPwr_click : Start Arg=0", -1);
    EXPECT_TRUE(afterOn.contains("Error:ORVIKDX8.PrepareDevices,")) << afterOn.toStdString();
    expectPowerShows(false);

    ASSERT_NO_FATAL_FAILURE(restartServer("out.raw"));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("after On with the server running"));
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("after a start without server");
}

// A frozen server answers nothing, and a call into the sound library waits on it for
// ever: each is given up, the window goes on, On tells the operator, and SIGTERM ends the
// program with everything saved.
TEST_F(ProgramSoundLoss, FrozenServerNeverHoldsTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings("[MainBand]\r\nName=Test\r\n", settingsFor(true, capture, playback)));
    ASSERT_NO_FATAL_FAILURE(listen("out.raw"));
    ASSERT_NO_FATAL_FAILURE(startOnDisplay(false));
    ASSERT_NO_FATAL_FAILURE(expectSound("after the start"));
    signalServer(SIGSTOP);
    clickPower(1);
    ASSERT_NO_FATAL_FAILURE(expectPowerClickDone());
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSoundFailure(1, NoAnswer));
    expectPowerShows(false);
    ASSERT_NO_FATAL_FAILURE(expectWindowAnswers());
    terminateAndExpectSaved("with the sound server frozen");
}

// Thawed, the server gives sound at the next On.
TEST_F(ProgramSoundLoss, OnWithTheServerFrozenWaitsOnceAndOnAfterTheThawGivesSound)
{
    ASSERT_NO_FATAL_FAILURE(clickOnWithTheServerFrozen());
    signalServer(SIGCONT);
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("after On with the server thawed"));
    expectPowerShows(true);
    terminateAndExpectSaved("after On with the server thawed");
}

// The call given up to a frozen server is held inside the library while the server is killed,
// as a stream's start waiting on a lock nothing will release. Once it counts as stuck, On
// opens the devices of the lists read before without waiting for it, the log says so once,
// and each later On, opening afresh after a loss, holds what the first did.
TEST_F(ProgramSoundLoss, ACallStuckInTheSoundLibraryHoldsNoLaterOn)
{
    ASSERT_NO_FATAL_FAILURE(clickOnWithTheServerFrozen());
    QElapsedTimer sinceOn;
    sinceOn.start();
    // Only the call given up is left on such a thread now.
    const std::vector<pid_t> inside = soundCallThreads();
    ASSERT_FALSE(inside.empty()) << "no thread makes the program's sound calls";
    HeldThreads stuck(inside);
    ASSERT_TRUE(stuck.holdsAll());
    killServer();
    ASSERT_NO_FATAL_FAILURE(restartServer("again.raw"));
    // A call counts as stuck only once it has been inside this long.
    const qint64 stuckAfter = orvik::SoundCallThread::kStuckAfter.count() + 1000;
    ASSERT_TRUE(runUntil([&] { return sinceOn.elapsed() > stuckAfter; }, stuckAfter + 10000));

    std::array<qsizetype, 3> first{};
    for (int on = 1; on <= 3; ++on) {
        SCOPED_TRACE("On " + std::to_string(on));
        const qsizetype ends = trace().count("optPwr_click : End");
        const qint64 heldMs = onMsUntil([&] { return trace().count("optPwr_click : End") > ends; });
        std::printf("On %d after the stuck call: the window was held %lld ms\n", on, qlonglong(heldMs));
        // The goal is 500 ms to sound; a wait for the stuck call held it 2 s.
        EXPECT_LT(heldMs, 1500);
        ASSERT_NO_FATAL_FAILURE(expectSound("after On with the server back"));
        const std::array<qsizetype, 3> now = holdings();
        if (on == 1)
            first = now;
        EXPECT_LE(now[0], first[0] + 1) << "threads";
        EXPECT_LE(now[1], first[1] + 1) << "descriptors";
        // Lost while receiving: the next On opens afresh.
        killServer();
        ASSERT_NO_FATAL_FAILURE(expectSoundFailure(on + 1, DeviceStopped));
        ASSERT_NO_FATAL_FAILURE(restartServer(QString("again%1.raw").arg(on)));
    }
    EXPECT_EQ(trace().count("counts as stuck for good"), 1) << trace().toStdString();
    stuck.release();
    terminateAndExpectSaved("after a call stuck in the sound library");
}

// Calls given up to a frozen server come back once it thaws, and what they opened must be
// closed, or every incident costs a thread, descriptors and a connection to the server.
// After twenty rounds of freezing it, pressing On, thawing it and pressing Off, the program
// holds what it held before and gives sound.
TEST_F(ProgramSoundLoss, FrozenServerRoundsLeaveNothingBehind)
{
    constexpr int kRounds = 20;
    ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings("[MainBand]\r\nName=Test\r\n", settingsFor(false, capture, playback)));
    ASSERT_NO_FATAL_FAILURE(listen("out.raw"));
    ASSERT_NO_FATAL_FAILURE(startOnDisplay(false));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("after the first On"));
    clickPower(1);
    ASSERT_NO_FATAL_FAILURE(expectPowerClickDone());
    const std::array<qsizetype, 3> start = holdings();

    QElapsedTimer clock;
    clock.start();
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        signalServer(SIGSTOP);
        clickPower(0);
        // The first On finds the streams opened before; later ones start PortAudio afresh,
        // which the frozen server holds too, unless the call given up in the round before
        // has not come back yet (a busy machine): the lists read before then serve.
        ASSERT_NO_FATAL_FAILURE(expectSoundFailure(round, round == 1 ? NoAnswer : NoListInTime, true, NoAnswer));
        signalServer(SIGCONT);
        clickPower(1);
        ASSERT_NO_FATAL_FAILURE(expectPowerClickDone());
    }
    std::printf("%d rounds took %.1f s\n", kRounds, clock.elapsed() / 1000.0);

    ASSERT_NO_FATAL_FAILURE(listen("again.raw"));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("after the rounds"));
    clickPower(1);
    ASSERT_NO_FATAL_FAILURE(expectPowerClickDone());
    std::array<qsizetype, 3> end{};
    const auto withinOne = [&] {
        end = holdings();
        return std::equal(end.begin(), end.end(), start.begin(), [](qsizetype a, qsizetype b) { return std::abs(a - b) <= 1; });
    };
    EXPECT_TRUE(runUntil(withinOne, 30000));
    std::printf("threads, descriptors, connections before the rounds: %lld, %lld, %lld; after them: %lld, %lld, %lld\n",
                qlonglong(start[0]), qlonglong(start[1]), qlonglong(start[2]), qlonglong(end[0]), qlonglong(end[1]),
                qlonglong(end[2]));

    ASSERT_NO_FATAL_FAILURE(listen("last.raw"));
    clickPower(0);
    ASSERT_NO_FATAL_FAILURE(expectSound("at the last On"));
    terminateAndExpectSaved("after the rounds of a frozen server");
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
