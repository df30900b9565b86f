#!/usr/bin/env bash
# 100 check-outs of ten documents each, opened, closed and unlocked, with the process's kernel
# handles and GDI/USER objects read after a warm-up and at the end: they must stay flat, as must the
# host's object counts.
#   check-soak.sh <source root> <bin folder> <work folder> [rounds]
set -uo pipefail
root=$1 bin=$2 work=$3 rounds=${4:-100}
. "$(dirname "$0")/lib.sh"
setup
add_documents 1010
{
  echo "idle"
  for i in $(seq 1 "$rounds"); do
    echo "click Tessera@Open"
    echo "  choose 1001 1002 1003 1004 1005 1006 1007 1008 1009 1010"
    echo "expect-open 10"
    for n in $(seq 1001 1010); do echo "close ${n}_1.pdf"; done
    echo "idle 2"
    [ $((i % 10)) = 0 ] && echo "resources"
  done
  echo "resources"
  echo "dms-list"
} >"$work/soak.script"
host_limit=900
start=$SECONDS
host soak "$work/soak.script" --timeout 120; rc=$?
[ $rc -eq 0 ] || { echo "soak: host exited $rc"; fail=1; }
has soak " 0 failed"
has soak "result: clean"
hasnt soak "checked out by"
echo "soak: $rounds rounds of 10 in $((SECONDS - start)) s"
flat_resources soak
left=$(find "$(temp_root)" -type f 2>/dev/null | wc -l)
[ "$left" -eq 0 ] || { echo "soak: $left file(s) left in the workspace"; fail=1; }
exit $fail
