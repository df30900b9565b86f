#!/usr/bin/env bash
# Two hosts at once, as when a user starts the editor a second time: the first checks the Lease out
# and keeps it open; the second starts (its start-up scan of the shared temporary folder included),
# tries to open the Lease and gets exactly one alert naming the holder. The first host's copy is
# untouched by the second, and its edit is checked in when it closes.
#   check-inuse.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
cat >"$work/first.script" <<'S'
click Tessera@Open
  choose 1001
expect-open 1
touch %VX_MAIN%\holding
wait-file %VX_MAIN%\second-done
files 1001_1.pdf
edit 1001_1.pdf "Edited while a second host ran"
save 1001_1.pdf
close 1001_1.pdf
idle 2
dms-list
S
cat >"$work/second.script" <<'S'
idle 2
dms-list
click Tessera@Open
  choose 1001
expect-alert Unable to open file 'Lease agreement.pdf'. This file is currently in use by John Doe.
expect-open 0
idle 2
dms-list
S
host first "$work/first.script" &
first=$!
signalled "$work/holding" $first || { echo "the first host never held the Lease"; fail=1; }
host second "$work/second.script"; rc=$?
[ $rc -eq 0 ] || { echo "second host exited $rc"; fail=1; }
touch "$work/second-done"
wait $first; rc=$?
[ $rc -eq 0 ] || { echo "first host exited $rc"; fail=1; }
alerts=$(grep -c "^ *alert: " "$work/second.txt")
[ "$alerts" -eq 1 ] || { echo "the second host showed $alerts alerts, not one:"; grep "^ *alert: " "$work/second.txt"; fail=1; }
has second "checked out by jdoe (version 1)"
hasnt second "version 2"
has second "result: clean"
has first "TSFile.dat"
has first "SRV1/Legal 1001 version 2"
has first "result: clean"
hasnt first "FAILED"
grep -rlq "Edited while a second host ran" "$work/store" || { echo "the first host's edit is not in the store"; fail=1; }
[ $fail = 0 ] || { echo "--- first"; cat "$work/first.txt"; echo "--- second"; cat "$work/second.txt"; }
exit $fail
