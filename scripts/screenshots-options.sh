#!/usr/bin/env bash
# Takes a PNG of each page of the options sheet "Vantor Options":
#   OUT_DIR/options-system.png and OUT_DIR/options-folders.png.
# Usage: scripts/screenshots-options.sh OUT_DIR [BUILD_DIR]   (default build dir: build)
# Runs under its own Xvfb screen unless a display is given; builds the tree when the test
# program is missing. Needs ImageMagick's "import" (package imagemagick).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[[ $# -ge 1 ]] || { echo "usage: $0 OUT_DIR [BUILD_DIR]" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
build=${2:-$root/build}
[[ "$build" = /* ]] || build=$(pwd)/$build

if [[ -z "${DISPLAY:-}" ]]; then
    # 24-bit colour: xvfb-run's default screen has 8 bits.
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$out" "$build"
fi

if [[ ! -f "$build/bin/test_options.exe" ]]; then
    bash "$root/scripts/build.sh" "$build"
fi
command -v import >/dev/null || { echo "ImageMagick's import is missing (package imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
app_key='HKCU\Software\Wine\AppDefaults\test_options.exe'
cleanup() {
    WINEPREFIX="$build/wineprefix" WINEDEBUG=-all wine reg delete "$app_key" /f </dev/null >/dev/null 2>&1 || true
    bash "$root/scripts/wine-prefix.sh" stop "$build"
    rm -rf "$work"
}
bash "$root/scripts/wine-prefix.sh" start "$build"
trap cleanup EXIT
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
# Unmanaged: with no window manager on the screen, Wine then draws the sheet's own caption.
wine reg add "$app_key\\X11 Driver" /v Managed /d N /f </dev/null >/dev/null 2>&1

# Wine sees the Unix root as drive Z:.
VANTOR_OPTIONS_SCREENSHOTS="Z:${work//\//\\}" wine "$build/bin/test_options.exe" \
    --gtest_filter=OptionsScreenshots.EachPage </dev/null >"$work/run.log" 2>&1 &
runner=$!

for page in system folders; do
    for _ in $(seq 600); do
        [[ -f "$work/$page.ready" ]] && break
        kill -0 "$runner" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -f "$work/$page.ready" ]]; then
        echo "the $page page never came up:" >&2
        cat "$work/run.log" >&2
        exit 1
    fi
    read -r x y width height <"$work/$page.ready"
    import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out/options-$page.png"
    touch "$work/$page.done"
    echo "$out/options-$page.png"
done

if ! wait "$runner"; then
    echo "the picture-taking run failed:" >&2
    cat "$work/run.log" >&2
    exit 1
fi
