#include "PortRecord.h"
#include "ProgramFolders.h"
#include "tests/support/PrivateMounts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using orvik::testing::pollUntil;
using orvik::testing::readFile;
using orvik::testing::StartedLine;
using orvik::testing::traceLines;
using orvik::testing::writeFile;

// The start-up trace of a run with one band plan, "Test.bpl".
const QStringList ExpectedTrace = [] {
    const QString init = "frmMain:frmMain:Form_Initialize";
    const QString load = "frmMain:frmMain:Form_Load";
    QStringList t = {init + " : Start", init + " : ORVIK.INIT", init + " : PublicVars.SDRColourSchemes.Defaults",
                     init + ":Initialising BandPlans", init + ":Processing Test.bpl",
                     init + ":Initialising Digital Filter Objects", init + ":Creating Profiler Object",
                     init + ":Initialising Tuning Step Array", init + ":Load Main Form"};
    const QStringList steps = {
        ":Start", ":Resizing", ":Restoring SDR Colour Settings from Registry", ":Creating SpectrumAnalyser Object",
        ":Making Form Visible", ":Setting Colour Scheme", ":Creating Wavfile Object", ":Draw SMeter",
        ":Positioning Presets", ":Initialising MouseOverS", ":Initialising 7Segment Display Tuning",
        ":Initialising dialtuner", ":Initialising CtlArray(2)", ":Initialising CtlArray(3)",
        ":Initialising CtlArray(4)", ":Initialising CtlArray(5)", ":Initialising CtlArray(7)",
        ":Initialising CtlArray(8)", ":Initialising CtlArray(9)", ":Initialising sldNB", ":Initialising dialNB",
        ":Initialising ctlArray(10)", ":Initialising dialOutVol", ":Initialising sldOutVolume",
        ":Initialising ctlArray(11)", ":Initialising ctlArray(12)", ":Initialising ctlArray(13)",
        ":Initialising ctlArray(14)", ":Initialising ctlArray(15)", ":Initialising CtlArray(6)",
        ":Initialising ctlArray(PicScopeIndex)", ":Initialising ctlArray(17)", ":Initialising ctlArray(18)",
        ":Initialising ctlArray(19)", ":Initialising cboBandSelect", ":Initialising optSubBand",
        ":Initialising optPreset", ":New ORVIKDX8", ":New clsFFTReal", ":Initialising FFTReal",
        " : Initialising Interface Objects", ":Initialising sldAGCAttack", ":Initialising sldAGCDecay",
        ":Initialising SpectrumAnalyser", ":Initialising Variable Filter Default Values (0)",
        ":Initialising Variable Filter Default Values (1)", ":Initialising Variable Filter Default Values (2)",
        ":Initialising Variable Filter Default Values (3)", ":Initialising Variable Filter Default Values (4)",
        ":Initialising Variable AGC Default Values (1)", ":Initialising Variable AGC Default Values (2)",
        ":Initialising Variable AGC Default Values (3)", ":Initialising Variable IF Filter Default Values (0)",
        ":Initialising NotchFilter Default Values", ":Restoring SDR Settings"};
    for (const QString& s : steps)
        t << load + s;
    t << "RestoreSettings : Start"
      << "RestoreSettings : End";
    const QStringList closing = {":Initialising SoundCard Object",
                                 ":Set OutputLevel Attenuator to PublicVars.OutputAttenuation",
                                 ":Select Band in use last time",
                                 ":Call modWheelMouse.init",
                                 ":Set up default values in the AGC delayline",
                                 ":Call MouseOverS.lblFilterHi_Wheel",
                                 ":Call MouseOverS.lblFilterLo_Wheel",
                                 ":Initialise WavFile Object",
                                 ":Call tmrPerfStats_Timer",
                                 ":Enable Power Butons",
                                 ":Enable TmrTune",
                                 ":Enable TmrVFOUpdate",
                                 ":Enable TmrShaft",
                                 ":Enable TmrClock",
                                 ":Enable TmrSubBands",
                                 ":Initialise the Tuning Step Selector Drop Down List",
                                 ":Call DarkenControls"};
    for (const QString& s : closing)
        t << load + s;
    return t;
}();

