// The FFT wisdom file, read before the first measured plan and written after
// each: whatever lies at its path, planning goes on and ends, with one line in
// the log; only a regular file is read or written.

#include "dsp/ORVIK.h"
#include "dsp/VendorFft.h"

#include <gtest/gtest.h>

#ifdef ORVIKSDR_HAVE_VENDOR_BACKEND
#include <fftw3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvik {
namespace {

namespace fs = std::filesystem;

// What the wisdom steps did in a child process.
struct Outcome {
    bool ended = false;   // before the deadline
    bool passed = false;  // and the steps' own checks held
    std::vector<std::string> lines;
};

// Configures measured planning with `file` in a child process, its log lines
// sent back through a pipe, and runs `steps` there: a step that waits for ever
// (on a FIFO, on /dev/zero) fails the test instead of hanging it. The deadline
// only tells an end from a wait that never ends.
Outcome inChild(const std::string& file, const std::function<bool()>& steps)
{
    Outcome outcome;
    int lines[2];
    if (::pipe2(lines, O_CLOEXEC) != 0)
        return outcome;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(lines[0]);
        const int out = lines[1];
        ORVIK::ConfigureVendorPlanning(true, file, [out](const std::string& line) {
            const std::string text = line + '\n';
            [[maybe_unused]] const ssize_t n = ::write(out, text.data(), text.size());
        });
        ::_exit(steps() ? 0 : 1);
    }
    ::close(lines[1]);
    if (child < 0) {
        ::close(lines[0]);
        return outcome;
    }
    std::string text;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    bool eof = false;
    while (!eof) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{lines[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(lines[0], buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            eof = true;
    }
    ::close(lines[0]);
    if (!eof)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.ended = eof && WIFEXITED(status);
    outcome.passed = outcome.ended && WEXITSTATUS(status) == 0;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);)
        outcome.lines.push_back(line);
    return outcome;
}

bool readAndKeepWisdom()
{
    ORVIK::VendorPlanningFlags();
    ORVIK::VendorPlanMade();
    return true;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& l : lines)
        all += l + '\n';
    return all;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The entries of a wisdom text, one a line, in order: FFTW keeps no order of its own.
std::vector<std::string> wisdomEntries(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A pseudo-terminal: a device node whose master side shows what was written to it.
struct Terminal {
    int master = -1;
    std::string device;
    Terminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            device = ::ptsname(master);
    }
    ~Terminal()
    {
        if (master >= 0)
            ::close(master);
    }
    // Bytes that reached the device (none when nobody wrote to it).
    ssize_t received() const
    {
        char buffer[256];
        return std::max<ssize_t>(::read(master, buffer, sizeof buffer), 0);
    }
};

class VendorWisdom : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORVIK::INIT();
        if (!ORVIK::SPLPresent)
            GTEST_SKIP() << "no vendor back-end in this build";
        folder = fs::temp_directory_path() / ("orvik-wisdom-file-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        file = folder / "fftw-wisdom";
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    fs::path file;
};

// Nothing but a regular file is read or written: the start used to wait for ever in
// open() on a FIFO, read /dev/zero for ever, and write its wisdom into a device.
TEST_F(VendorWisdom, AFileThatIsNotRegularIsLeftAloneWithOneLogLine)
{
    Terminal terminal;
    ASSERT_FALSE(terminal.device.empty());
    struct Case {
        const char* name;
        std::string target;  // the link's; empty for a FIFO in its place
        const char* kind;
    };
    for (const Case& c : {Case{"a FIFO without a writer", "", "a FIFO"},
                          Case{"a link to /dev/zero", "/dev/zero", "a character device"},
                          Case{"a link to /dev/null", "/dev/null", "a character device"},
                          Case{"a link to a terminal", terminal.device, "a character device"}}) {
        SCOPED_TRACE(c.name);
        fs::remove(file);
        if (c.target.empty())
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        else
            fs::create_symlink(c.target, file);

        const Outcome outcome = inChild(file.string(), readAndKeepWisdom);
        ASSERT_TRUE(outcome.ended) << "planning never went on";
        EXPECT_TRUE(outcome.passed);
        ASSERT_EQ(outcome.lines.size(), 1u) << joined(outcome.lines);
        EXPECT_NE(outcome.lines[0].find("no usable FFT wisdom in " + file.string()), std::string::npos)
            << outcome.lines[0];
        EXPECT_NE(outcome.lines[0].find(c.kind), std::string::npos) << outcome.lines[0];

        // Still what it was, nothing beside it, and nothing sent to the device.
        EXPECT_EQ(entries(folder), std::vector<std::string>{"fftw-wisdom"});
        if (c.target.empty()) {
            EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file)));
        } else {
            ASSERT_TRUE(fs::is_symlink(fs::symlink_status(file)));
            EXPECT_EQ(fs::read_symlink(file).string(), c.target);
            EXPECT_TRUE(fs::is_character_file(fs::status(file)));
        }
        EXPECT_EQ(terminal.received(), 0);
    }
}

