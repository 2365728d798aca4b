#!/usr/bin/env bash
# Runs the Windows test suite under Wine: one prefix inside the build tree, set
# up once, one wineserver kept alive for the whole run, and a virtual display
# for the message boxes.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/windows
export WINEPREFIX="$PWD/$build/wine/prefix"
export HOME="$PWD/$build/wine/home"
export WINEARCH=win32 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
mkdir -p "$HOME"

# Make the prefix once, then keep one server for the whole run and start the
# prefix's services now, with their output going nowhere: services started by
# the first test would inherit its output pipe and keep CTest waiting.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init </dev/null >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot </dev/null >/dev/null 2>&1 || true

xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows "$@"