const QByteArray MinimalBandPlan = "[MainBand]\r\nName=Test\r\n";

struct Sandbox : orvik::testing::ProgramFolders {
    Sandbox()
    {
        writeSetting("VFO1.IFType=1"); // leave the machine's serial ports alone
    }

    void addBandPlan(const QString& name, const QByteArray& text = MinimalBandPlan)
    {
        ASSERT_TRUE(writeFile(QDir(home).filePath(name), text));
    }

    QStringList settings;
    void writeSetting(const QString& line)
    {
        settings << line;
        QDir().mkpath(config + "/ORVIKSDR");
        ASSERT_TRUE(writeFile(iniFile(), "[frmMain]\n" + settings.join('\n').toUtf8() + "\n"));
    }

    QProcessEnvironment extraEnvironment;

    std::unique_ptr<QProcess> start(const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = environment("offscreen");
        env.insert(extraEnvironment);
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(ORVIKSDR_PROGRAM), args);
        EXPECT_TRUE(p->waitForStarted(30000)) << p->program().toStdString() << ": " << p->errorString().toStdString();
        return p;
    }
};

void terminate(QProcess& p)
{
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60000));
}

} // namespace

TEST(ProgramProcess, TracedStartWritesEveryStepInOrder)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    auto p = box.start({"trace"});
    ASSERT_TRUE(pollUntil([&] { return traceLines(box.logFile()).contains(StartedLine); }));
    terminate(*p);
    EXPECT_EQ(p->exitCode(), 0);

    QStringList lines = traceLines(box.logFile());
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.takeFirst().startsWith("ORVIKSDR Log File Started at Date="));
    // The main window asks for the parallel interface, the VFO's section does not:
    // the tuning writes go to a serial port that was never opened, said once.
    const QStringList notOpen = lines.filter("DDSSerialIF: COM1 is not open");
    EXPECT_EQ(notOpen.size(), 1) << lines.join('\n').toStdString();
    const QString err = QString::fromLocal8Bit(p->readAllStandardError());
    EXPECT_EQ(err.count("is not open, so the synthesizer cannot be tuned"), 1) << err.toStdString();
    for (const QString& line : notOpen)
        lines.removeOne(line);
    QStringList expected = ExpectedTrace;
    expected << "frmMain:frmMain:Form_Load:End" << StartedLine;
    ASSERT_GE(lines.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        ASSERT_EQ(lines[i].toStdString(), expected[i].toStdString()) << "line " << i + 2;
}

TEST(ProgramProcess, StartWithoutTraceWritesNoLog)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    auto p = box.start({"--TRACE"}); // the word is case-sensitive
    EXPECT_FALSE(p->waitForFinished(2000)); // still running after start-up
    ASSERT_EQ(p->state(), QProcess::Running);
    terminate(*p);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(QFile::exists(box.iniFile())); // it did run and shut down
    EXPECT_FALSE(QFile::exists(box.logFile()));
}

