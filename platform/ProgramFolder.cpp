#include "platform/ProgramFolder.h"

#include "platform/Log.h"

#include <QDir>
#include <QtGlobal>

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

} // namespace orvik
