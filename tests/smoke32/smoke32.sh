#!/usr/bin/env bash
# The shipped 32-bit control and host, run beside the 64-bit build of the same
# sources in one 64-bit prefix, where 32-bit programs run through syswow64:
#   - the 32-bit control registered for the machine and for the user with
#     syswow64's regsvr32, and unregistered again without a trace;
#   - one 32-bit cscript calling every method, compared line for line (and
#     the user's store byte for byte) with the same script on the 64-bit one;
#   - the 32-bit host answering a few frames as the 64-bit host does.
# Where the kernel runs no 32-bit code, all of it runs in a private namespace
# with qemu (tools/run32.sh); where that cannot be set up the smoke is not
# run: exit 77, or a failure when CI=true.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

# The files compared, by bitness.
b32="$root/build" b64="$root/build/x64"
declare -A control=([32]="$b32/MivoDetector.dll" [64]="$b64/MivoDetector64.dll")
declare -A bridge=([32]="$b32/MivoBridge.exe" [64]="$b64/MivoBridge64.exe")
# Everything of the smoke's own lives here, apart from the 64-bit tests' prefixes.
work_root="$b32/smoke32"

if [ "${1:-}" != --inside ]; then
    for f in "${control[@]}" "${bridge[@]}"; do
        [ -f "$f" ] || { echo "smoke32: $f is missing (make build)" >&2; exit 1; }
    done
    if ! reason="$("$root/tools/run32.sh" --check)"; then
        echo "smoke32: NOT RUN, 32-bit programs cannot run here: $reason"
        [ "${CI:-}" = true ] && exit 1
        exit 77
    fi
    exec "$root/tools/run32.sh" bash "$0" --inside
fi

export MV_WINEARCH=win64 MV_BUILD="$work_root" MV_PREFIX="$work_root/prefix"
source "$root/tools/wine-env.sh"
work="$work_root/run"
failures=0
fail() { echo "FAIL - $*"; failures=$((failures + 1)); }
ok() { echo "ok - $*"; }
step() { echo "--- $* ($(date +%T))"; }
started=$(date +%s)
cleanup() { "$root/tools/prefix.sh" down "$MV_PREFIX" >/dev/null 2>&1; }
trap cleanup EXIT

# The prefix is made once (syswow64 is filled only when it is made where
# 32-bit programs run) and kept until Wine or the way it is made changes.
stamp="$(wine --version) $(sha256sum <"$root/tools/prefix.sh" | cut -c1-16)"
template="$MV_BUILD/wine/template"
if [ "$(cat "$template/.ready" 2>/dev/null)" != "$stamp" ] && [ -d "$template" ]; then
    rm -rf "$template" "$template.home"
fi
step "prefix"
"$root/tools/prefix.sh" up "$MV_PREFIX" || { echo "smoke32: no prefix"; exit 1; }
[ -s "$template/.ready" ] || echo "$stamp" >"$template/.ready"
[ -f "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe" ] || { echo "smoke32: the prefix has no syswow64"; exit 1; }
rm -rf "$work" && mkdir -p "$work"

wow='C:\windows\syswow64'
# A 32-bit process takes about a second under emulation; the bound is for a
# loaded machine or an older qemu.
emulated() { timeout 900 wine "$@" </dev/null; }
# The client and the 64-bit control where the client expects them, the
# 32-bit control in the 32-bit programs' folder; each control finds the
# client's version and configuration beside itself.
MV_BUILD="$b64" source "$root/tools/demo/client-install.sh"
dir32_win='C:\Program Files (x86)\Mivo'
dir32="$WINEPREFIX/drive_c/Program Files (x86)/Mivo"
ctl64_win="$MV_CLIENT_WIN\\$(basename "${control[64]}")"
ctl32_win="$dir32_win\\$(basename "${control[32]}")"
MV_BUILD="$b64" mv_install_client || { echo "smoke32: client installation failed"; exit 1; }
# A 32-bit installer writes the machine's value in the 32-bit view.
mv_wine reg add 'HKLM\Software\MIVO\MiVoVA\InstallPath' /v Path /d "$MV_CLIENT_WIN" /f /reg:32 >/dev/null
mkdir -p "$dir32"
cp "${control[64]}" "$MV_CLIENT_DIR/" && cp "${control[32]}" "$MV_CLIENT_DIR/MVVersion.dll" "$MV_CLIENT_DIR/mivo.cfg" "$dir32/" \
    || { echo "smoke32: controls not installed"; exit 1; }

store_dir() { ls -d "$WINEPREFIX"/drive_c/users/*/Documents/Mivo*/config 2>/dev/null | head -n 1; }
reset_store() { local d; d="$(store_dir)"; [ -z "$d" ] || rm -rf "$d"; }

