#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvik::soundtest {

// Runs the event loop until `done` or the time is up; true when done.
bool runUntil(const std::function<bool()>& done, int milliseconds);
// Runs a command line tool to its end (30 s at most); true when it exited with 0.
bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr);
// Terminates a child process, killing it when it does not end in time.
void endProcess(QProcess& process, int milliseconds);
// Every thread of a process into the round-robin class at a priority above the
// program's own, so that on a busy machine a starved sound server, player or
// recorder does not pass its own gaps off as the code's under test. False
// where real-time scheduling is not permitted.
bool raiseToRealTime(qint64 pid);
// Interleaved 48 kHz stereo IF of the given length: on the left a 12 kHz carrier of
// `carrier` counts, AM-modulated 50 % by 1 kHz (or silence when not modulated); the right
// silent.
QByteArray intermediateFrequency(double seconds, bool modulated, double carrier = 8000.0);
// 1-based position of PortAudio's "pulse" device in a device list, 0 if absent.
int32_t pulseDeviceNumber(const std::vector<std::string>& names);

// A private PulseAudio server with two null sinks: "inject" (48 kHz stereo),
// the monitor of which is this process's capture source, and "appout" (48 kHz
// mono), its playback sink. Nothing reads "appout.monitor" unless a test
// records it.
class PulseAudioServer {
public:
    ~PulseAudioServer() { stop(); }

    // Points this process's environment (and so its children's) at a server
    // kept in `folder`, which is also HOME, and starts it. Empty when the
    // server answers, else what went wrong.
    QString start(const QString& folder);
    void stop() { endProcess(server_, 3000); }
    qint64 processId() const { return server_.processId(); }

    // The server, recorder and player run in the real-time class where that is
    // permitted (see raiseToRealTime).
    // parec / pacat with raw 48 kHz 16-bit samples and 20 ms latency.
    static bool startRecorder(QProcess& recorder, const QString& source, int channels, const QString& file);
    static bool startPlayer(QProcess& player, const QString& sink, const QString& file);

private:
    QProcess server_;
};

} // namespace orvik::soundtest
