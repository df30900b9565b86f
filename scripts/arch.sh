# Sourced by the scripts once the packages are installed: chooses the build that the tests, the
# main job and the benchmark run on, and says why.
#
# The deliverables are i686. They run under 32-bit Wine wherever the kernel executes 32-bit code;
# on kernels without it (no IA32 emulation) no 32-bit process can start at all, and the same sources
# are tested as an x86_64 build under wine64 instead.
#
#   vx_choose_arch     sets and exports VX_TEST_ARCH (i686 | x86_64) and VX_ARCH_REASON
#   vx_arch_summary    the closing line a command prints: which build ran, and why
#
# VX_TEST_ARCH set beforehand wins. VX_ARCH_PROBE replaces the probe with a command of one's own
# (the choice's own test uses it); its exit status 0 means "32-bit code runs".

# A 96-byte static i386 ELF program that exits with 42: the kernel runs it or it does not.
vx_probe_kernel32() {
  local dir=${VX_BUILD_ROOT:-${TMPDIR:-/tmp}} probe rc
  mkdir -p "$dir" 2>/dev/null || dir=${TMPDIR:-/tmp}
  probe=$(mktemp "$dir/probe-i386.XXXXXX") || return 1
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

vx_choose_arch() {
  if [ -n "${VX_TEST_ARCH:-}" ]; then
    case "$VX_TEST_ARCH" in
      i686 | x86_64) ;;
      *) echo "VX_TEST_ARCH must be i686 or x86_64, not '$VX_TEST_ARCH'" >&2; return 2 ;;
    esac
    VX_ARCH_REASON=${VX_ARCH_REASON:-"chosen by VX_TEST_ARCH"}
  elif [ -n "${VX_ARCH_PROBE:-}" ]; then
    if eval "$VX_ARCH_PROBE" >/dev/null 2>&1; then
      VX_TEST_ARCH=i686; VX_ARCH_REASON="this kernel runs 32-bit code"
    else
      VX_TEST_ARCH=x86_64; VX_ARCH_REASON="this kernel runs no 32-bit code"
    fi
  elif ! vx_probe_kernel32; then
    VX_TEST_ARCH=x86_64; VX_ARCH_REASON="this kernel runs no 32-bit code"
  elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    # The kernel would run it, but the 32-bit Wine loader itself does not start (missing or broken).
    VX_TEST_ARCH=x86_64; VX_ARCH_REASON="32-bit Wine does not start here (/usr/lib/wine/wine)"
  else
    VX_TEST_ARCH=i686; VX_ARCH_REASON="this kernel runs 32-bit code"
  fi
  export VX_TEST_ARCH VX_ARCH_REASON
}

# vx_arch_summary <verb>: "tested: i686, the deliverables (...)" or "tested: x86_64 build of the same
# sources; ...".
vx_arch_summary() {
  if [ "$VX_TEST_ARCH" = i686 ]; then
    echo "$1: i686, the deliverables ($VX_ARCH_REASON)"
  else
    echo "$1: x86_64 build of the same sources; $VX_ARCH_REASON"
  fi
}
