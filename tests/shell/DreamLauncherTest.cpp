#include "platform/MessageService.h"
#include "shell/DreamLauncher.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <QThread>

#include <cstdlib>

#include <gtest/gtest.h>

#include <map>

using namespace orvik;

TEST(DreamLauncher, CommandLineParts)
{
    EXPECT_EQ(DreamDeviceArgs(1, 4), " -M 0 -I 0 -O 2");
    EXPECT_EQ(DreamDeviceArgs(1, 0), " -M 0 -I 0 -O 0");
    EXPECT_EQ(DreamDeviceArgs(4, 3), " -M 0 -I 2 -O 1");
    // The placeholder is found in any letter case.
    EXPECT_EQ(DreamUserArgs("-f %CurFreq% -g %curfreq% %CURFREQ%", 10009999), "-f 1000 -g 1000 1000");
    // Stored device numbers at the ends of the integer range (this overflowed).
    EXPECT_EQ(DreamDeviceArgs(-2147483647 - 1, 2147483647), " -M 0 -I 0 -O 2147483645");
    EXPECT_EQ(DreamArguments(-2147483647 - 1, -2147483647 - 1, ""), QStringList({"-M", "0", "-I", "0", "-O", "0"}));
    EXPECT_EQ(DreamUserArgs("", 10009999), "");
    EXPECT_EQ(DreamCommandLine("/opt/dream", DreamDeviceArgs(1, 1), ""), "/opt/dream -M 0 -I 0 -O 0  ");
    EXPECT_EQ(DreamArguments(3, 1, "--x \"a b\""),
              QStringList({"-M", "0", "-I", "1", "-O", "0", "--x", "a b"}));
    const std::map<int, int> showStates = {{0, 4}, {1, 6}, {2, 0}, {3, 1}, {-1, 1}};
    for (auto [style, code] : showStates)
        EXPECT_EQ(DreamShowState(style), code) << style;
    EXPECT_EQ(TrimAtNull(QString("DREAM.exe") + QChar(0) + "junk"), "DREAM.exe");
    EXPECT_EQ(TrimAtNull("whole"), "whole");
}

