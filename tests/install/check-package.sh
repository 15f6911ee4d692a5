#!/usr/bin/env bash
# The installer package of one architecture and the modules it carries, as scripts/package.sh made
# them in RELEASE (scripts/test.sh makes them before the tests run), checked without installing:
# - the rules of the validation suite that administrators run on a package, each named below,
#   checked over the tables as `msiinfo export` writes them;
# - the signatures: `osslsigncode verify` passes for the package and its signed modules, against
#   the certificates that RELEASE/signing/trust.pem holds, and fails for a module with one byte
#   changed.
# Usage: check-package.sh x86|x64 RELEASE
# Runs no Windows program, so it runs on every machine.
set -uo pipefail
arch=$1
release=$(cd "$2" && pwd)
source "$(dirname "$0")/../../scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(sed -n 's/^VANTOR_VERSION:INTERNAL=//p' "$release/x64/CMakeCache.txt" 2>/dev/null)
msi=$release/Vantor-$version-$arch.msi
if [[ -z "$version" || ! -f "$msi" ]]; then
    echo "FAIL  no package in $release: scripts/package.sh $release makes it (scripts/test.sh does)"
    exit 1
fi
echo "package $(basename "$msi")"

# ---- Validation rules ----------------------------------------------------------------------------
# Each table's rows without the three header lines, tab-separated, in $work/TABLE (empty when the
# package has no such table).
for table in File MsiFileHash Component Directory Registry Class; do
    msiinfo export "$msi" "$table" 2>/dev/null | tr -d '\r' | tail -n +4 >"$work/$table"
done
# rule NAME AWK_PROGRAM TABLE...: the program prints one line per offence; none passes the rule.
# The program sees `excepted`, the one component that two rules pass over, for these reasons:
# - in folders of their own architecture: the 32-bit module of the package for 64-bit Windows lies in
#   the 64-bit product folder, because it starts VNTXG.exe and VNTXFM.exe and reads Lang\ from its own
#   folder, where the archiver's installer puts its 64-bit programs;
# - the class in the Class table: its class is written by registry values, which Wine's installer
#   writes in the component's registry view, as Windows does; a Class-table class Wine (8.0) writes in
#   the package's view, where it would replace the 64-bit module's (see scripts/package.sh).
excepted=Module32
rule() {
    local name=$1 program=$2
    shift 2
    (cd "$work" && awk -F'\t' -v excepted="$excepted" "$program" "$@") >"$work/offences"
    if [[ -s "$work/offences" ]]; then
        fail "rule: $name"
        show "$work/offences"
    else
        pass "rule: $name"
    fi
}

# A file with a version is compared by its version; a hash is for unversioned files only (the
# MsiFileHash table of a versioned file means the version was stamped after the hash).
rule "no hash for a versioned file" '
    FILENAME == "File" && $5 != "" { versioned[$1] = 1 }
    FILENAME == "MsiFileHash" && ($1 in versioned) { print "MsiFileHash: " $0 }' File MsiFileHash

# ICE60: a versioned file that is no font has a language, else every repair copies it again.
rule "a language for every versioned file (ICE60)" '$5 != "" && $6 == "" { print "File: " $0 }' File

# ICE80: a 64-bit component (attribute 256) lies in a 64-bit folder, a 32-bit one in a 32-bit folder.
rule "components in folders of their own architecture (ICE80; excepted: $excepted)" '
    FILENAME == "Directory" { parent[$1] = $2 }
    FILENAME == "Component" && $1 != excepted {
        top = $3
        while (parent[top] != "" && parent[top] != "TARGETDIR") top = parent[top]
        if (int($4 / 256) % 2 != (top ~ /^(ProgramFiles64|CommonFiles64|System64)Folder$/))
            print "Component: " $0 "  (in " top ")"
    }' Directory Component

# Every component has a key path, a file or registry value of its own, by which the installer tells
# whether it is installed.
rule "every component with a key path of its own" '
    FILENAME == "File" || FILENAME == "Registry" { owner[$1] = FILENAME == "File" ? $2 : $6 }
    FILENAME == "Component" && ($6 == "" || owner[$6] != $1) { print "Component: " $0 }' File Registry Component

# ICE33: a COM class is registered through the Class table, not by registry values for its class key
# and its server; every module has its class there, with its in-process server.
rule "the class in the Class table, not in registry values (ICE33; excepted: $excepted)" '
    FILENAME == "Class" && $2 == "InprocServer32" { served[$3] = 1 }
    FILENAME == "Registry" && $4 == "" && $6 != excepted && ($2 == 0 || $3 ~ /^Software\\Classes\\/) &&
        $3 ~ /CLSID\\\{[^\\]*\}(\\(InprocServer32|LocalServer32|InprocHandler32|ProgID))?$/ {
        print "Registry: " $0
    }
    FILENAME == "File" && tolower($3) ~ /\.dll$/ && $2 != excepted { modules[$2] = $1 }
    END { for (c in modules) if (!(c in served)) print "no Class row for component " c " (" modules[c] ")" }' \
    Class Registry File

# ---- Signatures ----------------------------------------------------------------------------------
# verify FILE: osslsigncode's report in $work/verify.txt; true when the signature holds.
verify() { verify_signature "$release" "$1" "$work/verify.txt"; }
modules=("$release/signed/$arch/Vantor.dll")
[[ $arch == x64 ]] && modules+=("$release/signed/x86/Vantor.dll")
for file in "$msi" "${modules[@]}"; do
    if verify "$file"; then
        pass "osslsigncode verify ${file#"$release"/}: $(grep -m1 'Subject:' "$work/verify.txt" | sed 's/^[[:space:]]*//')"
    else
        fail "osslsigncode verify ${file#"$release"/}"
        show "$work/verify.txt"
    fi
done
# One byte of code changed, the signature intact: the digest no longer matches and the check fails.
cp "${modules[0]}" "$work/changed.dll"
offset=$(($(stat -c %s "$work/changed.dll") / 3))
byte=$(od -An -tu1 -j "$offset" -N1 "$work/changed.dll" | tr -d ' ')
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$work/changed.dll" bs=1 seek="$offset" conv=notrunc 2>/dev/null
if ! verify "$work/changed.dll" && grep -q 'Calculated message digest.*MISMATCH' "$work/verify.txt"; then
    pass "a module with byte $offset changed fails verification: its digest does not match"
else
    fail "a module with byte $offset changed: $(tail -n 1 "$work/verify.txt")"
    show "$work/verify.txt"
fi

check_summary "package checks"
