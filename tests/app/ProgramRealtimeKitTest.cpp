// The program binary as an ordinary user runs it (no CAP_SYS_NICE, no real-time limit), on a
// virtual X server receiving AM through a private sound server, powered on and off with the
// pointer. With a desktop's RealtimeKit granting, the sound library's threads run
// round-robin real time and the window thread at RealtimeKit's highest nice level while the
// receiver is on, and Off returns them all. With no RealtimeKit answering (no bus, a bus
// without it) one log line says so, nothing is raised, and the sound flows as before. What a
// stuck RealtimeKit grants late is taken back; what its request limit puts off comes once
// the limit allows. The decoder a click on DRM starts begins at normal priority, whatever
// power On raised.

#include "tests/app/DisplaySandbox.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/RealtimeKitDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
constexpr int kTwipsPerPixel = 15;
const QString Started = "frmMain:frmMain:Form_Initialize:End";
const QStringList WithoutRealTime{"setpriv", "--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice", "--"};
const QString Delayed = QStringLiteral("Real-time priority delayed: ");
const QString Raised = QStringLiteral("Priority raised through RealtimeKit: ");
const QString Refused = QStringLiteral("Real-time priority refused: ");

// Window pixels of the mode buttons: the frame "Mode" at (60, 1260) twips, the buttons
// 1110 x 240 twips at (90 + 1170 column, 210 + 255 row) in it.
constexpr int ModeButtonX(int index) { return (60 + 90 + (index % 2) * 1170 + 555) / kTwipsPerPixel; }
constexpr int ModeButtonY(int index) { return (1260 + 210 + (index / 2) * 255 + 120) / kTwipsPerPixel; }
constexpr int AM = 0;
constexpr int DRM = 3;

// A stand-in decoder noting how it began: policy, real-time priority, nice, RLIMIT_RTTIME soft
// and hard, ignored signals.
const char* const DecoderScript = "#!/bin/sh\nset -- $(sed 's/.*) //' /proc/$$/stat)\n"
                                  "echo ${39} ${38} ${17} $(awk '/realtime timeout/ {print $4, $5}' /proc/$$/limits) "
                                  "$(awk '/SigIgn/ {print $2}' /proc/$$/status) >> \"$(dirname \"$0\")/decoder.txt\"\n"
                                  "exec true\n";

struct ThreadPriority {
    pid_t tid = 0;
    int policy = -1;
    int nice = 0;
};

// Every thread of a process with its class and nice value, from /proc/PID/task/*/stat.
std::vector<ThreadPriority> threadsOf(qint64 pid)
{
    std::vector<ThreadPriority> threads;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue; // ended meanwhile
        // After the name: the state is field 3, nice field 19, policy field 41.
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        if (fields.size() > 38)
            threads.push_back({task.toInt(), fields[38].toInt(), fields[16].toInt()});
    }
    return threads;
}

class ProgramRealtimeKit : public DisplaySandbox {
protected:
    ProgramRealtimeKit() : DisplaySandbox({QStringLiteral("setpriv")}) {}

