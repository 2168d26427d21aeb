// The program binary itself under a virtual display, receiving a 12 kHz IF with a 1 kHz AM tone
// through a private PulseAudio server: its recorder's Record, Stop and Save buttons are clicked
// and the save dialog answered as a user would, the saved file must hold the tone and name the
// tuned frequency, and Load and Play must bring the tone out of "appout" again while the IF is
// silent. Skipped without Xvfb or xdotool.

#include "tests/app/DisplaySandbox.h"
#include "tests/app/ToneGaps.h"
#include "tests/support/PulseAudioServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <csignal>
#include <numbers>
#include <thread>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
// Runs the program as an operator does: it cannot raise itself to real-time scheduling.
const QStringList withoutRealTime{"setpriv", "--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice", "--"};
constexpr int kTwipsPerPixel = 15;

// Share of the power in the 1 kHz component and the rms, as the median of half-second windows.
std::pair<double, double> toneOf(const int16_t* s, int count)
{
    std::vector<std::pair<double, double>> windows;
    for (int at = 0; at + kRate / 2 <= count; at += kRate / 2) {
        const int16_t* w = s + at;
        const int n = kRate / 2;
        double mean = 0;
        for (int i = 0; i < n; ++i)
            mean += w[i];
        mean /= n;
        double power = 0, re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const double x = w[i] - mean;
            power += x * x;
            re += x * std::cos(2 * std::numbers::pi * 1000.0 * i / kRate);
            im += x * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate);
        }
        windows.push_back({power > 0 ? 2 * (re * re + im * im) / n / power : 0, std::sqrt(power / n)});
    }
    if (windows.empty())
        return {0, 0};
    std::sort(windows.begin(), windows.end());
    return windows[windows.size() / 2];
}

// A 48 kHz mono 16-bit WAV of these samples.
QByteArray wavOf(const std::vector<int16_t>& samples)
{
    const auto bytes = static_cast<uint32_t>(2 * samples.size());
    QByteArray wav(44, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav[at + i] = static_cast<char>(v >> (8 * i));
    };
    auto put16 = [&](int at, uint16_t v) {
        wav[at] = static_cast<char>(v);
        wav[at + 1] = static_cast<char>(v >> 8);
    };
    std::memcpy(wav.data(), "RIFF", 4);
    put32(4, 36 + bytes);
    std::memcpy(wav.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, kRate);
    put32(28, 2 * kRate);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(wav.data() + 36, "data", 4);
    put32(40, bytes);
    wav.append(reinterpret_cast<const char*>(samples.data()), static_cast<qsizetype>(bytes));
    return wav;
}

// `count` samples of a tone of amplitude 8000, its phase running on from sample `from`.
std::vector<int16_t> toneSamples(double hz, int count, int from = 0)
{
    std::vector<int16_t> s(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        s[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(8000 * std::sin(2 * std::numbers::pi * hz * (from + i) / kRate)));
    return s;
}

// Six one-second tones, each of its own frequency, then two seconds of silence.
constexpr double kToneHz[] = {600, 800, 1000, 1200, 1400, 1600};

QByteArray sixTones()
{
    std::vector<int16_t> s;
    for (double hz : kToneHz) {
        const std::vector<int16_t> t = toneSamples(hz, kRate, static_cast<int>(s.size()));
        s.insert(s.end(), t.begin(), t.end());
    }
    s.resize(8 * kRate, 0);
    return wavOf(s);
}

// `seconds` of 600 Hz, then as long of 1500 Hz.
constexpr double kLowHz = 600;
constexpr double kHighHz = 1500;
QByteArray twoTones(int seconds)
{
    std::vector<int16_t> s = toneSamples(kLowHz, seconds * kRate);
    const std::vector<int16_t> high = toneSamples(kHighHz, seconds * kRate, seconds * kRate);
    s.insert(s.end(), high.begin(), high.end());
    return wavOf(s);
}

// The tone heard in each tenth of a second: its index in kToneHz, or -1 where it is
// silent or no tone stands out.
std::vector<int> toneSequence(const int16_t* s, int count)
{
    std::vector<int> tones;
    const int n = kRate / 10;
    for (int at = 0; at + n <= count; at += n) {
        double power = 0;
        for (int i = 0; i < n; ++i)
            power += double(s[at + i]) * s[at + i];
        int best = -1;
        double bestShare = 0;
        for (int t = 0; t < 6 && power / n > 100.0 * 100.0; ++t) {
            double re = 0, im = 0;
            for (int i = 0; i < n; ++i) {
                re += s[at + i] * std::cos(2 * std::numbers::pi * kToneHz[t] * i / kRate);
                im += s[at + i] * std::sin(2 * std::numbers::pi * kToneHz[t] * i / kRate);
            }
            const double share = 2 * (re * re + im * im) / n / power;
            if (share > bestShare) {
                bestShare = share;
                best = t;
            }
        }
        tones.push_back(bestShare > 0.5 ? best : -1);
    }
    return tones;
}

// Where the tone of `hz` is heard: seconds from the start of the first hundredth of a second
// in which it stands out to the end of the last; {-1, -1} when it never does.
std::pair<double, double> stretchOf(const int16_t* s, int count, double hz)
{
    const int n = kRate / 100;
    int first = -1;
    int last = -1;
    for (int at = 0; at + n <= count; at += n) {
        double power = 0, re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            power += double(s[at + i]) * s[at + i];
            re += s[at + i] * std::cos(2 * std::numbers::pi * hz * i / kRate);
            im += s[at + i] * std::sin(2 * std::numbers::pi * hz * i / kRate);
        }
        if (power / n > 300.0 * 300.0 && 2 * (re * re + im * im) / n / power > 0.5) {
            first = first < 0 ? at : first;
            last = at + n;
        }
    }
    if (first < 0)
        return {-1, -1};
    return {double(first) / kRate, double(last) / kRate};
}

