#!/usr/bin/env bash
# Two hosts at once, as when a user starts the editor a second time: the first checks the Lease out
# and keeps it open; the second starts (its start-up scan of the shared temporary folder included),
# tries to open the Lease and gets exactly one alert naming the holder. The first host's copy is
# untouched by the second, and its edit is checked in when it closes.
# Then host A holds documents in every state a folder of the workspace can be in - open and saved,
# being checked in (its private copy on its way to a DMS that takes 8 s), checked in by the host's
# own entry and kept in the workspace, open unchanged, opened by another plug-in without a record
# file, just closed with its deletion waiting for A's next idle moment - while host B starts (its
# recovery) and clears the temporary files; once A's check-in has ended, B clears again while A's
# next check-out has claimed its folder and waits for the DMS, and then checks out the document A
# just closed. A loses nothing, B touches nothing of
# A's, no document gets a version it was not given, and both ledgers end clean.
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
beside first "$work/first.script" second "$work/second.script"
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
first_fail=$fail

add_documents 1007
rm -rf "$(temp_root)"
cat >"$work/a.script" <<'S'
click Tessera@Open
  choose 1002 1003 1005 1001
edit 1002_1.pdf "Checked in by A while B cleared"
save 1002_1.pdf
edit 1005_1.pdf "Saved by A and still open"
save 1005_1.pdf
edit 1003_1.pdf "Checked in by A and kept"
save 1003_1.pdf
checkin 1003_1.pdf keep
click Tessera@Open
  choose 1004
close 1004_2.pdf
open-unkept
  choose 1006
dms-fault checkin hang 8 1
touch %VX_MAIN%\a-ready
close 1002_1.pdf
touch %VX_MAIN%\a-checked-in
dms-fault checkout hang 8 1
touch %VX_MAIN%\a-opening
click Tessera@Open
  choose 1007
wait-file %VX_MAIN%\b-has-1004
idle 2
touch %VX_MAIN%\a-idled
wait-file %VX_MAIN%\b-done
files 1005_1.pdf
files 1003_1.pdf
files 1001_2.pdf
files 1006_1.pdf
files 1007_1.pdf
close 1005_1.pdf
close 1003_1.pdf
close 1001_2.pdf
close 1006_1.pdf
close 1007_1.pdf
idle 2
dms-list
S
cat >"$work/b.script" <<'S'
idle 2
clear-temp
touch %VX_MAIN%\b-cleared
wait-file %VX_MAIN%\a-checked-in
wait-file %VX_MAIN%\a-claimed
clear-temp
touch %VX_MAIN%\b-cleared-again
click Tessera@Open
  choose 1004
touch %VX_MAIN%\b-has-1004
wait-file %VX_MAIN%\a-idled
edit 1004_2.pdf "Edited by B"
save 1004_2.pdf
close 1004_2.pdf
idle 2
clear-temp
dms-list
S
# 1004 gets a version 2 first, so that A's copy of it is 1004_2.pdf as B's will be.
printf 'click Tessera@Open\n  choose 1004\nedit 1004_1.pdf "Second version"\nsave 1004_1.pdf\nclose 1004_1.pdf\nidle 2\n' >"$work/v2.script"
host v2 "$work/v2.script"
host a "$work/a.script" &
a=$!
signalled "$work/a-ready" $a || { echo "host A never got ready"; fail=1; }
host b "$work/b.script" &
b=$!
# B's clear met A's check-in of 1002 in flight, and left its private copy beside A's own.
if signalled "$work/b-cleared" $b; then
  copies=$(find "$(temp_root)" -name 1002_1.pdf | wc -l)
  [ "$copies" -eq 2 ] || { echo "after B's clear: $copies copies of 1002, not A's and its check-in's"; fail=1; }
else
  echo "host B never cleared"; fail=1
fi
# A's check-out of 1007 has claimed a folder that holds its claim and record but no copy yet (the DMS
# is still sending it); B's second clear keeps it.
fresh=""
if signalled "$work/a-opening" $a; then
  for _ in $(seq 1 100); do
    for d in "$(temp_root)"/*/; do
      [ "$(ls -A "$d" 2>/dev/null | tr '\n' ' ')" = "TSClaim.dat TSFile.dat " ] && fresh=$d && break
    done
    [ -n "$fresh" ] && break; sleep 0.05
  done
fi
[ -n "$fresh" ] || { echo "A's check-out of 1007 never showed a freshly claimed folder"; fail=1; }
touch "$work/a-claimed"
if signalled "$work/b-cleared-again" $b; then
  [ -z "$fresh" ] || [ -d "$fresh" ] || { echo "B's second clear removed the folder A's check-out had claimed"; fail=1; }
else
  echo "host B never cleared again"; fail=1
fi
wait $b; rc=$?
[ $rc -eq 0 ] || { echo "host B exited $rc"; fail=1; }
touch "$work/b-done"
wait $a; rc=$?
[ $rc -eq 0 ] || { echo "host A exited $rc"; fail=1; }
for t in a b; do has $t "result: clean"; hasnt $t "FAILED"; done
# B left A's folders alone: A still found every copy it had open.
hasnt a ": gone"
has a "entry 16 (keep checked out yes) answered true"
# New versions: 1002, 1003 and 1005 one each from A (1003 by its entry 16 alone), 1001, 1006 and
# 1007 none, 1004 one from B. Every lock is given back but 1003's, which A kept checked out.
counts=$(versions | awk '{print $1}' | sort | uniq -c | awk '{print $2 ":" $1}' | tr '\n' ' ')
[ "$counts" = "1001:2 1002:2 1003:2 1004:3 1005:2 1006:1 1007:1 " ] || { echo "versions after the two hosts: $counts"; fail=1; }
locks=$(versions | awk '$3 != "-" {print $1, $3}' | sort -u | tr '\n' ' ')
[ "$locks" = "1003 jdoe " ] || { echo "locks after the two hosts: $locks"; fail=1; }
for text in "Checked in by A while B cleared" "Saved by A and still open" "Checked in by A and kept" "Edited by B"; do
  grep -rlq "$text" "$work/store/content" || { echo "not in the store: $text"; fail=1; }
done
[ $fail = $first_fail ] || for t in v2 a b; do echo "--- $t"; cat "$work/$t.txt"; done
exit $fail
