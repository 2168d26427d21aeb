// The program binary on a virtual X server, where its message boxes are real modal
// windows: SIGTERM must end it while a box of the start waits for an answer, with the
// shut-down save where the start got that far. Such processes used to ignore SIGTERM
// for as long as the box stayed open. A hang-up while it receives and records must end
// it through its shut-down too.

#include "tests/app/ProgramFolders.h"
#include "tests/app/DisplaySandbox.h"
#include "tests/support/PrivateMounts.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;
using orvik::testing::readFile;
using orvik::testing::StartedLine;
using orvik::testing::writeFile;

class ProgramTermination : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(folders.root.isValid());
        ASSERT_TRUE(writeFile(QDir(folders.home).filePath("Test.bpl"), "[MainBand]\r\nName=Test\r\n"));
        const QString problem = display.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    void TearDown() override
    {
        for (auto& p : programs)
            endProcess(*p, 5000);
        display.stop();
    }

    void writeSettings(const QByteArray& text) { ASSERT_TRUE(writeFile(folders.iniFile(), text)); }

    QProcess& start(const QString& platform, const QStringList& arguments, const QProcessEnvironment& extra = {})
    {
        programs.push_back(std::make_unique<QProcess>());
        QProcess& p = *programs.back();
        QProcessEnvironment env = folders.environment(platform);
        env.insert("DISPLAY", display.name());
        env.insert(extra);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORVIKSDR_PROGRAM), arguments);
        EXPECT_TRUE(p.waitForStarted(30000));
        return p;
    }

    // Visible windows of that title on the display.
    int shownWindows(const QString& title) { return static_cast<int>(display.shownWindows(title).size()); }

    // Waits for the box's text on standard error and for the box itself on the display (at
    // least windowsWithBox shown windows of that title), then sends SIGTERM; true when the
    // program ended in time, with its standard error.
    bool terminateAtBox(QProcess& p, const QString& text, int windowsWithBox, QString& err,
                        const QString& title = "ORVIKSDR")
    {
        const bool boxShown = runUntil(
            [&] {
                err += QString::fromLocal8Bit(p.readAllStandardError());
                return err.contains(text) && shownWindows(title) >= windowsWithBox;
            },
            60000);
        EXPECT_TRUE(boxShown) << "no box \"" << text.toStdString() << "\": " << err.toStdString();
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        // The goal is 3 s; the bound only tells an end from a wait for an answer.
        const bool ended = p.waitForFinished(30000);
        std::printf("ended %.2f s after SIGTERM\n", clock.elapsed() / 1000.0);
        err += QString::fromLocal8Bit(p.readAllStandardError());
        return ended;
    }

    orvik::testing::ProgramFolders folders;
    VirtualDisplay display;
    std::vector<std::unique_ptr<QProcess>> programs;
};

TEST_F(ProgramTermination, TheSecondInstancesBoxGivesWayAndTheFirstInstanceRunsOn)
{
    writeSettings("[frmMain]\nVFO1.IFType=1\n");
    QProcess& first = start("offscreen", {"trace"});
    ASSERT_TRUE(runUntil([&] { return readFile(folders.logFile()).contains(StartedLine.toUtf8()); },
                         60000));
    const QByteArray log = readFile(folders.logFile());

    QProcess& second = start("xcb", {"trace"});
    QString err;
    ASSERT_TRUE(terminateAtBox(second, "ORVIKSDR: ORVIKSDR is already running", 1, err)) << err.toStdString();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_EQ(readFile(folders.logFile()), log) << "the first instance's trace is its own";
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(ProgramTermination, ASerialPortBoxOfTheStartGivesWayAndTheShutDownSaves)
{
    // The machine's serial ports hidden, so that the program's port cannot be opened.
    const QString problem = orvik::testing::privateMounts();
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    writeSettings("[frmMain]\nVFO1.IFType=0\nAutoStartSDR=False\n");
    QProcess& p = start("xcb", {});
    QString err;
    // The main window and the box.
    ASSERT_TRUE(terminateAtBox(p, "Unable to Open COM1", 2, err)) << err.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    // The rest of the start ran without waiting for answers, then the shut-down saved.
    const QString ini = QString::fromUtf8(readFile(folders.iniFile()));
    EXPECT_TRUE(ini.contains("SDRBackgroundColour=")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("LastTunedFrequency=")) << ini.toStdString();
}

// The warning that the settings will not be saved comes once the start is through, before
// the event loop runs: a SIGTERM then used to close the box alone, and the program ran on.
TEST_F(ProgramTermination, TheWarningAfterTheStartGivesWayAndTheShutDownRuns)
{
    // The synthesizer on the recorded port, so that no box about its port comes first.
    writeSettings("[frmMain]\nVFO1.IFType=0\nAutoStartSDR=False\n");
    QProcessEnvironment environment;
    environment.insert("ORVIKSDR_SYNTH_PORT", "record:" + folders.root.filePath("synth.txt"));
    // No folder to copy the settings aside into (the temporary folder is a file): they are
    // read, but cannot be saved.
    const QString notAFolder = folders.root.filePath("tmp");
    ASSERT_TRUE(writeFile(notAFolder, {}));
    environment.insert("TMPDIR", notAFolder);
    QProcess& p = start("xcb", {}, environment);
    QString err;
    ASSERT_TRUE(terminateAtBox(p, "Settings will not be saved", 1, err, "ORVIKSDR - Settings will not be saved"))
        << err.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err.count("ORVIKSDR - Settings not saved"), 1) << "the shut-down ran: " << err.toStdString();
}

