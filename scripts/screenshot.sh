#!/usr/bin/env bash
# Renders the home window, an empty workflow frame and the preferences window to PNG under a virtual
# X server: screenshot.sh [BUILD-DIR [OUTPUT-DIR]] (defaults: build, docs).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
out=${2:-$top/docs}
if [ ! -f "$build/build.ninja" ]; then
  "$top/scripts/build.sh" "$build"
fi
cmake --build "$build" --target lumbra-screenshot lumbra_resources >/dev/null
# A private home, so the run reads and writes nothing of the user's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/lumbra-screenshot" "$out"
