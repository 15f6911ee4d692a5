#!/usr/bin/env bash
# The installer package of one architecture, as scripts/package.sh made it in BUILD_ROOT/release
# (scripts/test.sh makes it before the tests run), installed as a user installs it, with msiexec,
# into a fresh prefix of its own: TREE/install-prefix, a 64-bit prefix for the x64 package, a 32-bit
# one for the x86 package.
# Usage: run-install.sh x86|x64 TREE [PAIR_BIN]
#   Runs inside scripts/test.sh's virtual display. TREE's bin folder gives the host programs and the
#   archiver's stand-ins; PAIR_BIN, for the x64 tree, the 32-bit host (used where 32-bit programs
#   run). Exits with 77 (skipped) for x86 on a machine that runs 64-bit code only.
set -uo pipefail
arch=$1
tree=$(cd "$2" && pwd)
pair=
[[ -n "${3:-}" && -f "$3/ShellHost.exe" ]] && pair=$(cd "$3" && pwd)
source "$(dirname "$0")/../../scripts/lib.sh"
vantor_wine_env "$arch" || exit 2
vantor_skip_unless_runs
work=$(mktemp -d)

release=$(dirname "$tree")/release
version=$(sed -n 's/^VANTOR_VERSION:INTERNAL=//p' "$release/x64/CMakeCache.txt" 2>/dev/null)
msi=$release/Vantor-$version-$arch.msi
if [[ -z "$version" || ! -f "$msi" ]]; then
    echo "FAIL  no package in $release: scripts/package.sh $release makes it (scripts/test.sh does)"
    exit 1
fi

export WINEPREFIX=$tree/install-prefix
vantor_prefix_stop "$tree" "$WINEPREFIX"
rm -rf "$WINEPREFIX"
vantor_prefix_start "$tree" "$WINEPREFIX"
finish() {
    vantor_prefix_stop "$tree" "$WINEPREFIX"
    # A prefix is some hundred megabytes: kept only to look into after a failure.
    [[ $checks_failed -eq 0 ]] && rm -rf "$WINEPREFIX"
    rm -rf "$work"
}
trap finish EXIT
cd "$WINEPREFIX/drive_c" || exit 1

product=$(product_folder)
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The package for 64-bit Windows writes both registry views, whether or not 32-bit programs run here;
# a 32-bit prefix has one.
views=("")
[[ $arch == x64 ]] && views=(64 32)
modules=(Vantor.dll)
[[ $arch == x64 ]] && modules+=("$VANTOR_MODULE32")
view_flag() { [[ -n "$1" ]] && printf '/reg:%s' "$1"; }

# Everything of ours one registry view may hold, a line per value with its key: the class, the
# approval, and all values under the shellex keys of the four classes the handler is attached to (so
# that a key in the wrong place shows too). One cmd call runs all the queries: each wine call costs.
# Keys alone do not count: Wine's removal also takes parent keys it finds empty, even older ones.
dump_registry() {
    local flag key commands=()
    flag=$(view_flag "$1")
    for key in "HKCR\\CLSID\\$VANTOR_CLSID" 'HKCR\*\shellex' 'HKCR\Folder\shellex' 'HKCR\Directory\shellex' \
        'HKCR\Drive\shellex'; do
        commands+=(reg query "$key" /s $flag '&')
    done
    commands+=(reg query "$VANTOR_APPROVED" /v "$VANTOR_CLSID" $flag)
    wine cmd /c "${commands[@]}" </dev/null 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { key = $0; next } NF && !/^reg: / { sub(/^ +/, ""); print key ": " $0 }'
}
# The state of the prefix: the registry, view by view, and the product folder.
dump_state() {
    local name=$1 view
    for view in "${views[@]}"; do dump_registry "$view" >"$work/$name-registry$view.txt"; done
    (cd "$product" 2>/dev/null && find . -mindepth 1 | sort) >"$work/$name-files.txt"
}
# Compares two states taken by dump_state; "registry" as the fourth argument leaves the files out.
same_state() {
    local what=$1 expected=$2 actual=$3 view file files=() differs=0
    for view in "${views[@]}"; do files+=("registry$view.txt"); done
    [[ "${4:-}" == registry ]] || files+=(files.txt)
    for file in "${files[@]}"; do
        if ! diff -u "$work/$expected-$file" "$work/$actual-$file" >"$work/diff.txt"; then
            [[ $differs -eq 0 ]] && fail "$what"
            differs=1
            show "$work/diff.txt"
        fi
    done
    [[ $differs -eq 1 ]] || pass "$what"
}
msiexec_status=0
run_msiexec() {
    local log=$work/msiexec-$((checks_passed + checks_failed)).log
    msiexec_status=0
    wine msiexec "$@" /qn /L*v "$(winpath "$log")" </dev/null >/dev/null 2>&1 || msiexec_status=$?
    if [[ $msiexec_status -ne 0 ]]; then
        echo "      msiexec $*: exit status $msiexec_status"
        grep -E 'Return value [03]|rror' "$log" 2>/dev/null | tail -n 10 | show
    fi
    return $msiexec_status
}
# The entries of the list of installed programs that name the product, as "DisplayName DisplayVersion".
installed_entries() {
    wine reg query "$uninstall" /s </dev/null 2>/dev/null | tr -d '\r' | awk '
        /^HKEY/ { if (name ~ /^Vantor/) print name " " ver; name = ""; ver = "" }
        $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
        $1 == "DisplayVersion" { ver = $3 }
        END { if (name ~ /^Vantor/) print name " " ver }'
}

