# Sourced by the commands (test, main job, benchmark, guide pictures) after they set `root`:
# installs what is missing, chooses the build to run on (arch.sh, which needs the packages in
# place to ask the kernel), sets up Wine for it and builds.
#
#   vx_prepare [tested]   builds the i686 tree and, where the kernel runs no 32-bit code, the
#                         x86_64 build of the same sources (the i686 tree then only what ships);
#                         "tested" builds only the latter.
#                         VX_SKIP_I686=1 skips the i686 build when it is not the one under test.
#   vx_prefix <dir>       uses (and creates on first use) the Wine prefix <dir>
#   vx_display [--desktop] <command...>   runs the command under Xvfb (and in Wine's virtual desktop)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
. "$root/scripts/arch.sh"
vx_choose_arch
. "$root/scripts/wine-env.sh"

vx_prepare() {
  if [ "${1:-}" != tested ] && { [ -z "${VX_SKIP_I686:-}" ] || [ "$VX_TEST_ARCH" = i686 ]; }; then
    # Where the tests run on the x86_64 build, the i686 tree builds only what ships.
    local tests=ON shipped=() cache=$VX_BUILD_ROOT/i686/CMakeCache.txt
    [ "$VX_TEST_ARCH" = i686 ] || tests=OFF
    if ! grep -qx "VX_WITH_TESTS:BOOL=$tests" "$cache" 2>/dev/null; then
      shipped=(-DVX_WITH_TESTS=$tests -UVX_COMPONENTS)
      [ $tests = ON ] || shipped=(-DVX_WITH_TESTS=OFF "-DVX_COMPONENTS=framework;support;dmslink;helptrim")
    fi
    "$root/scripts/build.sh" i686 "${shipped[@]}"
  fi
  if [ "${1:-}" = tested ] || [ "$VX_TEST_ARCH" != i686 ]; then
    "$root/scripts/build.sh" "$VX_TEST_ARCH"
  fi
}

vx_prefix() {
  export WINEPREFIX=$1
  "$root/scripts/bootstrap.sh" "$WINEPREFIX"
}

vx_display() {
  xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/under-display.sh" "$@"
}
