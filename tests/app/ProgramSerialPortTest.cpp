// The program binary loading its synthesizer through a configured serial device that
// cannot do the job: a pseudo-terminal, which opens but has no modem lines, and a
// stable device name of an adapter that is not there. The operator must be told once,
// with the device's own name, and the program must go on and save on SIGTERM.

#include "tests/app/ProgramFolders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

using orvik::testing::pollUntil;
using orvik::testing::readFile;
using orvik::testing::StartedLine;
using orvik::testing::traceLines;
using orvik::testing::writeFile;

// The master side of a pseudo-terminal, closed at the end of the test.
struct PseudoTerminal {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString slave;
    PseudoTerminal()
    {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~PseudoTerminal()
    {
        if (master >= 0)
            ::close(master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
};

class ProgramSerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folders.root.isValid());
        ASSERT_TRUE(writeFile(QDir(folders.home).filePath("Test.bpl"), "[MainBand]\r\nName=Test\r\n"));
    }

    void TearDown() override
    {
        if (program && program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished(5000);
        }
    }

    // Default interface type and model: the AD9951 on the serial port, that device.
    void writeSettings(const QString& devicePath)
    {
        ASSERT_TRUE(writeFile(folders.iniFile(), "[DDSSerialIF]\nDevicePath=" + devicePath.toUtf8() + "\n"));
    }

    void start()
    {
        program = std::make_unique<QProcess>();
        program->setProcessEnvironment(folders.environment("offscreen"));
        program->start(QStringLiteral(ORVIKSDR_PROGRAM), {"trace"});
        ASSERT_TRUE(program->waitForStarted(30000)) << program->errorString().toStdString();
    }

    // Collects standard error until done() holds for it; false at the deadline.
    bool readErrorUntil(const std::function<bool(const QString&)>& done, int ms = 60000)
    {
        const QDeadlineTimer deadline(ms);
        while (!done(err)) {
            if (deadline.hasExpired() || program->state() == QProcess::NotRunning)
                return false;
            program->waitForReadyRead(100);
            err += QString::fromLocal8Bit(program->readAllStandardError());
        }
        return true;
    }

    void startAndWaitForTheStart()
    {
        start();
        ASSERT_TRUE(pollUntil([&] { return traceLines(folders.logFile()).contains(StartedLine); }))
            << traceLines(folders.logFile()).join('\n').toStdString();
    }

    // SIGTERM ends the program normally; the rest of its standard error is kept.
    void terminate()
    {
        ASSERT_EQ(program->state(), QProcess::Running) << "the program ended by itself:\n" << err.toStdString();
        ::kill(static_cast<pid_t>(program->processId()), SIGTERM);
        ASSERT_TRUE(program->waitForFinished(60000));
        err += QString::fromLocal8Bit(program->readAllStandardError());
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0) << err.toStdString();
    }

    orvik::testing::ProgramFolders folders;
    std::unique_ptr<QProcess> program;
    QString err;
};

} // namespace

TEST_F(ProgramSerialPort, APseudoTerminalIsReportedOnceByNameAndTheProgramRunsOnAndSaves)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slave.isEmpty()) << "no pseudo-terminal";
    writeSettings(pty.slave);
    startAndWaitForTheStart();
    const QString headline = "Unable to drive the lines of " + pty.slave;
    ASSERT_TRUE(readErrorUntil([&](const QString& e) { return e.contains(headline); })) << err.toStdString();
    // The chip's two control registers and the band's frequency have gone out by now,
    // hundreds of refused line changes.
    EXPECT_TRUE(err.contains(pty.slave + ": DTR: Inappropriate ioctl for device")) << err.toStdString();
    terminate();

    EXPECT_EQ(err.count(headline), 1) << err.toStdString();
    EXPECT_EQ(err.count(pty.slave), 2) << "the headline and the reason, nothing more:\n" << err.toStdString();
    const QStringList aboutTheDevice = traceLines(folders.logFile()).filter(pty.slave);
    ASSERT_EQ(aboutTheDevice.size(), 1) << aboutTheDevice.join('\n').toStdString();
    EXPECT_TRUE(aboutTheDevice[0].contains("Inappropriate ioctl for device")) << aboutTheDevice[0].toStdString();

    const QString ini = QString::fromUtf8(readFile(folders.iniFile()));
    EXPECT_TRUE(ini.contains("DevicePath=" + pty.slave)) << ini.toStdString();
    EXPECT_TRUE(ini.contains("AutoStartSDR=False")) << "saved on the way out:\n" << ini.toStdString();
    EXPECT_TRUE(ini.contains("[VFO1.VESKA]")) << ini.toStdString();
}

TEST_F(ProgramSerialPort, BothStartUpMessagesNameTheConfiguredDeviceNotAComNumber)
{
    const QString device = folders.root.filePath("serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    writeSettings(device);
    startAndWaitForTheStart();
    const QString open = "DDSSerialIF : PollMode : Unable to Open " + device + "\n";
    const QString headline = "Unable to open Serial Interface " + device + "\n";
    ASSERT_TRUE(readErrorUntil([&](const QString& e) { return e.contains(open) && e.contains(headline); }))
        << err.toStdString();
    terminate();
    EXPECT_EQ(err.count(open), 1) << err.toStdString();
    EXPECT_EQ(err.count(headline), 1) << err.toStdString();
    EXPECT_FALSE(err.contains(QRegularExpression("COM\\d"))) << err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(readFile(folders.iniFile())).contains("DevicePath=" + device));
}
