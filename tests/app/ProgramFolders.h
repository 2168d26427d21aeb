#pragma once

// The folders one run of the program binary keeps to, under one temporary folder: its program
// folder, its settings folder, a runtime folder and an empty folder of shipped band plans, and
// the environment that points the program there, without sound.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

namespace orvik::testing {

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The lines of the trace log, without the empty one after the last line end.
inline QStringList traceLines(const QString& logFile)
{
    QStringList lines = QString::fromUtf8(readFile(logFile)).split("\r\n");
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Polls until done() holds, without running an event loop; false once `ms` have passed.
// Generous by default, for a sanitizer build on a loaded machine.
inline bool pollUntil(const std::function<bool()>& done, int ms = 60000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The trace's last line of a start that went through.
inline const QString StartedLine = QStringLiteral("frmMain:frmMain:Form_Initialize:End");

struct ProgramFolders {
    QTemporaryDir root;
    QString home = root.filePath("home");
    QString config = root.filePath("config");
    QString runtime = root.filePath("runtime");
    QString shipped = root.filePath("shipped");

    ProgramFolders()
    {
        for (const QString& d : {home, config + "/ORVIKSDR", runtime, shipped})
            QDir().mkpath(d);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString iniFile() const { return config + "/ORVIKSDR/ORVIKSDR.ini"; }
    QString logFile() const { return QDir(home).filePath("ORVIKSDR.log"); }

    // On that Qt platform, with the null sound backend.
    QProcessEnvironment environment(const QString& platform) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("ORVIKSDR_HOME", home);
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("HOME", root.path());
        env.insert("ORVIKSDR_SOUND", "null");
        env.insert("ORVIKSDR_SHIPPED_BANDPLANS", shipped);
        return env;
    }
};

} // namespace orvik::testing
