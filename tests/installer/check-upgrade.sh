#!/usr/bin/env bash
# A newer package over an older one, their versions differing in the fourth field alone (which
# Windows Installer does not compare): one product is left, of the newer version and with its
# files, the older one's values stay for the properties not given again, and the removal of the
# newer one takes everything, the key the package created included.
#   check-upgrade.sh <source root> <i686 bin folder> <work folder>
set -uo pipefail
root=$1 bin=$2 work=$3
. "$(dirname "$0")/lib.sh"
rm -rf "$work"; mkdir -p "$work/newer"
old=$(tr -d ' \r\n' <"$root/VERSION")
new=${old%.*}.$((${old##*.} + 1))
# The newer files differ from the older ones: the German module (resources only) gains a trailer.
cp -r "$bin/plugins" "$bin/Lang" "$bin"/lib*.dll "$work/newer/"
printf 'newer build' >>"$work/newer/Lang/DE/dmslink.dll"
"$root/installer/build-msi.sh" "$bin" "$work/older.msi" || exit 1
"$root/installer/build-msi.sh" "$work/newer" "$work/dmslink.msi" "$new" || exit 1
cleanup

msiexec /i "$work/older.msi" TESSERA_OPEN=1 TESSERA_SERVER=SRV1 TESSERA_USER=jdoe \
  TESSERA_PASSWORD=00112233445566778899AABBCCDDEEFF TESSERA_AUTOCONNECT=0 TESSERA_PATIENCE=90 || problem "the older installation failed"
msiexec /i "$work/dmslink.msi" TESSERA_SAVE=1 || problem "the upgrade failed"
versions=$(installed | cut -d' ' -f1 | tr '\n' ' ')
[ "$versions" = "$new " ] || problem "installed after the upgrade: '$versions', wanted '$new'"
cmp -s "$work/newer/Lang/DE/dmslink.dll" "$german" || problem "the German module is not the newer one"
cmp -s "$bin/plugins/dmslink.dll" "$plugins/dmslink.dll" || problem "dmslink.dll missing after the upgrade"
expect_values "$key" "TesseraEnableOpen REG_SZ 1" "TesseraEnableSave REG_SZ 1" "TesseraServer REG_SZ SRV1" \
  "TesseraUserName REG_SZ jdoe" "TesseraPassword REG_SZ 00112233445566778899AABBCCDDEEFF" "TesseraAutoConnect REG_SZ 0" \
  "TesseraPatienceSeconds REG_SZ 90"

msiexec /x "$work/dmslink.msi" || problem "the removal failed"
[ -z "$(installed)" ] || problem "still in the programs list after the removal"
[ -e "$plugins" ] && problem "$plugins left after the removal"
wine reg query "$key" /reg:32 >/dev/null 2>&1 && problem "$key left after the removal"
expect_values "$record"
[ $fail -eq 0 ] || exit 1
echo "check-upgrade: ok"
