#!/usr/bin/env bash
# Builds the shipped modules of both architectures and the two installer packages, from a bare
# machine (set-up included):
#   OUT/Vantor-VERSION-x64.msi   for 64-bit Windows: Vantor.dll (64-bit) and Vantor32.dll (32-bit)
#   OUT/Vantor-VERSION-x86.msi   for 32-bit Windows: Vantor.dll (32-bit)
# The modules are built in release trees of their own, OUT/x64 and OUT/x86 (CMAKE_BUILD_TYPE=Release,
# the module only; see cmake/release.cmake); each tree's bin/ holds the shipped Vantor.dll and
# Vantor.dll.debug, its symbols. The test trees of scripts/build.sh are not touched.
# Usage: scripts/package.sh [OUT]   (default: build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/release}")
export LC_ALL=C.UTF-8

bash "$root/scripts/build.sh" "$out" Release Vantor
for arch in x64 x86; do
    bash "$root/scripts/check-dll.sh" "$out/$arch/bin/Vantor.dll" "$arch" >/dev/null ||
        { bash "$root/scripts/check-dll.sh" "$out/$arch/bin/Vantor.dll" "$arch"; exit 1; }
done

version=$(sed -n 's/^VANTOR_VERSION:INTERNAL=//p' "$out/x64/CMakeCache.txt")
# wixl finds the files named by relative paths only.
cd "$out"
for arch in x64 x86; do
    msi=Vantor-$version-$arch.msi
    modules=(-D Module="$arch/bin/Vantor.dll")
    [[ $arch == x64 ]] && modules+=(-D Module32=x86/bin/Vantor.dll)
    rm -f "$msi"
    wixl -a "$arch" -D Arch="$arch" -D Version="$version" "${modules[@]}" -I "$root/packaging" -o "$msi" \
        "$root/packaging/Vantor.wxs"
    # wixl leaves the files' versions out; with them the installer replaces an older module that is
    # already there (a hand-made installation) and keeps a newer one, as with any versioned file.
    msibuild "$msi" -q "UPDATE \`File\` SET \`Version\` = '$version.0'"
done

echo "Packages in $out:"
for arch in x64 x86; do
    echo "  Vantor-$version-$arch.msi ($(stat -c %s "Vantor-$version-$arch.msi") bytes)," \
        "module $arch/bin/Vantor.dll ($(stat -c %s "$arch/bin/Vantor.dll") bytes)"
done
