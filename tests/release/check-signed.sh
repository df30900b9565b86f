#!/usr/bin/env bash
# The signed package as scripts/package.sh makes it: every module it ships and the package itself
# verify against the build's certificate authority, a module with one byte changed does not, the
# package holds exactly the signed modules and installs them under Wine, the checks of the modules
# hold for the signed ones, and SHA256SUMS matches.
#   check-signed.sh <source root> <build root> <work folder>     (Wine: WINEPREFIX, VX_TEST_ARCH)
set -uo pipefail
root=$1 build=$2 work=$3
package=$build/package bin=$build/package/files
. "$root/tests/installer/lib.sh"
# The build's own authority, whatever certificate the environment names for releases.
env -u VX_SIGN_PKCS12 -u VX_SIGN_PASSWORD_FILE -u VX_SIGN_TIMESTAMP_URL VX_BUILD_ROOT="$build" \
  "$root/scripts/package.sh" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
grep -qx "package: signed with a test certificate, not for distribution (authority: $package/test-ca/ca.pem)" "$work.log" ||
  problem "package.sh did not say that it signed with a test certificate"
rm -rf "$work"; mkdir -p "$work"
verify() { osslsigncode verify -CAfile "$package/test-ca/ca.pem" -in "$1" >"$work/verify.txt" 2>&1; }

mapfile -t modules < <(cd "$package/files" && find . -type f | sed 's#^\./##' | LC_ALL=C sort)
[ "${modules[*]}" = "$("$root/installer/build-msi.sh" --files | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" ] ||
  problem "the package's files are ${modules[*]}"
for file in "${modules[@]}" ../dmslink.msi; do
  verify "$package/files/$file" || { problem "$file does not verify"; cat "$work/verify.txt"; }
  grep -q "^Message digest algorithm *: SHA256" "$work/verify.txt" || problem "$file is not signed with a SHA-256 digest"
done

# One byte changed in the middle of the signed plug-in's code.
cp "$package/files/plugins/dmslink.dll" "$work/changed.dll"
at=$(( $(stat -c %s "$work/changed.dll") / 3 ))
byte=$(od -An -tu1 -j "$at" -N1 "$work/changed.dll" | tr -d ' ')
printf "$(printf '\\%03o' $(( (byte + 1) % 256 )))" | dd of="$work/changed.dll" bs=1 seek="$at" conv=notrunc status=none
cmp -s "$work/changed.dll" "$package/files/plugins/dmslink.dll" && problem "the byte was not changed"
verify "$work/changed.dll" && problem "a signed module with one byte changed still verifies"

# What the package installs is what was signed.
msiextract -C "$work/extracted" "$package/dmslink.msi" >/dev/null || problem "msiextract failed"
extracted=$(cd "$work/extracted" && find . -type f -exec sha256sum {} + | awk '{print $1}' | LC_ALL=C sort)
signed=$(cd "$package/files" && find . -type f -exec sha256sum {} + | awk '{print $1}' | LC_ALL=C sort)
[ "$extracted" = "$signed" ] || problem "the package's files are not the signed modules"

# Installed under Wine, they land as signed.
cleanup
msiexec /i "$package/dmslink.msi" || problem "the installation failed"
for module in "${modules[@]}"; do
  case $module in
    Lang/DE/dmslink.dll) installed_as=$german ;;
    *) installed_as=$plugins/${module#plugins/} ;;
  esac
  cmp -s "$package/files/$module" "$installed_as" || problem "not installed as signed: $installed_as"
done
msiexec /x "$package/dmslink.msi" || problem "the removal failed"

python3 "$root/tests/deliverables/check-modules.py" "$package/files" "$root/installer/dmslink.wxs" "$root/VERSION" \
  "$root" "$build" || fail=1
(cd "$package" && sha256sum --quiet -c SHA256SUMS) || problem "SHA256SUMS does not match the package"
[ $fail -eq 0 ] && echo "signed package: ok (${#modules[@]} modules and the package)"
exit $fail
