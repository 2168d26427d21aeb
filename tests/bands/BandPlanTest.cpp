#include "bands/modBandPlan.h"
#include "bands/modIniFiles.h"
#include "BandsTestSupport.h"
#include "common/Numeric.h"
#include "platform/EventPump.h"
#include "platform/MessageService.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>

using namespace orvik;
using orvik::testing::LogRecorder;
using orvik::testing::readFile;
using orvik::testing::writeFile;

namespace {

const QDateTime kStart(QDate(2026, 3, 4), QTime(5, 6, 7));

class BandPlanFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    modBandPlan plans;

    BandPlanFiles() { plans.now = [] { return kStart; }; }

    BandPlan freshBand(const QString& name, int32_t index = 0)
    {
        BandPlan band;
        band.Name = name;
        band.Index = index;
        band.Caption = band.Description = name;
        band.NumSubBandsAlloc = modBandPlan::kSubBandButtons;
        band.PresetsPerSubBand = modBandPlan::kPresetButtons;
        band.FileName = dir.filePath(name + ".bpl");
        plans.InitBandPlan(band);
        return band;
    }

    BandPlan loaded(const QString& name, const QByteArray& file, int32_t index = 0)
    {
        writeFile(dir.filePath(name + ".bpl"), file);
        BandPlan band = freshBand(name, index);
        EXPECT_TRUE(plans.LoadBandPlan(band));
        return band;
    }

    QString read(const BandPlan& band, const char* section, const char* key)
    {
        return ReadIniString(section, key, "<missing>", band.FileName);
    }
};

// Writes beyond `bytes` fail with "File too large" while it lives, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved_;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

RxSettings everyField(int32_t seed)
{
    RxSettings s;
    s.Captured = true;
    s.FreqCurrent = 7000000 + seed;
    s.LowSideLO = seed % 2 == 0;
    s.HiSideLO = !s.LowSideLO;
    s.TuneStep = 250;
    s.FilterMode = 3;
    s.FilterHi = 2900 + seed;
    s.FilterLo = 310;
    s.MusicModeActive = true;
    s.DynFilterActive = seed % 3 == 0;
    s.IFFilterActive = true;
    s.IFFilterMode = 1;
    s.IFFilterLo = 120;
    s.IFFilterHi = 3100;
    s.AGCAttack = 12.5f;
    s.AGCDecay = 0.1f;
    s.AGCOn = false;
    s.AGCMode = -1;
    s.NotchActive = true;
    s.NotchMode = 0;
    s.NotchType = -1;
    s.NotchFilterCenter = -400;
    s.NotchFilterWidth = 12999;
    s.DemodMode = 5;
    s.OutputAttenuation = -2550.25f;
    return s;
}

TEST_F(BandPlanFiles, MainBandOnlyGivesSeventeenHiddenSubBandsAndNoPresets)
{
    BandPlan band = loaded("Only", "[MainBand]\r\nCaption=Just the band\r\n"
                                   "[SubBand.3]\r\nCaption=Ghost\r\n"
                                   "[Preset.3.0]\r\nCaption=ignored\r\nFreqCurrent=7000000\r\n");
    EXPECT_EQ(band.Caption, "Just the band");
    EXPECT_EQ(band.Description, "Only");
    EXPECT_EQ(band.NumSubBands, 17);
    for (int i = 0; i < 17; ++i) {
        EXPECT_FALSE(band.SubBands[i].HasRange) << i;
        if (i != 3) {
            EXPECT_EQ(band.SubBands[i].Caption, QStringLiteral("S%1").arg(i + 1));
        }
    }
    EXPECT_EQ(band.SubBands[3].Caption, "Ghost");
    EXPECT_EQ(band.SubBands[3].Presets[0].Caption, "P1") << "presets of a sub-band without range are not read";
    EXPECT_EQ(band.SubBands[3].Presets[0].Settings.FreqCurrent, -1);
}

