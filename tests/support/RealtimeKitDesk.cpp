#include "tests/support/RealtimeKitDesk.h"

#include "tests/support/PulseAudioServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace orvik::soundtest {

namespace {

const QString RtkitDaemon = QStringLiteral("/usr/libexec/rtkit-daemon");
const QString SystemRules = QStringLiteral("/etc/polkit-1/rules.d");

QString polkitDaemon()
{
    for (const char* path : {"/usr/lib/polkit-1/polkitd", "/usr/libexec/polkitd"})
        if (QFileInfo(QString::fromLatin1(path)).isExecutable())
            return QString::fromLatin1(path);
    return {};
}

// The rule an active desktop session stands for: RealtimeKit's two actions granted.
const char* const GrantRule = "polkit.addRule(function(action, subject) {\n"
                              "    if (action.id == \"org.freedesktop.RealtimeKit1.acquire-real-time\" ||\n"
                              "        action.id == \"org.freedesktop.RealtimeKit1.acquire-high-priority\")\n"
                              "        return polkit.Result.YES;\n"
                              "});\n";

// The machine's system-bus configuration with what belongs to the machine's own bus left
// out (its user, forking, pid file, syslog, service activation) and this socket to listen on.
QString busConfiguration(const QString& address)
{
    QFile system(QStringLiteral("/usr/share/dbus-1/system.conf"));
    if (!system.open(QIODevice::ReadOnly))
        return {};
    QString conf = QString::fromUtf8(system.readAll());
    for (const char* element : {"user", "pidfile", "servicehelper"})
        conf.remove(QRegularExpression(QStringLiteral("<%1>[^<]*</%1>").arg(QLatin1String(element))));
    for (const char* empty : {"<fork/>", "<syslog/>", "<standard_system_servicedirs/>"})
        conf.remove(QLatin1String(empty));
    conf.replace(QRegularExpression(QStringLiteral("<listen>[^<]*</listen>")),
                 QStringLiteral("<listen>%1</listen>").arg(address));
    conf.replace(QStringLiteral("<includedir>system.d</includedir>"),
                 QStringLiteral("<includedir>/usr/share/dbus-1/system.d</includedir>"));
    return conf;
}

} // namespace

