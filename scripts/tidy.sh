#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the plug-ins' own sources, as the i686 build
# compiles them (a configured tree of its own, build/tidy, holds the commands), and prints every
# finding; exits 1 when there is one.
#   scripts/tidy.sh [file.cpp ...]     (default: every source of dmslink/, support/, framework/ and
#                                       helptrim/ but their test programs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
db=$VX_BUILD_ROOT/tidy
"$root/scripts/bootstrap.sh"
cmake -S "$root" -B "$db" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
tidy=clang-tidy-16
cd "$root"
if [ $# -gt 0 ]; then files=("$@"); else
  mapfile -t files < <(find dmslink support framework helptrim -name '*.cpp' -not -path '*/tests/*' | LC_ALL=C sort)
fi
# clang parses for the compiler's target, with the compiler's own C++ library headers.
gcc=$(dirname "$(i686-w64-mingw32-g++-posix -print-libgcc-file-name)")
# (The compiler is GCC: its own warning options mean nothing to clang.)
args=(--quiet -p "$db" --extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++ --extra-arg=-Wno-unknown-warning-option)
for dir in include/c++ include/c++/i686-w64-mingw32 include/c++/backward; do
  args+=("--extra-arg=-isystem$gcc/$dir")
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Every finding is an error (.clang-tidy), so a file with one exits non-zero.
status=0
# (sh -c gets: $0 clang-tidy, $1 the file, $2 the output folder, then clang-tidy's arguments.)
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} \
  sh -c 'f=$1 dir=$2; shift 2; "$0" "$@" "$f" >"$dir/$(echo "$f" | tr / _).txt" 2>&1' \
  "$tidy" {} "$out" "${args[@]}" || status=1
if [ $status -ne 0 ]; then
  cat "$out"/*.txt | grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Suppressed|^Use -header-filter' >&2 || true
  # Each finding once (a header's is reported by every file that includes it).
  count=$(cat "$out"/*.txt | grep -E '(warning|error): .*\[[a-z]' | LC_ALL=C sort -u | wc -l)
  echo "tidy: $count finding(s) in ${#files[@]} files" >&2
  exit 1
fi
echo "tidy: no findings in ${#files[@]} files"
