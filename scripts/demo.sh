#!/usr/bin/env bash
# The main job: builds both modules, installs them into a private 64-bit Wine prefix as an installer
# would on 64-bit Windows, and shows what a 64-bit Explorer shows with them: the context menus for
# typical selections (with verbs and help texts), what the archiver receives when "Extract to" and
# "Add to" are chosen, Windows 11's first-level menu (the Explorer command provider) and what its
# "Extract to" hands over, and pictures of the open cascaded menu, of the first-level menu and of
# both pages of the options sheet; where this machine runs 32-bit programs, also one right-click
# through a 32-bit host.
#
# Usage: scripts/demo.sh [--out DIR] [PATH...]
#   With no PATH it works on a sample folder C:\Work it makes in the prefix (report.zip,
#   backup.part1.rar, backup.part2.rar, notes.txt, Docs). With PATHs (your own files and folders,
#   all in one folder) it shows the same for them. Pictures and records go to DIR (default out/).
#   VANTOR_BUILD names the build root (default build/, holding the x64 and x86 trees).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
root=$vantor_root
build=$(realpath -m "${VANTOR_BUILD:-$root/build}")

out=$root/out
paths=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    -h | --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) paths+=("$(realpath -m "$1")"); shift ;;
    esac
done
for p in "${paths[@]}"; do
    [[ -e "$p" ]] || { echo "demo: $p does not exist" >&2; exit 1; }
done

if [[ "${VANTOR_DEMO_INSIDE:-}" != 1 ]]; then
    mkdir -p "$build"
    echo "==== Setting up and building into $build (log: $build/demo-build.log) ===="
    if ! bash "$root/scripts/build.sh" "$build" >"$build/demo-build.log" 2>&1; then
        tail -n 40 "$build/demo-build.log"
        echo "demo: the build failed" >&2
        exit 1
    fi
    started=$(date +%s%N)
    mkdir -p "$out"
    # One display for every Wine process of the prefix: its boot, the menus and the sheet.
    VANTOR_DEMO_INSIDE=1 VANTOR_BUILD=$build vantor_in_display bash "$0" --out "$out" "${paths[@]}"
    elapsed=$((($(date +%s%N) - started) / 1000000))
    printf '\nDemo done in %d.%01d s (not counting the build).\n' $((elapsed / 1000)) $((elapsed % 1000 / 100))
    exit 0
fi

# ------------------------------------------------------------------------------------------------
# Inside the virtual display: the 64-bit tree's prefix, its host and programs; the 32-bit tree gives
# the second module (and its host for one right-click, where 32-bit programs run).
tree=$build/x64
bin=$tree/bin
pair=$build/x86/bin
vantor_wine_env x64
export WINEPREFIX=$tree/wineprefix

for program in "$bin/Vantor.dll" "$bin/ShellHost.exe" "$bin/VNTXG.exe" "$pair/Vantor.dll"; do
    [[ -f "$program" ]] || { echo "demo: $program was not built" >&2; exit 1; }
done

vantor_prefix_start "$tree"
mkdir -p "$out"
work=$(mktemp -d "$out/.work.XXXXXX")
cleanup() {
    set +e
    uninstall_product
    vantor_prefix_stop "$tree"
    rm -rf "$work"
}
trap cleanup EXIT

section() { printf '\n==== %s ====\n' "$1"; }

# Runs the host with the given arguments and shows what it printed; its exit status is left in
# host_status. Wine programs write to files here, never straight into a pipe.
host_status=0
host_exe=$bin/ShellHost.exe # the 64-bit Explorer stand-in; the 32-bit one for the pair
host() {
    host_status=0
    wine "$host_exe" "$@" </dev/null >"$work/host.txt" 2>"$work/host.err" || host_status=$?
    tr -d '\r' <"$work/host.txt"
    grep -v '^[0-9a-f]*:\(fixme\|err\|warn\)' "$work/host.err" || true
    [[ $host_status -eq 0 ]] || echo "(ShellHost ended with exit status $host_status)"
}

