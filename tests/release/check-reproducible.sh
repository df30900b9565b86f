#!/usr/bin/env bash
# A second build of the same sources, copied to another folder and built there now, gives the same
# bytes as the i686 tree: the shipped modules, and the package built from them (before signing).
#   check-reproducible.sh <source root> <i686 build folder> <work folder>
set -uo pipefail
root=$1 first=$2 work=$3
rm -rf "$work"; mkdir -p "$work/src"
# The sources as they are in the checkout (not its build folders).
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/src")
  export VX_COMMIT=$(git -C "$root" rev-parse HEAD) SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
else
  tar -C "$root" --exclude=./build -cf - . | tar -C "$work/src" -xf -
fi
second=$work/build
cmake -S "$work/src" -B "$second" -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_WITH_TESTS=OFF -DVX_COMPONENTS="framework;support;dmslink;helptrim" >/dev/null || exit 1
cmake --build "$second" -j"$(nproc)" --target dmslink helptrim dmslink_lang_de >"$work/build.log" 2>&1 ||
  { tail -30 "$work/build.log"; exit 1; }
fail=0
for module in $("$root/installer/build-msi.sh" --files); do
  if cmp "$first/bin/$module" "$second/bin/$module"; then echo "same: $module"; else fail=1; fi
done
for tree in "$first" "$second"; do
  "$root/installer/build-msi.sh" "$tree/bin" "$work/$(basename "$tree").msi" || exit 1
done
if cmp "$work/$(basename "$first").msi" "$work/build.msi"; then echo "same: the package"; else fail=1; fi
exit $fail
