// The whole program on a virtual X server receiving an AM station (a 12 kHz carrier, 50 %
// modulated by 1 kHz) through a private sound server, in AM with the slowest AGC a settings
// block brings (10 s attack, 20 ms decay). The operator clicks "BC": within half a second of
// the click's sound the output is at the level BC settles at; and back to "AM": it comes in
// without a burst or a hole. Every time is a position in the recorded output, so a busy
// machine only makes the test take longer.

#include "tests/app/DisplaySandbox.h"
#include "tests/support/PulseAudioServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;

// The AM station's sub-band, recalled at start: its settings block switches the AGC on
// with row "u" at 10 s and 20 ms.
const char* const AmBandPlan = "[MainBand]\r\nName=Test\r\nActiveSubBand=0\r\n"
                               "[SubBand.0]\r\nFreqMin=5900000\r\nFreqMax=6200000\r\nFreqCurrent=6000000\r\n"
                               "DemodMode=0\r\nLowSideLO=False\r\nFilterMode=0\r\n"
                               "AGCOn=True\r\nAGCMode=4\r\nAGCAttack=100\r\nAGCDecay=200\r\n";

// Window pixels of the mode buttons: the frame "Mode" at (60, 1260) twips, the buttons
// 1110 x 240 twips at (90 + 1170 column, 210 + 255 row) in it, 15 twips a pixel.
constexpr int ModeButtonX(int index) { return (60 + 90 + (index % 2) * 1170 + 555) / 15; }
constexpr int ModeButtonY(int index) { return (1260 + 210 + (index / 2) * 255 + 120) / 15; }
constexpr int AM = 0;
constexpr int BC = 5;

struct Level {
    double mean = 0;
    double ac = 0; // rms about the mean, dB full scale
};

// The level heard: the detector of BC leaves its carrier's mean in the audio.
Level levelOf(const int16_t* s, int count)
{
    Level l;
    for (int i = 0; i < count; ++i)
        l.mean += s[i];
    l.mean /= count;
    double power = 0;
    for (int i = 0; i < count; ++i)
        power += (s[i] - l.mean) * (s[i] - l.mean);
    l.ac = 10 * std::log10(power / count / (32768.0 * 32768.0) + 1e-12);
    return l;
}

class ProgramModeChange : public DisplaySandbox {
protected:
    ProgramModeChange() : DisplaySandbox({QStringLiteral("setpriv")}) {}

    void TearDown() override
    {
        endProcess(recorder, 5000);
        DisplaySandbox::TearDown();
    }

    const int16_t* samples() const { return reinterpret_cast<const int16_t*>(output.constData()); }
    qsizetype recordedSamples()
    {
        output = fileContents("out.raw");
        return output.size() / 2;
    }

