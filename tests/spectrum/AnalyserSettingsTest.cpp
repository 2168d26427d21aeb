#include "platform/SettingsStore.h"
#include "spectrum/clsSpectrumAnalyser.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct TempStore {
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/ORVIKSDR.ini"; }
};

} // namespace

TEST(AnalyserSettings, AFreshStoreGivesTheDocumentedStart)
{
    TempStore t;
    SettingsStore store(t.path());
    clsSpectrumAnalyser a(&store);
    EXPECT_EQ(a.Mode(), 0);
    EXPECT_FALSE(a.Active);
    EXPECT_TRUE(a.SmoothSpectrum);
    EXPECT_EQ(a.SpectrumSmooth(), 8);
    EXPECT_FLOAT_EQ(a.SmoothDivider, 4.5F);
    EXPECT_FALSE(a.ShowNotch);
    EXPECT_FALSE(a.ShowFilter);
    EXPECT_EQ(a.Y1Colour, 0xFF00U);
    EXPECT_EQ(a.Y2Colour, 0xFFFFU);
    for (int m = 0; m < 4; ++m) {
        const ScopeModeRecord& r = a.ScopeModeSettings[static_cast<size_t>(m)];
        EXPECT_TRUE(r.Chn1Enabled && r.Chn2Enabled) << m;
        EXPECT_TRUE(r.Chn1Trig) << m;
        EXPECT_FALSE(r.Chn2Trig) << m;
        EXPECT_EQ(r.TriggerChn, 0) << m;
        EXPECT_FLOAT_EQ(r.Chn1Gain, 1.0F) << m;
    }
    const ScopeModeRecord& spectrum = a.ScopeModeSettings[0];
    EXPECT_FLOAT_EQ(spectrum.YLinMax, 24e6F);
    EXPECT_FLOAT_EQ(spectrum.YLinRange, 48e6F);
    EXPECT_NEAR(spectrum.YLogMax, 7.380211, 1e-5);
    EXPECT_NEAR(spectrum.YLogMin, -7.380211e-6, 1e-9);
    EXPECT_NEAR(a.ScopeModeSettings[1].YLogMax, 4.515450, 1e-5);
    EXPECT_NEAR(a.ScopeModeSettings[2].YLogMin, -0.0451545, 1e-6);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[3].YLinMax, 0.0F);
}

TEST(AnalyserSettings, SavedValuesComeBackAndTheTriggerSourceDoesNot)
{
    TempStore t;
    {
        SettingsStore store(t.path());
        clsSpectrumAnalyser a(&store);
        a.setMode(1);
        a.setTriggerChn(2);
        a.setChn1Gain(2.5F);
        a.setChn2Shift(-40);
        a.HideFreqToolTip = true;
        a.Active = true;
        a.ShowFilter = true;
        a.setSpectrumSmooth(12);
        a.GraticuleColour = 0x123456;
    }
    SettingsStore store(t.path());
    EXPECT_EQ(store.read("SpectrumAnalyser", "TriggerChn", ""), "2");
    // The key is written with a lower-case t and read with a capital one: one entry.
    EXPECT_EQ(store.read("SpectrumAnalyser", "HideFreqToolTip", ""), "True");
    clsSpectrumAnalyser b(&store);
    EXPECT_EQ(b.Mode(), 1);
    EXPECT_TRUE(b.HideFreqToolTip);
    EXPECT_TRUE(b.Active);
    EXPECT_TRUE(b.ShowFilter);
    EXPECT_EQ(b.SpectrumSmooth(), 12);
    EXPECT_EQ(b.GraticuleColour, 0x123456U);
    EXPECT_FLOAT_EQ(b.Chn1Gain(), 2.5F);
    EXPECT_FLOAT_EQ(b.Chn2Shift(), -40.0F);
    EXPECT_FALSE(b.Chn1Trig());
    EXPECT_TRUE(b.Chn2Trig());
    for (int m = 0; m < 4; ++m)
        EXPECT_EQ(b.ScopeModeSettings[static_cast<size_t>(m)].TriggerChn, 0) << m;
}

TEST(AnalyserSettings, StoredModeTwoKeepsItsStoredChannelFlags)
{
    TempStore t;
    {
        SettingsStore store(t.path());
        store.write("SpectrumAnalyser", "Mode", "2");
        store.write("SpectrumAnalyser.Mode.2", "Chn2.Enabled", "False");
    }
    SettingsStore store(t.path());
    clsSpectrumAnalyser a(&store);
    EXPECT_EQ(a.Mode(), 2);
    EXPECT_FALSE(a.Chn2Enabled());
    a.setMode(0);
    a.setMode(2);
    EXPECT_TRUE(a.Chn2Enabled());
}

