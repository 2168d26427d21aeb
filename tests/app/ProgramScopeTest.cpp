// The whole program with its spectrum display on a virtual X server: an AM signal (12 kHz
// carrier, 1 kHz tone) played into a private sound server, the program receiving it, each
// tap point chosen with a pointer click, and the window grabbed. On each grab the trace's
// peak must stand at the X its frequency gives on the graticule: the carrier for the three
// IF tap points, the 1 kHz tone for "AF Out". A click on the IF spectrum then retunes the
// receiver to the kilohertz under the pointer: the synthesizer gets its tuning word through
// the recorded serial port, and the program saves the frequency when it ends. Zoomed in
// with the keyboard on the X width adjuster, a click on a signal's peak tunes to it. Zoomed
// by dragging the X width slider, the display keeps the zoom through the tune timer's ticks.

#include "tests/app/PortRecord.h"
#include "tests/app/DisplaySandbox.h"
#include "tests/support/PulseAudioServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <numbers>
#include <unistd.h>

namespace {

using namespace orvik::soundtest;

constexpr int kRate = 48000;
// The page in the window's client area, pixels: the scope container at (60, 3690) twips,
// the page at (30, 180) in it, 9000 twips across.
constexpr int PageLeft = 6;
constexpr int PageTop = 258;
constexpr int PageWidth = 600;
constexpr int PageHeight = 178;
// The tap points' option buttons: picScopeCtls at (9720, 30) in the container, the
// buttons at (3180, 60 + 240 i) in it.
constexpr int OptionX = 880;
constexpr int OptionY0 = 260;
constexpr int OptionStep = 16;

QByteArray amSignal(double seconds, double carrier = 12000)
{
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray raw(frames * 4, '\0');
    auto* s = reinterpret_cast<int16_t*>(raw.data());
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double envelope = 8000.0 * (1.0 + 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * t));
        s[2 * i] = static_cast<int16_t>(std::lround(envelope * std::cos(2 * std::numbers::pi * carrier * t)));
    }
    return raw;
}

// Column of the trace's highest point on the page (the middle of a flat top), -1 if none.
int peakColumn(const QImage& image, QRgb trace)
{
    int bestY = image.height();
    int first = -1, last = -1;
    for (int x = PageLeft; x < PageLeft + PageWidth && x < image.width(); ++x)
        for (int y = PageTop; y < PageTop + PageHeight && y < image.height(); ++y)
            if ((image.pixel(x, y) & 0xFFFFFF) == (trace & 0xFFFFFF)) {
                if (y < bestY) {
                    bestY = y;
                    first = last = x;
                } else if (y == bestY && last == x - 1) {
                    last = x;
                }
                break;
            }
    return first < 0 ? -1 : (first + last) / 2;
}

class ProgramScope : public DisplaySandbox {
protected:
    ProgramScope() : DisplaySandbox({QStringLiteral("xwd"), QStringLiteral("convert")}) {}

    void SetUp() override
    {
        DisplaySandbox::SetUp();
        if (readyForTest())
            display = xserver.name();
    }

    QString x(const QString& tool, const QStringList& arguments) { return xserver.runClient(tool, arguments); }

    QImage grab(const QString& window, const QString& name) { return xserver.grab(window, dir.filePath(name + ".png")); }

    // Grabs the window until its trace peaks within 4 pixels of `expected` or the
    // deadline passes (sound starting, the AGC settling and a busy machine drawing late
    // all take their time); the column of the last grab, -1 without any picture.
    int peakColumnWhenDrawn(const QString& name, double expected)
    {
        int column = -1;
        runUntil(
            [&] {
                const QImage image = grab(window, name);
                column = image.isNull() ? -1 : peakColumn(image, qRgb(0, 255, 0));
                return column >= 0 && std::abs(column - expected) <= 4;
            },
            60000);
        return column;
    }

