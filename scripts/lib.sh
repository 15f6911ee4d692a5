# Sourced, not run: the shell library of every script that drives Wine (the test runner, the demo,
# the benchmark, the end-to-end and installer tests and CTest's Wine wrapper).
#   source scripts/lib.sh
#   vantor_wine_env x86|x64     (for a script that starts Windows programs of one architecture)
# Sourcing it sets a UTF-8 locale (Wine spells Windows names in the locale's character set: with
# none, every name outside ASCII fails) and finds out what this machine runs. Each fact about the
# machine, a prefix or the product is computed in one function here.

vantor_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export LC_ALL=C.UTF-8

# ---- The machine ---------------------------------------------------------------------------------
# Some kernels run 64-bit code only: there every i386 program, the i386 dynamic loader included,
# fails with "Exec format error". Found out by trying, once the set-up has installed that loader (so
# not when this file is sourced, which may be before), and exported, so that everything started from
# the first script that asks keeps the answer:
#   VANTOR_MACHINE_32BIT  yes or no: whether the kernel runs 32-bit code (what a prefix is made with)
#   VANTOR_32BIT          "runs", or why 32-bit programs are not run (VANTOR_FORCE_64BIT_ONLY=1 takes
#                         the 64-bit-only road on a machine that could run both)
vantor_probe_machine() {
    [[ -n "${VANTOR_32BIT:-}" && -n "${VANTOR_MACHINE_32BIT:-}" ]] && return 0
    VANTOR_MACHINE_32BIT=no
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && VANTOR_MACHINE_32BIT=yes
    if [[ "${VANTOR_FORCE_64BIT_ONLY:-}" == 1 ]]; then
        VANTOR_32BIT="not run: VANTOR_FORCE_64BIT_ONLY=1 asks for the 64-bit-only road"
    elif [[ $VANTOR_MACHINE_32BIT == yes ]]; then
        VANTOR_32BIT=runs
    elif [[ ! -e /lib/ld-linux.so.2 ]]; then
        VANTOR_32BIT="not run: the i386 loader /lib/ld-linux.so.2 is not installed (scripts/setup.sh installs it)"
    else
        VANTOR_32BIT="not run: this machine does not run 32-bit programs (/lib/ld-linux.so.2 cannot start)"
    fi
    export VANTOR_MACHINE_32BIT VANTOR_32BIT
}

# ---- The Wine environment of an architecture ---------------------------------------------------
# vantor_wine_env x86|x64: WINEARCH (win32 for the x86 tree, win64 for the x64 tree), WINELOADER (the
# architecture's loader by its absolute path), WINEDEBUG and WINEDLLOVERRIDES. Each loader is named
# outright, whatever was set up before: Debian's wine script picks the 32-bit loader whenever wine32
# is installed, and a "wine" found on PATH may be another environment's. The 64-bit loader finds its
# preloader beside it and hands 32-bit programs to the 32-bit loader beside it.
vantor_wine_env() {
    vantor_probe_machine
    case "$1" in
    x86) export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
    x64) export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
    *)
        echo "lib.sh: unknown architecture '$1' (x86 or x64)" >&2
        return 2
        ;;
    esac
    VANTOR_ARCH=$1
    export WINEDEBUG=${WINEDEBUG:--all}
    # No .NET or Gecko installers; and no winemenubuilder, which a new prefix starts in the
    # background to turn Windows shortcuts and icons into the desktop's: it would write into the
    # user's home, and its icons are window-system objects made while the tests count theirs.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
}

# Every script starts Wine through this function, so through the loader of the environment set up
# last.
wine() {
    "$WINELOADER" "$@"
}

# True when this machine runs the programs of the architecture set up.
vantor_arch_runs() {
    [[ "$WINEARCH" == win64 || "$VANTOR_32BIT" == runs ]]
}

# For a test: says why and exits with 77 (CTest's "skipped") when the architecture's programs do
# not run here.
vantor_skip_unless_runs() {
    vantor_arch_runs && return 0
    echo "$VANTOR_32BIT"
    exit 77
}

# The architecture of a build tree (x86 or x64), from its CMake cache.
vantor_tree_arch() {
    sed -n 's/^VANTOR_ARCH:INTERNAL=//p' "$1/CMakeCache.txt"
}

# Runs a command inside one virtual display. Every Wine process of a prefix must see the same display:
# Wine's desktop binds to the display of the first call that needs one.
vantor_in_display() {
    xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}

