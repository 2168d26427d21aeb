#include "platform/ModemLines.h"
#include "platform/PpdevParallelPort.h"
#include "platform/SerialModemLines.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace orvik;

TEST(SerialModemLines, PortNumbersMapToTheirOwnDevices)
{
    EXPECT_EQ(serialDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(serialDevicePath(10), "/dev/ttyS9");
    EXPECT_EQ(serialDevicePath(19), "/dev/ttyS18");
    EXPECT_EQ(serialDevicePath(0), "");
    EXPECT_EQ(serialDevicePath(-3), "");
}

TEST(SerialModemLines, MissingDeviceFailsWithAReasonAndLeavesEverythingClosed)
{
    SerialModemLines lines;
    EXPECT_FALSE(lines.open("/nonexistent/ttyS99"));
    EXPECT_TRUE(lines.lastError().startsWith("/nonexistent/ttyS99: ")) << lines.lastError().toStdString();
    EXPECT_FALSE(lines.open(""));
    EXPECT_FALSE(lines.isOpen());
    EXPECT_EQ(lines.handle(), 0);
    // Nothing may reach descriptor 0 (the terminal) while closed.
    EXPECT_FALSE(lines.setDtr(true));
    EXPECT_FALSE(lines.setRts(true));
    EXPECT_FALSE(lines.setBreak(true));
    EXPECT_FALSE(lines.modemStatus().has_value());
    lines.close();
}

TEST(SerialModemLines, PseudoTerminalOpensExclusiveButHasNoModemLines)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    // Another program's hold keeps the terminal, and with it the exclusive flag, alive.
    const int held = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    SerialModemLines lines;
    ASSERT_TRUE(lines.open(slave)) << lines.lastError().toStdString();
    EXPECT_GT(lines.handle(), 0);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(held, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    // A second opener is refused (root is exempt from TIOCEXCL).
    if (::geteuid() != 0) {
        SerialModemLines second;
        EXPECT_FALSE(second.open(slave));
    }
    // Each refusal names the line and the system's reason.
    EXPECT_FALSE(lines.setDtr(true));
    EXPECT_EQ(lines.lastErrorNumber(), ENOTTY);
    EXPECT_EQ(lines.lastError(), "DTR: " + QString::fromLocal8Bit(std::strerror(ENOTTY)));
    EXPECT_FALSE(lines.setRts(false));
    EXPECT_EQ(lines.lastError(), "RTS: " + QString::fromLocal8Bit(std::strerror(ENOTTY)));
    lines.close();
    EXPECT_EQ(lines.handle(), 0);
    ASSERT_EQ(::ioctl(held, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "closing keeps the terminal to itself";
    ::close(held);
    ::close(master);
}

TEST(ParallelPort, AddressLookupPrefersTheKernelsBaseAddresses)
{
    QTemporaryDir proc;
    ASSERT_TRUE(proc.isValid());
    const auto addPort = [&](const QString& name, const QByteArray& base) {
        QDir(proc.path()).mkpath(name);
        QFile f(proc.path() + "/" + name + "/base-addr");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(base);
    };
    addPort("parport0", "53248\t53256\n");
    addPort("parport1", "888\t1912\n");
    EXPECT_EQ(parallelDevicePath(0xD000, proc.path()), "/dev/parport0");
    EXPECT_EQ(parallelDevicePath(0x378, proc.path()), "/dev/parport1");
    const QString none = proc.path() + "/none";
    EXPECT_EQ(parallelDevicePath(0x378, none), "/dev/parport0");
    EXPECT_EQ(parallelDevicePath(0x278, none), "/dev/parport1");
    EXPECT_EQ(parallelDevicePath(0x3BC, none), "/dev/parport2");
    EXPECT_EQ(parallelDevicePath(0x1234, none), "");
}

TEST(ParallelPort, UnreachablePortFailsEveryWriteWithoutCrashing)
{
    PpdevParallelPort port;
    port.setDevicePath("/nonexistent/parport7");
    EXPECT_FALSE(port.writeData(0x378, 4));
    EXPECT_TRUE(port.lastError().startsWith("/nonexistent/parport7: ")) << port.lastError().toStdString();
    EXPECT_FALSE(port.writeData(0x378, 0));
    port.setDevicePath("");
    EXPECT_FALSE(port.writeData(0x1234, 4));
    EXPECT_EQ(port.lastError(), "no parallel port at address &H1234");
}
