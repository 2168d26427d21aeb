#pragma once

#include "platform/Log.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace orvik::testing {

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Collects the log lines written while it lives.
class LogRecorder {
public:
    LogRecorder() { setLogSink([this](const QString& line) { lines.append(line); }); }
    ~LogRecorder() { setLogSink({}); }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;
    QStringList lines;
};

} // namespace orvik::testing