TEST(ProgramProcess, NoBandPlanEndsTheProgramAndWritesNothing)
{
    Sandbox box;
    auto p = box.start({});
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_NE(p->exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p->readAllStandardError());
    EXPECT_TRUE(err.contains("ORVIKSDR - No Bandplan found: No Bandplan (.bpl) files found - You must have at least "
                             "1 Bandplan \nPlease Re-Install Application or find a .BPL file\n" + box.home
                             + ": no .bpl file in this folder"))
        << err.toStdString();
    EXPECT_EQ(readFile(box.iniFile()), QByteArray("[frmMain]\nVFO1.IFType=1\n"));
    EXPECT_TRUE(QDir(box.home).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(ProgramProcess, TerminationDuringStartUpWaitsForStartUpThenShutsDown)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    auto p = box.start({"trace"});
    // As early as the trace shows start-up running.
    ASSERT_TRUE(pollUntil([&] { return QFile::exists(box.logFile()); }, 60000));
    terminate(*p);
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(traceLines(box.logFile()).contains(StartedLine));
    EXPECT_TRUE(QString::fromUtf8(readFile(box.iniFile())).contains("AutoStartSDR=False")); // saved on the way out
}

TEST(ProgramProcess, FailedStartReportsTheStepAndSavesNothing)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    box.writeSetting("SDRModelNo=7");
    const QByteArray iniBefore = readFile(box.iniFile());
    auto p = box.start({"trace"});
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_NE(p->exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p->readAllStandardError());
    EXPECT_TRUE(err.contains("Error: frmMain:frmMain:Form_Load:")) << err.toStdString();
    EXPECT_TRUE(err.contains("Description=Unknown SDRModelNo 7")) << err.toStdString();
    const QStringList trace = traceLines(box.logFile());
    ASSERT_FALSE(trace.isEmpty());
    EXPECT_TRUE(trace.last().startsWith("Error:frmMain:frmMain:Form_Load:")) << trace.last().toStdString();
    EXPECT_FALSE(trace.contains(StartedLine));
    // Nothing saved on the way out: not the settings, not the band plan.
    EXPECT_EQ(readFile(box.iniFile()), iniBefore);
    EXPECT_EQ(readFile(QDir(box.home).filePath("Test.bpl")), MinimalBandPlan);
    EXPECT_FALSE(QFile::exists(QDir(box.home).filePath("Test.bpl.bak")));
}

TEST(ProgramProcess, SecondInstanceIsRefusedAndLeavesTheFirstOnesFilesAlone)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    auto first = box.start({"trace"});
    ASSERT_TRUE(pollUntil([&] { return traceLines(box.logFile()).contains(StartedLine); }));
    const QByteArray logBefore = readFile(box.logFile());
    const QByteArray bandBefore = readFile(QDir(box.home).filePath("Test.bpl"));
    const QByteArray iniBefore = readFile(box.iniFile());

    auto second = box.start({"trace"});
    ASSERT_TRUE(second->waitForFinished(60000));
    EXPECT_NE(second->exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(second->readAllStandardError()).contains("ORVIKSDR: ORVIKSDR is already running"));
    EXPECT_EQ(readFile(box.logFile()), logBefore);
    EXPECT_EQ(readFile(QDir(box.home).filePath("Test.bpl")), bandBefore);
    EXPECT_EQ(readFile(box.iniFile()), iniBefore);
    EXPECT_FALSE(first->waitForFinished(200));
    terminate(*first);
}

TEST(ProgramProcess, TerminationSignalSavesBandPlansAndSettings)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    box.writeSetting("AutoStartSDR=True");
    auto p = box.start({"trace"});
    ASSERT_TRUE(pollUntil([&] { return traceLines(box.logFile()).contains(StartedLine); }));
    const QStringList started = traceLines(box.logFile());
    // Switched on by the stored setting, with sound that starts.
    EXPECT_TRUE(started.contains("optPwr_click : Start Arg=0"));
    EXPECT_TRUE(started.contains("optPwr_click : End"));
    EXPECT_FALSE(started.join('\n').contains("sound did not start"));
    terminate(*p);
    EXPECT_EQ(p->exitCode(), 0);

    const QByteArray band = readFile(QDir(box.home).filePath("Test.bpl"));
    EXPECT_GT(band.size(), MinimalBandPlan.size()); // the whole band plan was written back
    EXPECT_TRUE(QFile::exists(QDir(box.home).filePath("Test.bpl.bak")));
    const QString ini = QString::fromUtf8(readFile(box.iniFile()));
    for (const char* key : {"SDRBackgroundColour=", "AutoStartSDR=True", "DRM.DreamCloseOnExit=True",
                            "IFFilterSettings%281%29.FilterSettings%280%29.CurrentHi=4500", "LastTunedFrequency="})
        EXPECT_TRUE(ini.contains(key)) << key;
    EXPECT_TRUE(ini.contains("[VFO1.VESKA]")); // the VFO saved its own section as it was released
}

