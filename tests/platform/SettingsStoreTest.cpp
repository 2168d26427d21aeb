#include "platform/SettingsStore.h"
#include "platform/Log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

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

namespace {

struct LogLines {
    LogLines() { setLogSink([this](const QString& line) { lines.append(line); }); }
    ~LogLines() { setLogSink({}); }
    QStringList lines;
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(SettingsStore, ValuesThatCannotBeUsedAreLoggedWithSectionAndKey)
{
    TempStore t;
    {
        QFile f(t.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[VFO1.VESKA]\nIFFrequency=abc\nTuneStep=nan\nCalibOffset=1e309\nTunedFrequency=99999999999999999999\n"
                "OscMultiplier=0x10\nHiSideLo=maybe\nAutoUpdate=True\nDDSInterfaceType=1\n");
    }
    SettingsStore store(t.path());
    LogLines log;
    EXPECT_EQ(store.readInt("vfo1.veska", "IFFrequency", 45), 45);
    EXPECT_DOUBLE_EQ(store.readDouble("VFO1.VESKA", "TuneStep", 1000), 1000);
    EXPECT_EQ(store.readInt("VFO1.VESKA", "CalibOffset", 0), 0);
    EXPECT_EQ(store.readInt("VFO1.VESKA", "TunedFrequency", 1), 1);
    EXPECT_EQ(store.readInt("VFO1.VESKA", "OscMultiplier", 1), 1);
    EXPECT_TRUE(store.readBool("VFO1.VESKA", "HiSideLo", true));
    ASSERT_EQ(log.lines.size(), 6) << log.lines.join('\n').toStdString();
    const char* expected[] = {"\"abc\" of VFO1.VESKA/IFFrequency", "\"nan\" of VFO1.VESKA/TuneStep",
                              "\"1e309\" of VFO1.VESKA/CalibOffset",
                              "\"99999999999999999999\" of VFO1.VESKA/TunedFrequency",
                              "\"0x10\" of VFO1.VESKA/OscMultiplier", "\"maybe\" of VFO1.VESKA/HiSideLo"};
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(log.lines[i].contains(expected[i])) << log.lines[i].toStdString();

    // Good values and missing keys say nothing.
    log.lines.clear();
    EXPECT_TRUE(store.readBool("VFO1.VESKA", "AutoUpdate", false));
    EXPECT_EQ(store.readInt("VFO1.VESKA", "DDSInterfaceType", 0), 1);
    EXPECT_EQ(store.readInt("VFO1.VESKA", "Missing", 3), 3);
    EXPECT_EQ(store.readInt("NoSection", "Missing", 3), 3);
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join('\n').toStdString();
}

TEST(SettingsStore, AFileThatIsNotARegularFileIsNeitherWaitedOnNorReplaced)
{
    TempStore t;
    const QString fifo = t.dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir(t.dir.path()).mkdir("folder.ini"));
    ASSERT_TRUE(QFile::link(fifo, t.dir.filePath("linked.ini")));
    for (const QString& path : {fifo, t.dir.filePath("folder.ini"), t.dir.filePath("linked.ini")}) {
        LogLines log;
        {
            SettingsStore store(path);
            EXPECT_FALSE(store.readError().isEmpty()) << path.toStdString();
            EXPECT_EQ(store.read("frmMain", "AutoStartSDR", "d"), "d");
            store.write("frmMain", "AutoStartSDR", "True");
            EXPECT_EQ(store.read("frmMain", "AutoStartSDR", "d"), "True") << "works in memory";
            EXPECT_FALSE(store.sync());
            EXPECT_FALSE(store.saveError().isEmpty());
        }
        // One line when read, one when the save is refused; the destructor's save repeats nothing.
        ASSERT_EQ(log.lines.size(), 2) << log.lines.join('\n').toStdString();
        EXPECT_TRUE(log.lines[0].contains(path) && log.lines[0].contains("cannot be read"))
            << log.lines[0].toStdString();
        EXPECT_TRUE(log.lines[1].contains(path) && log.lines[1].contains("cannot be saved"))
            << log.lines[1].toStdString();
    }
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile() && !QFileInfo(fifo).isDir());
    EXPECT_TRUE(QFileInfo(t.dir.filePath("folder.ini")).isDir());
    EXPECT_TRUE(QFileInfo(t.dir.filePath("linked.ini")).isSymLink());
}

