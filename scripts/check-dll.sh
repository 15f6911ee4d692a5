#!/usr/bin/env bash
# Checks the built module: exactly the six undecorated exports, and only system DLLs imported.
set -euo pipefail
dll=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$($objdump -p "$dll")

imports=$(sed -n 's/.*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|user32|advapi32|shell32|ole32|oleaut32|comctl32|msvcrt|gdi32)\.dll$'
bad=$(grep -v -E "$allowed" <<<"$imports" || true)
if [[ -n "$bad" ]]; then echo "FAIL: non-system imports: $bad"; exit 1; fi

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&!/^[ \t]*\[/{f=0}' <<<"$dump" | sort)
expected=$(printf '%s\n' CreateObject DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer GetPluginProperty | sort)
if [[ "$exports" != "$expected" ]]; then
    echo "FAIL: exports are:"; echo "$exports"; echo "expected:"; echo "$expected"; exit 1
fi
echo "imports: $(tr '\n' ' ' <<<"$imports")"
echo "exports: $(tr '\n' ' ' <<<"$exports")"
