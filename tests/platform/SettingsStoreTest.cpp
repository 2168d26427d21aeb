#include "platform/SettingsStore.h"
#include "platform/Log.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvik;

namespace {

struct TempStore {
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/ORVIKSDR.ini"; }
};

} // namespace

TEST(SettingsStore, SectionsAndKeysMatchWithoutRegardToCase)
{
    TempStore t;
    {
        SettingsStore store(t.path());
        store.write("DDSAD9835", "ClkIn", "50000000");
        store.write("ddsad9835", "CLKIn", "49999000");
        EXPECT_EQ(store.read("DdsAd9835", "clkin", "x"), "49999000");
        ASSERT_TRUE(store.sync());
    }
    // The second write reused the first spelling: one entry in the file.
    QFile f(t.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_EQ(text.count("ClkIn="), 1) << text.toStdString();
    EXPECT_FALSE(text.contains("CLKIn")) << text.toStdString();
    EXPECT_EQ(text.count("[DDSAD9835]"), 1) << text.toStdString();
    EXPECT_FALSE(text.contains("[ddsad9835]")) << text.toStdString();
}

TEST(SettingsStore, ValuesRoundTripAsTextAcrossInstances)
{
    TempStore t;
    {
        SettingsStore store(t.path());
        store.writeBool("frmMain", "AutoUpdate", true);
        store.writeBool("frmMain", "HiSideLo", false);
        store.writeInt("frmMain", "TunedFrequency", -2147483647 - 1);
        store.writeDouble("frmMain", "TuneStep", 2.5);
        store.writeDouble("frmMain", "Whole", 1000000.0);
        store.write("frmMain", "IFFilterSettings(0).FilterSettings(1).CurrentHi", "3000");
        store.write("frmMain", "Caption", "a, b; c");
    }
    SettingsStore store(t.path());
    EXPECT_EQ(store.read("frmMain", "AutoUpdate", ""), "True");
    EXPECT_EQ(store.read("frmMain", "HiSideLo", ""), "False");
    EXPECT_TRUE(store.readBool("frmMain", "AutoUpdate", false));
    EXPECT_FALSE(store.readBool("frmMain", "HiSideLo", true));
    EXPECT_EQ(store.readInt("frmMain", "TunedFrequency", 0), -2147483647 - 1);
    EXPECT_EQ(store.read("frmMain", "TuneStep", ""), "2.5");
    EXPECT_EQ(store.read("frmMain", "Whole", ""), "1000000");
    EXPECT_EQ(store.read("frmMain", "IFFilterSettings(0).FilterSettings(1).CurrentHi", ""), "3000");
    EXPECT_EQ(store.read("frmMain", "Caption", ""), "a, b; c");
}

TEST(SettingsStore, TypedReadsFallBackOnMissingOrMalformedText)
{
    TempStore t;
    SettingsStore store(t.path());
    store.write("S", "Text", "abc");
    store.write("S", "Big", "3000000000");
    store.write("S", "Half", "2.5");
    store.write("S", "OddHalf", " 3.5 ");
    store.write("S", "Upper", "FALSE");
    store.write("S", "Zero", "0");
    store.write("S", "Trail", "12abc");

    EXPECT_EQ(store.readInt("S", "Missing", 7), 7);
    EXPECT_EQ(store.readInt("S", "Text", 7), 7);
    EXPECT_EQ(store.readInt("S", "Big", 7), 7);
    EXPECT_EQ(store.readInt("S", "Trail", 7), 7);
    EXPECT_EQ(store.readInt("S", "Half", 7), 2);
    EXPECT_EQ(store.readInt("S", "OddHalf", 7), 4);
    EXPECT_DOUBLE_EQ(store.readDouble("S", "Text", 1.25), 1.25);
    EXPECT_DOUBLE_EQ(store.readDouble("S", "Half", 0), 2.5);
    EXPECT_FALSE(store.readBool("S", "Upper", true));
    EXPECT_FALSE(store.readBool("S", "Zero", true));
    EXPECT_TRUE(store.readBool("S", "Half", false));
    EXPECT_TRUE(store.readBool("S", "Text", true));
    EXPECT_FALSE(store.readBool("S", "Text", false));
}

TEST(SettingsStore, DefaultPathFollowsXdgConfigHome)
{
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/orvik-cfg");
    EXPECT_EQ(SettingsStore::defaultPath(), "/tmp/orvik-cfg/ORVIKSDR/ORVIKSDR.ini");
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
}

TEST(SettingsStore, FileWithUnreadableLinesIsKeptAsItWasBeforeTheNextSave)
{
    TempStore t;
    const QByteArray original = "[frmMain]\nAutoStartSDR=True\nhand-edited line\n[Notes\nk=1\n";
    {
        QFile f(t.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    QStringList logged;
    setLogSink([&logged](const QString& line) { logged.append(line); });
    {
        SettingsStore store(t.path());
        EXPECT_EQ(store.read("frmMain", "AutoStartSDR", "x"), "True");
        store.write("frmMain", "NoiseFloor", "1000000");
        store.sync();
    }
    setLogSink({});
    QFile copy(t.path() + ".unreadable");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].contains(t.path() + ".unreadable")) << logged[0].toStdString();

    // A file that reads cleanly leaves no copy and logs nothing.
    QFile::remove(t.path() + ".unreadable");
    logged.clear();
    setLogSink([&logged](const QString& line) { logged.append(line); });
    { SettingsStore again(t.path()); }
    setLogSink({});
    EXPECT_TRUE(logged.isEmpty());
    EXPECT_FALSE(QFile::exists(t.path() + ".unreadable"));
}