# ---- Prefixes ------------------------------------------------------------------------------------
# Each build tree has its own prefix, TREE/wineprefix, of the tree's kind. A 64-bit prefix made
# where 32-bit code runs has its 32-bit half: syswow64 and the x86 common controls 6 in winsxs, which
# a 64-bit module that wrongly asks for x86 ones would find (and fail on, as on real 64-bit
# Windows); made where 32-bit code does not run, it has not. The kind of machine a prefix was made
# on is written into it once its boot has finished; a prefix made on the other kind, or left
# half-booted, is made anew.
vantor_prefix_stamp=.vantor-prefix

# What the prefix is made of, in words (WINEPREFIX).
vantor_prefix_halves() {
    local windows=$WINEPREFIX/drive_c/windows
    [[ -f "$WINEPREFIX/$vantor_prefix_stamp" ]] || { echo "not made"; return; }
    if [[ "$(cat "$WINEPREFIX/$vantor_prefix_stamp")" != win64,* ]]; then
        echo "32-bit"
    elif [[ -f "$windows/syswow64/kernel32.dll" ]] &&
        compgen -G "$windows/winsxs/x86_microsoft.windows.common-controls_6595b64144ccf1df_6.*" >/dev/null; then
        echo "64-bit, with its 32-bit half (syswow64, x86 common controls 6)"
    else
        echo "64-bit, without a 32-bit half"
    fi
}

