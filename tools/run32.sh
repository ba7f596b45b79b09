#!/usr/bin/env bash
# Runs a command where Wine can start 32-bit programs.
#   run32.sh --check       says in one line why it cannot, and fails; else nothing
#   run32.sh COMMAND...    runs COMMAND there, with its exit status
#
# Where the kernel runs 32-bit code, that is here. Where it does not, it is a
# private user namespace in which i386 ELF programs (Wine's 32-bit loader) are
# handed to qemu-i386 (9.1 or later; see tools/install-deps.sh for why not
# the release's 7.2, and for where it may be: MV_QEMU_I386 names another): since Linux 6.7 each user namespace has its own
# binfmt_misc, so the handler is seen by nothing outside and goes with the
# namespace. The namespace has its own PIDs too: when COMMAND ends, the kernel
# ends whatever it left running (a wineserver, a client), and the mounts go
# with the last process.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
loader=/usr/lib/wine/wine
# The first qemu-i386 new enough: qemu-user's, qemu-user-static's, or the one
# install-deps.sh unpacked under build/qemu.
qemu=
for candidate in ${MV_QEMU_I386:-} /usr/bin/qemu-i386 /usr/bin/qemu-i386-static "$root/build/qemu/usr/bin/qemu-i386"; do
    version="$("$candidate" -version 2>/dev/null | sed -n '1s/.*version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')" || true
    read -r major minor <<<"${version:-0 0}"
    if [ "$major" -gt 9 ] || { [ "$major" -eq 9 ] && [ "$minor" -ge 1 ]; }; then qemu="$candidate"; break; fi
done
# binfmt_misc reads the \xHH escapes itself.
handler=':mivo-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F'

native() { "$loader" --version >/dev/null 2>&1; }

in_namespace() {
    # Runs as root of the new namespace; the status tells what failed.
    unshare --user --map-root-user --mount --propagation private --pid --fork --mount-proc \
        sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || exit 121
               printf "%s" "$0" >/proc/sys/fs/binfmt_misc/register 2>/dev/null || exit 122
               exec "$@"' "$handler" "$@"
}

# Prints why emulation cannot be set up, or nothing when it can.
why_not() {
    native && return 0
    [ -x "$loader" ] || { echo "Wine's 32-bit loader ($loader) is not installed"; return 0; }
    [ -n "$qemu" ] || { echo "no qemu-i386 9.1 or later (tools/install-deps.sh installs one)"; return 0; }
    command -v unshare >/dev/null || { echo "unshare is not installed"; return 0; }
    local status=0
    in_namespace "$loader" --version >/dev/null 2>&1 || status=$?
    case $status in
        0) ;;
        121) echo "binfmt_misc cannot be mounted in a user namespace (Linux 6.7 or later needed)" ;;
        122) echo "the i386 handler cannot be registered in the namespace's binfmt_misc" ;;
        *) echo "no private user namespace can be made here (unshare exit $status: not root, or user namespaces off)" ;;
    esac
}

case "${1:?usage: run32.sh --check | COMMAND...}" in
    --check)
        reason="$(why_not)"
        [ -z "$reason" ] || { echo "$reason"; exit 1; }
        ;;
    *)
        if native; then exec "$@"; fi
        in_namespace "$@"
        ;;
esac