# Carries out VERB on the selection and shows what the archiver received.
invoke_and_show() {
    local verb=$1 record=$out/$2
    shift 2
    rm -f "$record"
    VANTOR_ARCHIVER_LOG=$(winpath "$record") host --no-menu --invoke-verb "$verb" "$@"
    # A selection whose menu lacks the command (no archive, no "Extract to") starts nothing.
    [[ $host_status -eq 0 ]] || return 0
    if wait_for_record "$record"; then
        echo "What VNTXG.exe received ($(basename "$record")):"
        tr -d '\r' <"$record" | sed -n 's/^\(CommandLine\|Folder\|Names\|Name\|Block\)=/  &/p'
    else
        echo "  (no record from VNTXG.exe)"
    fi
}

section "Installing as on 64-bit Windows"
product=$(product_folder)
if ! install_product "$bin" "$pair"; then
    echo "demo: installing into $(winpath "$product") failed" >&2
    exit 1
fi
echo "Product folder $(winpath "$product"):"
(cd "$product" && find . -type f | sort | sed 's|^\./|  |')
echo "64-bit module: wine regsvr32 /s \"$(winpath "$product/Vantor.dll")\" (class in the 64-bit registry view)"
if [[ "$VANTOR_32BIT" == runs ]]; then
    echo "32-bit module: wine C:\\windows\\syswow64\\regsvr32.exe /s \"$(winpath "$product/$VANTOR_MODULE32")\" (class in the 32-bit view)"
else
    echo "32-bit module: copied, not registered: 32-bit programs $VANTOR_32BIT"
fi
for key in "${VANTOR_SHELL_KEYS[@]}"; do
    echo "wine reg add '$key' /ve /d '$VANTOR_CLSID'"
done
echo "Sparse package $(winpath "$product")\\Package\\AppxManifest.xml, registered as Wine allows (no packages there):"
package_registry_keys "$product/Package/AppxManifest.xml" | sed 's/^/  /'