# Boots the prefix of a tree (or PREFIX, another prefix of the tree's kind), making it first where
# needed. Wine's service processes (services.exe, winedevice.exe, the desktop's explorer.exe) inherit
# the standard streams of the Wine call that starts them; if that call ran under a pipe that someone
# waits for (ctest, $(...), | tee), the wait would never end. So they are all started here, with
# every stream detached, before anything else uses the prefix. A tree whose programs this machine
# does not run is left alone. Usage: vantor_prefix_start TREE [PREFIX]
vantor_prefix_start() (
    set +e # "wineserver -p" fails when the server runs already, and more of Wine's calls may
    vantor_wine_env "$(vantor_tree_arch "$1")" || exit 2
    vantor_arch_runs || exit 0
    export WINEPREFIX=${2:-$1/wineprefix}
    local made_on="$WINEARCH, made where 32-bit code runs: $VANTOR_MACHINE_32BIT"
    if [[ -d "$WINEPREFIX" && "$(cat "$WINEPREFIX/$vantor_prefix_stamp" 2>/dev/null)" != "$made_on" ]]; then
        wineserver -k </dev/null >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
    fi
    # A fresh prefix is created by wineboot, whose server then goes away with its services; a second
    # call under a persistent server starts them for good, the desktop included.
    (wineserver -p; wine wineboot -i) </dev/null >/dev/null 2>&1
    (wineserver -p; wine rundll32 user32.dll,GetDesktopWindow) </dev/null >/dev/null 2>&1
    # A crashing program would start winedbg, which inherits the program's streams and can sit there
    # for good, holding the test runner's pipe open. A debugger that exits at once lets the crash end
    # the program and be reported as a failed test instead.
    local aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' view registry_views
    vantor_registry_views
    (for view in "${registry_views[@]}"; do
         wine reg add "$aedebug" /v Debugger /d 'cmd.exe /c exit' /f $view
         wine reg add "$aedebug" /v Auto /d 1 /f $view
     done
     # Xvfb runs no window manager, and Wine waits two seconds for each closed top-level window of
     # a managed program to be withdrawn; unmanaged windows close at once.
     wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f) </dev/null >/dev/null 2>&1
    if [[ $WINEARCH == win64 && $VANTOR_MACHINE_32BIT == yes ]] && ! [[ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
        echo "lib.sh: $WINEPREFIX has no 32-bit half although this machine runs 32-bit code" >&2
        exit 1
    fi
    echo "$made_on" >"$WINEPREFIX/$vantor_prefix_stamp"
)

# Stops the Wine server of a tree's prefix (or PREFIX) and every process in it.
# Usage: vantor_prefix_stop TREE [PREFIX]
vantor_prefix_stop() (
    set +e
    vantor_wine_env "$(vantor_tree_arch "$1")" || exit 2
    export WINEPREFIX=${2:-$1/wineprefix}
    [[ -d "$WINEPREFIX" ]] && wineserver -k </dev/null >/dev/null 2>&1
    exit 0
)

# The registry views whose programs run in the prefix set up, as flags of "wine reg", into the array
# registry_views: both views of a 64-bit prefix where 32-bit programs run (Wine, unlike Windows 7 and
# later, keeps HKCR\* and the other class keys apart for them), the 64-bit one alone where they do not,
# and the one and only view of a 32-bit prefix (no flag).
vantor_registry_views() {
    if [[ "$WINEARCH" == win64 ]]; then
        registry_views=(/reg:64)
        [[ "$VANTOR_32BIT" == runs ]] && registry_views+=(/reg:32)
    else
        registry_views=("")
    fi
    return 0
}

# ---- Paths between the two sides -------------------------------------------------------------------
# The Windows name of a Unix path: the prefix's drive C: for what lies under drive_c, Z: (the whole
# Unix tree, as every Wine prefix maps it) for the rest.
winpath() {
    local abs c rest
    abs=$(realpath -m "$1")
    c=$(realpath -m "$WINEPREFIX/drive_c")
    if [[ "$abs" == "$c" || "$abs" == "$c"/* ]]; then
        rest=${abs#"$c"}
        printf 'C:%s' "${rest//\//\\}"
        [[ -z "$rest" ]] && printf '\\'
    else
        printf 'Z:%s' "${abs//\//\\}"
    fi
    return 0
}

# The Unix path of a Windows path as winpath makes them (C: and Z: only).
unixpath() {
    local win=$1 rest
    rest=${win:2}
    rest=${rest//\\//}
    case "${win:0:2}" in
    [Cc]:) printf '%s%s' "$WINEPREFIX/drive_c" "$rest" ;;
    [Zz]:) printf '%s' "${rest:-/}" ;;
    *) return 1 ;;
    esac
}

# ---- The product in a prefix -----------------------------------------------------------------------
VANTOR_CLSID='{23170F69-40C1-439B-1000-000100020000}'
# The four keys an installer writes (and the options sheet's integration check box).
VANTOR_SHELL_KEYS=(
    'HKCR\*\shellex\ContextMenuHandlers\VANTOR'
    'HKCR\Directory\shellex\ContextMenuHandlers\VANTOR'
    'HKCR\Directory\shellex\DragDropHandlers\VANTOR'
    'HKCR\Drive\shellex\DragDropHandlers\VANTOR'
)
VANTOR_APPROVED='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'

# The product folder, as an installer lays it out under Program Files: the module, the archiver and
# the file manager, and Lang\. On 64-bit Windows it holds the 64-bit programs, the 64-bit module as
# Vantor.dll (Explorer and the file manager load it) and the 32-bit module as Vantor32.dll (32-bit
# programs' file dialogs load it); on 32-bit Windows the 32-bit module is Vantor.dll.
VANTOR_MODULE32=Vantor32.dll
product_folder() {
    printf '%s' "$WINEPREFIX/drive_c/Program Files/Vantor"
}

# The module file the class is registered with in one registry view ("" or /reg:32, /reg:64).
class_server() {
    wine reg query "HKCR\\CLSID\\$VANTOR_CLSID\\InprocServer32" /ve ${1:-} </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/.*REG_SZ *//p'
}

# ---- The sparse package --------------------------------------------------------------------------
# On Windows 11 the signed sparse package (Package\AppxManifest.xml in the product folder, made by the
# build) registers the Explorer command provider: its COM class, in-process in the module of the
# product folder (the package's external location), and its verbs in Explorer's first-level menu.
# Wine has no packages. There the manifest's declarations are written in the registry form Windows
# gives an unpackaged Explorer command: the class key of each com:Class, and for each item type of
# FileExplorerContextMenus the verb HKCR\<type>\shell\<verb> with ExplorerCommandHandler = class id.
# The class and the module come from the manifest, so a manifest that names the wrong class shows
# as a provider that cannot be created.

# What a package manifest declares, a line each: "class {ID} PATH THREADING" and
# "verb TYPE VERB {CLSID}". Usage: package_manifest_entries MANIFEST
package_manifest_entries() {
    python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
com = "{http://schemas.microsoft.com/appx/manifest/com/windows10}"
desktop5 = "{http://schemas.microsoft.com/appx/manifest/desktop/windows10/5}"
root = ET.parse(sys.argv[1]).getroot()
for c in root.iter(com + "Class"):
    print("class", "{%s}" % c.get("Id").upper(), c.get("Path"), c.get("ThreadingModel"))
for item in root.iter(desktop5 + "ItemType"):
    for verb in item.iter(desktop5 + "Verb"):
        print("verb", item.get("Type"), verb.get("Id"), "{%s}" % verb.get("Clsid").upper())
PY
}

# The registry keys that register_package writes for a manifest, a line each.
package_registry_keys() {
    local kind a b c
    while read -r kind a b c; do
        case $kind in
        class) printf 'HKCR\\CLSID\\%s\n' "$a" ;;
        verb) printf 'HKCR\\%s\\shell\\%s\n' "$a" "$b" ;;
        esac
    done < <(package_manifest_entries "$1")
}

# Writes what the product folder's package manifest declares, in the registry view of the prefix's
# own architecture (the manifest names the module of that architecture). Usage: register_package DIR
register_package() {
    local dir=$1 kind a b c threading view=
    [[ "$WINEARCH" == win64 ]] && view=/reg:64
    while read -r kind a b c; do
        case $kind in
        class)
            case $c in STA) threading=Apartment ;; MTA) threading=Free ;; *) threading=$c ;; esac
            wine reg add "HKCR\\CLSID\\$a\\InprocServer32" /ve /d "$(winpath "$dir")\\$b" /f $view &&
                wine reg add "HKCR\\CLSID\\$a\\InprocServer32" /v ThreadingModel /d "$threading" /f $view ;;
        verb) wine reg add "HKCR\\$a\\shell\\$b" /v ExplorerCommandHandler /d "$c" /f $view ;;
        esac </dev/null >/dev/null 2>&1 || return 1
    done < <(package_manifest_entries "$dir/Package/AppxManifest.xml")
}

