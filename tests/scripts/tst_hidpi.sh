#!/usr/bin/env bash
# tst_hidpi.sh BUILD_DIR: the README's demo on a normal screen and on a 3840x2160 screen at 200 %
# (Xft.dpi 192). At 200 % the window takes twice the pixels each way, and the navigation text is
# twice as tall as on the normal screen, so the interface reads the same.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT="$BUILD/hidpi"
mkdir -p "$OUT"

# The demo at one scale: its picture goes to OUT/<scale>x.png, the window's size to stdout.
demo_at() {
    OCTO_DEMO_SCALE=$1 env -u DISPLAY -u WAYLAND_DISPLAY "$ROOT/scripts/demo.sh" "$BUILD" \
        >"$OUT/demo-$1x.log"
    cp "$BUILD/demo/screenshot.png" "$OUT/$1x.png"
    cat "$BUILD/demo/window-size"
}

# Height in pixels of the text of the "Preamps" button (white on the black navigation bar),
# whose area is the left half of 7/12 of the window's width and 40 pixels high, at scale s.
text_height() {
    local picture=$1 scale=$2
    convert "$picture" -crop "$((466 * scale))x$((40 * scale))+0+0" +repage -colorspace Gray \
        -threshold 50% -trim -format '%h' info:
}

size1=$(demo_at 1)
size2=$(demo_at 2)
h1=$(text_height "$OUT/1x.png" 1)
h2=$(text_height "$OUT/2x.png" 2)
echo "window: $size1 at 100 %, $size2 at 200 %; text height: $h1 px, $h2 px"
if [ "$size1" != 1600x900 ] || [ "$size2" != 3200x1800 ]; then
    echo "FAIL: the window is not 1600x900 and 3200x1800 device pixels" >&2
    exit 1
fi
if [ "$h1" -lt 10 ] || [ "$h2" -lt $((2 * h1 - 2)) ] || [ "$h2" -gt $((2 * h1 + 2)) ]; then
    echo "FAIL: the text is not twice as tall at 200 %" >&2
    exit 1
fi
