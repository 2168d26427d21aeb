#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace orvik {

// One serial device a port list can offer.
struct SerialDevice {
    QString path;           // what is opened
    int32_t portNumber = 0; // N for ttyS{N-1} (COM N), 0 for any other device
    QString target;         // for a stable by-id name: the node it points at ("ttyUSB0")
    bool present = true;    // false for a stored choice whose path does not exist now
    bool noUart = false;    // a ttyS node kept for a UART that did not answer
};

// ttyS numbers from 0 to this less one are COM ports; higher ones are listed by path.
inline constexpr int32_t ComPortCount = 256;

// The serial devices under devRoot, without opening any: ttyS* by number (leaving out
// those sysRoot/ttySN/type reports as 0, the kernel's placeholders without a UART),
// then ttyUSB* and ttyACM* by number, then the links in serial/by-id by name.
std::vector<SerialDevice> listSerialDevices(const QString& devRoot = QStringLiteral("/dev"),
                                            const QString& sysRoot = QStringLiteral("/sys/class/tty"));

// The device a port choice names (the device path, or else COM portNumber), as the system
// has it now, for a choice the listing does not offer: present whenever the path exists (a
// pseudo-terminal, an adapter outside /dev/serial/by-id), with the node a link points at.
// An empty path for a port number below 1 and no path.
SerialDevice serialDeviceOfChoice(int32_t portNumber, const QString& devicePath,
                                  const QString& sysRoot = QStringLiteral("/sys/class/tty"));

// "COM1 (/dev/ttyS0)", "/dev/ttyUSB0", "/dev/serial/by-id/usb-X-if00-port0 (ttyUSB0)";
// an absent device, or a ttyS node without a UART, says so in the brackets.
QString serialDeviceLabel(const SerialDevice& device);

// Why a configured device path cannot name a device (a control character, longer than
// the system takes), or empty when it can.
QString devicePathProblem(const QString& path);

} // namespace orvik
