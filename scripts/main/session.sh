#!/usr/bin/env bash
# The main job's session, run inside the display and the persistent wineserver that run-main.sh
# provides: registers the DMS stand-in, seeds a fresh store with generated PDF files, imports the
# administrator's preferences, and runs the scenario with vphost.exe.
#   session.sh <bin folder> <main job folder> [vphost arguments...]
# VX_SCENARIO names another script; VX_DESKTOP=0 leaves Wine's virtual desktop off (tests).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine-env.sh"
bin=$1 main=$2
wine() { "$VX_WINE" "$@" </dev/null; }

rm -rf "$main"
mkdir -p "$main/files" "$main/shots"
export VX_MAIN=$(vx_winpath "$main")
export TESSERA_STORE=$(vx_winpath "$main/store")

echo "== register the DMS stand-in"
wine regsvr32 /s "$(vx_winpath "$bin/tessera.dll")"
echo "  tessera.dll registered"

echo "== seed the store $TESSERA_STORE"
python3 "$here/make-pdfs.py" "$main/files" Lease.pdf="Lease agreement" Offer.pdf="Purchase offer" \
  Memo.pdf="Memo on the office move" | sed 's/^/  made /'
store() { wine "$(vx_winpath "$bin/tessera-store.exe")" "$@" | tr -d '\r'; }
store add-server SRV1
store add-database SRV1 Legal
store add-user SRV1 jdoe secret --name "John Doe"
echo "  document $(store add-document SRV1 Legal "$(vx_winpath "$main/files/Lease.pdf")" --number 1001 \
  --description "Lease agreement" --author jdoe)"
echo "  document $(store add-document SRV1 Legal "$(vx_winpath "$main/files/Offer.pdf")" --number 1002 \
  --description "Purchase offer" --author jdoe)"

echo "== import the preferences and the machine-wide server (regedit /S)"
# A 32-bit plug-in reads HKLM\SOFTWARE through the 32-bit view.
regedit=regedit
[ "$VX_TEST_ARCH" = i686 ] && regedit='C:\windows\syswow64\regedit.exe'
regs=preferences.reg
[ "${VX_DESKTOP:-1}" = 0 ] || regs="$regs desktop.reg"
for reg in $regs; do
  wine "$regedit" /S "$(vx_winpath "$here/$reg")"
  echo "  $reg"
done

echo "== run the scenario"
set +e
wine "$bin/vphost.exe" --plugins "$(vx_winpath "$bin/plugins")" --script "$(vx_winpath "${VX_SCENARIO:-$here/scenario.txt}")" \
  --shots "$(vx_winpath "$main/shots")" --transcript "$(vx_winpath "$main/transcript.txt")" \
  --log "$(vx_winpath "$main/host.log")" --timeout 60 "${@:3}" | tr -d '\r'
rc=${PIPESTATUS[0]}
set -e
echo
echo "transcript: $main/transcript.txt"
echo "screenshots: $main/shots ($(ls "$main/shots" | grep -c '\.png$') PNG files)"
exit "$rc"
