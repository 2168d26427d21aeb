#include "bands/modIniFiles.h"
#include "BandsTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

using namespace orvik;
using orvik::testing::readFile;
using orvik::testing::writeFile;

namespace {

class IniFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = QStringLiteral("test.ini")) const { return dir.filePath(name); }
};

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    const char* defaultValue;
    int32_t field;
    QString expected;
};

TEST_F(IniFiles, ReadFollowsThePrivateProfileRules)
{
    const QByteArray plain = "[Main]\r\nName=Alpha\r\nList=a,b,c\r\nSpaced=a, b\r\nTrailing=a,b,\r\n"
                             "Single=abc\r\nEmpty=\r\n";
    const ReadCase cases[] = {
        {"missing key gives the default", plain, "Main", "Nothing", "-1", 0, "-1"},
        {"missing key with empty default is empty", plain, "Main", "Nothing", "", 0, ""},
        {"missing section gives the default", plain, "Other", "Name", "d", 0, "d"},
        {"section and key ignore case", plain, "mAIN", "NAME", "", 0, "Alpha"},
        {"empty value is empty, not the default", plain, "Main", "Empty", "d", 0, ""},
        {"field 0 is the whole value", plain, "Main", "List", "", 0, "a,b,c"},
        {"field 1", plain, "Main", "List", "", 1, "a"},
        {"field 2", plain, "Main", "List", "", 2, "b"},
        {"field 3", plain, "Main", "List", "", 3, "c"},
        {"field past the last is empty", plain, "Main", "List", "", 4, ""},
        {"negative field is empty", plain, "Main", "List", "", -1, ""},
        {"value without comma, field 1", plain, "Main", "Single", "", 1, "abc"},
        {"value without comma, field 2", plain, "Main", "Single", "", 2, ""},
        {"fields keep their blanks", plain, "Main", "Spaced", "", 2, " b"},
        {"empty field after a trailing comma", plain, "Main", "Trailing", "", 3, ""},
        {"fields apply to the default", plain, "Main", "Nothing", "x,y", 2, "y"},
        {"blanks around key and value go", "[ Main ]\n  Name \t=  Beta  \n", "Main", "Name", "", 0, "Beta"},
        {"enclosing quotes go", "[S]\nk=\" quoted \"\n", "S", "k", "", 0, " quoted "},
        {"a lone quote stays", "[S]\nk=\"\n", "S", "k", "", 0, "\""},
        {"semicolon lines are comments", "[S]\n;k=1\n  ; k=2\n", "S", "k", "d", 0, "d"},
        {"hash lines are text", "[S]\n#k=1\nDescription=SubBand #1\n", "S", "Description", "", 0, "SubBand #1"},
        {"hash key is a key", "[S]\n#k=1\n", "S", "#k", "", 0, "1"},
        {"first key wins", "[S]\nk=1\nk=2\n", "S", "k", "", 0, "1"},
        {"first section wins", "[S]\nk=1\n[s]\nk=2\nj=3\n", "S", "j", "d", 0, "d"},
        {"keys before any section are not in one", "k=1\n[S]\n", "S", "k", "d", 0, "d"},
        {"lines without '=' are no keys", "[S]\nk\n", "S", "k", "d", 0, "d"},
        {"value may hold '='", "[S]\nk=a=b\n", "S", "k", "", 0, "a=b"},
        {"CR-only line ends", "[S]\rk=cr\r", "S", "k", "", 0, "cr"},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "", 0, "v"},
        {"UTF-8 text", "[S]\nk=Caf\xC3\xA9\n", "S", "k", "", 0, QStringLiteral("Caf\u00E9")},
        {"not UTF-8 reads as Windows-1252", "[S]\nk=Caf\xE9 \x80\n", "S", "k", "", 0, QStringLiteral("Caf\u00E9 \u20AC")},
        {"section without closing bracket", "[S\nk=v\n", "S", "k", "", 0, "v"},
    };
    for (const ReadCase& c : cases) {
        writeFile(path(), c.file);
        EXPECT_EQ(ReadIniString(c.section, c.key, c.defaultValue, path(), c.field), c.expected) << c.name;
    }
}