TEST_F(BandPlanFiles, CaptionsAreCutAndRangesDecideWhichPresetsAreRead)
{
    BandPlan band = loaded("Cut", "[MainBand]\nNumSubBands=2\nActiveSubBand=1\nActive=True\n"
                                  "[SubBand.0]\nCaption=ABCDEFGH\nFreqMin=-1\nFreqMax=-1\nFreqCurrent=-1\n"
                                  "[Preset.0.0]\nCaption=never\n"
                                  "[SubBand.1]\nCaption=Short\nFreqMin=7000000\nActivePreset=4\n"
                                  "[Preset.1.4]\nCaption=12345678901\nDescription=Forty\nActive=true\n"
                                  "When=2006-01-06 09:05:03\nFreqCurrent=7090000\n",
                           3);
    EXPECT_EQ(band.SubBands[0].Caption, "ABCDEF");
    EXPECT_FALSE(band.SubBands[0].HasRange);
    EXPECT_EQ(band.SubBands[0].Presets[0].Caption, "P1");
    const SubBand& forty = band.SubBands[1];
    EXPECT_TRUE(forty.HasRange) << "one edge is enough";
    EXPECT_EQ(forty.ActivePreset, 4);
    EXPECT_EQ(forty.Presets[4].Caption, "1234567");
    EXPECT_EQ(forty.Presets[4].Description, "Forty");
    EXPECT_TRUE(forty.Presets[4].Active);
    EXPECT_EQ(forty.Presets[4].When, "2006-01-06 09:05:03");
    EXPECT_EQ(forty.Presets[4].Settings.FreqCurrent, 7090000);
    EXPECT_EQ(forty.Presets[5].When, "2026-03-04 05:06:07");
    EXPECT_EQ(band.ActiveSubBand, 1);
    EXPECT_EQ(plans.CurrentMainBandIndex, 3);
}

TEST_F(BandPlanFiles, MissingSettingsKeysTakeTheirDefaults)
{
    BandPlan band = loaded("Defaults", "[MainBand]\nNumSubBands=1\n[SubBand.0]\nFreqCurrent=6000000\n"
                                       "DemodMode=1\nNotchFilterWidth=12999\n"
                                       "[SubBand.1]\nFreqMin=1\nNotchFilterWidth=13000\n");
    const RxSettings& s = band.SubBands[0].Settings;
    EXPECT_FALSE(s.Captured);
    EXPECT_EQ(s.DemodMode, 1);
    EXPECT_EQ(s.FreqCurrent, 6000000);
    EXPECT_FALSE(s.LowSideLO);
    EXPECT_EQ(s.TuneStep, 1000);
    EXPECT_EQ(s.FilterMode, 0);
    EXPECT_EQ(s.FilterHi, -1);
    EXPECT_EQ(s.FilterLo, -1);
    EXPECT_FALSE(s.MusicModeActive);
    EXPECT_FALSE(s.DynFilterActive);
    EXPECT_FALSE(s.IFFilterActive);
    EXPECT_EQ(s.IFFilterMode, 2);
    EXPECT_EQ(s.IFFilterHi, 4500);
    EXPECT_EQ(s.IFFilterLo, 50);
    EXPECT_TRUE(s.AGCOn);
    EXPECT_EQ(s.AGCMode, 2);
    EXPECT_EQ(s.AGCAttack, 10.0f);
    EXPECT_EQ(s.AGCDecay, 10.0f);
    EXPECT_FALSE(s.NotchActive);
    EXPECT_EQ(s.NotchMode, 1);
    EXPECT_EQ(s.NotchType, 0);
    EXPECT_EQ(s.NotchFilterCenter, 1000);
    EXPECT_EQ(s.NotchFilterWidth, 12999);
    EXPECT_EQ(s.OutputAttenuation, 0.0f);
    EXPECT_EQ(band.SubBands[1].Settings.NotchFilterWidth, 100);
}

struct BadValue {
    const char* section;
    const char* key;
    const char* value;
    const char* logged; // what the log line must say
};

