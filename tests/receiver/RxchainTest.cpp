// The WAV reader of the harness, and the harness run as a program.

#include "tools/PcmWav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace orvik {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> header(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes,
                            bool extraChunk = false)
{
    std::vector<uint8_t> b;
    b.reserve(96);
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    auto text = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    text("RIFF");
    put(0, 4);
    text("WAVE");
    if (extraChunk) {
        // An odd-sized chunk is padded to an even length.
        text("LIST");
        put(3, 4);
        b.insert(b.end(), {'a', 'b', 'c', 0});
    }
    text("fmt ");
    put(16, 4);
    put(tag, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * bits / 8, 4);
    put(channels * bits / 8, 2);
    put(bits, 2);
    text("data");
    put(dataBytes, 4);
    return b;
}

TEST(PcmWav, ReadsWhatItCanAndRefusesWhatItCannot)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
        size_t samples;
    };
    auto withoutLast = [](std::vector<uint8_t> b, size_t bytes) {
        b.erase(b.end() - static_cast<std::ptrdiff_t>(bytes), b.end());
        return b;
    };
    auto withData = [](std::vector<uint8_t> b, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i)
            b.push_back(uint8_t(i));
        return b;
    };
    const Case cases[] = {
        {"mono", withData(header(1, 1, 48000, 16, 8), 8), true, 4},
        {"stereo", withData(header(1, 2, 48000, 16, 8), 8), true, 4},
        {"padded chunk before fmt", withData(header(1, 1, 48000, 16, 4, true), 4), true, 2},
        {"data longer than the file", withData(header(1, 1, 48000, 16, 1000), 6), true, 3},
        {"odd byte at the end", withData(header(1, 1, 48000, 16, 5), 5), true, 2},
        {"8-bit", withData(header(1, 1, 48000, 8, 8), 8), false, 0},
        {"float", withData(header(3, 1, 48000, 32, 8), 8), false, 0},
        {"three channels", withData(header(1, 3, 48000, 16, 12), 12), false, 0},
        {"not RIFF", std::vector<uint8_t>(64, 'x'), false, 0},
        {"empty", {}, false, 0},
        {"no data chunk", withoutLast(header(1, 1, 48000, 16, 0), 8), false, 0},
    };
    for (const auto& c : cases) {
        PcmWav wav;
        std::string error;
        EXPECT_EQ(ParsePcmWav(c.bytes, wav, error), c.ok) << c.name << ": " << error;
        if (c.ok)
            EXPECT_EQ(wav.samples.size(), c.samples) << c.name;
        else
            EXPECT_FALSE(error.empty()) << c.name;
    }
}

class Rxchain : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The harness is built into the same folder as this test.
        program = fs::read_symlink("/proc/self/exe").parent_path() / "rxchain";
        ASSERT_TRUE(fs::exists(program)) << program;
        dir = fs::temp_directory_path() / ("rxchain-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string& arguments, const std::string& captureFile = "/dev/null", int timeoutSeconds = 0)
    {
        const std::string limit = timeoutSeconds > 0 ? "timeout " + std::to_string(timeoutSeconds) + " " : "";
        const std::string command = limit + program.string() + " " + arguments + " >" + captureFile + " 2>" +
                                    (dir / "stderr.txt").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string writeIF(const std::string& name, int32_t rate, int channels, size_t frames)
    {
        PcmWav wav;
        wav.sampleRate = rate;
        wav.channels = channels;
        for (size_t n = 0; n < frames; ++n)
            for (int c = 0; c < channels; ++c)
                wav.samples.push_back(static_cast<int16_t>(std::lround(6000 * std::cos(2 * M_PI * 13000.0 * n / rate))));
        std::string error;
        const std::string path = (dir / name).string();
        EXPECT_TRUE(WritePcmWav(path, wav, error)) << error;
        return path;
    }

    fs::path program;
    fs::path dir;
};

TEST_F(Rxchain, WritesOneMonoBlockPerInputBlockWithTheLastOnePadded)
{
    const auto in = writeIF("in.wav", 48000, 2, 5 * 2048 + 100);
    const auto out = (dir / "out.wav").string();
    const auto stats = (dir / "stats.txt").string();
    ASSERT_EQ(run("--mode usb --agc-mode 1 --stats --bench " + in + " " + out, stats), 0);
    PcmWav wav;
    std::string error;
    ASSERT_TRUE(ReadPcmWav(out, wav, error)) << error;
    EXPECT_EQ(wav.sampleRate, 48000);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.samples.size(), 6u * 2048);
    int16_t peak = 0;
    for (int16_t s : wav.samples)
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    EXPECT_GT(peak, 1000) << "the 1 kHz USB tone is heard";

    std::ifstream lines(stats);
    std::string line;
    int blockLines = 0;
    bool bench = false;
    while (std::getline(lines, line)) {
        blockLines += line.rfind("block ", 0) == 0;
        bench = bench || line.rfind("blocks 6 mean_us ", 0) == 0;
    }
    EXPECT_EQ(blockLines, 6);
    EXPECT_TRUE(bench);
}