TEST_F(IniFiles, MissingFileGivesTheDefault)
{
    EXPECT_EQ(ReadIniString("S", "k", "-1", path("none.ini")), "-1");
    EXPECT_EQ(ReadIniString("S", "k", "a,b", path("none.ini"), 2), "b");
}

TEST_F(IniFiles, LongValuesAreCutTo2047Characters)
{
    const QByteArray value(3000, 'x');
    writeFile(path(), "[S]\nk=" + value + "\n");
    EXPECT_EQ(ReadIniString("S", "k", "", path()).size(), 2047);
    EXPECT_EQ(ReadIniString("S", "missing", QString(3000, u'y'), path()).size(), 2047);
    // A cut never splits a character outside the basic plane.
    const QString wide = QString(2046, u'a') + QStringLiteral("\U0001F4FB");
    EXPECT_EQ(IniField(wide, 0), QString(2046, u'a'));
}

TEST_F(IniFiles, WritingCreatesTheFileSectionAndKey)
{
    ASSERT_TRUE(WriteIniString("Main", "Name", "Alpha", path()));
    EXPECT_EQ(readFile(path()), "[Main]\r\nName=Alpha\r\n");
    ASSERT_TRUE(WriteIniString("Next", "Count", "3", path()));
    ASSERT_TRUE(WriteIniString("Main", "Other", "x", path()));
    EXPECT_EQ(readFile(path()), "[Main]\r\nName=Alpha\r\nOther=x\r\n[Next]\r\nCount=3\r\n");
}

TEST_F(IniFiles, RewritingAKeyKeepsEveryOtherLineByteForByte)
{
    const QByteArray before = "; theme file\n[Colours]\n  Back = 12  \nFore=\"7\"\n\n; end of colours\n"
                              "[other]\nBack=1\nlast=no newline";
    writeFile(path(), before);
    ASSERT_TRUE(WriteIniString("COLOURS", "back", "99", path()));
    EXPECT_EQ(readFile(path()), QByteArray(before).replace("  Back = 12  ", "back=99"));

    // A new key goes after the section's last key, before its trailing lines;
    // the file's own line end is used.
    ASSERT_TRUE(WriteIniString("Colours", "Frame", "5", path()));
    EXPECT_EQ(readFile(path()), "; theme file\n[Colours]\nback=99\nFore=\"7\"\nFrame=5\n\n; end of colours\n"
                                "[other]\nBack=1\nlast=no newline");

    // Appending behind an unterminated last line ends that line first.
    ASSERT_TRUE(WriteIniString("other", "new", "1", path()));
    ASSERT_TRUE(WriteIniString("Third", "k", "v", path()));
    EXPECT_TRUE(readFile(path()).endsWith("last=no newline\nnew=1\n[Third]\nk=v\n"));
}

TEST_F(IniFiles, FileLinkedIntoTheFolderIsWrittenWhereItLives)
{
    ASSERT_TRUE(QDir().mkpath(path("kept")));
    const QString target = path("kept/Broadcast.bpl");
    const QString linked = path("Broadcast.bpl");
    writeFile(target, "[MainBand]\r\nActive=False\r\n");
    ASSERT_TRUE(QFile::link(target, linked));

    ASSERT_TRUE(WriteIniString("MainBand", "Active", "True", linked));
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_EQ(readFile(target), "[MainBand]\r\nActive=True\r\n");

    // The backup of a band-plan save lies beside the file it stands for.
    ASSERT_TRUE(SaveIniFile(linked, "[MainBand]\r\nActive=False\r\n", true, nullptr));
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_EQ(readFile(target), "[MainBand]\r\nActive=False\r\n");
    EXPECT_EQ(readFile(target + ".bak"), "[MainBand]\r\nActive=True\r\n");
}

