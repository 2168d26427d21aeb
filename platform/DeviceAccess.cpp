#include "platform/DeviceAccess.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik {

namespace {

QString userName()
{
    if (const passwd* user = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(user->pw_name);
    const QString fromEnvironment = qEnvironmentVariable("USER");
    return fromEnvironment.isEmpty() ? QStringLiteral("$USER") : fromEnvironment;
}

// The group that may open the device, or empty when its mode leaves no group in charge.
QString owningGroup(const QString& devicePath)
{
    struct stat info {};
    if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0)
        return {};
    const bool groupReadsAndWrites = (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP);
    if (!groupReadsAndWrites || info.st_gid == 0)
        return {};
    if (const group* g = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(info.st_gid);
}

} // namespace

QString systemErrorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString deviceAccessAdvice(const QString& devicePath, int errorNumber, const QString& usualGroup)
{
    if (errorNumber != EACCES && errorNumber != EPERM)
        return {};
    const QString owner = owningGroup(devicePath);
    const QString group = owner.isEmpty() ? usualGroup : owner;
    const QString who = owner.isEmpty()
                            ? QStringLiteral("the group that owns %1, usually %2").arg(devicePath, usualGroup)
                            : QStringLiteral("the group %1 that owns %2").arg(owner, devicePath);
    return QStringLiteral("Your user must be in %1: sudo usermod -aG %2 %3, then log out and in again")
        .arg(who, group, userName());
}

QString folderAccessProblem(const QString& folder)
{
    const QByteArray path = folder.toLocal8Bit();
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return systemErrorText(errno);
    if (!S_ISDIR(info.st_mode))
        return systemErrorText(ENOTDIR);
    if (::access(path.constData(), R_OK | W_OK | X_OK) != 0)
        return systemErrorText(errno);
    return {};
}

} // namespace orvik
