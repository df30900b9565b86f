#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and prepares a Wine prefix.
# Idempotent, and quiet when everything is already there.
#   scripts/bootstrap.sh [wine-prefix]
set -euo pipefail
prefix=${1:-}

packages=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
          wine wine64 wine32:i386 xvfb xauth imagemagick googletest openssl python3 file git
          wixl msitools clang-16 libclang-rt-16-dev locales fonts-wine)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ -n "$prefix" ]; then
  . "$(dirname "$0")/wine-env.sh"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "bootstrap: creating the Wine prefix $prefix"
    mkdir -p "$prefix"
    WINEPREFIX=$prefix "$VX_WINE" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$prefix "$VX_WINESERVER" -w || true
  fi
fi
