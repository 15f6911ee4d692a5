# Shell functions shared by scripts/demo.sh and the end-to-end test: paths between the two sides,
# installing the product into a Wine prefix as an installer would, the sample folder, and the record
# the stand-in archiver writes. Source it after scripts/wine-env.sh; it expects WINEPREFIX to name a
# booted prefix.

VANTOR_CLSID='{23170F69-40C1-439B-1000-000100020000}'
# The four keys an installer writes (and the options sheet's integration check box).
VANTOR_SHELL_KEYS=(
    'HKCR\*\shellex\ContextMenuHandlers\VANTOR'
    'HKCR\Directory\shellex\ContextMenuHandlers\VANTOR'
    'HKCR\Directory\shellex\DragDropHandlers\VANTOR'
    'HKCR\Drive\shellex\DragDropHandlers\VANTOR'
)

# The Windows name of a Unix path: the prefix's drive C: for what lies under drive_c, Z: (the whole
# Unix tree, as every Wine prefix maps it) for the rest.
winpath() {
    local abs
    abs=$(realpath -m "$1")
    local c
    c=$(realpath -m "$WINEPREFIX/drive_c")
    if [[ "$abs" == "$c" || "$abs" == "$c"/* ]]; then
        local rest=${abs#"$c"}
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

# The product folder, as an installer lays it out under Program Files: the module, the archiver and
# the file manager, and Lang\. On 64-bit Windows it holds the 64-bit programs, the 64-bit module as
# Vantor.dll (Explorer and the file manager load it) and the 32-bit module as Vantor32.dll (32-bit
# programs' file dialogs load it); on 32-bit Windows the 32-bit module is Vantor.dll.
VANTOR_MODULE32=Vantor32.dll
product_folder() {
    printf '%s' "$WINEPREFIX/drive_c/Program Files/Vantor"
}

# The registry views the prefix's shell keys live in, into the array key_views: both views of a
# 64-bit prefix (Wine, unlike Windows 7 and later, keeps HKCR\* and the other class keys apart for
# 32-bit programs), the one and only view of a 32-bit prefix (an empty flag).
set_key_views() {
    if [[ "$WINEARCH" == win64 ]]; then
        key_views=(/reg:64)
        [[ "$VANTOR_32BIT" == runs ]] && key_views+=(/reg:32)
    else
        key_views=("")
    fi
    return 0
}

# Installs the product from a build tree's bin folder into the product folder and registers it as an
# installer would: DllRegisterServer of each module by the regsvr32 of its own architecture, and the
# four shell-integration keys. In a 64-bit prefix PAIR_BIN, when given, is the 32-bit tree's bin
# folder: its module goes in beside the 64-bit one as Vantor32.dll (registered only where 32-bit
# programs run). Usage: install_product BIN [PAIR_BIN]
install_product() {
    local bin=$1 pair=${2:-} dir
    dir=$(product_folder)
    rm -rf "$dir"
    mkdir -p "$dir/Lang"
    cp "$bin/Vantor.dll" "$bin/VNTXG.exe" "$bin/VNTXFM.exe" "$dir/" || return 1
    cp "$bin"/Lang/*.txt "$dir/Lang/" 2>/dev/null
    wine regsvr32 /s "$(winpath "$dir/Vantor.dll")" </dev/null >/dev/null 2>&1 || return 1
    if [[ -n "$pair" ]]; then
        cp "$pair/Vantor.dll" "$dir/$VANTOR_MODULE32" || return 1
        if [[ "$VANTOR_32BIT" == runs ]]; then
            wine 'C:\windows\syswow64\regsvr32.exe' /s "$(winpath "$dir/$VANTOR_MODULE32")" </dev/null >/dev/null 2>&1 ||
                return 1
        fi
    fi
    local key view key_views
    set_key_views
    for view in "${key_views[@]}"; do
        for key in "${VANTOR_SHELL_KEYS[@]}"; do
            wine reg add "$key" /ve /d "$VANTOR_CLSID" /f $view </dev/null >/dev/null 2>&1 || return 1
        done
    done
}

# Removes what install_product wrote: DllUnregisterServer of each module, the keys, the folder.
uninstall_product() {
    local dir key view key_views
    dir=$(product_folder)
    # Missing keys and files are fine: removal is also the clean-up after a failed installation.
    wine regsvr32 /s /u "$(winpath "$dir/Vantor.dll")" </dev/null >/dev/null 2>&1
    if [[ -f "$dir/$VANTOR_MODULE32" && "$VANTOR_32BIT" == runs ]]; then
        wine 'C:\windows\syswow64\regsvr32.exe' /s /u "$(winpath "$dir/$VANTOR_MODULE32")" </dev/null >/dev/null 2>&1
    fi
    set_key_views
    for view in "${key_views[@]}"; do
        for key in "${VANTOR_SHELL_KEYS[@]}"; do
            wine reg delete "$key" /f $view </dev/null >/dev/null 2>&1
        done
        wine reg delete "HKCR\\CLSID\\$VANTOR_CLSID" /f $view </dev/null >/dev/null 2>&1
    done
    rm -rf "$dir"
    return 0
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
wait_for_record() {
    local file=$1 last=${2:-Event=} i
    for ((i = 0; i < 100; i++)); do
        [[ -f "$file" ]] && grep -q "^$last" "$file" && return 0
        sleep 0.1
    done
    return 1
}
