#!/usr/bin/env bash
# The four product files: PE32 from the 32-bit build, PE32+ from the 64-bit
# one; each control exports its five entry points undecorated and imports no
# ATL runtime; all four import KnownDLLs only (any other DLL Windows would
# look for in the file's own folder first, where it can be planted).
#   check_product_files.sh DIR32 DIR64
#   check_product_files.sh --imports FILE...   the import check alone
set -uo pipefail
status=0
fail() { echo "FAIL: $*"; status=1; }
exports_wanted="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer"
# KnownDLLs on every Windows from 7 on (urlmon was one on 7, is none on 10).
known="advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 setupapi shell32 shlwapi user32 wldap32 ws2_32"

imports() { # FILE DUMP
    local name
    for name in $(sed -n 's/^\tDLL Name: //p' <<<"$2" | tr 'A-Z' 'a-z'); do
        [[ " $known " == *" ${name%.dll} "* ]] || fail "$1 imports $name, not a KnownDLL"
    done
}
if [ "${1:-}" = --imports ]; then
    shift
    for file in "$@"; do imports "$file" "$(x86_64-w64-mingw32-objdump -p "$file")"; done
    exit $status
fi
dir32="${1:?DIR32}" dir64="${2:?DIR64}"

check() {
    local file="$1" magic="$2" dump
    [ -f "$file" ] || { fail "$file is missing"; return; }
    dump="$(x86_64-w64-mingw32-objdump -p "$file")" || { fail "objdump cannot read $file"; return; }
    grep -qF "($magic)" <<<"$(grep '^Magic' <<<"$dump")" || fail "$file is not $magic"
    imports "$file" "$dump"
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
