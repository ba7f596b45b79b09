# Sourced by the scripts that run Wine. Everything Wine touches lives under
# the build tree: the prefix, a redirected HOME and its XDG folders.
# MV_PREFIX picks the prefix; the default is the shared test prefix.
MV_ROOT="${MV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
# Some machines run no 32-bit Linux code at all (the kernel's IA-32
# emulation is off), so the 32-bit Wine loader cannot start. There the tests
# and the demo run the 64-bit build (build/x64, MivoDetector64.dll and
# MivoBridge64.exe) under wine64 in a 64-bit prefix.
export MV_WINEARCH="${MV_WINEARCH:-$("$MV_ROOT/tools/wine-arch.sh")}"
if [ "$MV_WINEARCH" = win64 ]; then
    MV_BUILD="${MV_BUILD:-$MV_ROOT/build/x64}"
    MV_CONTROL_FILE=MivoDetector64.dll MV_BRIDGE_FILE=MivoBridge64.exe
    export WINELOADER=/usr/lib/wine/wine64
    case ":$PATH:" in *":$MV_ROOT/tools/wine64:"*) ;; *) export PATH="$MV_ROOT/tools/wine64:$PATH" ;; esac
else
    MV_BUILD="${MV_BUILD:-$MV_ROOT/build}"
    MV_CONTROL_FILE=MivoDetector.dll MV_BRIDGE_FILE=MivoBridge.exe
fi
export MV_BUILD MV_CONTROL_FILE MV_BRIDGE_FILE
export WINEPREFIX="${MV_PREFIX:-$MV_BUILD/wine/prefix}"
export WINEARCH="$MV_WINEARCH"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$WINEPREFIX.home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
unset DISPLAY WAYLAND_DISPLAY
