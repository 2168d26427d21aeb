#include "shell/TraceLog.h"

#include "common/ReentryGuard.h"
#include "platform/Log.h"
#include "platform/files/RegularFile.h"

#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace orvik {

TraceLog::TraceLog(bool traceOn, QString filePath, const QDateTime& now, FileWriter writer)
    : traceOn_(traceOn), filePath_(std::move(filePath)), writer_(writer ? std::move(writer) : FileWriter(writeAllTo))
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
    if (!traceOn_)
        return;
    ReentryGuard guard(LogBusy);
    if (guard.reentered())
        return;

    entries_.append(Record);
    if (onEntry_)
        onEntry_(Record);
    appendLine(Record, false);
}

bool TraceLog::appendLine(const QString& line, bool truncate)
{
    // Raw descriptor writes: a buffered write only fills memory, and a full disk
    // would show up as an unchecked failure at close.
    std::string why;
    const int fd = openRegularFileForWriting(QFile::encodeName(filePath_).toStdString(), truncate, !truncate, why);
    bool ok = fd >= 0;
    if (ok) {
        const QByteArray bytes = line.toUtf8() + "\r\n";
        ok = writer_(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
        if (!ok)
            why = std::strerror(errno);
        if (::close(fd) != 0 && ok) {
            ok = false;
            why = std::strerror(errno);
        }
    }
    if (!ok && !writeFailureReported_) {
        writeFailureReported_ = true;
        std::fprintf(stderr, "ORVIKSDR: cannot write the log file %s: %s\n", qPrintable(filePath_), why.c_str());
        std::fflush(stderr);
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
