#!/usr/bin/env bash
# The whole test suite, from a bare machine: set-up, configure, build of both architectures, each
# tree's private Wine prefix, one CTest run over both trees under one virtual display, and the
# prefixes' servers stopped afterwards. Where the machine runs 64-bit code only, every test of the
# 32-bit tree is reported as skipped with the reason (VANTOR_FORCE_64BIT_ONLY=1 does the same on
# any machine).
# Usage: scripts/test.sh [BUILD_ROOT] [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
export LC_ALL=C.UTF-8

bash "$root/scripts/build.sh" "$build"
# Every Wine process of a prefix must see one display: boot and tests run in one xvfb-run.
xvfb-run -a -s "-screen 0 1024x768x24" bash "$root/scripts/run-tests.sh" "$build" "$@"
