#!/usr/bin/env bash
# End-to-end checks of Vantor.dll through ShellHost.exe, the Explorer stand-in.
# Usage: run-e2e.sh x86|x64 BIN_DIR [PAIR_BIN_DIR]
#   Runs inside scripts/test.sh's virtual display with the build tree's prefix booted. Installs the
#   product from BIN_DIR into the prefix's Program Files as an installer would and leaves the
#   registry as it found it. For the x64 tree PAIR_BIN_DIR is the x86 tree's bin folder: its module
#   goes in beside the 64-bit one, and where 32-bit programs run the pair is checked too (both
#   registry views, the 32-bit host's menu, the same bytes reaching the archiver from either module,
#   each module starting an archiver of the other architecture). Exits with 77 (skipped) for the x86
#   tree on a machine that runs 64-bit code only.
#   VANTOR_E2E_UPDATE=1 writes what the run printed into expected/ instead of comparing.
set -uo pipefail
arch=$1
bin=$(cd "$2" && pwd)
pair=
[[ -n "${3:-}" && -f "$3/Vantor.dll" ]] && pair=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
expected=$here/expected
source "$here/../../scripts/lib.sh"
vantor_wine_env "$arch" || exit 2
vantor_skip_unless_runs
export WINEPREFIX=${WINEPREFIX:-$(dirname "$bin")/wineprefix}

for program in Vantor.dll ShellHost.exe SheetDriver.exe VNTXG.exe; do
    [[ -f "$bin/$program" ]] || { echo "FAIL: $bin/$program is missing"; exit 1; }
done

product=$(product_folder)
work=$(mktemp -d)
sample=$WINEPREFIX/drive_c/VantorE2E
s='C:\VantorE2E'