// Seconds from the first to the last hundredth of a second in which the tone of `hz` stands out.
double spanOf(const int16_t* s, int count, double hz)
{
    const auto [first, last] = stretchOf(s, count, hz);
    return last - first;
}

// A tone sequence as text, a character per tenth of a second: the tone's index, '.' for none.
std::string shown(const std::vector<int>& tones)
{
    std::string text;
    for (int t : tones)
        text += t < 0 ? '.' : static_cast<char>('0' + t);
    return text;
}

class RecorderProgram : public DisplaySandbox {
protected:
    void SetUp() override
    {
        DisplaySandbox::SetUp();
        // DISPLAY for every child from here on.
        if (readyForTest())
            qputenv("DISPLAY", xserver.name().toLocal8Bit());
    }

    void TearDown() override
    {
        endProcess(parec, 5000);
        DisplaySandbox::TearDown();
    }

    QByteArray output() const { return fileContents("out.raw"); }

    std::pair<double, double> lastSeconds() const
    {
        const QByteArray out = output();
        const int n = static_cast<int>(out.size() / 2);
        return n < 2 * kRate ? std::pair<double, double>{0, 0}
                             : toneOf(reinterpret_cast<const int16_t*>(out.constData()) + n - 2 * kRate, 2 * kRate);
    }

    QString findWindow(const QString& title, int milliseconds)
    {
        QString id;
        runUntil(
            [&] {
                id = xserver.shownWindows(title).value(0);
                return !id.isEmpty();
            },
            milliseconds);
        return id;
    }

    // Recorder button `index` of the main window, at the centre of its design rectangle.
    void clickRecorderButton(int index)
    {
        const int x = (2580 + 60 + index * 375 + 180) / kTwipsPerPixel;
        const int y = (2820 + 45 + 165) / kTwipsPerPixel;
        ASSERT_TRUE(runTool("xdotool", {"mousemove", "--window", mainWindow, QString::number(x), QString::number(y),
                                        "click", "1"}));
    }

    // Types a path into the file dialog of that title and accepts it.
    void answerFileDialog(const QString& title, const QString& path)
    {
        const QString dialog = findWindow(title, 30000);
        ASSERT_FALSE(dialog.isEmpty()) << "no dialog \"" << title.toStdString() << "\"";
        // The file name box has the focus when the dialog opens; the keys queue behind
        // the focus change.
        runTool("xdotool", {"windowfocus", "--sync", dialog});
        ASSERT_TRUE(runTool("xdotool", {"key", "ctrl+a"}));
        ASSERT_TRUE(runTool("xdotool", {"type", "--delay", "20", path}));
        ASSERT_TRUE(runTool("xdotool", {"key", "Return"}));
        // A click meant for the main window must not land on the dialog, nor come while the
        // button's handler that opened it still runs: the recorder ignores clicks then.
        ASSERT_TRUE(runUntil([&] { return findWindow(title, 0).isEmpty(); }, 30000))
            << "the dialog \"" << title.toStdString() << "\" stayed open";
        ASSERT_NO_FATAL_FAILURE(waitUntilIdle());
    }

