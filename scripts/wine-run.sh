#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix of the build tree it belongs to.
# WINEPREFIX may be set by the caller; otherwise the prefix is <build>/wineprefix, found by
# walking up from the program to the folder that holds CMakeCache.txt.
set -u
if [[ -z "${WINEPREFIX:-}" ]]; then
    dir=$(cd "$(dirname "$1")" && pwd)
    while [[ "$dir" != "/" && ! -f "$dir/CMakeCache.txt" ]]; do dir=$(dirname "$dir"); done
    export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32 2>/dev/null
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
exec wine "$@"
