#!/usr/bin/env bash
# Installs the Debian packages the build and the Wine test bed need, only when
# something is missing, so a second run costs nothing.
set -euo pipefail

# wine64 and the x86_64 compiler build the 64-bit control and host, and run the
# tests on machines that run no 32-bit code (see tools/wine-arch.sh), where
# qemu-user-static runs the shipped 32-bit build. wixl, msitools and
# osslsigncode build, read and sign the installer packages (openssl makes the
# test signing certificate); firefox-esr is the second browser of the
# browser-road tests.
packages=(cmake make g++-mingw-w64-i686 mingw-w64-tools libwine-dev librapidxml-dev
          googletest wine wine32:i386 nlohmann-json3-dev chromium
          wine64 g++-mingw-w64-x86-64 qemu-user-static
          wixl msitools osslsigncode openssl firefox-esr)

have_all() {
    dpkg --print-foreign-architectures | grep -qx i386 || return 1
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || return 1
    done
    command -v i686-w64-mingw32-g++-posix >/dev/null || return 1
}

# The browser tests drive Debian's chromium with playwright-core and Debian's
# firefox-esr with puppeteer-core, both pinned in package-lock.json (with
# typescript for the page library's declarations); neither downloads a browser.
npm_deps() {
    local root; root="$(cd "$(dirname "$0")/.." && pwd)"
    local stamp="$root/node_modules/.package-lock.json"
    [ -f "$stamp" ] && [ "$stamp" -nt "$root/package-lock.json" ] && return 0
    command -v npm >/dev/null || { echo "install-deps: npm is missing" >&2; return 1; }
    (cd "$root" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
}

if have_all; then
    npm_deps
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages and not root; run as root: $0" >&2
    exit 1
fi

echo "install-deps: installing build and test packages (one time)"
dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
npm_deps