namespace {

// The program on the recorded serial port: the knob's port opens, every line change
// lands in the record file.
struct RecordedSynthesizer : Sandbox {
    QString record = root.filePath("synth.txt");
    RecordedSynthesizer()
    {
        addBandPlan("Test.bpl");
        writeSetting("VFO1.IFType=0");
        extraEnvironment.insert("ORVIKSDR_SYNTH_PORT", "record:" + record);
    }
    std::vector<uint32_t> words() const { return orvik::testing::ad9951WordsInRecord(record); }
};

} // namespace

TEST(ProgramProcess, RecordedPortGetsTheFrequencyAndItsPeriodicRefresh)
{
    RecordedSynthesizer box;
    auto p = box.start({"trace"});
    // Start-up sends the frequency, and again as the band's sub-band is recalled.
    ASSERT_TRUE(pollUntil([&] { return traceLines(box.logFile()).contains(StartedLine); }));
    ASSERT_FALSE(box.words().empty());
    EXPECT_EQ(box.words().front(), orvik::testing::ad9951WordFor(100000000));
    // Then resent every 1.5 to 3 s: three more come, and no more than one per 1.4 s
    // since the count was taken (a coarse timer fires up to 5 % early; a busy machine
    // delays ticks, it does not add any).
    const size_t first = box.words().size();
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(pollUntil([&] { return box.words().size() >= first + 3; })) << "the frequency was not resent";
    const auto words = box.words();
    const qint64 elapsed = clock.elapsed();
    terminate(*p);
    EXPECT_EQ(p->exitCode(), 0);
    const size_t resent = words.size() - first;
    EXPECT_LE(resent, static_cast<size_t>(elapsed / 1400 + 1));
    for (uint32_t w : words)
        EXPECT_EQ(w, orvik::testing::ad9951WordFor(100000000));
}

TEST(ProgramProcess, RecordedPortGetsTheActiveSubBandsFrequencyAtStart)
{
    RecordedSynthesizer box;
    box.addBandPlan("Test.bpl", "[MainBand]\r\nActiveSubBand=2\r\n"
                                "[SubBand.2]\r\nFreqMin=7000000\r\nFreqMax=7300000\r\nFreqCurrent=7074000\r\n"
                                "DemodMode=1\r\nLowSideLO=False\r\n");
    auto p = box.start({});
    const uint32_t wanted = orvik::testing::ad9951WordFor(70740000);
    EXPECT_TRUE(pollUntil([&] {
        const auto words = box.words();
        return !words.empty() && words.back() == wanted;
    })) << "the chip never received the sub-band's 7074 kHz";
    terminate(*p);
    EXPECT_EQ(p->exitCode(), 0);
    // The recalled sub-band is the one saved as the VFO's frequency.
    QFile ini(box.iniFile());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("TunedFrequency=70740000"));
}

TEST(ProgramProcess, RecordedPortIsNotRefreshedWithAutoUpdateOff)
{
    RecordedSynthesizer box;
    QFile ini(box.iniFile());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[VFO1.VESKA]\nAutoUpdate=False\nTunedFrequency=70000000\n");
    ini.close();
    auto p = box.start({"trace"});
    // Start-up sends the frequency, and again as the band's sub-band is recalled; then
    // nothing more arrives in twice the longest refresh period.
    ASSERT_TRUE(pollUntil([&] { return traceLines(box.logFile()).contains(StartedLine); }));
    const size_t started = box.words().size();
    EXPECT_GT(started, 0u);
    QThread::msleep(6000);
    const auto words = box.words();
    terminate(*p);
    EXPECT_EQ(words.size(), started);
    for (uint32_t w : words)
        EXPECT_EQ(w, orvik::testing::ad9951WordFor(70000000));
}