TEST(SettingsStore, SavesThroughALinkOnlyToARegularFile)
{
    TempStore t;
    QDir(t.dir.path()).mkdir("kept");
    const QString real = t.dir.filePath("kept/real.ini");
    {
        QFile f(real);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[frmMain]\nAutoStartSDR=False\n");
    }
    ASSERT_TRUE(QFile::link(real, t.path()));
    {
        SettingsStore store(t.path());
        EXPECT_EQ(store.read("frmMain", "AutoStartSDR", "d"), "False");
        store.write("frmMain", "AutoStartSDR", "True");
        ASSERT_TRUE(store.sync()) << store.saveError().toStdString();
    }
    EXPECT_TRUE(QFileInfo(t.path()).isSymLink());
    EXPECT_TRUE(contents(real).contains("AutoStartSDR=True")) << contents(real).toStdString();

    // A device node behind the link (only root can make one) is never replaced.
    const QString node = t.dir.filePath("node");
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "a device node cannot be made here";
    QFile::remove(t.path());
    ASSERT_TRUE(QFile::link(node, t.path()));
    LogLines log;
    SettingsStore store(t.path());
    store.write("frmMain", "AutoStartSDR", "True");
    EXPECT_FALSE(store.sync());
    EXPECT_TRUE(store.saveError().contains("character device")) << store.saveError().toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(node).constData(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(SettingsStore, ALockInTheWayEndsTheSaveWithAReasonInsteadOfWaiting)
{
    TempStore t;
    ASSERT_TRUE(QDir(t.dir.path()).mkdir("ORVIKSDR.ini.lock"));
    LogLines log;
    {
        SettingsStore store(t.path());
        store.setLockTimeoutMs(200);
        store.write("frmMain", "AutoStartSDR", "True");
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(store.sync());
        EXPECT_LT(clock.elapsed(), 20000);
        EXPECT_TRUE(store.saveError().contains("ORVIKSDR.ini.lock")) << store.saveError().toStdString();
    }
    EXPECT_FALSE(QFile::exists(t.path()));
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_TRUE(log.lines[0].contains(t.path())) << log.lines[0].toStdString();

    // A lock another instance holds: the save gives up after the timeout.
    QDir(t.dir.path()).rmdir("ORVIKSDR.ini.lock");
    QLockFile other(t.path() + ".lock");
    ASSERT_TRUE(other.tryLock(0));
    SettingsStore store(t.path());
    store.setLockTimeoutMs(100);
    store.write("frmMain", "AutoStartSDR", "True");
    EXPECT_FALSE(store.sync());
    other.unlock();
    EXPECT_TRUE(store.sync()) << store.saveError().toStdString();
    EXPECT_TRUE(contents(t.path()).contains("AutoStartSDR=True"));
}

TEST(SettingsStore, AFailedSaveIsReportedAndLeavesTheOldFileWhole)
{
    TempStore t;
    const QByteArray before = "[frmMain]\nAutoStartSDR=False\n";
    {
        QFile f(t.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    LogLines log;
    {
        SettingsStore store(t.path());
        // As a full disk answers.
        store.setFileWriter(
            [](const QString&, const QByteArray&) { return QStringLiteral("No space left on device"); });
        store.write("frmMain", "AutoStartSDR", "True");
        EXPECT_FALSE(store.sync());
        EXPECT_EQ(store.saveError(), "No space left on device");
        EXPECT_FALSE(store.sync());
        EXPECT_EQ(contents(t.path()), before);
        EXPECT_EQ(log.lines.filter("cannot be saved: No space left on device").size(), 1)
            << log.lines.join('\n').toStdString();

        store.setFileWriter({});
        EXPECT_TRUE(store.sync()) << "the next save goes through";
        EXPECT_TRUE(store.saveError().isEmpty());
    }
    EXPECT_TRUE(contents(t.path()).contains("AutoStartSDR=True"));

    // A settings folder that cannot be made.
    QFile blocker(t.dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(t.dir.filePath("blocker/sub/ORVIKSDR.ini"));
    store.write("frmMain", "AutoStartSDR", "True");
    EXPECT_FALSE(store.sync());
    EXPECT_FALSE(store.saveError().isEmpty());
}

namespace {

// TMPDIR, where the store makes its private copy, for the life of the object.
struct TemporaryFolderAt {
    explicit TemporaryFolderAt(const QByteArray& folder) : old(qgetenv("TMPDIR")) { qputenv("TMPDIR", folder); }
    ~TemporaryFolderAt()
    {
        if (old.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old);
    }
    QByteArray old;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

// Without a private copy in the temporary folder the store used to start on the defaults.
TEST(SettingsStore, SettingsThatCannotBeCopiedAsideAreStillReadAndOnlyTheSaveIsRefused)
{
    TempStore t;
    const QByteArray before = "[frmMain]\nSDRModelNo=7\nAutoStartSDR=True\n";
    writeFile(t.path(), before);
    const QString other = t.dir.filePath("other.ini");
    writeFile(other, "[frmMain]\nSDRModelNo=3\nAutoStartSDR=True\n");
    // A temporary "folder" that is a file: no folder, let alone a copy, can be made in it.
    writeFile(t.dir.filePath("not-a-folder"), "");
    TemporaryFolderAt blocked(QFile::encodeName(t.dir.filePath("not-a-folder")));
    LogLines log;
    {
        SettingsStore store(t.path());
        EXPECT_EQ(store.readInt("frmMain", "SDRModelNo", 0), 7);
        EXPECT_TRUE(store.readBool("frmMain", "AutoStartSDR", false));
        EXPECT_TRUE(store.saveRefusal().contains("not-a-folder")) << store.saveRefusal().toStdString();
        ASSERT_EQ(log.lines.size(), 1) << log.lines.join('\n').toStdString();
        EXPECT_TRUE(log.lines[0].contains(t.path()) && log.lines[0].contains("cannot be saved"))
            << log.lines[0].toStdString();

        // Writing back what was read changes nothing, so there is nothing to refuse.
        store.write("frmMain", "SDRModelNo", "7");
        EXPECT_TRUE(store.sync());
        store.write("FRMMAIN", "AutoStartSDR", "False");
        EXPECT_EQ(store.read("frmMain", "AutoStartSDR", "?"), "False") << "kept in memory";
        EXPECT_FALSE(store.sync());
        EXPECT_EQ(store.saveError(), store.saveRefusal());
    }
    EXPECT_EQ(contents(t.path()), before);
    EXPECT_EQ(log.lines.filter("cannot be saved").size(), 2) << log.lines.join('\n').toStdString();

    // A second store in the same plight sees its own file, not the first one's changes.
    SettingsStore second(other);
    EXPECT_EQ(second.readInt("frmMain", "SDRModelNo", 0), 3);
    EXPECT_TRUE(second.readBool("frmMain", "AutoStartSDR", false));
}

// A read-only file used to be replaced by renaming over it.
TEST(SettingsStore, AFileTheUserMayNotWriteIsLeftAsItIsAndTheSaveFails)
{
    TempStore t;
    const QByteArray before = "[frmMain]\nAutoStartSDR=False\n";
    writeFile(t.path(), before);
    ASSERT_TRUE(QFile::setPermissions(t.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    LogLines log;
    {
        SettingsStore store(t.path());
        store.write("frmMain", "AutoStartSDR", "True");
        EXPECT_FALSE(store.sync());
        EXPECT_TRUE(store.saveError().contains("0444")) << store.saveError().toStdString();
    }
    EXPECT_EQ(contents(t.path()), before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(t.path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    ASSERT_EQ(log.lines.filter("cannot be saved").size(), 1) << log.lines.join('\n').toStdString();
    EXPECT_TRUE(log.lines.filter("cannot be saved")[0].contains(t.path()));
}

// A long value used to be quoted whole, one line per read, each as long as the value.
TEST(SettingsStore, AnUnusableValueIsQuotedByItsFirst80Characters)
{
    TempStore t;
    const QString value = QString(80, 'a') + QString(1000000, 'b');
    writeFile(t.path(), "[VFO1.VESKA]\nIFFrequency=" + value.toLatin1() + "\nTuneStep=" + QByteArray(80, 'c') + "\n");
    SettingsStore store(t.path());
    LogLines log;
    EXPECT_EQ(store.readInt("VFO1.VESKA", "IFFrequency", 45), 45);
    EXPECT_EQ(store.readInt("VFO1.VESKA", "TuneStep", 1), 1);
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_EQ(log.lines[0], "Warning:SettingsStore:ignoring the stored value \"" + QString(80, 'a') +
                                "... (1000080 characters)\" of VFO1.VESKA/IFFrequency");
    EXPECT_TRUE(log.lines[1].contains("\"" + QString(80, 'c') + "\" of")) << "80 characters are quoted whole";
}
