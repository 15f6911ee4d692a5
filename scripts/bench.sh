#!/usr/bin/env bash
# Builds the benchmark program and the module of one architecture, boots that tree's Wine prefix,
# runs the program and stops the prefix again. Every measure is printed beside its floor (the
# baseline it is compared with), with their ratio and the ratio it is meant to stay under.
# Arguments go to the program: measure names, --list, --runs N.
# Usage: scripts/bench.sh [--list] [--runs N] [measure...]
#   BENCH_BUILD_DIR  the build root, as for scripts/build.sh (default: build); the tree measured is
#                    BENCH_BUILD_DIR/x64, or BENCH_BUILD_DIR/x86
#   BENCH_ARCH       x64 (default) or x86, the latter only where this machine runs 32-bit programs
set -euo pipefail
source "$(dirname "$0")/lib.sh"
root=$vantor_root
build=$(realpath -m "${BENCH_BUILD_DIR:-$root/build}")
arch=${BENCH_ARCH:-x64}

case $arch in
x64) toolchain=mingw-x86_64.cmake ;;
x86) toolchain=mingw-i686.cmake ;;
*)
    echo "bench.sh: BENCH_ARCH must be x64 or x86, not '$arch'" >&2
    exit 2
    ;;
esac
tree=$build/$arch

vantor_wine_env "$arch"
if ! vantor_arch_runs; then
    echo "bench.sh: the $arch tree cannot be measured here: 32-bit programs $VANTOR_32BIT" >&2
    exit 2
fi

# Wine's desktop binds to the display of the first call that needs one; give it one.
if [[ -z ${DISPLAY:-} ]] && command -v xvfb-run >/dev/null 2>&1; then
    vantor_in_display bash "$0" "$@"
    exit
fi

# Only what the measures run: the program and the module it loads.
bash "$root/scripts/setup.sh"
if [[ ! -f "$tree/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
fi
if ! cmake --build "$tree" -j "$(nproc)" --target vantor_bench Vantor >"$tree/bench-build.log" 2>&1; then
    cat "$tree/bench-build.log" >&2
    exit 1
fi

# The prefix is booted with detached streams before the program runs, so no Wine service process
# is left holding this script's output.
vantor_prefix_start "$tree"
trap 'vantor_prefix_stop "$tree"' EXIT
echo "$arch tree: $tree"
WINEPREFIX=$tree/wineprefix wine "$tree/bin/vantor_bench.exe" "$@" </dev/null
