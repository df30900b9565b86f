#!/usr/bin/env bash
# A long session: 1,000 open/edit/save/close cycles of local files, then 100 of the Lease through the
# Open item (check-out, edit, save, close with check-in, the copies deleted at the next idle). Every
# host object must be released exactly once, every DMS lock released, kernel handles and GDI/USER
# objects must stay flat from the first reading to the last, and nothing may hang.
#   check-cycles.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
{
  for i in $(seq 1 1000); do
    f=$([ $((i % 2)) = 0 ] && echo Memo.pdf || echo Note.pdf)
    echo "open %VX_MAIN%\\files\\$f"
    echo "edit $f \"cycle $i\""
    echo "save $f"
    echo "close $f"
    [ $((i % 100)) = 0 ] && echo "idle"
    [ $((i % 100)) = 0 ] && echo "resources"
  done
  echo "expect-open 0"
} >"$work/local.script"
{
  for i in $(seq 1 100); do
    echo "click Tessera@Open"
    echo "  choose 1001"
    echo "expect-open 1"
    echo "edit #1 \"dms cycle $i\""
    echo "save #1"
    echo "close #1"
    echo "idle 2"
    [ $((i % 20)) = 0 ] && echo "resources"
  done
  echo "expect-open 0"
  echo "dms-list"
} >"$work/dms.script"
start=$SECONDS
for run in local dms; do
  host $run "$work/$run.script"; rc=$?
  [ $rc -eq 124 ] && echo "$run: the host hung (still running after $host_limit s)"
  [ $rc -eq 0 ] || { echo "$run: host exited $rc"; fail=1; }
  has $run "result: clean"
  has $run " 0 failed"
  echo "$run: $((SECONDS - start)) s"
  start=$SECONDS
done
flat_resources local
flat_resources dms
has dms "SRV1/Legal 1001 version 101  "
hasnt dms "version 102"
hasnt dms "checked out by"
grep -rlq "dms cycle 100" "$work/store" || { echo "the last edit is not in the store"; fail=1; }
left=$(find "$(temp_root)" -type f 2>/dev/null | wc -l)
[ "$left" -eq 0 ] || { echo "$left file(s) left in the temporary workspace"; find "$(temp_root)" -type f; fail=1; }
exit $fail
