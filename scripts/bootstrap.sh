#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and prepares a Wine prefix.
# Idempotent, and quiet when everything is already there.
#   scripts/bootstrap.sh [wine-prefix]
set -euo pipefail
prefix=${1:-}

packages=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
          wine wine64 wine32:i386 xvfb xauth imagemagick googletest openssl python3 file git
          wixl msitools clang-16 libclang-rt-16-dev locales fonts-wine
          osslsigncode faketime clang-tidy-16 mount)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
  apt_install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  }
  log=$(mktemp)
  # A mirror in the middle of a sync serves an index that does not match its release file; that
  # passes within minutes, so the update is tried again before anything else is done about it.
  updated=0
  for wait in 10 30 0; do
    if $sudo apt-get update -qq 2>"$log"; then updated=1; break; fi
    [ "$wait" -eq 0 ] || { echo "bootstrap: the package index did not update; trying again in ${wait} s"; sleep "$wait"; }
  done
  if [ "$updated" -eq 1 ]; then
    apt_install
  elif ! apt_install 2>/dev/null; then
    # Still broken: a foreign-architecture library whose index failed cannot match the native one.
    # Install from the sources whose indexes did download, with lists of their own, so the system's
    # own lists and sources stay as they were.
    cat "$log" >&2
    mapfile -t failed < <(grep -o 'Failed to fetch [^ ]*' "$log" | awk '{print $4}' | sed 's#/dists/.*##' | sort -u)
    echo "bootstrap: installing without the sources that failed: ${failed[*]}"
    alt=$(mktemp -d) && chmod 755 "$alt"  # apt downloads as its own user
    mkdir -p "$alt/parts" "$alt/lists/partial" "$alt/twins"
    drop() {  # the sources without the one-line entries and the deb822 stanzas that name a failed one
      awk -v failed="${failed[*]}" -v stanzas="$2" '
        BEGIN { n = split(failed, f, " "); if (stanzas) { RS = ""; ORS = "\n\n" } }
        { keep = 1; t = $0 "\n"
          for (i = 1; i <= n; i++) if (index(t, f[i] " ") || index(t, f[i] "/ ") || index(t, f[i] "\n")) keep = 0 }
        keep { print }' "$1"
    }
    [ ! -f /etc/apt/sources.list ] || drop /etc/apt/sources.list "" >"$alt/sources.list"
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
      if [ -f "$f" ]; then drop "$f" "$([ "${f%.sources}" = "$f" ] || echo 1)" >"$alt/parts/${f##*/}"; fi
    done
    options=(-o "Dir::Etc::SourceList=$alt/sources.list" -o "Dir::Etc::SourceParts=$alt/parts"
             -o "Dir::State::Lists=$alt/lists")
    $sudo apt-get "${options[@]}" update -qq || true
    # Installed native libraries that came from a failed source (a security update, say) have no
    # i386 twin at their version in the other sources, and a twin must match exactly. The failed
    # source's pool has it beside the native package, which that source's native index names: read
    # with lists of its own (the native packages to install still come from the other sources).
    native=$(dpkg --print-architecture)
    mkdir -p "$alt/native/parts" "$alt/native/lists/partial"
    grep -o 'Failed to fetch [^ ]*' "$log" | awk '{print $4}' |
      sed -n 's#^\(.*\)/dists/\(.*\)/\([^/]*\)/binary-[^/]*/.*$#\1 \2 \3#p' | sort -u |
      while read -r uri suite component; do echo "deb [arch=$native] $uri $suite $component"; done >"$alt/native/sources.list"
    lookup=(-o "Dir::Etc::SourceList=$alt/native/sources.list" -o "Dir::Etc::SourceParts=$alt/native/parts"
            -o "Dir::State::Lists=$alt/native/lists")
    $sudo apt-get "${lookup[@]}" update -qq || true
    mapfile -t same < <(dpkg-query -W -f='${Package} ${Version} ${Multi-Arch} ${Architecture}\n' |
                        awk -v native="$native" '$3 == "same" && $4 == native { print $1 "=" $2 }')
    offered=" $(apt-cache "${options[@]}" show "${same[@]/%=*/:i386}" 2>/dev/null |
                awk '/^Package: / { p = $2 } /^Version: / { print p "=" $2 }' | tr '\n' ' ')"
    twins=()
    while IFS=$'\t' read -r pin file; do
      [[ "$offered" != *" $pin "* ]] || continue
      file=${file%_*.deb}_i386.deb
      for source in "${failed[@]}"; do
        if /usr/lib/apt/apt-helper download-file "$source/$file" "$alt/twins/${file##*/}" >/dev/null 2>&1; then
          twins+=("$pin"); break
        fi
      done
    done < <(apt-cache "${lookup[@]}" show "${same[@]/%=*/:$native}" 2>/dev/null |
             awk -v wanted=" ${same[*]} " '/^Package: / { p = $2 } /^Version: / { v = $2 }
                  /^Filename: / && index(wanted, " " p "=" v " ") { print p "=" v "\t" $2 }')
    if [ ${#twins[@]} -gt 0 ]; then
      echo "bootstrap: i386 twins of installed packages from the pool of ${failed[*]}: ${twins[*]}"
      (cd "$alt/twins" && for deb in *.deb; do
         dpkg-deb -f "$deb"
         echo "Filename: ./$deb"; echo "Size: $(stat -c %s "$deb")"
         echo "SHA256: $(sha256sum "$deb" | cut -d' ' -f1)"; echo
       done >Packages)
      chmod -R a+rX "$alt/twins"
      echo "deb [trusted=yes] file:$alt/twins ./" >>"$alt/sources.list"
      $sudo apt-get "${options[@]}" update -qq || true
    fi
    apt_install "${options[@]}"
    rm -rf "$alt"
  fi
  rm -f "$log"
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
