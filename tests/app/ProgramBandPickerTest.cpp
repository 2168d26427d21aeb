// The program binary on a virtual X server, its pickers used with the pointer as an operator
// uses them, the window holding the keyboard focus: "Amateur" chosen in the band picker, a
// sub-band from the sub-band picker's list, a step from the tuning-step list, then a sub-band
// button. The synthesizer's words are read from the recorded serial port; what lblSubBand and
// the rate label show after each choice is read from the trace, and the band picker's folding
// from the window's pixels.

#include "tests/app/PortRecord.h"
#include "tests/app/ProgramFolders.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

using orvik::soundtest::VirtualDisplay;
using orvik::testing::ad9951WordFor;
using orvik::testing::ad9951WordsInRecord;
using orvik::testing::pollUntil;
using orvik::testing::readFile;
using orvik::testing::StartedLine;
using orvik::testing::traceLines;
using orvik::testing::writeFile;

const QByteArray AmateurPlan = "[MainBand]\r\nName=Amateur\r\nActiveSubBand=0\r\nNumSubBands=3\r\n"
                               "[SubBand.0]\r\nCaption=160m\r\nFreqMin=1810000\r\nFreqMax=2000000\r\n"
                               "FreqCurrent=1843000\r\nDemodMode=2\r\nLowSideLO=False\r\nTuneStep=1000\r\n"
                               "[SubBand.1]\r\nCaption=80m\r\nFreqMin=3500000\r\nFreqMax=3800000\r\n"
                               "FreqCurrent=3690000\r\nDemodMode=2\r\nLowSideLO=False\r\nTuneStep=1000\r\n"
                               "[SubBand.2]\r\nCaption=40m\r\nFreqMin=7000000\r\nFreqMax=7200000\r\n"
                               "FreqCurrent=7074000\r\nDemodMode=1\r\nLowSideLO=False\r\nTuneStep=1000\r\n";
const QByteArray BroadcastPlan = "[MainBand]\r\nName=Broadcast\r\nActiveSubBand=0\r\nNumSubBands=1\r\n"
                                 "[SubBand.0]\r\nCaption=LW\r\nFreqMin=148500\r\nFreqMax=283500\r\n"
                                 "FreqCurrent=198000\r\nDemodMode=0\r\nLowSideLO=False\r\nTuneStep=90000\r\n";

// Window pixels of the standard display size: the upper half of the band picture (where
// the band picker comes up), the upper part of the band picker (above the frame's border),
// the sub-band label, the rate label, the "40m" sub-band button and a spot of bare window.
const QPoint BandPicture(420, 90);
const QRect BandPicker(350, 88, 140, 10);
const QPoint SubBandLabel(588, 96);
const QPoint RateLabel(580, 22);
const QPoint FortyMetres(340, 118);
const QPoint BareWindow(830, 2);

class ProgramBandPicker : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwd", "convert"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(folders.root.isValid());
        ASSERT_TRUE(writeFile(folders.home + "/Amateur.bpl", AmateurPlan));
        ASSERT_TRUE(writeFile(folders.home + "/Broadcast.bpl", BroadcastPlan));
        // The serial AD9951 on the recorded port; the program starts on "Broadcast".
        ASSERT_TRUE(writeFile(folders.iniFile(),
                              "[frmMain]\nVFO1.IFType=0\nAutoStartSDR=False\nCurrentMainBandIndex=1\n"
                              "ExtendedDisplay=FALSE\nStandardDisplay=TRUE\nCompactDisplay=FALSE\nFullDisplay=FALSE\n"));
        const QString problem = xserver.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
        xserver.stop();
    }

    QString x(const QStringList& arguments) { return xserver.runClient("xdotool", arguments); }

    QStringList shownWindows() { return xserver.shownWindows("ORVIKSDR"); }

    // Every shown window of the program (the list of an open picker is one of its own).
    QStringList programWindows()
    {
        return x({"search", "--onlyvisible", "--pid", QString::number(program.processId())})
            .split('\n', Qt::SkipEmptyParts);
    }
    // The window that appears beside those shown before.
    QString newWindow(const QStringList& before)
    {
        QString found;
        pollUntil([&] {
            for (const QString& w : programWindows())
                if (!before.contains(w))
                    found = w;
            return !found.isEmpty();
        }, 30000);
        return found;
    }
    QRect geometryOf(const QString& id)
    {
        QRect r;
        for (const QString& line : x({"getwindowgeometry", "--shell", id}).split('\n')) {
            const QString value = line.section('=', 1);
            if (line.startsWith("X="))
                r.moveLeft(value.toInt());
            else if (line.startsWith("Y="))
                r.moveTop(value.toInt());
            else if (line.startsWith("WIDTH="))
                r.setWidth(value.toInt());
            else if (line.startsWith("HEIGHT="))
                r.setHeight(value.toInt());
        }
        return r;
    }
    // Presses the picker under `at`, drags onto entry `row` of the `rows` in its open list and
    // lets go there, as a hand does. False when no list opened.
    bool choose(QPoint at, int row, int rows)
    {
        const QStringList before = programWindows();
        x({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()), "mousedown", "1"});
        const QString list = newWindow(before);
        if (list.isEmpty()) {
            x({"mouseup", "1"});
            return false;
        }
        // The list's frame is 2 pixels each side; its entries share the rest.
        const QRect r = geometryOf(list);
        const double entry = (r.height() - 4) / double(rows);
        const int y = r.top() + 2 + int(entry * (row + 0.5));
        x({"mousemove", QString::number(r.left() + r.width() * 3 / 4), QString::number(y), "mouseup", "1"});
        return true;
    }

    bool traced(const QString& line)
    {
        return pollUntil([&] { return traceLines(folders.logFile()).contains(line); });
    }
    bool chipTunedTo(int64_t tenths)
    {
        const uint32_t word = ad9951WordFor(tenths);
        return pollUntil([&] {
            const auto words = ad9951WordsInRecord(record);
            return !words.empty() && words.back() == word;
        });
    }
    // How many colours a rectangle of the window shows on the X server: one where nothing
    // but the background is drawn, many where a picker shows its frame and text.
    int coloursIn(QRect area)
    {
        const QImage image = xserver.grab(window, folders.root.filePath("window.png"));
        if (image.isNull())
            return -1;
        QSet<QRgb> colours;
        for (int py = area.top(); py <= area.bottom(); ++py)
            for (int px = area.left(); px <= area.right(); ++px)
                colours.insert(image.pixel(px, py));
        return int(colours.size());
    }
    bool pickerShown() { return coloursIn(BandPicker) > 10; }
    bool pickerFolded() { return coloursIn(BandPicker) == 1; }

    void startProgram()
    {
        QProcessEnvironment env = folders.environment("xcb");
        env.insert("DISPLAY", xserver.name());
        // The step list writes 2.5 with the locale's decimal separator.
        env.insert("LC_ALL", "C");
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + record);
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(folders.root.filePath("program.log"));
        program.setStandardErrorFile(folders.root.filePath("program.log"));
        program.start(QStringLiteral(ORVIKSDR_PROGRAM), {"trace"});
        ASSERT_TRUE(program.waitForStarted(30000));
        ASSERT_TRUE(pollUntil([&] { return traceLines(folders.logFile()).contains(StartedLine); }))
            << "the start-up did not end\n" << readFile(folders.root.filePath("program.log")).toStdString();
        // The log window has a title of its own; the main window is the one shown as "ORVIKSDR".
        ASSERT_TRUE(pollUntil([&] { return !shownWindows().isEmpty(); })) << "the main window did not appear";
        window = shownWindows().first();
        // Above the log window, with the keyboard focus, as while a user works in it.
        x({"windowraise", window, "windowfocus", "--sync", window});
    }

    orvik::testing::ProgramFolders folders;
    QString record = folders.root.filePath("synth.txt");
    VirtualDisplay xserver;
    QProcess program;
    QString window;
};

} // namespace

