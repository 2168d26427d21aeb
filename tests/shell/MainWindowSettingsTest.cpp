#include "platform/SettingsStore.h"
#include "shell/MainWindowSettings.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct Store {
    QTemporaryDir dir;
    SettingsStore store{dir.filePath("ORVIKSDR.ini")};
    QString get(const char* key) { return store.read("frmMain", key, "<absent>"); }
};

} // namespace

TEST(MainWindowSettings, FirstStartTakesTheDefaults)
{
    Store s;
    MainWindowOptions o;
    o.SDRModelNo = 1;
    o.CurrentMainBandIndex = 3;
    o.Dream.DreamCloseOnExit = false;
    o.AutoTrackPresets = false;
    o.AutoStartSDR = true;
    o.CurrentCaptureDevice = 4;
    std::vector<int> sizes;
    int analyser = -1, stats = -1;
    MainWindowRestoreHooks hooks;
    hooks.selectDisplaySize = [&](int i) { sizes.push_back(i); };
    hooks.setSpectrumAnalyserBox = [&](int16_t v) { analyser = v; };
    hooks.setPerfStatsBox = [&](int16_t v) { stats = v; };
    RestoreMainWindowSettings(s.store, o, hooks);

    EXPECT_EQ(o.SDRModelNo, 1);
    EXPECT_EQ(o.CurrentMainBandIndex, 3);
    EXPECT_FLOAT_EQ(o.NoiseFloor, 10.0f);
    EXPECT_TRUE(sizes.empty());
    EXPECT_EQ(analyser, 0);
    EXPECT_EQ(stats, 0);
    EXPECT_EQ(o.CurrentCaptureDevice, 1);
    EXPECT_EQ(o.CurrentPlaybackDevice, 1);
    EXPECT_TRUE(o.Dream.DreamCloseOnExit);
    EXPECT_TRUE(o.AutoTrackPresets);
    EXPECT_FALSE(o.AutoStartSDR);
    EXPECT_EQ(o.Dream.DreamWindowStyle, 1);
    EXPECT_TRUE(o.Dream.PathToDream.isEmpty());
}

TEST(MainWindowSettings, StoredValuesComeBackAndBadOnesKeepTheirTarget)
{
    Store s;
    s.store.write("frmMain", "NoiseFloor", "1000000");
    s.store.write("FRMMAIN", "sdrmodelno", "1");
    s.store.write("frmMain", "CompactDisplay", "TRUE");
    s.store.write("frmMain", "FullDisplay", "-1");
    s.store.write("frmMain", "PerfStatsOn", "1");
    s.store.write("frmMain", "AutoStartSDR", "perhaps");
    s.store.write("frmMain", "CurrentCaptureDevice", "three");
    s.store.write("frmMain", "UseSPL", "True");
    s.store.write("frmMain", "DRM.PathToDream", "/opt/dream/dream");
    MainWindowOptions o;
    o.AutoStartSDR = true;
    o.CurrentCaptureDevice = 2;
    std::vector<int> sizes;
    int stats = -1;
    MainWindowRestoreHooks hooks;
    hooks.selectDisplaySize = [&](int i) { sizes.push_back(i); };
    hooks.setPerfStatsBox = [&](int16_t v) { stats = v; };
    hooks.SPLPresent = false;
    RestoreMainWindowSettings(s.store, o, hooks);

    EXPECT_FLOAT_EQ(o.NoiseFloor, 10.0f);
    EXPECT_EQ(o.SDRModelNo, 1);
    EXPECT_EQ(sizes, (std::vector<int>{2, 3}));
    EXPECT_EQ(stats, 1);
    EXPECT_TRUE(o.AutoStartSDR);          // unreadable: unchanged
    EXPECT_EQ(o.CurrentCaptureDevice, 2); // unreadable: unchanged
    EXPECT_FALSE(o.UseSPL);               // not read without the vendor library
    EXPECT_EQ(o.Dream.PathToDream, "/opt/dream/dream");

    hooks.SPLPresent = true;
    RestoreMainWindowSettings(s.store, o, hooks);
    EXPECT_TRUE(o.UseSPL);
}

