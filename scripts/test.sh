#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine inside Xvfb.
#   scripts/test.sh [ctest args...]      (for example -L soak, -LE soak, -R HelpTrim)
# The last line says which build the tests ran on, and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/prepare.sh"
# The deliverables are always built as i686 (and checked as PE32 files); the x86_64 build of the
# same sources only where the tests need it.
vx_prepare
export VX_DELIVERABLES=$VX_BUILD_ROOT/i686/bin
vx_prefix "$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix"
cd "$VX_BUILD_ROOT/$VX_TEST_ARCH"
rm -f boundary-faults.txt
set +e
# Inside Wine's virtual desktop, as the main job runs: without a window manager every window hide
# under bare Xvfb costs Wine about two seconds.
vx_display --desktop ctest --output-on-failure -j2 "$@"
rc=$?
set -e
# The fault sweep's count of what it tried, when it ran.
[ -f boundary-faults.txt ] && cat boundary-faults.txt
echo
vx_arch_summary tested
exit "$rc"
