#!/usr/bin/env bash
# Runs a command with one persistent wineserver for $WINEPREFIX (each Wine process then starts in
# milliseconds instead of seconds), inside the display the caller provides.
#   under-display.sh [--desktop] command...    --desktop: Wine's virtual desktop for the prefix
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
if [ "${1:-}" = --desktop ]; then
  shift
  # Read when the session's desktop starts, so it is in place before the persistent server is.
  regedit=regedit
  [ "$VX_TEST_ARCH" = i686 ] && regedit='C:\windows\syswow64\regedit.exe'
  "$VX_WINE" "$regedit" /S "$(vx_winpath "$here/main/desktop.reg")" </dev/null >/dev/null 2>&1
  "$VX_WINESERVER" -k >/dev/null 2>&1
  "$VX_WINESERVER" -w
fi
"$VX_WINESERVER" -p
# Start Wine's own services now, with their output going nowhere: a service started by the first
# test would inherit the test's output pipe and keep the reader waiting.
"$VX_WINE" wineboot </dev/null >/dev/null 2>&1
"$@"
rc=$?
"$VX_WINESERVER" -k >/dev/null 2>&1
exit $rc
