#!/usr/bin/env bash
# Installs what is missing, builds, and runs the check-out/check-in benchmark under Wine inside Xvfb
# on the build the machine runs (i686 where the kernel runs 32-bit code). Prints ratios against
# plain file copies measured in the same run, on the disk and then on a memory file system; asserts
# nothing. The last line says which build ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/prepare.sh"
vx_prepare tested
vx_prefix "$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix"
cd "$VX_BUILD_ROOT/$VX_TEST_ARCH/bin"
# A virtual machine backs its memory only when a page is first touched (measured on one: about 3 s
# per GB), and a plain copy into memory that a deleted copy just gave back never pays that, while the
# DMS's new versions do. Memory the run will use is touched once beforehand, on the memory file
# system, so that both sides of every ratio meet the same memory.
warm=8; for a in "$@"; do [ "$a" != --quick ] || warm=2; done
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  room=$(( $(df -k --output=avail /dev/shm | tail -1) / 1048576 - 1 ))
  [ "$room" -ge "$warm" ] || warm=$room
  if [ "$warm" -gt 0 ]; then
    echo "== touching ${warm} GB of memory first"
    dd if=/dev/zero of=/dev/shm/vxbench-warm bs=1M count=$((warm * 1024)) status=none || true
    rm -f /dev/shm/vxbench-warm
  fi
fi
set +e
echo "== on the disk (the temporary folder)"
vx_display --desktop "$VX_WINE" checkout_bench.exe "$@" | tr -d '\r'
rc=${PIPESTATUS[0]}
# The same data path on a memory file system: what the software costs where the disk costs nothing
# (a virtual machine's disk makes single 1 GB copies vary several times over).
if [ "$rc" -eq 0 ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  memory=$(mktemp -d /dev/shm/vxbench.XXXXXX)
  echo
  echo "== in memory ($memory)"
  vx_display --desktop "$VX_WINE" checkout_bench.exe --data-path --folder "$(vx_winpath "$memory")" "$@" | tr -d '\r'
  rc=${PIPESTATUS[0]}
  rm -rf "$memory"
fi
set -e
echo
vx_arch_summary measured
exit "$rc"
