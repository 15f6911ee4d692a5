#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix of the build tree it belongs to.
# Usage: wine-run.sh x86|x64 PROGRAM [ARGUMENTS...]   (CTest's emulator for each tree)
# WINEPREFIX may be set by the caller; otherwise the prefix is <tree>/wineprefix, found by walking
# up from the program to the folder that holds CMakeCache.txt. A 32-bit program on a machine that
# runs 64-bit code only is not started: the script says why and exits with 77, which CTest counts
# as skipped.
set -u
source "$(dirname "$0")/wine-env.sh" "$1" || exit 2
shift
if ! vantor_arch_runs; then
    echo "$VANTOR_32BIT"
    exit 77
fi
if [[ -z "${WINEPREFIX:-}" ]]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [[ "$dir" != "/" && ! -f "$dir/CMakeCache.txt" ]]; do dir=$(dirname "$dir"); done
    export WINEPREFIX="$dir/wineprefix"
fi
exec "$WINELOADER" "$@"
