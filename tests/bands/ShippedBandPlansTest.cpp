#include "bands/BandPlanDiscovery.h"
#include "BandsTestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvik;
using orvik::testing::LogRecorder;
using orvik::testing::readFile;

namespace {

class ShippedBandPlans : public ::testing::Test {
protected:
    QTemporaryDir dir;
    modBandPlan plans;

    void SetUp() override
    {
        plans.now = [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); };
        ASSERT_EQ(CopyShippedBandPlans(dir.path()), 2);
        LogRecorder log;
        ASSERT_FALSE(DiscoverBandPlans(plans, dir.path(), "ORVIKSDR", "here").EndProgram);
        for (const QString& line : log.lines)
            EXPECT_TRUE(line.startsWith("here:Processing ")) << "warning: " << line.toStdString();
    }

    const BandPlan& band(const QString& name)
    {
        for (const BandPlan& b : plans.BandPlans)
            if (b.Name == name)
                return b;
        ADD_FAILURE() << "no band plan " << name.toStdString();
        return plans.BandPlans.front();
    }

    // Every shown sub-band has a range, the given captions in order, a mode
    // that fits its frequency, and presets inside its range in that mode.
    void expectSubBands(const BandPlan& b, const QStringList& captions, const std::function<int32_t(int32_t)>& mode)
    {
        ASSERT_EQ(b.NumSubBands, captions.size());
        for (int32_t i = 0; i < b.NumSubBands; ++i) {
            const SubBand& sb = b.SubBands[i];
            EXPECT_EQ(sb.Caption, captions[i]);
            ASSERT_TRUE(sb.HasRange) << sb.Caption.toStdString();
            EXPECT_LT(sb.FreqMin, sb.FreqMax);
            EXPECT_GE(sb.Settings.FreqCurrent, sb.FreqMin);
            EXPECT_LE(sb.Settings.FreqCurrent, sb.FreqMax);
            EXPECT_EQ(sb.Settings.DemodMode, mode(sb.FreqMax)) << sb.Caption.toStdString();
            int used = 0;
            for (int32_t p = 0; p < b.PresetsPerSubBand; ++p) {
                const Preset& preset = sb.Presets[p];
                if (preset.Settings.FreqCurrent < 1)
                    continue;
                ++used;
                EXPECT_GE(preset.Settings.FreqCurrent, sb.FreqMin) << preset.Description.toStdString();
                EXPECT_LE(preset.Settings.FreqCurrent, sb.FreqMax) << preset.Description.toStdString();
                EXPECT_EQ(preset.Settings.DemodMode, sb.Settings.DemodMode);
                EXPECT_EQ(preset.Caption, QString::number(preset.Settings.FreqCurrent / 1000));
            }
            EXPECT_GE(used, 1) << sb.Caption.toStdString();
        }
        EXPECT_FALSE(b.SubBands[b.NumSubBands].HasRange);
    }
};

TEST_F(ShippedBandPlans, CoverTheBroadcastAndAmateurBands)
{
    const BandPlan& broadcast = band("Broadcast");
    expectSubBands(broadcast,
                   {"LW", "MW", "120m", "90m", "75m", "60m", "49m", "41m", "31m", "25m", "22m", "19m", "16m", "15m",
                    "13m", "11m"},
                   [](int32_t) { return 0; });
    const BandPlan& amateur = band("Amateur");
    expectSubBands(amateur, {"160m", "80m", "40m", "30m", "20m", "17m", "15m", "12m", "10m"},
                   [](int32_t top) { return top < 10000000 ? 2 : 1; });
    EXPECT_EQ(plans.CurrentMainBandIndex, broadcast.Index);
}

TEST_F(ShippedBandPlans, SurviveASaveAndLoadUnchanged)
{
    for (BandPlan& b : plans.BandPlans) {
        const QByteArray before = readFile(b.FileName);
        LogRecorder log;
        ASSERT_TRUE(plans.SaveBandPlan(b));
        EXPECT_EQ(readFile(b.FileName), before) << b.Name.toStdString();

        // Writing every settings block as well changes no value.
        for (SubBand& sb : b.SubBands) {
            sb.Settings.Captured = true;
            for (Preset& preset : sb.Presets)
                preset.Settings.Captured = true;
        }
        ASSERT_TRUE(plans.SaveBandPlan(b));
        BandPlan back = b;
        plans.InitBandPlan(back);
        ASSERT_TRUE(plans.LoadBandPlan(back));
        for (SubBand& sb : b.SubBands) {
            sb.Settings.Captured = false;
            for (Preset& preset : sb.Presets)
                preset.Settings.Captured = false;
        }
        EXPECT_EQ(back, b) << b.Name.toStdString();
        EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join('\n').toStdString();
    }
}

} // namespace