TEST_F(BandPlanFiles, MalformedValuesKeepTheFieldAndAreReported)
{
    const BadValue cases[] = {
        {"MainBand", "Active", "maybe", "is not True or False"},
        {"MainBand", "NumSubBands", "many", "is not a whole number"},
        {"SubBand.0", "FreqMin", "7 MHz", "is not a whole number"},
        {"SubBand.0", "FreqCurrent", "214748365", "is out of range"},
        {"SubBand.0", "TuneStep", "", "is not a whole number"},
        {"SubBand.0", "AGCAttack", "fast", "is not a number"},
        {"SubBand.0", "OutputAttenuation", "1e39", "is not a number"},
        {"SubBand.0", "AGCOn", "yes", "is not True or False"},
        {"SubBand.0", "NotchMode", "99999999999", "is not a whole number"},
    };
    for (const BadValue& c : cases) {
        const QByteArray bad = QByteArray(c.key) + "=" + c.value + "\n";
        // The first of two equal keys wins, so the bad line goes first.
        const QByteArray file = QByteArray(c.section) == "SubBand.0"
                                    ? "[SubBand.0]\n" + bad + "FreqMin=5900000\n"
                                    : "[SubBand.0]\nFreqMin=5900000\n[" + QByteArray(c.section) + "]\n" + bad;
        LogRecorder log;
        BandPlan band = loaded("Bad", file);
        BandPlan expected = freshBand("Bad");
        ASSERT_EQ(log.lines.size(), 1) << c.key << ": " << log.lines.join('|').toStdString();
        const QString line = log.lines[0];
        EXPECT_TRUE(line.contains(band.FileName)) << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("[%1] %2=").arg(c.section, c.key))) << line.toStdString();
        EXPECT_TRUE(line.contains(c.logged)) << line.toStdString();
        // Everything else of the file still loads.
        if (QByteArray(c.key) != "FreqMin") {
            EXPECT_TRUE(band.SubBands[0].HasRange) << c.key;
            EXPECT_EQ(band.SubBands[0].FreqMin, 5900000) << c.key;
        }
        EXPECT_EQ(band.Active, false);
        EXPECT_EQ(band.NumSubBands, 17) << c.key;
    }
}

struct IndexCase {
    const char* file;
    int32_t numSubBands;
    int32_t activeSubBand;
    int32_t activePreset; // of sub-band 0
    bool repaired; // and so logged
};

TEST_F(BandPlanFiles, IndexesFromTheFileStayInsideTheArrays)
{
    const IndexCase cases[] = {
        {"[MainBand]\nNumSubBands=25\n", 18, 0, -1, true},
        {"[MainBand]\nNumSubBands=-3\n", 0, 0, -1, true},
        {"[MainBand]\nNumSubBands=18\nActiveSubBand=17\n", 18, 17, -1, false},
        {"[MainBand]\nNumSubBands=4\nActiveSubBand=4\n", 4, 0, -1, true},
        {"[MainBand]\nActiveSubBand=-1\n", 17, 0, -1, true},
        {"[SubBand.0]\nActivePreset=11\n", 17, 0, 11, false},
        {"[SubBand.0]\nActivePreset=12\n", 17, 0, -1, true},
        {"[SubBand.0]\nActivePreset=-2\n", 17, 0, -1, true},
    };
    for (const IndexCase& c : cases) {
        LogRecorder log;
        BandPlan band = loaded("Index", c.file);
        EXPECT_EQ(band.NumSubBands, c.numSubBands) << c.file;
        EXPECT_EQ(band.ActiveSubBand, c.activeSubBand) << c.file;
        EXPECT_EQ(band.SubBands[0].ActivePreset, c.activePreset) << c.file;
        EXPECT_EQ(log.lines.size(), c.repaired ? 1 : 0) << c.file;
    }
}

