# Sourced by the scripts that run Wine. Everything Wine touches lives under
# the build tree: the prefix, a redirected HOME and its XDG folders.
# MV_PREFIX picks the prefix; the default is the shared test prefix.
MV_ROOT="${MV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
MV_BUILD="${MV_BUILD:-$MV_ROOT/build}"
export WINEPREFIX="${MV_PREFIX:-$MV_BUILD/wine/prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$WINEPREFIX.home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
unset DISPLAY WAYLAND_DISPLAY
