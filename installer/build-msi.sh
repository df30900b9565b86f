#!/usr/bin/env bash
# Builds the machine-wide package from an i686 build's bin folder.
#   build-msi.sh <bin folder> <output.msi> [product version]
#   build-msi.sh --files       the files it packs, as paths relative to the bin folder
# The version defaults to the project's (the file VERSION). The same files and commit give the same
# package: file dates, times and codes come from the commit (SOURCE_DATE_EPOCH and VX_COMMIT when
# the sources are not a git checkout), the product code from commit and version, the package code
# from those and the files' contents.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
wxs=$here/dmslink.wxs
sources() { grep -o 'Source="[^"]*"' "$wxs" | sed 's/Source="\(.*\)"/\1/'; }
if [ "${1:-}" = --files ]; then sources; exit 0; fi
bin=$(cd "$1" && pwd)
out=$2
version=${3:-$(tr -d ' \r\n' <"$root/VERSION")}
fail() { echo "build-msi: $*" >&2; exit 1; }
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the version '$version' is not four numbers"

# The runtime DLLs shipped beside the plug-ins must be exactly those they load from the build's
# folder (directly or through another of them).
imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
needed=() queue=("$bin/plugins/dmslink.dll" "$bin/plugins/helptrim.dll")
while [ ${#queue[@]} -gt 0 ]; do
  module=${queue[0]}; queue=("${queue[@]:1}")
  for name in $(imports "$module"); do
    found=$(find "$bin" -maxdepth 1 -iname "$name" | head -1)
    if [ -n "$found" ] && [[ " ${needed[*]} " != *" ${found##*/} "* ]]; then
      needed+=("${found##*/}"); queue+=("$found")
    fi
  done
done
shipped=$(sources | grep -v / | sort | tr '\n' ' ')
wanted=$(printf '%s\n' "${needed[@]}" | sort | tr '\n' ' ')
[ "$shipped" = "$wanted" ] || fail "the plug-ins load '$wanted' from the build; dmslink.wxs ships '$shipped'"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
msi=$tmp/dmslink.msi
commit=${VX_COMMIT:-$(git -C "$root" rev-parse HEAD 2>/dev/null || echo unknown)}
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1700000000)}
# A GUID from a text: the first 128 bits of its SHA-256, as a name-based (version 5 style) GUID.
guid() {
  sha256sum <<<"$1" | awk '{ h = toupper($1); v = index("0123456789ABCDEF", substr(h, 17, 1)) - 1
    printf "%s-%s-5%s-%X%s-%s\n", substr(h, 1, 8), substr(h, 9, 4), substr(h, 14, 3), 8 + v % 4, substr(h, 18, 3), substr(h, 21, 12) }'
}
# The files packed, copied with the commit's date (the cabinet keeps each file's date).
stage=$tmp/stage
while read -r source; do
  mkdir -p "$stage/$(dirname "$source")"
  cp "$bin/$source" "$stage/$source"
done < <(sources)
find "$stage" -exec touch -h -d "@$epoch" {} +
contents=$(cd "$stage" && find . -type f | LC_ALL=C sort | xargs sha256sum | sha256sum | cut -c1-64)
product=$(guid "dmslink product $commit $version")
package=$(guid "dmslink package $commit $version $contents")
# The package's own dates (summary information, tables) are the commit's time, not the clock's.
at=(faketime -f "@$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')")
export TZ=UTC
# wixl finds each File's Source relative to the working folder.
(cd "$stage" && "${at[@]}" wixl -a x86 -D Version="$version" -D ProductCode="$product" -o "$msi" "$wxs")

table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }
queries=()
# wixl writes no component conditions: a registry component is installed only when the property
# that its key path value writes is set (an uninstallation sets it again from the package's record).
while IFS=$'\t' read -r component property; do
  queries+=(-q "UPDATE Component SET Condition = '$property' WHERE Component = '$component'")
done < <(awk -F'\t' 'NR == FNR { if (int($4 / 4) % 2) keypath[$6] = $1; next }
                     ($1 in keypath) && match($5, /^\[[A-Z_]+\]$/) { print keypath[$1] "\t" substr($5, 2, RLENGTH - 2) }' \
           <(table Component) <(table Registry))
# Windows Installer compares only the first three version fields, so a package that differs in
# the fourth alone must still replace the installed one: the upgrade range includes its maximum
# (wixl's MajorUpgrade leaves it exclusive).
code=$(table Property | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
queries+=(-q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
          -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('$code', '$version', 513, 'WIX_UPGRADE_DETECTED')")
# wixl numbers an action placed only before another at a number that varies from run to run (seen
# 1 and 51 for the same package); a fixed one keeps the same sources building the same package.
queries+=(-q "UPDATE InstallUISequence SET Sequence = 99 WHERE Action = 'CountPatienceDigits'")
# The properties reach the installation's server side in every kind of installation.
secure=$(table Property | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
for property in $(grep -oE '\[TESSERA_[A-Z_]+\]' "$wxs" | tr -d '[]' | sort -u); do
  secure="$secure;$property"
done
queries+=(-q "UPDATE Property SET Value = '$secure' WHERE Property = 'SecureCustomProperties'")
"${at[@]}" msibuild "$msi" "${queries[@]}" -s "dmslink and helptrim for Varnel Pro 11" Varnel "Intel;1033" "{$package}"

unconditioned=$(table Component | awk -F'\t' 'int($4 / 4) % 2 && $5 == "" { print $1 }')
[ -z "$unconditioned" ] || fail "registry components without a condition: $unconditioned"
# wixl puts a custom action it cannot order at the end of the sequence, after the components were
# chosen: too late to set a property that they or a launch condition depend on.
for sequence in InstallUISequence InstallExecuteSequence; do
  late=$(awk -F'\t' 'NR == FNR { custom[$1]; next } $1 == "LaunchConditions" { limit = $3 } $1 in custom { at[$1] = $3 }
                     END { for (a in at) if (at[a] >= limit) printf " %s", a }' <(table CustomAction) <(table $sequence))
  [ -z "$late" ] || fail "custom actions after LaunchConditions in $sequence:$late"
done
mkdir -p "$(dirname "$out")"
mv "$msi" "$out"