# ---- Installation ----------------------------------------------------------------------------------
dump_state before
if run_msiexec /i "$(winpath "$msi")"; then
    pass "msiexec /i $(basename "$msi") /qn"
else
    fail "msiexec /i $(basename "$msi") /qn"
    exit 1
fi
dump_state installed
# Lang\ and the sparse package's manifest and logo (Package\) beside the modules.
printf './Lang\n./Package\n./Package/AppxManifest.xml\n./Package/Vantor.png\n' >"$work/expected-files.txt"
for module in "${modules[@]}"; do printf './%s\n' "$module" >>"$work/expected-files.txt"; done
sort -o "$work/expected-files.txt" "$work/expected-files.txt"
# The signed module of the package's architecture as Vantor.dll, the 32-bit one beside it; each
# installed one is byte for byte the signed one and passes verification where it lies.
shipped=("$release/signed/$arch/Vantor.dll" "$release/signed/x86/Vantor.dll")
if ! diff -u "$work/expected-files.txt" "$work/installed-files.txt" >"$work/diff.txt"; then
    fail "files in $(winpath "$product")"
    show "$work/diff.txt"
elif ! cmp -s "$release/$arch/bin/Package/AppxManifest.xml" "$product/Package/AppxManifest.xml"; then
    fail "the installed package manifest is not the one of the $arch release build"
else
    pass "files in $(winpath "$product"): $(tr '\n' ' ' <"$work/installed-files.txt")"
fi
for i in "${!modules[@]}"; do
    if ! cmp "${shipped[i]}" "$product/${modules[i]}" >"$work/cmp.txt" 2>&1; then
        fail "installed ${modules[i]} is not the signed ${shipped[i]#"$release"/}"
        show "$work/cmp.txt"
    elif verify_signature "$release" "$product/${modules[i]}" "$work/verify.txt"; then
        pass "installed ${modules[i]}: the signed ${shipped[i]#"$release"/}, $(grep -m1 '^Signature verification' "$work/verify.txt")"
    else
        fail "installed ${modules[i]}: osslsigncode verify"
        show "$work/verify.txt"
    fi
done
entries=$(installed_entries)
if [[ "$entries" == "Vantor Shell Extension $version" ]]; then
    pass "installed programs list: $entries"
else
    fail "installed programs list holds '$entries'"
fi

# Installing the same package again changes nothing.
if run_msiexec /i "$(winpath "$msi")"; then
    dump_state again
    same_state "installed twice: the same files and keys" installed again
    [[ "$(installed_entries)" == "$entries" ]] || fail "installed twice: the list of installed programs changed"
else
    fail "msiexec /i, a second time"
fi

# ---- The product at work, with the archiver's programs beside the module ---------------------------
cp "$tree/bin/VNTXG.exe" "$tree/bin/VNTXFM.exe" "$product/"
make_sample_folder "$WINEPREFIX/drive_c/VantorE2E"
expected=$vantor_root/tests/e2e/expected
hosts=("$tree/bin")
[[ -n "$pair" && "$VANTOR_32BIT" == runs ]] && hosts+=("$pair")
for host in "${hosts[@]}"; do
    wine "$host/ShellHost.exe" 'C:\VantorE2E\report.zip' </dev/null 2>&1 | tr -d '\r' >"$work/menu.txt"
    if diff -u "$expected/right-click-archive.txt" "$work/menu.txt" >"$work/diff.txt"; then
        pass "the full menu for report.zip ($(basename "$(dirname "$host")") host)"
    else
        fail "menu for report.zip ($(basename "$(dirname "$host")") host)"
        show "$work/diff.txt"
    fi
done
record=$work/record.txt
VANTOR_ARCHIVER_LOG=$(winpath "$record") wine "$tree/bin/ShellHost.exe" --no-menu --invoke-verb VantorExtractTo \
    'C:\VantorE2E\report.zip' </dev/null >/dev/null 2>&1
if wait_for_record "$record"; then
    normalise_record "$record" >"$work/received.txt"
    if diff -u "$expected/received-extract-to.txt" "$work/received.txt" >"$work/diff.txt"; then
        pass "\"Extract to\" reaches the archiver in the product folder"
    else
        fail "what the archiver received for \"Extract to\""
        show "$work/diff.txt"
    fi
