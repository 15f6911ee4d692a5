#!/usr/bin/env bash
# Checks a built module against what Windows needs to load it, on any machine, without running it:
#   - its format is the architecture asked for;
#   - it exports exactly the six functions, undecorated;
#   - it imports only system DLLs, and exactly the functions of src/server/Imports-ARCH.txt, the
#     list kept for its Windows floor; a new import fails here until it is added there on purpose,
#     and every entry there must be declared by the Windows headers set to that floor;
#   - its subsystem version is one the floor's loader accepts;
#   - its embedded manifest (resource type 24, id 2) names no architecture but its own (or "*").
# Runs after every build of the module and as a test.
# Usage: scripts/check-dll.sh DLL x86|x64
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dll=$1
arch=$2
export LC_ALL=C.UTF-8

# The floor of each module: the oldest Windows it loads on, as the loader's subsystem version, the
# header macros that declare just what that Windows has, and the C runtime (msvcrt.dll) it ships.
case "$arch" in
x86)
    triple=i686-w64-mingw32 format=pei-i386 manifest_arch=x86
    floor="Windows 98 SE and Windows NT 4.0" subsystem=4.0
    floor_macros=(-DWINVER=0x0400 -D_WIN32_WINNT=0x0400 -D_WIN32_WINDOWS=0x0410 -D_WIN32_IE=0x0400
        -D__MSVCRT_VERSION__=0x0600)
    ;;
x64)
    triple=x86_64-w64-mingw32 format=pei-x86-64 manifest_arch=amd64
    floor="Windows XP x64 and Windows Server 2003 SP1" subsystem=5.2
    floor_macros=(-DWINVER=0x0502 -D_WIN32_WINNT=0x0502 -D_WIN32_IE=0x0600 -D__MSVCRT_VERSION__=0x0700)
    ;;
*)
    echo "usage: $0 DLL x86|x64" >&2
    exit 2
    ;;
esac
list=$root/src/server/Imports-$arch.txt
failed=0
fail() { echo "FAIL: $dll: $*"; failed=1; }
dump=$("$triple-objdump" -p "$dll")

actual_format=$(sed -n 's/.*file format //p' <<<"$dump" | head -n 1)
if [[ "$actual_format" != "$format" ]]; then
    fail "it is $actual_format, not $format"
    exit 1
fi

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&!/^[ \t]*\[/{f=0}' <<<"$dump" | sort)
expected=$(printf '%s\n' CreateObject DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer GetPluginProperty | sort)
[[ "$exports" == "$expected" ]] || fail "exports $(tr '\n' ' ' <<<"$exports")instead of $(tr '\n' ' ' <<<"$expected")"

# "DLL Function" a line, the DLL's name in capitals, as the import table holds them.
imports=$(awk '/DLL Name:/ { dll = toupper($3); next } /^\t[0-9a-f]+\t/ && dll { print dll, $NF }' <<<"$dump" | sort -u)
dlls=$(cut -d' ' -f1 <<<"$imports" | sort -u)
bad=$(grep -v -E '^(KERNEL32|USER32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMCTL32|MSVCRT|GDI32)\.DLL$' <<<"$dlls" || true)
[[ -z "$bad" ]] || fail "imports DLLs that are not the system's: $(tr '\n' ' ' <<<"$bad")"

listed=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$list" | awk '{ print toupper($1), $2 }' | sort -u)
new=$(comm -23 <(echo "$imports") <(echo "$listed"))
gone=$(comm -13 <(echo "$imports") <(echo "$listed"))
if [[ -n "$new" ]]; then
    fail "imports functions that $(basename "$list") does not list; check that $floor has them, then add them:"
    sed 's/^/      /' <<<"$new"
fi
if [[ -n "$gone" ]]; then
    fail "no longer imports what $(basename "$list") lists; take these out:"
    sed 's/^/      /' <<<"$gone"
fi

# Every listed function the headers declare must be declared by them at the floor: a function that
# came later (GetTickCount64 with Vista, AddVectoredExceptionHandler with XP) is not, and the
# compiler says so. Lines marked "startup" are the C runtime's own entries, which no header declares.
floor_check=$(mktemp --suffix=.c)
trap 'rm -f "$floor_check"' EXIT
{
    printf '#include <%s>\n' windows.h commctrl.h shellapi.h shlobj.h objbase.h oleauto.h stdio.h stdlib.h string.h
    echo 'void floor_check(void) {'
    sed -e 's/#.*//' "$list" | awk 'NF == 2 { printf "    (void)&%s;\n", $2 }'
    echo '}'
} >"$floor_check"
if ! errors=$(LC_ALL=C "$triple-gcc-win32" -fsyntax-only -Werror "${floor_macros[@]}" "$floor_check" 2>&1); then
    fail "lists functions that $floor does not have ($(basename "$list")):"
    grep -o "'[A-Za-z_0-9]*' undeclared" <<<"$errors" | sort -u | sed 's/^/      /' || sed 's/^/      /' <<<"$errors"
fi

# The loader of the floor refuses an image that asks for a newer subsystem.
major=$(awk '$1 == "MajorSubsystemVersion" { print $2 }' <<<"$dump")
minor=$(awk '$1 == "MinorSubsystemVersion" { print $2 }' <<<"$dump")
if ((major * 100 + minor > ${subsystem%.*} * 100 + ${subsystem#*.})); then
    fail "subsystem version $major.$minor is newer than $subsystem ($floor)"
fi

# The manifest: windres reads the module's resources back as a resource script.
manifest=$("$triple-windres" -J coff -O rc -i "$dll" | awk '/^2 24 /{ f = 1; next } f && /^END/ { exit } f')
architectures=$(grep -o 'processorArchitecture=""[^"]*""' <<<"$manifest" | sed 's/.*=""\(.*\)""/\1/' | sort -u)
if [[ -z "$manifest" ]]; then
    fail "has no manifest (resource type 24, id 2)"
else
    wrong=$(grep -v -x -e "$manifest_arch" -e '\*' <<<"$architectures" || true)
    [[ -z "$wrong" ]] || fail "$actual_format module whose manifest names processorArchitecture=\"$(tr '\n' ' ' <<<"$wrong" | sed 's/ $//')\""
fi

[[ $failed -eq 0 ]] || exit 1
echo "$(basename "$dll") ($arch): $actual_format, floor $floor (subsystem $major.$minor)"
echo "  exports: $(tr '\n' ' ' <<<"$exports")"
echo "  imports: $(cut -d' ' -f1 <<<"$imports" | uniq -c | awk '{ printf "%s %d, ", $2, $1 }' | sed 's/, $//')"
echo "  manifest: processorArchitecture $(tr '\n' ' ' <<<"$architectures")"
