#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine inside Xvfb.
#   scripts/test.sh [ctest args...]      (for example -L soak, -LE soak, -R HelpTrim)
# The last line says which build the tests ran on, and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
# Only now, with the packages in place, can the kernel be asked whether it runs 32-bit code.
. "$root/scripts/arch.sh"
vx_choose_arch
. "$root/scripts/wine-env.sh"

# The deliverables are always built as i686 (and checked as PE32 files); the x86_64 build of the
# same sources only where the tests need it. VX_SKIP_I686=1 skips the i686 build in development.
[ -n "${VX_SKIP_I686:-}" ] && [ "$VX_TEST_ARCH" != i686 ] || "$root/scripts/build.sh" i686
[ "$VX_TEST_ARCH" = i686 ] || "$root/scripts/build.sh" "$VX_TEST_ARCH"
export VX_DELIVERABLES=$VX_BUILD_ROOT/i686/bin

export WINEPREFIX=$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix
"$root/scripts/bootstrap.sh" "$WINEPREFIX"
cd "$VX_BUILD_ROOT/$VX_TEST_ARCH"
set +e
# Inside Wine's virtual desktop, as the main job runs: without a window manager every window hide
# under bare Xvfb costs Wine about two seconds.
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" --desktop ctest --output-on-failure -j2 "$@"
rc=$?
set -e
echo
vx_arch_summary tested
exit "$rc"
