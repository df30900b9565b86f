#!/usr/bin/env bash
# detached.sh <story script> <args...>: runs a story with its output in a file, then prints it. Wine
# may leave a process behind (the desktop window, a folder window) that keeps the output it was
# started with; a file, unlike ctest's pipe, does not keep ctest waiting for the story's end.
log=$(mktemp)
bash "$@" </dev/null >"$log" 2>&1
rc=$?
cat "$log"
rm -f "$log"
exit $rc
