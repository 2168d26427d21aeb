// program_sound_bench: the release program as the operator meets it. Each run gets a
// private sound server (an IF played into "inject" with pacat, the program's output
// recorded from "appout.monitor" with parec), a virtual X display and a fresh settings
// store; the program is clicked with xdotool. bench/program-sound builds and runs it.
//
//   program_sound_bench latency [runs]  time from a click on On to the first sound, and
//                                       from a click on a mode button to the changed sound
//   program_sound_bench quiet [runs] [seconds]
//                                       CPU share of one core and wake-ups a second of the
//                                       receiving program, with the analyser on and off
//   program_sound_bench floor [runs] [seconds]
//                                       the same for the program's sound card alone (no window,
//                                       no timers, no signal processing): the sound path's share
//   program_sound_bench gaps [runs] [busy loops]
//                                       gaps in a steady tone: the first 10 s after a click on
//                                       On, the 30 s after them, and a file played from Off;
//                                       and the latency from IF to sound every 2 s meanwhile,
//                                       with that many busy loops running beside (default none)
//   program_sound_bench company [minutes] [copies]
//                                       gaps in a steady tone over that many minutes (10) of
//                                       reception beside that many (2) other copies of the
//                                       program receiving, each with its own sound server
//   program_sound_bench lead [runs]     the latency from IF to sound at each playback lead: a
//                                       stop of the program for 0.3 s makes a late block, which
//                                       raises the lead a block, twice
//   program_sound_bench modesteps [runs]
//                                       on an AM station, clicks through every ordered pair of
//                                       AM, USB, LSB, FM and BC: the largest sample step in the
//                                       second after each click against both modes' own steps
//   program_sound_bench switchsteps [runs]
//                                       on an AM station, switches the notch, the IF filter and
//                                       the noise blanker on, off and over, alone, 1 ms after a
//                                       mode click and 1 ms before one: the largest sample step
//                                       in the second after each against the steady step around
//                                       it, and the longest hole 20 dB down
//   program_sound_bench splice [runs]   a 1 kHz tone, a late block, and the minute until the
//                                       lead comes back down: the largest sample step then
//                                       against the tone's own
//   program_sound_bench stall [runs] [ms] [seconds]
//                                       a 1 kHz tone, the whole program stopped for that many
//                                       ms (300) and watched for that many seconds (6): the gaps
//                                       heard, the largest step after the first gap against the
//                                       tone's own, and whether the lead was raised (and came
//                                       back down, when watched for more than a minute);
//                                       ORVIKSDR_BENCH_KEEP names a folder for each run's trace
//                                       and recording
//   program_sound_bench first [runs] [busy loops]
//                                       time from the first click on On after a start to the
//                                       first sound, each run on a sound server started for it,
//                                       with that many busy loops running from before the server
//                                       starts; ORVIKSDR_BENCH_KEEP names a folder that gets each
//                                       run's trace and sound-server log
//
// Every program runs with `trace`; its own counts of late and given-up blocks are read from
// its log and printed beside the gaps heard. ORVIKSDR_BENCH_PRIORITY=normal runs the measured
// program without the right to real-time priority (the sound server, player and recorder
// keep theirs); running the whole bench under `setpriv --bounding-set -sys_nice --inh-caps
// -sys_nice --` takes it from all of them. With DBUS_SYSTEM_BUS_ADDRESS at a system bus where
// polkitd and rtkit-daemon grant (as tests/support/RealtimeKitDesk sets one up) the program
// and the sound servers then ask RealtimeKit, as on a desktop; `gaps` prints what the
// program's log says it was granted.
//
// A click's moment is taken just before xdotool starts; a sound's moment is its sample's
// position in the monitor's stream, which is tied to the clock by the earliest arrival of
// the recording seen before the click. The monitor renders in pieces of a few
// milliseconds, so figures are good to about 5 ms. Wake-ups are the voluntary and
// involuntary context switches of every thread of the program.
//
// pacat feeds the IF at its own default latency, as a program playing into a card would;
// ORVIKSDR_BENCH_FEED_MS asks for another (a short one makes the sound server hand the
// program its IF in many small pieces, each a wake-up). The recorder asks for 5 ms, so the
// output sink hands out sound in 5 ms pieces and the program's playback threads wake more
// often than behind a card's usual buffering; ORVIKSDR_BENCH_RECORD_MS asks for another
// (latency figures then lose precision). ORVIKSDR_PROGRAM names another
// binary to measure; ORVIKSDR_BENCH_SHOT saves a screenshot after the click on On.

#include "platform/sound/PortAudioSoundBackend.h"
#include "receiver/sound/ORVIKDX8.h"
#include "receiver/sound/frmDX8Events.h"
#include "tests/app/SoundCounts.h"
#include "tests/app/ThreadHold.h"
#include "tests/app/ToneGaps.h"
#include "tools/PcmWav.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <sched.h>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

using namespace orvik::soundtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 48000;
constexpr int kTwipsPerPixel = 15;

// USB on 7074 kHz with the AGC off: a 13 kHz tone at the 12 kHz IF comes out at
// 1 kHz, and LSB rejects it, so a mode change shows as the tone going or coming.
const char* const kBandPlan = "[MainBand]\r\nName=Test\r\nActiveSubBand=0\r\n"
                              "[SubBand.0]\r\nFreqMin=7000000\r\nFreqMax=7300000\r\nFreqCurrent=7074000\r\n"
                              "DemodMode=1\r\nLowSideLO=False\r\nFilterMode=0\r\nAGCOn=False\r\n";

QByteArray toneIF(double seconds, double hertz)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    for (int i = 0; i < frames; ++i)
        s[2 * i] = static_cast<int16_t>(std::lround(6000.0 * std::cos(2 * std::numbers::pi * hertz * i / kRate)));
    return raw;
}