TEST_F(BandPlanFiles, SavedBandWithEveryFieldLoadsBackEqual)
{
    BandPlan band = freshBand("Full", 2);
    band.Caption = "Full band";
    band.Description = "  blanks, \"quotes\", #hash and Caf\u00E9 \u20AC ";
    band.Active = true;
    band.NumSubBands = 5;
    band.ActiveSubBand = 4;
    for (int i = 0; i <= band.NumSubBands; ++i) {
        SubBand& sb = band.SubBands[i];
        sb.Caption = QStringLiteral("SB%1").arg(i);
        sb.Description = QStringLiteral("\"Sub band\" %1").arg(i);
        sb.FreqMin = 1000000 * (i + 1);
        sb.FreqMax = 1000000 * (i + 1) + 500000;
        sb.ActivePreset = i % 3 - 1;
        sb.Settings = everyField(i);
        sb.HasRange = true;
        for (int p = 0; p < 12; ++p) {
            Preset& preset = sb.Presets[p];
            preset.Caption = QStringLiteral("%1").arg(7000 + p);
            preset.Description = QStringLiteral(";%1 kHz").arg(7000 + p);
            preset.Active = p == 0;
            preset.When = QStringLiteral("2006-01-%1 09:05:03").arg(p + 10);
            preset.Settings = everyField(100 * i + p);
        }
    }
    ASSERT_TRUE(plans.SaveBandPlan(band));

    modBandPlan other;
    other.now = plans.now;
    BandPlan back = freshBand("Full", 2);
    ASSERT_TRUE(other.LoadBandPlan(back));
    // What a load cannot give back: the capture flag, and the injection side
    // that lives on in LowSideLO only.
    for (SubBand& sb : band.SubBands) {
        sb.Settings.Captured = false;
        sb.Settings.HiSideLO = false;
        for (Preset& preset : sb.Presets) {
            preset.Settings.Captured = false;
            preset.Settings.HiSideLO = false;
        }
    }
    EXPECT_EQ(back, band);
    EXPECT_EQ(other.CurrentMainBandIndex, 2);
    EXPECT_EQ(read(band, "SubBand.0", "AGCDecay"), "0.1");
    EXPECT_EQ(read(band, "SubBand.0", "OutputAttenuation"), "-2550.25");
    EXPECT_EQ(read(band, "SubBand.0", "LowSideLO"), "True");
}

TEST_F(BandPlanFiles, SaveWritesOnlyWhatThePlanHolds)
{
    const QByteArray kept = "[Preset.0.1]\r\nCaption=Keep me\r\nFreqCurrent=999\r\nCustom=1\r\n";
    writeFile(dir.filePath("Save.bpl"), "[SubBand.0]\r\nFreqMin=1\r\nDemodMode=4\r\nUnknown=stays\r\n" + kept);
    BandPlan band = freshBand("Save");
    ASSERT_TRUE(plans.LoadBandPlan(band));
    band.NumSubBands = 17;
    band.SubBands[0].Presets[1].Settings.FreqCurrent = 0; // no longer used
    band.SubBands[0].Presets[2].Settings.FreqCurrent = 7100000;
    ASSERT_TRUE(plans.SaveBandPlan(band));

    const QByteArray after = readFile(band.FileName);
    EXPECT_TRUE(after.contains(kept)) << "an unused preset leaves its section untouched";
    EXPECT_EQ(read(band, "SubBand.17", "Name"), "Save.SubBand(17)");
    EXPECT_EQ(read(band, "SubBand.18", "Name"), "<missing>");
    EXPECT_EQ(read(band, "SubBand.0", "Unknown"), "stays");
    EXPECT_EQ(read(band, "SubBand.0", "DemodMode"), "4") << "settings not captured are not written";
    EXPECT_EQ(read(band, "SubBand.0", "TuneStep"), "<missing>");
    EXPECT_EQ(read(band, "Preset.0.2", "Name"), "Save.SubBand(0).Preset(2)");
    EXPECT_EQ(read(band, "Preset.0.2", "FreqCurrent"), "<missing>");
    EXPECT_EQ(read(band, "Preset.0.3", "Name"), "<missing>");
    EXPECT_EQ(read(band, "MainBand", "NumSubBands"), "17");

    band.SubBands[0].Settings.Captured = true;
    band.SubBands[0].Settings.DemodMode = 2;
    ASSERT_TRUE(plans.SaveBandPlan(band));
    EXPECT_EQ(read(band, "SubBand.0", "DemodMode"), "2");
    EXPECT_EQ(read(band, "SubBand.0", "TuneStep"), "1000");
}

