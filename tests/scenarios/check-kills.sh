#!/usr/bin/env bash
# A host killed at every step of a check-out of three documents and of a check-in (the DMS
# stand-in ends the process before or after a call does its work), then the next host started on
# the same store and workspace. After each, the DMS and the workspace are consistent: no lock is
# left that no copy answers for, every saved edit reached the DMS or is still on disk with its lock,
# and the next host's objects end clean.
#   check-kills.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"

checkout_script() {  # a fault, then Open from Tessera of three documents kept checked out
  printf '%s\n' "idle" "$1" "click Tessera@Open" "  choose 1001 1002 1003" "kill"
}
checkin_script() {  # an edit of the Lease saved and closed, with the fault armed before the close
  printf '%s\n' "idle" "click Tessera@Open" "  choose 1001" "edit 1001_1.pdf \"Edit before the kill\"" \
    "save 1001_1.pdf" "$1" "close 1001_1.pdf" "kill"
}

# name | script maker | fault | what must hold afterwards
cases=(
  "checkout-before-1|checkout_script|dms-fault CheckOut kill 1|nolocks"
  "checkout-after-1|checkout_script|dms-fault CheckOut kill-after 1|nolocks"
  "checkout-before-2|checkout_script|dms-fault CheckOut kill 2|nolocks"
  "checkout-after-2|checkout_script|dms-fault CheckOut kill-after 2|nolocks"
  "checkout-before-3|checkout_script|dms-fault CheckOut kill 3|nolocks"
  "checkout-after-3|checkout_script|dms-fault CheckOut kill-after 3|nolocks"
  "checkout-opened|checkout_script|note all three checked out and opened|nolocks"
  "checkin-before|checkin_script|dms-fault CheckIn kill 1|edit"
  "checkin-after|checkin_script|dms-fault CheckIn kill-after 1|edit"
  "checkin-closed|checkin_script|note the close done, its deletion not yet|edit"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name maker fault expect <<<"$entry"
  setup
  add_documents 1003
  $maker "$fault" >"$work/$name.script"
  printf '%s\n' "settle" "dms-list" >"$work/next.script"
  host "$name" "$work/$name.script"
  grep -q "^== start" "$work/$name.txt" || { echo "$name: the first host did not run"; fail=1; }
  host "$name-next" "$work/next.script"; rc=$?
  [ $rc -eq 0 ] || { echo "$name: the next host exited $rc"; fail=1; }
  has "$name-next" "result: clean"
  locks=$(versions | awk '$3 != "-"' | wc -l)
  [ "$locks" -eq 0 ] || { echo "$name: $locks lock(s) left after the next start:"; versions; fail=1; }
  if [ "$expect" = edit ]; then
    # Reached the DMS, or on disk with its lock (the lock count above is then not 0).
    grep -rlq "Edit before the kill" "$work/store/content" ||
      { echo "$name: the saved edit is neither in the DMS nor kept"; fail=1; }
  fi
  # Every folder left in the workspace holds no copy with a lock, so nothing waits forever.
  copies=$(find "$(temp_root)" -name '*.pdf' 2>/dev/null | wc -l)
  echo "$name: $(versions | wc -l) version(s), $locks lock(s), $copies copy(ies) left, $(find "$(temp_root)" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | wc -l) folder(s)"
done
exit $fail
