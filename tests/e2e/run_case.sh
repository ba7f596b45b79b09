#!/usr/bin/env bash
# One end-to-end case: a Wine prefix of its own, a client installation with
# the control beside it, registration, then cscript steps in order.
#
#   run_case.sh NAME [--no-client] [--register machine|user|none]
#               [--control-apart] [--no-client-paths] STEP...
#
# --control-apart puts the control in a folder of its own, not the client's;
# --no-client-paths installs the client without recording its folder.
# STEP is a .js or .vbs file, run by cscript in its own process with the
# check helpers (lib.js / lib.vbs) in front and a closing line behind. The
# host exits 0 even when a script dies of an uncaught error, so a step passes
# only when that closing line was reached and printed its end marker. A step
# written !FILE must die instead: it passes when some check passed and the end
# marker is missing.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
name="${1:?usage: run_case.sh NAME [options] STEP...}"
shift
client=yes register=machine
while [ $# -gt 0 ]; do
    case "$1" in
        --no-client) client=no; shift ;;
        --register) register="$2"; shift 2 ;;
        --control-apart) export MV_CONTROL_APART=yes; shift ;;
        --no-client-paths) export MV_CLIENT_PATHS=none; shift ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "run_case.sh: no steps" >&2; exit 2; }

source "$root/tools/wine-env.sh"
export MV_BUILD MV_PREFIX="$MV_BUILD/wine/e2e/$name"
work="$MV_BUILD/wine/e2e/$name.work"
source "$root/tools/wine-env.sh"
source "$root/tools/demo/client-install.sh"

cleanup() {
    "$root/tools/prefix.sh" down "$MV_PREFIX" >/dev/null 2>&1
    rm -rf "$MV_PREFIX" "$MV_PREFIX.home" "$work"
}
trap cleanup EXIT
fail() { echo "E2E $name: $*" >&2; exit 1; }

"$root/tools/prefix.sh" up "$MV_PREFIX" || fail "no prefix"
mkdir -p "$work"
if [ "$client" = yes ]; then
    mv_install_client || fail "client installation failed"
fi
mv_install_control || fail "control not installed"
case "$register" in
    none) ;;
    machine | user) mv_register "$register" || fail "regsvr32 ($register) failed" ;;
    *) fail "unknown registration '$register'" ;;
esac
export MV_E2E_CONTROL="$MV_CONTROL_WIN"

marker="E2E-STEP-COMPLETE"
status=0
for step in "$@"; do
    expect=complete
    if [ "${step#!}" != "$step" ]; then expect=dies; step="${step#!}"; fi
    source_file="$here/$step"
    ext="${step##*.}"
    combined="$work/$(basename "$step")"
    case "$ext" in
        js) { cat "$root/tools/demo/clientlog.js" "$here/lib.js" "$source_file"; printf '\nmvFinish("%s");\n' "$marker"; } >"$combined" ;;
        vbs) { cat "$here/lib.vbs" "$source_file"; printf '\r\nMvFinish "%s"\r\n' "$marker"; } >"$combined" ;;
        *) fail "unknown step type: $step" ;;
    esac
    echo "--- $step ($expect)"
    output="$work/$(basename "$step").out"
    timeout 300 wine cscript //nologo "$(winepath -w "$combined" 2>/dev/null)" </dev/null >"$output" 2>&1
    code=$?
    tr -d '\r' <"$output"
    completed=no
    grep -qx "$marker" <(tr -d '\r' <"$output") && completed=yes
    if [ "$expect" = complete ]; then
        if [ "$completed" != yes ] || [ $code -ne 0 ]; then
            echo "FAILED: $step did not run to its end (exit $code)"
            status=1
        fi
    else
        if [ "$completed" = yes ] || ! grep -q '^ok - ' <(tr -d '\r' <"$output"); then
            echo "FAILED: $step was expected to die half way"
            status=1
        fi
    fi
done
exit $status