TEST_F(ProgramBandPicker, TheOperatorChoosesBandSubBandAndStepWithThePointer)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(chipTunedTo(1980000)) << "the start did not recall Broadcast's LW";

    // Start-up folds the band picker away; the band picture brings it up under the pointer.
    ASSERT_TRUE(pollUntil([&] { return pickerFolded(); })) << "the band picker is not folded at start";
    ASSERT_TRUE(choose(BandPicture, 0, 2)) << "the band picker's list did not open";
    EXPECT_TRUE(chipTunedTo(18430000)) << "choosing Amateur did not recall its 160 m";
    EXPECT_TRUE(traced("frmMain:frmMain:cboBandSelect_Click:lblSubBand= 160m "));
    // The picker stays up after the choice, and folds once the pointer is on the bare window.
    x({"mousemove", "--window", window, QString::number(BandPicture.x()), QString::number(BandPicture.y())});
    EXPECT_TRUE(pollUntil([&] { return pickerShown(); })) << "the band picker went after the choice";
    x({"mousemove", "--window", window, QString::number(BareWindow.x()), QString::number(BareWindow.y())});
    EXPECT_TRUE(pollUntil([&] { return pickerFolded(); })) << "the bare window did not fold the picker";

    // The sub-band picker comes up over its label; "80m" from its list.
    x({"mousemove", "--window", window, QString::number(SubBandLabel.x()), QString::number(SubBandLabel.y())});
    ASSERT_TRUE(choose(SubBandLabel, 1, 3)) << "the sub-band picker's list did not open";
    EXPECT_TRUE(chipTunedTo(36900000)) << "choosing 80m did not tune 3.690 MHz";
    EXPECT_TRUE(traced("frmMain:frmMain:cboSubBandSelect_Click:lblSubBand= 80m "));

    // The tuning-step list opens from a right click on the rate label; "2.5 KHz" from it.
    x({"mousemove", "--window", window, QString::number(RateLabel.x()), QString::number(RateLabel.y()), "click",
       "3"});
    ASSERT_TRUE(choose(RateLabel, 3, 17)) << "the tuning-step list did not open";
    EXPECT_TRUE(traced("frmMain:frmMain:cboTuningSteps_Click:lblTuningRate=x 2.5 KHz"));

    // A sub-band button names its sub-band on the label too.
    x({"mousemove", "--window", window, QString::number(FortyMetres.x()), QString::number(FortyMetres.y()), "click",
       "1"});
    EXPECT_TRUE(chipTunedTo(70740000)) << "the 40m button did not tune 7.074 MHz";
    EXPECT_TRUE(traced("frmMain:frmMain:optSubBand_MouseDown:lblSubBand= 40m "));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0);
    // The step chosen while 80m was in force is stored with it.
    const QString plan = QString::fromUtf8(readFile(folders.home + "/Amateur.bpl"));
    const QString eighty = plan.section("[SubBand.1]", 1).section("[", 0, 0);
    EXPECT_TRUE(eighty.contains("TuneStep=25000")) << plan.toStdString();
    EXPECT_TRUE(plan.contains("ActiveSubBand=2")) << plan.toStdString();
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
