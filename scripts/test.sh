#!/usr/bin/env bash
# scripts/test.sh            the whole suite: the format check, then a plain build with
#                            warnings as errors and its tests, the same under
#                            AddressSanitizer + UndefinedBehaviorSanitizer, and under
#                            ThreadSanitizer (the CMakePresets.json presets dev, asan, tsan).
# scripts/test.sh --quick [PRESET]
#                            one configuration (default: dev) built and tested.
# A test that fails is run once more. One that then passes does not fail the run, but
# the summary at the end names it as retried: a flaky test stays in sight.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

presets=(dev asan tsan)
check_format=yes
if [ "${1:-}" = "--quick" ]; then
    presets=("${2:-dev}")
    check_format=no
elif [ $# -gt 0 ]; then
    echo "usage: scripts/test.sh [--quick [dev|asan|tsan]]" >&2
    exit 2
fi

retried=()
failing=()
summary() {
    echo
    echo "== Summary"
    if [ ${#retried[@]} -eq 0 ]; then
        echo "No test needed a second run."
    else
        echo "Retried (failed, then passed when run again; flaky until fixed):"
        printf '  %s\n' "${retried[@]}"
    fi
    if [ ${#failing[@]} -gt 0 ]; then
        echo "Failed twice:"
        printf '  %s\n' "${failing[@]}"
    fi
}
trap summary EXIT

build_dir() {
    if [ "$1" = dev ]; then echo "$top/build"; else echo "$top/build-$1"; fi
}

failed_tests() {
    local log="$1/Testing/Temporary/LastTestsFailed.log"
    if [ -f "$log" ]; then cut -d: -f2- "$log"; fi
}

run_preset() {
    local preset=$1 dir
    dir=$(build_dir "$preset")
    echo "== $preset ($dir)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    rm -f "$dir/Testing/Temporary/LastTestsFailed.log"
    if ctest --preset "$preset" -j "$jobs"; then
        return 0
    fi
    local first still name
    mapfile -t first < <(failed_tests "$dir")
    if [ ${#first[@]} -eq 0 ]; then
        failing+=("$preset: ctest failed before naming a test")
        return 1
    fi
    echo "== $preset: running the failed tests again: ${first[*]}"
    rm -f "$dir/Testing/Temporary/LastTestsFailed.log"
    ctest --preset "$preset" -j "$jobs" -R "^($(IFS='|'; echo "${first[*]}"))\$" || true
    mapfile -t still < <(failed_tests "$dir")
    for name in "${first[@]}"; do
        if printf '%s\n' "${still[@]}" | grep -qxF "$name"; then
            failing+=("$preset: $name")
        else
            retried+=("$preset: $name")
        fi
    done
    [ ${#still[@]} -eq 0 ]
}

if [ $check_format = yes ]; then
    scripts/check-format.sh
fi
for preset in "${presets[@]}"; do
    run_preset "$preset"
done
# A minute of fuzzing per target after a full run in CI (scripts/install-deps.sh
# --fuzz brings clang); elsewhere when LUMBRA_FUZZ_SECONDS asks for it.
if [ $check_format = yes ] && { [ -n "${LUMBRA_FUZZ_SECONDS:-}" ] || [ "${CI:-}" = true ]; }; then
    scripts/fuzz.sh "${LUMBRA_FUZZ_SECONDS:-60}"
fi
echo "All test suites passed."
