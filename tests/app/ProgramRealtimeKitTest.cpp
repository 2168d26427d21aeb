// The program binary as an ordinary user runs it (no CAP_SYS_NICE, no real-time limit), on a
// virtual X server receiving AM through a private sound server, powered on and off with the
// pointer. With a desktop's RealtimeKit granting, the sound library's threads run
// round-robin real time and the window thread at RealtimeKit's highest nice level while the
// receiver is on, and Off returns them all. With no RealtimeKit answering (no bus, a bus
// without it) one log line says so, nothing is raised, and the sound flows as before.

#include "tests/app/DisplaySandbox.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/RealtimeKitDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
constexpr int kTwipsPerPixel = 15;
const QString Started = "frmMain:frmMain:Form_Initialize:End";
const QStringList WithoutRealTime{"setpriv", "--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice", "--"};

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

    // The program without the right to raise itself, finding the system bus at `busAddress`.
    void startAsOrdinaryUser(const QString& busAddress)
    {
        QProcessEnvironment env;
        env.insert("DISPLAY", xserver.name());
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", busAddress);
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        QFile::remove(dir.filePath("home/ORVIKSDR.log")); // an earlier run's
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {"trace"}, env, WithoutRealTime));
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

    void expectNothingRaised(const char* when)
    {
        for (const ThreadPriority& t : threadsOf(program.processId())) {
            EXPECT_EQ(t.policy, SCHED_OTHER) << "thread " << t.tid << " " << when;
            EXPECT_EQ(t.nice, 0) << "thread " << t.tid << " " << when;
        }
    }

    RealtimeKitDesk desk;
    QProcess recorder;
    QString mainWindow;
};

TEST_F(ProgramRealtimeKit, AnOrdinaryUserGetsRealTimeSoundThreadsAndAHighPriorityWindowThreadWhileOn)
{
    const QString problem = desk.start(dir.filePath("bus"));
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(desk.address()));

    for (int on = 0; on < 2; ++on) {
        SCOPED_TRACE(on == 0 ? "first power on" : "second power on");
        const int granted = trace().count(QStringLiteral("Priority raised through RealtimeKit: "));
        const qsizetype recorded = fileContents("out.raw").size();
        ASSERT_NO_FATAL_FAILURE(clickPower(0));
        ASSERT_NO_FATAL_FAILURE(expectSoundAfter(recorded));
        ASSERT_TRUE(runUntil(
            [&] { return trace().count(QStringLiteral("Priority raised through RealtimeKit: ")) > granted; }, 30000))
            << trace().toStdString() << desk.logs().toStdString();
        const QString line = trace().section(QStringLiteral("Priority raised through RealtimeKit: "), -1).section('\n', 0, 0);
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
        expectNothingRaised("after Off");
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
            const QString problem = desk.start(dir.filePath("bus"), false);
            ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
            address = desk.address();
        }
        ASSERT_NO_FATAL_FAILURE(startAsOrdinaryUser(address));

        for (int on = 0; on < 2; ++on) {
            const qsizetype recorded = fileContents("out.raw").size();
            ASSERT_NO_FATAL_FAILURE(clickPower(0));
            ASSERT_NO_FATAL_FAILURE(expectSoundAfter(recorded));
            ASSERT_TRUE(runUntil([&] { return trace().contains(QStringLiteral("Real-time priority refused: ")); }, 30000))
                << trace().toStdString();
            expectNothingRaised("while on");
            ASSERT_NO_FATAL_FAILURE(clickPower(1));
        }
        const QString log = trace();
        EXPECT_EQ(log.count(QStringLiteral("Real-time priority refused: ")), 1) << log.toStdString();
        EXPECT_TRUE(log.contains(c.reason)) << log.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("Priority raised through RealtimeKit"))) << log.toStdString();

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
