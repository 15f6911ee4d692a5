#!/usr/bin/env bash
# Checks a built module: the architecture asked for, exactly the six undecorated exports, and only
# system DLLs imported.
# Usage: scripts/check-dll.sh DLL x86|x64
set -euo pipefail
dll=$1
case "$2" in
x86) objdump=i686-w64-mingw32-objdump format=pei-i386 ;;
x64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
*) echo "usage: $0 DLL x86|x64" >&2; exit 2 ;;
esac
dump=$($objdump -p "$dll")

actual_format=$(sed -n 's/.*file format //p' <<<"$dump" | head -n 1)
if [[ "$actual_format" != "$format" ]]; then echo "FAIL: $dll is $actual_format, not $format"; exit 1; fi

imports=$(sed -n 's/.*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt|gdi32)\.dll$'
bad=$(grep -v -E "$allowed" <<<"$imports" || true)
if [[ -n "$bad" ]]; then echo "FAIL: non-system imports: $bad"; exit 1; fi

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&!/^[ \t]*\[/{f=0}' <<<"$dump" | sort)
expected=$(printf '%s\n' CreateObject DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer GetPluginProperty | sort)
if [[ "$exports" != "$expected" ]]; then
    echo "FAIL: exports are:"; echo "$exports"; echo "expected:"; echo "$expected"; exit 1
fi
echo "format: $actual_format"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
echo "exports: $(tr '\n' ' ' <<<"$exports")"