TEST_F(Rxchain, BadInputGivesExitTwoAndNoOutputFile)
{
    const auto wrongRate = writeIF("44k.wav", 44100, 1, 4096);
    {
        std::ofstream junk(dir / "junk.wav");
        junk << "this is not a wav file";
    }
    const auto out = dir / "out.wav";
    const std::string cases[] = {
        wrongRate + " " + out.string(),
        (dir / "junk.wav").string() + " " + out.string(),
        (dir / "missing.wav").string() + " " + out.string(),
        // A folder opens like a file and fails only on reading.
        dir.string() + " " + out.string(),
        "--mode xyz " + wrongRate + " " + out.string(),
        "--filter 7 " + wrongRate + " " + out.string(),
        wrongRate,
    };
    for (const auto& arguments : cases) {
        EXPECT_EQ(run(arguments), 2) << arguments;
        EXPECT_FALSE(fs::exists(out)) << arguments;
        std::ifstream err(dir / "stderr.txt");
        std::string first;
        std::getline(err, first);
        EXPECT_EQ(first.rfind("rxchain: ", 0), 0u) << arguments;
    }
}

// Every option with values it must refuse: exit 2, a message naming the
// problem, no output file, and nothing in the folder touched.
TEST_F(Rxchain, EveryOptionRefusesItsBadValues)
{
    const auto in = writeIF("in.wav", 48000, 2, 2048);
    const auto out = dir / "out.wav";
    {
        std::ofstream keep(dir / "keep.txt");
        keep << "kept";
    }
    const std::string cases[] = {
        "--mode xyz", "--mode", "--filter 7", "--filter -1", "--filter 1.5", "--filter abc", "--filter 1e309",
        "--lo middle", "--if-filter auto", "--agc maybe", "--agc-mode 0", "--agc-mode 4", "--agc-mode 2.5",
        "--nb -1", "--nb 10001", "--nb nan", "--nb 1e300", "--nb inf", "--notch both", "--notch-centre 1e30",
        "--notch af --notch-centre 1e30", "--notch af --notch-centre -1", "--notch af --notch-centre 6001",
        "--notch-auto --notch-centre -5", "--notch if --notch-centre 6001", "--notch if --notch-centre -6001",
        "--notch-width -1", "--notch-width 5001", "--notch-width 1e300", "--bfo 12001", "--bfo -12001",
        "--bfo 1e300", "--volume 1e300", "--volume -10001", "--volume 8001", "--backend other",
        "--frobnicate",
    };
    for (const auto& options : cases) {
        EXPECT_EQ(run(options + " " + in + " " + out.string()), 2) << options;
        EXPECT_FALSE(fs::exists(out)) << options;
        std::ifstream err(dir / "stderr.txt");
        std::string first;
        std::getline(err, first);
        EXPECT_EQ(first.rfind("rxchain: ", 0), 0u) << options << ": " << first;
        EXPECT_TRUE(fs::exists(in) && fs::exists(dir / "keep.txt")) << options;
    }
    // The edges of each range are taken.
    for (const std::string options : {"--nb 0", "--nb 10000", "--volume -10000", "--volume 8000", "--bfo -12000",
                                      "--notch if --notch-centre -6000", "--notch af --notch-centre 6000",
                                      "--notch-width 5000"}) {
        EXPECT_EQ(run(options + " " + in + " " + out.string()), 0) << options;
        EXPECT_TRUE(fs::exists(out)) << options;
        fs::remove(out);
    }
}