    void waitUntilIdle()
    {
        ASSERT_TRUE(runUntil([&] { return sleepsInItsEventLoop(program.processId()); }, 30000))
            << "the program never went back to its event loop";
    }

    // The tones heard since byte `from` of the recorded output, one entry per tenth of a second.
    std::vector<int> heardSince(qsizetype from) const
    {
        const QByteArray out = output().mid(from);
        return toneSequence(reinterpret_cast<const int16_t*>(out.constData()), static_cast<int>(out.size() / 2));
    }

    // Presses Play and waits until the file has played out, or 30 s. The tones heard since the
    // press, with runs of the same tone and silences collapsed, and the tenths of a second of
    // the first tone heard.
    std::pair<std::vector<int>, int> playAndListen()
    {
        const qsizetype from = output().size();
        clickRecorderButton(1);
        const auto lastToneDone = [&] {
            const std::vector<int> heard = heardSince(from);
            const auto last = std::find(heard.begin(), heard.end(), 5);
            // The silence at the file's end, and a second more.
            return last != heard.end() && heard.end() - last > 35 && heard.back() == -1;
        };
        runUntil(lastToneDone, 30000);
        const std::vector<int> heard = heardSince(from);
        std::vector<int> order;
        for (int t : heard)
            if (t >= 0 && (order.empty() || order.back() != t))
                order.push_back(t);
        const auto first = std::find_if(heard.begin(), heard.end(), [](int t) { return t >= 0; });
        const int firstTenths = static_cast<int>(
            std::find_if(first, heard.end(), [&](int t) { return t != *first && t != -1; }) - first);
        return {order, firstTenths};
    }

    // The last `samples` of the output are digital zero: the receiver is off.
    bool silentFor(int samples) const
    {
        const QByteArray out = output();
        const int n = static_cast<int>(out.size() / 2);
        if (n < samples)
            return false;
        const auto* s = reinterpret_cast<const int16_t*>(out.constData()) + n - samples;
        return std::all_of(s, s + samples, [](int16_t v) { return v == 0; });
    }

    // True once the last half second since byte `from` holds no tone: the receiver went off.
    bool wentQuietSince(qsizetype from)
    {
        return runUntil(
            [&] {
                const std::vector<int> heard = heardSince(from);
                return heard.size() > 5 && std::all_of(heard.end() - 5, heard.end(), [](int t) { return t == -1; });
            },
            10000);
    }

    // Where the tone of `hz` was heard in the output since byte `from`, in seconds from there.
    std::pair<double, double> toneSince(qsizetype from, double hz, qsizetype bytes = -1) const
    {
        const QByteArray out = output().mid(from, bytes);
        return stretchOf(reinterpret_cast<const int16_t*>(out.constData()), static_cast<int>(out.size() / 2), hz);
    }

    // Clicks recorder button `index` once the tone of `hz` has been heard for `seconds` since
    // byte `from`, and waits until the receiver it switches off has gone quiet.
    void clickOnceHeardThenQuiet(int index, qsizetype from, double hz, double seconds)
    {
        const auto heardLongEnough = [&] {
            const auto [first, last] = toneSince(from, hz);
            return first >= 0 && last - first >= seconds;
        };
        ASSERT_TRUE(runUntil(heardLongEnough, 30000)) << hz << " Hz was not heard\n" << programLog();
        const qsizetype clicked = output().size();
        clickRecorderButton(index);
        ASSERT_TRUE(wentQuietSince(clicked)) << "the receiver did not go off\n" << programLog();
        ASSERT_NO_FATAL_FAILURE(waitUntilIdle());
    }

    // Waits until the file's last tone, of `hz`, has been heard since byte `from` and its end
    // has switched the receiver off.
    void waitForTheEnd(qsizetype from, double hz)
    {
        const auto endedAndOff = [&] {
            if (!silentFor(kRate))
                return false;
            return toneSince(from, hz).first >= 0;
        };
        ASSERT_TRUE(runUntil(endedAndOff, 30000)) << "the file did not end with " << hz << " Hz\n" << programLog();
    }