else
    fail "\"Extract to\": the archiver left no record"
fi
VANTOR_FILEMANAGER_LOG=$(winpath "$work/fm.txt") drive_options_sheet "$tree/bin" --print --cancel 2>&1 |
    tr -d '\r' >"$work/sheet.txt"
if grep -qxF '  [x] Integrate Vantor to shell context menu  (check box 1010)' "$work/sheet.txt"; then
    pass "the System page shows the integration box ticked"
else
    fail "the System page's integration box"
    show "$work/sheet.txt"
fi

# ---- Removal -------------------------------------------------------------------------------------
# The archiver's own uninstaller takes its programs; the user's settings outlive both.
rm -f "$product/VNTXG.exe" "$product/VNTXFM.exe"
wine reg add 'HKCU\Software\VANTOR\Options' /v CascadedMenu /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
if run_msiexec /x "$(winpath "$msi")"; then
    dump_state removed
    same_state "msiexec /x: every file and key of the package gone" before removed
    [[ ! -e "$product" ]] || fail "msiexec /x left $(winpath "$product")"
    [[ -z "$(installed_entries)" ]] || fail "msiexec /x left the entry in the list of installed programs"
    wine reg query 'HKCU\Software\VANTOR\Options' /v CascadedMenu </dev/null 2>/dev/null | grep -q 0x0 &&
        pass "HKCU\\Software\\VANTOR kept" || fail "HKCU\\Software\\VANTOR lost"
else
    fail "msiexec /x $(basename "$msi") /qn"
fi

# ---- What regsvr32 and the four shell keys write -----------------------------------------------------
# The registration of each module by the regsvr32 of its architecture plus the shell keys, as an
# installation by hand makes it (install_product in scripts/lib.sh), must equal the package's, view by
# view.
# Where 32-bit programs do not run, the 32-bit view is held against the 64-bit one's, with the
# 32-bit module's name.
install_product "$tree/bin" "$pair" || fail "registration by regsvr32"
dump_state regsvr32
if [[ $arch == x64 && "$VANTOR_32BIT" != runs ]]; then
    sed "s/\\\\Vantor\\.dll\$/\\\\$VANTOR_MODULE32/" "$work/regsvr32-registry64.txt" >"$work/regsvr32-registry32.txt"
    echo "note  32-bit view compared with the 64-bit view's registration: 32-bit programs $VANTOR_32BIT"
fi
same_state "the package's registry equals regsvr32's plus the shell keys, view by view" regsvr32 installed registry
uninstall_product

# ---- The product folder chosen by the archiver's installer -----------------------------------------
# Installed into another folder; a rebuild of the same version (a new product code) installed without
# naming the folder replaces it there, and its removal empties that folder.
chosen='C:\Apps\Vantor'
cp "$msi" "$work/rebuilt.msi"
msibuild "$work/rebuilt.msi" -q "UPDATE \`Property\` SET \`Value\` = '{$(tr a-z A-Z </proc/sys/kernel/random/uuid)}'
    WHERE \`Property\` = 'ProductCode'"
if run_msiexec /i "$(winpath "$msi")" "INSTALLFOLDER=$chosen" && [[ "$(class_server)" == "$chosen\Vantor.dll" ]] &&
    run_msiexec /i "$(winpath "$work/rebuilt.msi")" && [[ "$(class_server)" == "$chosen\Vantor.dll" ]] &&
    [[ ! -e "$product" && "$(installed_entries)" == "Vantor Shell Extension $version" ]]; then
    pass "INSTALLFOLDER=$chosen, then a rebuild installed over it: the module stays there, one entry"
else
    fail "INSTALLFOLDER=$chosen and a rebuild over it: class '$(class_server)', entries '$(installed_entries)'"
fi
if run_msiexec /x "$(winpath "$work/rebuilt.msi")" && [[ ! -e "$(unixpath "$chosen")" && -z "$(class_server)" ]]; then
    pass "msiexec /x removes $chosen"
else
    fail "removal from $chosen"
    find "$(unixpath "$chosen")" | show
fi

# ---- The 32-bit package on 64-bit Windows ------------------------------------------------------------
if [[ $arch == x64 ]]; then
    msi32=$release/Vantor-$version-x86.msi
    wine msiexec /i "$(winpath "$msi32")" /qn </dev/null >/dev/null 2>&1
    status=$?
    [[ $status -ne 0 && ! -e "$WINEPREFIX/drive_c/Program Files (x86)/Vantor" ]] &&
        pass "the x86 package refuses 64-bit Windows (exit status $status)" ||
        fail "the x86 package on 64-bit Windows: exit status $status"
fi

check_summary "install checks"