if [[ ${#paths[@]} -eq 0 ]]; then
    sample=$WINEPREFIX/drive_c/Work
    make_sample_folder "$sample"
    w=$(winpath "$sample")
    section "Sample folder $w"
    (cd "$sample" && find . -mindepth 1 | sort | sed 's|^\./|  |')

    section "1. Right-click on one archive"
    host "$w\\report.zip"
    section "2. Right-click on the first volume of a multi-volume archive"
    host "$w\\backup.part1.rar"
    section "3. Right-click on a plain file"
    host "$w\\notes.txt"
    section "4. Right-click on a folder"
    host "$w\\Docs"
    section "5. Right-click on several items, one of them an archive"
    host "$w\\report.zip" "$w\\notes.txt" "$w\\Docs"
    section "6. Right-drag of an archive and a file onto the folder Docs"
    host --drag-to "$w\\Docs" "$w\\report.zip" "$w\\notes.txt"

    section "7. Choosing \"Extract to\" for report.zip"
    invoke_and_show VantorExtractTo received-extract-to.txt "$w\\report.zip"
    section "8. Choosing \"Add to\" (.zip) for several items"
    invoke_and_show VantorCompressToZip received-add-to-zip.txt "$w\\report.zip" "$w\\notes.txt" "$w\\Docs"

    section "9. The menu of report.zip with a German language file (HKCU\\Software\\VANTOR, Lang)"
    had_settings=0
    wine reg query 'HKCU\Software\VANTOR' </dev/null >/dev/null 2>&1 && had_settings=1
    wine reg add 'HKCU\Software\VANTOR' /v Lang /d "$(winpath "$root/tests/data/Lang/German.txt")" /f \
        </dev/null >/dev/null 2>&1
    host "$w\\report.zip"
    if [[ $had_settings -eq 1 ]]; then
        wine reg delete 'HKCU\Software\VANTOR' /v Lang /f </dev/null >/dev/null 2>&1
    else
        wine reg delete 'HKCU\Software\VANTOR' /f </dev/null >/dev/null 2>&1
    fi

    if [[ "$VANTOR_32BIT" == runs ]]; then
        section "10. The same right-click through a 32-bit host, which loads Vantor32.dll"
        host_exe=$pair/ShellHost.exe host "$w\\report.zip"
        host_exe=$pair/ShellHost.exe invoke_and_show VantorExtractTo received-extract-to-32.txt "$w\\report.zip"
    else
        section "10. No 32-bit host: 32-bit programs $VANTOR_32BIT"
    fi

    section "11. Windows 11's first-level menu for report.zip: the Explorer command provider"
    host --provider "$w\\report.zip"
    section "12. Choosing \"Extract to\" in the first-level menu"
    invoke_and_show VantorExtractTo received-extract-to-provider.txt --provider "$w\\report.zip"

    menu_selection=("$w\\report.zip")
else
    section "Your selection"
    wins=()
    for p in "${paths[@]}"; do
        wins+=("$(winpath "$p")")
        echo "  ${wins[-1]}"
    done
    section "1. Right-click on the selection"
    host "${wins[@]}"
    # A right-drag onto the first selected folder, as when the items are dropped into it.
    for i in "${!paths[@]}"; do
        if [[ -d "${paths[$i]}" && ${#paths[@]} -gt 1 ]]; then
            others=()
            for j in "${!paths[@]}"; do [[ $j -ne $i ]] && others+=("${wins[$j]}"); done
            section "2. Right-drag of the other items onto ${wins[$i]}"
            host --drag-to "${wins[$i]}" "${others[@]}"
            break
        fi
    done
    section "3. Choosing \"Extract to\""
    invoke_and_show VantorExtractTo received-extract-to.txt "${wins[@]}"
    section "4. Choosing \"Add to\" (.zip)"
    invoke_and_show VantorCompressToZip received-add-to-zip.txt "${wins[@]}"
    section "5. Windows 11's first-level menu for the selection: the Explorer command provider"
    host --provider "${wins[@]}"
    menu_selection=("${wins[@]}")
fi

section "Pictures"
pictures=()
host --no-menu --picture "$(winpath "$work/menu.bmp")" --explorer-items --highlight VantorExtractTo \
    "${menu_selection[@]}" >/dev/null
if [[ $host_status -eq 0 ]]; then
    convert "$work/menu.bmp" "$out/context-menu.png" && pictures+=("$out/context-menu.png")
fi
host --provider --no-menu --picture "$(winpath "$work/first.bmp")" --explorer-items --highlight VantorExtractTo \
    "${menu_selection[@]}" >/dev/null
if [[ $host_status -eq 0 ]]; then
    convert "$work/first.bmp" "$out/first-level-menu.png" && pictures+=("$out/first-level-menu.png")
fi
if [[ -f "$product/VNTXFM.exe" && -f "$bin/SheetDriver.exe" ]]; then
    # The file manager shows the sheet modally; the driver starts it, takes both pages and cancels.
    if drive_options_sheet "$bin" --picture "$(winpath "$work/system.bmp")" --page 1 \
        --picture "$(winpath "$work/folders.bmp")" --cancel >"$work/sheet.txt" 2>&1; then
        convert "$work/system.bmp" "$out/options-system.png" && pictures+=("$out/options-system.png")
        convert "$work/folders.bmp" "$out/options-folders.png" && pictures+=("$out/options-folders.png")
    else
        tr -d '\r' <"$work/sheet.txt"
    fi
fi
for p in "${pictures[@]}"; do
    echo "  $p ($(identify -format '%wx%h' "$p" 2>/dev/null))"
done

section "Output"
echo "Pictures and the archiver's records are in $out"
