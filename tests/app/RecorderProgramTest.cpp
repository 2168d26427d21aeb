// The program binary itself under a virtual display, receiving a 12 kHz IF with a 1 kHz AM tone
// through a private PulseAudio server: its recorder's Record, Stop and Save buttons are clicked
// and the save dialog answered as a user would, the saved file must hold the tone and name the
// tuned frequency, and Load and Play must bring the tone out of "appout" again while the IF is
// silent. Skipped without Xvfb or xdotool.

#include "tests/app/ProgramSandbox.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <numbers>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
constexpr int kTwipsPerPixel = 15;

// Share of the power in the 1 kHz component and the rms, as the median of half-second windows.
std::pair<double, double> toneOf(const int16_t* s, int count)
{
    std::vector<std::pair<double, double>> windows;
    for (int at = 0; at + kRate / 2 <= count; at += kRate / 2) {
        const int16_t* w = s + at;
        const int n = kRate / 2;
        double mean = 0;
        for (int i = 0; i < n; ++i)
            mean += w[i];
        mean /= n;
        double power = 0, re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const double x = w[i] - mean;
            power += x * x;
            re += x * std::cos(2 * std::numbers::pi * 1000.0 * i / kRate);
            im += x * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate);
        }
        windows.push_back({power > 0 ? 2 * (re * re + im * im) / n / power : 0, std::sqrt(power / n)});
    }
    if (windows.empty())
        return {0, 0};
    std::sort(windows.begin(), windows.end());
    return windows[windows.size() / 2];
}

class RecorderProgram : public ProgramSandbox {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is missing";
        ASSERT_NO_FATAL_FAILURE(ProgramSandbox::SetUp());
        // DISPLAY for every child from here on.
        const QString problem = xserver.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        qputenv("DISPLAY", xserver.name().toLocal8Bit());
    }

    void TearDown() override
    {
        for (QProcess* process : {&program, &parec})
            endProcess(*process, 5000);
        xserver.stop();
        ProgramSandbox::TearDown();
    }

    QByteArray output() const { return fileContents("out.raw"); }

    std::pair<double, double> lastSeconds() const
    {
        const QByteArray out = output();
        const int n = static_cast<int>(out.size() / 2);
        return n < 2 * kRate ? std::pair<double, double>{0, 0}
                             : toneOf(reinterpret_cast<const int16_t*>(out.constData()) + n - 2 * kRate, 2 * kRate);
    }

    QString findWindow(const QString& title, int milliseconds)
    {
        QString id;
        runUntil(
            [&] {
                runTool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, &id);
                id = id.section('\n', 0, 0).trimmed();
                return !id.isEmpty();
            },
            milliseconds);
        return id;
    }

    // Recorder button `index` of the main window, at the centre of its design rectangle.
    void clickRecorderButton(int index)
    {
        const int x = (2580 + 60 + index * 375 + 180) / kTwipsPerPixel;
        const int y = (2820 + 45 + 165) / kTwipsPerPixel;
        ASSERT_TRUE(runTool("xdotool", {"mousemove", "--window", mainWindow, QString::number(x), QString::number(y),
                                        "click", "1"}));
    }

    // Types a path into the file dialog of that title and accepts it.
    void answerFileDialog(const QString& title, const QString& path)
    {
        const QString dialog = findWindow(title, 30000);
        ASSERT_FALSE(dialog.isEmpty()) << "no dialog \"" << title.toStdString() << "\"";
        // The file name box has the focus when the dialog opens; the keys queue behind
        // the focus change.
        runTool("xdotool", {"windowfocus", "--sync", dialog});
        ASSERT_TRUE(runTool("xdotool", {"key", "ctrl+a"}));
        ASSERT_TRUE(runTool("xdotool", {"type", "--delay", "20", path}));
        ASSERT_TRUE(runTool("xdotool", {"key", "Return"}));
        // A click meant for the main window must not land on the dialog, nor come while the
        // button's handler that opened it still runs: the recorder ignores clicks then.
        ASSERT_TRUE(runUntil([&] { return findWindow(title, 0).isEmpty(); }, 30000))
            << "the dialog \"" << title.toStdString() << "\" stayed open";
        ASSERT_NO_FATAL_FAILURE(waitUntilIdle());
    }

    void waitUntilIdle()
    {
        ASSERT_TRUE(runUntil([&] { return sleepsInItsEventLoop(program.processId()); }, 30000))
            << "the program never went back to its event loop";
    }

    QString mainWindow;
    VirtualDisplay xserver;
    QProcess parec;
};

