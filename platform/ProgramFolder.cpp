#include "platform/ProgramFolder.h"

#include "platform/DeviceAccess.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace orvik {

QString programFolder()
{
    QString folder = qEnvironmentVariable("ORVIKSDR_HOME");
    if (folder.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        // The XDG rules say a relative value is to be ignored.
        if (data.isEmpty() || QDir::isRelativePath(data))
            data = QDir::homePath() + QStringLiteral("/.local/share");
        folder = data + QStringLiteral("/ORVIKSDR");
    }
    folder = QDir::cleanPath(folder);
    if (!QDir().mkpath(folder))
        AddLog(QStringLiteral("Error:programFolder:cannot create %1").arg(folder));
    return folder;
}

QString programFolderWriteProblem(const QString& folder)
{
    QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".write-check-XXXXXX")));
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return systemErrorText(errno);
    const bool written = ::write(fd, "x", 1) == 1;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    const int closeErrno = errno;
    ::unlink(path.constData());
    if (!written)
        return systemErrorText(writeErrno);
    if (!closed)
        return systemErrorText(closeErrno);
    return {};
}

} // namespace orvik
