#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace orvik {

// The program log behind the log window: with tracing on every line goes to the list
// and is appended to the log file (opened and closed per line, so a killed process
// still leaves a complete trace); with tracing off every line is dropped.
class TraceLog {
public:
    static constexpr const char* FileName = "ORVIKSDR.log";

    // With traceOn the file is created or emptied and gets its first line; without
    // it the file is not touched, so an earlier trace stays as it was.
    // Writes every byte to the descriptor or fails with errno set; tests put a
    // failing one in place of the real write.
    using FileWriter = std::function<bool(int fd, const char* data, size_t size)>;

    TraceLog(bool traceOn, QString filePath, const QDateTime& now = QDateTime::currentDateTime(),
             FileWriter writer = {});
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    bool TraceOn() const { return traceOn_; }
    QString filePath() const { return filePath_; }

    void AddLog(const QString& Record);

    // The list of the log window, oldest first.
    const QStringList& entries() const { return entries_; }
    // Called after a line has reached the list (the window shows it there).
    void setEntryAdded(std::function<void(const QString&)> onEntry) { onEntry_ = std::move(onEntry); }

    // Routes platform AddLog to this object until it is destroyed.
    void installAsLogSink();

    static QString firstLine(const QDateTime& now);

private:
    bool appendLine(const QString& line, bool truncate);

    bool traceOn_;
    QString filePath_;
    FileWriter writer_;
    bool LogBusy = false;
    bool writeFailureReported_ = false;
    bool installed_ = false;
    QStringList entries_;
    std::function<void(const QString&)> onEntry_;
};

// True only in a development run; this program has none.
constexpr bool InIDE() { return false; }

// The command-line test of start-up: "trace" anywhere in the arguments (not the
// program path), case-sensitive.
bool commandLineAsksForTrace(const QStringList& argumentsAfterProgram);

} // namespace orvik