    void SetUp() override
    {
        DisplaySandbox::SetUp();
        if (!readyForTest())
            return;
        if (const QString why = RealtimeKitDesk::unavailable(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        // The desk's services, under users of their own, reach their bus in here.
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther);
        const auto [capture, playback] = pulseDevices();
        ASSERT_GT(capture, 0);
        ASSERT_GT(playback, 0);
        ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
            "[MainBand]\r\nName=Test\r\nActiveSubBand=0\r\n[SubBand.0]\r\nFreqMin=5900000\r\nFreqMax=6200000\r\n"
            "FreqCurrent=6000000\r\nDemodMode=0\r\nLowSideLO=False\r\nFilterMode=0\r\n",
            QString("[frmMain]\nAutoStartSDR=False\nCurrentCaptureDevice=%1\nCurrentPlaybackDevice=%2\nVFO1.IFType=0\n")
                .arg(capture)
                .arg(playback)));
        ASSERT_TRUE(PulseAudioServer::startRecorder(recorder, "appout.monitor", 1, dir.filePath("out.raw")));
        ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(120, true), "am.raw"));
    }

    void TearDown() override
    {
        endProcess(recorder, 5000);
        DisplaySandbox::TearDown();
        desk.stop();
    }

    // A private system bus in dir/bus, with RealtimeKit on it or without.
    void startDesk(bool withRealtimeKit = true)
    {
        const QString problem = desk.start(dir.filePath("bus"), withRealtimeKit);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    // The program without the right to raise itself, finding the system bus at `busAddress`.
    void startAsOrdinaryUser(const QString& busAddress) { startWith(WithoutRealTime, busAddress); }

    // The program run by `wrapper`, finding the system bus at `busAddress`.
    void startWith(const QStringList& wrapper, const QString& busAddress)
    {
        QProcessEnvironment env;
        env.insert("DISPLAY", xserver.name());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", busAddress);
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        QFile::remove(dir.filePath("home/ORVIKSDR.log")); // an earlier run's
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {"trace"}, env, wrapper));
        ASSERT_TRUE(runUntil([&] { return trace().contains(Started); }, 60000))
            << "the start did not finish\n" << programLog();
        mainWindow = xserver.shownWindows("ORVIKSDR").value(0);
        ASSERT_FALSE(mainWindow.isEmpty()) << "the main window is not shown";
    }

    QString trace() const { return QString::fromUtf8(fileContents("home/ORVIKSDR.log")); }

    // optPwr(i) in frPower: the frame at (60, 0), the buttons at (90, 240 + 300 i), 255 high.
    void clickPower(int index)
    {
        const int before = trace().count(QStringLiteral("optPwr_click : End"));
        xserver.runClient("xdotool",
                          {"mousemove", "--window", mainWindow, QString::number((60 + 90 + 150) / kTwipsPerPixel),
                           QString::number((240 + index * 300 + 127) / kTwipsPerPixel), "click", "1"});
        ASSERT_TRUE(runUntil([&] { return trace().count(QStringLiteral("optPwr_click : End")) > before; }, 30000))
            << "the click on power " << index << " was not handled\n" << trace().toStdString();
    }

    // The last half second recorded carries sound.
    bool soundComesOut() const
    {
        const QByteArray out = fileContents("out.raw");
        const qsizetype n = out.size() / 2;
        if (n < kRate / 2)
            return false;
        const auto* s = reinterpret_cast<const int16_t*>(out.constData()) + n - kRate / 2;
        return std::count_if(s, s + kRate / 2, [](int16_t v) { return std::abs(v) > 1000; }) > kRate / 20;
    }

    void expectSoundAfter(qsizetype recordedBytes)
    {
        ASSERT_TRUE(runUntil([&] { return fileContents("out.raw").size() > recordedBytes + kRate && soundComesOut(); },
                             30000))
            << "no sound\n" << programLog() << trace().toStdString();
    }

    void clickMode(int index)
    {
        xserver.runClient("xdotool", {"mousemove", "--window", mainWindow, QString::number(ModeButtonX(index)),
                                      QString::number(ModeButtonY(index)), "click", "1"});
    }

    // The program's threads not at normal class and nice 0; "" when none is.
    std::string raisedThreads()
    {
        const std::vector<ThreadPriority> threads = threadsOf(program.processId());
        QString raised = threads.empty() ? QStringLiteral("no threads") : QString();
        for (const ThreadPriority& t : threads)
            if (t.policy != SCHED_OTHER || t.nice != 0)
                raised += QStringLiteral(" %1: class %2 nice %3").arg(t.tid).arg(t.policy).arg(t.nice);
        return raised.toStdString();
    }

    // Directly the window thread real-time; through RealtimeKit the window thread at its
    // highest nice level and two sound threads real-time.
    bool raised(bool throughRealtimeKit)
    {
        const qint64 pid = program.processId();
        const std::vector<ThreadPriority> threads = threadsOf(pid);
        const auto realTime = [](const ThreadPriority& t) { return t.policy == SCHED_RR; };
        const bool window = std::any_of(threads.begin(), threads.end(), [&](const ThreadPriority& t) {
            return t.tid == pid && (throughRealtimeKit ? t.nice == -15 : realTime(t));
        });
        return window && (!throughRealtimeKit || std::count_if(threads.begin(), threads.end(), realTime) >= 2);
    }

    RealtimeKitDesk desk;
    QProcess recorder;
    QString mainWindow;
};