    // The program on the private sound server, receiving `ifSeconds` of an AM station, with
    // "appout" recorded into out.raw; `wrapper` (a command and its arguments) runs it when given.
    void startReceiving(double ifSeconds, const QStringList& wrapper = {})
    {
        const auto [capture, playback] = pulseDevices();
        ASSERT_GT(capture, 0);
        ASSERT_GT(playback, 0);
        ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
            "[MainBand]\r\nName=Test\r\n",
            QString("[frmMain]\nAutoStartSDR=True\nFullDisplay=TRUE\nCurrentCaptureDevice=%1\n"
                    "CurrentPlaybackDevice=%2\nVFO1.IFType=0\n")
                .arg(capture)
                .arg(playback)));
        ASSERT_TRUE(PulseAudioServer::startRecorder(parec, "appout.monitor", 1, dir.filePath("out.raw")));
        ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(ifSeconds, true), "am.raw"));
        QProcessEnvironment env;
        // The synthesizer's port writes go to a file: no board, and no message about a missing one.
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {}, env, wrapper));
        mainWindow = findWindow("ORVIKSDR", 30000);
        ASSERT_FALSE(mainWindow.isEmpty()) << "the main window did not appear\n" << programLog();
    }

    // Presses Load until its dialog opens (a click before the start-up has finished is lost)
    // and answers it with `path`.
    void load(const QString& path)
    {
        for (int tries = 0; tries < 10 && findWindow("Select Filename", 0).isEmpty(); ++tries) {
            clickRecorderButton(7);
            findWindow("Select Filename", 3000);
        }
        ASSERT_NO_FATAL_FAILURE(answerFileDialog("Select Filename", path));
    }

    QString mainWindow;
    QProcess parec;
};

TEST_F(RecorderProgram, RecordsSavesLoadsAndPlaysATone)
{
    ASSERT_NO_FATAL_FAILURE(startReceiving(40));
    ASSERT_TRUE(runUntil([&] { return lastSeconds().second > 100; }, 30000))
        << "no audio came out; " << output().size() << " bytes recorded\n" << programLog();
    // The AGC settles on the tone.
    runUntil([&] { return lastSeconds().first > 0.8; }, 30000);
    const auto [receivedShare, receivedRms] = lastSeconds();
    ASSERT_GT(receivedShare, 0.8);

    // Receiving alone, then receiving and recording, over the same time.
    double cpu = cpuSeconds(program.processId());
    runUntil([] { return false; }, 4000);
    const double receiving = cpuSeconds(program.processId()) - cpu;
    clickRecorderButton(0);
    cpu = cpuSeconds(program.processId());
    runUntil([] { return false; }, 4000);
    const double recording = cpuSeconds(program.processId()) - cpu;
    std::printf("program CPU over 4 s: receiving %.2f s, receiving and recording %.2f s\n", receiving, recording);
    // Stop switches the receiver off, letting events run until the sound has stopped; a
    // click meanwhile would be ignored. The end of its real-time scheduling shows the
    // switch-off done.
    const bool realTime = sched_getscheduler(static_cast<pid_t>(program.processId())) == SCHED_RR;
    clickRecorderButton(3);
    if (realTime) {
        ASSERT_TRUE(runUntil([&] { return sched_getscheduler(static_cast<pid_t>(program.processId())) != SCHED_RR; },
                             30000))
            << "Stop did not switch the receiver off";
    }
    ASSERT_NO_FATAL_FAILURE(waitUntilIdle());
    clickRecorderButton(8);
    const QString saved = dir.filePath("saved.wav");
    ASSERT_NO_FATAL_FAILURE(answerFileDialog("Select Filename to Save Recording", saved));
    ASSERT_TRUE(runUntil([&] { return QFile::exists(saved); }, 20000)) << "nothing was saved";

    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 44);
    const auto dataBytes = *reinterpret_cast<const uint32_t*>(bytes.constData() + 40);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(bytes.constData() + 24), 48000u);
    ASSERT_GT(dataBytes, 2u * 3 * kRate) << "about four seconds were recorded";
    ASSERT_LE(44 + dataBytes, static_cast<uint32_t>(bytes.size()));
    const auto [fileShare, fileRms] =
        toneOf(reinterpret_cast<const int16_t*>(bytes.constData() + 44) + kRate / 2, static_cast<int>(dataBytes / 2) - kRate / 2);
    EXPECT_GT(fileShare, 0.8);
    EXPECT_GT(fileRms, 1000);
    const QByteArray trailer = bytes.mid(static_cast<int>(44 + dataBytes));
    ASSERT_TRUE(trailer.startsWith("ORVIK"));
    QByteArray text;
    for (int i = 5; i < trailer.size(); i += 2)
        text += trailer[i];
    ASSERT_TRUE(text.startsWith("F=")) << text.toStdString();

    // Silence on the IF: what comes out now is the file.
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(40, false), "silence.raw"));
    ASSERT_NO_FATAL_FAILURE(load(saved));
    clickRecorderButton(1);
    runUntil(
        [&] {
            const auto [share, rms] = lastSeconds();
            return share > 0.8 && rms > receivedRms / 10;
        },
        30000);
    const auto [playedShare, playedRms] = lastSeconds();
    EXPECT_GT(playedShare, 0.8);
    EXPECT_GT(playedRms, receivedRms / 10);
    std::printf("1 kHz share: received %.2f, in the file %.2f, played back %.2f\n", receivedShare, fileShare,
                playedShare);

    // The end switches the receiver off; Play then plays the file again from its start.
    ASSERT_TRUE(runUntil([&] { return silentFor(kRate); }, 30000)) << "the file did not end\n" << programLog();
    const qsizetype beforeAgain = output().size();
    clickRecorderButton(1);
    ASSERT_TRUE(runUntil([&] { return output().size() - beforeAgain > 2 * 2 * kRate && lastSeconds().second > 0; },
                         20000));
    ASSERT_TRUE(runUntil([&] { return lastSeconds().first > 0.8; }, 10000))
        << "a second Play after the end gives no tone: rms " << lastSeconds().second << "\n" << programLog();

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray settings = ini.readAll();
    const int at = settings.indexOf("LastTunedFrequency=");
    ASSERT_GE(at, 0);
    const QByteArray tuned = settings.mid(at + 19, settings.indexOf('\n', at) - at - 19).trimmed();
    EXPECT_EQ(text.mid(2, 10).toLongLong(), tuned.toLongLong()) << "the track names the tuned frequency";
}


