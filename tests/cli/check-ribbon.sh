#!/usr/bin/env bash
# vphost.exe's plain run on the built plug-ins: both load, the Help category shows the trimmed
# layout, and the host's objects are clean.   check-ribbon.sh <source root> <bin folder>
set -uo pipefail
root=$1 bin=$2
. "$root/scripts/wine-env.sh"
out=$("$VX_WINE" "$bin/vphost.exe" --plugins "$(vx_winpath "$bin/plugins")" </dev/null 2>&1 | tr -d '\r')
rc=$?
fail() { echo "check-ribbon: $*"; echo "$out"; exit 1; }
[ $rc -eq 0 ] || fail "vphost exited with $rc"
help=$(sed -n '/category AVRibbon:Category:Help/,/^[a-z]/p' <<<"$out")
for present in "dmslink.dll: loaded as VARNELPRO:Tessera" "helptrim.dll: loaded as VARNELPRO:Customize" "result: clean"; do
  grep -qF -- "$present" <<<"$out" || fail "missing: $present"
done
for kept in "panel AVRibbon:Panel:Help:Product" "item AVRibbon:Help:About:Btn" "panel AVRibbon:Panel:Help:Help"; do
  grep -qF -- "$kept" <<<"$help" || fail "Help category lost: $kept"
done
for gone in OnlineSupport CheckForUpdates ImprovementProgram SupportTools ContactSupport; do
  grep -qF -- "$gone" <<<"$help" && fail "Help category still has $gone"
done
echo "check-ribbon: ok"