// The program receiving through a private sound server on a virtual X server. A terminal
// closing sends its programs SIGHUP, which used to end this one at once: no settings
// saved, and a recording under way kept only what had reached the disk, its header
// giving a length of 0 s before the first write.
class HangUp : public DisplaySandbox {
protected:
    void TearDown() override
    {
        endProcess(parec, 5000);
        DisplaySandbox::TearDown();
    }

    // Bytes recorded from "appout" so far: silence too, as the monitor runs on its own.
    qint64 heard() const { return QFileInfo(dir.filePath("out.raw")).size(); }

    // Whether the program's output has carried sound yet.
    bool soundCameOut() const
    {
        const QByteArray out = fileContents("out.raw");
        const auto* s = reinterpret_cast<const int16_t*>(out.constData());
        return std::any_of(s, s + out.size() / 2, [](int16_t v) { return std::abs(v) > 100; });
    }

    QProcess parec;
};

TEST_F(HangUp, WhileRecordingTheShutDownSavesTheSettingsAndFinishesTheRecording)
{
    const auto [capture, playback] = pulseDevices();
    ASSERT_GT(capture, 0);
    ASSERT_GT(playback, 0);
    ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
        "[MainBand]\r\nName=Test\r\n",
        QString("[frmMain]\nAutoStartSDR=True\nCurrentCaptureDevice=%1\nCurrentPlaybackDevice=%2\nVFO1.IFType=0\n")
            .arg(capture)
            .arg(playback)));
    ASSERT_TRUE(PulseAudioServer::startRecorder(parec, "appout.monitor", 1, dir.filePath("out.raw")));
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(120, true), "am.raw"));
    QProcessEnvironment env;
    env.insert("DISPLAY", xserver.name());
    env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
    // As from a shell whose terminal may close: a hang-up is not ignored, also where
    // these tests were started under nohup.
    ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {}, env, {"env", "--default-signal=HUP"}));
    QString mainWindow;
    ASSERT_TRUE(runUntil(
        [&] {
            mainWindow = xserver.shownWindows("ORVIKSDR").value(0);
            return !mainWindow.isEmpty();
        },
        30000))
        << programLog();

    // Sound reaches the recorder only once the sound server delivers the first captured
    // block, which a fresh server's idle source may hold back for seconds.
    ASSERT_TRUE(runUntil([&] { return soundCameOut(); }, 30000)) << "no audio came out\n" << programLog();

    // Record: the first button of the recorder, at the centre of its design rectangle (in
    // twips, 15 a pixel). A click before the start is through is lost, so it is repeated
    // until the recording's file appears.
    const QString recording = QDir(home).filePath("~ORVIKWAV.TMP");
    const QString x = QString::number((2580 + 60 + 180) / 15);
    const QString y = QString::number((2820 + 45 + 165) / 15);
    for (int tries = 0; tries < 10 && !QFile::exists(recording); ++tries) {
        xserver.runClient("xdotool", {"mousemove", "--window", mainWindow, x, y, "click", "1"});
        runUntil([&] { return QFile::exists(recording); }, 3000);
    }
    ASSERT_TRUE(QFile::exists(recording)) << "Record did not start\n" << programLog();
    // Half a second played since, most of it recorded too: less than the recorder keeps
    // in memory before its first write, so none of it is on the disk yet.
    const qint64 heardAtStart = heard();
    ASSERT_TRUE(runUntil([&] { return heard() - heardAtStart >= 48000; }, 30000))
        << "the sound server stopped\n" << programLog();

    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    ASSERT_TRUE(program.waitForFinished(30000)) << "the shut-down did not end\n" << programLog();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << programLog();
    EXPECT_EQ(program.exitCode(), 0) << programLog();

    const QString ini = QString::fromUtf8(fileContents("config/ORVIKSDR/ORVIKSDR.ini"));
    EXPECT_TRUE(ini.contains("LastTunedFrequency=")) << "the settings were not saved: " << ini.toStdString();
    EXPECT_TRUE(ini.contains("SDRBackgroundColour=")) << ini.toStdString();

    // The header gives the length of the audio the file holds, the track log behind it.
    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 44);
    ASSERT_TRUE(bytes.startsWith("RIFF")) << bytes.left(16).toHex().toStdString();
    ASSERT_EQ(bytes.mid(36, 4), QByteArray("data"));
    uint32_t byteRate = 0;
    uint32_t dataBytes = 0;
    std::memcpy(&byteRate, bytes.constData() + 28, 4);
    std::memcpy(&dataBytes, bytes.constData() + 40, 4);
    ASSERT_GT(byteRate, 0u);
    std::printf("the recording's header gives %.2f s\n", double(dataBytes) / byteRate);
    EXPECT_GE(dataBytes, byteRate / 4) << "the audio in memory at the hang-up was not kept";
    ASSERT_LE(44 + qint64(dataBytes), bytes.size());
    const QByteArray behind = bytes.mid(44 + qsizetype(dataBytes));
    EXPECT_TRUE(behind.isEmpty() || behind.startsWith("ORVIK")) << behind.left(16).toHex().toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