namespace {

// The serial ports are hidden from runs that fall back to the default settings (which
// open the first serial port).
using orvik::testing::privateMounts;
using orvik::testing::SmallDisk;

// Starts the program, sends SIGTERM once start-up is through, and fails the
// test instead of waiting for ever when the program hangs.
struct ProgramRun {
    int exitCode = -1;
    QString err;
    QStringList trace;
};

// started sees the sandbox and the program's standard error so far.
ProgramRun runAndTerminate(Sandbox& box, const std::function<bool(const Sandbox&, const QString&)>& started)
{
    ProgramRun run;
    auto p = box.start({"trace"});
    p->setReadChannel(QProcess::StandardError);
    bool up = false;
    const QDeadlineTimer deadline(60000);
    while (!up && !deadline.hasExpired() && p->state() == QProcess::Running) {
        p->waitForReadyRead(50);
        run.err += QString::fromLocal8Bit(p->readAllStandardError());
        up = started(box, run.err);
    }
    EXPECT_TRUE(up) << "start-up did not finish: " << run.err.toStdString();
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    const bool ended = p->waitForFinished(60000);
    EXPECT_TRUE(ended) << "the shut-down did not finish";
    if (!ended) {
        p->kill();
        p->waitForFinished(5000);
    }
    run.exitCode = p->exitCode();
    run.err += QString::fromLocal8Bit(p->readAllStandardError());
    run.trace = traceLines(box.logFile());
    return run;
}

bool startedTrace(const Sandbox& box, const QString&)
{
    return traceLines(box.logFile()).contains(StartedLine);
}

} // namespace

TEST(ProgramProcess, ABandPlanLinkedToAFifoIsSkippedWithALogLine)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    const QString fifo = box.root.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, QDir(box.home).filePath("Fifo.bpl")));
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.trace.contains(StartedLine));
    EXPECT_FALSE(run.trace.filter(QRegularExpression("Fifo.bpl cannot be read: it is a FIFO")).isEmpty())
        << run.trace.join('\n').toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(QDir(box.home).filePath("Fifo.bpl")).isSymLink());
    EXPECT_TRUE(QFile::exists(QDir(box.home).filePath("Test.bpl.bak"))) << "the good band plan was saved";
}

TEST(ProgramProcess, ASettingsLockFolderEndsTheShutDownWithAMessage)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    ASSERT_TRUE(QDir().mkpath(box.iniFile() + ".lock"));
    const QByteArray iniBefore = readFile(box.iniFile());
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("ORVIKSDR - Settings not saved: Your settings could not be saved to " + box.iniFile()))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(".lock")) << run.err.toStdString();
    EXPECT_EQ(run.err.count("Settings not saved"), 1) << run.err.toStdString();
    EXPECT_EQ(readFile(box.iniFile()), iniBefore);
    EXPECT_TRUE(QFile::exists(QDir(box.home).filePath("Test.bpl.bak"))) << "the band plans were saved first";
}

