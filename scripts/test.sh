#!/usr/bin/env bash
# The whole test suite, from a bare machine: set-up, configure and build of both architectures, the
# release modules and installer packages (BUILD_ROOT/release, which the installer test installs),
# each tree's private Wine prefix, one CTest run over both trees under one virtual display, and the
# prefixes' servers stopped afterwards. Where the machine runs 64-bit code only, every test of the
# 32-bit tree is reported as skipped with the reason (VANTOR_FORCE_64BIT_ONLY=1 does the same on
# any machine).
# Usage: scripts/test.sh [BUILD_ROOT] [extra ctest arguments]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(realpath -m "${1:-$vantor_root/build}")
shift || true

bash "$vantor_root/scripts/build.sh" "$build"
bash "$vantor_root/scripts/package.sh" "$build/release" >"$build/package.log" 2>&1 ||
    { tail -n 40 "$build/package.log"; echo "test.sh: scripts/package.sh failed" >&2; exit 1; }
vantor_in_display bash "$vantor_root/scripts/run-tests.sh" "$build" "$@"
