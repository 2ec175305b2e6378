#!/usr/bin/env bash
# The whole test suite: a plain build with warnings as errors, then the same
# tests under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, plus the format check.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    echo "== $dir"
    scripts/build.sh "$dir" -DLUMBRA_WERROR=ON "$@"
    # A test that fails is run once more; its first failure stays in the log.
    # Window and network tests on a loaded machine can miss a deadline now and
    # then; a fault that shows twice in a row fails the suite.
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --repeat until-pass:2
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="suppressions=$top/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp"

scripts/check-format.sh
run_suite build
run_suite build-asan -DLUMBRA_SANITIZE=address
run_suite build-tsan -DLUMBRA_SANITIZE=thread
echo "All test suites passed."