TEST(MainWindowSettings, SaveWritesEveryKeyUnderItsOwnName)
{
    Store s;
    MainWindowOptions o;
    o.NoiseFloor = 0.5f;
    o.UseSPL = true;
    o.Dream.PathToDream = "/x/dream";
    o.Dream.DreamWindowStyle = 2;
    MainWindowSaveValues v;
    v.AGCAttack = 25;
    v.AGCDecay = 50;
    v.TunedFrequency = 71000004.5;
    v.DisplaySize = {false, false, false, true};
    v.colours[0] = 0;
    v.colours[4] = 0xFF;
    v.IFFilterCurrent[1][2] = {0, 6000};
    v.OutputAttenuation = -2500;
    SaveMainWindowSettings(s.store, o, v);

    EXPECT_EQ(s.get("NoiseFloor"), "50000");
    EXPECT_EQ(s.get("AGCAttack"), "25");
    EXPECT_EQ(s.get("AGCDecay"), "50");
    EXPECT_EQ(s.get("LastTunedFrequency"), "71000005");
    EXPECT_EQ(s.get("FullDisplay"), "True");
    EXPECT_EQ(s.get("ExtendedDisplay"), "False");
    EXPECT_EQ(s.get("SDRTuningColour"), "255");
    EXPECT_EQ(s.get("UseSPL"), "True");
    EXPECT_EQ(s.get("DRM.DreamWindowStyle"), "2");
    EXPECT_EQ(s.get("DRM.DreamCloseOnExit"), "True");
    EXPECT_EQ(s.get("OutputAttenuation"), "-2500");
    EXPECT_EQ(s.get("IFFilterSettings(1).FilterSettings(2).CurrentLo"), "6000");
    EXPECT_EQ(s.get("IFFilterSettings(2).FilterSettings(8).CurrentHi"), "0");

    o.NoiseFloor = 0.000001f;
    SaveMainWindowSettings(s.store, o, v);
    EXPECT_EQ(s.get("NoiseFloor"), "0");
}

TEST(MainWindowSettings, OptionsSurviveASaveAndRestore)
{
    Store s;
    MainWindowOptions saved;
    saved.SDRModelNo = 1;
    saved.CurrentMainBandIndex = 2;
    saved.NoiseFloor = 3.5f;
    saved.ShaftAutoRate = true;
    saved.CurrentPlaybackDevice = 3;
    saved.HiLiteBorder = true;
    saved.Dream.RunDreamOnDRM = true;
    saved.Dream.PathToDream = "/opt/my dream/dream";
    saved.Dream.DreamProgArgs = "--freq %CurFreq%";
    saved.Dream.DreamWindowStyle = 0;
    saved.Dream.DreamCloseOnExit = false;
    saved.AutoTrackPresets = false;
    saved.FormCaptionOffOnPwrOn = true;
    saved.AutoStartSDR = true;
    SaveMainWindowSettings(s.store, saved, MainWindowSaveValues{});
    MainWindowOptions restored;
    RestoreMainWindowSettings(s.store, restored, {});
    EXPECT_EQ(restored.SDRModelNo, 1);
    EXPECT_EQ(restored.CurrentMainBandIndex, 2);
    EXPECT_FLOAT_EQ(restored.NoiseFloor, 3.5f);
    EXPECT_TRUE(restored.ShaftAutoRate);
    EXPECT_EQ(restored.CurrentPlaybackDevice, 3);
    EXPECT_TRUE(restored.HiLiteBorder);
    EXPECT_TRUE(restored.Dream.RunDreamOnDRM);
    EXPECT_EQ(restored.Dream.PathToDream, saved.Dream.PathToDream);
    EXPECT_EQ(restored.Dream.DreamProgArgs, saved.Dream.DreamProgArgs);
    EXPECT_EQ(restored.Dream.DreamWindowStyle, 0);
    EXPECT_FALSE(restored.Dream.DreamCloseOnExit);
    EXPECT_FALSE(restored.AutoTrackPresets);
    EXPECT_TRUE(restored.FormCaptionOffOnPwrOn);
    EXPECT_TRUE(restored.AutoStartSDR);
}
