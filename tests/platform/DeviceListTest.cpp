#include "platform/DeviceAccess.h"
#include "platform/ParallelPort.h"
#include "platform/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvik;

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList pathsOf(const std::vector<SerialDevice>& devices)
{
    QStringList paths;
    for (const SerialDevice& d : devices)
        paths << d.path;
    return paths;
}

} // namespace

TEST(SerialDeviceList, OffersEachKindInNumberOrderAndOnlyRealNodeNames)
{
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyS3", "ttyACM0", "ttyS", "ttySx", "ttyUSB0.lock", "tty1",
                             "ttyAMA0", "console"})
        touch(dev.filePath(name));
    ASSERT_TRUE(QDir(dev.path()).mkdir("ttyS5")); // a folder is no device
    const QString noSysfs = dev.filePath("no-sysfs");

    const std::vector<SerialDevice> devices = listSerialDevices(dev.path(), noSysfs);
    EXPECT_EQ(pathsOf(devices), QStringList({dev.filePath("ttyS3"), dev.filePath("ttyUSB2"), dev.filePath("ttyUSB10"),
                                             dev.filePath("ttyACM0")}));
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].portNumber, 4);
    EXPECT_EQ(devices[1].portNumber, 0);
    EXPECT_EQ(serialDeviceLabel(devices[0]), "COM4 (" + dev.filePath("ttyS3") + ")");
    EXPECT_EQ(serialDeviceLabel(devices[3]), dev.filePath("ttyACM0"));

    EXPECT_TRUE(listSerialDevices(dev.filePath("missing"), noSysfs).empty());
}

TEST(SerialDeviceList, LeavesOutUartPlaceholdersAndStaleStableNames)
{
    QTemporaryDir dev;
    QTemporaryDir sys;
    ASSERT_TRUE(dev.isValid() && sys.isValid());
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0"})
        touch(dev.filePath(name));
    const auto portType = [&](const char* port, const QByteArray& type) {
        ASSERT_TRUE(QDir(sys.path()).mkpath(port));
        QFile f(sys.filePath(QString(port) + "/type"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(type);
    };
    portType("ttyS0", "4\n"); // a 16550A
    portType("ttyS1", "0\n"); // no UART behind the node
    ASSERT_TRUE(QDir(dev.path()).mkpath("serial/by-id"));
    ASSERT_TRUE(QFile::link("../../ttyUSB0", dev.filePath("serial/by-id/usb-Prolific-if00-port0")));
    ASSERT_TRUE(QFile::link("../../ttyUSB7", dev.filePath("serial/by-id/usb-Unplugged-if00-port0")));

    const std::vector<SerialDevice> devices = listSerialDevices(dev.path(), sys.path());
    EXPECT_EQ(pathsOf(devices), QStringList({dev.filePath("ttyS0"), dev.filePath("ttyS2"), dev.filePath("ttyUSB0"),
                                             dev.filePath("serial/by-id/usb-Prolific-if00-port0")}));
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[3].target, "ttyUSB0");
    EXPECT_EQ(devices[3].portNumber, 0);
    EXPECT_EQ(serialDeviceLabel(devices[3]), dev.filePath("serial/by-id/usb-Prolific-if00-port0") + " (ttyUSB0)");

    SerialDevice absent{"/dev/ttyUSB3", 0, {}, false};
    EXPECT_EQ(serialDeviceLabel(absent), "/dev/ttyUSB3 (not present)");
    absent = {"/dev/ttyS7", 8, {}, false};
    EXPECT_EQ(serialDeviceLabel(absent), "COM8 (/dev/ttyS7, not present)");
}

// A stored choice the listing does not offer is "not present" only when its path is gone.
TEST(SerialDeviceList, AChoiceOutsideTheListIsPresentWhenItsPathExists)
{
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid() && QDir(dev.path()).mkpath("sys/ttyS1"));
    touch(dev.filePath("ttyAMA0"));
    touch(dev.filePath("ttyS1"));
    QFile type(dev.filePath("sys/ttyS1/type"));
    ASSERT_TRUE(type.open(QIODevice::WriteOnly) && type.write("0\n") == 2);
    type.close();
    ASSERT_TRUE(QFile::link(dev.filePath("ttyAMA0"), dev.filePath("adapter")));
    ASSERT_TRUE(QFile::link(dev.filePath("ttyUSB7"), dev.filePath("unplugged")));
    for (const auto& [name, notes] : std::vector<std::pair<QString, QString>>{
             {"ttyAMA0", ""}, {"adapter", " (ttyAMA0)"}, {"unplugged", " (not present)"},
             {"ttyUSB9", " (not present)"}, {"ttyS1", " (no UART)"}})
        EXPECT_EQ(serialDeviceLabel(serialDeviceOfChoice(3, dev.filePath(name), dev.filePath("sys"))),
                  dev.filePath(name) + notes);
    EXPECT_EQ(serialDeviceOfChoice(0, "", dev.path()).path, "");
}

