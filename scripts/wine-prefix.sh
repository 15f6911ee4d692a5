#!/usr/bin/env bash
# Boots or stops the private Wine prefix of a build tree from outside the scripts (the mutation
# runner of the shared tools calls it between mutants). The work is lib.sh's.
# Usage: scripts/wine-prefix.sh start|stop TREE [PREFIX]
set -uo pipefail
source "$(dirname "$0")/lib.sh"
case "${1:-}" in
start) vantor_prefix_start "$(cd "$2" && pwd)" "${3:-}" ;;
stop) vantor_prefix_stop "$(cd "$2" && pwd)" "${3:-}" ;;
*)
    echo "usage: scripts/wine-prefix.sh start|stop TREE [PREFIX]" >&2
    exit 2
    ;;
esac
