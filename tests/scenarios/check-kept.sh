#!/usr/bin/env bash
# "Kept on this computer" on the real host and the DMS stand-in. A session's check-ins are refused:
# four edits stay on the computer. Then an administrator deletes one document and takes the right
# to check another in; the next start's recovery is refused for all four and says how many it kept,
# and the window lists each with the refusal's reason. "Check in now" refused again leaves its entry
# listed; "Save as new document" gives the deleted document's edit a new DMS document and the entry
# goes; a "Discard" cancelled at its confirmation keeps everything, a confirmed one releases the lock
# and deletes the copy; "Open" gives the host the copy, tracked as saved and owed, so that closing it
# unchanged tries the check-in again. Then one host has a kept copy open while a second host's window
# lists it as open elsewhere, with only "Show in folder"; the second host's start checks in the copy
# whose right came back, the first checks its copy in as it closes. Every host ends with its objects
# released.
#   check-kept.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
add_documents 1004
cat >"$work/session.script" <<'S'
click Tessera@Open
  choose 1001 1002 1003 1004
edit 1001_1.pdf "Lease edit Tessera refused"
save 1001_1.pdf
edit 1002_1.pdf "Edit saved as a new document"
save 1002_1.pdf
edit 1003_1.pdf "Edit to be discarded"
save 1003_1.pdf
edit 1004_1.pdf "Edit checked in from the second host's time"
save 1004_1.pdf
dms-fault CheckIn refuse 4
close 1001_1.pdf
close 1002_1.pdf
close 1003_1.pdf
close 1004_1.pdf
idle 2
S
cat >"$work/window.script" <<'S'
settle
expect-alert 4 documents hold changes that Tessera has not received.
dms-fault clear
kept
  kept-select all
  kept-select 1001
  kept-press checkin
  kept-select 1001
  kept-select 1002
  kept-press new
  profile Document 1002 kept
  kept-select 1003
  kept-press discard
  kept-confirm cancel
  kept-select 1003
  kept-press discard
  kept-confirm discard
  kept-select all
  kept-select 1001
  kept-press open
expect-alert 'Lease agreement.pdf' could not be checked in to Tessera: Tessera refused the check-in.
expect-open 1
close 1001_1.pdf
expect-alert 'Lease agreement.pdf' could not be checked in to Tessera. Your changes are kept
idle 2
files 1001_1.pdf
dms-list
S

host session "$work/session.script"; rc=$?
[ $rc -eq 0 ] || { echo "session: host exited $rc"; fail=1; }
[ "$(grep -c "could not be checked in to Tessera" "$work/session.txt")" -eq 4 ] || { echo "session: not four refusals"; fail=1; }
# The administrator deletes 1002 and takes jdoe's right to check the Lease in; the next start's
# recovery is refused for the other two.
store delete SRV1 Legal 1002 >/dev/null
store deny-checkin SRV1 Legal 1001 jdoe >/dev/null
store fault add CheckIn refuse >/dev/null
host window "$work/window.script"; rc=$?
[ $rc -eq 0 ] || { echo "window: host exited $rc"; fail=1; }
for t in session window; do has $t "result: clean"; hasnt $t "FAILED"; done
refused="Tessera refused the check-in. The document may no longer be checked out to you, or you may no longer change it."
has window "| * Lease agreement.pdf | 1001 | 1 | Legal | SRV1 | "
has window "| $refused"
has window " | Tessera no longer has this document."
has window "buttons: Check in now, Open, Save as new document, Show in folder, Discard"
# Refused again: told, and listed still.
has window "'Lease agreement.pdf' could not be checked in to Tessera: $refused It stays on this computer."
# The deleted document's edit saved as a new document (1005), its entry gone with the copy.
has window "SRV1/Legal 1005 version 1"
hasnt window "SRV1/Legal 1002"
grep -rlq "Edit saved as a new document" "$work/store/content" || { echo "the new document lacks the edit"; fail=1; }
# Discarded only once confirmed: lock and copy gone, and nothing of it reached the store.
sed -n '/pressed Cancel/,/pressed Discard/p' "$work/window.txt" | grep -q "| \* Document 1003.pdf | 1003 " ||
  { echo "window: 1003 not listed again after the cancelled discard"; fail=1; }
sed -n '/pressed Cancel/,$p' "$work/window.txt" | sed -n '/pressed OK/,$p' >"$work/after.txt"
[ -s "$work/after.txt" ] || { echo "window: the discard was never confirmed"; fail=1; }
grep -q "| .*Document 1002.pdf" "$work/after.txt" && { echo "window: 1002 still listed after its new document"; fail=1; }
grep -q "| .*Document 1003.pdf" "$work/after.txt" && { echo "window: 1003 still listed after its discard"; fail=1; }
grep -rlq "Edit to be discarded" "$work/store/content" && { echo "the discarded edit reached the store"; fail=1; }
[ -z "$(find "$(temp_root)" -name '1002_1.pdf*' -o -name '1003_1.pdf*')" ] || { echo "copies of 1002 or 1003 left"; fail=1; }
# Opened from the window, the Lease is tracked as saved and owed: closed unchanged, its check-in is
# tried again (refused), and it stays.
has window "document opened: C:\\"
has window "1001_1.pdf.owed"
hasnt window "SRV1/Legal 1001 version 2"
locks=$(versions | awk '$3 != "-" {print $1}' | sort -u | tr '\n' ' ')
[ "$locks" = "1001 1004 " ] || { echo "locks after the window: $locks"; fail=1; }
store allow-checkin SRV1 Legal 1001 jdoe >/dev/null

# A kept copy open in one host is open elsewhere in another's window. The holder opens it by the
# path the host knows it by, as from its recent files.
copy=$(find "$(temp_root)" -name 1004_1.pdf)
copy=${copy#"$(temp_root)/"}
copy='%TEMP%\dmslink\'${copy//\//\\}
cat >"$work/holder.script" <<S
open $copy
touch %VX_MAIN%\\holding
wait-file %VX_MAIN%\\second-done
close 1004_1.pdf
idle 2
dms-list
S
cat >"$work/second.script" <<'S'
settle
kept
  kept-select 1004
  kept-press show
  kept-press close
S
beside holder "$work/holder.script" second "$work/second.script"
for t in holder second; do has $t "result: clean"; hasnt $t "FAILED"; done
has second "| * Document 1004.pdf | 1004 | 1 | Legal | SRV1 | "
has second " | Open in another Varnel Pro. $refused"
has second "buttons: Show in folder"
has second "pressed Show in folder"
hasnt second "could not be shown"
# The second host's start checked the Lease in; the holder checked its copy in as it closed.
has holder "SRV1/Legal 1001 version 2"
has holder "SRV1/Legal 1004 version 2"
grep -rlq "Lease edit Tessera refused" "$work/store/content" || { echo "the Lease edit never reached the store"; fail=1; }
[ -z "$(versions | awk '$3 != "-"')" ] || { echo "locks left at the end: $(versions | awk '$3 != "-"')"; fail=1; }
[ $fail = 0 ] || for t in session window holder second; do echo "--- $t"; cat "$work/$t.txt"; done
exit $fail
