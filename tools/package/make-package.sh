#!/usr/bin/env bash
# make package: signs the controls and the hosts, then builds and signs one
# Windows Installer package per platform:
#   BUILD/MivoDetector-VERSION-x64.msi   both controls and the 64-bit host
#   BUILD/MivoDetector-VERSION-x86.msi   the 32-bit control and host
# the extension's archives for the stores (store-archive.py), and a copy of
# the page library's npm package as the build packed it
# (BUILD/mivo-detector-NPMVERSION.tgz, the build's own version).
# It signs with MV_SIGN_PKCS12 (a PKCS#12 file) and MV_SIGN_PASSWORD when
# given, else with a test certificate made here once, whose certificate stays
# in BUILD/MivoDetector-test-signing-cert.pem for anyone to verify against.
# With MV_SIGN_TIMESTAMP_URL (an RFC 3161 time-stamp authority) every
# signature is timestamped, so that it stays valid after the certificate
# expires; a release key without one is warned about.
#   make-package.sh BUILD VERSION [OUTDIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(realpath "${1:?usage: make-package.sh BUILD VERSION [OUTDIR]}")"
version="${2:?usage: make-package.sh BUILD VERSION [OUTDIR]}"
out="$(realpath -m "${3:-$build}")"
stage="$out/package-$version"
die() { echo "make-package: $*" >&2; exit 1; }

signing=()
if [ -n "${MV_SIGN_PKCS12:-}" ]; then
    [ -f "$MV_SIGN_PKCS12" ] || die "MV_SIGN_PKCS12 names no file: $MV_SIGN_PKCS12"
    description="MivoDetector"
    signing=(-pkcs12 "$MV_SIGN_PKCS12")
else
    cert="$build/MivoDetector-test-signing-cert.pem" key="$build/package-test-signing-key.pem"
    if [ ! -f "$cert" ] || [ ! -f "$key" ]; then
        openssl req -x509 -newkey rsa:3072 -sha256 -days 3650 -nodes -keyout "$key" -out "$cert" \
            -subj "/CN=MivoDetector TEST signing certificate - not trusted/O=Test only" \
            -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null ||
            die "openssl could not make the test certificate"
    fi
    description="MivoDetector (TEST signature, not from the maker)"
    signing=(-certs "$cert" -key "$key")
fi

if [ -n "${MV_SIGN_TIMESTAMP_URL:-}" ]; then
    signing+=(-ts "$MV_SIGN_TIMESTAMP_URL")
elif [ -n "${MV_SIGN_PKCS12:-}" ]; then
    echo "make-package: WARNING: signing with the release key WITHOUT a timestamp (MV_SIGN_TIMESTAMP_URL is not set):" \
         "every signature will be invalid once the certificate expires" >&2
fi

sign() { # sign IN OUT
    local in="$1" target="$2"
    rm -f "$target"
    if [ -n "${MV_SIGN_PKCS12:-}" ]; then
        osslsigncode sign "${signing[@]}" -readpass <(printf '%s' "${MV_SIGN_PASSWORD:-}") -h sha256 \
            -n "$description" -in "$in" -out "$target" >/dev/null
    else
        osslsigncode sign "${signing[@]}" -h sha256 -n "$description" -in "$in" -out "$target" >/dev/null
    fi || die "osslsigncode could not sign $in${MV_SIGN_TIMESTAMP_URL:+ (timestamped by $MV_SIGN_TIMESTAMP_URL)}"
}

# The file names each build gives its control and host.
names() { # names BUILD_TREE -> "control host"
    local header="$1/generated/ProductNames.h"
    [ -f "$header" ] || die "$header is missing: build first (make build)"
    echo $(sed -n 's/^#define MV_\(CONTROL\|BRIDGE\)_FILE_NAME "\(.*\)"$/\2/p' "$header")
}
read -r control32 host32 <<<"$(names "$build")"
read -r control64 host64 <<<"$(names "$build/x64")"

# package ARCH HOST CONTROL...: stage the files signed, lay out, build.
package() {
    local arch="$1" host="$2"; shift 2
    local dir="$stage/$arch" file
    rm -rf "$dir"; mkdir -p "$dir"
    for file in "$host" "$@"; do
        [ -f "$file" ] || die "missing $file: build it first (make build)"
        sign "$file" "$dir/$(basename "$file")"
    done
    node "$here/layout.js" --arch "$arch" --version "$version" --out "$dir" --host "$(basename "$host")" \
        --identity "$(dirname "$host")/generated/HostIdentity.json" \
        $(for file in "$@"; do echo --control "$(basename "$file")"; done)
    (cd "$dir" && wixl -a "$arch" -o unsigned.msi product.wxs 2>&1 | { grep -v 'Platform' || true; })
    [ -f "$dir/unsigned.msi" ] || die "wixl could not build the $arch package"
    msibuild "$dir/unsigned.msi" -i "$dir/Registry.idt" -i "$dir/Upgrade.idt"
    while IFS= read -r query; do msibuild "$dir/unsigned.msi" -q "$query"; done <"$dir/fixups.sql"
    sign "$dir/unsigned.msi" "$out/MivoDetector-$version-$arch.msi"
    echo "Built $out/MivoDetector-$version-$arch.msi"
}

package x64 "$build/x64/$host64" "$build/$control32" "$build/x64/$control64"
package x86 "$build/$host32" "$build/$control32"

npm_version="$(node -p 'require(process.argv[1]).version' "$build/web/package.json")" ||
    die "$build/web/package.json is missing: build first (make build)"
tarball="$build/web/mivo-detector-$npm_version.tgz"
[ -f "$tarball" ] || die "missing $tarball: build it first (make build)"
cp "$tarball" "$out/"
echo "Copied $out/$(basename "$tarball")"
python3 "$here/store-archive.py" "$build/extension" "$out" "$version"
echo "Built $out/MivoDetector-$version-chrome-edge.zip and $out/MivoDetector-$version-firefox.zip"