    // The program on the AM station (`carrier` counts), recorded from its start, until AM
    // has settled: the last second's level steady within a decibel over two half seconds.
    void startOnAMStation(double carrier)
    {
        const auto [capture, playback] = pulseDevices();
        ASSERT_GT(capture, 0);
        ASSERT_GT(playback, 0);
        ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
            AmBandPlan, QString("[frmMain]\nAutoStartSDR=True\nCurrentCaptureDevice=%1\nCurrentPlaybackDevice=%2\n"
                                "VFO1.IFType=0\n")
                            .arg(capture)
                            .arg(playback)));
        ASSERT_TRUE(PulseAudioServer::startRecorder(recorder, "appout.monitor", 1, dir.filePath("out.raw")));
        ASSERT_NO_FATAL_FAILURE(play(intermediateFrequency(120, true, carrier), "if.raw"));
        QProcessEnvironment env;
        env.insert("DISPLAY", xserver.name());
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        // As an operator runs it, without the right to raise its priority.
        ASSERT_NO_FATAL_FAILURE(startProgram(
            "xcb", {}, env, {"setpriv", "--bounding-set", "-sys_nice", "--inh-caps", "-sys_nice", "--"}));
        ASSERT_TRUE(runUntil(
            [&] {
                window = xserver.shownWindows("ORVIKSDR").value(0);
                return !window.isEmpty();
            },
            60000))
            << "the main window did not appear\n" << programLog();
        const bool settled = runUntil(
            [&] {
                const qsizetype n = recordedSamples();
                if (n < kRate)
                    return false;
                const Level first = levelOf(samples() + n - kRate, kRate / 2);
                const Level second = levelOf(samples() + n - kRate / 2, kRate / 2);
                am = levelOf(samples() + n - kRate, kRate);
                return first.ac > -30 && std::abs(first.ac - second.ac) < 1;
            },
            60000);
        ASSERT_TRUE(settled) << "no steady AM tone came out; " << output.size()
                             << " bytes recorded, the last second at " << am.ac << " dBFS\n" << programLog();
    }

    // Clicks a mode button; the position in the recording at the click.
    qsizetype click(int mode) { return clickAll({{ModeButtonX(mode), ModeButtonY(mode)}}); }

    // The click's sound: the first of five 20 ms pieces in a row, recorded from `from` on,
    // that `changed` finds no longer the mode before. Five, so that a gap in the sound is not
    // taken for it. -1 when none came.
    qsizetype heardFrom(qsizetype from, const std::function<bool(const Level&)>& changed)
    {
        qsizetype heard = -1;
        runUntil(
            [&] {
                const qsizetype n = recordedSamples();
                for (qsizetype at = from; at + 5 * kPiece <= n; at += kPiece / 4) {
                    bool run = true;
                    for (int k = 0; k < 5 && run; ++k)
                        run = changed(levelOf(samples() + at + k * kPiece, kPiece));
                    if (run) {
                        heard = at;
                        return true;
                    }
                }
                return false;
            },
            30000);
        return heard;
    }

    // Runs of 32 digital zeros or more: sound the sound server or recorder lost on the way (a
    // tone crosses zero between samples), not the program's level.
    std::vector<bool> lostIn(qsizetype from, qsizetype to)
    {
        std::vector<bool> lost(static_cast<size_t>(to - from), false);
        for (qsizetype i = from, run = 0; i < to; ++i) {
            run = samples()[i] == 0 ? run + 1 : 0;
            for (qsizetype k = run == 32 ? i - 31 : i; run >= 32 && k <= i; ++k)
                lost[static_cast<size_t>(k - from)] = true;
        }
        return lost;
    }
    // The largest step, or with `heard` the largest that touches no lost sound.
    int largestStep(qsizetype from, qsizetype to, bool heard = false)
    {
        const std::vector<bool> lost = heard ? lostIn(from, to) : std::vector<bool>(static_cast<size_t>(to - from));
        int step = 0;
        for (qsizetype i = from + 1; i < to; ++i)
            if (!lost[static_cast<size_t>(i - from)] && !lost[static_cast<size_t>(i - 1 - from)])
                step = std::max(step, std::abs(samples()[i] - samples()[i - 1]));
        return step;
    }
    // A setting's own step: that of the median 20 ms piece of a stretch of it, so that a slip
    // of the sound path there does not count.
    int ownStep(qsizetype from, qsizetype to)
    {
        std::vector<int> pieceSteps;
        for (qsizetype at = from; at + kPiece <= to; at += kPiece)
            pieceSteps.push_back(largestStep(at, at + kPiece));
        std::nth_element(pieceSteps.begin(), pieceSteps.begin() + pieceSteps.size() / 2, pieceSteps.end());
        return pieceSteps[pieceSteps.size() / 2];
    }

    // Clicks each of the window pixels in turn, a millisecond or so apart; the position in the
    // recording at the first.
    qsizetype clickAll(const std::vector<std::pair<int, int>>& pixels)
    {
        const qsizetype at = recordedSamples();
        QStringList args;
        for (auto [x, y] : pixels)
            args << "mousemove" << "--window" << window << QString::number(x) << QString::number(y) << "click" << "1";
        xserver.runClient("xdotool", args);
        return at;
    }

    static constexpr int kPiece = 1024;
    QByteArray output; // the recording as last read
    QProcess recorder;
    QString window;
    Level am; // AM's level once settled
};