# ---- The registry as found, so that it can be put back --------------------------------------
saved_keys=()
save_key() {
    local key=$1 file
    file=$work/saved-${#saved_keys[@]}.reg
    if wine reg query "$key" </dev/null >/dev/null 2>&1; then
        wine reg export "$key" "$(winpath "$file")" /y </dev/null >/dev/null 2>&1
        saved_keys+=("$key|$file")
    else
        saved_keys+=("$key|")
    fi
}
restore_registry() {
    uninstall_product
    local entry key file
    for entry in "${saved_keys[@]}"; do
        key=${entry%%|*}
        file=${entry#*|}
        wine reg delete "$key" /f </dev/null >/dev/null 2>&1
        [[ -n "$file" ]] && wine reg import "$(winpath "$file")" </dev/null >/dev/null 2>&1
    done
    if [[ $approved_before -eq 1 ]]; then
        wine reg add "$VANTOR_APPROVED" /v "$VANTOR_CLSID" /d "Vantor Shell Extension" /f </dev/null >/dev/null 2>&1
    else
        wine reg delete "$VANTOR_APPROVED" /v "$VANTOR_CLSID" /f </dev/null >/dev/null 2>&1
    fi
}
cleanup() {
    restore_registry
    rm -rf "$sample" "$work"
}
# The whole shellex keys of the classes the module attaches to (an installer may create them), the
# class key, the settings, the approval value that DllRegisterServer writes, and what makes Wine
# show regsvr32 Windows 98.
win98_key='HKCU\Software\Wine\AppDefaults\regsvr32.exe'
for key in 'HKCU\Software\VANTOR' "HKCR\\CLSID\\$VANTOR_CLSID" 'HKCR\*\shellex' 'HKCR\Directory\shellex' \
    'HKCR\Drive\shellex' 'HKCR\Folder\shellex' "$win98_key"; do
    save_key "$key"
done
# And what the sparse package's manifest registers: the provider's class and its verbs.
while read -r key; do
    save_key "$key"
done < <(package_registry_keys "$bin/Package/AppxManifest.xml")
approved_before=0
wine reg query "$VANTOR_APPROVED" /v "$VANTOR_CLSID" </dev/null >/dev/null 2>&1 && approved_before=1
trap cleanup EXIT

# ---- Helpers ------------------------------------------------------------------------------------
# The programs run from C:\ so that what inherits the folder (the archiver) sees the same one always.
cd "$WINEPREFIX/drive_c" || exit 1

host_status=0
host_exe=$bin/ShellHost.exe # the 32-bit pair runs the x86 tree's host
run_host() {
    host_status=0
    wine "$host_exe" "$@" </dev/null >"$work/out.raw" 2>"$work/err.txt" || host_status=$?
    tr -d '\r' <"$work/out.raw" >"$work/out.txt"
}

# Compares a file with expected/NAME (or writes it there when updating); LABEL names the check.
compare() {
    local name=$1 actual=$2 label=${3:-$1}
    if [[ "${VANTOR_E2E_UPDATE:-}" == 1 ]]; then
        cp "$actual" "$expected/$name"
        pass "$label (written)"
    elif diff -u "$expected/$name" "$actual" >"$work/diff.txt"; then
        pass "$label"
    else
        fail "$label"
        show "$work/diff.txt"
        [[ -s "$work/err.txt" ]] && sed 's/^/      stderr: /' "$work/err.txt"
    fi
}

# Menu of a right-click or right-drag, compared with expected/NAME; the output stays as
# $work/actual-NAME.
menu_case() {
    local name=$1
    shift
    run_host "$@"
    cp "$work/out.txt" "$work/actual-$name"
    if [[ $host_status -ne 0 ]]; then
        fail "$name: ShellHost exit status $host_status"
        show "$work/out.txt" "$work/err.txt"
        return
    fi
    compare "$name" "$work/out.txt"
}

# Windows 11's first-level menu of the same items (ShellHost --provider) as expected/NAME, and its
# sub-commands held against the classic menu of this run, CLASSIC (a menu_case name): the same
# texts and help texts in the same order, and canonical names that are the name-based GUIDs
# (RFC 4122, version 5, here made by Python) of the classic verbs in the top item's canonical name.
provider_case() {
    local name=$1 classic=$2
    shift 2
    menu_case "$name" --provider "$@"
    [[ -f "$work/actual-$classic" ]] || return
    if python3 - "$work/actual-$classic" "$work/actual-$name" >"$work/same.txt" 2>&1 <<'PY'; then
import sys, uuid
def table(path, heading, columns):
    lines = open(path, encoding="utf-8").read().splitlines()
    at = lines.index(heading)
    starts = [lines[at + 1].index(c) for c in columns] + [None]
    return [[line[starts[i]:starts[i + 1]].strip() for i in range(len(columns))] for line in lines[at + 2:]]
classic = [row for row in table(sys.argv[1], "Menu:", ["text", "verb", "help text"]) if row[1] != "Vantor"]
top, *subs = table(sys.argv[2], "First-level menu:", ["text", "canonical name", "state", "tool tip"])
space = uuid.UUID(top[1])
problems = ["%d items, not the classic menu's %d" % (len(subs), len(classic))] if len(subs) != len(classic) else []
for (text, verb, help), (title, name, state, tip) in zip(classic, subs):
    wanted = "{%s}" % str(uuid.uuid5(space, verb)).upper()
    if (title, name, state, tip) != (text, wanted, "enabled", help):
        problems.append("%s %s %s %s is not %s %s enabled %s (%s)" % (title, name, state, tip, text, wanted, help, verb))
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
        pass "$name: the sub-commands are the items of $classic, in order, named after their verbs"
    else
        fail "$name: the sub-commands differ from the items of $classic"
        show "$work/same.txt"
    fi
}

# Invokes a verb through the host and compares the archiver's record with expected/NAME.
invoke_case() {
    local name=$1 verb=$2
    shift 2
    local record=$work/record-$name
    rm -f "$record"
    VANTOR_ARCHIVER_LOG=$(winpath "$record") run_host --no-menu --invoke-verb "$verb" "$@"
    if [[ $host_status -ne 0 ]] || ! grep -q 'InvokeCommand = 0x00000000 (S_OK)' "$work/out.txt"; then
        fail "$name: invoking $verb: exit status $host_status"
        show "$work/out.txt" "$work/err.txt"
        return
    fi
    if ! wait_for_record "$record"; then
        fail "$name: VNTXG.exe left no record"
        return
    fi
    normalise_record "$record" >"$work/record.txt"
    cp "$work/record.txt" "$work/normalised-$name"
    compare "$name" "$work/record.txt"
}

# Invokes VERB through the provider (the sub-command named after it) and compares what the stand-in
# archiver (KIND archiver) or file manager (KIND filemanager) received with expected/NAME, the
# record the classic handler's command gives.
provider_invoke_case() {
    local name=$1 kind=$2 verb=$3 variable=VANTOR_ARCHIVER_LOG last=Event=
    shift 3
    local record=$work/provider-record-$name
    [[ $kind == filemanager ]] && variable=VANTOR_FILEMANAGER_LOG last=CommandLine=
    rm -f "$record"
    local -x "$variable=$(winpath "$record")"
    run_host --provider --no-menu --invoke-verb "$verb" "$@"
    if [[ $host_status -ne 0 ]] || ! grep -q 'Invoke = 0x00000000 (S_OK)' "$work/out.txt" ||
        ! wait_for_record "$record" "$last"; then
        fail "provider: $name: invoking $verb: exit status $host_status, record $([[ -e $record ]] && echo written || echo none)"
        show "$work/out.txt" "$work/err.txt"
        return
    fi
    normalise_record "$record" >"$work/record.txt"
    compare "$name" "$work/record.txt" "provider: $verb gives $name"
}

# The class key and the approval value as one view of the registry holds them, a line a value, with
# the product folder as <product>.
registration_dump() {
    wine cmd /c reg query "HKCR\\CLSID\\$VANTOR_CLSID" /s '&' reg query "$VANTOR_APPROVED" /v "$VANTOR_CLSID" \
        </dev/null 2>/dev/null | tr -d '\r' | PRODUCT_WIN=$(winpath "$product") awk '
        /^HKEY/ { key = $0; next }
        NF && !/^reg: / { sub(/^ +/, ""); i = index($0, ENVIRON["PRODUCT_WIN"])
            if (i) $0 = substr($0, 1, i - 1) "<product>" substr($0, i + length(ENVIRON["PRODUCT_WIN"]))
            gsub(/ +/, " "); print key ": " $0 }'
}

png_case() {
    local name=$1 bmp=$2 png=$work/$1
    if [[ ! -s "$bmp" ]]; then
        fail "$name: no bitmap was written"
        return
    fi
    convert "$bmp" "$png" 2>"$work/err.txt"
    local size signature
    size=$(stat -c %s "$png" 2>/dev/null || echo 0)
    signature=$(head -c 8 "$png" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    if [[ "$signature" == 89504e470d0a1a0a && $size -gt 1000 ]]; then
        pass "$name ($(identify -format '%wx%h' "$png"), $size bytes)"
    else
        fail "$name: not a PNG or empty (signature $signature, $size bytes)"
    fi
}

# ---- Set-up ----------------------------------------------------------------------------------------
make_sample_folder "$sample"
# No settings, and regsvr32 shown the system it runs on, whatever an interrupted run left.
wine reg delete 'HKCU\Software\VANTOR' /f </dev/null >/dev/null 2>&1
wine reg delete "$win98_key" /f </dev/null >/dev/null 2>&1
if install_product "$bin" "$pair"; then
    pass "product installed into $(winpath "$product") (regsvr32, four shell keys)"
else
    fail "product installed"
    exit 1
fi
# regsvr32 registered the class under the module's exact path, apartment-threaded, and approved it.
registration_dump >"$work/registration.txt"
compare registered.txt "$work/registration.txt"

# ---- Menus -----------------------------------------------------------------------------------------
menu_case right-click-archive.txt "$s\\report.zip"
menu_case right-click-volume.txt "$s\\backup.part1.rar"
menu_case right-click-file.txt "$s\\notes.txt"
menu_case right-click-folder.txt "$s\\Docs"
menu_case right-click-several.txt "$s\\report.zip" "$s\\notes.txt" "$s\\Docs"
menu_case right-drag-folder.txt --drag-to "$s\\Docs" "$s\\report.zip" "$s\\notes.txt"
menu_case right-drag-drive.txt --drag-to 'C:\' "$s\\notes.txt"

# ---- Windows 11's first-level menu: the Explorer command provider ----------------------------------
provider_case provider-archive.txt right-click-archive.txt "$s\\report.zip"
provider_case provider-volume.txt right-click-volume.txt "$s\\backup.part1.rar"
provider_case provider-file.txt right-click-file.txt "$s\\notes.txt"
provider_case provider-folder.txt right-click-folder.txt "$s\\Docs"
provider_case provider-several.txt right-click-several.txt "$s\\report.zip" "$s\\notes.txt" "$s\\Docs"

# ---- Commands carried out --------------------------------------------------------------------------
invoke_case received-extract-to.txt VantorExtractTo "$s\\report.zip"
invoke_case received-add-to-zip.txt VantorCompressToZip "$s\\report.zip" "$s\\notes.txt" "$s\\Docs"
invoke_case received-drag-extract-to.txt VantorExtractTo --drag-to "$s\\Docs" "$s\\report.zip"
invoke_case received-drag-extract-several.txt VantorExtractTo --drag-to "$s\\Docs" "$s\\report.zip" "$s\\backup.part1.rar"
invoke_case received-test.txt VantorTest "$s\\backup.part1.rar" "$s\\backup.part2.rar"
invoke_case received-drive-add-to-zip.txt VantorCompressToZip --drag-to 'C:\' "$s\\notes.txt"

invoke_case received-add-to-zip-email.txt VantorCompressToZipEmail "$s\\notes.txt"
invoke_case received-extract.txt VantorExtract "$s\\report.zip"
invoke_case received-extract-to-several.txt VantorExtractTo "$s\\report.zip" "$s\\backup.part1.rar"
invoke_case received-add-to-vntx.txt VantorCompressToVNTX "$s\\report.zip"
invoke_case received-add-to-vntx-email.txt VantorCompressToVNTXEmail "$s\\report.zip"
invoke_case received-add.txt VantorCompress "$s\\report.zip"
invoke_case received-add-email.txt VantorCompressEmail "$s\\report.zip"

# With large pages on, the archiver is not told to do without them.
wine reg add 'HKCU\Software\VANTOR' /v LargePages /t REG_DWORD /d 1 /f </dev/null >/dev/null 2>&1
invoke_case received-extract-to-large-pages.txt VantorExtractTo "$s\\report.zip"
invoke_case received-test-large-pages.txt VantorTest "$s\\report.zip"
invoke_case received-add-large-pages.txt VantorCompress "$s\\report.zip"
wine reg delete 'HKCU\Software\VANTOR' /v LargePages /f </dev/null >/dev/null 2>&1

# "Open archive" starts the file manager on the first selected archive only.
record=$work/record-open
rm -f "$record"
VANTOR_FILEMANAGER_LOG=$(winpath "$record") run_host --no-menu --invoke-verb VantorOpen "$s\\report.zip"
if [[ $host_status -eq 0 ]] && wait_for_record "$record" CommandLine=; then
    normalise_record "$record" >"$work/record.txt"
    compare received-open.txt "$work/record.txt"
else
    fail "received-open.txt: exit status $host_status, no record from VNTXFM.exe"
fi

# By offset: in the cascaded menu offset 0 is the submenu, 3 is "Extract Here".
record=$work/record-offset
VANTOR_ARCHIVER_LOG=$(winpath "$record") run_host --no-menu --invoke-offset 3 "$s\\report.zip"
if [[ $host_status -eq 0 ]] && wait_for_record "$record"; then
    normalise_record "$record" >"$work/record.txt"
    compare received-extract-here-by-offset.txt "$work/record.txt"
else
    fail "invoke by offset 3: exit status $host_status"
fi

# Each of the eleven commands through the provider hands over what the classic handler's does.
while read -r name kind verb items; do
    paths=()
    for item in $items; do paths+=("$s\\$item"); done
    provider_invoke_case "$name" "$kind" "$verb" "${paths[@]}"
done <<'CASES'
received-open.txt filemanager VantorOpen report.zip
received-extract.txt archiver VantorExtract report.zip
received-extract-here-by-offset.txt archiver VantorExtractHere report.zip
received-extract-to.txt archiver VantorExtractTo report.zip
received-extract-to-several.txt archiver VantorExtractTo report.zip backup.part1.rar
received-test.txt archiver VantorTest backup.part1.rar backup.part2.rar
received-add-to-zip.txt archiver VantorCompressToZip report.zip notes.txt Docs
received-add-to-zip-email.txt archiver VantorCompressToZipEmail notes.txt
received-add-to-vntx.txt archiver VantorCompressToVNTX report.zip
received-add-to-vntx-email.txt archiver VantorCompressToVNTXEmail report.zip
received-add.txt archiver VantorCompress report.zip
received-add-email.txt archiver VantorCompressEmail report.zip
CASES

# A verb differs in letter case from every item: the handler refuses it and starts nothing.
record=$work/record-case
VANTOR_ARCHIVER_LOG=$(winpath "$record") run_host --no-menu --invoke-verb vantorextractto "$s\\report.zip"
sleep 0.5
if [[ $host_status -eq 4 && ! -e "$record" ]] && grep -q 'InvokeCommand = 0x80004005 (E_FAIL)' "$work/out.txt"; then
    pass "verb in other letter case refused with E_FAIL, nothing started"
else
    fail "verb in other letter case: exit status $host_status, record $([[ -e $record ]] && echo written || echo none)"
fi

# ---- The 32-bit module beside the 64-bit one ------------------------------------------------------
if [[ -n "$pair" && "$VANTOR_32BIT" != runs ]]; then
    echo "note  the 32-bit module is installed as $VANTOR_MODULE32 but not registered or run: 32-bit programs $VANTOR_32BIT"
elif [[ -n "$pair" ]]; then
    # Each module registers its class in the registry view of its own architecture.
    for view in 64:Vantor.dll 32:$VANTOR_MODULE32; do
        registered=$(class_server /reg:${view%%:*})
        if [[ "$registered" == "$(winpath "$product")\\${view#*:}" ]]; then
            pass "class registered in the ${view%%:*}-bit view: ${view#*:}"
        else
            fail "class in the ${view%%:*}-bit view names '$registered'"
        fi
    done
    # The 32-bit host gets the same menu and hands the 64-bit archiver the same bytes.
    host_exe=$pair/ShellHost.exe menu_case right-click-archive.txt "$s\\report.zip"
    record=$work/record-pair
    rm -f "$record"
    host_exe=$pair/ShellHost.exe VANTOR_ARCHIVER_LOG=$(winpath "$record") run_host --no-menu --invoke-verb \
        VantorExtractTo "$s\\report.zip"
    if [[ $host_status -eq 0 ]] && wait_for_record "$record"; then
        normalise_record "$record" >"$work/record-32.txt"
        if diff -u "$work/normalised-received-extract-to.txt" "$work/record-32.txt" >"$work/diff.txt"; then
            pass "the 32-bit module hands the 64-bit archiver the bytes the 64-bit module does"
        else
            fail "the records of the two modules differ"
            show "$work/diff.txt"
        fi
    else
        fail "32-bit host, Extract to: exit status $host_status, no record"
    fi
    # The other way round: the 64-bit module starts a 32-bit archiver.
    cp "$product/VNTXG.exe" "$work/VNTXG64.exe"
    cp "$pair/VNTXG.exe" "$product/VNTXG.exe"
    invoke_case received-extract-to.txt VantorExtractTo "$s\\report.zip"
    cp "$work/VNTXG64.exe" "$product/VNTXG.exe"
fi

# ---- Language file -------------------------------------------------------------------------------
wine reg add 'HKCU\Software\VANTOR' /v Lang /d "$(winpath "$vantor_root/tests/data/Lang/German.txt")" /f \
    </dev/null >/dev/null 2>&1
menu_case right-click-archive-german.txt "$s\\report.zip"
menu_case right-click-several-german.txt "$s\\report.zip" "$s\\notes.txt" "$s\\Docs"
provider_case provider-archive-german.txt right-click-archive-german.txt "$s\\report.zip"
provider_case provider-several-german.txt right-click-several-german.txt "$s\\report.zip" "$s\\notes.txt" "$s\\Docs"
wine reg delete 'HKCU\Software\VANTOR' /v Lang /f </dev/null >/dev/null 2>&1

# ---- Pictures --------------------------------------------------------------------------------------
run_host --no-menu --picture "$(winpath "$work/menu.bmp")" --explorer-items --highlight VantorExtractTo "$s\\report.zip"
png_case context-menu.png "$work/menu.bmp"
run_host --provider --no-menu --picture "$(winpath "$work/first.bmp")" --explorer-items --highlight VantorExtractTo \
    "$s\\report.zip"
png_case first-level-menu.png "$work/first.bmp"

# ---- The options sheet changes the next menu ---------------------------------------------------
# The file manager shows the sheet; the driver clears "Cascaded context menu" and the ticks of
# "Extract Here" (row 2) and "Test archive" (row 4), applies and closes with OK.
if [[ -f "$product/VNTXFM.exe" ]]; then
    VANTOR_FILEMANAGER_LOG=$(winpath "$work/fm-options.txt") drive_options_sheet "$bin" \
        --picture "$(winpath "$work/system.bmp")" --print --page 1 --picture "$(winpath "$work/folders.bmp")" \
        --page 0 --uncheck 1011 --untick 1022:2 --untick 1022:4 --print --apply --ok \
        >"$work/sheet.raw" 2>"$work/err.txt"
    sheet_status=$?
    tr -d '\r' <"$work/sheet.raw" >"$work/sheet.txt"
    if [[ $sheet_status -eq 0 ]]; then
        pass "options sheet driven: cascade off, two commands unticked, applied, OK"
        compare options-system-page.txt "$work/sheet.txt"
        png_case options-system.png "$work/system.bmp"
        png_case options-folders.png "$work/folders.bmp"
    else
        fail "options sheet: SheetDriver exit status $sheet_status"
        show "$work/sheet.txt" "$work/err.txt"
        [[ -f "$work/fm-options.txt" ]] && tr -d '\r' <"$work/fm-options.txt" | sed 's/^/      VNTXFM: /'
    fi
else
    echo "note  VNTXFM.exe not built: setting the values the sheet writes instead of driving it"
    wine reg add 'HKCU\Software\VANTOR\Options' /v CascadedMenu /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\VANTOR\Options' /v ContextMenu /t REG_DWORD /d 0x3F25 /f </dev/null >/dev/null 2>&1
fi
wine reg query 'HKCU\Software\VANTOR\Options' </dev/null 2>/dev/null | tr -d '\r' |
    grep -E 'CascadedMenu|ContextMenu' | sed -E 's/^ +//; s/ +/ /g' | sort >"$work/options.txt"
compare options-registry.txt "$work/options.txt"
menu_case right-click-archive-after-options.txt "$s\\report.zip"
# The first-level menu keeps its submenu; the mask takes out the same commands.
provider_case provider-archive-after-options.txt right-click-archive-after-options.txt "$s\\report.zip"
menu_case right-drag-folder-after-options.txt --drag-to "$s\\Docs" "$s\\report.zip" "$s\\notes.txt"

# ---- Unregistration, and registration by Windows 98 installers ---------------------------------
# Unregistering twice is no failure; a sub-key another program put under the class stays, with the
# class key that holds it, and the approval goes.
wine reg add "HKCR\\CLSID\\$VANTOR_CLSID\\ShellFolder" /v Attributes /d 0 /f </dev/null >/dev/null 2>&1
for run in 1 2; do
    if wine regsvr32 /s /u "$(winpath "$product/Vantor.dll")" </dev/null >/dev/null 2>&1; then
        pass "regsvr32 /u, run $run"
    else
        fail "regsvr32 /u, run $run: exit status $?"
    fi
done
registration_dump >"$work/registration.txt"
compare unregistered.txt "$work/registration.txt"
# Windows 98 has only the ANSI entry points and no approval list: a module in a folder named outside
# the ANSI code page is registered under its ANSI name, no approval is written, and one that another
# installation left stays. The run starts with neither the class nor an approval, whatever was left.
win98_folder=$WINEPREFIX/drive_c/Ωmega
mkdir -p "$win98_folder" && cp "$bin/Vantor.dll" "$win98_folder/"
wine reg add "$win98_key" /v Version /d win98 /f </dev/null >/dev/null 2>&1
wine reg delete "HKCR\\CLSID\\$VANTOR_CLSID" /f </dev/null >/dev/null 2>&1
wine reg delete "$VANTOR_APPROVED" /v "$VANTOR_CLSID" /f </dev/null >/dev/null 2>&1
wine regsvr32 /s 'C:\Ωmega\Vantor.dll' </dev/null >/dev/null 2>&1
registration_dump >"$work/registration.txt"
wine reg add "$VANTOR_APPROVED" /v "$VANTOR_CLSID" /d "Vantor Shell Extension" /f </dev/null >/dev/null 2>&1
wine regsvr32 /s /u 'C:\Ωmega\Vantor.dll' </dev/null >/dev/null 2>&1
registration_dump >>"$work/registration.txt"
compare windows98-registration.txt "$work/registration.txt"
rm -rf "$win98_folder"

check_summary "end-to-end checks"
