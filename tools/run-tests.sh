#!/usr/bin/env bash
# make test: the CTest suites of both builds, each in prefixes under its own tree.
#   run-tests.sh BUILD [CTEST ARGUMENTS...]
# The 64-bit suite (BUILD/x64, under wine64, with the packages and smoke32)
# runs on every machine; the 32-bit suite (BUILD) where the kernel runs 32-bit
# code (tools/wine-arch.sh). Where both run they run side by side, each line
# marked with its suite: they share no prefix, and most of a test's time is
# Wine starting, so two cores finish both in little more than the longer one.
# Ends with one line per suite; fails when anything failed (a smoke that
# cannot run here only with CI=true, as smoke32.sh decides).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:?usage: run-tests.sh BUILD [CTEST ARGUMENTS...]}")"
shift
logs="$build/test-logs"
mkdir -p "$logs"

suite() { # NAME DIR: CTest in DIR, its lines marked with NAME, its status in a file
    (cd "$2" && ctest --output-on-failure --timeout 900 "${@:3}"; echo $? >"$logs/$1.status") 2>&1 |
        tee "$logs/$1.log" | sed -u "s/^/[$1] /"
}

# One line: how many ran and passed, or why not.
summary() { # NAME WHAT
    local log="$logs/$1.log" status line total failed
    status="$(cat "$logs/$1.status" 2>/dev/null || echo '?')"
    line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
    if [ -z "$line" ]; then
        echo "$2: FAILED, no test ran (ctest exit $status; $log)"; return 1
    fi
    total="${line##* out of }" failed="$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")"
    local skipped; skipped="$(grep -cE '\*\*\*Skipped|\*\*\*Not Run' "$log")"
    local text="$2: $total tests, $((total - failed - skipped)) passed"
    [ "$skipped" -eq 0 ] || text+=", $skipped not run"
    [ "$failed" -eq 0 ] || text+=", $failed FAILED: $(grep -E '^[[:space:]]+[0-9]+ - ' "$log" | sed -E 's/^[[:space:]]+[0-9]+ - ([^ ]+).*/\1/' | paste -sd ' ')"
    echo "$text"
    [ "$status" = 0 ]
}

if [ "$("$root/tools/wine-arch.sh")" = win32 ]; then
    run32=yes how32=natively
else
    run32=no how32="under qemu in a user namespace"
fi
started=$(date +%s)
rm -f "$logs"/*.status
[ $run32 = no ] || suite 32-bit "$build" "$@" &
suite 64-bit "$build/x64" "$@"
wait

echo "== make test ($(( $(date +%s) - started )) s)"
failures=0
if [ $run32 = yes ]; then
    summary 32-bit "32-bit suite ($build, wine)" || failures=$((failures + 1))
else
    echo "32-bit suite: NOT RUN, this kernel runs no 32-bit code (tools/wine-arch.sh); the 64-bit suite and smoke32 cover it"
fi
packages="$(grep -oE 'Test +#[0-9]+: package_tests \.+ *[^0-9]+' "$logs/64-bit.log" | sed -E 's/.*\.+ *//; s/^\*+//; s/ +$//')"
summary 64-bit "64-bit suite ($build/x64, wine64; package_tests: ${packages:-not selected})" || failures=$((failures + 1))
smoke="$(grep -E 'Test +#[0-9]+: smoke32 ' "$logs/64-bit.log" | tail -n 1)"
case "$smoke" in
    *Passed*) echo "smoke32: passed, the shipped 32-bit files run $how32" ;;
    *Skipped* | *"Not Run"*) echo "smoke32: NOT RUN, 32-bit programs cannot run here: $("$root/tools/run32.sh" --check)" ;;
    "") echo "smoke32: not selected" ;;
    *) echo "smoke32: FAILED ($how32; $logs/64-bit.log)" ;;
esac
[ $failures -eq 0 ]
