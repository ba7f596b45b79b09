#!/usr/bin/env bash
# Throwaway Wine prefixes for tests and the demo.
#   prefix.sh up   [DIR]  fresh prefix at DIR (copied from a template made once),
#                         with its wineserver kept alive
#   prefix.sh down [DIR]  stop that prefix's wineserver and everything in it
#   prefix.sh copy DIR    fresh prefix at DIR without starting it
# DIR defaults to build/wine/prefix.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cmd="${1:?usage: prefix.sh up|down|copy [DIR]}"
# Wine needs an absolute prefix path; a relative one would be a different prefix per directory.
[ $# -ge 2 ] && export MV_PREFIX="$(realpath -m "$2")"
source "$here/wine-env.sh"
template="$MV_BUILD/wine/template"

# Wine's helper services inherit our descriptors and would keep a caller's
# pipe open for ever: start them detached, with no stdio of ours.
detached() { setsid "$@" </dev/null >/dev/null 2>&1 9>&-; }

make_template() {
    [ -f "$template/.ready" ] && return 0
    # Cases that each make their own prefix may meet here: one builds the
    # template, the others wait for it.
    mkdir -p "$(dirname "$template")"
    exec 9>"$template.lock"
    flock 9
    [ -f "$template/.ready" ] && { exec 9>&-; return 0; }
    rm -rf "$template" "$template.home"
    mkdir -p "$template.home"
    WINEPREFIX="$template" HOME="$template.home" XDG_CONFIG_HOME="$template.home/.config" \
        detached wineboot -i
    WINEPREFIX="$template" HOME="$template.home" XDG_CONFIG_HOME="$template.home/.config" \
        detached wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    WINEPREFIX="$template" detached wineserver -w
    # The new prefix links Desktop, Documents, ... to HOME: make them real
    # folders inside the prefix so nothing reaches a home directory.
    local users="$template/drive_c/users"
    for link in "$users"/*/*; do
        if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
    touch "$template/.ready"
    exec 9>&-
}

stop() {
    if [ -d "$WINEPREFIX" ]; then
        detached wineserver -k || true
        detached wineserver -w || true
    fi
}

fresh() {
    make_template
    stop
    rm -rf "$WINEPREFIX" "$HOME"
    mkdir -p "$(dirname "$WINEPREFIX")" "$HOME"
    cp -a "$template" "$WINEPREFIX"
    # Wine remembers the prefix path in a few places; a copy works as long as
    # nothing refers to the template by its own path.
    rm -f "$WINEPREFIX/.ready"
}

case "$cmd" in
    up)
        fresh
        detached wineserver -p
        detached wine cmd /c exit
        ;;
    copy) fresh ;;
    down) stop ;;
    *) echo "usage: prefix.sh up|down|copy [DIR]" >&2; exit 2 ;;
esac
