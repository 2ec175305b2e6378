#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them next to their Python
# baselines in the same run, then prints the comparison.
#   bench/run-codec-hash.sh [BUILD_DIR]   (default: build-bench, a Release build of its own)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-bench}
cd "$top"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMBRA_BUILD_BENCH=ON -DLUMBRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_xmlrpc_decode bench_moviehash

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
reply47=tests/fixtures/service/search-movie-47-results.xml
python3 bench/baseline.py make-synthetic "$reply47" "$work/search-500-results.xml" 500
python3 bench/baseline.py make-files "$work/videos" 1000 200000
replies=("$reply47" "$work/search-500-results.xml")

stats=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json)
"$build/bench/bench_xmlrpc_decode" "${stats[@]}" "${replies[@]}" >"$work/ours-decode.json"
python3 bench/baseline.py decode "${replies[@]}" >"$work/py-decode.json"
"$build/bench/bench_moviehash" "${stats[@]}" "$work/videos" >"$work/ours-hash.json"
python3 bench/baseline.py moviehash "$work/videos" >"$work/py-hash.json"

echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
python3 bench/baseline.py report "$work/ours-decode.json" "$work/py-decode.json" "$work/ours-hash.json" \
    "$work/py-hash.json"