    void startScopeProgram(double carrier = 12000)
    {
        const auto [capture, playback] = pulseDevices();
        ASSERT_GT(capture, 0);
        ASSERT_GT(playback, 0);
        // The spectrum on and on the log scale at half gain, so the peak stays inside the
        // page; channel 2 off, so the one green trace is channel 1.
        ASSERT_NO_FATAL_FAILURE(writeBandPlanAndSettings(
            "[MainBand]\r\nName=Test\r\n",
            QString("[frmMain]\nAutoStartSDR=True\nCurrentCaptureDevice=%1\nCurrentPlaybackDevice=%2\n"
                    "VFO1.IFType=0\nSpectrumAnalyserOn=1\nExtendedDisplay=FALSE\nStandardDisplay=FALSE\n"
                    "CompactDisplay=FALSE\nFullDisplay=TRUE\n"
                    "[VFO1.VESKA]\nTunedFrequency=70880000\nHiSideLo=True\n"
                    "[SpectrumAnalyser]\nActive=True\nMode=0\n"
                    "[SpectrumAnalyser.Mode.0]\nLogMode=True\nFastMode=True\nChn1.Gain=0.5\n"
                    "Chn2.Enabled=False\n")
                .arg(capture)
                .arg(playback)));
        ASSERT_NO_FATAL_FAILURE(play(amSignal(60, carrier), "am.raw"));

        QProcessEnvironment env;
        env.insert("DISPLAY", display);
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + dir.filePath("synth.txt"));
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {}, env));
        // A sanitizer build starting on a loaded machine can take many seconds.
        // Only the shown one: Qt keeps a hidden window of the same title.
        const auto shown = [&] {
            window = xserver.shownWindows("ORVIKSDR").value(0);
            return !window.isEmpty();
        };
        ASSERT_TRUE(runUntil(shown, 60000))
            << "the main window did not appear\n" << programLog();
    }

    QString display, window;
};

TEST_F(ProgramScope, EachTapPointDrawsThePeakWhereItsFrequencyLiesAndAClickTunesThere)
{
    ASSERT_NO_FATAL_FAILURE(startScopeProgram());

    // Full span: 1023 bins of 23.4375 Hz across 600 pixels for the IF taps; "AF Out" spans
    // 256 bins (6000 Hz).
    const double carrier = PageLeft + 12000 / 23.4375 * PageWidth / 1023;
    const double tone = PageLeft + 1000 / 23.4375 * PageWidth / 256;
    const double expected[] = {carrier, carrier, carrier, tone};
    const char* names[] = {"IF in", "Pre Demod", "Post Demod", "AF Out"};
    for (int tap : {0, 1, 2, 3}) {
        x("xdotool", {"mousemove", "--window", window, QString::number(OptionX),
                      QString::number(OptionY0 + OptionStep * tap), "click", "1"});
        const int column = peakColumnWhenDrawn(QString("tap%1").arg(tap), expected[tap]);
        ASSERT_GE(column, 0) << "no picture of the window with a trace on it";
        EXPECT_NEAR(column, expected[tap], 4) << names[tap];
        std::printf("%s: peak at x %d, expected %.1f\n", names[tap], column, expected[tap]);
    }

    const double before = cpuSeconds(program.processId());
    runUntil([] { return false; }, 5000);
    std::printf("program receiving with the spectrum display: %.1f %% of one core\n",
                (cpuSeconds(program.processId()) - before) / 5.0 * 100);

    // Click-to-tune on the IF span around 7.088 MHz: page pixel 394 is bin 394 x 1024 / 600
    // = 672.4, 7 076 000 + 23.4375 x 672.4 = 7 091 760 Hz, which tunes to 7 092 kHz.
    x("xdotool", {"mousemove", "--window", window, QString::number(OptionX), QString::number(OptionY0), "click", "1"});
    ASSERT_NEAR(peakColumnWhenDrawn("back-to-if", carrier), carrier, 4) << "the IF span did not come back";
    // A move first, so that the click's own position arrives as a move too.
    x("xdotool", {"mousemove", "--window", window, QString::number(PageLeft + 390), "300"});
    x("xdotool", {"mousemove", "--window", window, QString::number(PageLeft + 394), "300", "click", "1"});
    const uint32_t word = orvik::testing::ad9951WordFor(70920000);
    auto sent = [&] {
        const auto words = orvik::testing::ad9951WordsInRecord(dir.filePath("synth.txt"));
        return std::find(words.begin(), words.end(), word) != words.end();
    };
    EXPECT_TRUE(runUntil(sent, 30000)) << "the synthesizer did not get the word of 7 092 kHz";
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(60000));
    QFile ini(config + "/ORVIKSDR/ORVIKSDR.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(saved.contains("LastTunedFrequency=70920000")) << saved.toStdString();
}

