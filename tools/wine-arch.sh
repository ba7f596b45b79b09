#!/usr/bin/env bash
# Prints the Wine architecture this machine can test with: win32 where the
# 32-bit Wine loader runs natively, win64 where the kernel runs no 32-bit code.
# A 32-bit program handed to an emulator through binfmt_misc counts as not
# running: Wine under a user-mode emulator is far too slow to test with.
for handler in /proc/sys/fs/binfmt_misc/*; do
    grep -qs '^magic 7f454c4601010100000000000000000002000300' "$handler" &&
        grep -qsx enabled "$handler" && { echo win64; exit 0; }
done
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo win32; else echo win64; fi
