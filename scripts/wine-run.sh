#!/usr/bin/env bash
# CTest's emulator for each tree: runs a Windows program under Wine in the prefix of the build tree
# it belongs to, with the loader of the tree's architecture. A 32-bit program on a machine that runs
# 64-bit code only is not started: the script says why and exits with 77, which CTest counts as
# skipped.
# Usage: wine-run.sh x86|x64 PROGRAM [ARGUMENTS...]
# WINEPREFIX may be set by the caller; otherwise the prefix is <tree>/wineprefix, found by walking up
# from the program to the folder that holds CMakeCache.txt.
set -u
source "$(dirname "$0")/lib.sh"
vantor_wine_env "$1" || exit 2
shift
vantor_skip_unless_runs
if [[ -z "${WINEPREFIX:-}" ]]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [[ "$dir" != "/" && ! -f "$dir/CMakeCache.txt" ]]; do dir=$(dirname "$dir"); done
    export WINEPREFIX="$dir/wineprefix"
fi
exec "$WINELOADER" "$@"