TEST(DreamLauncher, ProcessCheckReadsTheProcessNames)
{
    QTemporaryDir proc;
    auto addProcess = [&](const char* pid, const QByteArray& comm, const QByteArray& state = "S") {
        QDir(proc.path()).mkpath(pid);
        QFile f(proc.filePath(QString(pid) + "/comm"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(comm + "\n");
        QFile stat(proc.filePath(QString(pid) + "/stat"));
        ASSERT_TRUE(stat.open(QIODevice::WriteOnly));
        stat.write(pid + (" (" + comm + ") ") + state + " 1 1 1 0 -1 4194560 0 0 0 0 0 0 0 0 20 0 1 0 3456\n");
    };
    addProcess("12", "bash");
    addProcess("377", "DREAM.EXE");
    addProcess("900", "a-very-long-dec"); // the kernel keeps 15 characters
    // Ended, not reaped yet: a zombie keeps its name.
    addProcess("901", "gone decoder", "Z");
    addProcess("902", "gone decoder", "X");
    addProcess("904", "half gone");
    QFile::remove(proc.filePath("904/stat"));
    QDir(proc.path()).mkpath("self");
    DreamLauncher::Environment env;
    env.procRoot = proc.path();
    DreamLauncher launcher(env);
    EXPECT_EQ(launcher.IsProcessRunning("dream.exe"), 1);
    EXPECT_EQ(launcher.IsProcessRunning("a-very-long-decoder"), 1);
    EXPECT_EQ(launcher.IsProcessRunning("zsh"), 0);
    EXPECT_EQ(launcher.IsProcessRunning("gone decoder"), 0);
    EXPECT_EQ(launcher.IsProcessRunning("half gone"), 0);

    DreamLauncher::Environment missing;
    missing.procRoot = proc.filePath("nothing-here");
    EXPECT_EQ(DreamLauncher(missing).IsProcessRunning("bash"), -1);
}

namespace {

struct DecoderFolder {
    QTemporaryDir dir;
    // A name of its own (the process check sees 15 characters), so that no other
    // run's stand-in counts as "already running".
    QString script = dir.filePath(QString("dec %1").arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0')));
    QString argsFile = dir.filePath("args.txt");
    std::vector<QStringList> iniWrites;

    DecoderFolder()
    {
        QFile f(script);
        f.open(QIODevice::WriteOnly);
        // It takes a moment to end when asked, as a real decoder does.
        f.write("#!/bin/sh\necho \"${JACK_NO_START_SERVER-unset}\" >> \"$(dirname \"$0\")/jack.txt\"\n"
                "{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$(dirname \"$0\")/args.txt\"\n"
                "trap 'sleep 0.3; exit 0' TERM\nn=0\nwhile [ $n -lt 600 ]; do sleep 0.05; n=$((n+1)); done\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    DreamLauncher::Environment environment()
    {
        DreamLauncher::Environment env;
        env.captureDevice = [] { return 3; };
        env.playbackDevice = [] { return 1; };
        env.tunedFrequency = [] { return 155750000.0; };
        env.hiSideLO = [] { return false; };
        env.programFolder = dir.path();
        env.writeIni = [this](const QString& s, const QString& k, const QString& v, const QString& file) {
            iniWrites.push_back({s, k, v, file});
            return true;
        };
        return env;
    }
};

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The decoder is another process: a loaded machine can take seconds to run it.
bool waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

} // namespace

TEST(DreamLauncher, StartsTheDecoderOnceAndClosesOnlyIt)
{
    RecordingMessageService shown;
    setMessageService(&shown);
    DecoderFolder folder;
    DreamLauncher launcher(folder.environment());
    launcher.options.PathToDream = folder.script;
    launcher.options.DreamProgArgs = "--freq %CurFreq% \"two words\"";

    launcher.RunDREAM(); // not enabled
    EXPECT_EQ(launcher.DreamTaskID, 0);

    // The operator's environment has no JACK_NO_START_SERVER; the sound library's start sets it.
    unsetenv("JACK_NO_START_SERVER");
    recordOperatorEnvironment();
    setenv("JACK_NO_START_SERVER", "1", 1);
    launcher.options.RunDreamOnDRM = true;
    launcher.RunDREAM();
    ASSERT_GT(launcher.DreamTaskID, 0);
    EXPECT_FALSE(launcher.StartingDream);
    auto argsWritten = [&] { return fileText(folder.argsFile); };
    ASSERT_TRUE(waitFor([&] { return argsWritten().endsWith("two words\n"); }));
    // Its working folder, then its arguments.
    EXPECT_EQ(argsWritten().split('\n', Qt::SkipEmptyParts),
              QStringList({QDir(folder.dir.path()).canonicalPath(), "-M", "0", "-I", "1", "-O", "0", "--freq", "15575",
                           "two words"}));
    const QString ini = QDir(folder.dir.path()).filePath("Dream.ini");
    ASSERT_EQ(folder.iniWrites.size(), 2u);
    EXPECT_EQ(folder.iniWrites[0], QStringList({"window geometry", "analdemvis", "0", ini}));
    EXPECT_EQ(folder.iniWrites[1], QStringList({"receiver", "flipspectrum", "1", ini}));

    const qint64 first = launcher.DreamTaskID;
    launcher.RunDREAM(); // already running under the path's name: nothing new
    EXPECT_EQ(launcher.DreamTaskID, first);
    EXPECT_EQ(folder.iniWrites.size(), 2u);

    launcher.CloseListedWindows();
    EXPECT_EQ(launcher.DecoderWindows, std::vector<qint64>{first});
    // DRM again at once, the decoder asked to close still ending: once it has ended, a new one.
    // This operator had a JACK_NO_START_SERVER of their own: the decoder gets theirs.
    setenv("JACK_NO_START_SERVER", "operator's", 1);
    recordOperatorEnvironment();
    setenv("JACK_NO_START_SERVER", "1", 1);
    launcher.RunDREAM();
    const qint64 second = launcher.DreamTaskID;
    EXPECT_NE(second, first);
    EXPECT_EQ(launcher.processStartTime(first), 0u);
    ASSERT_TRUE(waitFor([&] { return fileText(folder.dir.filePath("jack.txt")).count('\n') == 2; }));
    EXPECT_EQ(fileText(folder.dir.filePath("jack.txt")), "unset\noperator's\n");
    unsetenv("JACK_NO_START_SERVER");
    recordOperatorEnvironment();

    launcher.CloseListedWindows();
    EXPECT_EQ(launcher.DecoderWindows, std::vector<qint64>{second});
    ASSERT_TRUE(waitFor([&] { return launcher.processStartTime(second) == 0; }));
    launcher.CloseListedWindows(); // the decoder is gone: nothing is signalled
    EXPECT_TRUE(launcher.DecoderWindows.empty());
    EXPECT_TRUE(shown.shown().empty());
    setMessageService(nullptr);
}

TEST(DreamLauncher, AMissingProgramIsReported)
{
    RecordingMessageService shown;
    setMessageService(&shown);
    DecoderFolder folder;
    DreamLauncher launcher(folder.environment());
    launcher.options.RunDreamOnDRM = true;
    launcher.options.PathToDream = folder.dir.filePath("no-such-decoder");
    launcher.RunDREAM();
    EXPECT_EQ(launcher.DreamTaskID, 0);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].text, "DREAM program located at : " + launcher.options.PathToDream + "\n failed to execute");
    setMessageService(nullptr);
}
