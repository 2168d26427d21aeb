// The program binary as an operator meets it when storing presets: on a virtual X server a
// preset stored with Shift and a right click, the program then killed and started again;
// and, without a display, a program folder nobody may write, root included.

#include "tests/app/PortRecord.h"
#include "tests/app/ProgramFolders.h"
#include "tests/support/PrivateMounts.h"
#include "tests/support/VirtualDisplay.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QSet>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/mount.h>

namespace {

using orvik::soundtest::VirtualDisplay;
using orvik::testing::ad9951WordFor;
using orvik::testing::ad9951WordsInRecord;
using orvik::testing::pollUntil;
using orvik::testing::privateMounts;
using orvik::testing::readFile;
using orvik::testing::StartedLine;
using orvik::testing::traceLines;
using orvik::testing::writeFile;

// 40 m with one preset, 7040 kHz, on the first button; the third button is unused.
const QByteArray AmateurPlan = "[MainBand]\r\nName=Amateur\r\nActive=True\r\nActiveSubBand=0\r\nNumSubBands=2\r\n"
                               "[SubBand.0]\r\nCaption=40m\r\nFreqMin=7000000\r\nFreqMax=7200000\r\n"
                               "FreqCurrent=7074000\r\nDemodMode=1\r\nLowSideLO=False\r\nTuneStep=1000\r\n"
                               "[Preset.0.0]\r\nCaption=7040\r\nDescription=CW end\r\nFreqCurrent=7040000\r\n"
                               "DemodMode=1\r\n"
                               "[SubBand.1]\r\nCaption=20m\r\nFreqMin=14000000\r\nFreqMax=14350000\r\n"
                               "FreqCurrent=14074000\r\nDemodMode=1\r\n";

// Window pixels of the standard display size: the first and the third preset button.
const QPoint FirstPreset(200, 149);
const QPoint ThirdPreset(335, 149);

// The folder read-only for as long as the object lives, to root as to anybody (a bind
// mount of itself, remounted read-only); call after privateMounts().
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : path_(QFile::encodeName(folder))
    {
        if (::mount(path_.constData(), path_.constData(), nullptr, MS_BIND, nullptr) != 0) {
            problem_ = QStringLiteral("no bind mount can be made: %1").arg(qt_error_string(errno));
            return;
        }
        if (::mount(nullptr, path_.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            problem_ = QStringLiteral("the bind mount cannot be made read-only: %1").arg(qt_error_string(errno));
            ::umount2(path_.constData(), MNT_DETACH);
        }
    }
    ~ReadOnlyFolder()
    {
        if (problem_.isEmpty())
            ::umount2(path_.constData(), MNT_DETACH);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Empty when the folder is read-only.
    QString problem() const { return problem_; }

private:
    QByteArray path_;
    QString problem_;
};

class ProgramPresetStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folders.root.isValid());
        ASSERT_TRUE(writeFile(plan, AmateurPlan));
        // The serial AD9951 on the recorded port, in the standard display size.
        ASSERT_TRUE(writeFile(folders.iniFile(),
                              "[frmMain]\nVFO1.IFType=0\nAutoStartSDR=False\nExtendedDisplay=FALSE\n"
                              "StandardDisplay=TRUE\nCompactDisplay=FALSE\nFullDisplay=FALSE\n"));
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
        xserver.stop();
    }

    void startDisplay()
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwd", "convert"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        const QString problem = xserver.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    void startProgram(const QString& platform, const QStringList& arguments)
    {
        QProcessEnvironment env = folders.environment(platform);
        if (platform == "xcb")
            env.insert("DISPLAY", xserver.name());
        env.insert("ORVIKSDR_SYNTH_PORT", "record:" + record);
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(output, QIODevice::Append);
        program.setStandardErrorFile(output, QIODevice::Append);
        program.start(QStringLiteral(ORVIKSDR_PROGRAM), arguments);
        ASSERT_TRUE(program.waitForStarted(30000));
    }

    // Started with the trace, its main window raised and given the keyboard focus.
    void startOnTheDisplay()
    {
        ASSERT_NO_FATAL_FAILURE(startProgram("xcb", {"trace"}));
        ASSERT_TRUE(pollUntil([&] { return traceLines(folders.logFile()).contains(StartedLine); }))
            << "the start-up did not end\n" << programOutput().toStdString();
        ASSERT_TRUE(pollUntil([&] { return !xserver.shownWindows("ORVIKSDR").isEmpty(); }))
            << "the main window did not appear";
        window = xserver.shownWindows("ORVIKSDR").first();
        x({"windowraise", window, "windowfocus", "--sync", window});
    }

    QString x(const QStringList& arguments) { return xserver.runClient("xdotool", arguments); }
    void pointAt(QPoint at, const QStringList& then = {})
    {
        x(QStringList{"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y())} + then);
    }
    QStringList programWindows()
    {
        return x({"search", "--onlyvisible", "--pid", QString::number(program.processId())})
            .split('\n', Qt::SkipEmptyParts);
    }
    QRect geometryOf(const QString& id)
    {
        QRect r;
        for (const QString& line : x({"getwindowgeometry", "--shell", id}).split('\n')) {
            const int value = line.section('=', 1).toInt();
            if (line.startsWith("X="))
                r.moveLeft(value);
            else if (line.startsWith("Y="))
                r.moveTop(value);
            else if (line.startsWith("WIDTH="))
                r.setWidth(value);
            else if (line.startsWith("HEIGHT="))
                r.setHeight(value);
        }
        return r;
    }

    bool chipTunedTo(int64_t tenths)
    {
        const uint32_t word = ad9951WordFor(tenths);
        return pollUntil([&] {
            const auto words = ad9951WordsInRecord(record);
            return !words.empty() && words.back() == word;
        });
    }

    QString programOutput() const { return QString::fromLocal8Bit(readFile(output)); }
    // One section of the band plan file as it is on disk, empty when it has none.
    QString planSection(const QString& name) const
    {
        const QString text = QString::fromUtf8(readFile(plan));
        const qsizetype at = text.indexOf("[" + name + "]");
        return at < 0 ? QString() : text.mid(at).section("\r\n[", 0, 0);
    }

    orvik::testing::ProgramFolders folders;
    QString plan = folders.home + "/Amateur.bpl";
    QString record = folders.root.filePath("synth.txt");
    QString output = folders.root.filePath("program.log");
    VirtualDisplay xserver;
    QProcess program;
    QString window;
};

} // namespace

