#!/usr/bin/env bash
# Installs what is missing, brings the i686 build up to date and builds the machine-wide package
# from it: every module it ships signed (Authenticode, SHA-256), then the package itself, and
# SHA256SUMS beside it (docs/admin-guide.md). The last line says where the package is.
#   VX_SIGN_PKCS12=<certificate and key, PKCS#12>  VX_SIGN_PASSWORD_FILE=<its password, a file>
#       the release's certificate; without both, a certificate authority and code-signing
#       certificate made for this build only (build/package/test-ca/ca.pem verifies them)
#   VX_SIGN_TIMESTAMP_URL=<RFC 3161 time-stamp server>   time-stamps every signature (off by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export VX_BUILD_ROOT=${VX_BUILD_ROOT:-$root/build}
"$root/scripts/bootstrap.sh"
"$root/scripts/build.sh" i686
bin=$VX_BUILD_ROOT/i686/bin
out=$VX_BUILD_ROOT/package
fail() { echo "package: $*" >&2; exit 1; }
mkdir -p "$out"

if [ -n "${VX_SIGN_PKCS12:-}" ] || [ -n "${VX_SIGN_PASSWORD_FILE:-}" ]; then
  [ -f "${VX_SIGN_PKCS12:-}" ] || fail "VX_SIGN_PKCS12 names no file: '${VX_SIGN_PKCS12:-}'"
  [ -f "${VX_SIGN_PASSWORD_FILE:-}" ] || fail "VX_SIGN_PASSWORD_FILE names no file: '${VX_SIGN_PASSWORD_FILE:-}'"
  pkcs12=$VX_SIGN_PKCS12 password=$VX_SIGN_PASSWORD_FILE
  rm -rf "$out/test-ca"
  echo "package: signing with $pkcs12"
else
  # A throwaway authority for this build: its certificate (ca.pem) verifies what was signed here.
  ca=$out/test-ca
  rm -rf "$ca"; mkdir -p "$ca"
  (
    cd "$ca"
    umask 077
    openssl rand -hex 24 >password
    openssl req -x509 -newkey rsa:3072 -nodes -keyout ca.key -out ca.pem -days 30 -sha256 \
      -subj "/O=Varnel build/CN=Test code-signing authority (not for distribution)" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
    openssl req -newkey rsa:3072 -nodes -keyout signing.key -out signing.csr \
      -subj "/O=Varnel build/CN=Tessera plug-ins test signature (not for distribution)" 2>/dev/null
    printf '%s\n' basicConstraints=critical,CA:FALSE keyUsage=critical,digitalSignature \
      extendedKeyUsage=codeSigning >signing.ext
    openssl x509 -req -in signing.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signing.pem \
      -days 30 -sha256 -extfile signing.ext 2>/dev/null
    openssl pkcs12 -export -in signing.pem -inkey signing.key -certfile ca.pem -out signing.p12 \
      -passout file:password
    rm -f ca.key signing.key signing.csr signing.ext ca.srl
    chmod 644 ca.pem signing.pem
  )
  pkcs12=$ca/signing.p12 password=$ca/password
  echo "package: signed with a test certificate, not for distribution (authority: $ca/ca.pem)"
fi
timestamp=()
[ -z "${VX_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$VX_SIGN_TIMESTAMP_URL")
sign() {
  osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password" -h sha256 \
    -n "Tessera plug-ins for Varnel Pro 11" "${timestamp[@]}" -in "$1" -out "$1.signed" >/dev/null ||
    fail "could not sign $1"
  mv "$1.signed" "$1"
}

# The modules the package ships, as build-msi.sh packs them (same relative places), signed.
files=$out/files
rm -rf "$files"
while read -r source; do
  mkdir -p "$files/$(dirname "$source")"
  cp "$bin/$source" "$files/$source"
  sign "$files/$source"
done < <("$root/installer/build-msi.sh" --files)
msi=$out/dmslink.msi
"$root/installer/build-msi.sh" "$files" "$msi"
sign "$msi"
(cd "$out" && sha256sum dmslink.msi >SHA256SUMS)
echo "package: $msi"
