#!/usr/bin/env bash
# The package end to end: a flag value other than 0 or 1, and a patience other than 1 to 3600
# seconds, are refused; installed with properties, its files and values are where the plug-in reads
# them, vphost.exe loads the plug-ins from the installed folder and logs in to the machine-wide
# server with the stored password; removed, it takes everything it wrote and leaves a user's own
# list and a value set by other means.
#   check-install.sh <source root> <i686 bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
rm -rf "$work"; mkdir -p "$work"
"$root/installer/build-msi.sh" "$bin" "$work/dmslink.msi" || exit 1
cleanup
# Folders that were there before belong to someone else.
made=()
for top in "$drive/Program Files (x86)/Varnel" "$drive/ProgramData/Varnel"; do [ -e "$top" ] || made+=("$top"); done

user_list=("TesseraServer REG_SZ USERSRV" "TesseraUserName REG_SZ ann" "TesseraPassword REG_SZ"
           "TesseraTrustedLogin REG_SZ 1" "TesseraAutoConnect REG_SZ 0")
for v in "${user_list[@]}"; do
  read -r name _ text <<<"$v"
  wine reg add "$user_key" /v "$name" /d "$text" /f >/dev/null
done
wine reg add "$key" /v TesseraOpenDefaultLocation /d 1 /f /reg:32 >/dev/null
export TESSERA_STORE=$(vx_winpath "$work/store")
wine regsvr32 /s "$(vx_winpath "$bin/tessera.dll")"
store() { wine "$(vx_winpath "$bin/tessera-store.exe")" "$@" >/dev/null; }
store add-server SRV1
store add-user SRV1 jdoe secret
password=$(wine "$(vx_winpath "$bin/vx-password.exe")" secret | tr -d '\r')

for refused in TESSERA_OPEN=yes TESSERA_PATIENCE=0 TESSERA_PATIENCE=3601 TESSERA_PATIENCE=4294967316; do
  msiexec /i "$work/dmslink.msi" "$refused" && problem "$refused was accepted"
done
[ -e "$plugins" ] && problem "a refused installation left $plugins"

msiexec /i "$work/dmslink.msi" TESSERA_OPEN=1 TESSERA_SAVE=1 TESSERA_OPEN_SHORTCUT_INVERT=0 \
  TESSERA_SAVE_SHORTCUT_INVERT=1 TESSERA_SAVE_DEFAULT_LOCATION=0 TESSERA_SERVER=SRV1 TESSERA_USER=jdoe \
  TESSERA_PASSWORD="$password" TESSERA_TRUSTED=0 TESSERA_AUTOCONNECT=1 TESSERA_PATIENCE=45 || problem "the installation failed"
for f in plugins/dmslink.dll plugins/helptrim.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
  cmp -s "$bin/$f" "$plugins/${f#plugins/}" || problem "not installed as built: $plugins/${f#plugins/}"
done
cmp -s "$bin/Lang/DE/dmslink.dll" "$german" || problem "not installed as built: $german"
expect_values "$key" "TesseraEnableOpen REG_SZ 1" "TesseraEnableSave REG_SZ 1" "TesseraOpenShortcutInvert REG_SZ 0" \
  "TesseraSaveShortcutInvert REG_SZ 1" "TesseraOpenDefaultLocation REG_SZ 1" "TesseraSaveDefaultLocation REG_SZ 0" \
  "TesseraServer REG_SZ SRV1" "TesseraUserName REG_SZ jdoe" "TesseraPassword REG_SZ $password" \
  "TesseraTrustedLogin REG_SZ 0" "TesseraAutoConnect REG_SZ 1" "TesseraPatienceSeconds REG_SZ 45"
wine reg query 'HKLM\SOFTWARE\Varnel' /reg:64 >/dev/null 2>&1 && problem "the package wrote to the 64-bit view"

echo servers >"$work/servers.txt"
host=$(wine "$bin/vphost.exe" --plugins "$plugins_win" --script "$(vx_winpath "$work/servers.txt")" \
       --log "$(vx_winpath "$work/host.log")" 2>&1 | tr -d '\r')
for line in "plug-ins from $plugins_win" "dmslink.dll: loaded as VARNELPRO:Tessera" \
            "helptrim.dll: loaded as VARNELPRO:Customize" "ribbon item added beside AVRibbon:Main:Open:Btn Tessera" \
            "ribbon item added beside AVRibbon:Main:SaveAs:Btn Tessera" \
            "SRV1: user jdoe, password set, trusted no, auto-connect yes, connected yes, machine-wide yes" \
            "USERSRV: user ann, no password, trusted yes, auto-connect no, connected no, machine-wide no" "result: clean"; do
  grep -qF -- "$line" <<<"$host" || problem "vphost.exe on the installed folder: missing '$line'"
done

msiexec /x "$work/dmslink.msi" || problem "the removal failed"
[ -z "$(installed)" ] || problem "still in the programs list after the removal"
for gone in "$plugins" "$german" "${made[@]}"; do
  [ -e "$gone" ] && problem "left after the removal: $(find "$gone" | head -5)"
done
expect_values "$key" "TesseraOpenDefaultLocation REG_SZ 1"
expect_values "$record"
expect_values "$user_key" "${user_list[@]}"
[ $fail -eq 0 ] || { echo "$host"; exit 1; }
echo "check-install: ok"
