#!/usr/bin/env bash
# The choice of the tested build: a forced VX_TEST_ARCH wins, a failing probe picks x86_64, a passing
# one i686, and each says why. In the i686 tree the real probe must find that 32-bit code runs.
#   check-arch-choice.sh <source root> <architecture of this tree>
set -uo pipefail
root=$1 tree=$2
fail=0
choose() {  # choose <VX_TEST_ARCH or -> <probe command>: prints "arch|reason|summary"
  (
    unset VX_TEST_ARCH VX_ARCH_REASON
    [ "$1" = - ] || export VX_TEST_ARCH=$1
    export VX_ARCH_PROBE=$2
    . "$root/scripts/arch.sh"
    vx_choose_arch || exit $?
    echo "$VX_TEST_ARCH|$VX_ARCH_REASON|$(vx_arch_summary tested)"
  )
}
expect() {  # expect <forced> <probe> <wanted output>
  local got
  got=$(choose "$1" "$2" 2>&1); local rc=$?
  [ "$got" = "$3" ] || { echo "VX_TEST_ARCH=$1 probe '$2': got '$got' (exit $rc), wanted '$3'"; fail=1; }
}
expect - true  "i686|this kernel runs 32-bit code|tested: i686, the deliverables (this kernel runs 32-bit code)"
expect - false "x86_64|this kernel runs no 32-bit code|tested: x86_64 build of the same sources; this kernel runs no 32-bit code"
expect x86_64 true "x86_64|chosen by VX_TEST_ARCH|tested: x86_64 build of the same sources; chosen by VX_TEST_ARCH"
expect i686 false "i686|chosen by VX_TEST_ARCH|tested: i686, the deliverables (chosen by VX_TEST_ARCH)"
choose mips true >/dev/null 2>&1; [ $? -eq 2 ] || { echo "an unknown VX_TEST_ARCH was accepted"; fail=1; }
if [ "$tree" = i686 ]; then
  ( . "$root/scripts/arch.sh"; vx_probe_kernel32 ) || { echo "the i686 tree runs, yet the probe says 32-bit code does not"; fail=1; }
fi
exit $fail