// Band plans used to be written only at a clean close: a preset stored and then a crash,
// and the preset was gone.
TEST_F(ProgramPresetStore, AStoredPresetOutlivesAKillAndIsRecalledAtTheNextStart)
{
    ASSERT_NO_FATAL_FAILURE(startDisplay());
    ASSERT_NO_FATAL_FAILURE(startOnTheDisplay());
    ASSERT_TRUE(chipTunedTo(70740000)) << "the start did not recall 40m";

    // Recall the 7040 kHz preset, then store where the receiver is into the unused third button.
    pointAt(FirstPreset, {"click", "1"});
    ASSERT_TRUE(chipTunedTo(70400000)) << "the first preset was not recalled";
    pointAt(ThirdPreset, {"keydown", "shift", "click", "3", "keyup", "shift"});
    EXPECT_TRUE(pollUntil([&] { return planSection("Preset.0.2").contains("\r\nFreqCurrent=7040000"); }, 30000))
        << "the stored preset did not reach the band plan:\n" << readFile(plan).toStdString();

    // Ctrl with a key on the button: the description window appears beside the pointer,
    // with its text, never first as an empty box somewhere else.
    const QStringList before = programWindows();
    x({"key", "ctrl+d"});
    QString description;
    ASSERT_TRUE(pollUntil([&] {
        for (const QString& w : programWindows())
            if (!before.contains(w))
                description = w;
        return !description.isEmpty();
    }, 30000)) << "no description window appeared";
    const QRect main = geometryOf(window);
    const QRect shown = geometryOf(description);
    EXPECT_LE((shown.topLeft() - (main.topLeft() + ThirdPreset)).manhattanLength(), 40)
        << "the description window came up at " << shown.x() << "," << shown.y();
    const QImage picture = xserver.grab(description, folders.root.filePath("description.png"));
    ASSERT_FALSE(picture.isNull());
    QSet<QRgb> colours;
    for (int py = 0; py < picture.height(); ++py)
        for (int px = 0; px < picture.width(); ++px)
            colours.insert(picture.pixel(px, py));
    EXPECT_GT(colours.size(), 2) << "the description window shows no text";

    program.kill();
    ASSERT_TRUE(program.waitForFinished(30000));

    const QString stored = planSection("Preset.0.2");
    EXPECT_TRUE(stored.contains("\r\nCaption=7040\r\n")) << stored.toStdString();
    EXPECT_TRUE(stored.contains("\r\nDescription=7,040,000 Hz\r\n")) << stored.toStdString();
    EXPECT_TRUE(QFile::exists(plan + ".bak")) << "the file was replaced as at a close";

    ASSERT_NO_FATAL_FAILURE(startOnTheDisplay());
    ASSERT_TRUE(chipTunedTo(70740000)) << "the second start did not recall 40m";
    pointAt(ThirdPreset, {"click", "1"});
    EXPECT_TRUE(chipTunedTo(70400000)) << "the stored preset was not recalled";
}

// A folder nobody may write used to start without a word, and to claim at close that changes
// were lost although none were made.
TEST_F(ProgramPresetStore, AnUnwritableProgramFolderIsToldOnceAtStartAndNoLossIsClaimedAtClose)
{
    const QString mounts = privateMounts();
    if (!mounts.isEmpty())
        GTEST_SKIP() << mounts.toStdString();
    const ReadOnlyFolder readOnly(folders.home);
    if (!readOnly.problem().isEmpty())
        GTEST_SKIP() << readOnly.problem().toStdString();

    const QString told = "ORVIKSDR - Program folder not writable: The program folder " + folders.home +
                         " cannot be written: Read-only file system";
    ASSERT_NO_FATAL_FAILURE(startProgram("offscreen", {}));
    // Shown once the start is through.
    EXPECT_TRUE(pollUntil([&] { return programOutput().contains(told); }))
        << "nothing was said of the folder:\n" << programOutput().toStdString();
    ASSERT_TRUE(chipTunedTo(70740000)) << programOutput().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0);

    const QString err = programOutput();
    EXPECT_EQ(err.count(told), 1) << err.toStdString();
    EXPECT_EQ(err.count("Program folder not writable"), 1) << err.toStdString();
    EXPECT_FALSE(err.contains("Band plan not saved")) << err.toStdString();
    EXPECT_EQ(readFile(plan), AmateurPlan);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
