#include "platform/SerialDevices.h"

#include "platform/Log.h"
#include "platform/ModemLines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <tuple>

namespace orvik {

namespace {

// A ttyS node is there for every UART slot the driver reserves, whether or not a UART
// answered; the serial core shows a missing one as port type 0.
bool placeholderUart(const QString& sysRoot, const QString& name)
{
    QFile type(sysRoot + u'/' + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false; // no sysfs to ask: offer the node
    return type.readAll().trimmed() == "0";
}

} // namespace

std::vector<SerialDevice> listSerialDevices(const QString& devRoot, const QString& sysRoot)
{
    static const QRegularExpression nodeName(QStringLiteral("^(ttyS|ttyUSB|ttyACM)(\\d+)$"));
    static const QStringList kinds{QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")};

    struct Found {
        int kind;
        qulonglong number; // past 64 bits: the largest, then by name
        SerialDevice device;
    };
    std::vector<Found> nodes;
    const QDir dev(devRoot);
    // Device nodes count as system files.
    for (const QString& name : dev.entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch match = nodeName.match(name);
        if (!match.hasMatch())
            continue;
        bool ok = false;
        qulonglong number = match.captured(2).toULongLong(&ok);
        if (!ok)
            number = ULLONG_MAX;
        const int kind = static_cast<int>(kinds.indexOf(match.captured(1)));
        if (kind == 0 && placeholderUart(sysRoot, name))
            continue;
        SerialDevice device;
        device.path = dev.filePath(name);
        if (kind == 0 && number < static_cast<qulonglong>(ComPortCount))
            device.portNumber = static_cast<int32_t>(number) + 1;
        nodes.push_back({kind, number, device});
    }
    std::sort(nodes.begin(), nodes.end(), [](const Found& a, const Found& b) {
        return std::tie(a.kind, a.number, a.device.path) < std::tie(b.kind, b.number, b.device.path);
    });

    std::vector<SerialDevice> devices;
    for (Found& f : nodes)
        devices.push_back(std::move(f.device));

    const QDir byId(dev.filePath(QStringLiteral("serial/by-id")));
    for (const QString& name : byId.entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name)) {
        const QFileInfo link(byId.filePath(name));
        // udev keeps only links to plugged-in adapters, but a stale one may be left.
        if (!link.isSymLink() || !link.exists())
            continue;
        SerialDevice device;
        device.path = link.filePath();
        device.target = QFileInfo(link.canonicalFilePath()).fileName();
        devices.push_back(std::move(device));
    }
    return devices;
}

SerialDevice serialDeviceOfChoice(int32_t portNumber, const QString& devicePath, const QString& sysRoot)
{
    static const QRegularExpression ttyS(QStringLiteral("^ttyS\\d+$"));
    SerialDevice device;
    device.path = devicePath.isEmpty() ? serialDevicePath(portNumber) : devicePath;
    device.portNumber = devicePath.isEmpty() ? std::max(portNumber, 0) : 0;
    if (device.path.isEmpty())
        return device;
    const QFileInfo info(device.path);
    // exists() follows links: a link left behind by an unplugged adapter is absent.
    device.present = info.exists();
    if (!device.present)
        return device;
    if (info.isSymLink())
        device.target = QFileInfo(info.canonicalFilePath()).fileName();
    const QString node = QFileInfo(info.canonicalFilePath()).fileName();
    device.noUart = ttyS.match(node).hasMatch() && placeholderUart(sysRoot, node);
    return device;
}

QString serialDeviceLabel(const SerialDevice& device)
{
    QStringList notes;
    if (device.portNumber > 0)
        notes << device.path;
    else if (!device.target.isEmpty())
        notes << device.target;
    if (!device.present)
        notes << QStringLiteral("not present");
    else if (device.noUart)
        notes << QStringLiteral("no UART");
    const QString head = device.portNumber > 0 ? QStringLiteral("COM%1").arg(device.portNumber) : device.path;
    return notes.isEmpty() ? head : head + QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + u')';
}

QString devicePathProblem(const QString& path)
{
    if (std::any_of(path.begin(), path.end(), isControlCharacter))
        return QStringLiteral("holds a control character");
    if (path.toLocal8Bit().size() >= PATH_MAX)
        return QStringLiteral("is longer than the system takes a path (%1 bytes)").arg(PATH_MAX - 1);
    return {};
}

} // namespace orvik
