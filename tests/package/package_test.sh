#!/usr/bin/env bash
# The installer packages under Wine's msiexec /qn, each case in fresh 64-bit
# prefixes of its own: an older package, then the current one over it; the
# control created by ProgID; the host's status; every key the package wrote
# against what regsvr32 and MivoBridge --register write; a downgrade refused;
# removal leaving registry and files as they were; the user's UserData.xml
# untouched throughout. Then every signature, and the 32-bit package's rows.
#   package_test.sh SOURCE BUILD     (BUILD holds the 32-bit build, BUILD/x64 the 64-bit one)
set -uo pipefail
src="$(realpath "$1")" build="$(realpath "$2")"
export MV_ROOT="$src" MV_BUILD="$build/x64" MV_WINEARCH=win64
work="$build/x64/package-test"
rm -rf "$work"; mkdir -p "$work"
state() { node "$src/tests/package/prefix_state.js" "$@"; }
failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }

version="$(sed -n 's/^MV_VERSION:STRING=//p' "$build/CMakeCache.txt")"
old=0.0.1
[ "$version" != "$old" ] || { echo "the product version must be above $old"; exit 1; }
for v in "$version" "$old"; do
    bash "$src/tools/package/make-package.sh" "$build" "$v" "$work/$v" >/dev/null || exit 1
done
new="$work/$version/MivoDetector-$version-x64.msi" older="$work/$old/MivoDetector-$old-x64.msi"

probe="$work/probe.js" idle="$work/idle.js"
printf '%s\n' 'WScript.Echo(new ActiveXObject("MiVoVA.MiVoDector").IsInstalled() ? "INSTALLED" : "ABSENT");' >"$probe"
echo 'WScript.Echo("");' >"$idle"

# use PREFIX [client]: a fresh prefix, with a client installation if asked.
# The script host registers its own type library when it first runs: that
# happens here, before anything is compared.
use() {
    export MV_PREFIX="$work/$1"
    source "$src/tools/wine-env.sh"
    "$src/tools/prefix.sh" up "$MV_PREFIX" >/dev/null
    source "$src/tools/demo/client-install.sh"
    [ "${2:-}" != client ] || { mv_install_client_files && mv_install_client_registry; } || fail "client installation"
    mv_wine cscript //nologo "$(winepath -w "$idle")" >/dev/null 2>&1
}
stop() { "$src/tools/prefix.sh" down "$MV_PREFIX" >/dev/null 2>&1; }
snap() { stop; state snap "$MV_PREFIX" "$work/$1.json"; }
msi() { timeout 300 wine msiexec "$@" /qn </dev/null >/dev/null 2>&1; }
win() { winepath -w "$1" 2>/dev/null; }

# The reference: what registration itself writes, per scope, in a fresh prefix.
for scope in user machine; do
    case="registration $scope"
    use "ref-$scope" client
    snap "ref-$scope-0"
    cp "$build/x64/MivoDetector64.dll" "$build/x64/MivoBridge64.exe" "$MV_CLIENT_DIR/"
    if [ "$scope" = user ]; then reg=(/n /i:user) host=(); else reg=() host=(--machine); fi
    mv_wine regsvr32 /s "${reg[@]}" "$MV_CLIENT_WIN\\MivoDetector64.dll" >/dev/null 2>&1 || fail "regsvr32"
    mv_wine "$MV_CLIENT_WIN\\MivoBridge64.exe" --register "${host[@]}" >/dev/null 2>&1 || fail "--register"
    snap "ref-$scope-1"
done

