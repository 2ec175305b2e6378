#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang (ASan+UBSan) and runs
# each one for a while. Fails when a target finds a crash, a sanitizer report,
# a timeout or a finding of its own; the input is left in build-fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 60 (the CI run); give more for a long local
# run, e.g. scripts/fuzz.sh 1800. TARGETs are names without "fuzz_" (default:
# all). New inputs that add coverage collect in build-fuzz/corpus/<target>;
# copy the ones worth keeping to fuzz/corpus/<target>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-60}
shift || true
dir=${LUMBRA_FUZZ_BUILD:-$top/build-fuzz}

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing; scripts/install-deps.sh --fuzz installs it" >&2
    exit 1
fi
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DLUMBRA_FUZZ=ON -DLUMBRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target fuzzers

# Seeds: the committed corpus of each target (regression inputs included)
# and the fixtures of the test suite that fit it.
seeds() {
    case $1 in
    xmlrpc_reply | xmlrpc_readers) echo "$top/tests/fixtures/service" ;;
    player_output) echo "$top/tests/preview/fixtures" ;;
    esac
}
dict() {
    case $1 in
    xmlrpc_reply | xmlrpc_readers | prefs) echo "-dict=$top/fuzz/dicts/xml.dict" ;;
    subtitles | encoding) echo "-dict=$top/fuzz/dicts/subtitles.dict" ;;
    player_output) echo "-dict=$top/fuzz/dicts/player.dict" ;;
    rest_reply) echo "-dict=$top/fuzz/dicts/json.dict" ;;
    downloads) echo "-dict=$top/fuzz/dicts/xml.dict" ;;
    esac
}

# FFmpeg's libraries are built without frame pointers: only the slow unwinder
# sees through them, so that a leak of FFmpeg's own (scripts/lsan.supp) can be
# told from one of ours. It costs the target about eight times its speed.
asan_options() {
    case $1 in
    stream_probe) echo "$ASAN_OPTIONS:fast_unwind_on_malloc=0:malloc_context_size=30" ;;
    *) echo "$ASAN_OPTIONS" ;;
    esac
}

if [ $# -eq 0 ]; then
    set -- $(cd "$top/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$dir/findings" "$dir/logs"
# One target per core at a time: each still gets its SECONDS, the round ends sooner.
parallel=${LUMBRA_FUZZ_JOBS:-$(nproc)}
run_target() {
    local target=$1 work="$dir/corpus/$1" log="$dir/logs/$1.log" result="$dir/logs/$1.result"
    mkdir -p "$work"
    # shellcheck disable=SC2046
    if ASAN_OPTIONS=$(asan_options "$target") "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
        -max_len=131072 -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
        $(dict "$target") "$work" "$top/fuzz/corpus/$target" $(seeds "$target") >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        echo "fuzz_$target: $runs runs in ${seconds}s" >"$result"
    else
        echo "fuzz_$target: FAILED (log: $log)" >"$result"
    fi
}
for target in "$@"; do
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
    echo "== fuzz_$target, ${seconds}s"
    rm -f "$dir/logs/$target.result"
    run_target "$target" &
done
wait
failed=0
for target in "$@"; do
    result=$(cat "$dir/logs/$target.result" 2>/dev/null || echo "fuzz_$target: FAILED (no result)")
    echo "$result"
    case $result in *FAILED*)
        failed=1
        tail -n 60 "$dir/logs/$target.log"
        ;;
    esac
done
exit $failed
