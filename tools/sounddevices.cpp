// Lists the sound devices as the program numbers them (1 is the first), one per line:
// "capture N name" and "playback N name". Scripts find a device's number here for the
// CurrentCaptureDevice and CurrentPlaybackDevice settings.

#include "platform/sound/PortAudioSoundBackend.h"

#include <cstdio>

int main()
{
    orvik::PortAudioSoundBackend backend;
    if (!backend.available()) {
        std::fprintf(stderr, "sounddevices: the sound library could not be initialised\n");
        return 1;
    }
    int n = 0;
    for (const std::string& name : backend.captureDeviceNames())
        std::printf("capture %d %s\n", ++n, name.c_str());
    n = 0;
    for (const std::string& name : backend.playbackDeviceNames())
        std::printf("playback %d %s\n", ++n, name.c_str());
    return 0;
}
