# Sourced by the scripts: chooses the Wine loader and the architecture the tests run on.
# The deliverables are i686. Their tests run as i686 where the kernel can execute 32-bit code;
# on kernels without 32-bit support (no IA32 emulation) Wine cannot start a 32-bit process, and the
# same sources are tested as an x86_64 build under wine64 instead.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${VX_TEST_ARCH:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then VX_TEST_ARCH=i686; else VX_TEST_ARCH=x86_64; fi
fi
export VX_TEST_ARCH
if [ "$VX_TEST_ARCH" = i686 ]; then
  VX_WINE=/usr/lib/wine/wine; VX_WINESERVER=/usr/lib/wine/wineserver64
else
  VX_WINE=/usr/lib/wine/wine64; VX_WINESERVER=/usr/lib/wine/wineserver64
  export WINELOADER=/usr/lib/wine/wine64
fi
export VX_WINE VX_WINESERVER
# A Unix path as Wine's Z: drive sees it.
vx_winpath() { local p=$1; echo "Z:${p//\//\\}"; }