TEST_F(RecorderProgram, RecordsSavesLoadsAndPlaysATone)
{
    const auto [capture, playback] = pulseDevices();
    ASSERT_GT(capture, 0);
    ASSERT_GT(playback, 0);
    ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
        "[MainBand]\r\nName=Test\r\n", QString("[frmMain]\nAutoStartSDR=True\nFullDisplay=TRUE\nCurrentCaptureDevice=%1\n"
                                                "CurrentPlaybackDevice=%2\nVFO1.IFType=0\n")
                                            .arg(capture)
                                            .arg(playback)));
    ASSERT_TRUE(PulseAudioServer::startRecorder(parec, "appout.monitor", 1, dir.filePath("out.raw")));
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(40, true), "am.raw"));

    QProcessEnvironment env;
    // The synthesizer's port writes go to a file: no board, and no message about a missing one.
    env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
    ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {}, env));
    mainWindow = findWindow("ORVIKSDR", 30000);
    ASSERT_FALSE(mainWindow.isEmpty()) << "the main window did not appear\n" << programLog();
    ASSERT_TRUE(runUntil([&] { return lastSeconds().second > 100; }, 30000))
        << "no audio came out; " << output().size() << " bytes recorded\n" << programLog();
    // The AGC settles on the tone.
    runUntil([&] { return lastSeconds().first > 0.8; }, 30000);
    const auto [receivedShare, receivedRms] = lastSeconds();
    ASSERT_GT(receivedShare, 0.8);

    // Receiving alone, then receiving and recording, over the same time.
    double cpu = cpuSeconds(program.processId());
    runUntil([] { return false; }, 4000);
    const double receiving = cpuSeconds(program.processId()) - cpu;
    clickRecorderButton(0);
    cpu = cpuSeconds(program.processId());
    runUntil([] { return false; }, 4000);
    const double recording = cpuSeconds(program.processId()) - cpu;
    std::printf("program CPU over 4 s: receiving %.2f s, receiving and recording %.2f s\n", receiving, recording);
    // Stop switches the receiver off, letting events run until the sound has stopped; a
    // click meanwhile would be ignored. The end of its real-time scheduling shows the
    // switch-off done.
    const bool realTime = sched_getscheduler(static_cast<pid_t>(program.processId())) == SCHED_RR;
    clickRecorderButton(3);
    if (realTime) {
        ASSERT_TRUE(runUntil([&] { return sched_getscheduler(static_cast<pid_t>(program.processId())) != SCHED_RR; },
                             30000))
            << "Stop did not switch the receiver off";
    }
    ASSERT_NO_FATAL_FAILURE(waitUntilIdle());
    clickRecorderButton(8);
    const QString saved = dir.filePath("saved.wav");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Select Filename to Save Recording", saved));
    ASSERT_TRUE(runUntil([&] { return QFile::exists(saved); }, 20000)) << "nothing was saved";

    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 44);
    const auto dataBytes = *reinterpret_cast<const uint32_t*>(bytes.constData() + 40);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(bytes.constData() + 24), 48000u);
    ASSERT_GT(dataBytes, 2u * 3 * kRate) << "about four seconds were recorded";
    ASSERT_LE(44 + dataBytes, static_cast<uint32_t>(bytes.size()));
    const auto [fileShare, fileRms] =
        toneOf(reinterpret_cast<const int16_t*>(bytes.constData() + 44) + kRate / 2, static_cast<int>(dataBytes / 2) - kRate / 2);
    EXPECT_GT(fileShare, 0.8);
    EXPECT_GT(fileRms, 1000);
    const QByteArray trailer = bytes.mid(static_cast<int>(44 + dataBytes));
    ASSERT_TRUE(trailer.startsWith("ORVIK"));
    QByteArray text;
    for (int i = 5; i < trailer.size(); i += 2)
        text += trailer[i];
    ASSERT_TRUE(text.startsWith("F=")) << text.toStdString();

    // Silence on the IF: what comes out now is the file.
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(40, false), "silence.raw"));
    clickRecorderButton(7);
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Select Filename", saved));
    clickRecorderButton(1);
    runUntil(
        [&] {
            const auto [share, rms] = lastSeconds();
            return share > 0.8 && rms > receivedRms / 10;
        },
        30000);
    const auto [playedShare, playedRms] = lastSeconds();
    EXPECT_GT(playedShare, 0.8);
    EXPECT_GT(playedRms, receivedRms / 10);
    std::printf("1 kHz share: received %.2f, in the file %.2f, played back %.2f\n", receivedShare, fileShare,
                playedShare);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray settings = ini.readAll();
    const int at = settings.indexOf("LastTunedFrequency=");
    ASSERT_GE(at, 0);
    const QByteArray tuned = settings.mid(at + 19, settings.indexOf('\n', at) - at - 19).trimmed();
    EXPECT_EQ(text.mid(2, 10).toLongLong(), tuned.toLongLong()) << "the track names the tuned frequency";
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