TEST_F(BandPlanFiles, SaveKeepsThePreviousFileAsBackup)
{
    const QByteArray first = "[MainBand]\r\nCaption=First\r\n";
    writeFile(dir.filePath("Bak.bpl"), first);
    BandPlan band = freshBand("Bak");
    ASSERT_TRUE(plans.LoadBandPlan(band));
    band.Caption = "Second";
    ASSERT_TRUE(plans.SaveBandPlan(band));
    EXPECT_EQ(readFile(band.FileName + ".bak"), first);
    const QByteArray second = readFile(band.FileName);
    band.Caption = "Third";
    ASSERT_TRUE(plans.SaveBandPlan(band));
    EXPECT_EQ(readFile(band.FileName + ".bak"), second);
    EXPECT_EQ(read(band, "MainBand", "Caption"), "Third");
}

TEST_F(BandPlanFiles, FailedSaveIsReportedAndTheOldFileSurvives)
{
    const QByteArray original = "[MainBand]\r\nCaption=Original\r\n";
    writeFile(dir.filePath("Full.bpl"), original);
    BandPlan band = freshBand("Full");
    ASSERT_TRUE(plans.LoadBandPlan(band));
    band.Caption = "Changed";

    LogRecorder log;
    bool savedOk = true;
    {
        const FileSizeLimit full(256); // the disk fills up part-way through the file
        savedOk = plans.SaveBandPlan(band);
    }

    EXPECT_FALSE(savedOk);
    EXPECT_EQ(readFile(band.FileName), original);
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].startsWith("Error:modBandPlan:SaveBandPlan:" + band.FileName)) << log.lines[0].toStdString();
    EXPECT_FALSE(plans.BandPlanBusy);
}

TEST_F(BandPlanFiles, SaveKilledPartWayLeavesTheOldFileIntact)
{
    const QByteArray original = "[MainBand]\r\nCaption=Original\r\n";
    writeFile(dir.filePath("Killed.bpl"), original);
    BandPlan band = freshBand("Killed");
    ASSERT_TRUE(plans.LoadBandPlan(band));
    band.Caption = "Changed";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The kernel kills the child with SIGXFSZ in the middle of writing.
        rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
        rlimit tiny{512, 512};
        setrlimit(RLIMIT_FSIZE, &tiny);
        std::signal(SIGXFSZ, SIG_DFL);
        plans.SaveBandPlan(band);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save was expected to be killed";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(readFile(band.FileName), original);
    BandPlan again = freshBand("Killed");
    ASSERT_TRUE(plans.LoadBandPlan(again));
    EXPECT_EQ(again.Caption, "Original");
}

TEST_F(BandPlanFiles, LoadWaitsWhileAnotherLoadOrSaveIsBusy)
{
    writeFile(dir.filePath("Wait.bpl"), "[MainBand]\nCaption=Waited\n");
    BandPlan band = freshBand("Wait");
    plans.BandPlanBusy = true;
    int pumped = 0;
    setEventPump([&] {
        if (++pumped == 3)
            plans.BandPlanBusy = false;
    });
    const bool loadedOk = plans.LoadBandPlan(band);
    setEventPump({});
    EXPECT_TRUE(loadedOk);
    EXPECT_EQ(pumped, 3);
    EXPECT_EQ(band.Caption, "Waited");
    EXPECT_FALSE(plans.BandPlanBusy);
}

TEST_F(BandPlanFiles, FileThatFailedToLoadIsNeverOverwritten)
{
    QDir(dir.path()).mkdir("Broken.bpl");
    BandPlan broken = freshBand("Broken");
    LogRecorder log;
    EXPECT_FALSE(plans.LoadBandPlan(broken));
    EXPECT_TRUE(broken.LoadFailed);
    EXPECT_FALSE(plans.SaveBandPlan(broken));
    EXPECT_TRUE(QFileInfo(broken.FileName).isDir());
    EXPECT_EQ(log.lines.size(), 2);

    // At exit every failed band is named in one message; the others are saved.
    writeFile(dir.filePath("Good.bpl"), "");
    BandPlan good = freshBand("Good");
    ASSERT_TRUE(plans.LoadBandPlan(good));
    plans.BandPlans = {good, broken};
    RecordingMessageService recorder;
    setMessageService(&recorder);
    const QStringList failed = plans.SaveBandPlans("ORVIKSDR");
    setMessageService(nullptr);
    EXPECT_EQ(failed, QStringList{broken.FileName});
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].title, "ORVIKSDR - Band plan not saved");
    EXPECT_TRUE(recorder.shown()[0].text.contains(broken.FileName));
    EXPECT_FALSE(recorder.shown()[0].text.contains(good.FileName));
    EXPECT_EQ(read(good, "MainBand", "Name"), "Good");
}

