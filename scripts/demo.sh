#!/usr/bin/env bash
# Builds everything and runs the demo player with the plug-in loaded.
#
#   scripts/demo.sh                 on a usable display: the player opens there, to try by hand;
#                                   without one: the scripted tour on a virtual screen
#   scripts/demo.sh --tour [DIR]    the scripted tour on a virtual screen, whatever display
#                                   there is; screenshots (PNG), two animations (GIF) and
#                                   report.txt go to DIR (default build/demo-tour)
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
        -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
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
rm -rf "$TOUR_DIR"/*.bmp "$TOUR_DIR"/*.png "$TOUR_DIR"/*.gif "$TOUR_DIR"/frames "$TOUR_DIR"/report.txt
win_dir="Z:${TOUR_DIR//\//\\}"
status=0
( cd "$BIN" && timeout 180 "$WINE" quorvel-demo.exe --tour "$win_dir" ) || status=$?

echo "demo: converting the screenshots to PNG"
for bmp in "$TOUR_DIR"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

# The animations: the tour leaves the frames of each in frames/NAME/, with frames.txt naming
# each frame and how many milliseconds it was on screen. Each becomes NAME.gif, which must
# last at most 5 s and weigh at most 500 KB: a recording that took longer plays faster (the
# report says how much), and one that weighs more gets fewer colours. The frames share one
# palette, so that colours do not flicker from frame to frame.
MAX_GIF_CS=500 MAX_GIF_BYTES=500000
make_animation() {  # NAME; adds a line to report.txt; fails when the GIF cannot be made
    local name=$1 dir=$TOUR_DIR/frames/$1 gif=$TOUR_DIR/$1.gif
    local file ms cs total=0 speed=100 delays=() colours bytes frames size line
    while read -r file ms; do total=$((total + ms)); done <"$dir/frames.txt"
    # Speed in percent of real time, so that the whole fits, with room for rounding.
    local target=$((MAX_GIF_CS * 10 - 200))
    [ "$total" -le "$target" ] || speed=$(( (total * 100 + target - 1) / target ))
    while read -r file ms; do
        # Centiseconds, at least 2: viewers show shorter delays as 10.
        cs=$(( (ms * 10 + speed / 2) / speed )); [ "$cs" -ge 2 ] || cs=2
        delays+=(-delay "$cs" "$dir/$file")
    done <"$dir/frames.txt"
    for colours in 128 96 64 48 32 16; do
        if [ ${#delays[@]} -eq 0 ] ||
           ! convert "$dir"/*.bmp -append +dither -colors "$colours" -unique-colors "$dir/palette.png" ||
           ! convert "${delays[@]}" +dither -remap "$dir/palette.png" -layers Optimize -loop 0 "$gif"; then
            echo "[FAILED] $name.gif: ImageMagick could not make it from $dir" >>"$TOUR_DIR/report.txt"
            return 1
        fi
        bytes=$(stat -c %s "$gif")
        [ "$bytes" -gt $MAX_GIF_BYTES ] || break
    done
    frames=$(identify -format '%T\n' "$gif" | wc -l)
    cs=$(identify -format '%T\n' "$gif" | awk '{ t += $1 } END { print t }')
    size=$(identify -format '%wx%h\n' "$gif" | head -n 1)
    line="$frames frames of $size, $((cs / 100)).$(printf %02d $((cs % 100))) s, $bytes bytes ($colours colours)"
    [ "$speed" -eq 100 ] ||
        line="$line, played $((speed / 100)).$(printf %02d $((speed % 100))) times as fast as it was recorded"
    if [ "$bytes" -le $MAX_GIF_BYTES ] && [ "$cs" -le $MAX_GIF_CS ]; then
        echo "[ok] $name.gif: $line" >>"$TOUR_DIR/report.txt"
    else
        echo "[FAILED] $name.gif: $line; at most 5 s and $MAX_GIF_BYTES bytes" >>"$TOUR_DIR/report.txt"
        return 1
    fi
}
if [ -d "$TOUR_DIR/frames" ]; then
    echo "demo: making the animations"
    echo "" >>"$TOUR_DIR/report.txt"
    echo "Animations (GIF, from the frames above, made with ImageMagick):" >>"$TOUR_DIR/report.txt"
    for list in "$TOUR_DIR"/frames/*/frames.txt; do
        [ -e "$list" ] || continue
        name=$(basename "$(dirname "$list")")
        if make_animation "$name"; then
            rm -rf "$TOUR_DIR/frames/$name"
        elif [ "$status" -eq 0 ]; then
            status=1
        fi
    done
    rmdir "$TOUR_DIR/frames" 2>/dev/null || true
fi

echo
[ -f "$TOUR_DIR/report.txt" ] && cat "$TOUR_DIR/report.txt"
echo
echo "demo: screenshots and report in $TOUR_DIR"
ls "$TOUR_DIR"
if [ "$status" -ne 0 ]; then
    echo "demo: the tour reported failures (exit $status)"
fi
exit "$status"
