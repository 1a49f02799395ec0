#!/usr/bin/env bash
# Runs a Windows program under 64-bit wine: the emulator through which ctest
# runs the x86_64 suites. A crash must fail the test (no debugger that exits
# 0), nothing may open a window, and the prefix is the build's own.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build-win64/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
unset DISPLAY
exec /usr/lib/wine/wine64 "$@"
