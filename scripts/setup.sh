#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a bare Debian machine.
# Idempotent: when every package is already there it only checks and returns.
set -euo pipefail

packages=(
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32
    wine wine32:i386 wine64
    wixl msitools osslsigncode openssl ca-certificates
    xvfb xauth imagemagick
    cmake ninja-build googletest
    python3
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

# The security suite serves no usable i386 index here; multiarch needs equal versions of
# the amd64 and i386 halves, so both must come from the main suite.
pin=/etc/apt/preferences.d/vantor-no-security-pin
if [[ ! -f $pin ]]; then
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | $SUDO tee "$pin" >/dev/null
fi

# apt-get update exits non-zero for the missing i386 security index; that is expected.
$SUDO apt-get update -q || true
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