TEST_F(IniFiles, ValuesReadBackAsWritten)
{
    const QString values[] = {QStringLiteral("  leading and trailing  "), QStringLiteral("\"quoted\""),
                              QStringLiteral(";not a comment"), QStringLiteral("SubBand #1"),
                              QStringLiteral("a=b,c"), QStringLiteral("Caf\u00E9 \u20AC \U0001F4FB"),
                              QString()};
    for (const QString& value : values) {
        ASSERT_TRUE(WriteIniString("S", "k", value, path()));
        EXPECT_EQ(ReadIniString("S", "k", "default", path()), value);
    }
}

TEST_F(IniFiles, LineBreaksAndBrokenKeysCannotCorruptTheFile)
{
    ASSERT_TRUE(WriteIniString("S", "Description", "line one\r\nline two\n[Evil]\rx", path()));
    EXPECT_EQ(ReadIniString("S", "Description", "", path()), "line one line two [Evil] x");
    EXPECT_EQ(ReadIniString("Evil", "x", "none", path()), "none");

    const QByteArray before = readFile(path());
    const char* refusedKeys[] = {"a=b", "a\nb", "a\rb", "", "   ", ";comment", "[Section]"};
    for (const char* key : refusedKeys)
        EXPECT_FALSE(WriteIniString("S", key, "v", path())) << key;
    EXPECT_FALSE(WriteIniString("S]x", "k", "v", path()));
    EXPECT_FALSE(WriteIniString("S\nx", "k", "v", path()));
    EXPECT_EQ(readFile(path()), before);
}

TEST_F(IniFiles, FailedWritesAreReportedAndLoseNothing)
{
    writeFile(path("blocker"), "a plain file");
    EXPECT_FALSE(WriteIniString("S", "k", "v", path("blocker") + "/inside.ini"));
    EXPECT_FALSE(WriteIniString("S", "k", "v", path("no/such/folder.ini")));

    // A write that fails part-way (disk full) leaves the old file whole.
    const QByteArray before = "[S]\nk=old\n";
    writeFile(path(), before);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const bool written = WriteIniString("S", "k", "a value longer than eight bytes", path());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no temporary file is left behind";
}

TEST_F(IniFiles, UnreadableFileIsNeitherReadNorReplaced)
{
    QDir(dir.path()).mkdir("folder.ini");
    EXPECT_EQ(ReadIniString("S", "k", "d", path("folder.ini")), "d");
    EXPECT_FALSE(WriteIniString("S", "k", "v", path("folder.ini")));
    EXPECT_TRUE(QFileInfo(path("folder.ini")).isDir());
}

// A FIFO, or a link to one, once blocked the start for ever in open().
TEST_F(IniFiles, FifoAndDeviceAreRefusedWithALogLineAndNeverReplaced)
{
    const QString fifo = path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, path("Dream.ini")));
    ASSERT_TRUE(QFile::link("/dev/zero", path("zero.ini")));
    orvik::testing::LogRecorder log;
    for (const QString& file : {fifo, path("Dream.ini"), path("zero.ini")}) {
        const IniFileContents contents = LoadIniFile(file);
        EXPECT_FALSE(contents.readable) << file.toStdString();
        EXPECT_TRUE(contents.error.contains("not a regular file")) << contents.error.toStdString();
        EXPECT_EQ(ReadIniString("S", "k", "d", file), "d");
        log.lines.clear();
        EXPECT_FALSE(WriteIniString("receiver", "flipspectrum", "0", file));
        ASSERT_EQ(log.lines.size(), 1) << file.toStdString();
        EXPECT_TRUE(log.lines[0].contains(file)) << log.lines[0].toStdString();
        QString error;
        EXPECT_FALSE(SaveIniFile(file, "[S]\n", true, &error));
        EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    }
    EXPECT_TRUE(QFileInfo(fifo).isSymLink() == false && QFileInfo(path("Dream.ini")).isSymLink());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 3) << "no file was put in their place";
}

} // namespace
