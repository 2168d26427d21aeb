#!/bin/sh
# The receive chain's and the signal-processing library's speed figures:
# five repetitions of every benchmark, printed as median and standard
# deviation (the spread) per case. Run on an idle machine from the source
# folder after a Release build:
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C build/release chain_bench dsp_bench
#   bench/dsp-speed.sh [build/release]
set -eu
build=${1:-build/release}
for bench in chain_bench dsp_bench; do
    "$build/bin/$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_min_time=0.3 2>/dev/null | grep -E '_(median|stddev) '
done
