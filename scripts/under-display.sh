#!/usr/bin/env bash
# Runs a command with one persistent wineserver for $WINEPREFIX (each Wine process then starts in
# milliseconds instead of seconds), inside the display the caller provides.
#   under-display.sh [--desktop] command...    --desktop: Wine's virtual desktop for the prefix
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
desktop=0
[ "${1:-}" = --desktop ] && { desktop=1; shift; }
"$VX_WINESERVER" -p
if [ $desktop = 1 ]; then
  regedit=regedit
  [ "$VX_TEST_ARCH" = i686 ] && regedit='C:\windows\syswow64\regedit.exe'
  "$VX_WINE" "$regedit" /S "$(vx_winpath "$here/main/desktop.reg")" </dev/null >/dev/null 2>&1
fi
# Start Wine's own services now, with their output going nowhere: a service started by the first
# test would inherit the test's output pipe and keep the reader waiting.
"$VX_WINE" wineboot </dev/null >/dev/null 2>&1
"$@"
rc=$?
"$VX_WINESERVER" -k >/dev/null 2>&1
exit $rc
