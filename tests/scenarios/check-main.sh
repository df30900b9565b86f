#!/usr/bin/env bash
# The main job's session as a test: the real dmslink.dll in vphost.exe against the DMS stand-in.
# Passes when every step passed, the host's objects are clean, and the transcript holds each line
# of the expectation file.   check-main.sh <source root> <bin folder> <work folder> <expected>
set -uo pipefail
root=$1 bin=$2 work=$3 expected=$4
# The session does its own setup; the shared library's clean-up runs on exit.
. "$(dirname "$0")/lib.sh"
VX_DESKTOP=0 bash "$root/scripts/main/session.sh" "$bin" "$work" --timeout 60
rc=$?
[ $rc -eq 0 ] || { echo "check-main: the session failed ($rc)"; exit 1; }
missing=0
while IFS= read -r line; do
  [ -z "$line" ] || [ "${line:0:1}" = "#" ] && continue
  grep -qF -- "$line" "$work/transcript.txt" || { echo "check-main: missing in the transcript: $line"; missing=1; }
done <"$expected"
exit $missing
