#!/usr/bin/env bash
# Tessera stops answering under a user (the stand-in's hang faults), with a patience of 2 seconds.
# The host's main window keeps answering throughout; the user stops waiting, and no edit is lost: a
# check-in stopped and then refused keeps its copy, mark and lock and goes in at the next close; one
# the DMS took late is never sent twice; a check-out stopped in its second document opens nothing and
# the next start leaves DMS and workspace clean; an unlock and an import stopped are reported. A
# server that does not answer the automatic login at start is reported once, and a later Open waits
# for it.
#   check-noanswer.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
add_documents 1006
regedit=regedit
[ "$VX_TEST_ARCH" = i686 ] && regedit='C:\windows\syswow64\regedit.exe'
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera]\n"TesseraPatienceSeconds"="2"\n' \
  >"$work/patience.reg"
wine "$regedit" /S "$(vx_winpath "$work/patience.reg")"
workspace() { find "$(temp_root)" -type f 2>/dev/null | sed "s|$(temp_root)/||" | sort; }

cat >"$work/noanswer.script" <<'S'
idle
note a check-in stopped, refused once Tessera answers: kept, owed and locked, then checked in at the next close
click Tessera@Open
  choose 1001
edit 1001_1.pdf "Edit while Tessera hangs"
save 1001_1.pdf
dms-fault CheckIn hang 5 1
dms-fault CheckIn 0x80070005 1
close 1001_1.pdf
  stop-waiting Checking-in documents to server...
expect-alert 'Lease agreement.pdf' could not be checked in to Tessera.
touch %VX_MAIN%\stopped-1
wait-file %VX_MAIN%\answered-1
files 1001_1.pdf
dms-list
reopen 1001_1.pdf
close 1001_1.pdf
idle 2
files 1001_1.pdf

note a check-in stopped that Tessera takes late: kept until the next close, and never sent twice
click Tessera@Open
  choose 1002
edit 1002_1.pdf "Edit Tessera took late"
save 1002_1.pdf
dms-fault CheckIn hang 5 1
close 1002_1.pdf
  stop-waiting Checking-in documents to server...
expect-alert 'Document 1002.pdf' could not be checked in to Tessera.
touch %VX_MAIN%\stopped-2
wait-file %VX_MAIN%\answered-2
files 1002_1.pdf
reopen 1002_1.pdf
close 1002_1.pdf
idle 2
files 1002_1.pdf

note a check-out of three stopped in the second: nothing opens
dms-fault CheckOut pass 1
dms-fault CheckOut hang 5 1
click Tessera@Open
  choose 1003 1004 1005
  stop-waiting Checking-out documents from server...
expect-open 0
touch %VX_MAIN%\stopped-3
wait-file %VX_MAIN%\answered-3

note an unlock stopped: reported, the unchanged copy goes
click Tessera@Open
  choose 1006
dms-fault Unlock hang 5 1
close 1006_1.pdf
  stop-waiting Waiting for Tessera...
expect-alert 'Document 1006.pdf' could not be unlocked in Tessera
touch %VX_MAIN%\stopped-4
wait-file %VX_MAIN%\answered-4

note an import stopped: not saved, the document stays open
open %VX_MAIN%\files\Memo.pdf
dms-fault ImportExecute hang 5 1
dms-fault ImportExecute refuse 1
click Tessera@SaveAs
  stop-waiting Waiting for Tessera...
expect-alert The document was not saved to Tessera, because Tessera did not answer.
expect-open 1
close Memo.pdf

note a restart while the import still waits for Tessera; the next start handles what the check-out left
restart
touch %VX_MAIN%\stopped-5
wait-file %VX_MAIN%\answered-5
idle 2
dms-list
S

# The shell's side: Tessera answers again a while after each stop (the hangs last 5 seconds).
(
  for k in 1 2 3 4 5; do
    for _ in $(seq 1 900); do [ -e "$work/stopped-$k" ] && break; sleep 0.1; done
    sleep 6; touch "$work/answered-$k"
  done
) &
helper=$!
host noanswer "$work/noanswer.script"; rc=$?
kill $helper 2>/dev/null; wait $helper 2>/dev/null
[ $rc -eq 0 ] || { echo "noanswer: host exited $rc"; fail=1; }
has noanswer " 0 failed"
has noanswer "result: clean"
has noanswer "pressed Stop waiting"
has noanswer "1001_1.pdf.owed"                       # the refused edit kept, marked owed
has noanswer "checked out by jdoe (version 1)"       # with its lock
has noanswer "1002_1.pdf.sent"                       # what the DMS took late
hasnt noanswer "an exception escaped"
grep -rlq "Edit while Tessera hangs" "$work/store/content" || { echo "the 1001 edit never reached the store"; fail=1; }
grep -rlq "Edit Tessera took late" "$work/store/content" || { echo "the 1002 edit never reached the store"; fail=1; }
[ "$(versions | grep -c '^1002 ')" = 2 ] || { echo "1002 was checked in more or less than once:"; versions; fail=1; }
[ -z "$(versions | awk '$3 != "-"')" ] || { echo "locks left:"; versions; fail=1; }
left=$(workspace)
[ -z "$left" ] || { echo "left in the workspace:"; echo "$left"; fail=1; }

# The automatic login at start does not answer for 5 seconds: the start goes on, the server is
# reported once, and an Open waits for it.
cat >"$work/login.script" <<'S'
touch %VX_MAIN%\started
wait-file %VX_MAIN%\waited
idle
expect-alert Tessera server 'SRV1' is not answering.
idle
click Tessera@Open
  choose 1001
expect-open 1
close #1
idle 2
S
store fault add Login hang 5 1
( for _ in $(seq 1 900); do [ -e "$work/started" ] && break; sleep 0.1; done; sleep 3; touch "$work/waited" ) &
helper=$!
host login "$work/login.script"; rc=$?
kill $helper 2>/dev/null; wait $helper 2>/dev/null
[ $rc -eq 0 ] || { echo "login: host exited $rc"; fail=1; }
has login " 0 failed"
has login "result: clean"
[ "$(grep -c "alert: \"Tessera server 'SRV1' is not answering" "$work/login.txt")" = 1 ] || { echo "login: the silent server was not reported once"; fail=1; }

# No story held the host's main window: each wait stayed under a second.
for t in noanswer login; do
  longest=$(grep -o "main window: longest unanswered [0-9]*" "$work/$t.txt" | grep -o '[0-9]*$')
  [ -n "$longest" ] && [ "$longest" -lt 1000 ] || { echo "$t: $(grep "main window:" "$work/$t.txt")"; fail=1; }
done
[ $fail = 0 ] || for t in noanswer login; do echo "--- $t"; cat "$work/$t.txt"; done
exit $fail
