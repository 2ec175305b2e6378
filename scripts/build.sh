#!/usr/bin/env bash
# Configures and builds one build directory: build.sh DIR [extra cmake args...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
cmake --build "$dir"