// Each kind of settings file that cannot be read: the start goes on with the
// default settings, the file is left as it was, and the shut-down says so.
TEST(ProgramProcess, ASettingsFileThatIsNotARegularFileIsReportedAndLeftAlone)
{
    const QString problem = privateMounts();
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    enum Kind { Fifo, Folder, LinkedDevice };
    for (const Kind kind : {Fifo, Folder, LinkedDevice}) {
        Sandbox box;
        box.addBandPlan("Test.bpl");
        QFile::remove(box.iniFile());
        const QByteArray ini = QFile::encodeName(box.iniFile());
        const QString node = box.root.filePath("node");
        if (kind == Fifo)
            ASSERT_EQ(::mkfifo(ini.constData(), 0600), 0);
        else if (kind == Folder)
            ASSERT_TRUE(QDir().mkpath(box.iniFile()));
        else if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0)
            ASSERT_TRUE(QFile::link(node, box.iniFile()));
        else
            continue; // only root makes a device node
        const ProgramRun run = runAndTerminate(box, startedTrace);
        EXPECT_EQ(run.exitCode, 0) << kind;
        EXPECT_TRUE(run.err.contains("Error:SettingsStore:" + box.iniFile() + " cannot be read"))
            << run.err.toStdString();
        EXPECT_EQ(run.err.count("Settings not saved"), 1) << run.err.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(ini.constData(), &st), 0);
        EXPECT_TRUE(kind == Fifo ? S_ISFIFO(st.st_mode) : kind == Folder ? S_ISDIR(st.st_mode) : S_ISCHR(st.st_mode))
            << kind;
    }
}

// A small tmpfs filled to the last byte holds the program folder and the settings.
TEST(ProgramProcess, AFullDiskIsReportedAndLosesNothingThatWasSaved)
{
    const QString problem = privateMounts();
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    Sandbox box;
    const QString disk = box.root.filePath("disk");
    const SmallDisk small(disk, "256k");
    if (!small.problem().isEmpty())
        GTEST_SKIP() << small.problem().toStdString();
    box.home = disk + "/home";
    box.config = disk + "/config";
    QDir().mkpath(box.home);
    box.addBandPlan("Test.bpl");
    box.writeSetting("AutoStartSDR=False");
    const QByteArray iniBefore = readFile(box.iniFile());
    ASSERT_TRUE(small.fill());
    // Without a log to show it, the start is under way once the log failed.
    const ProgramRun run =
        runAndTerminate(box, [](const Sandbox&, const QString& err) { return err.contains("cannot write the log"); });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("cannot write the log file"), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("No space left on device")) << run.err.toStdString();
    EXPECT_EQ(run.err.count("Settings not saved"), 1) << run.err.toStdString();
    // The start said the folder cannot be written; nothing changed the band plan, so its
    // failed save claims no loss.
    EXPECT_EQ(run.err.count("ORVIKSDR - Program folder not writable: The program folder " + box.home +
                            " cannot be written: No space left on device"),
              1)
        << run.err.toStdString();
    EXPECT_EQ(run.err.count("Band plan not saved"), 0) << run.err.toStdString();
    EXPECT_EQ(readFile(box.iniFile()), iniBefore);
    EXPECT_EQ(readFile(QDir(box.home).filePath("Test.bpl")), MinimalBandPlan);
}


// The settings are worked on in a copy in the temporary folder: with that folder full
// the start used to run on the default settings.
TEST(ProgramProcess, AFullTemporaryFolderLeavesTheSettingsReadAndRefusesOnlyTheSave)
{
    const QString problem = privateMounts();
    if (!problem.isEmpty())
        GTEST_SKIP() << problem.toStdString();
    Sandbox box;
    box.addBandPlan("Test.bpl");
    const QString temporary = box.root.filePath("tmp");
    const SmallDisk small(temporary, "64k");
    if (!small.problem().isEmpty())
        GTEST_SKIP() << small.problem().toStdString();
    ASSERT_TRUE(small.fill());
    box.extraEnvironment.insert("TMPDIR", temporary);

    // A model the settings name and the program refuses: read, so the start fails.
    box.writeSetting("SDRModelNo=7");
    const QByteArray refused = readFile(box.iniFile());
    auto p = box.start({"trace"});
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_NE(p->exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(p->readAllStandardError()).contains("Unknown SDRModelNo 7"));
    EXPECT_EQ(readFile(box.iniFile()), refused);

    // Read and said so at the start; the changes of the run are not saved over them.
    box.settings.clear();
    box.writeSetting("VFO1.IFType=1");
    box.writeSetting("AutoStartSDR=False");
    const QByteArray before = readFile(box.iniFile());
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("ORVIKSDR - Settings will not be saved: Your settings were read from " + box.iniFile()), 1)
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("No space left on device")) << run.err.toStdString();
    EXPECT_EQ(run.err.count("ORVIKSDR - Settings not saved"), 1) << run.err.toStdString();
    EXPECT_EQ(readFile(box.iniFile()), before);
}

