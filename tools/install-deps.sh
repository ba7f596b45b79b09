#!/usr/bin/env bash
# Installs the Debian packages the build and the Wine test bed need, only when
# something is missing, so a second run costs nothing.
set -euo pipefail

# wine64 and the x86_64 compiler build the 64-bit control and host, and run the
# tests on machines that run no 32-bit code (see tools/wine-arch.sh), where
# qemu runs the shipped 32-bit build (qemu_user below). wixl, msitools and
# osslsigncode build, read and sign the installer packages (openssl makes the
# test signing certificate); firefox-esr is the second browser of the
# browser-road tests.
packages=(cmake make g++-mingw-w64-i686 mingw-w64-tools libwine-dev librapidxml-dev
          googletest wine wine32:i386 nlohmann-json3-dev chromium
          wine64 g++-mingw-w64-x86-64
          wixl msitools osslsigncode openssl firefox-esr)

# qemu-user from the release's backports: its static qemu-i386 starts Wine's
# 32-bit loader in under a second where the release's 7.2 takes about a
# minute (7.2 answers each of the loader's ~46,000 "map here only if free"
# probes with a page-by-page search of the guest's address space). Installed
# without qemu-user-binfmt, which would register handlers for the machine.
qemu_user=qemu-user qemu_min=1:9.1
backports="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")-backports"

have_qemu() {
    local v
    v="$(dpkg-query -W -f='${Status} ${Version}\n' "$qemu_user" 2>/dev/null)" || return 1
    [[ "$v" == "install ok installed "* ]] && dpkg --compare-versions "${v##* }" ge "$qemu_min"
}

have_all() {
    dpkg --print-foreign-architectures | grep -qx i386 || return 1
    have_qemu || return 1
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || return 1
    done
    command -v i686-w64-mingw32-g++-posix >/dev/null || return 1
}

# The browser tests drive Debian's chromium with playwright-core and Debian's
# firefox-esr with puppeteer-core, both pinned in package-lock.json (with
# typescript for the page library's declarations, and publint,
# @arethetypeswrong/cli and esbuild for its npm package); neither downloads a
# browser.
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
if ! have_qemu; then
    if ! grep -rqs -- "$backports" /etc/apt/sources.list /etc/apt/sources.list.d; then
        printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$backports" >/etc/apt/sources.list.d/"$backports".sources
        apt-get update -qq
    fi
    # qemu-user 9.1 and later replaces the older qemu-user-static.
    apt-get install -y -qq --no-install-recommends -t "$backports" "$qemu_user" qemu-user-static- >/dev/null
fi
npm_deps
