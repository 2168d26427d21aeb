#include "bands/BandPlanDiscovery.h"
#include "BandsTestSupport.h"
#include "platform/EventPump.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace orvik;
using orvik::testing::LogRecorder;
using orvik::testing::readFile;
using orvik::testing::writeFile;

namespace {

const QString kWhere = QStringLiteral("frmMain:frmMain:Form_Initialize");

class Discovery : public ::testing::Test {
protected:
    QTemporaryDir dir;
    modBandPlan plans;
    QStringList shownOnSplash;

    BandPlanDiscovery discover(const QString& shipped = QString())
    {
        return DiscoverBandPlans(
            plans, dir.path(), "ORVIKSDR", kWhere, [this](const QString& name) { shownOnSplash.append(name); },
            shipped);
    }
};

TEST_F(Discovery, NoBandPlanEndsTheProgramWithTheMessage)
{
    writeFile(dir.filePath("readme.txt"), "not a band plan");
    QDir(dir.path()).mkdir("folder.bpl");
    LogRecorder log;
    const BandPlanDiscovery outcome = discover();
    EXPECT_TRUE(outcome.EndProgram);
    EXPECT_EQ(outcome.MessageText, "No Bandplan (.bpl) files found - You must have at least 1 Bandplan \n"
                                   "Please Re-Install Application or find a .BPL file");
    EXPECT_EQ(outcome.MessageTitle, "ORVIKSDR - No Bandplan found");
    EXPECT_EQ(log.lines, QStringList{kWhere + ":No BandPlans found in " + dir.path()});
    EXPECT_TRUE(plans.BandPlans.empty());
}

TEST_F(Discovery, FilesLoadInNameOrderAndTheLastActiveBandWins)
{
    writeFile(dir.filePath("b.BPL"), "[MainBand]\nActive=False\n");
    writeFile(dir.filePath("C.bpl"), "[MainBand]\nActive=True\nCaption=Charlie\n");
    writeFile(dir.filePath("a.bpl"), "[MainBand]\nActive=True\n");
    writeFile(dir.filePath("d.bpl.bak"), "[MainBand]\nActive=True\n");
    int pumped = 0;
    setEventPump([&pumped] { ++pumped; });
    LogRecorder log;
    const BandPlanDiscovery outcome = discover();
    setEventPump({});

    EXPECT_FALSE(outcome.EndProgram);
    EXPECT_EQ(log.lines, (QStringList{kWhere + ":Processing a.bpl", kWhere + ":Processing b.BPL",
                                      kWhere + ":Processing C.bpl"}));
    EXPECT_EQ(shownOnSplash, (QStringList{"a", "b", "C"}));
    EXPECT_EQ(pumped, 3);
    ASSERT_EQ(plans.BandPlans.size(), 3u);
    const BandPlan& c = plans.BandPlans[2];
    EXPECT_EQ(c.Name, "C");
    EXPECT_EQ(c.Index, 2);
    EXPECT_EQ(c.Caption, "Charlie");
    EXPECT_EQ(c.Description, "C");
    EXPECT_EQ(c.FileName, dir.filePath("C.bpl"));
    EXPECT_EQ(c.NumSubBandsAlloc, 18);
    EXPECT_EQ(c.PresetsPerSubBand, 12);
    EXPECT_EQ(c.SubBands.size(), 19u);
    EXPECT_EQ(plans.CurrentMainBandIndex, 2);

    writeFile(dir.filePath("C.bpl"), "[MainBand]\nActive=False\n");
    writeFile(dir.filePath("a.bpl"), "[MainBand]\nActive=False\n");
    plans.CurrentMainBandIndex = 7;
    discover();
    EXPECT_EQ(plans.CurrentMainBandIndex, 0) << "no active band selects the first";
}

TEST_F(Discovery, AnEmptyFolderReceivesTheShippedBandPlans)
{
    LogRecorder log;
    const BandPlanDiscovery outcome = discover(kShippedBandPlans);
    EXPECT_FALSE(outcome.EndProgram);
    const QStringList names = ListBandPlanFiles(dir.path());
    EXPECT_EQ(names, ListBandPlanFiles(kShippedBandPlans));
    EXPECT_GE(names.size(), 2);
    EXPECT_EQ(plans.BandPlans.size(), static_cast<size_t>(names.size()));
    for (const QString& name : names)
        EXPECT_TRUE(QFileInfo(dir.filePath(name)).isWritable()) << name.toStdString();
    // A folder that already holds a band plan gets nothing copied in.
    QTemporaryDir other;
    writeFile(other.filePath("Mine.bpl"), "");
    DiscoverBandPlans(plans, other.path(), "ORVIKSDR", kWhere, {}, kShippedBandPlans);
    EXPECT_EQ(ListBandPlanFiles(other.path()), QStringList{"Mine.bpl"});
}

class ProgramFolderEnvironment : public ::testing::Test {
protected:
    QTemporaryDir dir;
    void TearDown() override
    {
        unsetenv("ORVIKSDR_HOME");
        unsetenv("XDG_DATA_HOME");
    }
};

TEST_F(ProgramFolderEnvironment, FolderFollowsTheEnvironmentAndIsCreated)
{
    const QByteArray home = QFile::encodeName(dir.filePath("own/home"));
    const QByteArray data = QFile::encodeName(dir.filePath("data"));
    setenv("ORVIKSDR_HOME", home.constData(), 1);
    setenv("XDG_DATA_HOME", data.constData(), 1);
    EXPECT_EQ(programFolder(), dir.filePath("own/home"));
    EXPECT_TRUE(QFileInfo(dir.filePath("own/home")).isDir());

    setenv("ORVIKSDR_HOME", "", 1);
    EXPECT_EQ(programFolder(), dir.filePath("data/ORVIKSDR"));
    EXPECT_TRUE(QFileInfo(dir.filePath("data/ORVIKSDR")).isDir());

    setenv("XDG_DATA_HOME", "relative/path", 1);
    EXPECT_EQ(programFolder(), QDir::homePath() + "/.local/share/ORVIKSDR");
}

} // namespace
