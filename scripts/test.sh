#!/usr/bin/env bash
# The whole test suite, from a bare machine: set-up, configure, build, a private Wine prefix,
# CTest under one virtual display, and the prefix's server stopped afterwards.
# Usage: scripts/test.sh [BUILD_DIR] [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true

bash "$root/scripts/build.sh" "$build"
# Every Wine process of the prefix must see one display: boot and tests run in one xvfb-run.
xvfb-run -a -s "-screen 0 1024x768x24" bash "$root/scripts/run-tests.sh" "$build" "$@"
