// The library's hot paths on both back-ends, FFTW called directly, and
// liquid-dsp's FFT filter as the peer, all on the same seeded input.

#include "dsp/ORVIK.h"
#include "dsp/VectorLib.h"
#include "dsp/VendorFft.h"
#include "dsp/clHilbert.h"
#include "dsp/clsFFT.h"
#include "dsp/clsFFTFilter.h"
#include "dsp/clsFFTReal.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <complex>
#include <liquid/liquid.h>

#include <random>
#include <vector>

namespace {

using namespace orvik;

constexpr int32_t Block = 2048;

std::vector<float> seededInput(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-16384.0f, 16384.0f);
    std::vector<float> v(n);
    for (float& x : v)
        x = dist(gen);
    return v;
}

void selectBackEnd(bool vendor)
{
    ORVIK::INIT();
    // Measured plans, as the program makes them (without keeping wisdom).
    ORVIK::ConfigureVendorPlanning(true, "", [](const std::string&) {});
    ORVIK::UseSPL = vendor && ORVIK::SPLPresent;
}

void configureBandPass(clsFFTFilter& f)
{
    f.SegmentSize = 2 * Block;
    f.Points = Block;
    f.FSampling = 48000;
    f.WindowType = 2;
    f.NormaliseGain = true;
    f.FLow = 300;
    f.FHigh = 2300;
    f.Init(Block);
}

void ComplexFft(benchmark::State& state, bool vendor)
{
    selectBackEnd(vendor);
    const auto n = static_cast<int32_t>(state.range(0));
    clsFFT fft;
    fft.FFTInit(n);
    const auto re = seededInput(n, 1), im = seededInput(n, 2);
    std::vector<float> outRe(n), outIm(n);
    // The vendor plan is made at the first transform, not in the timed loop.
    fft.FFT_S_2(re.data(), im.data(), outRe.data(), outIm.data());
    for (auto _ : state) {
        fft.FFT_S_2(re.data(), im.data(), outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
    }
    ORVIK::UseSPL = false;
}

void RealFft(benchmark::State& state, bool vendor)
{
    selectBackEnd(vendor);
    const auto n = static_cast<int32_t>(state.range(0));
    clsFFTReal fft;
    fft.FFTInit(n);
    const auto in = seededInput(n, 3);
    std::vector<float> re(n), im(n);
    fft.FFT_Real_S_2(in.data(), re.data(), im.data());
    for (auto _ : state) {
        fft.FFT_Real_S_2(in.data(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
    }
    ORVIK::UseSPL = false;
}

void FftwComplexSplit(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    float* data = fftwf_alloc_real(4 * static_cast<size_t>(n));
    fftw_iodim dim{n, 1, 1};
    fftwf_plan plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, data, data + n, data + 2 * n, data + 3 * n,
                                                FFTW_MEASURE);
    const auto re = seededInput(n, 1), im = seededInput(n, 2);
    std::copy(re.begin(), re.end(), data);
    std::copy(im.begin(), im.end(), data + n);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(data);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

// FFTW's plan run on four std::vector arrays, as the wrapper is handed
// them: malloc aligns to 16 bytes, FFTW's own arrays to 32 or more, and
// AVX loads across cache lines cost FFTW itself a few per cent.
void FftwComplexSplitOnVectors(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    float* data = fftwf_alloc_real(4 * static_cast<size_t>(n));
    fftw_iodim dim{n, 1, 1};
    fftwf_plan plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, data, data + n, data + 2 * n, data + 3 * n,
                                                FFTW_MEASURE | FFTW_PRESERVE_INPUT);
    auto re = seededInput(n, 1), im = seededInput(n, 2);
    std::vector<float> outRe(n), outIm(n);
    for (auto _ : state) {
        fftwf_execute_split_dft(plan, re.data(), im.data(), outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

void FftwRealToComplex(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    float* in = fftwf_alloc_real(static_cast<size_t>(n));
    fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(n) / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const auto x = seededInput(n, 3);
    std::copy(x.begin(), x.end(), in);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}

void FilterFft(benchmark::State& state, bool vendor)
{
    selectBackEnd(vendor);
    clsFFTFilter f;
    configureBandPass(f);
    f.MakeFilter();
    const auto x = seededInput(Block, 4);
    std::vector<float> block(2 * Block);
    f.Filter_FFT_S_1(block.data());
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), block.begin());
        f.Filter_FFT_S_1(block.data());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * Block);
    ORVIK::UseSPL = false;
}

void LiquidFftFilter(benchmark::State& state)
{
    clsFFTFilter design;
    configureBandPass(design);
    design.MakeFilter();
    std::vector<float> taps(Block);
    design.GetFilterCoeffs_T_S(taps.data());
    fftfilt_rrrf q = fftfilt_rrrf_create(taps.data(), Block, Block);
    const auto x = seededInput(Block, 4);
    std::vector<float> in(Block), out(Block);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), in.begin());
        fftfilt_rrrf_execute(q, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * Block);
    fftfilt_rrrf_destroy(q);
}

