#!/usr/bin/env bash
# Runs CTest in a built tree; expects a display (scripts/test.sh provides one).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift
bash "$root/scripts/wine-prefix.sh" start "$build"
trap 'bash "$root/scripts/wine-prefix.sh" stop "$build"' EXIT
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
# One after another: the test programs share the prefix's registry (HKCU\Software\VANTOR, the
# class keys), and each leaves it as it found it only when no other program changes it meanwhile.
cd "$build" && ctest --output-on-failure "$@"
