#!/usr/bin/env bash
# Builds the native fuzzers of the pure parsers (fuzz/) with clang++-16, libFuzzer and the address and
# undefined-behaviour sanitizers into $VX_BUILD_ROOT/fuzz, and runs each on a copy of its seeds.
#   scripts/fuzz.sh [--runs N | --smoke]      executions per fuzzer: default 10000000, --smoke 10000
# One line per fuzzer; non-zero exit when any fuzzer crashed, hung or a sanitizer reported. The input
# that did it is left in $VX_BUILD_ROOT/fuzz/runs/<fuzzer>/ and named in the line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
runs=10000000
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    --smoke) runs=10000; shift ;;
    *) echo "usage: scripts/fuzz.sh [--runs N | --smoke]" >&2; exit 2 ;;
  esac
done

"$root/scripts/bootstrap.sh"

dir=$VX_BUILD_ROOT/fuzz
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root/fuzz" -B "$dir" -DCMAKE_CXX_COMPILER=clang++-16 >/dev/null
fi
set +e
cmake --build "$dir" -j"$(nproc)" -- --no-print-directory | grep -vE '^\[ *[0-9]+%\] (Building|Linking|Built)'
status=${PIPESTATUS[0]}
set -e
[ "$status" -eq 0 ] || exit "$status"

# The PRF reader takes only the head of a file: inputs may reach past it.
declare -A max_len=([file_data]=4096 [prf_text]=12288 [stored_password]=4096 [registry_text]=4096)
failed=0
for fuzzer in file_data prf_text stored_password registry_text; do
  work=$dir/runs/$fuzzer
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp "$root/fuzz/corpus/$fuzzer/"* "$work/corpus/"
  start=$(date +%s.%N)
  set +e
  "$dir/$fuzzer" -runs="$runs" -max_len="${max_len[$fuzzer]}" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$work/log.txt" 2>&1
  rc=$?
  set -e
  end=$(date +%s.%N)
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt" | tail -1)
  executed=${executed:-0}
  rate=$(awk -v n="$executed" -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", (b > a) ? n / (b - a) : 0 }')
  if [ "$rc" -eq 0 ]; then
    outcome=ok
  else
    failed=1
    artifact=$(sed -n 's/.*Test unit written to //p' "$work/log.txt" | tail -1)
    summary=$(grep -m1 -E '^SUMMARY:|property does not hold|ERROR: libFuzzer' "$work/log.txt" || true)
    outcome="FAILED (exit $rc): ${summary:-see $work/log.txt}${artifact:+; input $artifact}"
  fi
  printf '%-16s %10s executions %9s/s  %s\n' "$fuzzer" "$executed" "$rate" "$outcome"
done
exit "$failed"
