#!/usr/bin/env bash
# The pictures' session, run inside the display, Wine's virtual desktop and the persistent wineserver
# that shots.sh provides: for each language a fresh store, workspace and folder, the preferences,
# the "orvane" installation value and the German module in place, and the scenario in vphost.exe.
#   session.sh <bin folder> <run folder> <locale folder> <language>...     (en, de)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-env.sh"
bin=$1 run=$2 locales=$3
shift 3
wine() { "$VX_WINE" "$@" </dev/null; }
store() { wine "$(vx_winpath "$bin/tessera-store.exe")" "$@" | tr -d '\r'; }

wine regsvr32 /s "$(vx_winpath "$bin/tessera.dll")"
regedit=regedit
[ "$VX_TEST_ARCH" = i686 ] && regedit='C:\windows\syswow64\regedit.exe'
for reg in "$here/../main/preferences.reg" "$here/docs.reg"; do wine "$regedit" /S "$(vx_winpath "$reg")"; done
# Where Varnel Pro's setup puts the language modules: <ProgramData>\Varnel\Pro\11.0\Lang\DE.
lang=$WINEPREFIX/drive_c/ProgramData/Varnel/Pro/11.0/Lang/DE
mkdir -p "$lang"
cp "$bin/Lang/DE/dmslink.dll" "$lang/dmslink.dll"

status=0
for language in "$@"; do
  work=$run/$language
  mkdir -p "$work/files" "$work/shots" "$work/temp"
  export VX_DOCS=$(vx_winpath "$work")
  export TESSERA_STORE=$(vx_winpath "$work/store")
  # A workspace of the run's own, so that no copy of an earlier run is recovered into this one.
  export DMSLINK_TEMP_ROOT=$(vx_winpath "$work/temp")
  python3 "$here/../main/make-pdfs.py" "$work/files" Lease.pdf="Lease agreement" Offer.pdf="Purchase offer" \
    Contract.pdf="Service contract" Power.pdf="Power of attorney" Memo.pdf="Memo on the office move" \
    Note.pdf="File note" >/dev/null
  store add-server SRV1
  store add-database SRV1 Legal
  store add-user SRV1 jdoe secret --name "John Doe"
  store add-user SRV1 mmiller secret --name "Mary Miller"
  store add-server SRV2
  store add-database SRV2 Archive
  store add-user SRV2 jdoe secret --name "John Doe"
  number=1001
  for doc in Lease:"Lease agreement" Offer:"Purchase offer" Contract:"Service contract" Power:"Power of attorney"; do
    store add-document SRV1 Legal "$(vx_winpath "$work/files/${doc%%:*}.pdf")" --number $number \
      --description "${doc#*:}" --author jdoe >/dev/null
    number=$((number + 1))
  done
  store lock SRV1 Legal 1002 1 mmiller

  # Wine takes the system language from the locale of the environment; the German one is generated
  # by shots.sh (LOCPATH), so that the C library knows it too.
  locale=C.UTF-8
  [ "$language" = de ] && locale=de_DE.UTF-8
  echo "== $language: the scenario in vphost.exe (locale $locale)"
  set +e
  env LOCPATH="$locales" LC_ALL=$locale "$VX_WINE" "$bin/vphost.exe" --plugins "$(vx_winpath "$bin/plugins")" \
    --script "$(vx_winpath "$here/scenario.txt")" --shots "$(vx_winpath "$work/shots")" \
    --transcript "$(vx_winpath "$work/transcript.txt")" --log "$(vx_winpath "$work/host.log")" --timeout 20 </dev/null >/dev/null
  rc=$?
  set -e
  grep -E "^== end|^result" "$work/transcript.txt" | sed 's/^/  /' || true
  [ $rc -eq 0 ] || { echo "  vphost.exe exited $rc: see $work/transcript.txt"; status=1; }
done
rm -rf "$WINEPREFIX/drive_c/ProgramData/Varnel/Pro/11.0/Lang"
exit $status
