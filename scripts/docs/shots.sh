#!/usr/bin/env bash
# Regenerates the pictures of the user guide: installs what is missing, builds what changed, runs
# scripts/docs/scenario.txt in vphost.exe inside Wine's virtual desktop once in English and once in
# German (each in a fresh folder under build/docs/run), and puts every picture the scenario names,
# recompressed, into docs/images/en and docs/images/de (the DMS stand-in's own dialogs exist in
# English only and are kept from the English run). Pictures no longer named are removed.
#   scripts/docs/shots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/prepare.sh"
vx_prepare
bin=$VX_BUILD_ROOT/$VX_TEST_ARCH/bin
docs=$VX_BUILD_ROOT/docs
run=$docs/run
rm -rf "$run"
mkdir -p "$run"

# A Wine prefix of its own: the "orvane" value, the German module and the desktop stay out of the
# prefix the tests use.
vx_prefix "$docs/wineprefix"
# Wine's own fonts (Debian's fonts-wine), where this Wine looks for them: the dialogs' "MS Shell Dlg"
# is then Tahoma, and the captions' close button a Marlett glyph, as on Windows.
cp /usr/share/wine/fonts/{marlett,tahoma,tahomabd}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Wine reads the system language from the environment's locale; the C library needs the locale
# generated to accept it (Debian's "locales" carries the sources).
locales=$docs/locale
[ -d "$locales/de_DE.UTF-8" ] || { mkdir -p "$locales"; localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8"; }

vx_display --desktop bash "$root/scripts/docs/session.sh" "$bin" "$run" "$locales" en de

# The German module must have been used: the German run shows its texts.
grep -q "Dokumente werden vom Server ausgecheckt" "$run/de/transcript.txt" ||
  { echo "shots: the German run shows no German texts ($run/de/transcript.txt)"; exit 1; }

# The pictures the scenario names (the runner's own names start with the step number).
named() { ls "$run/$1/shots" | grep -v '^[0-9]' | grep '\.png$' || true; }
english_only=(browse.png import.png)
for language in en de; do
  out=$root/docs/images/$language
  mkdir -p "$out"
  rm -f "$out"/*.png
  for picture in $(named $language); do
    [ $language = de ] && [[ " ${english_only[*]} " == *" $picture "* ]] && continue
    # The runner writes the window as it is on the screen, frame and caption included, uncompressed;
    # stored compressed, without the time stamps that would change the file on every run.
    convert "$run/$language/shots/$picture" -strip -define png:exclude-chunks=date,time \
      -define png:compression-level=9 "$out/$picture"
  done
  echo "docs/images/$language: $(ls "$out" | wc -l) pictures, $(du -sk "$out" | cut -f1) KB"
done
missing=$(comm -3 <(named en) <(named de))
[ -z "$missing" ] || { echo "shots: the two runs named different pictures:"; echo "$missing"; exit 1; }
vx_arch_summary "pictures from"
