#include "tests/support/PulseAudioServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <cmath>
#include <numbers>

#include <sched.h>

namespace orvik::soundtest {

QByteArray intermediateFrequency(double seconds, bool modulated, double carrier)
{
    constexpr int rate = 48000;
    const int frames = static_cast<int>(seconds * rate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    for (int i = 0; i < frames && modulated; ++i) {
        const double t = double(i) / rate;
        const double envelope = carrier * (1.0 + 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * t));
        s[2 * i] = static_cast<int16_t>(std::lround(envelope * std::cos(2 * std::numbers::pi * 12000.0 * t)));
    }
    return raw;
}

bool runUntil(const std::function<bool()>& done, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool runTool(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(30000)) {
        tool.kill();
        tool.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

void endProcess(QProcess& process, int milliseconds)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool raiseToRealTime(qint64 pid)
{
    bool all = pid > 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        sched_param p{};
        p.sched_priority = 60;
        all = sched_setscheduler(task.toInt(), SCHED_RR, &p) == 0 && all;
    }
    return all;
}

int32_t pulseDeviceNumber(const std::vector<std::string>& names)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == "pulse")
            return static_cast<int32_t>(i) + 1;
    return 0;
}

QString PulseAudioServer::start(const QString& folder)
{
    for (const char* tool : {"pulseaudio", "pacat", "parec", "pactl"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return QStringLiteral("%1 is not installed").arg(tool);
    const QString runtime = folder + "/run";
    if (!QDir().mkpath(runtime))
        return "cannot create " + runtime;
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Everything the server and its clients look up stays in the folder.
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("HOME", folder.toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + runtime + "/pulse/native").toLocal8Bit());
    qputenv("PULSE_SOURCE", "inject.monitor");
    qputenv("PULSE_SINK", "appout");
    qputenv("JACK_NO_START_SERVER", "1");

    QFile script(folder + "/null.pa");
    if (!script.open(QIODevice::WriteOnly))
        return "cannot write " + script.fileName();
    script.write("load-module module-native-protocol-unix auth-anonymous=1\n"
                 "load-module module-null-sink sink_name=inject rate=48000 channels=2\n"
                 "load-module module-null-sink sink_name=appout rate=48000 channels=1\n");
    script.close();

    server_.setStandardOutputFile(folder + "/server.log");
    server_.setStandardErrorFile(folder + "/server.log");
    server_.start("pulseaudio", {"-n", "-F", script.fileName(), "--daemonize=no", "--exit-idle-time=-1",
                                 "--disallow-exit", "--use-pid-file=no"});
    if (!server_.waitForStarted(30000))
        return "pulseaudio did not start";
    if (!runUntil([] { return runTool("pactl", {"info"}); }, 15000))
        return "the sound server did not come up";
    raiseToRealTime(server_.processId());
    return {};
}

bool PulseAudioServer::startRecorder(QProcess& recorder, const QString& source, int channels, const QString& file)
{
    recorder.setStandardOutputFile(file);
    recorder.start("parec", {"--raw", "--format=s16le", "--rate=48000", QString("--channels=%1").arg(channels),
                             "-d", source, "--latency-msec=20"});
    if (!recorder.waitForStarted(30000))
        return false;
    // Its threads, made later, take the class of the main thread.
    raiseToRealTime(recorder.processId());
    return true;
}

bool PulseAudioServer::startPlayer(QProcess& player, const QString& sink, const QString& file)
{
    player.setStandardInputFile(file);
    // The IF comes in as from a sound card's driver, which buffers: fed 20 ms at a time, the
    // player's stream ran dry now and then beside busy loops, and its gaps were heard as the
    // program's (no test judges how soon the IF arrives).
    player.start("pacat", {"--playback", "--raw", "--format=s16le", "--rate=48000", "--channels=2", "-d", sink,
                           "--latency-msec=200"});
    if (!player.waitForStarted(30000))
        return false;
    raiseToRealTime(player.processId());
    return true;
}

} // namespace orvik::soundtest
