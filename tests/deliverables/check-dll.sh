#!/usr/bin/env bash
# Checks a shipped plug-in: a PE32 i386 DLL that exports exactly the two entries by undecorated name,
# links libgcc shared (host errors cross modules as C++ exceptions) and carries a VERSIONINFO resource.
#   check-dll.sh <dll> <objdump>
set -uo pipefail
dll=$1; objdump=$2
fail() { echo "FAIL: $dll: $*"; exit 1; }
[ -f "$dll" ] || fail "missing (build the i686 tree first)"
file -b "$dll" | grep -q '^PE32 executable (DLL).*Intel 80386' || fail "not a PE32 i386 DLL: $(file -b "$dll")"
dump=$("$objdump" -p "$dll") || fail "objdump failed"
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -oE '^\s*\[ *[0-9]+\] [A-Za-z_@0-9]+' | awk '{print $NF}' | sort | tr '\n' ' ')
[ "$exports" = "PISetupSDK VarnelPlugInMain " ] || fail "exports are '$exports'"
grep -q 'DLL Name: libgcc_s_dw2-1.dll' <<<"$dump" || fail "does not import libgcc_s_dw2-1.dll"
python3 - "$dll" <<'PY' || fail "no VERSIONINFO resource"
import sys
data = open(sys.argv[1], 'rb').read()
sys.exit(0 if 'VS_VERSION_INFO'.encode('utf-16-le') in data else 1)
PY
echo "ok: $dll"
