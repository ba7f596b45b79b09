#!/usr/bin/env bash
# The installer packages under Wine's msiexec, each case in a fresh prefix of
# its own (64-bit for the x64 package, 32-bit for the x86 one), at each UI
# level it names in turn: an older package, then the current one over it, in
# the same folder whatever the level; the control created by ProgID; the
# host's status and the client's version read beside it; DLLs planted beside
# the control and the host never loaded; every key the package wrote against
# what regsvr32 and MivoBridge --register write; a downgrade refused; a repair
# changing nothing; removal leaving registry and files as they were; the
# user's UserData.xml untouched throughout. Then every signature (one
# version's timestamped by a test authority), and the 32-bit package's rows.
#   package_test.sh SOURCE BUILD     (BUILD holds the 32-bit build, BUILD/x64 the 64-bit one)
set -uo pipefail
src="$(realpath "$1")" build="$(realpath "$2")"
export MV_ROOT="$src"
work="$build/x64/package-test"
rm -rf "$work"; mkdir -p "$work"
state() { node "$src/tests/package/prefix_state.js" "$@"; }
# Cases run in subshells: each failure is a line here.
fail() { echo "FAIL [$case]: $*"; echo "$case" >>"$work/failures"; }

version="$(sed -n 's/^MV_VERSION:STRING=//p' "$build/CMakeCache.txt")"
old=0.0.1
[ "$version" != "$old" ] || { echo "the product version must be above $old"; exit 1; }
bash "$src/tools/package/make-package.sh" "$build" "$version" "$work/$version" >/dev/null || exit 1
# The older packages are signed with timestamps from a test authority on loopback.
coproc tsa { exec node "$src/tests/package/timestamp_authority.js" "$work/tsa"; }
read -r -t 60 tsa_url <&"${tsa[0]}" || { echo "the test time-stamp authority did not start"; exit 1; }
MV_SIGN_TIMESTAMP_URL="$tsa_url" bash "$src/tools/package/make-package.sh" "$build" "$old" "$work/$old" >/dev/null
signed=$?
kill "$tsa_PID"
[ $signed -eq 0 ] || exit 1
new="$work/$version/MivoDetector-$version-x64.msi"

probe="$work/probe.js" idle="$work/idle.js"
printf '%s\n' 'var d = new ActiveXObject("MiVoVA.MiVoDector");' \
    'WScript.Echo((d.IsInstalled() ? "INSTALLED " : "ABSENT ") + d.GetMivoVAVersion());' >"$probe"
echo 'WScript.Echo("");' >"$idle"
# One frame for a host: the client's version, for a page, through the control.
frame='{"id":1,"method":"GetMivoVAVersion","args":[],"origin":"https://www.example.com"}'

# use PREFIX x64|x86 [client|hkcu]: a fresh prefix of the package's
# architecture, with a client installation if asked; hkcu: its files, but
# only the user's path to it, naming another folder. The script host
# registers its own type library when it first runs: that happens here,
# before anything is compared.
use() {
    export MV_PREFIX="$work/$1"
    if [ "$2" = x64 ]; then export MV_WINEARCH=win64 MV_BUILD="$build/x64"
    else export MV_WINEARCH=win32 MV_BUILD="$build"; unset WINELOADER; local w64="$src/tools/wine64:"; PATH="${PATH//"$w64"/}"; fi
    source "$src/tools/wine-env.sh"
    "$src/tools/prefix.sh" up "$MV_PREFIX" >/dev/null
    source "$src/tools/demo/client-install.sh"
    case "${3:-}" in
        client) { mv_install_client_files && mv_install_client_registry; } || fail "client installation" ;;
        hkcu) { mv_install_client_files && MV_CLIENT_PATHS=none mv_install_client_registry &&
                mv_wine reg add 'HKCU\Software\MIVO\MiVoVA' /v Path /d 'C:\users\Public\Mivo' /f >/dev/null; } ||
                  fail "client installation" ;;
    esac
    mv_wine cscript //nologo "$(winepath -w "$idle")" >/dev/null 2>&1
}
stop() { "$src/tools/prefix.sh" down "$MV_PREFIX" >/dev/null 2>&1; }
snap() { stop; state snap "$MV_PREFIX" "$work/$1.json"; }
msi() { local ui="$1"; shift; timeout 300 wine msiexec "$@" "/$ui" </dev/null >/dev/null 2>&1; }
win() { winepath -w "$1" 2>/dev/null; }