// The same job as FilterFft done directly on FFTW: r2c of the zero-padded
// block, spectral product, c2r, overlap, with measured plans.
void FftwOverlapFilter(benchmark::State& state)
{
    clsFFTFilter design;
    configureBandPass(design);
    design.MakeFilter();
    std::vector<float> hRe(2 * Block), hIm(2 * Block);
    design.GetFilterFCoeffs_S(hRe.data(), hIm.data());
    float* in = fftwf_alloc_real(2 * Block);
    float* out = fftwf_alloc_real(2 * Block);
    fftwf_complex* spec = fftwf_alloc_complex(Block + 1);
    fftwf_complex* h = fftwf_alloc_complex(Block + 1);
    for (int k = 0; k <= Block; ++k) {
        h[k][0] = hRe[k] / (2 * Block);
        h[k][1] = hIm[k] / (2 * Block);
    }
    fftwf_plan r2c = fftwf_plan_dft_r2c_1d(2 * Block, in, spec, FFTW_MEASURE);
    fftwf_plan c2r = fftwf_plan_dft_c2r_1d(2 * Block, spec, out, FFTW_MEASURE);
    std::fill(in, in + 2 * Block, 0.0f);
    std::vector<float> overlap(Block), block(2 * Block);
    const auto x = seededInput(Block, 4);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), block.begin());
        std::copy(block.begin(), block.begin() + Block, in);
        fftwf_execute(r2c);
        for (int k = 0; k <= Block; ++k) {
            const float a = spec[k][0], b = spec[k][1];
            spec[k][0] = a * h[k][0] - b * h[k][1];
            spec[k][1] = a * h[k][1] + b * h[k][0];
        }
        fftwf_execute(c2r);
        for (int i = 0; i < Block; ++i)
            block[i] = out[i] + overlap[i];
        std::copy(out + Block, out + 2 * Block, overlap.begin());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * Block);
    fftwf_destroy_plan(r2c);
    fftwf_destroy_plan(c2r);
    fftwf_free(in);
    fftwf_free(out);
    fftwf_free(spec);
    fftwf_free(h);
}

// One block of audio to 16-bit samples.
void FloatToInt16(benchmark::State& state)
{
    const auto x = seededInput(Block, 6);
    std::vector<int16_t> out(Block);
    for (auto _ : state) {
        vectorlib::FloatToInt16_S_2(x.data(), out.data(), Block);
        benchmark::DoNotOptimize(out.data());
    }
}

void HilbertBlock(benchmark::State& state)
{
    clHilbert h;
    h.Load(128, Block);
    const auto x = seededInput(Block, 7);
    std::vector<float> out(Block);
    for (auto _ : state) {
        h.sTransform(x.data(), out.data(), Block);
        benchmark::DoNotOptimize(out.data());
    }
}

void MakeFilter(benchmark::State& state, bool vendor)
{
    selectBackEnd(vendor);
    clsFFTFilter f;
    configureBandPass(f);
    f.MakeFilter();
    for (auto _ : state) {
        f.MakeFilter();
        benchmark::ClobberMemory();
    }
    ORVIK::UseSPL = false;
}

BENCHMARK_CAPTURE(ComplexFft, Own, false)->Arg(2048)->Arg(4096);
BENCHMARK_CAPTURE(ComplexFft, Vendor, true)->Arg(2048)->Arg(4096);
BENCHMARK(FftwComplexSplit)->Arg(2048)->Arg(4096);
BENCHMARK(FftwComplexSplitOnVectors)->Arg(2048)->Arg(4096);
BENCHMARK_CAPTURE(RealFft, Own, false)->Arg(4096);
BENCHMARK_CAPTURE(RealFft, Vendor, true)->Arg(4096);
BENCHMARK(FftwRealToComplex)->Arg(4096);
BENCHMARK_CAPTURE(FilterFft, Own, false);
BENCHMARK_CAPTURE(FilterFft, Vendor, true);
BENCHMARK(LiquidFftFilter);
BENCHMARK(FftwOverlapFilter);
BENCHMARK(FloatToInt16);
BENCHMARK(HilbertBlock);
BENCHMARK_CAPTURE(MakeFilter, Own, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MakeFilter, Vendor, true)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
