#include "shell/TraceLog.h"

#include "platform/Log.h"

#include <QFile>
#include <QLocale>

#include <cstdio>

namespace orvik {

TraceLog::TraceLog(bool traceOn, QString filePath, const QDateTime& now)
    : traceOn_(traceOn), filePath_(std::move(filePath))
{
    if (traceOn_)
        appendLine(firstLine(now), true);
}

TraceLog::~TraceLog()
{
    if (installed_)
        setLogSink({});
}

QString TraceLog::firstLine(const QDateTime& now)
{
    const QLocale locale = QLocale::system();
    return QStringLiteral("ORVIKSDR Log File Started at Date=") + locale.toString(now.date(), QLocale::ShortFormat) +
           QStringLiteral(" Time=") + locale.toString(now.time(), QLocale::ShortFormat);
}

void TraceLog::AddLog(const QString& Record)
{
    if (!traceOn_ || LogBusy)
        return;
    LogBusy = true;
    struct ClearBusy {
        bool& flag;
        ~ClearBusy() { flag = false; }
    } clearBusy{LogBusy};

    entries_.append(Record);
    if (onEntry_)
        onEntry_(Record);
    appendLine(Record, false);
}

bool TraceLog::appendLine(const QString& line, bool truncate)
{
    QFile file(filePath_);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | (truncate ? QIODevice::Truncate : QIODevice::Append);
    bool ok = file.open(mode);
    if (ok) {
        const QByteArray bytes = line.toUtf8() + "\r\n";
        ok = file.write(bytes) == bytes.size();
        file.close();
    }
    if (!ok && !writeFailureReported_) {
        writeFailureReported_ = true;
        std::fprintf(stderr, "ORVIKSDR: cannot write the log file %s: %s\n", qPrintable(filePath_),
                     qPrintable(file.errorString()));
    }
    return ok;
}

void TraceLog::installAsLogSink()
{
    setLogSink([this](const QString& text) { AddLog(text); });
    installed_ = true;
}

bool commandLineAsksForTrace(const QStringList& argumentsAfterProgram)
{
    return argumentsAfterProgram.join(' ').contains(QStringLiteral("trace"), Qt::CaseSensitive);
}

} // namespace orvik