// The AM tone's own level, or the mean BC leaves.
bool notAM(const Level& l, const Level& am)
{
    const double amRms = 32768.0 * std::pow(10.0, am.ac / 20);
    return std::abs(l.ac - am.ac) > 3 || std::abs(l.mean) > 0.1 * amRms;
}

TEST_F(ProgramModeChange, ClickingBCOnAnAMStationIsHeardAtBCsLevelWithinHalfASecond)
{
    ASSERT_NO_FATAL_FAILURE(startOnAMStation(8000));
    const qsizetype heard = heardFrom(click(BC), [&](const Level& l) { return notAM(l, am); });
    ASSERT_GE(heard, 0) << "the click on BC changed nothing heard\n" << programLog();

    // BC's own level: a second taken well after the longest attack time.
    ASSERT_TRUE(runUntil([&] { return recordedSamples() >= heard + 13 * kRate; }, 120000)) << "the output stopped";
    const Level bc = levelOf(samples() + heard + 12 * kRate, kRate);
    std::printf("AM %.1f dBFS; BC settles at %.1f dBFS; after the click's sound:", am.ac, bc.ac);
    for (int tenth = 0; tenth < 30; tenth += 2)
        std::printf(" %.1f s %.1f", tenth / 10.0, levelOf(samples() + heard + tenth * kRate / 10, kRate / 5).ac);
    std::printf("\n");

    // From half a second after the click's sound on, every fifth of a second is at BC's level.
    for (int tenth = 5; tenth < 25; tenth += 2) {
        const Level l = levelOf(samples() + heard + tenth * kRate / 10, kRate / 5);
        EXPECT_NEAR(l.ac, bc.ac, 6.0) << tenth / 10.0 << " s after the click's sound";
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(60000));
}

// Back from BC to AM on a station at -12 dBFS peak: in the second after AM is heard, no 5 ms
// window 20 dB below AM (a hole), no step beyond BC's peak plus AM's own step (a burst); and
// neither click steps beyond the modes' own steps with a little room (a click).
TEST_F(ProgramModeChange, ClickingAMAfterBCComesInWithoutABurstAHoleOrAClick)
{
    ASSERT_NO_FATAL_FAILURE(startOnAMStation(32768 * std::pow(10.0, -12 / 20.0) / 1.5));
    constexpr int kWindow = kRate / 200;
    const int amStep = ownStep(recordedSamples() - kRate, recordedSamples());
    const qsizetype bcClickedAt = click(BC);
    const qsizetype bcHeard = heardFrom(bcClickedAt, [&](const Level& l) { return notAM(l, am); });
    ASSERT_GE(bcHeard, 0) << "the click on BC changed nothing heard\n" << programLog();
    ASSERT_TRUE(runUntil([&] { return recordedSamples() >= bcHeard + 2 * kRate; }, 60000)) << "the output stopped";
    const Level bc = levelOf(samples() + bcHeard + kRate, kRate);
    const int bcStep = ownStep(bcHeard + kRate, bcHeard + 2 * kRate);
    const int toBCStep = largestStep(bcClickedAt, bcHeard + kRate, true);
    int bcPeak = 0;
    for (qsizetype i = bcHeard + kRate; i < bcHeard + 2 * kRate; ++i)
        bcPeak = std::max(bcPeak, std::abs(int{samples()[i]}));

    // Everything from the click on: BC until AM is heard, then AM.
    const qsizetype clickedAt = click(AM);
    const qsizetype amHeard = heardFrom(clickedAt, [&](const Level& l) { return std::abs(l.mean) < bc.mean / 2; });
    ASSERT_GE(amHeard, 0) << "the click on AM changed nothing heard\n" << programLog();
    const qsizetype end = amHeard + kRate;
    ASSERT_TRUE(runUntil([&] { return recordedSamples() >= end + kRate / 2; }, 60000)) << "the output stopped";
    // Windows that touch lost sound are left out.
    const std::vector<bool> lost = lostIn(clickedAt, end);
    double quietest = 0;
    qsizetype quietestAt = clickedAt;
    for (qsizetype at = clickedAt; at + kWindow <= end; ++at) {
        const auto w = lost.begin() + (at - clickedAt);
        const bool gap = std::find(w, w + kWindow, true) != w + kWindow;
        const double below = levelOf(samples() + at, kWindow).ac - am.ac;
        if (!gap && below < quietest) {
            quietest = below;
            quietestAt = at;
        }
    }
    const int step = largestStep(clickedAt, end);
    const int toAMStep = largestStep(clickedAt, end, true);
    // AM's gain after the change may be above its start's, which the start's peaks held down.
    const int amStepAfter = ownStep(end, end + kRate / 2);
    const double clickBound = 1.3 * std::max({amStep, amStepAfter, bcStep}) + 300;
    std::printf("AM %.1f dBFS, largest step %d (%d after the click); BC peak %d, largest step %d; the click on BC "
                "steps by %d; from the click on AM: AM heard after %.3f s, the quietest 5 ms %.1f dB below AM at "
                "%.3f s, the largest step %d (%d beside no lost sound), %d samples lost\n",
                am.ac, amStep, amStepAfter, bcPeak, bcStep, toBCStep, double(amHeard - clickedAt) / kRate, -quietest,
                double(quietestAt - clickedAt) / kRate, step, toAMStep, int(std::count(lost.begin(), lost.end(), true)));
    EXPECT_GT(quietest, -20) << "a hole " << double(quietestAt - amHeard) / kRate << " s after AM is heard";
    EXPECT_LE(step, bcPeak + amStep) << "a burst";
    EXPECT_LE(toBCStep, clickBound) << "a click going to BC";
    EXPECT_LE(toAMStep, clickBound) << "a click going back to AM";

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(60000));
}

