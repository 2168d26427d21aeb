// The level heard after the operator changes the mode, the filter, the notch or the
// noise reduction while a signal is received: back at the new setting's steady level
// within half a second, whatever the AGC is set to.

#include "ReceiverRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace orvik::testing {
namespace {

using Signal = std::function<double(int64_t)>;
using Setting = std::function<void(ReceiverRig&)>;

// Half a second of audio, in whole blocks (0.51 s).
constexpr int kHalfSecond = 12;
// After the change the level is followed for a second beyond that.
constexpr int kFollowed = 3 * kHalfSecond;
constexpr double kTolerance = 6.0; // dB
// Blocks received before a change: a second, long enough for the AGC to hold the signal.
constexpr int kBlocksBefore = 24;

double seconds(int64_t n) { return static_cast<double>(n) / kSampleRate; }

// A 12 kHz carrier, 50 % modulated by 1 kHz.
Signal amSignal()
{
    return [](int64_t n) {
        return 8000 * (1 + 0.5 * std::sin(kTwoPi * 1000 * seconds(n))) * std::cos(kTwoPi * 12000 * seconds(n));
    };
}

// A 12 kHz carrier swung 3 kHz either way at 1 kHz.
Signal fmSignal()
{
    return [](int64_t n) {
        return 8000 * std::cos(kTwoPi * 12000 * seconds(n) - 3.0 * std::cos(kTwoPi * 1000 * seconds(n)));
    };
}

// What an operator would tune in for each mode: the sideband modes a tone 1 kHz from the
// IF centre on the side they keep (the LO above the signal). DRM hands the IF on
// undemodulated, so its level is the AM signal's own.
Signal signalFor(int32_t mode)
{
    switch (mode) {
    case kDemodUSB: return tone(13000, 8000);
    case kDemodLSB: return tone(11000, 8000);
    case kDemodFM: return fmSignal();
    default: return amSignal();
    }
}

const char* modeName(int32_t mode)
{
    static const char* const names[] = {"AM", "USB", "LSB", "DRM", "FM", "BC"};
    return names[mode];
}

constexpr int32_t kAllModes[] = {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC};

struct AGCCase {
    const char* name;
    bool on;
    int32_t row;
    int32_t earlierRow = -1; // the row the receiver ran on before this one, if any
};

// The AGC box unchecked, then each row with it checked: "Off" from the start and chosen
// while the AGC was running, Slow with the longest times the controls give (10 s, 20 ms),
// and "u" with other times a settings block may bring.
const AGCCase kAGCCases[] = {
    {"AGC unchecked", false, 2}, {"Off", true, 0},  {"Off after Normal", true, 0, 2}, {"Fast", true, 1},
    {"Normal", true, 2},         {"Slow", true, 3}, {"u 7.5 s/15 ms", true, 4},
};

void applyAGC(ReceiverRig& rig, bool on, int32_t row)
{
    AGCSetting& u = rig.vars.AGCTable[4];
    u.AttackDefault = u.Attack = u.AttackInit = 75;
    u.DecayDefault = u.Decay = u.DecayInit = 150;
    SetAGC(*rig.handlers, on, row);
}

// Audible level of the blocks from sample `from` on, dB: the block's mean is taken away
// (the envelope detector leaves its carrier's mean in the audio).
std::vector<double> blockLevels(const ReceiverRig& rig, size_t from)
{
    std::vector<double> levels;
    const auto& s = rig.sound.samples;
    for (size_t b = from; b + kBlockSamples <= s.size(); b += kBlockSamples) {
        double mean = 0;
        for (size_t i = b; i < b + kBlockSamples; ++i)
            mean += s[i];
        mean /= kBlockSamples;
        double power = 0;
        for (size_t i = b; i < b + kBlockSamples; ++i)
            power += (s[i] - mean) * (s[i] - mean);
        levels.push_back(10 * std::log10(power / kBlockSamples + 1e-9));
    }
    return levels;
}

// A receiver in `mode` with `setting` made before it is switched on, receiving `signal`
// as it does once it has listened for longer than the attack time. Start-up fills the AGC
// history with full scale, and the detectors' first blocks (from silence) add their own
// peaks; both take the attack time to leave. A steady signal's peaks are all alike, so a
// history that holds only them gives the gain that a full one gives.
std::unique_ptr<ReceiverRig> listening(int32_t mode, bool agcOn, int32_t row, const Setting& setting,
                                       const Signal& signal)
{
    auto rig = std::make_unique<ReceiverRig>(mode);
    applyAGC(*rig, agcOn, row);
    if (setting)
        setting(*rig);
    rig->powerOn();
    rig->run(4, signal);
    rig->vars.AGCPeakHistory.fill(0);
    return rig;
}

// The level the mode's signal (or `signal`) settles at in `mode` with `setting`, both
// named by `name`. Without gain it is the chain's own; with the AGC every row holds the
// peak of a steady signal at the same target.
class SteadyLevels {
public:
    double of(int32_t mode, const AGCCase& agc, const std::string& name, const Setting& setting,
              Signal signal = {})
    {
        const bool gain = agc.on && agc.row != 0;
        const auto key = std::make_tuple(mode, gain, name);
        if (auto known = levels_.find(key); known != levels_.end())
            return known->second;
        if (!signal)
            signal = signalFor(mode);
        auto rig = listening(mode, gain, gain ? 1 : 2, setting, signal);
        rig->run(kBlocksBefore, signal);
        const std::vector<double> last = blockLevels(*rig, rig->sound.samples.size() - 8 * kBlockSamples);
        double sum = 0;
        for (double l : last)
            sum += l;
        return levels_[key] = sum / static_cast<double>(last.size());
    }

private:
    std::map<std::tuple<int32_t, bool, std::string>, double> levels_;
};

struct Followed {
    int backAfter = 0; // blocks until every later block is within the tolerance; -1 never
    double worst = 0;  // the largest departure after half a second, dB
};

// Receives the new mode's signal (or `signal`) with `setting` for a while, on the AGC's
// earlier row first if it has one, makes the change, and follows the level against `steady`.
Followed followChange(int32_t mode, const AGCCase& agc, const Setting& setting, const Setting& change,
                      int32_t modeAfter, double steady, Signal signal = {})
{
    if (!signal)
        signal = signalFor(modeAfter);
    auto rig = listening(mode, agc.on, agc.earlierRow >= 0 ? agc.earlierRow : agc.row, setting, signal);
    rig->run(kBlocksBefore, signal);
    if (agc.earlierRow >= 0) {
        applyAGC(*rig, agc.on, agc.row);
        rig->run(kBlocksBefore, signal);
    }
    const size_t from = rig->sound.samples.size();
    change(*rig);
    rig->run(kFollowed, signal);

    const std::vector<double> levels = blockLevels(*rig, from);
    Followed f;
    f.backAfter = static_cast<int>(levels.size());
    while (f.backAfter > 0 && std::abs(levels[f.backAfter - 1] - steady) <= kTolerance)
        --f.backAfter;
    if (f.backAfter == static_cast<int>(levels.size()))
        f.backAfter = -1;
    for (size_t b = kHalfSecond; b < levels.size(); ++b)
        f.worst = std::max(f.worst, std::abs(levels[b] - steady));
    return f;
}

void expectBackWithinHalfASecond(const Followed& f, const std::string& what)
{
    EXPECT_TRUE(f.backAfter >= 0 && f.backAfter <= kHalfSecond)
        << what << ": back within " << kTolerance << " dB after " << f.backAfter << " blocks (-1: not in "
        << kFollowed << "), " << f.worst << " dB off after half a second";
}

TEST(ReceiverChangeLevel, AModeChangeIsHeardAtTheNewModesLevelWithinHalfASecond)
{
    SteadyLevels steady;
    for (const AGCCase& agc : kAGCCases)
        for (int32_t to : kAllModes) {
            const double level = steady.of(to, agc, "", {});
            for (int32_t from : kAllModes)
                if (from != to) {
                    const Setting click = [to](ReceiverRig& rig) { SetDemodMode(*rig.handlers, to); };
                    expectBackWithinHalfASecond(followChange(from, agc, {}, click, to, level),
                                                std::string(agc.name) + ", " + modeName(from) + " -> " +
                                                    modeName(to));
                }
        }
}

// FM's IF filter is the widest: a strong station 9 kHz above the wanted one passes it and
// no other mode's. Leaving FM, the new mode must hear it no more from its first block on.
TEST(ReceiverChangeLevel, LeavingFMTheNewModesIFFilterShutsOutTheNeighbourAtOnce)
{
    const Setting ifFilter = [](ReceiverRig& rig) { SetIFFilter(*rig.handlers, true, 1); };
    SteadyLevels steady;
    for (const AGCCase& agc : kAGCCases)
        for (int32_t to : {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodBC}) {
            const Signal wanted = signalFor(to);
            const Signal both = [wanted](int64_t n) { return wanted(n) + tone(21000, 16000)(n); };
            const double level = steady.of(to, agc, "IF filter, neighbour", ifFilter, both);
            const Setting click = [to](ReceiverRig& rig) { SetDemodMode(*rig.handlers, to); };
            expectBackWithinHalfASecond(followChange(kDemodFM, agc, ifFilter, click, to, level, both),
                                        std::string(agc.name) + ", FM -> " + modeName(to) + " beside a neighbour");
        }
}

// A setting switched on and off in each mode it acts in, both ways, on each AGC case.
struct Toggle {
    std::string name;
    Setting on;
    Setting off;
};

void expectToggleHeardAtOnce(const Toggle& toggle, std::initializer_list<int32_t> modes)
{
    SteadyLevels steady;
    for (const AGCCase& agc : kAGCCases)
        for (int32_t mode : modes)
            for (bool switchOn : {true, false}) {
                const Setting& before = switchOn ? toggle.off : toggle.on;
                const Setting& after = switchOn ? toggle.on : toggle.off;
                const double level = steady.of(mode, agc, switchOn ? toggle.name : std::string(), after);
                expectBackWithinHalfASecond(followChange(mode, agc, before, after, mode, level),
                                            std::string(agc.name) + ", " + modeName(mode) + ": " + toggle.name +
                                                (switchOn ? " on" : " off"));
            }
}

// The audio presets pass the 1 kHz audio of every test signal.
TEST(ReceiverChangeLevel, AnAudioFilterChangeIsHeardAtItsLevelWithinHalfASecond)
{
    const Toggle narrow{"2.4 kHz filter", [](ReceiverRig& rig) { SelectFilterPreset(*rig.handlers, 2); },
                        [](ReceiverRig& rig) { SelectFilterPreset(*rig.handlers, 0); }};
    expectToggleHeardAtOnce(narrow, {kDemodAM, kDemodUSB, kDemodLSB, kDemodFM});
}

TEST(ReceiverChangeLevel, AnIFFilterSwitchedOnOrOffIsHeardAtItsLevelWithinHalfASecond)
{
    const Toggle manual{"IF filter", [](ReceiverRig& rig) { SetIFFilter(*rig.handlers, true, 1); },
                        [](ReceiverRig& rig) { SetIFFilter(*rig.handlers, false, 1); }};
    expectToggleHeardAtOnce(manual, {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC});
}

// Each notch lies clear of the signals' components, so the steady level is the same with
// it: what the test hears is the switch.
TEST(ReceiverChangeLevel, ANotchSwitchedOnOrOffIsHeardAtItsLevelWithinHalfASecond)
{
    const Setting off = [](ReceiverRig& rig) { SetNotch(*rig.handlers, false, 0, 0, 0, 0); };
    const Toggle audio{"audio notch", [](ReceiverRig& rig) { SetNotch(*rig.handlers, true, 0, 0, 2500, 200); }, off};
    expectToggleHeardAtOnce(audio, {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC});
    const Toggle onIF{"IF notch", [](ReceiverRig& rig) { SetNotch(*rig.handlers, true, 0, 1, 2500, 200); }, off};
    expectToggleHeardAtOnce(onIF, {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC});
}

TEST(ReceiverChangeLevel, NoiseReductionSwitchedOnOrOffIsHeardAtItsLevelWithinHalfASecond)
{
    const Toggle reduction{"noise reduction", [](ReceiverRig& rig) { SetNoiseReduction(*rig.handlers, true, 0.05f); },
                           [](ReceiverRig& rig) { SetNoiseReduction(*rig.handlers, false, 0.05f); }};
    expectToggleHeardAtOnce(reduction, {kDemodAM, kDemodUSB, kDemodLSB, kDemodDRM, kDemodFM, kDemodBC});
}

// An AM station at -12 dBFS peak: a 12 kHz carrier, 50 % modulated by 1 kHz.
double amStation(int64_t n)
{
    return 32768 * std::pow(10.0, -12 / 20.0) / 1.5 * (1 + 0.5 * std::sin(kTwoPi * 1000 * seconds(n))) *
           std::cos(kTwoPi * 12000 * seconds(n));
}

constexpr size_t kWindow = 240; // 5 ms

// Of samples [from, to): the lowest and the mean power of its 5 ms windows (dB, each about
// its own mean: BC leaves its carrier's mean in the audio), its peak and its largest step
// from one sample to the next.
struct Heard {
    double quietest = 1e9, level = 0;
    int32_t peak = 0, step = 0;
};

Heard heard(const std::vector<int16_t>& s, size_t from, size_t to)
{
    Heard h;
    std::vector<double> sum{0};
    std::vector<double> squares{0};
    for (size_t i = from; i < to; ++i) {
        sum.push_back(sum.back() + s[i]);
        squares.push_back(squares.back() + double(s[i]) * s[i]);
        h.peak = std::max(h.peak, std::abs(int32_t{s[i]}));
        h.step = i == from ? 0 : std::max(h.step, std::abs(s[i] - s[i - 1]));
    }
    double total = 0;
    for (size_t w = kWindow; w < sum.size(); ++w) {
        const double mean = (sum[w] - sum[w - kWindow]) / kWindow;
        const double power = std::max((squares[w] - squares[w - kWindow]) / kWindow - mean * mean, 0.0);
        h.quietest = std::min(h.quietest, 10 * std::log10(power + 1e-9));
        total += power;
    }
    h.level = 10 * std::log10(total / static_cast<double>(sum.size() - kWindow) + 1e-9);
    return h;
}

// The moments a mode may be clicked at: between blocks (the waiting block is rendered again),
// once that block has been played, and inside a block, the next block or (as mostly in the
// program) the rebuild the click asked for coming first.
const char* const kMoments[] = {"between blocks", "the waiting block played", "inside a block",
                                "inside a block, rebuilt before the next"};

void clickAt(ReceiverRig& rig, int32_t mode, int moment)
{
    rig.sound.replaceable = moment != 1;
    rig.vars.InDSP = moment >= 2;
    SetDemodMode(*rig.handlers, mode);
    rig.vars.InDSP = false;
    if (moment == 3)
        rig.core->RunStatisticsPass();
    rig.sound.replaceable = true;
}

// In the second after the click: no 5 ms window 20 dB below the quieter mode (a hole), no step
// beyond the old peak plus the new mode's own step (a burst), nor beyond either mode's own step
// with a little room (a click). The handover starts as a receiver left in the old mode goes
// on, the new mode's share growing from nothing over the crossfade.
TEST(ReceiverChangeLevel, AModeChangeOnAnAMStationHasNoHoleNoBurstAndNoClick)
{
    const int32_t modes[] = {kDemodAM, kDemodUSB, kDemodLSB, kDemodFM, kDemodBC};
    for (const AGCCase& agc : kAGCCases) {
        std::map<int32_t, Heard> steady;
        for (int32_t mode : modes) {
            auto rig = listening(mode, agc.on, agc.row, {}, amStation);
            rig->run(8, amStation);
            steady[mode] = heard(rig->sound.samples, rig->sound.samples.size() - 4 * kBlockSamples,
                                 rig->sound.samples.size());
        }
        for (int32_t from : modes)
            for (int32_t to : modes)
                for (int moment = 0; moment < 4 && from != to; ++moment) {
                    std::unique_ptr<ReceiverRig> rigs[2]; // the one clicked, and one left in `from`
                    for (auto& rig : rigs) {
                        rig = listening(from, agc.on, agc.earlierRow >= 0 ? agc.earlierRow : agc.row, {}, amStation);
                        // A block more for each moment: the click lands elsewhere on the modulation.
                        rig->run(12 + moment, amStation);
                        if (agc.earlierRow >= 0) {
                            applyAGC(*rig, agc.on, agc.row);
                            rig->run(8, amStation);
                        }
                    }
                    const std::vector<int16_t>& s = rigs[0]->sound.samples;
                    const size_t waiting = s.size() - kBlockSamples;
                    const int32_t oldPeak = heard(s, waiting - 3 * kBlockSamples, s.size()).peak;
                    clickAt(*rigs[0], to, moment);
                    rigs[0]->run(24, amStation);
                    rigs[1]->run(1, amStation);

                    const Heard after = heard(s, waiting - 1, waiting + kSampleRate);
                    const double quieter = std::min(steady[from].level, steady[to].level);
                    const std::string what = std::string(agc.name) + ", " + modeName(from) + " -> " + modeName(to) +
                                             ", " + kMoments[moment];
                    EXPECT_GE(after.quietest, quieter - 20)
                        << what << ": a window at " << after.quietest << " dB, the quieter mode at " << quieter;
                    EXPECT_LE(after.step, oldPeak + steady[to].step)
                        << what << ": a step of " << after.step << ", the old peak " << oldPeak
                        << ", the new mode's step " << steady[to].step;
                    const int32_t ownStep = std::max(steady[from].step, steady[to].step);
                    EXPECT_LE(after.step, 1.3 * ownStep + 300)
                        << what << ": a step of " << after.step << ", the modes' own " << steady[from].step << " and "
                        << steady[to].step;
                    // Between blocks the waiting block is rendered again; otherwise the next takes over.
                    const size_t at = waiting + (moment == 0 ? 0 : kBlockSamples);
                    for (size_t i = 0; i < 4; ++i)
                        EXPECT_NEAR(s[at + i], rigs[1]->sound.samples[at + i],
                                    double(i) / (ReceiverCore::kFadeInSamples - 1) * 2 * 16384 + 30)
                            << what << ", sample " << i << " of the handover";
                }
    }
}

// The station again, modulated 40 % by 1 kHz and 20 % by 1.7 kHz: a notch on one tone leaves
// the other to be heard.
double twoToneStation(int64_t n)
{
    return 32768 * std::pow(10.0, -12 / 20.0) / 1.6 *
           (1 + 0.4 * std::sin(kTwoPi * 1000 * seconds(n)) + 0.2 * std::sin(kTwoPi * 1700 * seconds(n))) *
           std::cos(kTwoPi * 12000 * seconds(n));
}

Setting notch(bool on, int32_t mode, int32_t type, float centre)
{
    return [=](ReceiverRig& rig) { SetNotch(*rig.handlers, on, mode, type, centre, 200); };
}

Setting ifFilter(bool on, float edge = 6000)
{
    return [=](ReceiverRig& rig) {
        SetIFFilter(*rig.handlers, on, 1);
        rig.handlers->adjusters().Value(rxadj::IFHi) = edge;
        rig.handlers->lblIFHi_Wheel();
    };
}

Setting reduction(bool on, float threshold)
{
    return [=](ReceiverRig& rig) { SetNoiseReduction(*rig.handlers, on, threshold); };
}

// The same bounds for the notch, the IF filter and the noise reduction switched on, off or
// moved, alone and with a mode clicked just before or just after, at once or once the block
// waiting has been played.
TEST(ReceiverChangeLevel, ASwitchOnAnAMStationHasNoHoleAndNoClickAloneOrBesideAModeChange)
{
    const struct {
        const char* name;
        Setting before, change;
    } switches[] = {
        {"manual notch on", {}, notch(true, 0, 0, 1000)},
        {"manual notch off", notch(true, 0, 0, 1000), notch(false, 0, 0, 0)},
        {"manual notch moved", notch(true, 0, 0, 1000), notch(true, 0, 0, 1700)},
        {"IF notch on", {}, notch(true, 0, 1, 1000)},
        {"IF notch off", notch(true, 0, 1, 1000), notch(false, 0, 0, 0)},
        {"automatic notch on", {}, notch(true, 1, 0, 1700)},
        {"automatic notch off", notch(true, 1, 0, 1000), notch(false, 0, 0, 0)},
        {"IF filter on", {}, ifFilter(true)},
        {"IF filter off", ifFilter(true), ifFilter(false)},
        {"IF filter narrowed", ifFilter(true), ifFilter(true, 1500)},
        {"noise reduction on", {}, reduction(true, 0.1f)},
        {"noise reduction off", reduction(true, 0.1f), reduction(false, 0.1f)},
        {"noise reduction threshold", reduction(true, 0.02f), reduction(true, 0.08f)},
    };
    const char* const moments[] = {"alone", "1 ms after a mode click", "a mode click 1 ms after"};
    for (const AGCCase& agc : {kAGCCases[0], kAGCCases[4], kAGCCases[6]})
        for (const auto& sw : switches)
            for (int moment = 0; moment < 3; ++moment)
                for (bool played : {false, true}) {
                    auto rig = listening(kDemodAM, agc.on, agc.row, sw.before, twoToneStation);
                    rig->run(12 + moment, twoToneStation);
                    const std::vector<int16_t>& s = rig->sound.samples;
                    const Heard before = heard(s, s.size() - 8 * kBlockSamples, s.size());
                    const size_t waiting = s.size() - kBlockSamples;
                    rig->sound.replaceable = !played;
                    if (moment == 1)
                        SetDemodMode(*rig->handlers, kDemodBC);
                    sw.change(*rig);
                    if (moment == 2)
                        SetDemodMode(*rig->handlers, kDemodBC);
                    rig->sound.replaceable = true;
                    rig->run(36, twoToneStation);
                    const Heard after = heard(s, s.size() - 12 * kBlockSamples, s.size());
                    const Heard change = heard(s, waiting - 1, waiting + kSampleRate);
                    const std::string what = std::string(agc.name) + ", " + sw.name + ", " + moments[moment] +
                                             (played ? ", the waiting block played" : "");
                    EXPECT_GE(change.quietest, std::min(before.level, after.level) - 20)
                        << what << ": a window at " << change.quietest << " dB, the settings at " << before.level
                        << " and " << after.level;
                    EXPECT_LE(change.step, 1.3 * std::max(before.step, after.step) + 300)
                        << what << ": a step of " << change.step << ", the settings' own " << before.step << " and "
                        << after.step;
                }
}

} // namespace
} // namespace orvik::testing