# One cscript: every method; its output, the client's log and the store kept.
run_methods() { # CSCRIPT NAME
    local name="$2" script="$work/methods.js"
    { cat "$root/tools/demo/clientlog.js" "$root/tests/e2e/lib.js" "$here/methods.js"
      printf '\nmvFinish("SMOKE-COMPLETE");\n'; } >"$script"
    reset_store
    rm -f "$MV_CLIENT_DIR/MVPlayer.exe.log"
    # Into a file, not a pipe: the client the script starts inherits the
    # output and lives on, and a pipe would stay open until it ends.
    timeout 900 wine "$1" //nologo "$(winepath -w "$script")" </dev/null >"$work/$name.raw" 2>&1
    tr -d '\r' <"$work/$name.raw" >"$work/$name.out"
    mv_stop_client
    grep -qx SMOKE-COMPLETE "$work/$name.out" || { cat "$work/$name.out"; fail "$name: the script did not run to its end"; }
    local store; store="$(store_dir)"
    cp "$store/UserData.xml" "$work/$name.store" 2>/dev/null || fail "$name: no store was written"
}

# What registration leaves in either view, for the machine or the user: keys
# and values naming the control's class, interface, type library, AppID
# entry, ProgIDs or file.
leftovers() {
    local root
    for root in 'HKLM\Software' 'HKCU\Software'; do
        mv_wine reg export "$root" "$(winepath -w "$work/left.reg")" /y >/dev/null 2>&1
        iconv -f UTF-16LE -t UTF-8 "$work/left.reg" | tr -d '\r' |
            grep -iE 'B7E836F8-119E-4BB7-B12B-34ACC461DB9F|32BE6C32-D4D5-4204-991D-1A5C126ABAB0|16F92EAE-AD1B-4847-B6AB-84B1BB58756C|MVDetectorAX|MiVoVA\.MiVoDector|MivoDetector[^\\]*\.dll'
    done
}
reg_value() { # VIEW KEY: the default value, or nothing
    mv_wine reg query "$2" /ve "/reg:$1" 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}

step "hosts"
# Frames for the host: hello, a value kept and read back, a number, a
# site-locked installation refusing an origin it does not list, and letting
# in one it lists in ASCII but the page names in Unicode (the system's IDN
# conversion, called through a pointer looked up at run time).
host_frames() {
    local allowed='"origin":"https://www.example.com"' json n
    for json in \
        '{"id":1,"method":"$hello","args":[],'"$allowed"'}' \
        '{"id":2,"method":"SetValue","args":["smoke.host","caf\u00e9 \u5f71\u97f3"],'"$allowed"'}' \
        '{"id":3,"method":"GetValue","args":["smoke.host"],'"$allowed"'}' \
        '{"id":4,"method":"IsEnableCreateShortcut","args":[-2147483648],'"$allowed"'}' \
        '{"id":5,"method":"GetChannelNum","args":[],"origin":"https://example.com.evil.test"}' \
        '{"id":6,"method":"GetChannelNum","args":[],"origin":"https://b\u00fccher.example"}'; do
        n=${#json}
        printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8)))\\x00\\x00%s" "$json"
    done
}
# The answers, one a line.
host_answers() {
    node -e 'const b = require("fs").readFileSync(0); let i = 0;
             while (i + 4 <= b.length) { const n = b.readUInt32LE(i); console.log(b.toString("utf8", i + 4, i + 4 + n)); i += 4 + n; }
             if (i !== b.length) console.log("trailing bytes: " + (b.length - i));'
}
for bits in 64 32; do
    host_dir="$WINEPREFIX/drive_c/Host$bits"
    mkdir -p "$host_dir"
    cp "${bridge[$bits]}" "${control[$bits]}" "$MV_CLIENT_DIR/MVVersion.dll" "$host_dir/"
    printf '[channel]\r\nnum=%s\r\n\r\n[sitelock]\r\nhttps://example.com\r\nhttps://xn--bcher-kva.example\r\n' "$MV_FACT_CHANNEL" >"$host_dir/mivo.cfg"
    reset_store
    LC_ALL=C host_frames | timeout 900 wine "C:\\Host$bits\\$(basename "${bridge[$bits]}")" >"$work/host$bits.out" 2>"$work/host$bits.err"
    echo "exit $?" >"$work/host$bits.exit"
    host_answers <"$work/host$bits.out" >"$work/host$bits.txt"
done
cat "$work/host32.txt" "$work/host32.exit"
expect_answer() { # ID PATTERN WHAT
    grep "\"id\": *$1[,}]" "$work/host32.txt" | grep -q "$2" && ok "host: $3" || fail "host: $3"
}
expect_answer 1 '"result": *{"host": *"MivoBridge"' "hello"
expect_answer 3 '"result": *"caf\\u00e9 \\u5f71\\u97f3"\|"result": *"café 影音"' "a value kept and read back"
expect_answer 5 '"code": *"NOT_ALLOWED"' "an origin the site lock does not list is refused"
expect_answer 6 "\"result\": *$MV_FACT_CHANNEL[,}]" "a listed site written outside ASCII is let in"
[ "$(wc -l <"$work/host32.txt")" -eq 6 ] && grep -qx 'exit 0' "$work/host32.exit" && ok "host: six answers, exit 0" \
    || fail "host: not six answers and exit 0"
