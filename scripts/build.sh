#!/usr/bin/env bash
# Sets up the machine (when needed), configures and builds both architectures, each in its own
# tree: BUILD_ROOT/x64 (the 64-bit module and its programs) and BUILD_ROOT/x86 (the 32-bit ones).
# The 32-bit tree is built on every machine: compiling needs no 32-bit kernel support.
# Usage: scripts/build.sh [BUILD_ROOT [BUILD_TYPE TARGET]]   (default: build, the test build, all)
#   scripts/package.sh builds the shipped module this way: build/release Release Vantor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
type=${2:+-DCMAKE_BUILD_TYPE=$2}
target=${3:+--target=$3}
export LC_ALL=C.UTF-8

bash "$root/scripts/setup.sh"
for arch in x64 x86; do
    case $arch in
    x64) toolchain=mingw-x86_64.cmake ;;
    x86) toolchain=mingw-i686.cmake ;;
    esac
    if [[ ! -f "$build/$arch/CMakeCache.txt" ]]; then
        cmake -S "$root" -B "$build/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" $type >/dev/null
    fi
    cmake --build "$build/$arch" -j "$(nproc)" $target
done
