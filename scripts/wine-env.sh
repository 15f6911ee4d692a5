# Sourced, not run: the environment for Windows programs of one architecture under Wine.
#   source scripts/wine-env.sh x86|x64
# Sets WINEARCH (win32 for the x86 tree, win64 for the x64 tree), WINEDEBUG, WINEDLLOVERRIDES and a
# UTF-8 locale (Wine spells Windows names in the locale's character set: with none, every name
# outside ASCII fails), WINELOADER (the architecture's loader) and the function "wine" that starts it.
#
# Whether this machine runs 32-bit programs is decided here, once, by trying: some kernels run
# 64-bit code only, and there every i386 program, the i386 dynamic loader included, fails with
# "Exec format error". The answer goes into VANTOR_32BIT ("runs", or the reason it does not) and
# is exported, so everything started from the first script that asks keeps it.
# VANTOR_FORCE_64BIT_ONLY=1 takes the 64-bit-only road on a machine that could run both.

if [[ -z "${VANTOR_32BIT:-}" ]]; then
    if [[ "${VANTOR_FORCE_64BIT_ONLY:-}" == 1 ]]; then
        VANTOR_32BIT="not run: VANTOR_FORCE_64BIT_ONLY=1 asks for the 64-bit-only road"
    elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
        VANTOR_32BIT=runs
    else
        VANTOR_32BIT="not run: this machine does not run 32-bit programs (/lib/ld-linux.so.2 cannot start)"
    fi
    export VANTOR_32BIT
fi

export LC_ALL=C.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# Each architecture's loader by its absolute path, whatever was sourced before: Debian's wine script
# picks the 32-bit loader whenever wine32 is installed, and a "wine" found on PATH may be another
# environment's. The 64-bit loader finds its preloader beside it and is told its own name for the
# programs it starts (32-bit ones it hands to the 32-bit loader beside it).
case "$1" in
x86) export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
x64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
*)
    echo "wine-env.sh: unknown architecture '$1' (x86 or x64)" >&2
    return 2
    ;;
esac

# Every script starts Wine through this function, so through the loader of the environment it
# sourced last.
wine() {
    "$WINELOADER" "$@"
}

# True when this machine can run the programs of the architecture given above.
vantor_arch_runs() {
    [[ "$WINEARCH" == win64 || "$VANTOR_32BIT" == runs ]]
}
