#!/usr/bin/env bash
# Installs what is missing, builds, and runs the check-out/check-in benchmark under Wine inside Xvfb
# on the build the machine runs (i686 where the kernel runs 32-bit code). Prints ratios against
# plain file copies measured in the same run; asserts nothing. The last line says which build ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
. "$root/scripts/arch.sh"
vx_choose_arch
. "$root/scripts/wine-env.sh"
"$root/scripts/build.sh" "$VX_TEST_ARCH"
export WINEPREFIX=$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix
"$root/scripts/bootstrap.sh" "$WINEPREFIX"
cd "$VX_BUILD_ROOT/$VX_TEST_ARCH/bin"
set +e
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" --desktop "$VX_WINE" checkout_bench.exe "$@" | tr -d '\r'
rc=${PIPESTATUS[0]}
set -e
echo
vx_arch_summary measured
exit "$rc"