# IsInstalled by ProgID: Wine 8's COM does not activate a class registered
# for the user alone (regsvr32 /n /i:user fails the same way), so only the
# per-machine cases can check it.
# name       scope    client  properties          IsInstalled  folder the files go to
cases=(
    "user      user     client  -                   -            C:\\Program Files\\Mivo"
    "machine   machine  client  NOEXTENSIONKEYS=1   INSTALLED    C:\\Program Files\\Mivo"
    "noclient  machine  none    -                   ABSENT       C:\\Program Files\\MivoDetector"
)
for row in "${cases[@]}"; do
    read -r case scope client props expected folder <<<"$row"
    args=(); [ "$scope" = machine ] && args+=(ALLUSERS=1); [ "$props" = - ] || args+=("$props")
    use "$case" "$client"
    userdata="$(echo "$MV_PREFIX"/drive_c/users/[!P]*/Documents)/Mivo影音/config/UserData.xml"
    mkdir -p "$(dirname "$userdata")" && printf '<?xml version="1.0"?>\r\n<r k="\xe5\xbd\xb1"/>' >"$userdata"
    cp "$userdata" "$work/$case-userdata"
    snap "$case-0"

    msi /i "$(win "$older")" "${args[@]}" || fail "the older package did not install"
    msi /i "$(win "$new")" "${args[@]}" /l*v "$(win "$work/$case-upgrade.log")" || fail "the upgrade did not install"
    msi /i "$(win "$older")" "${args[@]}" && fail "a downgrade was accepted"

    dir="$(compgen -G "$MV_PREFIX/drive_c/$(echo "${folder#C:\\}" | tr '\\' /)" | head -1)"
    for file in "$work/$version/package-$version/x64"/*.{dll,exe,json}; do
        cmp -s "$file" "$dir/$(basename "$file")" || fail "$(basename "$file") is not the new one in $folder"
    done
    if [ "$expected" != - ]; then
        answer="$(mv_wine cscript //nologo "$(win "$probe")" 2>&1 | tr -d "\r")"
        [ "$answer" = "$expected" ] || fail "IsInstalled by ProgID: $answer"
    fi
    mv_wine "$(win "$dir/MivoBridge64.exe")" --status >"$work/$case-status" 2>&1 || fail "--status: $(cat "$work/$case-status")"
    grep -q "READY for Chrome, Chromium, Edge, Firefox" "$work/$case-status" || fail "the host is not ready everywhere"
    snap "$case-1"
    if [ "$client" = client ]; then
        state match "$work/$case-0.json" "$work/$case-1.json" "$work/ref-$scope-0.json" "$work/ref-$scope-1.json" "$scope" ||
            fail "the package's keys differ from registration's"
    fi
    listed="$(grep -o 'uninstall\\\\{[^}]*}|\\"display[a-z]*\\"=\\"[^\\]*' "$work/$case-1.json" | sed 's/.*=\\"//' | sort | tr '\n' ' ')"
    [ "$listed" = "$version MivoDetector " ] || fail "installed programs list: $listed"
    offers="$(grep -o 'extensions\\\\[a-p]*|\\"update_url' "$work/$case-1.json" | wc -l)"
    [ "$offers" = "$([ "$props" = NOEXTENSIONKEYS=1 ] && echo 0 || echo 2)" ] || fail "$offers extension offers"

    msi /x "$(win "$new")" "${args[@]}" || fail "removal failed"
    snap "$case-2"
    state same "$work/$case-0.json" "$work/$case-2.json" || fail "removal left the prefix changed (above)"
    cmp -s "$userdata" "$work/$case-userdata" || fail "UserData.xml changed"
done

case=signatures
cert="$build/MivoDetector-test-signing-cert.pem"
for file in "$work/$version"/*.msi "$work/$version/package-$version"/*/*.{dll,exe}; do
    osslsigncode verify -CAfile "$cert" -in "$file" >/dev/null 2>&1 || fail "$file does not verify"
    tampered="$work/tampered.${file##*.}"
    if [ "${file##*.}" = msi ]; then
        cp "$file" "$tampered" && msibuild "$tampered" -q "UPDATE \`Property\` SET \`Value\` = 'X' WHERE \`Property\` = 'ProductName'"
    else
        node -e 'const fs = require("fs"), b = fs.readFileSync(process.argv[1]); b[b.length >> 1] ^= 1; fs.writeFileSync(process.argv[2], b)' "$file" "$tampered"
    fi
    osslsigncode verify -CAfile "$cert" -in "$tampered" >/dev/null 2>&1 && fail "a changed $(basename "$file") still verifies"
done

# The 32-bit package cannot run here: its tables must hold the 64-bit
# package's 32-bit rows, with its own host.
case=x86
x86="$work/$version/MivoDetector-$version-x86.msi"
rows() { (mkdir -p "$work/dump-$2" && cd "$work/dump-$2" && msidump "$1" >/dev/null && tail -n +4 Registry.idt | cut -f2- | sort); }
diff <(rows "$new" x64 | grep -P '\t(Control32|Host|ExtensionOffer)\r?$') <(rows "$x86" x86) >/dev/null || fail "its registry rows differ"
msiinfo export "$x86" File | grep -q 'MivoBridge.exe' || fail "no MivoBridge.exe"
case=downgrade
msiinfo export "$new" LaunchCondition | grep -q "A newer version of MivoDetector is already installed" ||
    fail "a downgrade is refused without saying why"

stop
[ $failures -eq 0 ] && echo "package tests passed" || echo "$failures failures"
[ $failures -eq 0 ]
