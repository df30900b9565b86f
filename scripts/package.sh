#!/usr/bin/env bash
# Installs what is missing, brings the i686 build up to date and builds the machine-wide package
# from it into build/package/dmslink.msi (docs/admin-guide.md). The last line says where it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" i686
msi=$VX_BUILD_ROOT/package/dmslink.msi
"$root/installer/build-msi.sh" "$VX_BUILD_ROOT/i686/bin" "$msi"
echo "package: $msi"
