#!/usr/bin/env bash
# Configures and builds one architecture into build/<arch>.   scripts/build.sh i686|x86_64 [cmake args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
arch=$1; shift
dir=$VX_BUILD_ROOT/$arch
# VX_CMAKE_ARGS adds configure options, for example -DVX_COMPONENTS="framework;host".
if [ ! -f "$dir/CMakeCache.txt" ] || [ -n "${VX_CMAKE_ARGS:-}" ] || [ $# -gt 0 ]; then
  # shellcheck disable=SC2086
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VX_CMAKE_ARGS:-} "$@" >/dev/null
fi
# Progress lines are dropped; the build's own status decides.
set +e
cmake --build "$dir" -j"$(nproc)" -- --no-print-directory | grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)'
status=${PIPESTATUS[0]}
set -e
exit "$status"