// The notch's on/off box in frNotch at (12000, 2460) twips, 15 twips a pixel.
constexpr std::pair<int, int> NotchBox{(12000 + 60 + 100) / 15, (2460 + 195 + 112) / 15};

// The manual notch (on the station's 1 kHz) switched on and off alone, a millisecond after a
// mode click and a millisecond before one: in the second after each, no step beyond the
// settings' own steps with a little room.
TEST_F(ProgramModeChange, TheNotchSwitchesWithoutAClickAloneAndBesideAModeClick)
{
    ASSERT_NO_FATAL_FAILURE(startOnAMStation(32768 * std::pow(10.0, -12 / 20.0) / 1.5));
    const std::pair<const char*, std::vector<std::pair<int, int>>> clicks[] = {
        {"notch on", {NotchBox}},
        {"notch off", {NotchBox}},
        {"BC, then the notch on", {{ModeButtonX(BC), ModeButtonY(BC)}, NotchBox}},
        {"the notch off, then AM", {NotchBox, {ModeButtonX(AM), ModeButtonY(AM)}}},
    };
    std::vector<qsizetype> at{recordedSamples() - kRate};
    for (const auto& [name, pixels] : clicks) {
        const qsizetype from = recordedSamples();
        at.push_back(clickAll(pixels));
        ASSERT_TRUE(runUntil([&] { return recordedSamples() >= from + 2 * kRate; }, 60000)) << "the output stopped";
    }
    const qsizetype end = recordedSamples();
    for (size_t k = 1; k < at.size(); ++k) {
        const qsizetype next = k + 1 < at.size() ? at[k + 1] : end;
        const int before = ownStep(at[k - 1] + (k == 1 ? 0 : kRate), at[k]);
        const int after = ownStep(at[k] + kRate, next);
        const int step = largestStep(at[k], at[k] + kRate, true);
        std::printf("%s: the largest step %d, the settings' own %d and %d\n", clicks[k - 1].first, step, before, after);
        EXPECT_LE(step, 1.3 * std::max(before, after) + 300) << clicks[k - 1].first;
    }

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(60000));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
