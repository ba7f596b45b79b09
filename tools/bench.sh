#!/usr/bin/env bash
# Runs every benchmark under Wine in a fresh prefix of its own.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
prefix="$MV_BUILD/wine/bench-prefix"
"$here/prefix.sh" up "$prefix"
trap '"$here/prefix.sh" down "$prefix"' EXIT
status=0
for exe in "$MV_BUILD"/bench/*.exe; do
    [ -e "$exe" ] || continue
    [ -n "${1:-}" ] && [[ "$(basename "$exe")" != *"$1"* ]] && continue
    echo "== $(basename "$exe" .exe)"
    MV_PREFIX="$prefix" "$here/wine-exec" "$exe" || status=1
done
# The browser road: headless Chromium, the extension and MivoBridge.exe (a prefix of its own).
if [ -z "${1:-}" ] || [[ browser == *"$1"* ]]; then
    echo "== browser"
    node "$here/../bench/browser/browser_bench.js" || status=1
fi
exit $status