TEST_F(BandPlanFiles, ChangesAreWhatTheFileWouldHoldOtherwise)
{
    const QByteArray file = "[MainBand]\r\nNumSubBands=2\r\n"
                            "[SubBand.0]\r\nFreqMin=7000000\r\nFreqMax=7200000\r\nFilterHi=-1\r\n"
                            "[Preset.0.1]\r\nFreqCurrent=7050000\r\nWhen=2006-01-06 09:05:03\r\n";
    BandPlan band = loaded("Track", file);
    EXPECT_FALSE(plans.BandPlanChanged(band)) << "as loaded";

    // The start marks the band it selects; that alone is no change.
    band.Active = true;
    EXPECT_FALSE(plans.BandPlanChanged(band));
    // A block captured with the values it had is no change either, although it is now written.
    band.SubBands[0].Settings.Captured = true;
    EXPECT_FALSE(plans.BandPlanChanged(band));
    // Nor a preset slot without a frequency, which is never written.
    band.SubBands[0].Presets[5].Description = "unused";
    EXPECT_FALSE(plans.BandPlanChanged(band));

    const auto changedBy = [&](const std::function<void(BandPlan&)>& change) {
        BandPlan copy = band;
        change(copy);
        return plans.BandPlanChanged(copy);
    };
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.SubBands[0].Settings.FilterHi = 2700; })) << "a captured filter edge";
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.SubBands[0].Presets[1].When = "2006-01-07 10:00:00"; }));
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.SubBands[0].Presets[4].Settings.FreqCurrent = 7010000; }))
        << "a preset stored";
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.ActiveSubBand = 1; }));
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.SubBands[0].ActivePreset = 1; }));
    EXPECT_TRUE(changedBy([](BandPlan& b) { b.SubBands[2].Settings.DemodMode = 4; }))
        << "the last slot is written too";

    // Saved, a change is no longer one.
    band.SubBands[0].Presets[4].Settings.FreqCurrent = 7010000;
    ASSERT_TRUE(plans.BandPlanChanged(band));
    ASSERT_TRUE(plans.SaveBandPlan(band));
    EXPECT_FALSE(plans.BandPlanChanged(band));
    EXPECT_TRUE(plans.BandPlanChanged(freshBand("Unread"))) << "a band never read or written";
}

// An unwritable folder: closing lost the changes of the band that held some, and said so
// of every band alike.
TEST_F(BandPlanFiles, AtCloseOnlyBandsWithChangesAreNamedWhenTheyCannotBeSaved)
{
    BandPlan marked = loaded("Marked", "[MainBand]\r\nName=Marked\r\n");
    marked.Active = true;
    BandPlan stored = loaded("Stored", "[MainBand]\r\nName=Stored\r\n[SubBand.0]\r\nFreqMin=7000000\r\n", 1);
    stored.SubBands[0].Presets[2].Settings.FreqCurrent = 7040000;
    stored.SubBands[0].Presets[2].Settings.Captured = true;
    plans.BandPlans = {marked, stored};
    const QByteArray markedFile = readFile(marked.FileName);
    const QByteArray storedFile = readFile(stored.FileName);

    RecordingMessageService recorder;
    setMessageService(&recorder);
    QStringList lost;
    {
        LogRecorder log;
        const FileSizeLimit full(256);
        lost = plans.SaveBandPlans("ORVIKSDR");
        EXPECT_EQ(log.lines.filter("cannot be written").size(), 2) << log.lines.join('\n').toStdString();
    }
    EXPECT_EQ(lost, QStringList{stored.FileName});
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].title, "ORVIKSDR - Band plan not saved");
    EXPECT_EQ(recorder.shown()[0].text, "These band plans could not be saved; your changes to them are lost:\n" +
                                            stored.FileName + ": File too large");
    EXPECT_EQ(readFile(marked.FileName), markedFile);
    EXPECT_EQ(readFile(stored.FileName), storedFile);

    // Where they can be written, both are, the mark included.
    recorder.clear();
    EXPECT_TRUE(plans.SaveBandPlans("ORVIKSDR").isEmpty());
    setMessageService(nullptr);
    EXPECT_TRUE(recorder.shown().empty());
    EXPECT_EQ(read(marked, "MainBand", "Active"), "True");
    EXPECT_EQ(read(stored, "Preset.0.2", "FreqCurrent"), "7040000");
}

