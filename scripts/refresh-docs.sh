#!/usr/bin/env bash
# Refreshes every picture and animation in docs/ from one run of the demo tour. Nothing is
# copied unless the tour saw every step and made both animations within their limits, so a
# broken build cannot replace a good picture with a bad one.
#
#   scripts/refresh-docs.sh [DIR]      the tour's screenshots, animations and report stay in
#                                      DIR (default build/docs-tour)
#
# The demo maps the dialog font to DejaVu Sans Condensed for its run (see scripts/demo.sh),
# so the plug-in's page is not cut off at the right.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build
TOUR_DIR=${1:-build/docs-tour}
if ! scripts/demo.sh --tour "$TOUR_DIR"; then
    echo "refresh-docs: the tour did not see every step; docs/ left as it was" >&2
    exit 1
fi

# docs picture <- tour screenshot
pictures=(
    "demo-per-window.png:01-rest-per-window.png"
    "demo-hover.png:03-hover-fade-in.png"
    "demo-window-settings.png:06-menu-window-settings.png"
    "demo-custom-opacity.png:07-custom-opacity.png"
    "demo-alpha-blending-tab.png:08-alpha-blending-tab.png"
    "demo-unlinked.png:09-per-window-from-tab.png"
    "demo-docked-top.png:10-docked-top.png"
    "demo-auto-hidden.png:11-auto-hidden.png"
)
# docs animation <- tour animation (GIFs carry no date; they are copied as they are)
animations=(
    "demo-hover-fade.gif:hover-fade.gif"
    "demo-auto-hide.gif:auto-hide.gif"
)
for pair in "${pictures[@]}" "${animations[@]}"; do
    [ -f "$TOUR_DIR/${pair#*:}" ] || { echo "refresh-docs: no ${pair#*:} in $TOUR_DIR" >&2; exit 1; }
done
for pair in "${pictures[@]}"; do
    # No date or other metadata, so that an unchanged picture is an unchanged file.
    convert "$TOUR_DIR/${pair#*:}" -strip "docs/${pair%%:*}"
    echo "refresh-docs: docs/${pair%%:*} <- ${pair#*:}"
done
for pair in "${animations[@]}"; do
    cp "$TOUR_DIR/${pair#*:}" "docs/${pair%%:*}"
    echo "refresh-docs: docs/${pair%%:*} <- ${pair#*:}"
done
