// The whole program, made as main() makes it, with the real sound path through a private
// PulseAudio server: a 12 kHz IF carrying a 1 kHz AM tone goes into "inject", the recorder's
// Record, Stop and Save buttons record a few seconds, the saved file must hold the tone and
// name the tuned frequency, and Load and Play must bring the tone out of "appout" again
// while the IF is silent.

#include "app/MainWindowRecorder.h"
#include "app/frmMain.h"
#include "platform/DialogService.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/PortAudioSoundBackend.h"
#include "recorder/WavFormat.h"
#include "tests/support/PulseAudioServer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>

namespace {

using namespace orvik;
using namespace orvik::soundtest;

constexpr int kRate = 48000;

QByteArray intermediateFrequency(double seconds, bool modulated)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    for (int i = 0; i < frames && modulated; ++i) {
        const double t = double(i) / kRate;
        const double envelope = 8000.0 * (1.0 + 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * t));
        s[2 * i] = static_cast<int16_t>(std::lround(envelope * std::cos(2 * std::numbers::pi * 12000.0 * t)));
    }
    return raw;
}

// Share of the power in the 1 kHz component, and the rms.
std::pair<double, double> toneShare(const int16_t* s, int count, int rate)
{
    double mean = 0;
    for (int i = 0; i < count; ++i)
        mean += s[i];
    mean /= count;
    double power = 0, re = 0, im = 0;
    for (int i = 0; i < count; ++i) {
        const double x = s[i] - mean;
        power += x * x;
        const double phase = 2 * std::numbers::pi * 1000.0 * i / rate;
        re += x * std::cos(phase);
        im += x * std::sin(phase);
    }
    const double tone = 2 * (re * re + im * im) / count;
    return {power > 0 ? tone / power : 0, std::sqrt(power / count)};
}

