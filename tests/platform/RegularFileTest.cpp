#include "platform/files/RegularFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvik {
namespace {

namespace fs = std::filesystem;

class RegularFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/regular-file-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        fifo = (dir / "fifo").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }
    void write(const char* name, const std::string& text) const { std::ofstream(dir / name) << text; }
    std::string contents(const char* name) const
    {
        std::ifstream in(dir / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string fifo;
};

// Everything here returns at once; before the checks the FIFO cases blocked for ever.
TEST_F(RegularFile, ReadingRefusesEverythingButARegularFileWithoutWaiting)
{
    write("plain", "abc");
    fs::create_symlink(fifo, dir / "link-to-fifo");
    fs::create_directory(dir / "folder");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("socket");
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string path;
        ReadResult result;
        const char* why;
    };
    const Case cases[] = {
        {path("plain"), ReadResult::Read, ""},
        {path("missing"), ReadResult::Missing, "No such file"},
        {fifo, ReadResult::Refused, "it is a FIFO, not a regular file"},
        {path("link-to-fifo"), ReadResult::Refused, "it is a FIFO, not a regular file"},
        {path("folder"), ReadResult::Refused, "it is a folder, not a regular file"},
        {"/dev/zero", ReadResult::Refused, "it is a character device, not a regular file"},
        {"/dev/null", ReadResult::Refused, "it is a character device, not a regular file"},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case& c : cases) {
        std::vector<char> bytes;
        std::string why;
        EXPECT_EQ(readRegularFile(c.path, 1 << 20, bytes, why), c.result) << c.path;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.path << ": " << why;
        if (c.result != ReadResult::Read)
            EXPECT_TRUE(bytes.empty()) << c.path;
        else
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abc");
    }
    std::string why;
    EXPECT_EQ(openRegularFileForReading(fifo, why), -1);
    EXPECT_EQ(openRegularFileForWriting(fifo, false, true, why), -1) << "a FIFO without a reader";
    EXPECT_EQ(openRegularFileForWriting(path("folder"), false, true, why), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ::close(sock);
}

TEST_F(RegularFile, ReadingIsBoundedByTheLimit)
{
    write("big", std::string(4096, 'x'));
    std::vector<char> bytes;
    std::string why;
    EXPECT_EQ(readRegularFile(path("big"), 4095, bytes, why), ReadResult::Refused);
    EXPECT_NE(why.find("larger than 4095"), std::string::npos) << why;
    EXPECT_EQ(readRegularFile(path("big"), 4096, bytes, why), ReadResult::Read);
    EXPECT_EQ(bytes.size(), 4096u);
}

TEST_F(RegularFile, WritingTruncatesOnlyAfterTheCheckAndAppendsWhenAsked)
{
    write("log", "old\n");
    std::string why;
    int fd = openRegularFileForWriting(path("log"), false, true, why);
    ASSERT_GE(fd, 0) << why;
    ASSERT_TRUE(writeAllTo(fd, "more\n", 5));
    ::close(fd);
    EXPECT_EQ(contents("log"), "old\nmore\n");
    fd = openRegularFileForWriting(path("log"), true, false, why);
    ASSERT_GE(fd, 0) << why;
    ASSERT_TRUE(writeAllTo(fd, "new\n", 4));
    ::close(fd);
    EXPECT_EQ(contents("log"), "new\n");
    fd = openRegularFileForWriting(path("created"), true, false, why);
    ASSERT_GE(fd, 0) << why;
    ::close(fd);
    EXPECT_TRUE(fs::is_regular_file(dir / "created"));
}

TEST_F(RegularFile, ReplacingWritesThroughLinksOnlyToRegularFiles)
{
    write("target", "old");
    fs::create_directory(dir / "elsewhere");
    write("elsewhere/kept", "old");
    fs::create_symlink(dir / "target", dir / "absolute-link");
    fs::create_symlink("elsewhere/kept", dir / "relative-link");
    fs::create_symlink("link-to-link-target", dir / "link-to-link");
    fs::create_symlink("target", dir / "link-to-link-target");
    fs::create_symlink(fifo, dir / "link-to-fifo");
    fs::create_symlink("nowhere", dir / "dangling");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    std::string why;

    ASSERT_TRUE(replaceRegularFile(path("absolute-link"), "one", 3, why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir / "absolute-link"));
    EXPECT_EQ(contents("target"), "one");
    ASSERT_TRUE(replaceRegularFile(path("relative-link"), "two", 3, why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir / "relative-link"));
    EXPECT_EQ(contents("elsewhere/kept"), "two");
    ASSERT_TRUE(replaceRegularFile(path("link-to-link"), "three", 5, why)) << why;
    EXPECT_EQ(contents("target"), "three");
    ASSERT_TRUE(replaceRegularFile(path("dangling"), "four", 4, why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(contents("nowhere"), "four");

    EXPECT_FALSE(replaceRegularFile(path("link-to-fifo"), "x", 1, why));
    EXPECT_NE(why.find("a FIFO"), std::string::npos) << why;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(replaceRegularFile(fifo, "x", 1, why));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(replaceRegularFile(path("loop-a"), "x", 1, why));
    EXPECT_FALSE(replaceRegularFile(path("elsewhere"), "x", 1, why));
    EXPECT_TRUE(fs::is_directory(dir / "elsewhere"));

    // A device node, as only root can make one: never replaced by a file.
    const std::string node = path("node");
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        fs::create_symlink(node, dir / "link-to-node");
        EXPECT_FALSE(replaceRegularFile(path("link-to-node"), "x", 1, why));
        EXPECT_NE(why.find("a character device"), std::string::npos) << why;
        EXPECT_TRUE(fs::is_character_file(node));
    }
    // No temporary file is left behind by any of the refusals or writes.
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find('.'), std::string::npos) << entry.path();
}

TEST_F(RegularFile, AFailedReplaceLeavesTheOldFileWhole)
{
    write("kept", "precious");
    fs::permissions(dir / "kept", fs::perms::owner_read | fs::perms::owner_write);
    std::string why;
    // A path below a regular file cannot be made: the write fails before any rename.
    EXPECT_FALSE(replaceRegularFile(path("kept") + "/child", "x", 1, why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(contents("kept"), "precious");
    ASSERT_TRUE(replaceRegularFile(path("kept"), "new", 3, why)) << why;
    EXPECT_EQ(fs::status(dir / "kept").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write) << "the old file's permissions are kept";
}

// The mode and owner decide, for root as for anybody: a read-only file was replaced by
// renaming over it, and another user's file became ours.
TEST_F(RegularFile, AFileTheModeDoesNotLetUsWriteIsNeverReplaced)
{
    write("read-only", "kept");
    fs::permissions(dir / "read-only", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string why;
    EXPECT_FALSE(replaceRegularFile(path("read-only"), "x", 1, why));
    EXPECT_NE(why.find("0444"), std::string::npos) << why;
    EXPECT_EQ(contents("read-only"), "kept");
    fs::create_symlink("read-only", dir / "link-to-read-only");
    EXPECT_FALSE(replaceRegularFile(path("link-to-read-only"), "x", 1, why));
    EXPECT_EQ(contents("read-only"), "kept");

    // Files of another user, as only root can give them away.
    constexpr uid_t other = 12345;
    write("theirs", "kept");
    if (::chown(path("theirs").c_str(), other, ::getegid()) != 0)
        GTEST_SKIP() << "files cannot be given to another user here";
    ::chmod(path("theirs").c_str(), 0644);
    EXPECT_FALSE(replaceRegularFile(path("theirs"), "x", 1, why));
    EXPECT_NE(why.find("belongs to user 12345"), std::string::npos) << why;
    EXPECT_EQ(contents("theirs"), "kept");

    // Their group's write bit lets our group in; the file stays theirs.
    ::chmod(path("theirs").c_str(), 0664);
    ASSERT_TRUE(replaceRegularFile(path("theirs"), "new", 3, why)) << why;
    EXPECT_EQ(contents("theirs"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(path("theirs").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

} // namespace
} // namespace orvik