TEST_F(BandPlanFiles, APresetStoredIsWrittenAtOnceOrSaidNotToBeAndKeptForTheClose)
{
    BandPlan band = loaded("Now", "[MainBand]\r\nName=Now\r\n[SubBand.0]\r\nFreqMin=7000000\r\n");
    plans.BandPlans = {band};
    BandPlan& inUse = plans.BandPlans[0];
    RecordingMessageService recorder;
    setMessageService(&recorder);

    inUse.SubBands[0].Presets[0].Settings.FreqCurrent = 7030000;
    inUse.SubBands[0].Presets[0].Settings.Captured = true;
    EXPECT_TRUE(plans.SaveBandPlanAfterStore(inUse, "ORVIKSDR"));
    EXPECT_EQ(read(inUse, "Preset.0.0", "FreqCurrent"), "7030000");
    EXPECT_TRUE(recorder.shown().empty());

    inUse.SubBands[0].Presets[1].Settings.FreqCurrent = 7031000;
    inUse.SubBands[0].Presets[1].Settings.Captured = true;
    const QByteArray before = readFile(inUse.FileName);
    {
        const FileSizeLimit full(256);
        EXPECT_FALSE(plans.SaveBandPlanAfterStore(inUse, "ORVIKSDR"));
    }
    EXPECT_EQ(readFile(inUse.FileName), before);
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].title, "ORVIKSDR - Band plan not saved");
    EXPECT_EQ(recorder.shown()[0].text, "This band plan could not be saved now; what you stored is kept, and the save "
                                        "is tried again when the program closes:\n" +
                                            inUse.FileName + ": File too large");
    EXPECT_EQ(inUse.SubBands[0].Presets[1].Settings.FreqCurrent, 7031000);

    recorder.clear();
    EXPECT_TRUE(plans.SaveBandPlans("ORVIKSDR").isEmpty());
    setMessageService(nullptr);
    EXPECT_TRUE(recorder.shown().empty());
    EXPECT_EQ(read(inUse, "Preset.0.1", "FreqCurrent"), "7031000");
}

TEST_F(BandPlanFiles, KeysOutsideALoadGoStraightToTheFile)
{
    plans.CurrentFile = dir.filePath("Direct.bpl");
    plans.CurrentSection = "Preset.1.2";
    ASSERT_TRUE(plans.WriteBandPlanKey("AGCAttack", 2.5f));
    ASSERT_TRUE(plans.WriteBandPlanKey("Active", true));
    EXPECT_EQ(plans.ReadBandPlanKey("agcattack", "x"), "2.5");
    EXPECT_EQ(plans.ReadBandPlanKey("Active", "x"), "True");
    EXPECT_EQ(plans.ReadBandPlanKey("Missing", "x"), "x");
    EXPECT_FALSE(plans.WriteBandPlanKey("Bad=Key", 1));
}

TEST(FloatText, ShortestTextReadsBackToTheSameFloat)
{
    EXPECT_EQ(FloatToText(10.0f), "10");
    EXPECT_EQ(FloatToText(-6.5f), "-6.5");
    EXPECT_EQ(FloatToText(0.1f), "0.1");
    EXPECT_EQ(FloatToText(5000.0f), "5000");
    uint32_t bits = 0x12345u;
    for (int i = 0; i < 2000; ++i) {
        bits = bits * 1664525u + 1013904223u;
        float value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        const QString text = FloatToText(value);
        const auto back = ParseNumber(text.toStdString());
        ASSERT_TRUE(back) << text.toStdString();
        EXPECT_EQ(static_cast<float>(*back), value) << text.toStdString();
    }
}

} // namespace