// A FIFO without a writer blocked for ever and /dev/zero was read without bound;
// a failed write deleted what was at the output path, even a device.
TEST_F(Rxchain, OnlyARegularFileIsReadAndOnlyWhatItCreatedIsReplaced)
{
    const auto in = writeIF("in.wav", 48000, 2, 2048);
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, dir / "fifo-link.wav");
    const auto out = dir / "out.wav";
    for (const std::string& input : {fifo, (dir / "fifo-link.wav").string(), std::string("/dev/zero")}) {
        // timeout ends the run if it blocks: that is exit 124, not 2.
        EXPECT_EQ(run("--mode am " + input + " " + out.string(), "/dev/null", 60), 2) << input;
        EXPECT_FALSE(fs::exists(out)) << input;
        std::ifstream err(dir / "stderr.txt");
        std::string first;
        std::getline(err, first);
        EXPECT_NE(first.find("not a regular file"), std::string::npos) << input << ": " << first;
    }

    // An existing output that is not a regular file stays as it was.
    EXPECT_EQ(run(in + " " + fifo), 2);
    EXPECT_TRUE(fs::is_fifo(fifo));
    fs::create_directory(dir / "folder");
    EXPECT_EQ(run(in + " " + (dir / "folder").string()), 2);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    const std::string node = (dir / "node").string();
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_EQ(run(in + " " + node), 2);
        EXPECT_TRUE(fs::is_character_file(node));
    }

    // A regular output is replaced only when the new one is complete.
    {
        std::ofstream old(out);
        old << "old output";
    }
    EXPECT_EQ(run(in + " " + out.string() + "/below"), 2);
    EXPECT_EQ(run((dir / "missing.wav").string() + " " + out.string()), 2);
    {
        std::ifstream kept(out);
        std::string text;
        std::getline(kept, text);
        EXPECT_EQ(text, "old output");
    }
    ASSERT_EQ(run(in + " " + out.string()), 0);
    PcmWav wav;
    std::string error;
    EXPECT_TRUE(ReadPcmWav(out.string(), wav, error)) << error;
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find("out.wav."), std::string::npos)
            << "left behind: " << entry.path();
}

