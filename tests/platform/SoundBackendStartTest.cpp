// The PortAudio backend's start as a user meets it on standard error. Its own binary:
// PortAudio starts once per process, and this must be that start.

#include "platform/sound/PortAudioSoundBackend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
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

// After the quiet look for JACK, JACK's messages reach standard error again; ALSA's go to
// the program's log.
TEST(SoundBackendStart, LooksForJackWithoutALineOnStandardErrorThenJackSpeaksThereAndAlsaInTheLog)
{
    unsetenv("JACK_NO_START_SERVER");
    std::optional<PortAudioSoundBackend> backend;
    std::string printed = standardErrorOf([&] {
        backend.emplace();
        EXPECT_TRUE(backend->available());
        // A real failure still comes back to the caller, which logs and shows it.
        const int32_t error = backend->openDevices(9999, 9999);
        EXPECT_NE(error, 0);
        EXPECT_FALSE(backend->errorText(error).empty());
    });
    EXPECT_EQ(printed, "");
    EXPECT_STREQ(getenv("JACK_NO_START_SERVER"), "1") << "the look could start a JACK server";

    backend->takeLogLines();
    printed = standardErrorOf([] {
        jack_error_callback("JACK says something");
        snd_pcm_t* pcm = nullptr;
        EXPECT_LT(snd_pcm_open(&pcm, "orvik_no_such_device", SND_PCM_STREAM_CAPTURE, 0), 0);
    });
    EXPECT_EQ(printed, "JACK says something\n");
    const std::vector<std::string> lines = backend->takeLogLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Unknown PCM orvik_no_such_device") != std::string::npos; }))
        << lines.size() << " lines";
    EXPECT_TRUE(backend->takeLogLines().empty());
}

} // namespace