// Zoomed in with the X width adjuster, as an operator zooms (the pointer over its label,
// shift+Z steps it down by 50 bins), a click on the signal's peak tunes to the signal: the
// carrier 2 kHz above the IF centre is at 7 090 kHz.
TEST_F(ProgramScope, AClickOnAZoomedSpectrumTunesToTheSignalUnderThePointer)
{
    ASSERT_NO_FATAL_FAILURE(startScopeProgram(14000));
    x("xdotool", {"mousemove", "--window", window, QString::number(OptionX), QString::number(OptionY0), "click", "1"});
    auto peakNear = [&](double column, const QString& name) {
        return [&, column, name] {
            const QImage image = grab(window, name);
            return !image.isNull() && std::abs(peakColumn(image, qRgb(0, 255, 0)) - column) <= 4;
        };
    };
    // Full span: 1023 bins across 600 pixels.
    const double carrierBin = 14000 / 23.4375;
    ASSERT_TRUE(runUntil(peakNear(PageLeft + carrierBin * PageWidth / 1023, "full"), 30000))
        << "no peak at the carrier's column\n" << programLog();

    // lblScopeXWidth: the sweep frame at (60, 2160) in picScopeCtls, the label at (720, 195).
    const int labelX = (60 + 9720 + 60 + 720) / 15 + 20;
    const int labelY = (3690 + 30 + 2160 + 195) / 15 + 7;
    x("xdotool", {"mousemove", "--window", window, QString::number(labelX), QString::number(labelY)});
    x("xdotool", {"key", "--window", window, "--repeat", "12", "--delay", "30", "shift+z"});
    // Width 1023 - 12 x 50 = 423 bins around bin 511: bins 300 to 723 across the page.
    const double zoomed = PageLeft + (carrierBin - 300) * PageWidth / 423;
    ASSERT_TRUE(runUntil(peakNear(zoomed, "zoomed"), 15000)) << "the spectrum did not zoom";
    const int column = peakColumn(grab(window, "zoomed"), qRgb(0, 255, 0));
    x("xdotool", {"mousemove", "--window", window, QString::number(column - 3), "300"});
    x("xdotool", {"mousemove", "--window", window, QString::number(column), "300", "click", "1"});
    const uint32_t word = orvik::testing::ad9951WordFor(70900000);
    auto sent = [&] {
        const auto words = orvik::testing::ad9951WordsInRecord(dir.filePath("synth.txt"));
        return std::find(words.begin(), words.end(), word) != words.end();
    };
    EXPECT_TRUE(runUntil(sent, 10000)) << "the synthesizer did not get the word of 7 090 kHz";
}

