#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the host stand-in on the built plug-ins
# through the scenario of scripts/main (a session with the DMS stand-in). Extra arguments go to
# vphost.exe. It also builds the machine-wide package; the line before the last says where it is,
# the last line which build ran, and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
. "$root/scripts/arch.sh"
vx_choose_arch
. "$root/scripts/wine-env.sh"
"$root/scripts/build.sh" i686
[ "$VX_TEST_ARCH" = i686 ] || "$root/scripts/build.sh" "$VX_TEST_ARCH"
msi=$VX_BUILD_ROOT/package/dmslink.msi
"$root/installer/build-msi.sh" "$VX_BUILD_ROOT/i686/bin" "$msi"
bin=$VX_BUILD_ROOT/$VX_TEST_ARCH/bin
export WINEPREFIX=$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix
"$root/scripts/bootstrap.sh" "$WINEPREFIX"
set +e
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" \
  bash "$root/scripts/main/session.sh" "$bin" "$VX_BUILD_ROOT/main" "$@"
rc=$?
set -e
echo
echo "package: $msi"
vx_arch_summary ran
exit "$rc"
