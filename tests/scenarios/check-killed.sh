#!/usr/bin/env bash
# A host checks out the Lease, edits and saves it, and dies without closing anything; the next host
# (same store, same temporary folder) checks the saved copy in at its first idle.
#   check-killed.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
cat >"$work/first.script" <<'S'
click Tessera@Open
  choose 1001
edit 1001_1.pdf "Killed-host edit 4711"
save 1001_1.pdf
dms-list
kill
S
cat >"$work/second.script" <<'S'
dms-list
idle 2
dms-list
S
host first "$work/first.script"
has first "killed with 1 document(s) open"
has first "SRV1/Legal 1001 version 1  703 bytes  .pdf  \"Lease agreement\"  checked out by jdoe (version 1)"
copy=$(find "$(temp_root)" -name 1001_1.pdf)
[ -n "$copy" ] && grep -q "Killed-host edit 4711" "$copy" || { echo "no saved local copy after the kill"; fail=1; }
host second "$work/second.script"; rc=$?
[ $rc -eq 0 ] || { echo "second host exited $rc"; fail=1; }
has second "SRV1/Legal 1001 version 2"
has second "result: clean"
grep -A3 "idle 2" "$work/second.txt" >/dev/null
tail -n +$(grep -n "idle 2" "$work/second.txt" | head -1 | cut -d: -f1) "$work/second.txt" >"$work/after.txt"
grep -q "1001 version 2 .*not checked out" "$work/after.txt" || { echo "version 2 missing or locked after recovery"; fail=1; }
grep -q "checked out by" "$work/after.txt" && { echo "a lock stayed after recovery"; fail=1; }
grep -rlq "Killed-host edit 4711" "$work/store/content" || { echo "the edit is not in the store"; fail=1; }
[ -z "$(find "$(temp_root)" -name 1001_1.pdf 2>/dev/null)" ] || { echo "the local copy was not deleted"; fail=1; }
exit $fail
