#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the host stand-in on the built plug-ins.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
. "$root/scripts/wine-env.sh"
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" i686
[ "$VX_TEST_ARCH" = i686 ] || "$root/scripts/build.sh" "$VX_TEST_ARCH"
if [ "$VX_TEST_ARCH" != i686 ]; then
  echo "main: this kernel cannot run 32-bit code; running the $VX_TEST_ARCH build of the same sources"
fi
bin=$VX_BUILD_ROOT/$VX_TEST_ARCH/bin
export WINEPREFIX=$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix
"$root/scripts/bootstrap.sh" "$WINEPREFIX"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" \
  "$VX_WINE" "$bin/vphost.exe" --plugins "$(vx_winpath "$bin/plugins")" "$@"