TEST(AnalyserSettings, DamagedOrDangerousValuesFallBackToSafeOnes)
{
    struct Case {
        const char* section;
        const char* key;
        const char* text;
    };
    const Case damaged[] = {
        {"SpectrumAnalyser", "Mode", "7"},
        {"SpectrumAnalyser", "SpectrumSmooth", "0"},
        {"SpectrumAnalyser", "DefaultSmoothCount", "1000"},
        {"SpectrumAnalyser", "Active", "maybe"},
        {"SpectrumAnalyser", "GraticuleColour", "green"},
        {"SpectrumAnalyser", "Y1BaseColour", "-5"},
        {"SpectrumAnalyser.Mode.0", "Chn1.Gain", "0"},
        {"SpectrumAnalyser.Mode.1", "Chn2.Gain", "-3"},
        {"SpectrumAnalyser.Mode.0", "Chn1.Shift", "abc"},
    };
    TempStore t;
    {
        SettingsStore store(t.path());
        for (const Case& c : damaged)
            store.write(c.section, c.key, c.text);
    }
    SettingsStore store(t.path());
    clsSpectrumAnalyser a(&store);
    EXPECT_EQ(a.Mode(), 0);
    EXPECT_EQ(a.SpectrumSmooth(), 1);
    EXPECT_FLOAT_EQ(a.SmoothDivider, 1.0F);
    EXPECT_EQ(a.DefaultSmoothCount, 24);
    EXPECT_FALSE(a.Active);
    EXPECT_EQ(a.GraticuleColour, 0x7F00U);
    EXPECT_EQ(a.Y1BaseColour, 0xFF00U);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[0].Chn1Gain, 0.000001F);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[1].Chn2Gain, 0.000001F);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[0].Chn1Shift, 0.0F);
}

TEST(AnalyserSettings, LoadedBaseColoursAreTheDrawnColours)
{
    TempStore t;
    {
        SettingsStore store(t.path());
        store.write("SpectrumAnalyser", "Y1BaseColour", "255");
        store.write("SpectrumAnalyser", "Y2BaseColour", "16711680");
    }
    SettingsStore store(t.path());
    clsSpectrumAnalyser a(&store);
    EXPECT_EQ(a.Y1Colour, 0xFFU);
    EXPECT_EQ(a.Y2Colour, 0xFF0000U);
}

TEST(AnalyserProperties, SmoothingCountKeepsItsDividerAndLimits)
{
    clsSpectrumAnalyser a;
    const std::pair<int, float> table[] = {{1, 1.0F}, {4, 2.5F}, {24, 12.5F}, {0, 1.0F}, {25, 12.5F}, {-3, 1.0F}};
    for (const auto& [count, divider] : table) {
        a.setSpectrumSmooth(count);
        EXPECT_FLOAT_EQ(a.SmoothDivider, divider) << count;
        EXPECT_GE(a.SpectrumSmooth(), 1);
        EXPECT_LE(a.SpectrumSmooth(), 24);
    }
}

TEST(AnalyserProperties, BrightnessDimsEachByteHalfToEven)
{
    clsSpectrumAnalyser a;
    a.Y1BaseColour = 0xFF00;
    a.SetChannelBrightness(0, 50);
    EXPECT_EQ(a.Y1Colour, 0x8000U); // 127.5 -> 128
    a.SetChannelBrightness(0, 30);
    EXPECT_EQ(a.Y1Colour, 0x4C00U); // 76.5 -> 76
    a.SetChannelBrightness(0, 0);
    EXPECT_EQ(a.Y1Colour, 0U);
    a.Y2BaseColour = 0x00FF7F01;
    a.SetChannelBrightness(1, 50);
    EXPECT_EQ(a.Y2Colour, 0x00804000U); // 255 -> 128, 127 -> 64 (63.5), 1 -> 0 (0.5)
    const uint32_t before = a.Y1Colour;
    a.SetChannelBrightness(2, 100);
    EXPECT_EQ(a.Y1Colour, before);
}

TEST(AnalyserProperties, PerModeSettersActOnTheCurrentRecord)
{
    clsSpectrumAnalyser a;
    a.setMode(1);
    a.setChn1Shift(50);
    EXPECT_NEAR(a.ScopeModeSettings[1].Chn1Offset, 21845.33, 0.01);
    a.setTriggerChn(3);
    EXPECT_FALSE(a.Chn1Trig());
    EXPECT_FALSE(a.Chn2Trig());
    a.setTriggerChn(1);
    EXPECT_TRUE(a.Chn1Trig());
    EXPECT_FALSE(a.Chn2Trig());
    a.setChn2Gain(0);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[1].Chn2Gain, 0.000001F);
    EXPECT_FLOAT_EQ(a.ScopeModeSettings[0].Chn2Gain, 1.0F);

    // The scale setters move the linear scale only; the getters follow LogMode.
    a.setLogMode(true);
    a.setYScaleMax(1000);
    EXPECT_NEAR(a.YScaleMax(), 4.515450, 1e-5);
    a.setLogMode(false);
    EXPECT_FLOAT_EQ(a.YScaleMax(), 1000.0F);
    EXPECT_FLOAT_EQ(a.YScaleRange(), 1000.0F + 32768.0F);
    a.setYScaleMin(-1000);
    EXPECT_FLOAT_EQ(a.YScaleRange(), 2000.0F);

    a.setMode(9);
    EXPECT_EQ(a.Mode(), 0);
}
