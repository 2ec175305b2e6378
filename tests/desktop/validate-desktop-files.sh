#!/bin/sh
# The desktop entry and the AppStream metadata pass the validators the
# distributions run on them. Usage: validate-desktop-files.sh DESKTOP_FILE METAINFO
set -eu
. "$(dirname "$0")/need-tools.sh"
need desktop-file-validate appstreamcli
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
