#!/usr/bin/env bash
# Runs a command with one persistent wineserver for $WINEPREFIX (each Wine process then starts in
# milliseconds instead of seconds), inside the display the caller provides.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
"$VX_WINESERVER" -p
# Start Wine's own services now, with their output going nowhere: a service started by the first
# test would inherit the test's output pipe and keep the reader waiting.
"$VX_WINE" wineboot </dev/null >/dev/null 2>&1
"$@"
rc=$?
"$VX_WINESERVER" -k >/dev/null 2>&1
exit $rc
