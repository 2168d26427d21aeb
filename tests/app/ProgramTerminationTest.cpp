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

    QProcess& start(const QString& platform, const QStringList& arguments)
    {
        programs.push_back(std::make_unique<QProcess>());
        QProcess& p = *programs.back();
        QProcessEnvironment env = folders.environment(platform);
        env.insert("DISPLAY", display.name());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORVIKSDR_PROGRAM), arguments);
        EXPECT_TRUE(p.waitForStarted(30000));
        return p;
    }

    // Visible windows of that title on the display.
    int shownWindows(const QString& title) { return static_cast<int>(display.shownWindows(title).size()); }

    // Waits for the box's text on standard error and for the box itself on the display,
    // then sends SIGTERM; true when the program ended in time, with its standard error.
    bool terminateAtBox(QProcess& p, const QString& text, int windowsWithBox, QString& err)
    {
        const bool boxShown = runUntil(
            [&] {
                err += QString::fromLocal8Bit(p.readAllStandardError());
                return err.contains(text) && shownWindows("ORVIKSDR") >= windowsWithBox;
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

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