// The X width slider dragged with the pointer zooms the spectrum, and the zoom lasts while the
// tune timer re-applies the X adjusters on every tick: the carrier 2 kHz above the IF centre
// moves right of its full-span column and stays there.
TEST_F(ProgramScope, AZoomDraggedOnTheWidthSliderLasts)
{
    ASSERT_NO_FATAL_FAILURE(startScopeProgram(14000));
    x("xdotool", {"mousemove", "--window", window, QString::number(OptionX), QString::number(OptionY0), "click", "1"});
    const double carrierBin = 14000 / 23.4375;
    const double full = PageLeft + carrierBin * PageWidth / 1023;
    int column = -1;
    auto peakAt = [&](const QString& name) {
        const QImage image = grab(window, name);
        column = image.isNull() ? -1 : peakColumn(image, qRgb(0, 255, 0));
        return column;
    };
    ASSERT_TRUE(runUntil([&] { return std::abs(peakAt("full") - full) <= 4; }, 30000))
        << "no peak at the carrier's column\n" << programLog();

    // sldXWidth: the sweep frame at (60, 2160) in picScopeCtls, the slider at (1920, 195) in
    // it, 1080 x 210 twips. A right click selects the full width, which puts the handle at
    // the right end; it is then dragged 40 pixels to the left.
    const int sliderLeft = (60 + 9720 + 60 + 1920) / 15;
    const int sliderY = (3690 + 30 + 2160 + 195 + 105) / 15;
    const int sliderRight = sliderLeft + 1080 / 15;
    auto move = [&](int px) {
        x("xdotool", {"mousemove", "--window", window, QString::number(px), QString::number(sliderY)});
    };
    move(sliderLeft + 50);
    x("xdotool", {"click", "3"});
    const int handle = sliderRight - 5;
    move(handle);
    x("xdotool", {"mousedown", "1"});
    for (int dx = 5; dx <= 40; dx += 5)
        move(handle - dx);
    x("xdotool", {"mouseup", "1"});

    // X events come in order: the frequency read-out a move onto the page shows is drawn
    // only once the drag's last move is handled. A frame after that has the final zoom.
    const QRect readOut(PageLeft + 30, PageTop + 10, 100, 16);
    const QImage beforeReadOut = grab(window, "before-read-out");
    ASSERT_FALSE(beforeReadOut.isNull());
    x("xdotool", {"mousemove", "--window", window, QString::number(readOut.x()), QString::number(readOut.y())});
    auto pixelsWhere = [](const QImage& image, const QRect& area, auto&& test) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += test(image.pixel(x, y), x, y);
        return n;
    };
    QImage shown;
    ASSERT_TRUE(runUntil(
        [&] {
            shown = grab(window, "read-out");
            return !shown.isNull() && pixelsWhere(shown, readOut, [&](QRgb p, int x, int y) {
                       return p != beforeReadOut.pixel(x, y) && qRed(p) == 0 && qGreen(p) == qBlue(p) && qBlue(p) > 0;
                   }) > 20;
        },
        15000))
        << "no frequency read-out under the pointer";
    const QRect page(PageLeft, PageTop, PageWidth, PageHeight);
    const QRgb trace = qRgb(0, 255, 0);
    auto newFrame = [&] {
        const QImage image = grab(window, "zoomed");
        column = image.isNull() ? -1 : peakColumn(image, trace);
        return !image.isNull() && pixelsWhere(image, page, [&](QRgb p, int x, int y) {
                   return !readOut.contains(x, y) && (p == trace) != (shown.pixel(x, y) == trace);
               }) > 0;
    };
    ASSERT_TRUE(runUntil(newFrame, 15000)) << "no frame drawn after the read-out";
    ASSERT_GT(column, full + 20) << "the spectrum did not zoom: the peak is at " << column << ", " << full
                                 << " at full width";
    const int zoomed = column;
    // The tune timer ticks every 50 ms: over two seconds the range is set forty times more.
    QElapsedTimer watched;
    watched.start();
    int grabs = 0;
    while (watched.elapsed() < 2000) {
        ASSERT_NEAR(peakAt("kept"), zoomed, 3) << "after " << watched.elapsed() << " ms";
        ++grabs;
    }
    EXPECT_GT(grabs, 1);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