cmp -s "$work/host64.out" "$work/host32.out" && ok "host: byte for byte the 64-bit host's answers" \
    || { diff "$work/host64.txt" "$work/host32.txt"; fail "the hosts answer differently"; }

step "64-bit control"
mv_wine regsvr32 /s "$ctl64_win" || fail "the 64-bit control does not register"
run_methods cscript methods64
mv_wine regsvr32 /s /u "$ctl64_win" || fail "the 64-bit control does not unregister"

# Wine keeps one type library registration for the machine and the user, so
# the two are registered and removed one after the other, never both at once.
# Wine shares the user's classes between the two views, so only the machine's
# 64-bit view is checked for a class that must not be there.
clsid='{B7E836F8-119E-4BB7-B12B-34ACC461DB9F}'
server="CLSID\\$clsid\\InprocServer32"
regsvr32_32() { # WHAT ARGS...: syswow64's regsvr32 on the 32-bit control
    local what="$1" code; shift
    emulated "$wow\\regsvr32.exe" /s "$@" "$ctl32_win"; code=$?
    [ $code -eq 0 ] && ok "syswow64 regsvr32 $*: $what" || fail "syswow64 regsvr32 $*: $what, exit $code"
}
expect_server() { # VIEW ROOT DLL WHAT
    local found; found="$(reg_value "$1" "$2\\Software\\Classes\\$server")"
    [ "$found" = "$3" ] && ok "$4" || fail "$4: '$found'"
}
step "exports called as a 32-bit caller does"
# Wine's regsvr32 and ole32 keep a frame pointer and survive an export built
# with the wrong calling convention; the probe measures the stack instead.
probe=tests/fixtures/export_probe/ExportProbe.exe
wine "$b64/$probe" "$ctl64_win" "$clsid" </dev/null 2>&1 | tr -d '\r' >"$work/probe64.txt"
emulated "$b32/$probe" "$ctl32_win" "$clsid" 2>&1 | tr -d '\r' >"$work/probe32.txt"
cat "$work/probe32.txt"
grep -q 'DllInstall' "$work/probe32.txt" && ! grep -v ' 0 bytes left' "$work/probe32.txt" | grep -q . \
    && ok "each export and method leaves the stack as it found it" || fail "a call leaves the stack unbalanced, or the probe did not run"
diff "$work/probe64.txt" "$work/probe32.txt" >/dev/null && ok "the exports answer as the 64-bit control's do" \
    || fail "the exports answer differently (probe64.txt, probe32.txt)"

step "32-bit control, registered for the user"
regsvr32_32 "registers for the user" /n /i:user
expect_server 32 HKCU "$ctl32_win" "the user's 32-bit view names the 32-bit control"
regsvr32_32 "unregisters for the user" /u /n /i:user
expect_server 32 HKCU "" "the user's 32-bit view has no class left"

step "32-bit control, registered for the machine"
regsvr32_32 "registers for the machine"
expect_server 32 HKLM "$ctl32_win" "the machine's 32-bit view names the 32-bit control"
expect_server 64 HKLM "" "the machine's 64-bit view has no class"
typelib="$(mv_wine reg query 'HKLM\Software\Classes\TypeLib' /s /reg:64 2>/dev/null | tr -d '\r')"
grep -qiF "\\win32" <<<"$typelib" && grep -qiF "$ctl32_win" <<<"$typelib" && ok "a win32 type library entry names the 32-bit control" \
    || fail "no win32 type library entry for the 32-bit control"

step "32-bit control, every method"
run_methods "$wow\\cscript.exe" methods32
diff "$work/methods64.out" "$work/methods32.out" >"$work/methods.diff" && ok "every answer as from the 64-bit control" \
    || { cat "$work/methods.diff"; fail "the 32-bit control answers differently"; }
cmp -s "$work/methods64.store" "$work/methods32.store" && ok "the store's file byte for byte as the 64-bit control writes it" \
    || fail "the stores differ (methods64.store, methods32.store)"

step "32-bit control, unregistered"
regsvr32_32 "unregisters for the machine" /u
left="$(leftovers)"
[ -z "$left" ] && ok "nothing of the control is left in the registry" || { echo "$left"; fail "registration left keys behind"; }

echo "smoke32: $(( $(date +%s) - started )) s"
[ $failures -eq 0 ] || { echo "smoke32: $failures failed"; exit 1; }
echo "smoke32: passed"
