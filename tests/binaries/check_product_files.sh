#!/usr/bin/env bash
# The four product files: PE32 from the 32-bit build, PE32+ from the 64-bit
# one; each control exports its five entry points undecorated and imports no
# ATL runtime.
#   check_product_files.sh DIR32 DIR64
set -uo pipefail
dir32="${1:?DIR32}" dir64="${2:?DIR64}" status=0
fail() { echo "FAIL: $*"; status=1; }
exports_wanted="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer"

check() {
    local file="$1" magic="$2" dump
    [ -f "$file" ] || { fail "$file is missing"; return; }
    dump="$(x86_64-w64-mingw32-objdump -p "$file")" || { fail "objdump cannot read $file"; return; }
    grep -qF "($magic)" <<<"$(grep '^Magic' <<<"$dump")" || fail "$file is not $magic"
    [ "${file##*.}" = dll ] || return 0
    local exports
    exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$dump" | sort | xargs)"
    [ "$exports" = "$exports_wanted" ] || fail "$file exports '$exports'"
    ! grep -qiE 'DLL Name: atl' <<<"$dump" || fail "$file imports ATL"
}

check "$dir32/MivoDetector.dll" PE32
check "$dir32/MivoBridge.exe" PE32
check "$dir64/MivoDetector64.dll" PE32+
check "$dir64/MivoBridge64.exe" PE32+
[ $status -eq 0 ] && echo "all four product files as expected"
exit $status
