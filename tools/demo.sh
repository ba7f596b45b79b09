#!/usr/bin/env bash
# The walk-through behind `make demo`: a sandbox Wine prefix of its own, a
# client installation in it, the control installed beside the client by its
# installer package, then a page-style script that calls every method; then
# the demo page in headless Chromium and Firefox through the extension and
# MivoBridge.exe.
#   DEMO_CLIENT=none   the same without the client installation
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
export MV_BUILD MV_PREFIX="$MV_BUILD/demo/prefix"
export MV_DEMO_CLIENT="${DEMO_CLIENT:-full}"
case "$MV_DEMO_CLIENT" in
    full | none) ;;
    *) echo "DEMO_CLIENT is 'full' (the default) or 'none', not '$MV_DEMO_CLIENT'" >&2; exit 2 ;;
esac
source "$here/wine-env.sh"
source "$here/demo/client-install.sh"

say() { printf '%s\n' "$*"; }
die() { say "The demo could not run: $*"; exit 1; }
stop_prefix() { "$here/prefix.sh" down "$MV_PREFIX" >/dev/null 2>&1; }
trap stop_prefix EXIT

say "== MivoDetector walk-through"
say "A sandbox Windows (Wine) at $MV_PREFIX; nothing outside it is touched."
"$here/prefix.sh" up "$MV_PREFIX" || die "the Wine prefix could not be made"

if [ "$MV_DEMO_CLIENT" = full ]; then
    mv_install_client || die "the client installation could not be laid out"
    say ""
    say "Installed the desktop client as its installer would:"
    say "  $MV_CLIENT_WIN\\MVPlayer.exe      a stand-in client that logs what it is told"
    say "  $MV_CLIENT_WIN\\MVVersion.dll     version $MV_FACT_VERSION"
    say "  $MV_CLIENT_WIN\\mivo.cfg          [channel] num=$MV_FACT_CHANNEL"
    say "  HKCU\\Software\\MIVO\\MiVoVA         Path, RegisterId=$MV_FACT_USER_ID,"
    say "                                     FirstInstallTime, InstallTime"
    say "  HKLM\\Software\\MIVO\\MiVoVA\\InstallPath  Path"
    say "  a desktop shortcut for playlist $MV_FACT_PLAYLIST"
else
    say ""
    say "DEMO_CLIENT=none: no client installation. The desktop client MVPlayer.exe,"
    say "its files and its registry values are absent; only the control is installed."
fi
# The package for what this Wine runs, for every user of the sandbox.
arch=x64; [ "$MV_WINEARCH" = win64 ] || arch=x86
version="$(sed -n 's/^MV_VERSION:STRING=//p' "$MV_ROOT/build/CMakeCache.txt")"
package="$MV_ROOT/build/MivoDetector-$version-$arch.msi"
[ -f "$package" ] || die "$package is missing (make package builds it)"
install=(ALLUSERS=1)
# Without a client the package would choose a folder of its own; the demo
# keeps the layout the browser road expects.
[ "$MV_DEMO_CLIENT" = full ] || install+=("INSTALLDIR=$MV_CLIENT_WIN")
timeout 300 wine msiexec /i "$(winepath -w "$package")" /qn "${install[@]}" </dev/null >/dev/null 2>&1 ||
    die "msiexec could not install $(basename "$package")"
say ""
say "Installed $(basename "$package") for every user: msiexec /i $(basename "$package") /qn ALLUSERS=1${install[1]:+ INSTALLDIR=\"$MV_CLIENT_WIN\"}"
say "  into $MV_CLIENT_WIN:"
for file in "$MV_CLIENT_DIR"/MivoDetector*.dll "$MV_CLIENT_DIR"/MivoBridge*.exe "$MV_CLIENT_DIR"/com.mivo.detector*.json; do
    [ -f "$file" ] && say "    $(basename "$file")"
done
say "  registered as data: each control's class, ProgIDs MiVoVA.MiVoDector(.1), interface and"
say "  type library, the host for Chrome, Chromium, Edge and Firefox, and the extension offered"
say "  to Chrome and Edge; Windows Installer lists it as MivoDetector $version."

export MV_DEMO_KEY="demo.lastVisit"
export MV_DEMO_VALUE="stored by the first page at $(date -u '+%H:%M:%S')"

# cscript exits 0 even when a script dies: a script's last line tells its result.
run_page() {
    local script="$1" combined="$MV_BUILD/demo/$(basename "$1")"
    cat "$here/demo/clientlog.js" "$here/demo/$script" >"$combined"
    # Into a file, not a pipe: the client the page starts inherits the
    # script's output and would hold a pipe open for as long as it runs.
    timeout 180 wine cscript //nologo "$(winepath -w "$combined" 2>/dev/null)" </dev/null >"$combined.raw" 2>&1
    tr -d '\r' <"$combined.raw" >"$combined.out"
    grep -v '^PAGE-RESULT ' "$combined.out"
    local result
    result="$(grep '^PAGE-RESULT ' "$combined.out" | tail -1 | cut -d' ' -f2)"
    [ -n "$result" ] || { say "  (the script $script stopped before its end)"; return 1; }
    return "$result"
}

say ""
say "== A page-style script (JScript, run by cscript) calls every method"
run_page page.js
page=$?
run_page second-page.js
second=$?

# The same walk-through in a browser, in the same prefix and store.
browser=0
say ""
say "== The demo page (web/demo.html) in Chromium, then Firefox, through the extension and $MV_BRIDGE_FILE"
if [ -f "$MV_BUILD/$MV_BRIDGE_FILE" ]; then
    mv_stop_client # the browser road starts the client afresh
    node "$here/demo/browser.js"
    browser=$?
else
    say "  $MV_BRIDGE_FILE is not built: no browser road."
    browser=1
fi
stop_prefix

say ""
if [ $page -eq 0 ] && [ $second -eq 0 ] && [ $browser -eq 0 ]; then
    if [ "$MV_DEMO_CLIENT" = full ]; then
        say "RESULT: all 18 methods answered as expected, through ActiveX and in Chromium and Firefox."
    else
        say "RESULT: no client is installed here, and all 18 methods answered as expected without one, on both roads."
    fi
    exit 0
fi
say "RESULT: some answers were not as expected (marked UNEXPECTED above)."
exit 1