TEST_F(ProgramRealtimeKit, AnOrdinaryUserGetsRealTimeSoundThreadsAndAHighPriorityWindowThreadWhileOn)
{
    ASSERT_NO_FATAL_FAILURE(startDesk());
    ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(desk.address()));

    for (int on = 0; on < 2; ++on) {
        SCOPED_TRACE(on == 0 ? "first power on" : "second power on");
        const int granted = trace().count(Raised);
        const qsizetype recorded = fileContents("out.raw").size();
        ASSERT_NO_FATAL_FAILURE(clickPower(0));
        ASSERT_NO_FATAL_FAILURE(expectSoundAfter(recorded));
        ASSERT_TRUE(runUntil([&] { return trace().count(Raised) > granted; }, 30000))
            << trace().toStdString() << desk.logs().toStdString();
        const QString line = trace().section(Raised, -1).section('\n', 0, 0);
        const qint64 pid = program.processId();
        EXPECT_TRUE(line.contains(QStringLiteral("window thread %1 at nice -15").arg(pid))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("refused"))) << line.toStdString();
        QList<pid_t> listed;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("sound threads ([0-9, ]+) in SCHED_RR at priority 1")).match(line);
        for (const QString& id : m.captured(1).split(QStringLiteral(", "), Qt::SkipEmptyParts))
            listed << id.toInt();
        // A capture and a playback stream: a callback thread each, besides the plugin's.
        EXPECT_GE(listed.size(), 2) << line.toStdString();

        int realTime = 0;
        for (const ThreadPriority& t : threadsOf(pid)) {
            if (t.tid == pid) {
                EXPECT_EQ(t.policy, SCHED_OTHER) << "the window thread";
                EXPECT_EQ(t.nice, -15) << "the window thread";
            } else if (t.policy == SCHED_RR) {
                ++realTime;
                EXPECT_TRUE(listed.contains(t.tid)) << "thread " << t.tid << " is real-time but not named";
            } else {
                EXPECT_FALSE(listed.contains(t.tid)) << "thread " << t.tid << " is named but runs at class " << t.policy;
            }
        }
        EXPECT_GE(realTime, 2) << trace().toStdString();

        ASSERT_NO_FATAL_FAILURE(clickPower(1));
        EXPECT_EQ(raisedThreads(), "") << "after Off";
    }
    EXPECT_FALSE(trace().contains(QStringLiteral("Real-time priority refused"))) << trace().toStdString();
    EXPECT_FALSE(trace().contains(QStringLiteral("Real-time priority withdrawn"))) << trace().toStdString();
}

