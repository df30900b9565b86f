#!/usr/bin/env bash
# The DMS and the workspace failing under a user, case by case: check-outs refused (in use, other
# errors), check-ins refused and failing, a lock that cannot be released, an import cancelled and
# failing, the workspace refusing the check-in's private copy, the store becoming unchangeable in
# the middle of a run, and a login refused at start. Each case shows its message, the host never
# crashes, its objects end clean, and no saved edit is lost: it stays on disk with its lock until a
# check-in of it succeeds.
#   check-faults.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
# The store and the workspace are made unchangeable with read-only bind mounts, which stop root as
# well, on any file system. They are made in a mount namespace of the story's own, seen only by
# processes inside it; Wine opens files in its server, so the story runs on a copy of the prefix
# whose server starts inside the namespace.
# Other users get one inside a user namespace of their own, as root there.
if [ -z "${VX_FAULTS_NAMESPACE:-}" ]; then
  namespace=(--mount --propagation private)
  [ "$(id -u)" -eq 0 ] || namespace=(--user --map-root-user "${namespace[@]}")
  VX_FAULTS_NAMESPACE=1 exec unshare "${namespace[@]}" bash "$0" "$@"
  echo "check-faults: no mount namespace of its own (unshare ${namespace[*]})"; exit 1
fi
prefix=$work.prefix
rm -rf "$prefix"; mkdir -p "$prefix"
# Wine's own files are only read: linked, not copied.
(cd "$WINEPREFIX" && for entry in * .[!.]*; do
   [ -e "$entry" ] || [ -L "$entry" ] || continue
   if [ "$entry" = drive_c ]; then
     mkdir "$prefix/drive_c"
     for sub in drive_c/* drive_c/.[!.]*; do
       [ -e "$sub" ] || continue
       if [ "$sub" = drive_c/windows ]; then cp -al "$sub" "$prefix/$sub"; else cp -a "$sub" "$prefix/$sub"; fi
     done
   else cp -a "$entry" "$prefix/$entry"; fi
 done)
export WINEPREFIX=$prefix
. "$(dirname "$0")/lib.sh"
unchangeable() { mount --bind "$1" "$1" && mount -o remount,bind,ro "$1"; }
changeable() { umount -l "$1" 2>/dev/null; }
finish() {
  changeable "$(temp_root)"; changeable "$work/store"
  cleanup
  "$VX_WINESERVER" -k >/dev/null 2>&1; "$VX_WINESERVER" -w 2>/dev/null
  rm -rf "$prefix"
}
trap finish EXIT
"$VX_WINESERVER" -p
wine wineboot >/dev/null 2>&1
setup
add_documents 1003
cat >"$work/faults.script" <<'S'
# The start-up scan of the workspace runs at the first idle moment.
idle
note check-out refused: in use, then any other error
dms-fault CheckOut 0x80042249 1
click Tessera@Open
  choose 1001
expect-alert Unable to open file 'Lease agreement.pdf'. This file is currently in use by Unknown user.
dms-fault CheckOut 0x80004005 1
click Tessera@Open
  choose 1001
expect-alert Error: -2147467259. Unable to open file 'Lease agreement.pdf'.
expect-open 0

note check-in refused, then failing: the edit stays with its lock, and goes in when closed again
click Tessera@Open
  choose 1001
edit 1001_1.pdf "Edit the DMS refused"
save 1001_1.pdf
dms-fault CheckIn refuse 1
close 1001_1.pdf
expect-alert 'Lease agreement.pdf' could not be checked in to Tessera.
idle 2
files 1001_1.pdf
reopen 1001_1.pdf
dms-fault CheckIn 0x80070005 1
close 1001_1.pdf
expect-alert 'Lease agreement.pdf' could not be checked in to Tessera.
idle 2
dms-list
reopen 1001_1.pdf
close 1001_1.pdf
idle 2
files 1001_1.pdf
dms-list

note a lock that cannot be released is reported; the unchanged copy goes
click Tessera@Open
  choose 1002
dms-fault Unlock refuse 1
close 1002_1.pdf
expect-alert 'Document 1002.pdf' could not be unlocked in Tessera
idle 2
dms-list

note the import cancelled (nothing to say) and failing
open %VX_MAIN%\files\Memo.pdf
click Tessera@SaveAs
  cancel Tessera - Import
dms-fault ImportExecute 0x80004005 1
click Tessera@SaveAs
expect-alert Error: -2147467259. The document could not be saved to Tessera.
close Memo.pdf

note the workspace refuses the check-in's private copy, then the store refuses every change
click Tessera@Open
  choose 1003
edit 1003_1.pdf "Edit kept through two refusals"
save 1003_1.pdf
touch %VX_MAIN%\lock-workspace
wait-file %VX_MAIN%\workspace-locked
close 1003_1.pdf
expect-alert 'Document 1003.pdf' could not be checked in to Tessera.
touch %VX_MAIN%\unlock-workspace
wait-file %VX_MAIN%\workspace-unlocked
reopen 1003_1.pdf
touch %VX_MAIN%\lock-store
wait-file %VX_MAIN%\store-locked
close 1003_1.pdf
expect-alert could not be checked in to Tessera.
files 1003_1.pdf
touch %VX_MAIN%\unlock-store
wait-file %VX_MAIN%\store-unlocked
reopen 1003_1.pdf
close 1003_1.pdf
idle 2
files 1003_1.pdf
dms-list
S
cat >"$work/nologin.script" <<'S'
servers
click Tessera@Open
expect-alert No Tessera server is connected.
open %VX_MAIN%\files\Note.pdf
click Tessera@SaveAs
expect-alert No Tessera server is connected.
close Note.pdf
S
python3 "$root/scripts/main/make-pdfs.py" "$work/files" Note.pdf="Note" >/dev/null

# The shell's side of the two unchangeable phases.
if unchangeable "$work/files" && ! touch "$work/files/probe" 2>/dev/null; then changeable "$work/files"; else
  echo "check-faults: a read-only bind mount does not stop changes here"; exit 1
fi
(
  for _ in $(seq 1 900); do [ -e "$work/lock-workspace" ] && break; sleep 0.1; done
  unchangeable "$(temp_root)"; touch "$work/workspace-locked"
  for _ in $(seq 1 900); do [ -e "$work/unlock-workspace" ] && break; sleep 0.1; done
  changeable "$(temp_root)"; touch "$work/workspace-unlocked"
  for _ in $(seq 1 900); do [ -e "$work/lock-store" ] && break; sleep 0.1; done
  unchangeable "$work/store"; touch "$work/store-locked"
  for _ in $(seq 1 900); do [ -e "$work/unlock-store" ] && break; sleep 0.1; done
  changeable "$work/store"; touch "$work/store-unlocked"
) &
helper=$!

host faults "$work/faults.script"; rc=$?
kill $helper 2>/dev/null; wait $helper 2>/dev/null
[ $rc -eq 0 ] || { echo "faults: host exited $rc"; fail=1; }
has faults " 0 failed"
has faults "result: clean"
has faults "1001_1.pdf.owed"                          # the refused edit kept, marked owed
has faults "SRV1/Legal 1001 version 2"                # and checked in at last
has faults "checked out by jdoe (version 1)"          # the lock that could not be released
has faults "SRV1/Legal 1003 version 2"
hasnt faults "SRV1/Legal 1004"                        # no import went through
hasnt faults "an exception escaped"
grep -rlq "Edit the DMS refused" "$work/store/content" || { echo "the refused edit never reached the store"; fail=1; }
grep -rlq "Edit kept through two refusals" "$work/store/content" || { echo "the 1003 edit never reached the store"; fail=1; }

store fault add Login refuse
host nologin "$work/nologin.script"; rc=$?
[ $rc -eq 0 ] || { echo "nologin: host exited $rc"; fail=1; }
has nologin "connected no"
has nologin " 0 failed"
has nologin "result: clean"
[ $fail = 0 ] || { echo "--- faults"; cat "$work/faults.txt"; echo "--- nologin"; cat "$work/nologin.txt"; }
exit $fail
