#!/usr/bin/env bash
# Runs CTest over both build trees of a build root in one run; expects a display (scripts/test.sh
# provides one). Boots each tree's prefix first and says what it is made of. The 32-bit tree's tests
# are reported as skipped, with the reason, where this machine runs 64-bit code only.
# Usage: scripts/run-tests.sh BUILD_ROOT [extra ctest arguments]
set -uo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
shift
vantor_probe_machine
echo "32-bit programs: $VANTOR_32BIT"

# One CTest run over both trees: a test list at the root that takes in each tree's own.
printf 'subdirs("x64" "x86")\n' >"$build/CTestTestfile.cmake"
trees=("$build/x64" "$build/x86")
for tree in "${trees[@]}"; do
    vantor_prefix_start "$tree" || exit 1
    if (vantor_wine_env "$(vantor_tree_arch "$tree")" && vantor_arch_runs); then
        echo "$tree/wineprefix: $(WINEPREFIX=$tree/wineprefix vantor_prefix_halves)"
    else
        echo "$tree/wineprefix: not used: 32-bit programs $VANTOR_32BIT"
    fi
done
stop_prefixes() {
    for tree in "${trees[@]}"; do
        vantor_prefix_stop "$tree"
    done
}
trap stop_prefixes EXIT
cd "$build" && ctest --output-on-failure "$@"
status=$?
[[ "$VANTOR_32BIT" == runs ]] || echo "The x86 tests were skipped: 32-bit programs $VANTOR_32BIT."
exit $status