double secondsSince(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void pause(int milliseconds)
{
    runUntil([] { return false; }, milliseconds);
}

int64_t fileBytes(const QString& path)
{
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_size : 0;
}

// Median and the range around it.
struct Spread {
    double median = 0, low = 0, high = 0;
};

Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void printSpread(const char* what, const char* unit, const std::vector<double>& values, int decimals = 0)
{
    const Spread s = spreadOf(values);
    std::printf("%-34s median %.*f %s, spread %.*f to %.*f (%zu values:", what, decimals, s.median, unit, decimals,
                s.low, decimals, s.high, values.size());
    for (double v : values)
        std::printf(" %.*f", decimals, v);
    std::printf(")\n");
}

// One program start with its own sound server and display.
class Session {
public:
    // start(), saying on standard error under `what` what went wrong; false then.
    bool startOrTell(const QString& settings, const QString& what)
    {
        const QString problem = start(settings);
        if (problem.isEmpty())
            return true;
        std::fprintf(stderr, "%s: %s\n%s", qPrintable(what), qPrintable(problem), qPrintable(log()));
        return false;
    }

    // Empty when everything is up, else what went wrong.
    QString start(const QString& settings)
    {
        if (!dir_.isValid())
            return QStringLiteral("no temporary folder");
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(tool);
        const QString home = dir_.filePath("home");
        const QString config = dir_.filePath("config");
        QDir().mkpath(home);
        QDir().mkpath(config + "/ORVIKSDR");
        int capture = 0, playback = 0;
        if (QString problem = startServer(capture, playback); !problem.isEmpty())
            return problem;
        if (QString problem = display_.start(); !problem.isEmpty())
            return problem;
        qputenv("DISPLAY", display_.name().toLocal8Bit());

        QFile band(QDir(home).filePath("Test.bpl"));
        QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
        if (!band.open(QIODevice::WriteOnly) || !ini.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write the settings");
        band.write(bandPlan_);
        ini.write(QStringLiteral("[frmMain]\nCurrentCaptureDevice=%1\nCurrentPlaybackDevice=%2\nVFO1.IFType=0\n%3")
                      .arg(capture)
                      .arg(playback)
                      .arg(settings)
                      .toUtf8());
        band.close();
        ini.close();
        if (QString problem = startSignal(); !problem.isEmpty())
            return problem;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("ORVIKSDR_HOME", home);
        env.insert("XDG_CONFIG_HOME", config);
        // No board: the synthesizer's writes go to a file, and no message box waits for a click.
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir_.filePath("synth.txt"));
        program_.setProcessEnvironment(env);
        program_.setStandardOutputFile(dir_.filePath("program.log"));
        program_.setStandardErrorFile(dir_.filePath("program.log"));
        if (qEnvironmentVariable("ORVIKSDR_BENCH_PRIORITY") == "normal")
            program_.start("setpriv", {"--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice", "--", programPath(),
                                       "trace"});
        else
            program_.start(programPath(), {"trace"});
        if (!program_.waitForStarted(10000))
            return QStringLiteral("the program did not start");
        window_ = findWindow("ORVIKSDR", 30000);
        if (window_.isEmpty())
            return QStringLiteral("the main window did not appear");
        // The trace's log window opens over the main window: out of the way of the clicks.
        const QString logWindow = findWindow("ORVIKSDR Log Display", 10000);
        if (!logWindow.isEmpty())
            runTool("xdotool", {"windowmove", "--sync", logWindow, "900", "600"});
        return {};
    }

    // What the program counted of its own late and given-up blocks so far.
    orvik::soundtest::SoundCounts counts() const
    {
        return orvik::soundtest::soundCountsInFile(QDir(dir_.filePath("home")).filePath("ORVIKSDR.log"));
    }

    // The sound server, the IF and the recorder as for the program, with this binary's
    // `sound-only` mode in the program's place.
    QString startSoundOnly(int seconds)
    {
        if (!dir_.isValid())
            return QStringLiteral("no temporary folder");
        int capture = 0, playback = 0;
        if (QString problem = startServer(capture, playback); !problem.isEmpty())
            return problem;
        if (QString problem = startSignal(); !problem.isEmpty())
            return problem;
        program_.setStandardOutputFile(dir_.filePath("program.log"));
        program_.setStandardErrorFile(dir_.filePath("program.log"));
        program_.start(QCoreApplication::applicationFilePath(),
                       {"sound-only", QString::number(capture), QString::number(playback), QString::number(seconds)});
        if (!program_.waitForStarted(10000))
            return QStringLiteral("the sound-only process did not start");
        return {};
    }

    ~Session()
    {
        for (QProcess* p : {&program_, &player_, &recorder_, &ifRecorder_})
            endProcess(*p, 5000);
        display_.stop();
        server_.stop();
    }

    static QString programPath()
    {
        const QString given = qEnvironmentVariable("ORVIKSDR_PROGRAM");
        return given.isEmpty() ? QStringLiteral(ORVIKSDR_PROGRAM) : given;
    }

    qint64 pid() const { return program_.processId(); }
    QString recording() const { return dir_.filePath("out.raw"); }
    int64_t recordedSamples() const { return fileBytes(recording()) / 2; }
    QString file(const QString& name) const { return dir_.filePath(name); }

    // The IF to play instead of the steady tone, and whether to record it from
    // "inject.monitor" (into "in.raw", stereo) beside the output.
    void setSignal(const QByteArray& signal, bool recordIt)
    {
        signal_ = signal;
        recordIf_ = recordIt;
    }
    void setBandPlan(const char* plan) { bandPlan_ = plan; }

    std::vector<int16_t> samples(const QString& name = QStringLiteral("out.raw")) const
    {
        QFile f(dir_.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray raw = f.readAll();
        std::vector<int16_t> s(static_cast<size_t>(raw.size() / 2));
        std::memcpy(s.data(), raw.constData(), s.size() * 2);
        return s;
    }

    // Moves the pointer onto a control of the main window given in twips.
    bool pointAt(int xTwips, int yTwips)
    {
        return runTool("xdotool", {"mousemove", "--window", window_, QString::number(xTwips / kTwipsPerPixel),
                                   QString::number(yTwips / kTwipsPerPixel)});
    }

    // Clicks where the pointer is; the position in the recording at that moment.
    std::optional<double> click()
    {
        const std::optional<double> at = positionNow();
        clickedAt_ = Clock::now();
        if (!runTool("xdotool", {"click", "1"}))
            return std::nullopt;
        return at;
    }
    // When the last click() was made, on the steady clock.
    Clock::time_point clickedAt() const { return clickedAt_; }

    // The same, with the position of the IF's recording at that moment too.
    std::optional<std::pair<double, double>> clickRecordingBoth()
    {
        const std::vector<double> at = positionsNow({recording(), dir_.filePath("in.raw")}, {1, 2});
        if (at.size() != 2 || !runTool("xdotool", {"click", "1"}))
            return std::nullopt;
        return std::pair{at[0], at[1]};
    }

    // One xdotool invocation on the main window ("%W" in args stands for it), so that its
    // clicks fall a millisecond or so apart; the position in the recording at its start.
    std::optional<double> act(QStringList args)
    {
        args.replaceInStrings(QStringLiteral("%W"), window_);
        const std::optional<double> at = positionNow();
        if (!runTool("xdotool", args))
            return std::nullopt;
        return at;
    }

    // Recorder button `index`, at the centre of its design rectangle (full display).
    bool clickRecorderButton(int index)
    {
        return pointAt(2580 + 60 + index * 375 + 180, 2820 + 45 + 165) && runTool("xdotool", {"click", "1"});
    }

    // Presses Load until its dialog opens and answers it with `path`.
    bool load(const QString& path)
    {
        QString dialog;
        for (int tries = 0; tries < 10 && dialog.isEmpty(); ++tries) {
            clickRecorderButton(7);
            dialog = findWindow("Select Filename", 3000);
        }
        if (dialog.isEmpty())
            return false;
        runTool("xdotool", {"windowfocus", "--sync", dialog});
        runTool("xdotool", {"key", "ctrl+a"});
        runTool("xdotool", {"type", "--delay", "20", path});
        runTool("xdotool", {"key", "Return"});
        return runUntil([&] { return findWindow("Select Filename", 0).isEmpty(); }, 30000);
    }

    QString findWindow(const QString& title, int milliseconds)
    {
        QString id;
        runUntil(
            [&] {
                runTool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, &id);
                id = id.section('\n', 0, 0).trimmed();
                return !id.isEmpty();
            },
            milliseconds);
        return id;
    }

    bool running() const { return program_.state() == QProcess::Running; }
    // What the program's log says of its priority: the lines of RealtimeKit's grant or of a
    // refusal; none where the program raised itself.
    QString priority() const
    {
        QFile f(QDir(dir_.filePath("home")).filePath("ORVIKSDR.log"));
        QStringList lines;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (line.startsWith("Priority raised through RealtimeKit") || line.startsWith("Real-time priority "))
                    lines << QString::fromUtf8(line).trimmed();
        return lines.isEmpty() ? QStringLiteral("raised directly or not asked") : lines.join(QStringLiteral("\n    "));
    }

    QString log() const
    {
        QFile f(dir_.filePath("program.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

    void signalServer(int signal)
    {
        if (const qint64 server = server_.processId(); server > 0)
            ::kill(static_cast<pid_t>(server), signal);
    }

    // The sound server killed and a new one started on the same socket, with the IF and the
    // recorder again (the recording starts afresh); empty when all is up again.
    QString restartServer()
    {
        signalServer(SIGKILL);
        server_.stop();
        for (QProcess* p : {&player_, &recorder_, &ifRecorder_})
            endProcess(*p, 5000);
        if (QString problem = server_.start(dir_.path()); !problem.isEmpty())
            return problem;
        if (QString problem = startSignal(); !problem.isEmpty())
            return problem;
        if (!runUntil([&] { return fileBytes(recording()) > 0; }, 10000))
            return QStringLiteral("nothing was recorded from the new server");
        return {};
    }

private:
    QString startServer(int& capture, int& playback)
    {
        if (QString problem = server_.start(dir_.path()); !problem.isEmpty())
            return problem;
        orvik::PortAudioSoundBackend backend;
        capture = pulseDeviceNumber(backend.captureDeviceNames());
        playback = pulseDeviceNumber(backend.playbackDeviceNames());
        if (capture == 0 || playback == 0)
            return QStringLiteral("PortAudio shows no \"pulse\" device");
        return {};
    }

    QString startSignal()
    {
        QFile signal(dir_.filePath("if.raw"));
        if (!signal.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write the IF");
        signal.write(signal_.isEmpty() ? toneIF(200, 13000) : signal_);
        signal.close();
        if (!startRecorder(recorder_, "appout.monitor", 1, recording()) ||
            (recordIf_ && !startRecorder(ifRecorder_, "inject.monitor", 2, dir_.filePath("in.raw"))) ||
            !startPlayer(signal.fileName()))
            return QStringLiteral("pacat or parec did not start");
        return {};
    }

    static bool startRecorder(QProcess& recorder, const QString& source, int channels, const QString& file)
    {
        // A short latency so that the recording's length follows the monitor closely.
        recorder.setStandardOutputFile(file);
        const QString ms = qEnvironmentVariable("ORVIKSDR_BENCH_RECORD_MS", QStringLiteral("5"));
        recorder.start("parec", {"--raw", "--format=s16le", "--rate=48000", QStringLiteral("--channels=%1").arg(channels),
                                 "-d", source, "--latency-msec=" + ms});
        if (!recorder.waitForStarted(5000))
            return false;
        raiseToRealTime(recorder.processId());
        return true;
    }

    // pacat as PulseAudioServer starts it, but with the latency ORVIKSDR_BENCH_FEED_MS asks
    // for (none: pacat's own default).
    bool startPlayer(const QString& file)
    {
        player_.setStandardInputFile(file);
        QStringList args{"--playback", "--raw", "--format=s16le", "--rate=48000", "--channels=2", "-d", "inject"};
        if (const QString ms = qEnvironmentVariable("ORVIKSDR_BENCH_FEED_MS"); !ms.isEmpty())
            args << "--latency-msec=" + ms;
        player_.start("pacat", args);
        if (!player_.waitForStarted(5000))
            return false;
        raiseToRealTime(player_.processId());
        return true;
    }

    // The monitor's sample position now: the recording's length less the least lag
    // seen over 300 ms of watching it grow.
    std::optional<double> positionNow()
    {
        const std::vector<double> at = positionsNow({recording()}, {1});
        return at.empty() ? std::nullopt : std::optional<double>(at[0]);
    }

    // The same for several recordings at one moment, in frames; empty when one has not started.
    static std::vector<double> positionsNow(const std::vector<QString>& files, const std::vector<int>& channels)
    {
        const Clock::time_point start = Clock::now();
        std::vector<double> best(files.size(), -1e18);
        while (secondsSince(start) < 0.3) {
            for (size_t i = 0; i < files.size(); ++i) {
                const double t = secondsSince(start);
                best[i] = std::max(best[i], static_cast<double>(fileBytes(files[i]) / 2 / channels[i]) - t * kRate);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double elapsed = secondsSince(start) * kRate;
        for (double& b : best) {
            if (b < 0)
                return {};
            b += elapsed;
        }
        return best;
    }

    QTemporaryDir dir_;
    PulseAudioServer server_;
    VirtualDisplay display_;
    QProcess program_, player_, recorder_, ifRecorder_;
    QString window_;
    Clock::time_point clickedAt_;
    QByteArray signal_;
    bool recordIf_ = false;
    const char* bandPlan_ = kBandPlan;
};

// Root-mean-square of each 5 ms window from `from` on.
constexpr int kWindow = kRate / 200;
double windowRms(const std::vector<int16_t>& s, size_t from)
{
    double power = 0;
    for (size_t i = from; i < from + kWindow && i < s.size(); ++i)
        power += double(s[i]) * s[i];
    return std::sqrt(power / kWindow);
}

// Seconds from `at` to the first 5 ms window after it whose loudness crossed `level`
// (from below when rising), or nothing when none did within `within` seconds.
std::optional<double> firstCrossing(const std::vector<int16_t>& s, double at, double level, bool rising,
                                    double within)
{
    const auto from = static_cast<size_t>(std::max(at, 0.0));
    const size_t to = std::min(s.size(), from + static_cast<size_t>(within * kRate));
    for (size_t i = from; i + kWindow <= to; i += kWindow / 5) {
        const double rms = windowRms(s, i);
        if (rising ? rms > level : rms < level)
            return (static_cast<double>(i) - at) / kRate;
    }
    return std::nullopt;
}

// The first non-zero sample after `at`, in seconds from it.
std::optional<double> firstSound(const std::vector<int16_t>& s, double at, double within)
{
    const auto from = static_cast<size_t>(std::max(at, 0.0));
    const size_t to = std::min(s.size(), from + static_cast<size_t>(within * kRate));
    for (size_t i = from; i < to; ++i)
        if (s[i] != 0)
            return (static_cast<double>(i) - at) / kRate;
    return std::nullopt;
}

// Centres of the design rectangles: "On" in frPower, "USB" and "LSB" in frDemod.
constexpr int kOnX = 60 + 90 + 405, kOnY = 240 + 127;
constexpr int kUsbX = 60 + 90 + 1170 + 555, kUsbY = 1260 + 210 + 120;
constexpr int kLsbX = 60 + 90 + 555, kLsbY = 1260 + 210 + 255 + 120;

int latency(int runs)
{
    std::vector<double> firstAudio, modeChange;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        if (!session.startOrTell("AutoStartSDR=False\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        pause(2000); // start-up's own work is over
        session.pointAt(kOnX, kOnY);
        const std::optional<double> on = session.click();
        pause(5000);
        if (const QString shot = qEnvironmentVariable("ORVIKSDR_BENCH_SHOT"); !shot.isEmpty())
            runTool("import", {"-window", "root", shot});
        std::vector<int16_t> s = session.samples();
        const std::optional<double> heard = on ? firstSound(s, *on, 4.5) : std::nullopt;
        if (!heard) {
            std::fprintf(stderr, "run %d: no sound within 4.5 s of On\n%s", run, qPrintable(session.log()));
            return 1;
        }
        firstAudio.push_back(*heard * 1000);
        std::printf("run %d: first sound %.0f ms after On;", run, *heard * 1000);

        // LSB takes the tone away, USB brings it back; half the steady level marks the change.
        const double steady = windowRms(s, s.size() - kWindow * 10);
        for (int change = 0; change < 6; ++change) {
            const bool toLsb = change % 2 == 0;
            session.pointAt(toLsb ? kLsbX : kUsbX, toLsb ? kLsbY : kUsbY);
            pause(400 + 37 * change); // clicks fall at different points of a block
            const std::optional<double> at = session.click();
            pause(1200);
            s = session.samples();
            const std::optional<double> changed =
                at ? firstCrossing(s, *at, steady / 2, !toLsb, 1.0) : std::nullopt;
            if (!changed) {
                std::fprintf(stderr, "\nrun %d: the change to %s was not heard within 1 s\n", run,
                             toLsb ? "LSB" : "USB");
                return 1;
            }
            modeChange.push_back(*changed * 1000);
            std::printf(" %s %.0f ms", toLsb ? "LSB" : "USB", *changed * 1000);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    printSpread("first sound after On:", "ms", firstAudio);
    printSpread("mode change heard after the click:", "ms", modeChange);
    return 0;
}

// Voluntary and involuntary context switches of each thread of a process so far, by thread id.
struct ThreadSwitches {
    QString name;
    uint64_t switches = 0;
};
std::map<QString, ThreadSwitches> contextSwitches(qint64 pid)
{
    std::map<QString, ThreadSwitches> threads;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task) + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        ThreadSwitches& thread = threads[task];
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Name:"))
                thread.name = QString::fromLocal8Bit(line.mid(5).trimmed());
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                thread.switches += line.split(':').value(1).trimmed().toULongLong();
        }
    }
    return threads;
}

// Wake-ups a second between two looks, in total and by thread name; a thread that
// ended meanwhile is not counted.
double wakeupsBetween(const std::map<QString, ThreadSwitches>& before, const std::map<QString, ThreadSwitches>& after,
                      double seconds, QString& byName)
{
    std::map<QString, double> perName;
    double total = 0;
    for (const auto& [tid, thread] : after) {
        const auto earlier = before.find(tid);
        const double count = double(thread.switches - (earlier != before.end() ? earlier->second.switches : 0));
        perName[thread.name + "/" + tid] += count / seconds;
        total += count / seconds;
    }
    byName.clear();
    for (const auto& [name, rate] : perName)
        byName += QStringLiteral(" %1 %2,").arg(name).arg(rate, 0, 'f', 1);
    byName.chop(1);
    return total;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).trimmed().split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

// CPU share and wake-ups of a running process over `seconds`, after three to settle;
// nothing (with the reason printed) when it ended meanwhile.
struct Quiet {
    double cpu = 0, wakeups = 0;
    QString byThread;
};
std::optional<Quiet> measure(Session& session, int seconds, int run)
{
    pause(3000);
    const double cpu0 = cpuSeconds(session.pid());
    const auto switches0 = contextSwitches(session.pid());
    const Clock::time_point t0 = Clock::now();
    pause(seconds * 1000);
    const double elapsed = secondsSince(t0);
    Quiet q;
    q.cpu = (cpuSeconds(session.pid()) - cpu0) / elapsed * 100;
    q.wakeups = wakeupsBetween(switches0, contextSwitches(session.pid()), elapsed, q.byThread);
    if (!session.running()) {
        std::fprintf(stderr, "run %d: the measured process ended\n%s", run, qPrintable(session.log()));
        return std::nullopt;
    }
    return q;
}

bool soundCameOut(Session& session, int run)
{
    if (runUntil([&] { return session.recordedSamples() > 0 && session.samples().back() != 0; }, 30000))
        return true;
    std::fprintf(stderr, "run %d: no sound came out\n%s", run, qPrintable(session.log()));
    return false;
}

// A session just started (problem says why it did not), measured once its sound comes out.
std::optional<Quiet> measureStarted(Session& session, const QString& problem, int seconds, int run)
{
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "run %d: %s\n%s", run, qPrintable(problem), qPrintable(session.log()));
        return std::nullopt;
    }
    if (!soundCameOut(session, run))
        return std::nullopt;
    return measure(session, seconds, run);
}

int quiet(int runs, int seconds)
{
    std::vector<double> cpuOn, cpuOff, wakeOn, wakeOff;
    for (int run = 1; run <= runs; ++run) {
        for (bool analyser : {true, false}) {
            Session session;
            const QString settings =
                QStringLiteral("AutoStartSDR=True\nExtendedDisplay=TRUE\nSpectrumAnalyserOn=%1\n"
                               "[SpectrumAnalyser]\nActive=%2\n")
                    .arg(analyser ? 1 : 0)
                    .arg(analyser ? "True" : "False");
            const std::optional<Quiet> q = measureStarted(session, session.start(settings), seconds, run);
            if (!q)
                return 1;
            (analyser ? cpuOn : cpuOff).push_back(q->cpu);
            (analyser ? wakeOn : wakeOff).push_back(q->wakeups);
            std::printf("run %d, analyser %s: %.2f %% of a core, %.0f wake-ups a second (by thread:%s)\n", run,
                        analyser ? "on " : "off", q->cpu, q->wakeups, qPrintable(q->byThread));
            std::fflush(stdout);
        }
    }
    printSpread("CPU, analyser on:", "% of a core", cpuOn, 2);
    printSpread("CPU, analyser off:", "% of a core", cpuOff, 2);
    printSpread("wake-ups, analyser on:", "a second", wakeOn);
    printSpread("wake-ups, analyser off:", "a second", wakeOff);
    return 0;
}

// The program's sound card alone, set up as the program sets it up, passing each captured
// block's left channel back out, with nothing else running: what the sound path costs
// below everything the program adds.
int soundOnly(int capture, int playback, int seconds)
{
    // As the program after power On, where permitted.
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_RR);
    sched_setscheduler(0, SCHED_RR, &priority);

    orvik::PortAudioSoundBackend backend;
    orvik::ORVIKDX8 card(backend);
    orvik::SetReceiverGeometry(card);
    card.setCurrentCaptureDevice(capture);
    card.setCurrentPlaybackDevice(playback);
    orvik::frmDX8Events events(card);
    card.DataReady = [&card](orvik::SampleBlock& left, orvik::SampleBlock&, int32_t samples) {
        card.Output(left.data(), nullptr, samples);
    };
    if (!card.PrepareDevicesAhead() || !card.StartSound()) {
        std::fprintf(stderr, "sound did not start (error %d)\n", card.LastErr());
        return 1;
    }
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    std::printf("blocks dropped %llu, xruns %llu\n", static_cast<unsigned long long>(card.DroppedCaptureBlocks()),
                static_cast<unsigned long long>(backend.xruns()));
    return 0;
}

int soundFloor(int runs, int seconds)
{
    std::vector<double> cpu, wakeups;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        const std::optional<Quiet> q = measureStarted(session, session.startSoundOnly(seconds + 40), seconds, run);
        if (!q)
            return 1;
        cpu.push_back(q->cpu);
        wakeups.push_back(q->wakeups);
        std::printf("run %d, sound card alone: %.2f %% of a core, %.0f wake-ups a second (by thread:%s)\n", run,
                    q->cpu, q->wakeups, qPrintable(q->byThread));
        std::fflush(stdout);
    }
    printSpread("CPU, sound card alone:", "% of a core", cpu, 2);
    printSpread("wake-ups, sound card alone:", "a second", wakeups);
    return 0;
}


// The steady tone of toneIF with a marker every 2 s from 1 s on: 100 ms at 13.5 kHz, heard
// as 1.5 kHz. The 13 kHz tone's phase runs on under the marker, so the phase of the sound
// after it carries on from before it.
QByteArray markedToneIF(double seconds)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const bool marker = t >= 1.0 && std::fmod(t - 1.0, 2.0) < 0.1;
        const double hertz = marker ? 13500 : 13000;
        s[2 * i] = static_cast<int16_t>(std::lround(6000.0 * std::cos(2 * std::numbers::pi * hertz * t)));
    }
    return raw;
}

// Frames where the tone at markHz starts to stand out over the one at toneHz, in the first
// channel of `channels`-channel samples; 5 ms windows a millisecond apart.
std::vector<double> markerOnsets(const std::vector<int16_t>& s, int channels, double markHz, double toneHz)
{
    const size_t frames = s.size() / static_cast<size_t>(channels);
    const auto levelAt = [&](size_t from, double hertz) {
        double re = 0, im = 0;
        for (int i = 0; i < kWindow; ++i) {
            const double x = s[(from + static_cast<size_t>(i)) * static_cast<size_t>(channels)];
            re += x * std::cos(2 * std::numbers::pi * hertz * i / kRate);
            im += x * std::sin(2 * std::numbers::pi * hertz * i / kRate);
        }
        return re * re + im * im;
    };
    std::vector<double> onsets;
    int quietWindows = 0;
    for (size_t at = 0; at + kWindow <= frames; at += kRate / 1000) {
        const double mark = levelAt(at, markHz);
        if (mark > levelAt(at, toneHz) && mark > 1000.0 * 1000.0 * kWindow * kWindow / 4) {
            if (quietWindows > 500)
                onsets.push_back(static_cast<double>(at) + kWindow / 2.0);
            quietWindows = 0;
        } else {
            ++quietWindows;
        }
    }
    return onsets;
}

// The latency at each marker heard: its onset in the output less its onset in the IF, both
// counted from the click (`on`: the click's frame in each recording). Seconds after the
// click, and milliseconds.
std::vector<std::pair<double, double>> markerLatencies(const std::vector<int16_t>& out,
                                                       const std::vector<int16_t>& in,
                                                       const std::pair<double, double>& on)
{
    const std::vector<double> inMarks = markerOnsets(in, 2, 13500, 13000);
    std::vector<std::pair<double, double>> latencies;
    for (double o : markerOnsets(out, 1, 1500, 1000)) {
        const double tOut = (o - on.first) / kRate;
        double best = -1;
        for (double i : inMarks) {
            const double tIn = (i - on.second) / kRate;
            if (tIn < tOut && tOut - tIn < 1.5)
                best = tOut - tIn;
        }
        if (tOut > 0 && best >= 0)
            latencies.emplace_back(tOut, best * 1000);
    }
    return latencies;
}

// Gaps in output frames [from, to): runs of digital zero, phase steps, and other stretches
// where the tone is not clean that no marker (output frames in `markers`) explains.
struct StretchGaps {
    int zeros = 0, jumps = 0, others = 0;
    std::vector<double> at; // seconds from `from` of each zero run and jump
};

StretchGaps gapsIn(const std::vector<int16_t>& s, size_t from, size_t to, const std::vector<double>& markers)
{
    StretchGaps g;
    to = std::min(to, s.size());
    if (from >= to)
        return g;
    const int16_t* p = s.data() + from;
    const int count = static_cast<int>(to - from);
    for (int at : zeroRuns(p, count, 32)) {
        ++g.zeros;
        g.at.push_back(double(at) / kRate);
    }
    const PhaseJumps phase = countPhaseJumps(p, count);
    g.jumps = static_cast<int>(phase.jumps.size());
    for (int at : phase.jumpAt)
        g.at.push_back(double(at) / kRate);
    for (int at : phase.disturbedAt) {
        const double frame = double(from) + at;
        const bool marked = std::any_of(markers.begin(), markers.end(),
                                        [&](double m) { return frame > m - 0.03 * kRate && frame < m + 0.15 * kRate; });
        if (!marked && at > 0)
            ++g.others;
    }
    std::sort(g.at.begin(), g.at.end());
    return g;
}

void printGaps(const char* what, const StretchGaps& g)
{
    std::printf("  %-26s %d zero runs, %d phase jumps, %d other disturbances", what, g.zeros, g.jumps, g.others);
    if (!g.at.empty()) {
        std::printf(" (at");
        for (double t : g.at)
            std::printf(" %.2f", t);
        std::printf(" s)");
    }
    std::printf("\n");
}

std::vector<std::unique_ptr<QProcess>> busyLoops(int count)
{
    std::vector<std::unique_ptr<QProcess>> loops;
    for (int i = 0; i < count; ++i) {
        loops.push_back(std::make_unique<QProcess>());
        loops.back()->start("sh", {"-c", "while :; do :; done"});
    }
    return loops;
}

constexpr int kOffX = kOnX, kOffY = 540 + 127;

// The first On of a program started on a sound server started just before, as an operator
// meets it after logging in; the rare slow one is what this is for, so every run is printed
// with what the program's trace says of its start.
int firstStarts(int runs, int loops)
{
    std::vector<double> firstAudio, afterHandled;
    int slow = 0;
    const QString keep = qEnvironmentVariable("ORVIKSDR_BENCH_KEEP");
    if (!keep.isEmpty())
        QDir().mkpath(keep);
    for (int run = 1; run <= runs; ++run) {
        auto busy = busyLoops(loops);
        Session session;
        if (!session.startOrTell("AutoStartSDR=False\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        pause(2000);
        session.pointAt(kOnX, kOnY);
        const std::optional<double> on = session.click();
        // When the program's trace shows the click handled: on a starved machine the click
        // itself can take long to reach the program, which is no fault of its sound.
        double handled = -1; // seconds; -1 until seen
        const QString tracePath = session.file("home/ORVIKSDR.log");
        runUntil(
            [&] {
                QFile f(tracePath);
                if (f.open(QIODevice::ReadOnly) && f.readAll().contains("optPwr_click : Start Arg=0"))
                    handled = secondsSince(session.clickedAt());
                return handled >= 0;
            },
            5000);
        pause(static_cast<int>(5000 - secondsSince(session.clickedAt()) * 1000));
        const std::vector<int16_t> s = session.samples();
        const double heard = on ? firstSound(s, *on, 4.5).value_or(-1) : -1; // seconds; -1: none
        QFile trace(tracePath);
        QStringList startLines;
        if (trace.open(QIODevice::ReadOnly))
            for (const QByteArray& line : trace.readAll().split('\n'))
                if (line.contains("held from before the start") || line.contains("capture started in") ||
                    line.contains("first captured block taken"))
                    startLines << QString::fromUtf8(line).trimmed();
        if (heard >= 0) {
            const double ms = heard * 1000;
            firstAudio.push_back(ms);
            slow += ms > 400 ? 1 : 0;
            std::printf("run %d: first sound %.0f ms after On", run, ms);
        } else {
            ++slow;
            std::printf("run %d: no sound within 4.5 s of On", run);
        }
        if (handled >= 0)
            std::printf(" (the click handled after %.0f ms)", handled * 1000);
        if (handled >= 0 && heard >= 0)
            afterHandled.push_back((heard - handled) * 1000);
        for (const QString& line : startLines)
            std::printf("\n  %s", qPrintable(line));
        std::printf("\n");
        std::fflush(stdout);
        if (!keep.isEmpty()) {
            const QString prefix = QDir(keep).filePath(QStringLiteral("run%1-").arg(run, 3, 10, QLatin1Char('0')));
            QFile::copy(session.file("home/ORVIKSDR.log"), prefix + "trace.log");
            QFile::copy(session.file("server.log"), prefix + "server.log");
            QFile::copy(session.file("program.log"), prefix + "program.log");
        }
        for (auto& b : busy)
            endProcess(*b, 1000);
    }
    std::printf("%d of %d runs slower than 400 ms or silent\n", slow, runs);
    printSpread("first sound after On:", "ms", firstAudio);
    printSpread("first sound after On was handled:", "ms", afterHandled);
    return 0;
}

int gaps(int runs, int loops)
{
    // A steady 1 kHz tone to play from a file.
    std::vector<int16_t> tone(10 * kRate);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(8000 * std::sin(2 * std::numbers::pi * 1000.0 * double(i) / kRate)));
    int totalFirst = 0, totalSteady = 0, totalFile = 0;
    long long ownFaults = 0;
    std::vector<double> normalLatency, worstLatency;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setSignal(markedToneIF(200), true);
        if (!session.startOrTell("AutoStartSDR=False\nFullDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        std::string error;
        if (!orvik::WritePcmWav(session.file("tone.wav").toStdString(), {kRate, 1, tone}, error)) {
            std::fprintf(stderr, "run %d: %s\n", run, error.c_str());
            return 1;
        }
        pause(2000);
        auto busy = busyLoops(loops);
        session.pointAt(kOnX, kOnY);
        const auto on = session.clickRecordingBoth();
        pause(42000);
        const std::vector<int16_t> out = session.samples();
        const std::vector<int16_t> in = session.samples("in.raw");
        const std::optional<double> heard = on ? firstSound(out, on->first, 4.5) : std::nullopt;
        if (!heard) {
            std::fprintf(stderr, "run %d: no sound within 4.5 s of On\n%s", run, qPrintable(session.log()));
            return 1;
        }
        const std::vector<double> outMarks = markerOnsets(out, 1, 1500, 1000);
        const std::vector<std::pair<double, double>> latencies = markerLatencies(out, in, *on);
        const auto first = static_cast<size_t>(on->first + *heard * kRate);
        const StretchGaps startGaps = gapsIn(out, first, first + 10 * kRate, outMarks);
        const StretchGaps steadyGaps = gapsIn(out, first + 10 * kRate, first + 40 * kRate, outMarks);
        std::printf("run %d: first sound %.0f ms after On, %d busy loops\n", run, *heard * 1000, loops);
        printGaps("first 10 s:", startGaps);
        printGaps("next 30 s:", steadyGaps);
        std::printf("  latency at each marker (s after On: ms):");
        std::vector<double> values;
        for (const auto& [t, ms] : latencies) {
            std::printf(" %.0f:%.0f", t, ms);
            values.push_back(ms);
        }
        std::printf("\n");
        if (!values.empty()) {
            normalLatency.push_back(spreadOf(values).median);
            worstLatency.push_back(spreadOf(values).high);
        }

        // Off, then the file played from Off.
        session.pointAt(kOffX, kOffY);
        session.click();
        pause(1500);
        const orvik::soundtest::SoundCounts received = session.counts();
        std::printf("  the program's own count, receiving: %s\n", qPrintable(describe(received)));
        std::printf("  priority: %s\n", qPrintable(session.priority()));
        if (!session.load(session.file("tone.wav"))) {
            std::fprintf(stderr, "run %d: the file could not be loaded\n%s", run, qPrintable(session.log()));
            return 1;
        }
        pause(500);
        const size_t beforePlay = session.samples().size();
        session.clickRecorderButton(1);
        runUntil(
            [&] {
                const std::vector<int16_t> s = session.samples();
                return s.size() > beforePlay + 12 * kRate &&
                       std::all_of(s.end() - kRate, s.end(), [](int16_t v) { return v == 0; });
            },
            30000);
        const std::vector<int16_t> played = session.samples();
        size_t from = beforePlay, to = played.size();
        while (from < to && played[from] == 0)
            ++from;
        while (to > from && played[to - 1] == 0)
            --to;
        // The filter's rise and fall at either end are not gaps.
        const StretchGaps fileGaps = gapsIn(played, from + kRate / 20, to > kRate / 20 ? to - kRate / 20 : to, {});
        std::printf("  file from Off, %.1f s heard:", double(to - from) / kRate);
        printGaps("", fileGaps);
        runUntil([&] { return session.counts().stops > received.stops; }, 10000);
        orvik::soundtest::SoundCounts inFile = session.counts();
        inFile.late -= received.late;
        inFile.givenUpForDelay -= received.givenUpForDelay;
        inFile.capturedGivenUp -= received.capturedGivenUp;
        inFile.stretches -= received.stretches;
        inFile.leadRaised -= received.leadRaised;
        inFile.leadLowered -= received.leadLowered;
        std::printf("  the program's own count, playing the file: %s\n", qPrintable(describe(inFile)));
        ownFaults += received.faults() + inFile.faults();
        std::fflush(stdout);
        for (auto& b : busy)
            endProcess(*b, 2000);
        totalFirst += startGaps.zeros + startGaps.jumps;
        totalSteady += steadyGaps.zeros + steadyGaps.jumps;
        totalFile += fileGaps.zeros + fileGaps.jumps;
    }
    std::printf("zero runs and phase jumps in all runs: first 10 s %d, next 30 s %d, file %d; the program's own "
                "count of late and given-up blocks %lld\n",
                totalFirst, totalSteady, totalFile, ownFaults);
    printSpread("median latency of a run:", "ms", normalLatency);
    printSpread("longest latency of a run:", "ms", worstLatency);
    return 0;
}

// Steady reception beside `copies` other copies of the program receiving, each with its own
// sound server and display: gaps in the measured program's tone over `minutes`.
int company(int minutes, int copies)
{
    std::vector<std::unique_ptr<Session>> others;
    for (int i = 0; i < copies; ++i) {
        others.push_back(std::make_unique<Session>());
        others.back()->setSignal(toneIF(minutes * 60 + 60, 13000), false);
        if (QString problem = others.back()->start("AutoStartSDR=True\nFullDisplay=TRUE\n"); !problem.isEmpty()) {
            std::fprintf(stderr, "copy %d: %s\n", i + 1, qPrintable(problem));
            return 1;
        }
    }
    Session session;
    session.setSignal(toneIF(minutes * 60 + 60, 13000), false);
    if (!session.startOrTell("AutoStartSDR=True\nFullDisplay=TRUE\n", QStringLiteral("company")))
        return 1;
    if (!soundCameOut(session, 1))
        return 1;
    for (auto& other : others)
        if (!soundCameOut(*other, 1))
            return 1;
    // The filters and the AGC settle first.
    pause(5000);
    const size_t from = session.samples().size();
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < minutes * 60.0) {
        pause(10000);
        if (!session.running()) {
            std::fprintf(stderr, "the measured program ended\n%s", qPrintable(session.log()));
            return 1;
        }
    }
    const std::vector<int16_t> out = session.samples();
    // The recorder's last half second may not have arrived.
    const size_t to = std::min(out.size(), from + static_cast<size_t>(minutes) * 60 * kRate);
    const StretchGaps g = gapsIn(out, from, to, {});
    ::kill(static_cast<pid_t>(session.pid()), SIGTERM);
    runUntil([&] { return !session.running(); }, 10000);
    std::printf("%d minutes beside %d other copies receiving, %.0f s of sound:\n", minutes, copies,
                double(to - from) / kRate);
    printGaps("steady reception:", g);
    std::printf("  the program's own count: %s\n", qPrintable(describe(session.counts())));
    return 0;
}

// The latency from IF to sound at each playback lead. Each stall of the program's window
// thread for 0.3 s makes the blocks after it late, which raises the lead a block.
int leadSteps(int runs)
{
    std::vector<std::vector<double>> perLead(3);
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setSignal(markedToneIF(200), true);
        if (!session.startOrTell("AutoStartSDR=False\nFullDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        pause(2000);
        session.pointAt(kOnX, kOnY);
        const auto on = session.clickRecordingBoth();
        if (!on) {
            std::fprintf(stderr, "run %d: no recording\n", run);
            return 1;
        }
        // Seconds after On at which each lead starts.
        std::vector<double> changes{0};
        pause(12000);
        for (int step = 0; step < 2; ++step) {
            const int raisedBefore = session.counts().leadRaised;
            // The stop's own disturbance has passed two seconds later.
            changes.push_back((static_cast<double>(session.recordedSamples()) - on->first) / kRate + 2.0);
            if (!holdThread(static_cast<pid_t>(session.pid()), std::chrono::milliseconds(300)))
                std::printf("run %d: the window thread could not be held: %s\n", run, std::strerror(errno));
            pause(12000);
            // Each step has to be the lead's: the trace says so, or it is not measured.
            if (session.counts().leadRaised <= raisedBefore)
                std::printf("run %d: the stop did not raise the lead\n", run);
        }
        const std::vector<int16_t> out = session.samples();
        const std::vector<int16_t> in = session.samples("in.raw");
        std::printf("run %d: latency at each marker (s after On: ms):", run);
        for (const auto& [tOut, ms] : markerLatencies(out, in, *on)) {
            if (tOut <= 1)
                continue;
            std::printf(" %.0f:%.0f", tOut, ms);
            size_t lead = 0;
            while (lead + 1 < changes.size() && tOut > changes[lead + 1])
                ++lead;
            // Only markers well inside a lead's stretch.
            if (lead + 1 < changes.size() && tOut > changes[lead + 1] - 2.5)
                continue;
            perLead[lead].push_back(ms);
        }
        // The stop of the sound writes the counts.
        ::kill(static_cast<pid_t>(session.pid()), SIGTERM);
        runUntil([&] { return !session.running(); }, 10000);
        std::printf("\n  the program's own count: %s\n", qPrintable(describe(session.counts())));
        std::fflush(stdout);
    }
    for (size_t lead = 0; lead < perLead.size(); ++lead) {
        const std::string what = "latency with a lead of " + std::to_string(lead + 1) + " block" + (lead ? "s:" : ":");
        printSpread(what.c_str(), "ms", perLead[lead]);
    }
    return 0;
}

// The largest step from one sample to the next in [from, to), leaving out steps that touch a
// run of 32 digital zeros or more: sound lost on the way, not the program's.
int largestStep(const std::vector<int16_t>& s, size_t from, size_t to)
{
    to = std::min(to, s.size());
    std::vector<bool> lost(to > from ? to - from : 0, false);
    for (int at : zeroRuns(s.data() + from, static_cast<int>(lost.size()), 32))
        for (size_t i = static_cast<size_t>(at); i < lost.size() && s[from + i] == 0; ++i)
            lost[i] = true;
    int step = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (!lost[i - from] && !lost[i - 1 - from])
            step = std::max(step, std::abs(s[i] - s[i - 1]));
    return step;
}

// A stretch's own step: that of its median 20 ms piece, so that a slip of the sound path
// does not count.
int ownStep(const std::vector<int16_t>& s, size_t from, size_t to)
{
    std::vector<double> steps;
    for (size_t at = from; at + kRate / 50 <= std::min(to, s.size()); at += kRate / 50)
        steps.push_back(largestStep(s, at, at + kRate / 50));
    return static_cast<int>(spreadOf(steps).median);
}

// An AM station at -12 dBFS peak, 50 % modulated by 1 kHz, with the AGC on at 10 s and 20 ms.
const char* const kAmBandPlan = "[MainBand]\r\nName=Test\r\nActiveSubBand=0\r\n"
                                "[SubBand.0]\r\nFreqMin=5900000\r\nFreqMax=6200000\r\nFreqCurrent=6000000\r\n"
                                "DemodMode=0\r\nLowSideLO=False\r\nFilterMode=0\r\n"
                                "AGCOn=True\r\nAGCMode=4\r\nAGCAttack=100\r\nAGCDecay=200\r\n";

QByteArray amStationIF(double seconds)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    const double carrier = 32768 * std::pow(10.0, -12 / 20.0) / 1.5;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        s[2 * i] = static_cast<int16_t>(std::lround(carrier * (1 + 0.5 * std::sin(2 * std::numbers::pi * 1000 * t)) *
                                                    std::cos(2 * std::numbers::pi * 12000 * t)));
    }
    return raw;
}

// Mode buttons in frDemod, in twips: 0 AM, 1 USB, 2 LSB, 4 FM, 5 BC.
constexpr int ModeX(int index) { return 60 + 90 + (index % 2) * 1170 + 555; }
constexpr int ModeY(int index) { return 1260 + 210 + (index / 2) * 255 + 120; }
const char* modeName(int index)
{
    static const char* const names[] = {"AM", "USB", "LSB", "DRM", "FM", "BC"};
    return names[index];
}

int modeSteps(int runs)
{
    // From AM, every ordered pair once.
    const int order[] = {0, 1, 0, 2, 0, 4, 0, 5, 1, 2, 1, 4, 1, 5, 2, 4, 2, 5, 4, 5, 0};
    std::vector<double> ratios, atChange;
    int overBound = 0;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setBandPlan(kAmBandPlan);
        session.setSignal(amStationIF(200), false);
        if (!session.startOrTell("AutoStartSDR=True\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        if (!soundCameOut(session, run))
            return 1;
        pause(4000);
        std::vector<double> clicks;
        for (size_t k = 1; k < std::size(order); ++k) {
            session.pointAt(ModeX(order[k]), ModeY(order[k]));
            pause(400 + 37 * static_cast<int>(k)); // clicks fall at different points of a block
            const std::optional<double> at = session.click();
            if (!at) {
                std::fprintf(stderr, "run %d: no recording to click in\n", run);
                return 1;
            }
            clicks.push_back(*at);
            pause(1800);
        }
        const std::vector<int16_t> s = session.samples();
        // Each mode's own step: its stretches from a second after the click to the next click.
        std::map<int, std::vector<double>> own;
        own[0].push_back(ownStep(s, static_cast<size_t>(clicks[0]) - kRate, static_cast<size_t>(clicks[0])));
        for (size_t k = 0; k < clicks.size(); ++k) {
            const auto from = static_cast<size_t>(clicks[k]) + kRate;
            const size_t to = k + 1 < clicks.size() ? static_cast<size_t>(clicks[k + 1]) : from + kRate / 2;
            own[order[k + 1]].push_back(ownStep(s, from, to));
        }
        std::printf("run %d:", run);
        for (size_t k = 0; k < clicks.size(); ++k) {
            const int before = static_cast<int>(spreadOf(own[order[k]]).median);
            const int after = static_cast<int>(spreadOf(own[order[k + 1]]).median);
            const auto at = static_cast<size_t>(clicks[k]);
            const int step = largestStep(s, at, at + kRate);
            const double bound = 1.3 * std::max(before, after) + 300;
            overBound += step > bound;
            ratios.push_back(step / bound);
            atChange.push_back(step);
            std::printf(" %s>%s %d (own %d, %d)", modeName(order[k]), modeName(order[k + 1]), step, before, after);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    printSpread("largest step after a click:", "", atChange);
    printSpread("that step / (1.3 x own + 300):", "", ratios, 2);
    std::printf("changes beyond the bound: %d of %zu\n", overBound, ratios.size());
    return 0;
}

// An AM station at -12 dBFS peak, modulated 40 % by 1 kHz (where the notch starts) and 20 %
// by 1.7 kHz, so that something is heard with the notch on.
QByteArray twoToneStationIF(double seconds)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    const double carrier = 32768 * std::pow(10.0, -12 / 20.0) / 1.6;
    const double w = 2 * std::numbers::pi / kRate;
    for (int i = 0; i < frames; ++i)
        s[2 * i] = static_cast<int16_t>(std::lround(
            carrier * (1 + 0.4 * std::sin(w * 1000 * i) + 0.2 * std::sin(w * 1700 * i)) * std::cos(w * 12000 * i)));
    return raw;
}

// The longest run, in ms, of 5 ms windows (1 ms apart) in [from, to) whose loudness is 20 dB
// or more below `level`.
int longestHole(const std::vector<int16_t>& s, size_t from, size_t to, double level)
{
    int longest = 0, run = 0;
    for (size_t i = from; i + kWindow <= std::min(to, s.size()); i += kRate / 1000) {
        run = windowRms(s, i) < 0.1 * level ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest == 0 ? 0 : longest + 4;
}

// The longest run of digital zeros in [from, to), in ms: sound lost on the way or silence written.
int longestZeros(const std::vector<int16_t>& s, size_t from, size_t to)
{
    int longest = 0, run = 0;
    for (size_t i = from; i < std::min(to, s.size()); ++i) {
        run = s[i] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest * 1000 / kRate;
}

// Median loudness of the 5 ms windows in [from, to).
double levelOf(const std::vector<int16_t>& s, size_t from, size_t to)
{
    std::vector<double> levels;
    for (size_t i = from; i + kWindow <= std::min(to, s.size()); i += kWindow)
        levels.push_back(windowRms(s, i));
    return levels.empty() ? 0 : spreadOf(levels).median;
}

int switchSteps(int runs)
{
    // Controls in twips from the client area's corner: frame origin + the control's offset.
    struct Place {
        int x, y;
    };
    const Place notchOn{12000 + 60 + 100, 2460 + 195 + 112}, notchMan{12000 + 330 + 150, 2460 + 195 + 112},
        notchAuto{12000 + 1020 + 150, 2460 + 195 + 112}, notchCentre{12000 + 660 + 330, 2460 + 450 + 120},
        ifOn{16020 + 60 + 100, 1260 + 195 + 112}, ifOff{16020 + 300 + 150, 1260 + 195 + 112},
        ifTrack{16020 + 1620 + 150, 1260 + 195 + 112}, ifHi{16020 + 660 + 450, 1260 + 480 + 120},
        nbOn{14640 + 60 + 100, 2460 + 195 + 112}, nbSlider{14640 + 780 + 800, 2460 + 600 + 120};
    auto at = [](Place p) {
        return QStringList{"mousemove", "--window", "%W", QString::number(p.x / kTwipsPerPixel),
                           QString::number(p.y / kTwipsPerPixel)};
    };
    auto click = [&](Place p) { return at(p) << "click" << "1"; };
    auto wheel = [&](Place p, int button) {
        return at(p) << "click" << "--repeat" << "40" << "--delay" << "2" << QString::number(button);
    };
    struct Switch {
        const char* name;
        QStringList args;
    };
    // Each leaves the receiver as the next expects it; the whole round ends where it began.
    const Switch round[] = {
        {"manual notch on", click(notchOn)},        {"manual notch moved up", wheel(notchCentre, 4)},
        {"manual notch moved down", wheel(notchCentre, 5)}, {"manual -> auto notch", click(notchAuto)},
        {"auto notch off", click(notchOn)},         {"auto notch on", click(notchOn)},
        {"auto -> manual notch", click(notchMan)},  {"manual notch off", click(notchOn)},
        {"IF filter on (man)", click(ifOn)},        {"IF filter bandwidth", wheel(ifHi, 5)},
        {"IF filter man -> track", click(ifTrack)}, {"IF filter off (box)", click(ifOn)},
        {"IF filter on (track)", click(ifOn)},      {"IF filter off (option)", click(ifOff)},
        {"NB on", click(nbOn)},                     {"NB threshold", click(nbSlider)},
        {"NB off", click(nbOn)}};
    // AM and BC in turn.
    const Place modes[] = {{ModeX(5), ModeY(5)}, {ModeX(0), ModeY(0)}};
    const char* const variants[] = {"alone", "1 ms after a mode click", "a mode click 1 ms after"};
    constexpr int kVariants = 3;
    const int count = static_cast<int>(std::size(round));
    std::vector<std::vector<double>> steps(kVariants * count), ratios(kVariants * count), holes(kVariants * count);
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setBandPlan(kAmBandPlan);
        session.setSignal(twoToneStationIF(400), false);
        if (!session.startOrTell("AutoStartSDR=True\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        if (!soundCameOut(session, run))
            return 1;
        pause(4000);
        const orvik::soundtest::SoundCounts countsBefore = session.counts();
        std::vector<double> clicks;
        int modeClicks = 0;
        for (int v = 0; v < kVariants; ++v) {
            for (int k = 0; k < count; ++k) {
                QStringList args = round[k].args;
                if (v > 0) {
                    const QStringList mode = click(modes[modeClicks++ % 2]);
                    args = v == 1 ? mode + args : args + mode;
                }
                pause(137 * (k % 5)); // clicks fall at different points of a block
                const std::optional<double> clicked = session.act(args);
                if (!clicked) {
                    std::fprintf(stderr, "run %d: no recording to click in\n", run);
                    return 1;
                }
                clicks.push_back(*clicked);
                pause(1500);
            }
        }
        pause(500);
        const std::vector<int16_t> s = session.samples();
        const orvik::soundtest::SoundCounts countsAfter = session.counts();
        std::printf("run %d (late blocks %lld):\n", run, countsAfter.late - countsBefore.late);
        if (const QString keep = qEnvironmentVariable("ORVIKSDR_BENCH_KEEP"); !keep.isEmpty())
            QFile::copy(session.recording(), QDir(keep).filePath(QStringLiteral("switchsteps-%1.raw").arg(run)));
        for (size_t c = 0; c < clicks.size(); ++c) {
            const auto from = static_cast<size_t>(clicks[c]);
            const size_t next = c + 1 < clicks.size() ? static_cast<size_t>(clicks[c + 1]) : s.size();
            const size_t last = c > 0 ? static_cast<size_t>(clicks[c - 1]) + kRate : from - kRate / 2;
            const int before = ownStep(s, std::max(last, from - kRate / 2), from);
            const int after = ownStep(s, from + kRate, next);
            const int step = largestStep(s, from, from + kRate);
            const double bound = 1.3 * std::max(before, after) + 300;
            const double level = std::min(levelOf(s, std::max(last, from - kRate / 2), from), levelOf(s, from + kRate, next));
            const int hole = longestHole(s, from, from + kRate, level);
            const int zeros = longestZeros(s, from, from + kRate);
            steps[c].push_back(step);
            ratios[c].push_back(step / bound);
            holes[c].push_back(hole);
            std::printf("  %-24s %-26s step %6d (own %d, %d)%s hole %d ms%s\n", round[c % count].name,
                        variants[c / count], step, before, after, step > bound ? " OVER" : "", hole,
                        zeros > 0 ? qPrintable(QStringLiteral(" (%1 ms of zeros in it)").arg(zeros)) : "");
        }
        std::fflush(stdout);
    }
    std::printf("\nover %d runs: switch, variant: beyond the bound / runs; largest step; largest step / bound; runs "
                "with a 5 ms window 20 dB down; longest such hole\n",
                runs);
    int over = 0, holed = 0, total = 0;
    for (size_t c = 0; c < steps.size(); ++c) {
        int o = 0, h = 0;
        for (size_t r = 0; r < steps[c].size(); ++r) {
            o += ratios[c][r] > 1;
            h += holes[c][r] > 0;
        }
        over += o;
        holed += h;
        total += static_cast<int>(steps[c].size());
        std::printf("  %-24s %-26s %2d/%zu  %6.0f  %5.2f  %2d  %3.0f ms\n", round[c % count].name,
                    variants[c / count], o, steps[c].size(), spreadOf(steps[c]).high, spreadOf(ratios[c]).high, h,
                    spreadOf(holes[c]).high);
    }
    std::printf("switches beyond the bound: %d of %d; with a hole: %d of %d\n", over, total, holed, total);
    return 0;
}

int splice(int runs)
{
    std::vector<double> steps, ratios;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setSignal(toneIF(200, 13000), false);
        if (!session.startOrTell("AutoStartSDR=True\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        if (!soundCameOut(session, run))
            return 1;
        pause(4000);
        const size_t beforeHold = session.samples().size();
        const int raised = session.counts().leadRaised;
        if (!holdThread(static_cast<pid_t>(session.pid()), std::chrono::milliseconds(300)))
            std::printf("run %d: the window thread could not be held: %s\n", run, std::strerror(errno));
        const Clock::time_point held = Clock::now();
        pause(3000);
        if (session.counts().leadRaised <= raised) {
            std::printf("run %d: the stop did not raise the lead\n", run);
            continue;
        }
        const size_t settled = session.samples().size();
        if (!runUntil([&] { return session.counts().leadLowered > 0; }, 90000)) {
            std::printf("run %d: the lead did not come down\n", run);
            continue;
        }
        const double loweredAfter = secondsSince(held);
        pause(2000);
        const std::vector<int16_t> s = session.samples();
        const int tone = ownStep(s, beforeHold - kRate, beforeHold);
        const int step = largestStep(s, settled, s.size());
        size_t where = settled;
        for (size_t i = settled + 1; i < s.size(); ++i)
            if (std::abs(s[i] - s[i - 1]) == step)
                where = i;
        steps.push_back(step);
        ratios.push_back(step / (1.3 * tone + 300));
        std::printf("run %d: lead down %.1f s after the stop; the largest step %d at %.2f s after the stop, the tone's "
                    "own %d\n",
                    run, loweredAfter, step, double(where - beforeHold) / kRate, tone);
        std::fflush(stdout);
    }
    printSpread("largest step from 3 s after the stop:", "", steps);
    printSpread("that step / (1.3 x own + 300):", "", ratios, 2);
    return 0;
}

// Runs of 32 digital zeros or more in [from, to): where each starts and how long it is.
std::vector<std::pair<size_t, size_t>> silences(const std::vector<int16_t>& s, size_t from, size_t to)
{
    std::vector<std::pair<size_t, size_t>> runs;
    to = std::min(to, s.size());
    for (size_t i = from; i < to;) {
        size_t end = i;
        while (end < to && s[end] == 0)
            ++end;
        if (end - i >= 32)
            runs.emplace_back(i, end - i);
        i = end > i ? end : i + 1;
    }
    return runs;
}

// The whole program stopped (SIGSTOP: every thread) for `ms` while it receives a steady tone,
// then watched for `after` seconds: the gaps heard, and the largest step from the end of the
// first gap on, its edges into any later gap included, against the tone's own.
int stall(int runs, int ms, int after)
{
    std::vector<double> gapCounts, silenceMs, ratios;
    int overBound = 0, raised = 0, lowered = 0;
    for (int run = 1; run <= runs; ++run) {
        Session session;
        session.setSignal(toneIF(after + 60, 13000), false);
        if (!session.startOrTell("AutoStartSDR=True\nStandardDisplay=TRUE\n", QStringLiteral("run %1").arg(run)))
            return 1;
        if (!soundCameOut(session, run))
            return 1;
        pause(4000);
        const size_t beforeStop = session.samples().size();
        const orvik::soundtest::SoundCounts countsBefore = session.counts();
        const auto pid = static_cast<pid_t>(session.pid());
        ::kill(pid, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ::kill(pid, SIGCONT);
        pause(after * 1000);
        const std::vector<int16_t> s = session.samples();
        const int tone = ownStep(s, beforeStop - kRate, beforeStop);
        // The recording runs a little behind the moment of the stop.
        const size_t from = beforeStop - kRate / 2;
        const size_t to = s.size() - kRate / 10;
        const auto gaps = silences(s, from, to);
        size_t silent = 0;
        for (const auto& gap : gaps)
            silent += gap.second;
        const size_t stepFrom = gaps.empty() ? from : gaps.front().first + gaps.front().second + 1;
        int step = 0;
        size_t where = stepFrom;
        for (size_t i = stepFrom; i < to; ++i)
            if (std::abs(s[i] - s[i - 1]) > step) {
                step = std::abs(s[i] - s[i - 1]);
                where = i;
            }
        const double bound = 1.3 * tone + 300;
        const orvik::soundtest::SoundCounts counts = session.counts();
        const bool leadRaised = counts.leadRaised > countsBefore.leadRaised;
        const bool leadLowered = counts.leadLowered > countsBefore.leadLowered;
        gapCounts.push_back(static_cast<double>(gaps.size()));
        silenceMs.push_back(double(silent) * 1000 / kRate);
        ratios.push_back(step / bound);
        overBound += step > bound;
        raised += leadRaised;
        lowered += leadLowered;
        std::printf("run %d: %zu gaps, %.0f ms of silence (", run, gaps.size(), double(silent) * 1000 / kRate);
        for (const auto& gap : gaps)
            std::printf(" %.0f ms at %.2f s", double(gap.second) * 1000 / kRate,
                        (double(gap.first) - double(beforeStop)) / kRate);
        std::printf(" ); largest step after the first gap %d at %.2f s, the tone's own %d (bound %.0f); lead %s%s\n",
                    step, (double(where) - double(beforeStop)) / kRate, tone, bound,
                    leadRaised ? "raised" : "NOT raised", leadLowered ? ", back down" : "");
        ::kill(pid, SIGTERM);
        runUntil([&] { return !session.running(); }, 10000);
        std::printf("  the program's own count: %s\n", qPrintable(describe(session.counts())));
        std::fflush(stdout);
        if (const QString keep = qEnvironmentVariable("ORVIKSDR_BENCH_KEEP"); !keep.isEmpty()) {
            QDir().mkpath(keep);
            const QString prefix = QDir(keep).filePath(QStringLiteral("stall%1-").arg(run, 3, 10, QLatin1Char('0')));
            QFile::copy(session.file("home/ORVIKSDR.log"), prefix + "trace.log");
            QFile::copy(session.recording(), prefix + "out.raw");
        }
    }
    printSpread("gaps after the stop:", "", gapCounts);
    printSpread("silence after the stop:", "ms", silenceMs);
    printSpread("largest step / (1.3 x own + 300):", "", ratios, 2);
    std::printf("stops of %d ms: %d of %d with a step beyond the bound, lead raised in %d of %d, back down in %d\n", ms,
                overBound, runs, raised, runs, lowered);
    return 0;
}

// What the program holds: threads and descriptors (without Qt's pooled threads and their
// eventfds, which come and go by themselves), its clients on the sound server, and its capture
// streams there, those not corked among them.
struct Holdings {
    int threads = 0, descriptors = 0, clients = 0, captures = 0, uncorked = 0, soundCallThreads = 0;
};
Holdings holdingsOf(qint64 pid)
{
    Holdings h;
    const QString process = QString("/proc/%1").arg(pid);
    for (const QString& task : QDir(process + "/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(process + "/task/" + task + "/comm");
        const QByteArray comm = name.open(QIODevice::ReadOnly) ? name.readAll().trimmed() : QByteArray();
        h.threads += comm.startsWith("Thread (pooled)") ? 0 : 1;
        h.soundCallThreads += comm == "sound calls" ? 1 : 0;
    }
    for (const QString& fd : QDir(process + "/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        h.descriptors += QFile::symLinkTarget(process + "/fd/" + fd).endsWith("[eventfd]") ? 0 : 1;
    const QString ours = QString("application.process.id = \"%1\"").arg(pid);
    QString clients, outputs;
    runTool("pactl", {"list", "clients"}, &clients);
    h.clients = static_cast<int>(clients.count(ours));
    runTool("pactl", {"list", "source-outputs"}, &outputs);
    for (const QString& output : outputs.split("Source Output #", Qt::SkipEmptyParts))
        if (output.contains(ours)) {
            ++h.captures;
            h.uncorked += output.contains("Corked: no") ? 1 : 0;
        }
    return h;
}

void printHoldings(const char* when, const Holdings& h)
{
    std::printf("%s: %d threads, %d descriptors, %d clients, %d capture streams (%d uncorked), %d sound-call threads\n",
                when, h.threads, h.descriptors, h.clients, h.captures, h.uncorked, h.soundCallThreads);
}

// The sound server killed and started again while the receiver is off (`frozen`: frozen
// while on, and killed 0.2 s after the Off click), `rounds` times: how soon each On gives sound and
// frees the window, and what the program holds at each Off.
int restarts(int rounds, bool frozen)
{
    Session session;
    if (!session.startOrTell("AutoStartSDR=False\nStandardDisplay=TRUE\n", QStringLiteral("restarts")))
        return 1;
    const QString tracePath = session.file("home/ORVIKSDR.log");
    const auto traceCount = [&](const char* line) {
        QFile f(tracePath);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count(line) : 0;
    };
    // Clicks a power button; the recording's position at the click, and milliseconds from the
    // click until the program's trace shows it finished (-1: not within 10 s), which bounds
    // how long it held the window.
    const auto power = [&](int index) {
        const qsizetype ends = traceCount("optPwr_click : End");
        session.pointAt(kOnX, kOnY + index * 300);
        const std::optional<double> at = session.click();
        const bool seen = runUntil([&] { return traceCount("optPwr_click : End") > ends; }, 10000);
        return std::pair{at, seen ? secondsSince(session.clickedAt()) * 1000 : -1.0};
    };
    pause(2000);
    const std::optional<double> firstOn = power(0).first;
    pause(3000);
    if (const std::optional<double> heard = firstOn ? firstSound(session.samples(), *firstOn, 2.5) : std::nullopt)
        std::printf("the first On, on streams opened at the start: first sound %.0f ms after the click\n", *heard * 1000);
    power(1);
    pause(1500);
    const Holdings first = holdingsOf(session.pid());
    printHoldings("at Off before the restarts", first);
    std::vector<double> heardMs, heldMs;
    int silent = 0;
    for (int round = 1; round <= rounds; ++round) {
        const qsizetype offEnds = traceCount("optPwr_click : End");
        if (frozen) {
            power(0);
            pause(2000);
            session.signalServer(SIGSTOP);
            session.pointAt(kOnX, kOnY + 300);
            session.click();
            pause(200);
        }
        if (const QString problem = session.restartServer(); !problem.isEmpty()) {
            std::fprintf(stderr, "round %d: %s\n", round, qPrintable(problem));
            return 1;
        }
        if (frozen && !runUntil([&] { return traceCount("optPwr_click : End") > offEnds + 1; }, 10000)) {
            std::fprintf(stderr, "round %d: the Off did not end\n", round);
            return 1;
        }
        pause(1500);
        const auto [on, held] = power(0);
        pause(static_cast<int>(4000 - secondsSince(session.clickedAt()) * 1000));
        const std::vector<int16_t> out = session.samples();
        const std::optional<double> heard = on ? firstSound(out, *on, 3.5) : std::nullopt;
        const Holdings onHeld = holdingsOf(session.pid());
        const double heardAfter = heard.value_or(-1) * 1000;
        std::printf("round %d: On done %.0f ms after the click, first sound %s; ", round, held,
                    heardAfter >= 0 ? qPrintable(QString("%1 ms after the click").arg(heardAfter, 0, 'f', 0))
                                    : "none within 3.5 s");
        printHoldings("while on", onHeld);
        if (heardAfter >= 0)
            heardMs.push_back(heardAfter);
        else
            ++silent;
        heldMs.push_back(held);
        power(1);
        pause(1500);
        printHoldings("  at Off", holdingsOf(session.pid()));
        std::fflush(stdout);
    }
    printHoldings("at Off after the restarts", holdingsOf(session.pid()));
    std::printf("calls counted stuck in the trace: %lld; %d of %d Ons silent\n",
                qlonglong(traceCount("counts as stuck for good")), silent, rounds);
    printSpread("first sound after On:", "ms", heardMs);
    printSpread("On done after the click:", "ms", heldMs);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const int runs = args.value(1, "5").toInt();
    if (mode == "latency" && runs > 0)
        return latency(runs);
    if (mode == "quiet" && runs > 0)
        return quiet(runs, std::max(1, args.value(2, "60").toInt()));
    if (mode == "floor" && runs > 0)
        return soundFloor(runs, std::max(1, args.value(2, "60").toInt()));
    if (mode == "gaps" && runs > 0)
        return gaps(runs, args.value(2, "0").toInt());
    if (mode == "company")
        return company(std::max(1, args.value(1, "10").toInt()), std::max(0, args.value(2, "2").toInt()));
    if (mode == "lead" && runs > 0)
        return leadSteps(runs);
    if (mode == "modesteps" && runs > 0)
        return modeSteps(runs);
    if (mode == "switchsteps" && runs > 0)
        return switchSteps(runs);
    if (mode == "splice" && runs > 0)
        return splice(runs);
    if (mode == "stall" && runs > 0)
        return stall(runs, std::max(1, args.value(2, "300").toInt()), std::max(2, args.value(3, "6").toInt()));
    if (mode == "first" && runs > 0)
        return firstStarts(runs, std::max(0, args.value(2, "0").toInt()));
    if (mode == "restart" && runs > 0)
        return restarts(runs, args.value(2) == "frozen");
    if (mode == "sound-only" && args.size() == 4)
        return soundOnly(args[1].toInt(), args[2].toInt(), args[3].toInt());
    std::fprintf(stderr, "usage: program_sound_bench latency [runs] | quiet [runs] [seconds] | floor [runs] [seconds] | "
                         "gaps [runs] [busy loops] | company [minutes] [copies] | lead [runs] | modesteps [runs] | "
                         "splice [runs] | stall [runs] [ms] [seconds] | first [runs] [busy loops] | switchsteps [runs]\n"
                         "       program_sound_bench restart [rounds] [frozen]\n");
    return 2;
}
