#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine inside Xvfb.
#   scripts/test.sh [ctest args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
. "$root/scripts/wine-env.sh"
"$root/scripts/bootstrap.sh"

# The deliverables are always built as i686 and checked as PE32 files.
# VX_SKIP_I686=1 skips that build during development.
[ -n "${VX_SKIP_I686:-}" ] || "$root/scripts/build.sh" i686
if [ "$VX_TEST_ARCH" != i686 ]; then
  echo "test: this kernel cannot run 32-bit code; running the tests on the $VX_TEST_ARCH build"
  "$root/scripts/build.sh" "$VX_TEST_ARCH"
fi
export VX_DELIVERABLES=$VX_BUILD_ROOT/i686/bin

export WINEPREFIX=$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix
"$root/scripts/bootstrap.sh" "$WINEPREFIX"
cd "$VX_BUILD_ROOT/$VX_TEST_ARCH"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" ctest --output-on-failure -j2 "$@"
