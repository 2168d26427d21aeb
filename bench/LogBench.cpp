// The traced log window's cost of one more line after a trace of a given length. Each
// line is a start-up step of about 60 characters; the cost must not grow with the
// lines before it.

#include "app/frmLog.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void LogLineAfterTrace(benchmark::State& state)
{
    QTemporaryDir dir;
    orvik::frmLog window(true, dir.filePath("ORVIKSDR.log"));
    window.show();
    const QString line = QStringLiteral("frmMain:frmMain:Form_Load:Initialising Variable Filter Default Values (%1)");
    for (int64_t i = 0; i < state.range(0); ++i)
        window.AddLog(line.arg(i));
    int64_t n = 0;
    for (auto _ : state)
        window.AddLog(line.arg(++n));
}
BENCHMARK(LogLineAfterTrace)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMicrosecond);

} // namespace
