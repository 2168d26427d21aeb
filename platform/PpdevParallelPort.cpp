#include "platform/PpdevParallelPort.h"

#include "platform/DeviceAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvik {

QString parallelDevicePath(uint16_t address, const QString& procRoot)
{
    const QDir root(procRoot);
    const QStringList ports = root.entryList({QStringLiteral("parport*")}, QDir::Dirs, QDir::Name);
    for (const QString& port : ports) {
        QFile baseFile(root.filePath(port + QStringLiteral("/base-addr")));
        if (!baseFile.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(baseFile.readAll()).simplified();
        bool ok = false;
        const qulonglong base = text.section(QLatin1Char(' '), 0, 0).toULongLong(&ok, 0);
        if (ok && base == address)
            return QStringLiteral("/dev/") + port;
    }
    switch (address) {
    case 0x378:
        return QStringLiteral("/dev/parport0");
    case 0x278:
        return QStringLiteral("/dev/parport1");
    case 0x3BC:
        return QStringLiteral("/dev/parport2");
    default:
        return QString();
    }
}

QString parallelDeviceText(uint16_t address, const QString& devicePath, const QString& devRoot,
                           const QString& procRoot)
{
    QString path = devicePath;
    QString node = devicePath;
    if (path.isEmpty()) {
        path = parallelDevicePath(address, procRoot);
        if (path.isEmpty())
            return {};
        node = QDir(devRoot).filePath(QFileInfo(path).fileName());
    }
    return QFileInfo::exists(node) ? path : path + QStringLiteral(" (not present)");
}

PpdevParallelPort::~PpdevParallelPort()
{
    release();
}

void PpdevParallelPort::release()
{
    if (fd_ >= 0) {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
    }
    fd_ = -1;
    tried_ = false;
}

void PpdevParallelPort::setDevicePath(const QString& devicePath)
{
    if (devicePath == devicePath_)
        return;
    devicePath_ = devicePath;
    release();
}

bool PpdevParallelPort::openFor(uint16_t address)
{
    release();
    tried_ = true;
    address_ = address;
    const QString path = devicePath_.isEmpty() ? parallelDevicePath(address) : devicePath_;
    lastDevicePath_ = path;
    lastErrorNumber_ = 0;
    if (path.isEmpty()) {
        lastError_ = QStringLiteral("no parallel port at address &H") + QString::number(address, 16).toUpper();
        return false;
    }
    const QByteArray local = path.toLocal8Bit();
    const int fd = ::open(local.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        lastErrorNumber_ = errno;
        lastError_ = path + QStringLiteral(": ") + systemErrorText(lastErrorNumber_);
        return false;
    }
    if (::ioctl(fd, PPCLAIM) != 0) {
        lastErrorNumber_ = errno;
        lastError_ = path + QStringLiteral(" (claim): ") + systemErrorText(lastErrorNumber_);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    lastError_.clear();
    return true;
}

bool PpdevParallelPort::writeData(uint16_t address, uint8_t value)
{
    if (!tried_ || address != address_) {
        // A failed open is not retried for every bit of a transfer, only after
        // the address or device changes.
        if (!openFor(address))
            return false;
    }
    if (fd_ < 0)
        return false;
    unsigned char byte = value;
    if (::ioctl(fd_, PPWDATA, &byte) != 0) {
        lastErrorNumber_ = errno;
        lastError_ = QStringLiteral("parallel port write: ") + systemErrorText(lastErrorNumber_);
        return false;
    }
    return true;
}

} // namespace orvik
