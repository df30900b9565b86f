#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the host stand-in on the built plug-ins
# through the scenario of scripts/main (a session with the DMS stand-in). Extra arguments go to
# vphost.exe. It also builds the machine-wide package, signed (scripts/package.sh); the line before
# the last says where it is, the last line which build ran, and why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/prepare.sh"
vx_prepare
msi=$("$root/scripts/package.sh" | tee /dev/stderr | sed -n 's/^package: \(.*\.msi\)$/\1/p')
bin=$VX_BUILD_ROOT/$VX_TEST_ARCH/bin
vx_prefix "$VX_BUILD_ROOT/$VX_TEST_ARCH/wineprefix"
set +e
vx_display bash "$root/scripts/main/session.sh" "$bin" "$VX_BUILD_ROOT/main" "$@"
rc=$?
set -e
echo
echo "package: $msi"
vx_arch_summary ran
exit "$rc"