// Play with the receiver off (after Stop) and Play again after the file ended must both start
// at the file's first sample and play it through.
TEST_F(RecorderProgram, PlayFromPowerOffAndAgainAfterTheEndStartsAtTheFirstSample)
{
    const QString tones = dir.filePath("tones.wav");
    {
        QFile f(tones);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(sixTones());
    }
    // A strong station is received before the file is played.
    ASSERT_NO_FATAL_FAILURE(startReceiving(90));
    ASSERT_NO_FATAL_FAILURE(load(tones));
    // Stop switches the receiver off: the station is no longer heard.
    const qsizetype beforeStop = output().size();
    clickRecorderButton(3);
    ASSERT_TRUE(wentQuietSince(beforeStop)) << "the receiver did not go quiet after Stop\n" << programLog();

    const std::vector<int> allSix{0, 1, 2, 3, 4, 5};
    const auto [fromOff, firstFromOff] = playAndListen();
    EXPECT_EQ(fromOff, allSix) << "from power off\n" << programLog();
    EXPECT_GE(firstFromOff, 8) << "tenths of a second of the first tone, from power off";

    // The end switched the receiver off as Stop does; Play starts over.
    const auto [again, firstAgain] = playAndListen();
    EXPECT_EQ(again, allSix) << "after the end\n" << programLog();
    EXPECT_GE(firstAgain, 8) << "tenths of a second of the first tone, after the end";
}

// A file shorter than the AGC's history, played while an AM station is received, is heard,
// and so is every Play after its end (which switched the receiver off).
TEST_F(RecorderProgram, AShortFilePlayedWhileReceivingIsHeardAndAgainAfterItsEnd)
{
    const QString shortFile = dir.filePath("short.wav");
    {
        QFile f(shortFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wavOf(toneSamples(kToneHz[0], 2 * kRate / 5)));
    }
    ASSERT_NO_FATAL_FAILURE(startReceiving(90));
    ASSERT_TRUE(runUntil([&] { return lastSeconds().first > 0.8; }, 30000)) << "the station is not heard\n"
                                                                            << programLog();
    ASSERT_NO_FATAL_FAILURE(load(shortFile));

    for (int play = 0; play < 3; ++play) {
        const qsizetype from = output().size();
        clickRecorderButton(1);
        const auto heardThenOff = [&] {
            const std::vector<int> heard = heardSince(from);
            const auto first = std::find(heard.begin(), heard.end(), 0);
            return first != heard.end() && heard.end() - first > 12 && silentFor(kRate);
        };
        ASSERT_TRUE(runUntil(heardThenOff, 20000))
            << "Play " << play << " was not heard: " << shown(heardSince(from)) << "\n" << programLog();
        const std::vector<int> heard = heardSince(from);
        EXPECT_GE(std::count(heard.begin(), heard.end(), 0), 2) << "tenths of a second heard, Play " << play;
    }
}