// A link to a device that takes the file's place while the program runs: the wisdom
// read at the start is kept in memory, and nothing is written through the link.
TEST_F(VendorWisdom, AWriteBackThroughALinkToADeviceSendsItNothing)
{
    Terminal terminal;
    ASSERT_FALSE(terminal.device.empty());
    for (const std::string& device : {terminal.device, std::string("/dev/null")}) {
        SCOPED_TRACE(device);
        fs::remove(file);
        {
            char* wisdom = fftwf_export_wisdom_to_string();
            std::ofstream(file) << wisdom;
            std::free(wisdom);
        }
        const fs::path path = file;
        const Outcome outcome = inChild(file.string(), [&] {
            ORVIK::VendorPlanningFlags();
            fs::remove(path);
            fs::create_symlink(device, path);
            ORVIK::VendorPlanMade();
            ORVIK::VendorPlanMade();  // reported once
            return true;
        });
        ASSERT_TRUE(outcome.ended) << "the write-back never ended";
        EXPECT_TRUE(outcome.passed);
        ASSERT_EQ(outcome.lines.size(), 1u) << joined(outcome.lines);
        EXPECT_NE(outcome.lines[0].find("could not keep the FFT wisdom in " + file.string()), std::string::npos)
            << outcome.lines[0];
        EXPECT_EQ(terminal.received(), 0);
        EXPECT_EQ(entries(folder), std::vector<std::string>{"fftw-wisdom"});
        ASSERT_TRUE(fs::is_symlink(fs::symlink_status(file)));
        EXPECT_TRUE(fs::is_character_file(fs::status(file)));
        const std::string name = fs::path(device).filename().string();
        for (const std::string& beside : entries(fs::path(device).parent_path()))
            EXPECT_FALSE(beside.starts_with(name + ".")) << "made beside the device: " << beside;
    }
}

// A FIFO fed once: the program used to read it, then wait for ever for a reader to
// take its new wisdom.
TEST_F(VendorWisdom, AFifoWithAWriterIsNotWaitedOn)
{
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    char* wisdom = fftwf_export_wisdom_to_string();
    const std::string text = wisdom;
    std::free(wisdom);
    // The writer may find the reader gone.
    const auto oldPipeHandler = std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([&] {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
            ::close(fd);
        }
    });

    const Outcome outcome = inChild(file.string(), readAndKeepWisdom);

    // A writer still waiting for a reader is let go.
    const int release = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    if (release >= 0)
        ::close(release);
    std::signal(SIGPIPE, oldPipeHandler);
    ASSERT_TRUE(outcome.ended) << "the write-back waited for a reader";
    EXPECT_TRUE(outcome.passed);
    ASSERT_EQ(outcome.lines.size(), 1u) << joined(outcome.lines);
    EXPECT_NE(outcome.lines[0].find("a FIFO"), std::string::npos) << outcome.lines[0];
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file)));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"fftw-wisdom"});
}

// A file far larger than any wisdom (a sparse one costs no disk) is neither read, which
// took many seconds, nor replaced: it is not one the program wrote.
TEST_F(VendorWisdom, AFileLargerThanTheBoundIsNeitherReadNorReplaced)
{
    {
        char* wisdom = fftwf_export_wisdom_to_string();
        std::ofstream(file) << wisdom;
        std::free(wisdom);
    }
    const auto size = std::uintmax_t{1} << 30;
    fs::resize_file(file, size);

    const Outcome outcome = inChild(file.string(), readAndKeepWisdom);
    ASSERT_TRUE(outcome.ended);
    EXPECT_TRUE(outcome.passed);
    ASSERT_EQ(outcome.lines.size(), 1u) << joined(outcome.lines);
    EXPECT_NE(outcome.lines[0].find("larger than"), std::string::npos) << outcome.lines[0];
    EXPECT_EQ(fs::file_size(file), size);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"fftw-wisdom"});
}

// An ordinary file: written whole with the wisdom of the plans made, keeping its mode,
// and read back into a process that had none.
TEST_F(VendorWisdom, AnOrdinaryFileRoundTrips)
{
    std::ofstream(file) << "not wisdom at all";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path keptIn = folder / "written";
    const Outcome written = inChild(file.string(), [&] {
        ORVIK::VendorPlanningFlags();
        // A size no other plan of this program has, so that it brings wisdom of its own.
        float* real = fftwf_alloc_real(96);
        fftwf_complex* spectrum = fftwf_alloc_complex(49);
        fftwf_destroy_plan(fftwf_plan_dft_r2c_1d(96, real, spectrum, FFTW_MEASURE));
        fftwf_free(real);
        fftwf_free(spectrum);
        ORVIK::VendorPlanMade();
        char* wisdom = fftwf_export_wisdom_to_string();
        std::ofstream(keptIn) << wisdom;
        std::free(wisdom);
        return true;
    });
    ASSERT_TRUE(written.ended);
    EXPECT_TRUE(written.passed);
    ASSERT_EQ(written.lines.size(), 1u) << joined(written.lines);
    EXPECT_NE(written.lines[0].find("cannot be read as wisdom"), std::string::npos) << written.lines[0];
    const std::string wisdom = contents(file);
    EXPECT_EQ(wisdom, contents(keptIn));
    EXPECT_GT(wisdomEntries(wisdom).size(), 2u) << wisdom;
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::remove(keptIn);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"fftw-wisdom"});

    const Outcome read = inChild(file.string(), [&] {
        fftwf_forget_wisdom();
        ORVIK::VendorPlanningFlags();
        char* now = fftwf_export_wisdom_to_string();
        const bool same = wisdomEntries(wisdom) == wisdomEntries(now);
        std::free(now);
        return same;
    });
    ASSERT_TRUE(read.ended);
    EXPECT_TRUE(read.passed) << "the wisdom read is not the wisdom written";
    EXPECT_TRUE(read.lines.empty()) << joined(read.lines);
}

} // namespace
} // namespace orvik
#endif