namespace {

// A 16-bit PCM WAV whose data chunk claims `dataBytes`, made as a sparse file of that
// size: silence that takes no room on the disk.
void writeSparseWav(const std::string& path, int channels, uint32_t dataBytes)
{
    std::vector<uint8_t> h = header(1, static_cast<uint16_t>(channels), 48000, 16, dataBytes);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    fs::resize_file(path, h.size() + dataBytes);
}

// Kilobytes in a /proc/PID/status line such as "VmHWM:", 0 when absent.
long statusKilobytes(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    return 0;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

} // namespace

// The whole input and output were held in memory: a 2 GiB input aborted with
// std::bad_alloc under a 3 GB limit and took 6.3 GB without one.
TEST_F(Rxchain, ALargeInputIsReadAndWrittenInBlocksWithMemoryThatDoesNotGrowWithIt)
{
    const std::string in = (dir / "large.wav").string();
    writeSparseWav(in, 2, 0x80000000u - 44);
    int toChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    const std::string out = (dir / "out.wav").string();
    const std::string err = (dir / "stderr.txt").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(toChild[1], STDOUT_FILENO);
        ::close(toChild[0]);
        ::close(toChild[1]);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(errFd, STDERR_FILENO);
        // AddressSanitizer reserves terabytes of address space: its build is held to the
        // resident memory instead.
        if (kAddressSanitizer) {
            const char* old = std::getenv("ASAN_OPTIONS");
            const std::string options = std::string(old ? old : "") + ":hard_rss_limit_mb=1024";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
        } else {
            const rlimit threeGigabytes{3000000000, 3000000000};
            ::setrlimit(RLIMIT_AS, &threeGigabytes);
        }
        ::execl(program.c_str(), program.c_str(), "--stats", in.c_str(), out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toChild[1]);
    // Two thousand blocks are 87 s of input, far more than any fixed buffer holds; the
    // rest of the 3 h would only take time.
    FILE* lines = ::fdopen(toChild[0], "r");
    ASSERT_NE(lines, nullptr);
    char line[256];
    bool reached = false;
    while (!reached && std::fgets(line, sizeof line, lines))
        reached = std::strncmp(line, "block 2000 ", 11) == 0;
    const long peakKilobytes = statusKilobytes(child, "VmHWM:");
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::fclose(lines);
    std::ifstream errors(err);
    const std::string said((std::istreambuf_iterator<char>(errors)), {});
    ASSERT_TRUE(reached) << "the run ended early: " << said;
    EXPECT_GT(peakKilobytes, 0);
    EXPECT_LT(peakKilobytes, kAddressSanitizer ? 512 * 1024 : 128 * 1024) << "peak resident memory in kB";
    std::printf("peak resident memory after 2000 blocks of a 2 GiB input: %ld kB\n", peakKilobytes);
}

TEST_F(Rxchain, AnOutputTooLongForAWavFileIsRefusedBeforeAnyWork)
{
    const std::string in = (dir / "long-mono.wav").string();
    writeSparseWav(in, 1, 0xFFFFFF00u);
    const auto out = dir / "out.wav";
    EXPECT_EQ(run(in + " " + out.string(), "/dev/null", 60), 2);
    EXPECT_FALSE(fs::exists(out));
    std::ifstream err(dir / "stderr.txt");
    std::string first;
    std::getline(err, first);
    EXPECT_NE(first.find("more audio than a WAV file can hold"), std::string::npos) << first;
}

// OUT equal to IN replaced the input, a read-only output was replaced by renaming over
// it, and a dangling link's target was made.
TEST_F(Rxchain, NeverReplacesItsInputAFileTheUserMayNotWriteOrTheEndOfADanglingLink)
{
    const auto in = writeIF("in.wav", 48000, 2, 4096);
    const std::string original = [&] {
        std::ifstream f(in, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), {});
    }();
    const auto same = [&](const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), {}) == original;
    };
    fs::create_directory(dir / "sub");
    fs::create_symlink(in, dir / "link-to-in.wav");
    fs::create_hard_link(in, dir / "hard-link.wav");
    fs::create_symlink(dir / "nowhere" / "made.wav", dir / "dangling.wav");
    fs::create_directory(dir / "nowhere");
    fs::remove(dir / "nowhere");
    {
        std::ofstream kept(dir / "read-only.wav");
        kept << "kept";
    }
    fs::permissions(dir / "read-only.wav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const struct {
        std::string out;
        const char* why;
    } cases[] = {
        {in, "is the input file"},
        {(dir / "sub" / ".." / "in.wav").string(), "is the input file"},
        {(dir / "link-to-in.wav").string(), "is the input file"},
        {(dir / "hard-link.wav").string(), "is the input file"},
        {(dir / "dangling.wav").string(), "is a link to nothing"},
        {(dir / "read-only.wav").string(), "its mode 0444 does not let you write it"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(in + " " + c.out), 2) << c.out;
        std::ifstream err(dir / "stderr.txt");
        std::string first;
        std::getline(err, first);
        EXPECT_NE(first.find(c.why), std::string::npos) << c.out << ": " << first;
        EXPECT_TRUE(same(in)) << c.out;
    }
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.wav"));
    std::ifstream kept(dir / "read-only.wav");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "kept");

    // Another user's file, as only root can make one: theirs it stays.
    const std::string theirs = (dir / "theirs.wav").string();
    std::ofstream(theirs) << "theirs";
    if (::chown(theirs.c_str(), 12345, 12345) != 0)
        GTEST_SKIP() << "files cannot be given to another user here";
    EXPECT_EQ(run(in + " " + theirs), 2);
    std::ifstream(theirs) >> text;
    EXPECT_EQ(text, "theirs");
}

} // namespace
} // namespace orvik