TEST_F(ProgramRealtimeKit, WithNoRealtimeKitAnsweringOneLineSaysSoNothingIsRaisedAndTheSoundFlows)
{
    struct Case {
        bool bus;
        const char* reason;
    } cases[] = {
        {false, "(RealtimeKit: no system bus: "},
        {true, "(RealtimeKit: The name org.freedesktop.RealtimeKit1 was not provided"},
    };
    const QString socket = dir.filePath("bus/system_bus_socket");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        QDir(dir.filePath("bus")).removeRecursively();
        QDir().mkpath(dir.filePath("bus"));
        QString address = "unix:path=" + socket;
        if (c.bus) {
            ASSERT_NO_FATAL_FAILURE(startDesk(false));
            address = desk.address();
        }
        ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(address));

        for (int on = 0; on < 2; ++on) {
            const qsizetype recorded = fileContents("out.raw").size();
            ASSERT_NO_FATAL_FAILURE(clickPower(0));
            ASSERT_NO_FATAL_FAILURE(expectSoundAfter(recorded));
            ASSERT_TRUE(runUntil([&] { return trace().contains(Refused); }, 30000))
                << trace().toStdString();
            EXPECT_EQ(raisedThreads(), "") << "while on";
            ASSERT_NO_FATAL_FAILURE(clickPower(1));
        }
        const QString log = trace();
        EXPECT_EQ(log.count(Refused), 1) << log.toStdString();
        EXPECT_TRUE(log.contains(c.reason)) << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("Priority raised through RealtimeKit"))) << log.toStdString();

        endProcess(program, 10000);
        desk.stop();
    }
}

// polkitd stuck at power On: the program gives the call up and the receiver goes off; RealtimeKit
// grants it once polkitd goes on, and the program takes that grant back.
TEST_F(ProgramRealtimeKit, WhatRealtimeKitGrantsAfterTheCallWasGivenUpIsTakenBack)
{
    ASSERT_NO_FATAL_FAILURE(startDesk());
    ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(desk.address()));
    const qint64 polkitd = desk.policyKitProcess();
    ASSERT_GT(polkitd, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(polkitd), SIGSTOP), 0);
    struct Thaw {
        qint64 pid;
        ~Thaw() { ::kill(static_cast<pid_t>(pid), SIGCONT); }
    } thaw{polkitd};

    ASSERT_NO_FATAL_FAILURE(clickPower(0));
    ASSERT_TRUE(runUntil([&] { return trace().contains(Refused); }, 60000)) << trace().toStdString();
    EXPECT_TRUE(trace().contains(QStringLiteral("no answer within 1000 ms"))) << trace().toStdString();
    ASSERT_NO_FATAL_FAILURE(clickPower(1));
    ASSERT_EQ(raisedThreads(), "");

    ASSERT_EQ(::kill(static_cast<pid_t>(polkitd), SIGCONT), 0);
    const QString late = QStringLiteral("of process %1 owned by").arg(program.processId());
    ASSERT_TRUE(runUntil([&] { return desk.logs().contains(late); }, 30000))
        << "RealtimeKit granted nothing late\n" << desk.logs().toStdString();
    EXPECT_TRUE(runUntil([&] { return raisedThreads().empty(); }, 5000))
        << "the late grant stayed:" << raisedThreads() << "\n" << desk.logs().toStdString();
}

