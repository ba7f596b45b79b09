# Sourced after wine-env.sh (WINEPREFIX set, its wineserver up): lays out a
# client installation in that prefix, as the client's own installer would,
# and puts the control beside it. Shared by the demo and the end-to-end tests.
#
# The facts it records are exported as MV_FACT_* so that scripts check what
# the control answers against what was installed, not against copies.

MV_CLIENT_WIN='C:\Program Files\Mivo'
MV_CLIENT_DIR="$WINEPREFIX/drive_c/Program Files/Mivo"
# The control goes beside the client, or with MV_CONTROL_APART=yes into a
# folder of its own.
if [ "${MV_CONTROL_APART:-no}" = yes ]; then
    MV_CONTROL_DIR_WIN='C:\Program Files\Mivo Control'
    MV_CONTROL_DIR="$WINEPREFIX/drive_c/Program Files/Mivo Control"
else
    MV_CONTROL_DIR_WIN="$MV_CLIENT_WIN" MV_CONTROL_DIR="$MV_CLIENT_DIR"
fi
MV_CONTROL_WIN="$MV_CONTROL_DIR_WIN\\$MV_CONTROL_FILE"

export MV_FACT_DIR="$MV_CLIENT_WIN"
export MV_FACT_CLIENT="$MV_CLIENT_WIN\\MVPlayer.exe"
export MV_FACT_VERSION=2.1.0.1
export MV_FACT_USER_ID=86427531
export MV_FACT_FIRST_INSTALL="2024-03-01 09:15:42"
export MV_FACT_INSTALL="2025-11-20 18:02:07"
export MV_FACT_CHANNEL=2088
export MV_FACT_PLAYLIST=4711
export MV_FACT_SHORTCUT_ARGS="\\UrlQuickLunch=Evening news,$MV_FACT_PLAYLIST"

mv_wine() { timeout 60 wine "$@" </dev/null; }

# The stand-in client, its version resource (2.1 or later) and its configuration.
mv_install_client_files() {
    local standin="$MV_BUILD/tests/fixtures/standin_client/MVPlayer.exe"
    local version="$MV_BUILD/tests/fixtures/version_dlls/version-$MV_FACT_VERSION.dll"
    mkdir -p "$MV_CLIENT_DIR" &&
    cp "$standin" "$MV_CLIENT_DIR/MVPlayer.exe" &&
    cp "$version" "$MV_CLIENT_DIR/MVVersion.dll" &&
    printf '[channel]\r\nnum=%s\r\n' "$MV_FACT_CHANNEL" >"$MV_CLIENT_DIR/mivo.cfg"
}

# The client's installer is a 32-bit program: the machine's path goes into the
# 32-bit registry view. MV_CLIENT_PATHS=none leaves both paths out.
mv_install_client_registry() {
    local user='HKCU\Software\MIVO\MiVoVA' machine='HKLM\Software\MIVO\MiVoVA\InstallPath'
    if [ "${MV_CLIENT_PATHS:-both}" != none ]; then
        mv_wine reg add "$user" /v Path /t REG_SZ /d "$MV_CLIENT_WIN" /f >/dev/null &&
        mv_wine reg add "$machine" /v Path /t REG_SZ /d "$MV_CLIENT_WIN" /reg:32 /f >/dev/null || return 1
    fi
    mv_wine reg add "$user" /v RegisterId /t REG_DWORD /d "$MV_FACT_USER_ID" /f >/dev/null &&
    mv_wine reg add "$user" /v FirstInstallTime /t REG_SZ /d "$MV_FACT_FIRST_INSTALL" /f >/dev/null &&
    mv_wine reg add "$user" /v InstallTime /t REG_SZ /d "$MV_FACT_INSTALL" /f >/dev/null
}

mv_install_playlist_shortcut() {
    mv_wine "$MV_BUILD/tests/fixtures/shortcut_writer/MakeShortcut.exe" \
        "Mivo playlist $MV_FACT_PLAYLIST.lnk" "$MV_FACT_CLIENT" "$MV_FACT_SHORTCUT_ARGS" >/dev/null
}

mv_install_client() {
    mv_install_client_files && mv_install_client_registry && mv_install_playlist_shortcut
}

# The control goes into its folder whether or not the client is there.
mv_install_control() {
    mkdir -p "$MV_CONTROL_DIR" &&
    cp "$MV_BUILD/$MV_CONTROL_FILE" "$MV_CONTROL_DIR/$MV_CONTROL_FILE"
}

# mv_register machine|user: regsvr32 in the prefix; its status is returned.
mv_register() {
    case "$1" in
        machine) mv_wine regsvr32 /s "$MV_CONTROL_WIN" >/dev/null 2>&1 ;;
        user) mv_wine regsvr32 /s /n /i:user "$MV_CONTROL_WIN" >/dev/null 2>&1 ;;
        *) echo "mv_register: machine or user, not '$1'" >&2; return 2 ;;
    esac
}

# Closes a running stand-in client (WM_CLOSE to its window), so that the
# next command starts it again.
mv_stop_client() {
    mv_wine taskkill /im MVPlayer.exe >/dev/null 2>&1
    sleep 1
}
