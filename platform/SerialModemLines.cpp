#include "platform/SerialModemLines.h"

#include "platform/DeviceAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace orvik {

QString serialDevicePath(int32_t portNumber)
{
    if (portNumber < 1)
        return QString();
    return QStringLiteral("/dev/ttyS%1").arg(static_cast<qint64>(portNumber) - 1);
}

SerialModemLines::~SerialModemLines()
{
    close();
}

bool SerialModemLines::fail(const QString& what)
{
    lastErrorNumber_ = errno;
    lastError_ = what + QStringLiteral(": ") + systemErrorText(lastErrorNumber_);
    return false;
}

bool SerialModemLines::open(const QString& devicePath)
{
    close();
    lastError_.clear();
    lastErrorNumber_ = 0;
    if (devicePath.isEmpty()) {
        lastError_ = QStringLiteral("no device for this port");
        return false;
    }
    const QByteArray path = devicePath.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(devicePath);
    // Nobody else may use the port while it carries the synthesizer's load lines.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        fail(devicePath + QStringLiteral(" (exclusive)"));
        ::close(fd);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        // With hardware flow control the driver would drive RTS itself.
        tio.c_cflag &= ~CRTSCTS;
        tio.c_cflag &= ~HUPCL;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    fd_ = fd;
    return true;
}

void SerialModemLines::close()
{
    if (fd_ < 0)
        return;
    ::ioctl(fd_, TIOCCBRK);
    // The flag belongs to the terminal, not to this descriptor: a terminal someone else
    // still holds (a pseudo-terminal's far side) would stay closed to every later open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool SerialModemLines::modemBit(int bit, bool on)
{
    if (fd_ < 0)
        return false;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0)
        return fail(bit == TIOCM_DTR ? QStringLiteral("DTR") : QStringLiteral("RTS"));
    return true;
}

bool SerialModemLines::setDtr(bool on)
{
    return modemBit(TIOCM_DTR, on);
}

bool SerialModemLines::setRts(bool on)
{
    return modemBit(TIOCM_RTS, on);
}

bool SerialModemLines::setBreak(bool on)
{
    if (fd_ < 0)
        return false;
    if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0)
        return fail(QStringLiteral("break"));
    return true;
}

std::optional<uint32_t> SerialModemLines::modemStatus()
{
    if (fd_ < 0)
        return std::nullopt;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
        fail(QStringLiteral("modem status"));
        return std::nullopt;
    }
    uint32_t status = 0;
    if (lines & TIOCM_CTS)
        status |= ModemStatusCts;
    if (lines & TIOCM_DSR)
        status |= ModemStatusDsr;
    if (lines & TIOCM_RI)
        status |= ModemStatusRing;
    if (lines & TIOCM_CD)
        status |= ModemStatusDcd;
    return status;
}

} // namespace orvik
