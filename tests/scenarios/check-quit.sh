#!/usr/bin/env bash
# A session leaves nothing behind. The user closes the last documents and quits in one go (no idle
# moment in between): the copies go as the plug-in unloads, the host's objects end clean and the
# edit is in the DMS. A host that is killed after a close leaves a copy without a record; the next
# start removes it, while a second host running alongside keeps what it holds: its checked-out copy
# and a file of the workspace it has open.
#   check-quit.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
add_documents 1002
workspace() { find "$(temp_root)" -mindepth 1 2>/dev/null | sed "s|$(temp_root)/||" | sort; }

cat >"$work/quit.script" <<'S'
click Tessera@Open
  choose 1001 1002
edit 1001_1.pdf "Edited just before quitting"
save 1001_1.pdf
close 1001_1.pdf
close 1002_1.pdf
S
host quit "$work/quit.script"; rc=$?
[ $rc -eq 0 ] || { echo "the quitting host exited $rc"; fail=1; }
has quit "result: clean"
left=$(workspace)
[ -z "$left" ] || { echo "left in the workspace after the quit:"; echo "$left"; fail=1; }
grep -rlq "Edited just before quitting" "$work/store/content" || { echo "the edit is not in the store"; fail=1; }
[ "$(versions)" = "$(printf '1001 1 -\n1001 2 -\n1002 1 -')" ] || { echo "store after the quit:"; versions; fail=1; }

cat >"$work/killed.script" <<'S'
idle
click Tessera@Open
  choose 1002
close 1002_1.pdf
kill
S
host killed "$work/killed.script"
orphan=$(find "$(temp_root)" -name 1002_1.pdf)
[ -n "$orphan" ] && [ ! -e "$(dirname "$orphan")/TSFile.dat" ] || { echo "the killed host left no copy without a record"; fail=1; }

# A file of the workspace that the second host has open, with no record beside it.
mkdir -p "$(temp_root)/VRL77"
cp "$work/files/Lease.pdf" "$(temp_root)/VRL77/held.pdf"
cat >"$work/second.script" <<'S'
open %TEMP%\dmslink\VRL77\held.pdf
click Tessera@Open
  choose 1001
touch %VX_MAIN%\holding
wait-file %VX_MAIN%\restarted
files 1001_2.pdf
files held.pdf
close 1001_2.pdf
close held.pdf
idle 2
S
cat >"$work/restart.script" <<'S'
idle 2
dms-list
S
host second "$work/second.script" &
second=$!
signalled "$work/holding" $second || { echo "the second host never held its documents"; fail=1; }
host restart "$work/restart.script"; rc=$?
[ $rc -eq 0 ] || { echo "the restarted host exited $rc"; fail=1; }
has restart "result: clean"
[ -z "$(find "$(temp_root)" -name 1002_1.pdf)" ] || { echo "the killed host's copy is still there"; fail=1; }
touch "$work/restarted"
wait $second; rc=$?
[ $rc -eq 0 ] || { echo "the second host exited $rc"; fail=1; }
has second "1001_2.pdf"
has second "TSFile.dat"
has second "held.pdf"
hasnt second ": gone"
has second "result: clean"

# Nothing holds the workspace now: the next start leaves it empty.
host last "$work/restart.script"
left=$(workspace)
[ -z "$left" ] || { echo "left in the workspace at the end:"; echo "$left"; fail=1; }
[ "$(versions)" = "$(printf '1001 1 -\n1001 2 -\n1002 1 -')" ] || { echo "store at the end:"; versions; fail=1; }
[ $fail = 0 ] || for t in quit killed second restart last; do echo "--- $t"; cat "$work/$t.txt"; done
exit $fail
