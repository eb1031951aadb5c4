#!/usr/bin/env bash
# Builds everything and runs the demo player with the plug-in loaded.
#
#   scripts/demo.sh                 on a usable display: the player opens there, to try by hand;
#                                   without one: the scripted tour on a virtual screen
#   scripts/demo.sh --tour [DIR]    the scripted tour on a virtual screen, whatever display
#                                   there is; screenshots (PNG) and report.txt go to DIR
#                                   (default build/demo-tour)
set -euo pipefail
CALLER_DIR=$PWD
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build

mode=auto
TOUR_DIR=$BUILD_DIR/demo-tour
while [ $# -gt 0 ]; do
    case "$1" in
        --tour)
            mode=tour
            if [ $# -gt 1 ]; then
                case "$2" in /*) TOUR_DIR=$2 ;; *) TOUR_DIR=$CALLER_DIR/$2 ;; esac
                shift
            fi ;;
        -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
        *) echo "demo: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done

display_usable() {
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then
        timeout 5 xdpyinfo >/dev/null 2>&1
    else
        timeout 5 xprop -root >/dev/null 2>&1 || timeout 10 import -window root -crop 1x1+0+0 null: >/dev/null 2>&1
    fi
}
if [ "$mode" = auto ]; then
    if display_usable; then mode=interactive; else mode=tour; fi
fi

echo "demo: set-up and build"
source scripts/width.sh
scripts/setup.sh
quorvel_configure
cmake --build --preset default

source scripts/wine-env.sh
trap stop_wine_env EXIT

# The player gives the plug-in's page a fixed size in pixels, laid out for the Windows
# dialog font. Wine here has no such font and falls back to a wider one, which cuts the
# page off at the right; while the demo runs, the dialog font is mapped to a condensed one
# whose widths are close to the Windows font's (the tests' prefix is left as it was).
FONT_KEY='HKCU\Software\Wine\Fonts\Replacements'
map_dialog_font() {
    fc-list 2>/dev/null | grep -q 'DejaVu Sans Condensed' || return 0
    "$WINE" reg add "$FONT_KEY" /v "MS Sans Serif" /d "DejaVu Sans Condensed" /f >/dev/null 2>&1 || true
    trap 'unmap_dialog_font; stop_wine_env' EXIT
}
unmap_dialog_font() {
    "$WINE" reg delete "$FONT_KEY" /v "MS Sans Serif" /f >/dev/null 2>&1 || true
}
BIN=$BUILD_DIR/bin
# The player loads build/bin/gen_quorvel.dll, a copy of the lean DLL of this width: the
# 32-bit product wherever this machine runs 32-bit code.
if [ "$QUORVEL_WIDTH" = x86 ]; then
    echo "demo: the plug-in is build/x86/gen_quorvel.dll (32-bit, the product) under 32-bit Wine"
else
    echo "demo: the plug-in is build/x64/gen_quorvel.dll (64-bit twin of the product) under 64-bit Wine"
fi

if [ "$mode" = interactive ]; then
    echo "demo: opening the player on $DISPLAY"
    echo "demo: (translucency shows only where a compositing window manager runs on that display)"
    init_prefix
    map_dialog_font
    cd "$BIN"
    "$WINE" quorvel-demo.exe
    exit 0
fi

echo "demo: no display to use, or --tour: playing the scripted tour on a virtual screen"
start_display
echo "demo: virtual screen $DISPLAY with a compositor"
init_prefix
map_dialog_font
TOUR_DIR=$(mkdir -p "$TOUR_DIR" && cd "$TOUR_DIR" && pwd)
rm -f "$TOUR_DIR"/*.bmp "$TOUR_DIR"/*.png "$TOUR_DIR"/report.txt
win_dir="Z:${TOUR_DIR//\//\\}"
status=0
( cd "$BIN" && timeout 180 "$WINE" quorvel-demo.exe --tour "$win_dir" ) || status=$?

echo "demo: converting the screenshots to PNG"
for bmp in "$TOUR_DIR"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo
[ -f "$TOUR_DIR/report.txt" ] && cat "$TOUR_DIR/report.txt"
echo
echo "demo: screenshots and report in $TOUR_DIR"
ls "$TOUR_DIR"
if [ "$status" -ne 0 ]; then
    echo "demo: the tour reported failures (exit $status)"
fi
exit "$status"