// The end of a file is heard whole before the receiver goes off, and no station after it: a
// final one-second tone that ends where the player's last half ends, with no silence behind it.
TEST_F(RecorderProgram, TheEndOfAFileIsHeardWhole)
{
    constexpr int kHalf = 32768; // output samples per half of the play ring
    std::vector<int16_t> samples = toneSamples(kToneHz[1], 3 * kHalf - kRate);
    const std::vector<int16_t> finalTone = toneSamples(kToneHz[3], kRate, static_cast<int>(samples.size()));
    samples.insert(samples.end(), finalTone.begin(), finalTone.end());
    const QString file = dir.filePath("final.wav");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wavOf(samples));
    }
    ASSERT_NO_FATAL_FAILURE(startReceiving(90));
    ASSERT_NO_FATAL_FAILURE(load(file));

    // With the station received before, then from power off after the end. The longer of the
    // two counts: an output block now and then dropped or late may shorten one of them.
    double longest = 0;
    for (int play = 0; play < 2; ++play) {
        const qsizetype from = output().size();
        clickRecorderButton(1);
        const auto endedAndOff = [&] {
            const std::vector<int> heard = heardSince(from);
            const auto last = std::find(heard.rbegin(), heard.rend(), 3);
            return last != heard.rend() && last - heard.rbegin() > 12 && silentFor(kRate);
        };
        ASSERT_TRUE(runUntil(endedAndOff, 30000)) << shown(heardSince(from)) << "\n" << programLog();
        const QByteArray out = output().mid(from);
        const double span = spanOf(reinterpret_cast<const int16_t*>(out.constData()), static_cast<int>(out.size() / 2),
                                   kToneHz[3]);
        std::printf("final one-second tone heard for %.2f s\n", span);
        longest = std::max(longest, span);
        const std::vector<int> heard = heardSince(from);
        const auto afterTheEnd = std::find(heard.rbegin(), heard.rend(), 3);
        EXPECT_EQ(std::count(heard.rbegin(), afterTheEnd, 2), 0) << "the station after the end: " << shown(heard);
    }
    EXPECT_GE(longest, 0.95);
}

// Stop a moment into a file, then Play: the file is heard whole from its first sample, each of
// its one-second tones for a second, and the receiver goes off at its end. Run as an operator
// runs the program, without the real-time scheduling.
TEST_F(RecorderProgram, PlayAfterStopPlaysTheFileWholeFromItsStart)
{
    const QString file = dir.filePath("two.wav");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twoTones(1));
    }
    ASSERT_NO_FATAL_FAILURE(startReceiving(90, withoutRealTime));
    ASSERT_NO_FATAL_FAILURE(load(file));
    const qsizetype start = output().size();
    clickRecorderButton(1);
    ASSERT_NO_FATAL_FAILURE(clickOnceHeardThenQuiet(3, start, kLowHz, 0.45));

    const qsizetype from = output().size();
    clickRecorderButton(1);
    ASSERT_NO_FATAL_FAILURE(waitForTheEnd(from, kHighHz));
    const auto low = toneSince(from, kLowHz);
    const auto high = toneSince(from, kHighHz);
    std::printf("after Stop: %.2f s of %.0f Hz, then %.2f s of %.0f Hz\n", low.second - low.first, kLowHz,
                high.second - high.first, kHighHz);
    // A block is 42.7 ms: a block or two lost at the edges on a busy machine is allowed.
    EXPECT_NEAR(low.second - low.first, 1.0, 0.1) << "the first tone, from the file's first sample";
    EXPECT_NEAR(high.second - high.first, 1.0, 0.1) << "the second tone, to the file's end";
    EXPECT_LT(low.second, high.first + 0.05) << "the first tone comes first";
}

