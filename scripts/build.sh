#!/usr/bin/env bash
# Configures and builds one build directory: build.sh DIR [extra cmake args...]
# Builds optimised with debug symbols unless a -DCMAKE_BUILD_TYPE=... among the
# extra arguments says otherwise (developers pass Debug).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
build_type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
for arg in "$@"; do
  case $arg in -DCMAKE_BUILD_TYPE=*|-DCMAKE_BUILD_TYPE:*=*) build_type=() ;; esac
done
cmake -S "$top" -B "$dir" -G Ninja "${build_type[@]}" "$@" >/dev/null
cmake --build "$dir"
