#!/usr/bin/env bash
# Keeps the README true after the builds it describes:
#  - the program its install-and-run command starts is where the command says, and it stays up
#    (run offscreen, in a private home, for a few seconds) instead of failing at once;
#  - every build…/… path it names exists.
# A build folder the README describes but this machine has not made (build-release, say) is
# checked through build/: every configuration lays its programs out alike.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
readme=README.md
failures=0
fail() { echo "check-readme: $*" >&2; failures=$((failures + 1)); }

# The first shell block under "Install, build and run": install && build && run.
command=$(awk '/^## Install, build and run/ { inside = 1 }
               inside && /^```sh/ { getline; print; exit }' "$readme")
[ -n "$command" ] || { echo "check-readme: no install-and-run command in $readme" >&2; exit 1; }
IFS='&' read -r -a parts <<<"${command//&&/&}"
build_step=""
for part in "${parts[@]}"; do
    part=$(echo "$part" | xargs)
    case "$part" in scripts/build.sh*) build_step=$part ;; esac
done
run_step=$(echo "${parts[-1]}" | xargs)
program=${run_step%% *}
echo "check-readme: install-and-run command: $command"

if [ ! -x "$program" ] && [ -n "$build_step" ]; then
    build_dir=$(echo "$build_step" | awk '{ print $2 }')
    if [ ! -f "$build_dir/build.ninja" ]; then
        echo "check-readme: running its build step: $build_step"
        $build_step
    fi
fi

if [ ! -x "$program" ]; then
    fail "the program the README starts, $program, is not there"
else
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    mkdir -m 700 "$scratch/runtime"
    status=0
    HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data \
        XDG_CACHE_HOME=$scratch/cache XDG_RUNTIME_DIR=$scratch/runtime QT_QPA_PLATFORM=offscreen \
        timeout 5 "$program" >"$scratch/output" 2>&1 || status=$?
    if [ "$status" -eq 124 ]; then
        echo "check-readme: $program runs (still up after 5 s)"
    else
        fail "$program exited at once (status $status):"
        cat "$scratch/output" >&2
    fi
fi

# Paths such as build/tests/media/media_tests or `build-release/bench/bench_intake`; not the
# tail of another path ($PWD/build/bin).
mapfile -t paths < <(grep -oE '(^|[^A-Za-z0-9_$/.~-])build[A-Za-z0-9_-]*/[A-Za-z0-9_./-]*' "$readme" |
    sed -E 's/^[^b]//; s/[.,]+$//' | sort -u)
for path in "${paths[@]}"; do
    folder=${path%%/*}
    checked=$path
    if [ ! -d "$folder" ]; then
        checked=build/${path#*/}
    fi
    if [ -e "$checked" ] && [ "$checked" = "$path" ]; then
        echo "check-readme: $path is there"
    elif [ -e "$checked" ]; then
        echo "check-readme: $path is there (as $checked: $folder is not built here)"
    else
        fail "the README names $path, which is not there after the builds"
    fi
done

if [ "$failures" -gt 0 ]; then
    echo "check-readme: $failures problem(s) in $readme" >&2
    exit 1
fi
echo "check-readme: the README's run command and build paths hold"