// Pause a moment into a file, then Play: playing goes on where it paused, with what the sound
// card held at the pause heard once, and the second tone is heard whole before the end
// switches the receiver off.
TEST_F(RecorderProgram, PlayAfterPauseGoesOnAndPlaysTheEndWhole)
{
    const QString file = dir.filePath("four.wav");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(twoTones(2));
    }
    ASSERT_NO_FATAL_FAILURE(startReceiving(90, withoutRealTime));
    ASSERT_NO_FATAL_FAILURE(load(file));
    const qsizetype start = output().size();
    clickRecorderButton(1);
    ASSERT_NO_FATAL_FAILURE(clickOnceHeardThenQuiet(2, start, kLowHz, 0.45));

    const qsizetype from = output().size();
    clickRecorderButton(1);
    ASSERT_NO_FATAL_FAILURE(waitForTheEnd(from, kHighHz));
    const auto lowBefore = toneSince(start, kLowHz, from - start);
    const auto lowAfter = toneSince(from, kLowHz);
    const auto high = toneSince(from, kHighHz);
    const double low = (lowBefore.second - lowBefore.first) + (lowAfter.second - lowAfter.first);
    std::printf("around Pause: %.2f s of %.0f Hz, then %.2f s of %.0f Hz\n", low, kLowHz, high.second - high.first,
                kHighHz);
    EXPECT_NEAR(low, 2.0, 0.1) << "the first tone, with nothing lost or repeated around the pause";
    EXPECT_NEAR(high.second - high.first, 2.0, 0.1) << "the second tone, to the file's end";
    EXPECT_LT(lowAfter.second, high.first + 0.05) << "the first tone comes first";
}

// A program stopped for two seconds while it records (a debugger, a suspended session, a
// machine that stalls) loses that stretch and what the sound server could not keep for it,
// as one stretch: the recording of a steady tone then holds one seam and nothing else.
TEST_F(RecorderProgram, AStallLosesOneStretchOfTheRecording)
{
    ASSERT_NO_FATAL_FAILURE(startReceiving(90));
    ASSERT_TRUE(runUntil([&] { return lastSeconds().first > 0.8; }, 30000)) << "the station is not heard\n"
                                                                            << programLog();
    const QString recording = QDir(home).filePath("~ORVIKWAV.TMP");
    const auto recordedSeconds = [&] { return (QFileInfo(recording).size() - 44) / (2.0 * kRate); };
    clickRecorderButton(0);
    ASSERT_TRUE(runUntil([&] { return recordedSeconds() > 4; }, 30000)) << "nothing was recorded\n" << programLog();
    const pid_t pid = static_cast<pid_t>(program.processId());
    ::kill(pid, SIGSTOP);
    // The stall itself: two seconds in which the program runs not at all.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ::kill(pid, SIGCONT);
    const double atResume = recordedSeconds();
    ASSERT_TRUE(runUntil([&] { return recordedSeconds() > atResume + 4; }, 30000)) << "the recording stopped\n"
                                                                                    << programLog();
    clickRecorderButton(3);
    ASSERT_NO_FATAL_FAILURE(waitUntilIdle());

    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 44);
    const auto dataBytes = std::min<qsizetype>(*reinterpret_cast<const uint32_t*>(bytes.constData() + 40),
                                               bytes.size() - 44);
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData() + 44);
    // The filters' rise at the start is not a seam.
    const int from = kRate / 2;
    const int count = static_cast<int>(dataBytes / 2) - from - kRate / 10;
    ASSERT_GT(count, 6 * kRate);
    const PhaseJumps seams = countPhaseJumps(samples + from, count);
    QString where;
    for (size_t i = 0; i < seams.jumps.size(); ++i)
        where += QString::number((from + seams.jumpAt[i]) / double(kRate), 'f', 2) + " s (" +
                 QString::number(seams.jumps[i], 'f', 1) + " samples) ";
    for (int at : seams.disturbedAt)
        where += QString::number((from + at) / double(kRate), 'f', 2) + " s (disturbed) ";
    std::printf("recording after a stall: %zu phase steps, %d disturbances: %s\n", seams.jumps.size(),
                seams.disturbances, qPrintable(where));
    EXPECT_LE(seams.jumps.size(), 1u) << where.toStdString() << "\n" << programLog();
    EXPECT_LE(seams.disturbances, 1) << where.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