// Saved by renaming over it, a read-only settings file used to be replaced silently.
TEST(ProgramProcess, ASettingsFileTheUserMayNotWriteIsLeftAsItIsAndTheShutDownSaysSo)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    box.writeSetting("AutoStartSDR=False");
    ASSERT_TRUE(QFile::setPermissions(box.iniFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = readFile(box.iniFile());
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("ORVIKSDR - Settings not saved: Your settings could not be saved to " + box.iniFile()), 1)
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("its mode 0444 does not let you write it")) << run.err.toStdString();
    EXPECT_TRUE(run.trace.filter("Error:SettingsStore:").size() == 1) << run.trace.join('\n').toStdString();
    EXPECT_EQ(readFile(box.iniFile()), before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(box.iniFile()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// With the trace on a long unusable setting stalled the start for many seconds (the log
// window measured every earlier line again for each new one), and every line that
// quoted it was as long as the value.
TEST(ProgramProcess, LongUnusableSettingsAreQuotedShortAndKeepATracedStartQuick)
{
    Sandbox box;
    box.addBandPlan("Test.bpl");
    const QString value(1 << 20, 'x');
    for (const QString& line : {"NoiseFloor=" + value, "SDRBackgroundColour=" + value,
                                "[VFO1.VESKA]\nIFFrequency=" + value, "[ComDlg]\nCustomColour%280%29=" + value})
        box.writeSetting(line);
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.left(2000).toStdString();
    const QStringList lines = run.trace + run.err.split('\n');
    EXPECT_EQ(lines.filter("... (1048576 characters)").size(), 4) << run.err.left(2000).toStdString();
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 400) << line.left(200).toStdString();
}

// A FIFO as the port record file held up the start until a reader came.
TEST(ProgramProcess, APortRecordFileThatIsAFifoIsRefusedWithAMessageAndTheStartGoesOn)
{
    RecordedSynthesizer box;
    ASSERT_EQ(::mkfifo(QFile::encodeName(box.record).constData(), 0600), 0);
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.trace.contains(StartedLine));
    EXPECT_EQ(run.err.count("ORVIKSDR - Port record file: The port record file " + box.record +
                            " cannot be used: it is not a regular file"),
              1)
        << run.err.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(box.record).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// With the vendor back-end on, a FIFO as the FFT wisdom file held the start in open() for
// ever, and SIGTERM could not end it: the session was lost.
TEST(ProgramProcess, AWisdomFileThatIsAFifoLeavesTheStartToFinishWithOneTraceLine)
{
#ifndef ORVIKSDR_HAVE_VENDOR_BACKEND
    GTEST_SKIP() << "no vendor back-end in this build";
#endif
    Sandbox box;
    box.addBandPlan("Test.bpl");
    box.writeSetting("UseSPL=True");
    const QString wisdom = box.config + "/ORVIKSDR/fftw-wisdom";
    ASSERT_EQ(::mkfifo(QFile::encodeName(wisdom).constData(), 0600), 0);
    const ProgramRun run = runAndTerminate(box, startedTrace);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.trace.filter("FFT wisdom");
    ASSERT_EQ(lines.size(), 1) << run.trace.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("no usable FFT wisdom in " + wisdom + ": it is a FIFO")) << lines[0].toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(wisdom).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // The shut-down saved the session.
    const QString ini = QString::fromUtf8(readFile(box.iniFile()));
    EXPECT_TRUE(ini.contains("UseSPL=True")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("LastTunedFrequency=")) << ini.toStdString();
}
