// A preset recalled in the running main window, from the click on its button to its
// settings in force with the filters rebuilt: two presets that differ in frequency, mode
// and filter, recalled in turn on a fake sound card.
//   build/release/bin/preset_recall_bench --benchmark_repetitions=5

#include "app/frmMain.h"
#include "platform/MessageService.h"
#include "platform/SettingsStore.h"
#include "platform/sound/FakeSoundBackend.h"
#include "receiver/ReceiverCore.h"
#include "shell/widgets/ControlFactory.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

using namespace orvik;

namespace {

const char* const PlanText = R"([MainBand]
Caption=Bench bands
Active=True
ActiveSubBand=0
NumSubBands=1
[SubBand.0]
Caption=31m
FreqMin=9400000
FreqMax=9900000
ActivePreset=0
TuneStep=50000
[Preset.0.0]
Caption=9500
Active=True
FreqCurrent=9500000
DemodMode=0
FilterMode=4
[Preset.0.1]
FreqCurrent=9600600
DemodMode=2
FilterMode=2
)";

void PresetRecall(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("home");
    QDir().mkpath(home);
    QDir().mkpath(dir.filePath("shipped"));
    QFile plan(QDir(home).filePath("Bench.bpl"));
    if (!plan.open(QIODevice::WriteOnly) || plan.write(PlanText) < 0) {
        state.SkipWithError("cannot write the band plan");
        return;
    }
    plan.close();
    SettingsStore store(dir.filePath("ORVIKSDR.ini"));
    // The parallel interface opens no device.
    store.write("frmMain", "VFO1.IFType", "1");
    FakeSoundBackend backend({"Fake playback"}, {"Fake capture"});
    RecordingMessageService shown;
    setMessageService(&shown);
    auto window = std::make_unique<frmMain>(frmMain::Services{store, backend, home, dir.filePath("shipped")});
    if (window->Form_Initialize({}) != 0) {
        state.SkipWithError("the main window did not start");
        setMessageService(nullptr);
        return;
    }
    QRadioButton* presets[2];
    for (int p = 0; p < 2; ++p)
        presets[p] = static_cast<QRadioButton*>(controlElement(window.get(), "optPreset", p));

    int p = 0;
    for (auto _ : state) {
        p = 1 - p;
        QTest::mouseClick(presets[p], Qt::LeftButton, {}, QPoint(5, presets[p]->height() / 2));
        window->receiver()->RunStatisticsPass();
    }
    if (window->vars().DSPSettingsChanged)
        state.SkipWithError("the filters were not rebuilt");
    window->Form_Unload();
    window.reset();
    setMessageService(nullptr);
}
BENCHMARK(PresetRecall)->Unit(benchmark::kMillisecond);

} // namespace
