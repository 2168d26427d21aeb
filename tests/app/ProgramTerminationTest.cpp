// The program binary on a virtual X server, where its message boxes are real modal
// windows: SIGTERM must end it while a box of the start waits for an answer, with the
// shut-down save where the start got that far. Such processes used to ignore SIGTERM
// for as long as the box stayed open.

#include "tests/app/ProgramFolders.h"
#include "tests/support/PrivateMounts.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
