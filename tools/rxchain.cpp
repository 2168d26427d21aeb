// Feeds an IF recording through the receiver's per-block handler and chain,
// exactly as the program runs them, and writes the audio that would be played.

#include "dsp/ORVIK.h"
#include "receiver/ReceiverModes.h"
#include "receiver/ui/ReceiverAssembly.h"
#include "tools/PcmWav.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <new>
#include <vector>

#include <sys/stat.h>

using namespace orvik;

namespace {

constexpr int kBadInput = 2;

const char* const kUsage =
    "usage: rxchain [options] IN.wav OUT.wav\n"
    "  --mode am|usb|lsb|drm|fm|bc      demodulation mode (default am)\n"
    "  --filter 0..4                    audio filter preset (default 0)\n"
    "  --lo high|low                    local-oscillator side (default high)\n"
    "  --if-filter off|man|track        IF filter mode (default off)\n"
    "  --agc on|off  --agc-mode 1..3    AGC switch (default on) and speed (default 2)\n"
    "  --nb THRESHOLD                   noise reduction on at this threshold\n"
    "  --notch off|af|if  --notch-auto  --notch-centre HZ  --notch-width HZ\n"
    "                                   (--notch-auto alone means an automatic audio notch)\n"
    "  --dyn                            dynamic audio filter on\n"
    "  --bfo HZ  --volume V             BFO offset; output-level adjuster value\n"
    "  --backend own|vendor             numeric back-end (default own)\n"
    "  --stats                          one line per block: S-meter value, AGC gain\n"
    "  --bench                          DoDSP time per block after the run\n"
    "IN.wav is 16-bit PCM at 48 kHz, mono or stereo, of any length; OUT.wav is mono.\n"
    "OUT.wav is written only when complete and never replaces IN.wav, a file you may not\n"
    "write, or anything but a regular file; it is not made at the end of a dangling link.\n"
    "Exit 2 with a message when an option, the input or the output cannot be used.\n";

struct Options {
    int32_t mode = kDemodAM;
    int32_t filter = 0;
    bool hiSide = true;
    bool ifFilter = false;
    int32_t ifMode = 1;
    bool agc = true;
    int32_t agcMode = 2;
    std::optional<float> nb;
    int32_t notch = -1; // -1 off, 0 audio, 1 IF
    bool notchAuto = false;
    float notchCentre = 1000;
    float notchWidth = 200;
    bool dyn = false;
    float bfo = 0;
    float volume = 0;
    bool vendor = false;
    bool stats = false;
    bool bench = false;
    std::string in;
    std::string out;
};

// The sound output as the program would hear it: each block at the playback
// attenuation in force when it was handed over (-10000 is silence). Emptied after
// every block, so it never holds more than one.
class CollectingOutput final : public SoundOutput {
public:
    void Output(const int16_t* Channel1, const int16_t*, int32_t NoSamples) override
    {
        const double gain = attenuation <= -10000 ? 0.0 : std::pow(10.0, attenuation / 2000.0);
        for (int32_t i = 0; i < NoSamples; ++i)
            samples.push_back(static_cast<int16_t>(std::lround(Channel1[i] * gain)));
    }
    // Each block is taken as soon as it is handed over.
    bool ReplaceLastOutput(const int16_t*, const int16_t*, int32_t) override { return false; }
    void setOutputAttenuation(int32_t value) override { attenuation = std::max(value, -10000); }

