// What recording and playing back cost the main thread: one minute of receiver audio
// (1406 blocks of 2048 samples) into a file and back out, with the disk work the timers do.
// The share of one core is the time per iteration over 60 s.
#include "recorder/clsWavFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

using namespace orvik;

namespace {

constexpr int kBlock = 2048;
constexpr int kMinuteBlocks = 48000 * 60 / kBlock;

std::vector<int16_t> audioBlock()
{
    std::vector<int16_t> block(kBlock);
    for (int i = 0; i < kBlock; ++i)
        block[static_cast<size_t>(i)] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / 48000.0));
    return block;
}

void recordMinute(clsWavFile& wav, const std::vector<int16_t>& block)
{
    bool write = false;
    wav.events.WriteNextBlockToDisk = [&] { write = true; };
    wav.OpenRecording();
    for (int b = 0; b < kMinuteBlocks; ++b) {
        wav.AddSamples(block.data(), kBlock);
        if (write) {
            write = false;
            wav.WriteToDisk();
        }
    }
    wav.CloseRecording();
}

void BM_RecordOneMinute(benchmark::State& state)
{
    QTemporaryDir dir;
    clsWavFile wav(dir.path());
    wav.setDecimator(static_cast<int32_t>(state.range(0)));
    wav.vfoFrequency = [] { return 70500000; };
    const auto block = audioBlock();
    for (auto _ : state)
        recordMinute(wav, block);
}

void BM_PlayOneMinute(benchmark::State& state)
{
    QTemporaryDir dir;
    clsWavFile wav(dir.path());
    wav.setDecimator(static_cast<int32_t>(state.range(0)));
    const auto block = audioBlock();
    recordMinute(wav, block);
    wav.FileName = wav.TempFileName;
    bool read = false;
    wav.events.ReadNextBlockFromDisk = [&] { read = true; };
    std::vector<int16_t> out(kBlock);
    for (auto _ : state) {
        wav.OpenFile();
        wav.Play();
        for (int b = 0; b < kMinuteBlocks; ++b) {
            wav.GetNextSamples(out.data(), kBlock);
            if (read) {
                read = false;
                wav.ReadFromDisk();
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
}

} // namespace

BENCHMARK(BM_RecordOneMinute)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayOneMinute)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