// The median of the half-second windows: a block lost to a busy machine spoils one window,
// not the verdict.
std::pair<double, double> medianWindow(const int16_t* s, int count)
{
    std::vector<std::pair<double, double>> windows;
    for (int at = 0; at + kRate / 2 <= count; at += kRate / 2)
        windows.push_back(toneShare(s + at, kRate / 2, kRate));
    if (windows.empty())
        return {0, 0};
    std::sort(windows.begin(), windows.end());
    return windows[windows.size() / 2];
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

class RecorderAudio : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        home = dir.filePath("home");
        QDir().mkpath(home);
        QDir().mkpath(dir.filePath("shipped"));
        const QString problem = server.start(dir.path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        setMessageService(&shown);
        setDialogService(&dialogs);
    }

    void TearDown() override
    {
        if (window)
            window->Form_Unload();
        window.reset();
        setDialogService(nullptr);
        setMessageService(nullptr);
        for (QProcess* process : {&player, &parec})
            endProcess(*process, 5000);
        server.stop();
    }

    void play(const QByteArray& raw, const QString& name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
        f.close();
        endProcess(player, 5000);
        ASSERT_TRUE(PulseAudioServer::startPlayer(player, "inject", f.fileName()));
    }

    QByteArray output() const
    {
        QFile f(dir.filePath("out.raw"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The 1 kHz share and rms of the last two seconds that came out of the program.
    std::pair<double, double> lastSeconds() const
    {
        const QByteArray out = output();
        const int n = static_cast<int>(out.size() / 2);
        if (n < 2 * kRate)
            return {0, 0};
        return medianWindow(reinterpret_cast<const int16_t*>(out.constData()) + n - 2 * kRate, 2 * kRate);
    }

    void click(int index)
    {
        auto* button = window->findChild<QAbstractButton*>(QStringLiteral("cmdWavCtls_%1").arg(index));
        ASSERT_NE(button, nullptr);
        button->click();
    }

    QTemporaryDir dir;
    QString home;
    PulseAudioServer server;
    QProcess player, parec;
    RecordingMessageService shown;
    ScriptedDialogService dialogs;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<PortAudioSoundBackend> backend;
    std::unique_ptr<frmMain> window;
};

TEST_F(RecorderAudio, ARecordedToneIsSavedWithItsFrequencyAndPlaysBack)
{
    backend = std::make_unique<PortAudioSoundBackend>();
    const int capture = pulseDeviceNumber(backend->captureDeviceNames());
    const int playback = pulseDeviceNumber(backend->playbackDeviceNames());
    ASSERT_GT(capture, 0);
    ASSERT_GT(playback, 0);
    {
        QFile band(QDir(home).filePath("Test.bpl"));
        ASSERT_TRUE(band.open(QIODevice::WriteOnly));
        band.write("[MainBand]\r\nName=Test\r\n");
    }
    store = std::make_unique<SettingsStore>(dir.filePath("ORVIKSDR.ini"));
    store->write("frmMain", "AutoStartSDR", "True");
    store->write("frmMain", "CurrentCaptureDevice", QString::number(capture));
    store->write("frmMain", "CurrentPlaybackDevice", QString::number(playback));
    store->write("frmMain", "VFO1.IFType", "1");

    ASSERT_TRUE(PulseAudioServer::startRecorder(parec, "appout.monitor", 1, dir.filePath("out.raw")));
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(40, true), "am.raw"));
    window = std::make_unique<frmMain>(frmMain::Services{*store, *backend, home, dir.filePath("shipped")});
    ASSERT_EQ(window->Form_Initialize({}), 0);
    ASSERT_TRUE(runUntil([&] { return lastSeconds().second > 100; }, 30000)) << "no audio came out of the program";
    runUntil([] { return false; }, 1500);
    const auto [receivedShare, receivedRms] = lastSeconds();
    ASSERT_GT(receivedShare, 0.8);

    // Receiving alone, then receiving and recording, over the same time.
    double cpu = processCpuSeconds();
    runUntil([] { return false; }, 4000);
    const double receiving = processCpuSeconds() - cpu;
    click(0);
    clsWavFile& wav = window->recorder()->WavFile();
    ASSERT_EQ(wav.PlayerMode(), clsWavFile::kRecording);
    cpu = processCpuSeconds();
    runUntil([] { return false; }, 4000);
    const double recording = processCpuSeconds() - cpu;
    std::printf("process CPU over 4 s: receiving %.3f s, receiving and recording %.3f s\n", receiving, recording);
    EXPECT_GT(wav.SamplesQueued(), 3 * kRate);

    click(3);
    const QString saved = dir.filePath("saved.wav");
    dialogs.queueFile(saved);
    click(8);
    ASSERT_TRUE(QFile::exists(saved)) << (shown.shown().empty() ? std::string() : shown.shown()[0].text.toStdString());

    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const wav::ParsedHeader head = wav::ParseWavHeader(bytes, bytes.size());
    ASSERT_EQ(head.rate, 48000);
    ASSERT_GT(head.dataBytes, 2 * 3 * kRate);
    const auto* audio = reinterpret_cast<const int16_t*>(bytes.constData() + 44);
    const int samples = static_cast<int>(head.dataBytes / 2);
    const auto [fileShare, fileRms] = medianWindow(audio + kRate / 2, samples - kRate / 2);
    EXPECT_GT(fileShare, 0.8);
    EXPECT_GT(fileRms, 1000);
    const QByteArray trailer = bytes.mid(static_cast<int>(44 + head.dataBytes));
    ASSERT_TRUE(trailer.startsWith("ORVIK"));
    QByteArray text;
    for (int i = 5; i < trailer.size(); i += 2)
        text += trailer[i];
    ASSERT_TRUE(text.startsWith("F=")) << text.toStdString();
    const QByteArray frequency = text.mid(2, 10);

    // Silence on the IF: what comes out now is the file.
    ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(40, false), "silence.raw"));
    dialogs.queueFile(saved);
    click(7);
    ASSERT_EQ(wav.NumberOfTracks(), 1);
    click(1);
    EXPECT_EQ(wav.PlayerMode(), clsWavFile::kPlaying);
    EXPECT_TRUE(window->powerOn()) << "Play switches the receiver on";
    runUntil([] { return false; }, 3000);
    const auto [playedShare, playedRms] = lastSeconds();
    EXPECT_GT(playedShare, 0.8);
    EXPECT_GT(playedRms, receivedRms / 10);
    std::printf("1 kHz share: received %.2f, in the file %.2f, played back %.2f\n", receivedShare, fileShare,
                playedShare);

    window->close();
    window.reset();
    SettingsStore reread(dir.filePath("ORVIKSDR.ini"));
    EXPECT_EQ(frequency.toLongLong(), reread.read("frmMain", "LastTunedFrequency", "-1").toLongLong())
        << "the track names the tuned frequency";
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // also when the test list is read
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