QString RealtimeKitDesk::unavailable()
{
    if (::geteuid() != 0)
        return QStringLiteral("not root: polkitd and rtkit-daemon must change to their own users");
    for (const char* tool : {"dbus-daemon", "dbus-send", "unshare", "setpriv"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    if (polkitDaemon().isEmpty() || !::getpwnam("polkitd"))
        return QStringLiteral("polkitd is not installed");
    if (!QFileInfo(RtkitDaemon).isExecutable() || !::getpwnam("rtkit"))
        return QStringLiteral("rtkit is not installed");
    if (!QFileInfo(SystemRules).isDir())
        return QStringLiteral("polkit has no rules folder %1").arg(SystemRules);
    if (!runTool(QStringLiteral("unshare"), {"-m", "--propagation", "private", "true"}))
        return QStringLiteral("no mount namespace can be made here");
    return {};
}

bool RealtimeKitDesk::answers(const QString& name) const
{
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
    send.setProcessEnvironment(env);
    send.start("dbus-send", {"--system", "--print-reply", "--reply-timeout=2000", "--dest=org.freedesktop.DBus",
                             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name});
    if (!send.waitForFinished(10000)) {
        send.kill();
        send.waitForFinished(1000);
        return false;
    }
    return send.readAllStandardOutput().contains("boolean true");
}

QString RealtimeKitDesk::waitFor(QProcess& process, const QString& name, const QString& what)
{
    if (!process.waitForStarted(10000))
        return what + " did not start";
    if (!runUntil([&] { return answers(name) || process.state() == QProcess::NotRunning; }, 20000) ||
        process.state() == QProcess::NotRunning)
        return what + " did not come up on the bus\n" + logs();
    return {};
}

QString RealtimeKitDesk::start(const QString& folder, bool withRealtimeKit)
{
    if (const QString why = unavailable(); !why.isEmpty())
        return why;
    folder_ = folder;
    desk_ = QDir(folder).filePath("desk");
    if (!QDir().mkpath(desk_))
        return "cannot make " + desk_;
    // The services run as their own users and must reach the socket.
    QFile::setPermissions(folder_, QFile::permissions(folder_) | QFile::ExeOther);
    QFile::setPermissions(desk_, QFile::permissions(desk_) | QFile::ExeOther | QFile::ReadOther);
    if (!runTool("setpriv", {"--reuid=polkitd", "--regid=polkitd", "--clear-groups", "test", "-x", desk_}))
        return desk_ + " cannot be reached by other users: a folder above it is closed";
    address_ = "unix:path=" + desk_ + "/system_bus_socket";

    QFile conf(desk_ + "/system.conf");
    const QString configuration = busConfiguration(address_);
    if (configuration.isEmpty() || !conf.open(QIODevice::WriteOnly))
        return QStringLiteral("no system bus configuration to start from");
    conf.write(configuration.toUtf8());
    conf.close();
    bus_.setStandardOutputFile(desk_ + "/dbus.log");
    bus_.setStandardErrorFile(desk_ + "/dbus.log");
    bus_.start("dbus-daemon", {"--config-file=" + conf.fileName(), "--nofork", "--nopidfile", "--nosyslog"});
    if (QString problem = waitFor(bus_, "org.freedesktop.DBus", "the bus"); !problem.isEmpty())
        return problem;
    if (!withRealtimeKit)
        return {};

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
    const QString rules = desk_ + "/rules.d";
    QDir().mkpath(rules);
    QFile rule(rules + "/49-rtkit-test-desk.rules");
    if (!rule.open(QIODevice::WriteOnly))
        return "cannot write " + rule.fileName();
    rule.write(GrantRule);
    rule.close();
    rule.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // polkitd reads rules only from its own folders, and wants them its own.
    const passwd* polkitUser = ::getpwnam("polkitd");
    const QByteArray rulesPath = QFile::encodeName(rules);
    if (::chown(rulesPath.constData(), polkitUser->pw_uid, 0) != 0)
        return "cannot give " + rules + " to polkitd";
    for (const QString& file : QDir(rules).entryList(QDir::Files))
        if (::chown(QFile::encodeName(rules + "/" + file).constData(), polkitUser->pw_uid, 0) != 0)
            return "cannot give " + file + " to polkitd";
    QFile::setPermissions(rules, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    polkit_.setProcessEnvironment(env);
    polkit_.setStandardOutputFile(desk_ + "/polkitd.log");
    polkit_.setStandardErrorFile(desk_ + "/polkitd.log");
    // unshare and sh exec: the process started is polkitd itself.
    polkit_.start("unshare", {"-m", "--propagation", "private", "sh", "-c",
                              "mount --bind \"$1\" \"$2\" && exec \"$3\" --no-debug", "sh", rules, SystemRules,
                              polkitDaemon()});
    if (QString problem = waitFor(polkit_, "org.freedesktop.PolicyKit1", "polkitd"); !problem.isEmpty())
        return problem;

    // Without --no-limit-resources it limits its own user to three processes, and a second
    // rtkit-daemon on the machine (another test's, or the desktop's) could not start.
    rtkit_.setProcessEnvironment(env);
    rtkit_.setStandardOutputFile(desk_ + "/rtkit.log");
    rtkit_.setStandardErrorFile(desk_ + "/rtkit.log");
    rtkit_.start(RtkitDaemon, {"--stderr", "--no-limit-resources"});
    return waitFor(rtkit_, "org.freedesktop.RealtimeKit1", "rtkit-daemon");
}

void RealtimeKitDesk::stop()
{
    for (QProcess* process : {&rtkit_, &polkit_, &bus_})
        endProcess(*process, 3000);
}

QString RealtimeKitDesk::logs() const
{
    QString text;
    for (const char* name : {"dbus.log", "polkitd.log", "rtkit.log"}) {
        QFile f(desk_ + "/" + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            text += QStringLiteral("--- %1\n%2").arg(QLatin1String(name), QString::fromLocal8Bit(f.readAll()));
    }
    return text;
}

} // namespace orvik::soundtest