// An On whose sound does not start (the sound server frozen) asks RealtimeKit for nothing and
// logs no raise, not even while its message is open; the On after the thaw is raised as usual.
TEST_F(ProgramRealtimeKit, AnOnWhoseSoundDidNotStartIsGrantedNothing)
{
    ASSERT_NO_FATAL_FAILURE(startDesk());
    ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(desk.address()));
    const auto soundServer = static_cast<pid_t>(server.processId());
    ASSERT_GT(soundServer, 0);
    ASSERT_EQ(::kill(soundServer, SIGSTOP), 0);
    struct Thaw {
        pid_t pid;
        ~Thaw() { ::kill(pid, SIGCONT); }
    } thaw{soundServer};
    xserver.runClient("xdotool", {"mousemove", "--window", mainWindow, QString::number((60 + 90 + 150) / kTwipsPerPixel),
                                  QString::number((240 + 127) / kTwipsPerPixel), "click", "1"});
    QString box;
    ASSERT_TRUE(runUntil([&] { return !(box = xserver.shownWindows("ORVIKSDR").value(1)).isEmpty(); }, 60000))
        << "no message for the start that failed\n" << trace().toStdString();
    EXPECT_EQ(raisedThreads(), "") << "while the message is open";
    xserver.runClient("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    ASSERT_TRUE(runUntil([&] { return trace().contains("sound did not start, the receiver stays off"); }, 30000))
        << trace().toStdString();
    ::kill(soundServer, SIGCONT);

    ASSERT_NO_FATAL_FAILURE(clickPower(0));
    ASSERT_TRUE(runUntil([&] { return trace().contains(Raised); }, 30000)) << trace().toStdString();
    const qint64 pid = program.processId();
    EXPECT_EQ(trace().count(Raised), 1) << trace().toStdString();
    const QString windowGrant = QStringLiteral("thread %1 of process %1 owned by").arg(pid);
    ASSERT_TRUE(runUntil([&] { return desk.logs().contains(windowGrant); }, 30000)) << desk.logs().toStdString();
    EXPECT_EQ(desk.logs().count(windowGrant), 1)
        << "the window thread was granted for the On that failed\n" << desk.logs().toStdString();
    ASSERT_NO_FATAL_FAILURE(clickPower(1));
}

// RealtimeKit grants a user 25 requests in 20 s, a power On asks about five: quick On and Off
// meet the limit, the log says so plainly, and the On left running is raised once it allows.
TEST_F(ProgramRealtimeKit, AnOnPutOffByRealtimeKitsLimitGetsItsPriorityOnceTheLimitAllows)
{
    ASSERT_NO_FATAL_FAILURE(startDesk());
    ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(desk.address()));

    bool limited = false;
    for (int on = 0; on < 20 && !limited; ++on) {
        const qsizetype before = trace().size();
        ASSERT_NO_FATAL_FAILURE(clickPower(0));
        ASSERT_TRUE(runUntil(
            [&] {
                const QString since = trace().mid(before);
                limited = since.contains(Delayed) || since.contains(QStringLiteral("Device or resource busy"));
                return limited || since.contains(Raised);
            },
            30000))
            << trace().toStdString() << desk.logs().toStdString();
        if (!limited) {
            ASSERT_NO_FATAL_FAILURE(clickPower(1));
        }
    }
    ASSERT_TRUE(limited) << "RealtimeKit's limit was never reached\n" << trace().toStdString();
    const auto limitedAt = std::chrono::steady_clock::now();
    EXPECT_TRUE(trace().contains(Delayed + "the desktop's priority service (RealtimeKit) grants each user only so "
                                           "many requests in a short time"))
        << trace().toStdString();

    // Left on: RealtimeKit's 20 s count ends, and the next try is granted.
    EXPECT_TRUE(runUntil([&] { return raised(true) && trace().section(Delayed, -1).contains(Raised); }, 25000))
        << trace().toStdString() << desk.logs().toStdString();
    std::printf("priority granted %.1f s after the limit was seen\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - limitedAt).count());
    ASSERT_NO_FATAL_FAILURE(clickPower(1));
    EXPECT_EQ(raisedThreads(), "") << "after Off";
}

