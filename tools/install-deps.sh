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
# probes with a page-by-page search of the guest's address space). Only where
# the kernel runs no 32-bit code does smoke32 need it (tools/run32.sh). An
# installed qemu-user or qemu-user-static of 9.1 or later serves as it is;
# where the install would remove a package (the backports qemu-user breaks
# the release's qemu-user-static, and with it the machine's binfmt handlers)
# it is unpacked under build/qemu instead. Never qemu-user-binfmt, which
# would register handlers for the machine.
qemu_user=qemu-user qemu_min=1:9.1
root="$(cd "$(dirname "$0")/.." && pwd)"
qemu_local="$root/build/qemu"
backports="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")-backports"

needs_qemu() { [ "$("$root/tools/wine-arch.sh")" = win64 ]; }

have_qemu() {
    local p v
    for p in qemu-user qemu-user-static; do
        v="$(dpkg-query -W -f='${Status} ${Version}\n' "$p" 2>/dev/null)" || continue
        [[ "$v" == "install ok installed "* ]] && dpkg --compare-versions "${v##* }" ge "$qemu_min" && return 0
    done
    [ -x "$qemu_local/usr/bin/qemu-i386" ]
}

have_all() {
    dpkg --print-foreign-architectures | grep -qx i386 || return 1
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || return 1
    done
    command -v i686-w64-mingw32-g++-posix >/dev/null || return 1
    needs_qemu && ! have_qemu && return 1
    return 0
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
    (cd "$root" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
}

if have_all; then
    npm_deps
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages and not root; run as root: $0" >&2
    exit 1
fi

# What this run changed outside the repo, said in one line at the end.
changed=()
echo "install-deps: installing build and test packages (one time)"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    changed+=("dpkg architecture i386 added")
fi
export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    changed+=("apt installed ${missing[*]}")
fi

# The backports suite as apt uses it: a commented-out line does not count.
have_backports() { apt-cache policy 2>/dev/null | grep -q " $backports/main "; }

if needs_qemu && ! have_qemu; then
    source_file=/etc/apt/sources.list.d/"$backports".sources
    if ! have_backports && [ ! -e "$source_file" ]; then
        printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$backports" >"$source_file"
        # A release without backports (or one not known here) fails the update:
        # the source goes again, so later updates are not broken by it.
        if apt-get update -qq && have_backports; then
            changed+=("apt source $source_file added")
        else
            rm -f "$source_file"
            apt-get update -qq || true
        fi
    fi
    have_backports || { echo "install-deps: no $backports to take qemu-user from; smoke32 will not run here" >&2; exit 1; }
    # Installed only where apt would remove nothing for it.
    if apt-get install -s -t "$backports" --no-install-recommends "$qemu_user" 2>/dev/null | grep -q '^Remv '; then
        rm -rf "$qemu_local" "$qemu_local.deb" && mkdir -p "$qemu_local.deb"
        (cd "$qemu_local.deb" && apt-get download -qq -t "$backports" "$qemu_user" 2>/dev/null) &&
            dpkg-deb -x "$qemu_local.deb"/*.deb "$qemu_local" && rm -rf "$qemu_local.deb" ||
            { echo "install-deps: could not unpack $qemu_user under $qemu_local" >&2; exit 1; }
        echo "install-deps: $qemu_user unpacked under build/qemu, as installing it would remove a package"
    else
        apt-get install -y -qq --no-install-recommends -t "$backports" "$qemu_user" >/dev/null
        changed+=("apt installed $qemu_user from $backports")
    fi
fi
npm_deps
if [ ${#changed[@]} -gt 0 ]; then
    (IFS=';'; echo "install-deps: changed outside the repo:${changed[*]/#/ }")
else
    echo "install-deps: changed nothing outside the repo"
fi
