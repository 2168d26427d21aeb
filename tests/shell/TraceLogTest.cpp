#include "platform/Log.h"
#include "shell/TraceLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvik;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(TraceLog, WithoutTraceNothingIsListedAndAnOldFileStays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ORVIKSDR.log");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier trace\r\n");
    }
    TraceLog log(false, path);
    log.AddLog("frmMain:frmMain:Form_Load:Start");
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_EQ(readAll(path), QByteArray("earlier trace\r\n"));

    QTemporaryDir fresh;
    TraceLog none(false, fresh.filePath("ORVIKSDR.log"));
    none.AddLog("x");
    EXPECT_FALSE(QFile::exists(fresh.filePath("ORVIKSDR.log")));
}

TEST(TraceLog, TraceReplacesTheFileWithStartLineAndCrLfLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ORVIKSDR.log");
    {
        TraceLog first(true, path);
        first.AddLog("old run");
    }
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    TraceLog log(true, path, when);
    QStringList shown;
    log.setEntryAdded([&](const QString& line) { shown << line; });
    log.AddLog("frmMain:frmMain:Form_Initialize : Start");
    log.AddLog("optPwr_click : End");

    const QByteArray expected = TraceLog::firstLine(when).toUtf8() +
                                "\r\nfrmMain:frmMain:Form_Initialize : Start\r\noptPwr_click : End\r\n";
    EXPECT_EQ(readAll(path), expected);
    EXPECT_TRUE(TraceLog::firstLine(when).startsWith("ORVIKSDR Log File Started at Date="));
    EXPECT_TRUE(TraceLog::firstLine(when).contains(" Time="));
    EXPECT_EQ(log.entries(), QStringList({"frmMain:frmMain:Form_Initialize : Start", "optPwr_click : End"}));
    EXPECT_EQ(shown, log.entries());
}

TEST(TraceLog, AWriteFailureDoesNotSilenceLaterLines)
{
    QTemporaryDir dir;
    // A folder in place of the file: every append fails.
    const QString path = dir.filePath("ORVIKSDR.log");
    ASSERT_TRUE(QDir(dir.path()).mkdir("ORVIKSDR.log"));
    TraceLog log(true, path);
    log.AddLog("one");
    log.AddLog("two");
    EXPECT_EQ(log.entries(), QStringList({"one", "two"}));
}

TEST(TraceLog, AFullDiskIsReportedOnceOnStandardError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ORVIKSDR.log");
    int writes = 0;
    // Room for the first line only, as a disk that fills up during the run.
    auto filling = [&writes](int fd, const char* data, size_t size) {
        if (++writes > 1) {
            errno = ENOSPC;
            return false;
        }
        return ::write(fd, data, size) == static_cast<ssize_t>(size);
    };
    ::testing::internal::CaptureStderr();
    {
        TraceLog log(true, path, QDateTime::currentDateTime(), filling);
        log.AddLog("one");
        log.AddLog("two");
        EXPECT_EQ(log.entries(), QStringList({"one", "two"})) << "the list still gets every line";
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(QString::fromStdString(err).count("cannot write the log file"), 1) << err;
    EXPECT_NE(err.find(path.toStdString()), std::string::npos) << err;
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_TRUE(readAll(path).startsWith("ORVIKSDR Log File Started")) << readAll(path).toStdString();
}

TEST(TraceLog, AFifoInPlaceOfTheFileIsRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ORVIKSDR.log");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    ::testing::internal::CaptureStderr();
    {
        TraceLog log(true, path);
        log.AddLog("one");
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot write the log file"), std::string::npos) << err;
}

TEST(TraceLog, ALineWrittenWhileAnotherIsBeingAddedIsDropped)
{
    QTemporaryDir dir;
    TraceLog log(true, dir.filePath("ORVIKSDR.log"));
    log.setEntryAdded([&](const QString& line) {
        if (line == "outer")
            log.AddLog("inner");
    });
    log.AddLog("outer");
    log.AddLog("after");
    EXPECT_EQ(log.entries(), QStringList({"outer", "after"}));
}

TEST(TraceLog, BecomesTheProgramLogSinkWhileItLives)
{
    QTemporaryDir dir;
    {
        TraceLog log(true, dir.filePath("ORVIKSDR.log"));
        log.installAsLogSink();
        AddLog("RestoreSettings : Start");
        EXPECT_EQ(log.entries(), QStringList({"RestoreSettings : Start"}));
    }
    AddLog("goes to stderr, not to a destroyed log");
}

TEST(TraceLog, TraceWordIsFoundInTheArgumentsOnly)
{
    struct Case {
        QStringList args;
        bool trace;
    } cases[] = {
        {{"trace"}, true},
        {{"-x", "nicetrace", "y"}, true},
        {{"TRACE"}, false},
        {{"Trace"}, false},
        {{}, false},
        {{"tra", "ce"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(commandLineAsksForTrace(c.args), c.trace) << c.args.join(' ').toStdString();
}