    std::vector<int16_t> samples;
    int32_t attenuation = 0;
};

bool fail(const std::string& text)
{
    std::fprintf(stderr, "rxchain: %s\n", text.c_str());
    return false;
}

std::optional<double> number(const char* text)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The ranges of the program's adjusters for the same settings; a value outside
// them would reach the chain as infinity or an overflowed integer.
struct Range {
    double min;
    double max;
};
constexpr Range kNoiseReduction{0, 10000};
constexpr Range kVolume{-10000, 8000};
constexpr Range kNotchCentreAudio{0, 6000};
constexpr Range kNotchCentreIF{-6000, 6000};
constexpr Range kNotchWidth{0, 5000};
constexpr Range kBFO{-12000, 12000};

std::string rangeText(const Range& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g to %g", r.min, r.max);
    return text;
}

bool pick(const std::string& value, std::initializer_list<const char*> names, int32_t& index)
{
    int32_t i = 0;
    for (const char* name : names) {
        if (value == name) {
            index = i;
            return true;
        }
        ++i;
    }
    return false;
}

bool parse(int argc, char** argv, Options& o)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto numeric = [&](float& target, const Range& range) {
            const char* v = value();
            const auto n = v ? number(v) : std::nullopt;
            if (!n)
                return fail(a + " needs a number");
            if (*n < range.min || *n > range.max)
                return fail(a + " takes " + rangeText(range) + ", not " + v);
            target = static_cast<float>(*n);
            return true;
        };
        auto choice = [&](std::initializer_list<const char*> names, int32_t& target) {
            const char* v = value();
            if (!v || !pick(v, names, target))
                return fail("bad value for " + a);
            return true;
        };
        int32_t index = 0;
        float f = 0;
        if (a == "--mode") {
            if (!choice({"am", "usb", "lsb", "drm", "fm", "bc"}, o.mode))
                return false;
        } else if (a == "--filter") {
            if (!numeric(f, {0, 4}) || f != std::floor(f))
                return fail("--filter takes 0 to 4");
            o.filter = static_cast<int32_t>(f);
        } else if (a == "--lo") {
            if (!choice({"low", "high"}, index))
                return false;
            o.hiSide = index == 1;
        } else if (a == "--if-filter") {
            if (!choice({"off", "man", "track"}, index))
                return false;
            o.ifFilter = index != 0;
            if (index != 0)
                o.ifMode = index;
        } else if (a == "--agc") {
            if (!choice({"off", "on"}, index))
                return false;
            o.agc = index == 1;
        } else if (a == "--agc-mode") {
            if (!numeric(f, {1, 3}) || f != std::floor(f))
                return fail("--agc-mode takes 1 to 3");
            o.agcMode = static_cast<int32_t>(f);
        } else if (a == "--nb") {
            if (!numeric(f, kNoiseReduction))
                return false;
            o.nb = f;
        } else if (a == "--notch") {
            if (!choice({"off", "af", "if"}, index))
                return false;
            o.notch = index - 1;
        } else if (a == "--notch-auto") {
            o.notchAuto = true;
        } else if (a == "--notch-centre") {
            if (!numeric(o.notchCentre, kNotchCentreIF))
                return false;
        } else if (a == "--notch-width") {
            if (!numeric(o.notchWidth, kNotchWidth))
                return false;
        } else if (a == "--dyn") {
            o.dyn = true;
        } else if (a == "--bfo") {
            if (!numeric(o.bfo, kBFO))
                return false;
        } else if (a == "--volume") {
            if (!numeric(o.volume, kVolume))
                return false;
        } else if (a == "--backend") {
            if (!choice({"own", "vendor"}, index))
                return false;
            o.vendor = index == 1;
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--bench") {
            o.bench = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    // The audio notch is the default one, also when only --notch-auto asks for it.
    if (o.notch != 1 && (o.notchCentre < kNotchCentreAudio.min || o.notchCentre > kNotchCentreAudio.max))
        return fail("--notch-centre takes " + rangeText(kNotchCentreAudio) + " for an audio notch");
    if (files.size() != 2)
        return fail("expected IN.wav and OUT.wav");
    o.in = files[0];
    o.out = files[1];
    return true;
}

// Why OUT must not be written, empty when it may: the input itself (by any path or
// link) and the end of a dangling link are refused here; what is not a regular file
// or may not be written, when the output is opened.
std::string outputProblem(const std::string& out, int inputFd)
{
    struct stat link {};
    struct stat target {};
    if (::lstat(out.c_str(), &link) != 0)
        return {};
    if (::stat(out.c_str(), &target) != 0)
        return S_ISLNK(link.st_mode) ? out + " is a link to nothing: no file is made at its end" : std::string();
    struct stat input {};
    if (::fstat(inputFd, &input) == 0 && input.st_dev == target.st_dev && input.st_ino == target.st_ino)
        return out + " is the input file";
    return {};
}

int run(Options& o)
{
    PcmWavReader input;
    std::string error;
    if (!input.open(o.in, error)) {
        fail(error);
        return kBadInput;
    }
    if (input.sampleRate() != kSampleRate) {
        fail(o.in + ": sample rate " + std::to_string(input.sampleRate()) + " Hz, expected 48000");
        return kBadInput;
    }
    const uint64_t blocks = (input.frames() + kBlockSamples - 1) / kBlockSamples;
    if (blocks * kBlockSamples * 2 > kPcmWavDataLimit) {
        fail(o.in + ": its " + std::to_string(blocks) + " blocks would make more audio than a WAV file can hold");
        return kBadInput;
    }
    if (const std::string problem = outputProblem(o.out, input.fd()); !problem.empty()) {
        fail(problem);
        return kBadInput;
    }
    PcmWavWriter output;
    if (!output.open(o.out, kSampleRate, 1, error)) {
        fail(error);
        return kBadInput;
    }

    ORVIK::INIT();
    if (o.vendor) {
        if (!ORVIK::SPLPresent) {
            fail("the vendor back-end is not available in this build");
            return kBadInput;
        }
        ORVIK::UseSPL = true;
    }

    PublicVars vars;
    vars.HiSideLO = o.hiSide;
    CollectingOutput sound;
    NullSpectrumFeed spectrum;
    NullPlayerRecorder player;
    FixedTuning tuning;
    ReceiverHandlers::Hooks hooks;
    hooks.vfoHiSideLO = [&vars] { return vars.HiSideLO; };
    ReceiverAssembly receiver(vars, sound, spectrum, player, tuning, hooks);
    ReceiverCore& core = receiver.core;
    // The receiver is set through the program's own control handlers, as a user sets it.
    ReceiverHandlers& h = receiver.handlers;

    SetDemodMode(h, o.mode);
    SelectFilterPreset(h, o.filter);
    SetIFFilter(h, o.ifFilter, o.ifMode);
    SetAGC(h, o.agc, o.agcMode);
    if (o.nb)
        SetNoiseReduction(h, true, *o.nb);
    if (o.notchAuto && o.notch < 0)
        o.notch = 0;
    if (o.notch >= 0)
        SetNotch(h, true, o.notchAuto ? 1 : 0, o.notch, o.notchCentre, o.notchWidth);
    SetDynamicFilter(h, o.dyn);
    SetBFO(h, static_cast<float>(o.bfo));
    SetOutputLevel(h, o.volume);

    // Power on rebuilds the filters; start-up runs the statistics pass once.
    core.ApplyFilterSettings();
    core.RunStatisticsPass();

    const size_t channels = static_cast<size_t>(input.channels());
    sound.samples.reserve(kBlockSamples);
    std::vector<int16_t> frames(kBlockSamples * channels);
    std::array<int16_t, kBlockSamples + 1> left{};
    std::array<int16_t, kBlockSamples + 1> right{};
    double total = 0;
    double longest = 0;
    for (uint64_t b = 0; b < blocks; ++b) {
        const int64_t got = input.read(frames.data(), kBlockSamples, error);
        if (got < 0) {
            fail(error);
            return kBadInput;
        }
        for (int32_t i = 0; i < kBlockSamples; ++i) {
            const bool inside = i < got;
            left[i] = inside ? frames[static_cast<size_t>(i) * channels] : int16_t{0};
            right[i] = inside && channels == 2 ? frames[static_cast<size_t>(i) * 2 + 1] : int16_t{0};
        }
        core.SoundCard_DataReady(left.data(), right.data(), kBlockSamples);
        core.RunStatisticsPass();
        total += core.LastDSPMicros;
        longest = std::max(longest, core.LastDSPMicros);
        if (o.stats)
            std::printf("block %llu smeter %.6g agc_gain %.6g\n", static_cast<unsigned long long>(b),
                        static_cast<double>(core.SMeterLevel), static_cast<double>(vars.AGCGain));
        if (!output.write(sound.samples.data(), sound.samples.size(), error)) {
            fail(error);
            return kBadInput;
        }
        sound.samples.clear();
    }
    if (!output.finish(error)) {
        fail(error);
        return kBadInput;
    }

    if (o.bench) {
        const double mean = blocks ? total / static_cast<double>(blocks) : 0;
        std::printf("blocks %llu mean_us %.1f max_us %.1f load %.4f\n", static_cast<unsigned long long>(blocks), mean,
                    longest, mean / 1e6 / static_cast<double>(kBlockTimeSeconds));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return kBadInput;
    }
    try {
        return run(o);
    } catch (const std::bad_alloc&) {
        fail("not enough memory to run the receiver on " + o.in);
    } catch (const std::exception& e) {
        fail(std::string("cannot run the receiver on ") + o.in + ": " + e.what());
    }
    return kBadInput;
}
