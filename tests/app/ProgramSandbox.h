#pragma once

// The program binary run against a private sound server, in a folder of its own: its
// band plan and settings are written there, the IF played into "inject", its log kept.

#include "platform/sound/PortAudioSoundBackend.h"
#include "tests/support/PulseAudioServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <utility>

namespace orvik::soundtest {

// User and system CPU time of a process so far, in seconds.
inline double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // After the command name: utime and stime are the 12th and 13th fields.
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).trimmed().split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

// True while the process's main thread sleeps in its event loop's poll: every event
// that reached it is handled, and no handler is under way (a handler that lets events
// run does so without sleeping there).
inline bool sleepsInItsEventLoop(qint64 pid)
{
    QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
    if (!wchan.open(QIODevice::ReadOnly))
        return false;
    const QByteArray where = wchan.readAll();
    return where.startsWith("poll_schedule_timeout") || where.startsWith("do_sys_poll") || where.startsWith("do_poll");
}

class ProgramSandbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        home = dir.filePath("home");
        config = dir.filePath("config");
        for (const QString& d : {home, config + "/ORVIKSDR"})
            QDir().mkpath(d);
        const QString problem = server.start(dir.path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    // A fixture with processes of its own ends them first.
    void TearDown() override
    {
        for (QProcess* process : {&program, &player})
            endProcess(*process, 5000);
        server.stop();
    }

    // Device numbers of PortAudio's "pulse" device, as the program counts them.
    static std::pair<int, int> pulseDevices()
    {
        orvik::PortAudioSoundBackend backend;
        return {pulseDeviceNumber(backend.captureDeviceNames()), pulseDeviceNumber(backend.playbackDeviceNames())};
    }

    // The band plan "Test.bpl" in the program's home and its settings file.
    void writeBandPlanAndSettings(const QByteArray& bandPlan, const QString& settings)
    {
        QFile band(QDir(home).filePath("Test.bpl"));
        ASSERT_TRUE(band.open(QIODevice::WriteOnly));
        band.write(bandPlan);
        QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(settings.toUtf8());
    }

    // Plays raw 48 kHz stereo samples into "inject", ending what played before.
    void play(const QByteArray& raw, const QString& name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
        f.close();
        endProcess(player, 5000);
        ASSERT_TRUE(PulseAudioServer::startPlayer(player, "inject", f.fileName()));
    }

    // The program on that Qt platform with its home and settings here, its output to
    // "program.log"; `wrapper` (a command and its arguments) runs it when given.
    void startProgram(const QString& platform, const QStringList& arguments,
                      const QProcessEnvironment& extra = {}, const QStringList& wrapper = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("ORVIKSDR_HOME", home);
        env.insert("XDG_CONFIG_HOME", config);
        env.insert(extra);
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(dir.filePath("program.log"));
        program.setStandardErrorFile(dir.filePath("program.log"));
        if (wrapper.isEmpty())
            program.start(QStringLiteral(ORVIKSDR_PROGRAM), arguments);
        else
            program.start(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral(ORVIKSDR_PROGRAM)} + arguments);
        ASSERT_TRUE(program.waitForStarted(30000));
    }

    QByteArray fileContents(const QString& name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::string programLog() const { return fileContents("program.log").toStdString(); }

    QTemporaryDir dir;
    QString home, config;
    PulseAudioServer server;
    QProcess player, program;
};

} // namespace orvik::soundtest