TEST(SerialDeviceList, OnlyTtySNumbersBelowTheComPortCountBecomeComPorts)
{
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    const QString last = QString("ttyS%1").arg(ComPortCount - 1);
    const QString first = QString("ttyS%1").arg(ComPortCount);
    for (const QString& name : {QString("ttyS2147483647"), QString("ttyS99999999999999999999999"), first, last,
                                QString("ttyS1"), QString("ttyUSB4294967296")})
        touch(dev.filePath(name));

    const std::vector<SerialDevice> devices = listSerialDevices(dev.path(), dev.filePath("no-sysfs"));
    EXPECT_EQ(pathsOf(devices),
              QStringList({dev.filePath("ttyS1"), dev.filePath(last), dev.filePath(first), dev.filePath("ttyS2147483647"),
                           dev.filePath("ttyS99999999999999999999999"), dev.filePath("ttyUSB4294967296")}));
    ASSERT_EQ(devices.size(), 6u);
    EXPECT_EQ(devices[0].portNumber, 2);
    EXPECT_EQ(devices[1].portNumber, ComPortCount);
    for (size_t i = 2; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].portNumber, 0) << devices[i].path.toStdString();
        EXPECT_EQ(serialDeviceLabel(devices[i]), devices[i].path);
    }
}

TEST(SerialDevicePath, ControlCharactersAndOverlongPathsNameNoDevice)
{
    EXPECT_EQ(devicePathProblem("/dev/ttyUSB0"), "");
    EXPECT_EQ(devicePathProblem("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"), "");
    EXPECT_EQ(devicePathProblem(""), "");
    for (const QString& bad : {QString("/dev/ttyUSB0") + QChar(0) + "x", QString("/dev/tty\nUSB0"),
                               QString("/dev/ttyUSB0\r"), QString("/dev/tty") + QChar(0x7F),
                               QString("/dev/tty") + QChar(0x85), QString("/dev/tty") + QChar(0x2028)})
        EXPECT_EQ(devicePathProblem(bad), "holds a control character") << bad.toStdString();
    EXPECT_EQ(devicePathProblem("/" + QString(PATH_MAX - 2, 'x')), "");
    EXPECT_TRUE(devicePathProblem("/" + QString(PATH_MAX - 1, 'x')).startsWith("is longer than"));
}

TEST(ParallelDeviceName, NamesTheNodeAnAddressReachesAndWhetherItIsThere)
{
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    touch(dev.filePath("parport0"));
    const QString noProc = dev.filePath("no-proc");
    EXPECT_EQ(parallelDeviceText(0x378, {}, dev.path(), noProc), "/dev/parport0");
    EXPECT_EQ(parallelDeviceText(0x278, {}, dev.path(), noProc), "/dev/parport1 (not present)");
    EXPECT_EQ(parallelDeviceText(0x1234, {}, dev.path(), noProc), "");
    // A configured device stands for any address.
    EXPECT_EQ(parallelDeviceText(0x1234, dev.filePath("parport0"), dev.path(), noProc), dev.filePath("parport0"));
    EXPECT_EQ(parallelDeviceText(0x378, "/nonexistent/parport3", dev.path(), noProc),
              "/nonexistent/parport3 (not present)");
}

TEST(DeviceAccessAdvice, NamesTheGroupThatOwnsARefusedDevice)
{
    QTemporaryDir dev;
    ASSERT_TRUE(dev.isValid());
    const QString node = dev.filePath("ttyUSB0");
    touch(node);
    // The group the test may hand the node to: any for root, its own otherwise.
    gid_t gid = ::getgid();
    if (::geteuid() == 0) {
        const group* dialout = ::getgrnam("dialout");
        gid = dialout ? dialout->gr_gid : 20;
    }
    ASSERT_EQ(::chown(node.toLocal8Bit().constData(), static_cast<uid_t>(-1), gid), 0);
    ASSERT_EQ(::chmod(node.toLocal8Bit().constData(), 0660), 0);
    const group* g = ::getgrgid(gid);
    const QString name = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);

    const QString advice = deviceAccessAdvice(node, EACCES, "lp");
    if (gid == 0) {
        EXPECT_TRUE(advice.contains("usually lp")) << advice.toStdString();
    } else {
        EXPECT_TRUE(advice.startsWith("Your user must be in the group " + name + " that owns " + node + ": sudo usermod -aG "
                                      + name + " "))
            << advice.toStdString();
    }
    EXPECT_TRUE(advice.endsWith(", then log out and in again")) << advice.toStdString();
    EXPECT_FALSE(deviceAccessAdvice(node, EPERM, "lp").isEmpty());

    // A node its group may not open names the usual group instead.
    ASSERT_EQ(::chmod(node.toLocal8Bit().constData(), 0600), 0);
    EXPECT_TRUE(deviceAccessAdvice(node, EACCES, "dialout")
                    .startsWith("Your user must be in the group that owns " + node + ", usually dialout: "
                                "sudo usermod -aG dialout "));
    EXPECT_TRUE(deviceAccessAdvice(dev.filePath("gone"), EACCES, "dialout").contains("usually dialout"));

    for (int other : {0, ENOENT, EBUSY, EIO})
        EXPECT_EQ(deviceAccessAdvice(node, other, "dialout"), "") << other;
}

TEST(DeviceAccessAdvice, FolderProblemsGiveTheSystemsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(folderAccessProblem(dir.path()), "");
    EXPECT_EQ(folderAccessProblem(dir.filePath("missing")), "No such file or directory");
    touch(dir.filePath("file"));
    EXPECT_EQ(folderAccessProblem(dir.filePath("file")), "Not a directory");
    if (::geteuid() != 0) {
        ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
        ASSERT_EQ(::chmod(dir.filePath("locked").toLocal8Bit().constData(), 0500), 0);
        EXPECT_EQ(folderAccessProblem(dir.filePath("locked")), "Permission denied");
    }
}