// The decoder a click on DRM starts, while on or after Off, begins as from a shell: normal class,
// nice 0, the RLIMIT_RTTIME and ignored SIGXCPU the program started with, however On raised it.
TEST_F(ProgramRealtimeKit, TheDecoderBeginsAtNormalPriorityWhateverPowerOnRaised)
{
    const QStringList ignoringXcpu{"sh", "-c", "trap '' XCPU; exec \"$0\" \"$@\""};
    struct Case {
        const char* who;
        QStringList wrapper;
        bool realtimeKit;
    } cases[] = {
        {"root", ignoringXcpu, false},
        {"a user with a real-time limit", QStringList{"prlimit", "--rtprio=20"} + WithoutRealTime + ignoringXcpu, false},
        {"an ordinary user with RealtimeKit", WithoutRealTime + ignoringXcpu, true},
    };
    rlimit own{};
    ASSERT_EQ(getrlimit(RLIMIT_RTTIME, &own), 0);
    const auto limitText = [](rlim_t v) { return v == RLIM_INFINITY ? QStringLiteral("unlimited") : QString::number(v); };
    const QString decoder = dir.filePath(QStringLiteral("drm%1").arg(QCoreApplication::applicationPid()));
    QFile script(decoder);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly) && script.write(DecoderScript) > 0);
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(("DRM.RunDreamOnDRM=True\nDRM.PathToDream=" + decoder + "\n").toUtf8());
    ini.close();
    const auto decoders = [&] { return QString::fromLatin1(fileContents("decoder.txt")).split('\n', Qt::SkipEmptyParts); };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.who);
        if (c.wrapper.first() == "prlimit" && !runTool("prlimit", {"--rtprio=20", "true"})) {
            std::printf("not run for %s: a real-time limit cannot be given here (no CAP_SYS_RESOURCE)\n", c.who);
            continue;
        }
        QFile::remove(dir.filePath("decoder.txt"));
        QString address = "unix:path=" + dir.filePath("bus/none");
        if (c.realtimeKit) {
            ASSERT_NO_FATAL_FAILURE(startDesk());
            address = desk.address();
        }
        ASSERT_NO_FATAL_FAILURE(startWith(c.wrapper, address));
        ASSERT_NO_FATAL_FAILURE(clickPower(0));
        ASSERT_TRUE(runUntil([&] { return raised(c.realtimeKit); }, 30000))
            << "the receiver was not raised\n" << trace().toStdString();
        if (!c.realtimeKit) {
            // The threads the sound library started while on carry the raise too.
            ASSERT_NO_FATAL_FAILURE(expectSoundAfter(fileContents("out.raw").size()));
            for (const ThreadPriority& t : threadsOf(program.processId()))
                EXPECT_EQ(t.policy, SCHED_RR) << "thread " << t.tid << " while on";
        }

        for (int start = 1; start <= 2; ++start) {
            const char* when = start == 1 ? "started while on" : "started after Off";
            SCOPED_TRACE(when);
            if (start == 2) {
                clickMode(AM);
                ASSERT_NO_FATAL_FAILURE(clickPower(1));
            }
            clickMode(DRM);
            ASSERT_TRUE(runUntil([&] { return decoders().size() >= start; }, 30000))
                << "no decoder started\n" << trace().toStdString();
            const QStringList f = decoders().value(start - 1).split(' ', Qt::SkipEmptyParts);
            ASSERT_EQ(f.size(), 6) << decoders().join('\n').toStdString();
            std::printf("%s, %s: decoder policy, rtprio, nice, RLIMIT_RTTIME soft and hard, SigIgn: %s\n", c.who, when,
                        qPrintable(f.join(' ')));
            EXPECT_EQ(f.mid(0, 3).join(' ').toStdString(), "0 0 0") << "policy, real-time priority, nice";
            // The hard limit as the program started, or as near as the kernel allows.
            const rlim_t hard = f[4] == "unlimited" ? RLIM_INFINITY : f[4].toULongLong();
            EXPECT_LE(hard, own.rlim_max) << f[4].toStdString();
            EXPECT_EQ(f[3].toStdString(), limitText(std::min(own.rlim_cur, hard)).toStdString()) << "the soft RLIMIT_RTTIME";
            if (!c.realtimeKit) {
                EXPECT_EQ(f[4].toStdString(), limitText(own.rlim_max).toStdString()) << "nothing lowered the hard RLIMIT_RTTIME";
            }
            EXPECT_TRUE((f[5].toULongLong(nullptr, 16) >> (SIGXCPU - 1)) & 1) << "SIGXCPU is not ignored: " << f[5].toStdString();
        }
        endProcess(program, 10000);
        desk.stop();
    }
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
