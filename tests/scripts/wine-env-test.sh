#!/usr/bin/env bash
# The Wine environment of one tree (vantor_wine_env ARCH of scripts/lib.sh), set up alone, after the
# other tree's or between two of the other's, must start the tree's own loader: "wine" runs WINELOADER,
# which is an ELF executable of the tree's class and machine, and WINEARCH is the tree's. The
# loaders' headers are read, never run: no 32-bit code starts, so the check runs on every machine.
# Usage: wine-env-test.sh x86|x64
set -uo pipefail
arch=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
case $arch in
x86) other=x64 winearch=win32 class=1 machine=3 ;;   # ELFCLASS32, EM_386
x64) other=x86 winearch=win64 class=2 machine=62 ;;  # ELFCLASS64, EM_X86_64
*) echo "usage: $0 x86|x64" >&2; exit 2 ;;
esac
failed=0

# Prints "WINEARCH|WINELOADER|what wine starts" after setting up the given environments in order.
environment_after() {
    bash -c '
        source "$0/scripts/lib.sh"
        for a in "$@"; do vantor_wine_env "$a" || exit 1; done
        case $(type -t wine) in
        function) started=$(WINELOADER=/bin/echo wine loader-of-wine) ;;
        file)
            # A wrapper script on PATH: the loader it hands over to, where it names one outright.
            started=$(command -v wine)
            target=$(sed -n "s|^exec \(/[^ ]*\) .*|\1|p" "$started" | tail -n 1)
            [[ -n "$target" ]] && started="$target (through $started on PATH)" ;;
        *) started="nothing: wine is not defined" ;;
        esac
        [[ "$started" == loader-of-wine ]] && started=$WINELOADER
        echo "${WINEARCH:-}|${WINELOADER:-}|$started"' "$root" "$@"
}

# byte at OFFSET of FILE as a decimal number
byte_at() { od -An -tu1 -j "$2" -N 1 "$1" 2>/dev/null | tr -d ' '; }
elf_kind() {
    local file=$1
    [[ -f "$file" && "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" == 7f454c46 ]] || { echo "not an ELF file"; return; }
    echo "ELF class $(byte_at "$file" 4), machine $(byte_at "$file" 18)"
}

for order in "$arch" "$other $arch" "$arch $other $arch"; do
    IFS='|' read -r got_arch got_loader started <<<"$(environment_after $order)"
    what="$arch tree, environments set up in the order: $order"
    problems=()
    [[ "$got_arch" == "$winearch" ]] || problems+=("WINEARCH is '$got_arch', not $winearch")
    [[ "$started" == "$got_loader" ]] || problems+=("wine starts $started, not WINELOADER ($got_loader)")
    kind=$(elf_kind "${started%% (through *}")
    [[ "$kind" == "ELF class $class, machine $machine" ]] ||
        problems+=("the loader started, $started, is $kind; the tree needs ELF class $class, machine $machine")
    if [[ ${#problems[@]} -eq 0 ]]; then
        echo "ok    $what: $started ($kind)"
    else
        failed=1
        echo "FAIL  $what"
        printf '      %s\n' "${problems[@]}"
    fi
done
exit $failed
