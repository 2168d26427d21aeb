// One frame of the spectrum display (graticule, smoothing, two traces, the filter curve)
// drawn off-screen on a page of the designed size, against the same points drawn with a
// single QPainter::drawPolyline, and with ThinPolyline, on the same image. Five runs:
//   for i in 1 2 3 4 5; do build/release/bin/scope_bench --benchmark_min_time=1 \
//     --benchmark_filter='Frame|Grat'; done

#include "spectrum/clsSpectrumAnalyser.h"
#include "spectrum/ui/ScopeImagePage.h"
#include "spectrum/ui/ThinPolyline.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

using namespace orvik;

namespace {

// The page at its designed size: 9000 x 2680 twips.
constexpr int32_t PageWidthTwips = 9000;
constexpr int32_t PageHeightTwips = 2680;

std::vector<float> signal(int n, uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0F, 30.0F);
    std::vector<float> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        out[static_cast<size_t>(i)] =
            static_cast<float>(3000 * std::cos(2 * std::numbers::pi * 300.5 * i / n)) + noise(random);
    return out;
}

clsSpectrumAnalyser::Environment environment(std::function<void()> yield)
{
    clsSpectrumAnalyser::Environment env;
    env.yield = std::move(yield);
    env.InDSP = [] { return false; };
    return env;
}

struct Frame {
    ScopeImagePage page0;
    ScopeImagePage page1;
    clsSpectrumAnalyser analyser;
    std::vector<float> ch1 = signal(2048, 1);
    std::vector<float> ch2 = signal(2048, 2);

    explicit Frame(bool log, std::function<void()> yield = {}) : analyser(nullptr, environment(std::move(yield)))
    {
        for (ScopeImagePage* p : {&page0, &page1}) {
            p->setContainerScaleHeight(PageHeightTwips + 230);
            p->Move(30, 180, PageWidthTwips, PageHeightTwips);
        }
        analyser.FSampling = 48000;
        analyser.Order = 11;
        analyser.picDisplay0(&page0);
        analyser.picDisplay1(&page1);
        analyser.FEnd = 24000;
        analyser.FOffset = 7076000;
        analyser.Init();
        analyser.setLogMode(log);
        analyser.setMode(0);
        analyser.ShowFilter = true;
        std::vector<float> taps(2048, 0.0F);
        for (int i = 0; i < 255; ++i)
            taps[static_cast<size_t>(i)] = static_cast<float>(0.01 * std::sin(0.1 * (i - 127) + 1e-9) / (0.1 * (i - 127) + 1e-9));
        analyser.LoadFilterCoeffs_T_S(taps.data());
        analyser.Active = true;
    }
};

void BM_SpectrumFrame(benchmark::State& state)
{
    Frame f(state.range(0) != 0);
    for (auto _ : state) {
        f.analyser.LoadSamples_S(f.ch1.data(), f.ch2.data());
        f.analyser.Display();
        benchmark::DoNotOptimize(f.page0.image().constBits());
    }
}
BENCHMARK(BM_SpectrumFrame)->Arg(0)->Arg(1)->ArgName("log")->Unit(benchmark::kMicrosecond);

// The same frame letting pending events run every 64 points, as the program draws it.
void BM_SpectrumFrameWithYields(benchmark::State& state)
{
    Frame f(state.range(0) != 0, [] { QCoreApplication::processEvents(); });
    for (auto _ : state) {
        f.analyser.LoadSamples_S(f.ch1.data(), f.ch2.data());
        f.analyser.Display();
        benchmark::DoNotOptimize(f.page0.image().constBits());
    }
}
BENCHMARK(BM_SpectrumFrameWithYields)->Arg(0)->Arg(1)->ArgName("log")->Unit(benchmark::kMicrosecond);

// The same frame without the filter overlay. The overlay's taps are an unwindowed sinc, whose
// side lobes put nearly every bin's segment of the linear curve across half the page.
void BM_SpectrumFrameWithoutFilter(benchmark::State& state)
{
    Frame f(state.range(0) != 0);
    f.analyser.ShowFilter = false;
    for (auto _ : state) {
        f.analyser.LoadSamples_S(f.ch1.data(), f.ch2.data());
        f.analyser.Display();
        benchmark::DoNotOptimize(f.page0.image().constBits());
    }
}
BENCHMARK(BM_SpectrumFrameWithoutFilter)->Arg(0)->Arg(1)->ArgName("log")->Unit(benchmark::kMicrosecond);

// The linear frame's three polylines (both traces and the filter curve) as pixels.
struct FramePolylines {
    QSize size;
    std::vector<QPolygonF> lines;
    std::vector<QColor> colours;

    FramePolylines()
    {
        Frame f(false);
        f.analyser.LoadSamples_S(f.ch1.data(), f.ch2.data());
        f.analyser.Display();
        size = f.page0.pixelSize();
        const ScopeModeRecord& m = f.analyser.ModeSettings(0);
        const auto& curve = f.analyser.FilterCurveLin();
        QPolygonF trace1, trace2, filter;
        for (int b = 0; b <= 1024; ++b) {
            const auto x = static_cast<float>(1024 - b);
            trace1 << f.page0.toPixel(x, f.analyser.TraceBuf1()[static_cast<size_t>(b)]);
            trace2 << f.page0.toPixel(x, f.analyser.TraceBuf2()[static_cast<size_t>(b)]);
            filter << f.page0.toPixel(x, curve[static_cast<size_t>(b)] * m.Chn1Gain + m.Chn1Offset);
        }
        lines = {trace1, trace2, filter};
        colours = {QColor(0, 255, 0), QColor(255, 255, 0), QColor(192, 0, 0)};
    }
};

// The polylines alone, through one drawPolyline call each, after a clear.
void BM_PlainPolyline(benchmark::State& state)
{
    const FramePolylines frame;
    QImage image(frame.size, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::black);
        QPainter p(&image);
        for (size_t i = 0; i < frame.lines.size(); ++i) {
            p.setPen(frame.colours[i]);
            p.drawPolyline(frame.lines[i]);
        }
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PlainPolyline)->Unit(benchmark::kMicrosecond);

// The same pixels through ThinPolyline, as the page draws them.
void BM_ThinPolyline(benchmark::State& state)
{
    const FramePolylines frame;
    QImage image(frame.size, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::black);
        for (size_t i = 0; i < frame.lines.size(); ++i) {
            ThinPolyline line(reinterpret_cast<uint32_t*>(image.bits()), static_cast<int>(image.bytesPerLine() / 4),
                              image.width(), image.height(), frame.colours[i].rgb());
            line.draw(frame.lines[i].constData(), static_cast<int>(frame.lines[i].size()), true);
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ThinPolyline)->Unit(benchmark::kMicrosecond);

// The graticule alone: grid, centre line and both label rows of the log scale's frame,
// put back as kept (unchanged) or drawn anew (the offset moves every frame, as in tuning).
void BM_GraticuleOnly(benchmark::State& state)
{
    Frame f(true);
    const bool tuning = state.range(0) != 0;
    int32_t step = 0;
    for (auto _ : state) {
        if (tuning)
            f.analyser.FOffset = 7076000 + 10 * (++step % 2);
        f.analyser.DrawGraticule(f.page0);
        benchmark::DoNotOptimize(f.page0.image().constBits());
    }
}
BENCHMARK(BM_GraticuleOnly)->Arg(0)->Arg(1)->ArgName("tuning")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
