#!/usr/bin/env bash
# Builds everything, boots the build tree's Wine prefix, runs the benchmark program and stops the
# prefix again. Arguments go to the program: measure names, --list, --runs N.
# Usage: scripts/bench.sh [--list] [--runs N] [measure...]
# BENCH_BUILD_DIR chooses the build tree (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build}

# Wine's desktop binds to the display of the first call that needs one; give it one.
if [[ -z ${DISPLAY:-} ]] && command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a bash "$0" "$@"
fi

bash "$root/scripts/build.sh" "$build"
# The prefix is booted with detached streams before the program runs, so no Wine service process
# is left holding this script's output.
bash "$root/scripts/wine-prefix.sh" start "$build"
trap 'bash "$root/scripts/wine-prefix.sh" stop "$build"' EXIT
WINEPREFIX=$build/wineprefix WINEDEBUG=-all wine "$build/bin/vantor_bench.exe" "$@" </dev/null
