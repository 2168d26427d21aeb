#include "platform/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

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
        int number;
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
        const int number = match.captured(2).toInt(&ok);
        if (!ok)
            continue;
        const int kind = static_cast<int>(kinds.indexOf(match.captured(1)));
        if (kind == 0 && placeholderUart(sysRoot, name))
            continue;
        SerialDevice device;
        device.path = dev.filePath(name);
        if (kind == 0)
            device.portNumber = number + 1;
        nodes.push_back({kind, number, device});
    }
    std::sort(nodes.begin(), nodes.end(), [](const Found& a, const Found& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
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

QString serialDeviceLabel(const SerialDevice& device)
{
    QStringList notes;
    if (device.portNumber > 0)
        notes << device.path;
    else if (!device.target.isEmpty())
        notes << device.target;
    if (!device.present)
        notes << QStringLiteral("not present");
    const QString head = device.portNumber > 0 ? QStringLiteral("COM%1").arg(device.portNumber) : device.path;
    return notes.isEmpty() ? head : head + QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + u')';
}

} // namespace orvik