# The reference: what registration itself writes, per scope, in a fresh prefix.
for scope in user machine; do
    case="registration $scope"
    use "ref-$scope" x64 client
    snap "ref-$scope-0"
    cp "$build/x64/MivoDetector64.dll" "$build/x64/MivoBridge64.exe" "$MV_CLIENT_DIR/"
    if [ "$scope" = user ]; then reg=(/n /i:user) host=(); else reg=() host=(--machine); fi
    mv_wine regsvr32 /s "${reg[@]}" "$MV_CLIENT_WIN\\MivoDetector64.dll" >/dev/null 2>&1 || fail "regsvr32"
    mv_wine "$MV_CLIENT_WIN\\MivoBridge64.exe" --register "${host[@]}" >/dev/null 2>&1 || fail "--register"
    snap "ref-$scope-1"
done

# IsInstalled by ProgID: Wine 8's COM does not activate a class registered
# for the user alone (regsvr32 /n /i:user fails the same way), so only the
# per-machine cases can check it. qr would run the UI sequence before the
# execute sequence, as a double-click does; under Wine 8 here an msiexec with
# any UI did not exit after its install, so the rows take qn alone for now.
# name       arch scope    client  properties          IsInstalled  UI levels  folder the files go to
cases=(
    "user      x64  user     client  -                   -            qn         C:\\Program Files\\Mivo"
    "machine   x64  machine  client  NOEXTENSIONKEYS=1   INSTALLED    qn         C:\\Program Files\\Mivo"
    "noclient  x64  machine  none    -                   ABSENT       qn         C:\\Program Files\\MivoDetector"
    "hkcuonly  x64  machine  hkcu    -                   -            qn         C:\\Program Files\\MivoDetector"
    "user32    x86  user     client  -                   -            qn         C:\\Program Files\\Mivo"
    "machine32 x86  machine  client  -                   INSTALLED    qn         C:\\Program Files\\Mivo"
)
# The version the control reads beside the client's files, packed as it answers it.
IFS=. read -r a b c d <<<"$(MV_BUILD= source "$src/tools/demo/client-install.sh"; echo "$MV_FACT_VERSION")"
packed=$(((a << 24) | (b << 16) | (c << 8) | d))
for row in "${cases[@]}"; do (
    read -r name arch scope client props expected levels folder <<<"$row"
    if [ "$arch" = x86 ] && [ "$("$src/tools/wine-arch.sh")" != win32 ]; then
        echo "NOT RUN [$name]: this machine runs no 32-bit code"; exit
    fi
    args=(); [ "$scope" = machine ] && args+=(ALLUSERS=1); [ "$props" = - ] || args+=("$props")
    new="$work/$version/MivoDetector-$version-$arch.msi" older="$work/$old/MivoDetector-$old-$arch.msi"
    staged="$work/$version/package-$version/$arch"
    case="$name"
    use "$name" "$arch" "$client"
    userdata="$(echo "$MV_PREFIX"/drive_c/users/[!P]*/Documents)/Mivo影音/config/UserData.xml"
    mkdir -p "$(dirname "$userdata")" && printf '<?xml version="1.0"?>\r\n<r k="\xe5\xbd\xb1"/>' >"$userdata"
    cp "$userdata" "$work/$name-userdata"
    snap "$name-0"
    dir="$MV_PREFIX/drive_c/$(echo "${folder#C:\\}" | tr '\\' /)"
    host="$(basename "$staged"/*.exe)"
    [ "$folder" = "$MV_CLIENT_WIN" ] && version_read=$packed || version_read=0

    for ui in ${levels//,/ }; do
        case="$name /$ui"
        msi "$ui" /i "$(win "$older")" "${args[@]}" || fail "the older package did not install"
        msi "$ui" /i "$(win "$new")" "${args[@]}" /l*v "$(win "$work/$name-$ui-upgrade.log")" || fail "the upgrade did not install"
        msi "$ui" /i "$(win "$older")" "${args[@]}" && fail "a downgrade was accepted"

        for file in "$staged"/*.{dll,exe,json}; do
            cmp -s "$file" "$dir/$(basename "$file")" || fail "$(basename "$file") is not the new one in $folder"
        done
        mv_wine "$(win "$dir/$host")" --status >"$work/status" 2>&1 || fail "--status: $(cat "$work/status")"
        grep -q "READY for Chrome, Chromium, Edge, Firefox" "$work/status" || fail "the host is not ready everywhere"
        # Wine told to prefer a version.dll or urlmon.dll it finds, as Windows
        # does for a DLL that is not a KnownDLL: none planted beside the control
        # (created by COM) or the host may load, while both read the client's
        # version. Beside the host urlmon.dll only: Wine's own user32 imports
        # version.dll and takes it from the program's folder at start.
        planted="$MV_BUILD/tests/fixtures/planted_dlls"
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;version,urlmon=n,b"
        cp "$planted/urlmon.dll" "$dir/"
        printf "\\x$(printf %02x ${#frame})\\x00\\x00\\x00%s" "$frame" | timeout 60 wine "$(win "$dir/$host")" >"$work/answer" 2>/dev/null
        grep -aq "\"result\": *$version_read[,}]" "$work/answer" || fail "the host read no version $version_read beside its control: $(tr -cd '[:print:]' <"$work/answer")"
        cp "$planted/version.dll" "$dir/"
        if [ "$expected" != - ]; then
            answer="$(mv_wine cscript //nologo "$(win "$probe")" 2>&1 | tr -d "\r")"
            [ "$answer" = "$expected $version_read" ] || fail "IsInstalled and the version by ProgID: $answer"
        fi
        export WINEDLLOVERRIDES="${WINEDLLOVERRIDES%;*}"
        for dll in version urlmon; do [ ! -e "$dir/$dll.dll.loaded" ] || fail "the $dll.dll planted beside them was loaded"; done
        rm -f "$dir"/{version,urlmon}.dll*
        snap "$name-1"
        if [ "$client" = client ] && [ "$arch" = x64 ]; then
            state match "$work/$name-0.json" "$work/$name-1.json" "$work/ref-$scope-0.json" "$work/ref-$scope-1.json" "$scope" ||
                fail "the package's keys differ from registration's"
        fi
        listed="$(grep -o 'uninstall\\\\{[^}]*}|\\"display[a-z]*\\"=\\"[^\\]*' "$work/$name-1.json" | sed 's/.*=\\"//' | sort | tr '\n' ' ')"
        [ "$listed" = "$version MivoDetector " ] || fail "installed programs list: $listed"
        offers="$(grep -o 'extensions\\\\[a-p]*|\\"update_url' "$work/$name-1.json" | wc -l)"
        [ "$offers" = "$([ "$props" = NOEXTENSIONKEYS=1 ] && echo 0 || echo 2)" ] || fail "$offers extension offers"

        # A repair (Wine's msiexec refuses /fa, exit 69; this is the same).
        msi "$ui" /i "$(win "$new")" REINSTALL=ALL REINSTALLMODE=amus "${args[@]}" || fail "the repair failed"
        snap "$name-r"
        state same "$work/$name-1.json" "$work/$name-r.json" || fail "the repair changed the prefix (above)"
        msi "$ui" /x "$(win "$new")" "${args[@]}" || fail "removal failed"
        snap "$name-2"
        state same "$work/$name-0.json" "$work/$name-2.json" || fail "removal left the prefix changed (above)"
        cmp -s "$userdata" "$work/$name-userdata" || fail "UserData.xml changed"
    done
    stop
) done

case=signatures
cert="$build/MivoDetector-test-signing-cert.pem"
verify() { osslsigncode verify -CAfile "$cert" -TSA-CAfile "$work/tsa/tsa.pem" "$@" >/dev/null 2>&1; }
# A day after the certificate expires, only a timestamped signature verifies.
expired=$(($(date -d "$(openssl x509 -enddate -noout -in "$cert" | cut -d= -f2)" +%s) + 86400))
for file in "$work"/{"$version","$old"}/*.msi "$work"/{"$version","$old"}/package-*/*/*.{dll,exe}; do
    verify -in "$file" || fail "$file does not verify"
    if [[ "$file" == "$work/$old/"* ]]; then verify -time "$expired" -in "$file" || fail "$file has no valid timestamp"
    else verify -time "$expired" -in "$file" && fail "$file verifies after its certificate expired"; fi
    tampered="$work/tampered.${file##*.}"
    if [ "${file##*.}" = msi ]; then
        cp "$file" "$tampered" && msibuild "$tampered" -q "UPDATE \`Property\` SET \`Value\` = 'X' WHERE \`Property\` = 'ProductName'"
    else
        node -e 'const fs = require("fs"), b = fs.readFileSync(process.argv[1]); b[b.length >> 1] ^= 1; fs.writeFileSync(process.argv[2], b)' "$file" "$tampered"
    fi
    verify -in "$tampered" && fail "a changed $(basename "$file") still verifies"
done

# The 32-bit package's tables must hold the 64-bit package's 32-bit rows,
# with its own host.
case=x86
x86="$work/$version/MivoDetector-$version-x86.msi"
rows() { (mkdir -p "$work/dump-$2" && cd "$work/dump-$2" && msidump "$1" >/dev/null && tail -n +4 Registry.idt | cut -f2- | sort); }
diff <(rows "$new" x64 | grep -P '\t(Control32|Host|ExtensionOffer)\r?$') <(rows "$x86" x86) >/dev/null || fail "its registry rows differ"
msiinfo export "$x86" File | grep -q 'MivoBridge.exe' || fail "no MivoBridge.exe"
case=downgrade
msiinfo export "$new" LaunchCondition | grep -q "A newer version of MivoDetector is already installed" ||
    fail "a downgrade is refused without saying why"

failures=$(cat "$work/failures" 2>/dev/null | wc -l)
[ $failures -eq 0 ] && echo "package tests passed" || echo "$failures failures"
[ $failures -eq 0 ]
