# Shell functions shared by scripts/demo.sh and the end-to-end test: paths between the two sides,
# installing the module into a Wine prefix as an installer would, the sample folder, and the record
# the stand-in archiver writes. Source it; it expects WINEPREFIX to name a booted prefix.

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

# Registers the module (DllRegisterServer) and writes the four shell-integration keys.
install_module() {
    local dll=$1
    wine regsvr32 /s "$(winpath "$dll")" </dev/null >/dev/null 2>&1 || return 1
    local key
    for key in "${VANTOR_SHELL_KEYS[@]}"; do
        wine reg add "$key" /ve /d "$VANTOR_CLSID" /f </dev/null >/dev/null 2>&1 || return 1
    done
}

# Removes what install_module wrote (DllUnregisterServer, then the keys).
uninstall_module() {
    local dll=$1 key
    # Missing keys are fine: removal is also the clean-up after a failed installation.
    wine regsvr32 /s /u "$(winpath "$dll")" </dev/null >/dev/null 2>&1 || true
    for key in "${VANTOR_SHELL_KEYS[@]}"; do
        wine reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
    done
    wine reg delete "HKCR\\CLSID\\$VANTOR_CLSID" /f </dev/null >/dev/null 2>&1 || true
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
