// The PortAudio backend's start as a user meets it on standard error. Its own binary:
// PortAudio starts once per process, and this must be that start.

#include "platform/sound/PortAudioSoundBackend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

using namespace orvik;

namespace {

// Runs `work` with the process's standard error going to a file; what it printed.
template <typename Work>
std::string standardErrorOf(Work work)
{
    char path[] = "/tmp/orvik-stderr-XXXXXX";
    const int file = mkstemp(path);
    EXPECT_GE(file, 0);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    return text.str();
}

TEST(SoundBackendStart, LooksForJackWithoutALineOnStandardErrorAndKeepsLaterJackMessages)
{
    unsetenv("JACK_NO_START_SERVER");
    std::string printed = standardErrorOf([] {
        PortAudioSoundBackend backend;
        EXPECT_TRUE(backend.available());
        // A real failure still comes back to the caller, which logs and shows it.
        const int32_t error = backend.openDevices(9999, 9999);
        EXPECT_NE(error, 0);
        EXPECT_FALSE(backend.errorText(error).empty());
    });
    EXPECT_EQ(printed, "");
    // The look did not start a server of its own.
    EXPECT_STREQ(getenv("JACK_NO_START_SERVER"), "1");

    // Once the look is over, JACK's messages reach standard error again.
    printed = standardErrorOf([] { jack_error_callback("JACK says something"); });
    EXPECT_EQ(printed, "JACK says something\n");
}

// What ALSA says outside PortAudio's look at the devices is for the program's log, not for
// standard error.
TEST(SoundBackendStart, AlsasLinesGoToTheLogNotToStandardError)
{
    PortAudioSoundBackend backend;
    const std::string printed = standardErrorOf([] {
        snd_pcm_t* pcm = nullptr;
        EXPECT_LT(snd_pcm_open(&pcm, "orvik_no_such_device", SND_PCM_STREAM_CAPTURE, 0), 0);
    });
    EXPECT_EQ(printed, "");
    const std::vector<std::string> lines = backend.takeLogLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Unknown PCM orvik_no_such_device") != std::string::npos; }))
        << lines.size() << " lines";
    EXPECT_TRUE(backend.takeLogLines().empty());
}

} // namespace
