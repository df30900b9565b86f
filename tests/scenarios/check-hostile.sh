#!/usr/bin/env bash
# A workspace that someone has tampered with: folders and files replaced by symbolic links to the
# outside, a link looping back into the workspace, a record file naming a file outside its folder,
# and folders without a record that are not leftovers of ours. The start-up recovery, the clearing of the workspace and the deletion of a closed copy
# must neither send nor delete anything outside the workspace, and must end.
#   check-hostile.sh <source root> <bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
setup
add_documents 1002
ws=$(temp_root)
mkdir -p "$ws" "$work/outside/folder" "$work/outside/deep"
record() {  # record <file> <number> <version> <name>: a TSFile.dat for database Legal on SRV1
  python3 - "$@" <<'P'
import struct, sys
path, number, version, name = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
def text(t):
    data = t.encode("utf-16-le")
    return struct.pack("<I", len(data) // 2) + data
open(path, "wb").write(struct.pack("<ii", number, version) + text(name) + text("Legal") + text("SRV1"))
P
}
printf 'outside, in a linked folder' >"$work/outside/folder/1001_1.pdf"
record "$work/outside/folder/TSFile.dat" 1001 1 1001_1.pdf
ln -s "$work/outside/folder" "$ws/VRL10"                       # a whole folder that is a link
mkdir "$ws/VRL11"
printf 'outside, behind a linked file' >"$work/outside/victim.pdf"
ln -s "$work/outside/victim.pdf" "$ws/VRL11/1001_1.pdf"        # the copy is a link
record "$ws/VRL11/TSFile.dat" 1001 1 1001_1.pdf
mkdir "$ws/VRL12"
printf 'outside, deep' >"$work/outside/deep/keep.txt"
ln -s "$work/outside/deep" "$ws/VRL12/inner"                   # a link inside a folder
ln -s "$ws" "$ws/VRL12/loop"                                   # and one back into the workspace
mkdir "$ws/VRL13"
printf 'beside the workspace' >"$ws/victim13.pdf"
record "$ws/VRL13/TSFile.dat" 1001 1 '..\victim13.pdf'         # a name leaving its folder
# Folders without a record that the start-up must leave: a link among plain files, an owed mark,
# an empty folder, and a folder the workspace never makes.
mkdir "$ws/VRL14" "$ws/VRL15" "$ws/VRL16" "$ws/notours"
printf 'left' >"$ws/VRL14/left.pdf"
printf 'outside, linked from a folder without a record' >"$work/outside/victim14.pdf"
ln -s "$work/outside/victim14.pdf" "$ws/VRL14/linked.pdf"
printf 'owed edit' >"$ws/VRL15/kept.pdf"
: >"$ws/VRL15/kept.pdf.owed"
printf 'stray' >"$ws/notours/stray.pdf"
printf 'idle 2\n' >"$work/recover.script"
host recover "$work/recover.script"
for f in VRL14/left.pdf VRL15/kept.pdf VRL15/kept.pdf.owed VRL16 notours/stray.pdf; do
  [ -e "$ws/$f" ] || { echo "the start-up removed $f"; fail=1; }
done
cat >"$work/first.script" <<'S'
idle 2
dms-list
click Tessera@Open
  choose 1002
touch %VX_MAIN%\opened
wait-file %VX_MAIN%\replaced
close 1002_1.pdf
idle 2
clear-temp
dms-list
S
host first "$work/first.script" &
pid=$!
signalled "$work/opened" $pid
copy=$(find "$ws" -name 1002_1.pdf -not -path '*/VRL1[0-3]/*' | head -1)
if [ -n "$copy" ]; then
  printf 'outside, behind a replaced copy' >"$work/outside/replaced.pdf"
  rm -f "$copy" && ln -s "$work/outside/replaced.pdf" "$copy"  # the open copy swapped for a link
else
  echo "no copy of 1002 to replace"; fail=1
fi
touch "$work/replaced"
wait $pid; rc=$?
[ $rc -eq 0 ] || { echo "the host exited $rc"; fail=1; }
has first " 0 failed"
has first "result: clean"
hasnt first "SRV1/Legal 1001 version 2"          # nothing from outside was checked in
for f in outside/folder/1001_1.pdf outside/folder/TSFile.dat outside/victim.pdf outside/deep/keep.txt \
         outside/replaced.pdf outside/victim14.pdf; do
  [ -s "$work/$f" ] || { echo "$f was deleted or emptied"; fail=1; }
done

[ -s "$ws/victim13.pdf" ] || { echo "the file beside the workspace was deleted"; fail=1; }
[ $fail = 0 ] || cat "$work/first.txt"
exit $fail
