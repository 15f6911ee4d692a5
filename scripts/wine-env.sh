# Sourced, not run: the environment for Windows programs of one architecture under Wine.
#   source scripts/wine-env.sh x86|x64
# Sets WINEARCH (win32 for the x86 tree, win64 for the x64 tree), WINEDEBUG, WINEDLLOVERRIDES and a
# UTF-8 locale (Wine spells Windows names in the locale's character set: with none, every name
# outside ASCII fails). For x64 the 64-bit loader's wrapper goes first on PATH, so that "wine"
# starts 64-bit Wine whatever Debian's wine script would pick.
#
# Whether this machine runs 32-bit programs is decided here, once, by trying: some kernels run
# 64-bit code only, and there every i386 program, the i386 dynamic loader included, fails with
# "Exec format error". The answer goes into VANTOR_32BIT ("runs", or the reason it does not) and
# is exported, so everything started from the first script that asks keeps it.
# VANTOR_FORCE_64BIT_ONLY=1 takes the 64-bit-only road on a machine that could run both.
vantor_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

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
case "$1" in
x86)
    export WINEARCH=win32
    ;;
x64)
    export WINEARCH=win64
    case ":$PATH:" in
    *":$vantor_scripts/wine64:"*) ;;
    *) export PATH="$vantor_scripts/wine64:$PATH" ;;
    esac
    ;;
*)
    echo "wine-env.sh: unknown architecture '$1' (x86 or x64)" >&2
    return 2
    ;;
esac

# True when this machine can run the programs of the architecture given above.
vantor_arch_runs() {
    [[ "$WINEARCH" == win64 || "$VANTOR_32BIT" == runs ]]
}
