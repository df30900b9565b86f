# Shared by the package checks: Wine, the places the package writes to, and a clean-up that leaves
# the prefix as a package-free machine (a failed check may have left its product installed).
# Sourced after root, bin, work.
. "$root/scripts/wine-env.sh"
wine() { "$VX_WINE" "$@" </dev/null; }
key='HKLM\SOFTWARE\Varnel\Pro\11.0\Settings\Tessera'
record='HKLM\SOFTWARE\Varnel\Pro\11.0\Plug-ins\Tessera'
user_key='HKCU\SOFTWARE\Varnel\Pro\11.0\Settings\Tessera'
product_name='Tessera plug-ins for Varnel Pro 11'
drive=$WINEPREFIX/drive_c
plugins="$drive/Program Files (x86)/Varnel/Pro/11.0/Plug-ins/Tessera"
plugins_win='C:\Program Files (x86)\Varnel\Pro\11.0\Plug-ins\Tessera'
german=$drive/ProgramData/Varnel/Pro/11.0/Lang/DE/dmslink.dll
fail=0
problem() { echo "$*"; fail=1; }

msiexec() { wine msiexec "$1" "$(vx_winpath "$2")" /qn "${@:3}" >/dev/null 2>&1; }
# The installed versions of the package from the programs list, one "version product-code" line each.
installed() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v name="$product_name" '/^HKEY/ { n = v = ""; c = $0; sub(/.*\\/, "", c) }
         $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); n = $0 }
         $1 == "DisplayVersion" { v = $3 } n == name && v != "" { print v, c; n = "" }'
}
# The values of a key in the 32-bit view as "name REG_TYPE text" lines, sorted.
values() {
  wine reg query "$1" /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^    \(.*[^ ]\) *$/\1/p' | sed 's/    / /g' | sort
}
expect_values() {  # expect_values <key> <line>...: exactly these values
  local got wanted
  got=$(values "$1")
  wanted=$(printf '%s\n' "${@:2}" | sed '/^$/d' | sort)
  [ "$got" = "$wanted" ] || problem "$1 holds"$'\n'"${got:-(nothing)}"$'\n'"wanted"$'\n'"${wanted:-(nothing)}"
}

cleanup() {
  local version code
  while read -r version code; do wine msiexec /x "$code" /qn >/dev/null 2>&1; done < <(installed)
  for k in "$key" "$record" "$user_key"; do wine reg delete "$k" /f /reg:32 >/dev/null 2>&1; done
  rm -rf "$drive/Program Files (x86)/Varnel" "$drive/ProgramData/Varnel/Pro/11.0/Lang/DE/dmslink.dll"
}
trap cleanup EXIT
