# Sourced by the scripts: the Wine loader and server for the build under test (VX_TEST_ARCH, chosen
# by scripts/arch.sh once the packages are installed; chosen here when a caller has not).
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${VX_TEST_ARCH:-}" ]; then
  . "$(dirname "${BASH_SOURCE[0]}")/arch.sh"
  vx_choose_arch
fi
if [ "$VX_TEST_ARCH" = i686 ]; then
  VX_WINE=/usr/lib/wine/wine; VX_WINESERVER=/usr/lib/wine/wineserver64
else
  VX_WINE=/usr/lib/wine/wine64; VX_WINESERVER=/usr/lib/wine/wineserver64
  export WINELOADER=/usr/lib/wine/wine64
fi
export VX_WINE VX_WINESERVER
# A Unix path as Wine's Z: drive sees it.
vx_winpath() { local p=$1; echo "Z:${p//\//\\}"; }