# Removes what register_package wrote. Usage: unregister_package DIR
unregister_package() {
    local dir=$1 key view=
    [[ -f "$dir/Package/AppxManifest.xml" ]] || return 0
    [[ "$WINEARCH" == win64 ]] && view=/reg:64
    while read -r key; do
        wine reg delete "$key" /f $view </dev/null >/dev/null 2>&1
    done < <(package_registry_keys "$dir/Package/AppxManifest.xml")
    return 0
}

# Installs the product from a build tree's bin folder into the product folder and registers it as an
# installer would: DllRegisterServer of each module by the regsvr32 of its own architecture, and the
# four shell-integration keys; the sparse package (bin/Package) goes in beside them and is registered
# as Wine allows (register_package). In a 64-bit prefix PAIR_BIN, when given, is the 32-bit tree's
# bin folder: its module goes in beside the 64-bit one as Vantor32.dll (registered only where 32-bit
# programs run). Usage: install_product BIN [PAIR_BIN]
install_product() {
    local bin=$1 pair=${2:-} dir key view registry_views
    dir=$(product_folder)
    rm -rf "$dir"
    mkdir -p "$dir/Lang"
    cp "$bin/Vantor.dll" "$bin/VNTXG.exe" "$bin/VNTXFM.exe" "$dir/" || return 1
    cp -r "$bin/Package" "$dir/" || return 1
    cp "$bin"/Lang/*.txt "$dir/Lang/" 2>/dev/null
    wine regsvr32 /s "$(winpath "$dir/Vantor.dll")" </dev/null >/dev/null 2>&1 || return 1
    register_package "$dir" || return 1
    if [[ -n "$pair" ]]; then
        cp "$pair/Vantor.dll" "$dir/$VANTOR_MODULE32" || return 1
        if [[ "$VANTOR_32BIT" == runs ]]; then
            wine 'C:\windows\syswow64\regsvr32.exe' /s "$(winpath "$dir/$VANTOR_MODULE32")" </dev/null >/dev/null 2>&1 ||
                return 1
        fi
    fi
    vantor_registry_views
    for view in "${registry_views[@]}"; do
        for key in "${VANTOR_SHELL_KEYS[@]}"; do
            wine reg add "$key" /ve /d "$VANTOR_CLSID" /f $view </dev/null >/dev/null 2>&1 || return 1
        done
    done
}

# Removes what install_product wrote: DllUnregisterServer of each module, the keys, the folder.
uninstall_product() {
    local dir key view registry_views
    dir=$(product_folder)
    # Missing keys and files are fine: removal is also the clean-up after a failed installation.
    unregister_package "$dir"
    wine regsvr32 /s /u "$(winpath "$dir/Vantor.dll")" </dev/null >/dev/null 2>&1
    if [[ -f "$dir/$VANTOR_MODULE32" && "$VANTOR_32BIT" == runs ]]; then
        wine 'C:\windows\syswow64\regsvr32.exe' /s /u "$(winpath "$dir/$VANTOR_MODULE32")" </dev/null >/dev/null 2>&1
    fi
    vantor_registry_views
    for view in "${registry_views[@]}"; do
        for key in "${VANTOR_SHELL_KEYS[@]}"; do
            wine reg delete "$key" /f $view </dev/null >/dev/null 2>&1
        done
        wine reg delete "HKCR\\CLSID\\$VANTOR_CLSID" /f $view </dev/null >/dev/null 2>&1
    done
    rm -rf "$dir"
    return 0
}

# Starts the file manager of the product folder with its options sheet and works the sheet with
# SheetDriver.exe from BIN; the remaining arguments are the driver's (--print, --page, --apply, ...).
# Usage: drive_options_sheet BIN DRIVER_ARGUMENTS...
drive_options_sheet() {
    local bin=$1
    shift
    wine "$bin/SheetDriver.exe" --start "\"$(winpath "$(product_folder)/VNTXFM.exe")\" /options" \
        --title "Vantor Options" --timeout 15000 "$@" </dev/null
}

# The sample folder: an archive, a two-volume archive, a text file and a folder with a file in it.
make_sample_folder() {
    local dir=$1
    rm -rf "$dir"
    mkdir -p "$dir/Docs"
    printf 'Quarterly figures\r\nRevenue: 1200\r\nCosts: 950\r\n' >"$dir/notes.txt"
    printf 'Plan for the next quarter\r\n' >"$dir/Docs/plan.txt"
    python3 - "$dir/report.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("report/summary.txt", "Summary of the quarter\r\n" * 20)
    z.writestr("report/figures.csv", "month,revenue\r\njan,400\r\nfeb,380\r\nmar,420\r\n")
PY
    # The volumes of a RAR 5 archive start with its signature; the names alone make them archives.
    printf 'Rar!\x1a\x07\x01\x00' >"$dir/backup.part1.rar"
    head -c 4096 /dev/zero >>"$dir/backup.part1.rar"
    printf 'Rar!\x1a\x07\x01\x00' >"$dir/backup.part2.rar"
    head -c 2048 /dev/zero >>"$dir/backup.part2.rar"
}

# Waits until a stand-in program's record file holds a complete record: the archiver's ends with its
# Event= line, the file manager's with its CommandLine= line (give that as the second argument).
# Up to 30 seconds: a started Wine program may take ten on a machine busy with builds.
wait_for_record() {
    local file=$1 last=${2:-Event=} i
    for ((i = 0; i < 300; i++)); do
        [[ -f "$file" ]] && grep -q "^$last" "$file" && return 0
        sleep 0.1
    done
    return 1
}

# The archiver's record with what differs from run to run replaced: the product folder by
# <product>, the random numbers of the shared-memory and event names by N.
normalise_record() {
    tr -d '\r' <"$1" |
        PRODUCT_WIN=$(winpath "$(product_folder)") awk '{ b = ENVIRON["PRODUCT_WIN"]; i = index($0, b)
            if (i) $0 = substr($0, 1, i - 1) "<product>" substr($0, i + length(b)); print }' |
        sed -E 's/(Mapping|MappingEndEvent)[0-9]+/\1N/g'
}

# ---- Signatures -------------------------------------------------------------------------------------
# Verifies the Authenticode signature of FILE (a module or a package) against the certificates that
# scripts/package.sh left in RELEASE/signing/trust.pem (its test certificate, or the system's
# certificate authorities); osslsigncode's report goes to REPORT. Usage: verify_signature RELEASE FILE REPORT
verify_signature() {
    osslsigncode verify -CAfile "$1/signing/trust.pem" -in "$2" >"$3" 2>&1
}

# ---- Checks of the script tests ----------------------------------------------------------------------
# One line a check, "ok" or "FAIL"; check_summary WHAT ends the script's report and sets its status.
checks_passed=0
checks_failed=0
pass() { checks_passed=$((checks_passed + 1)); echo "ok    $1"; }
fail() { checks_failed=$((checks_failed + 1)); echo "FAIL  $1"; }
# Lines of files for a failure message, indented.
show() { sed 's/^/      /' "$@"; }
check_summary() {
    echo "$1: $checks_passed of $((checks_passed + checks_failed)) as expected"
    [[ $checks_failed -eq 0 ]]
}
