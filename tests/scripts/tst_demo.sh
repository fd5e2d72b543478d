#!/usr/bin/env bash
# tst_demo.sh BUILD_DIR: the README's demo, run headless as a person without a display would, on
# a normal screen and on a 3840x2160 screen at 200 % (Xft.dpi 192). demo.sh itself fails unless
# every unit answered its ping. On the normal screen the picture holds one lit activity lamp per
# unit row and no simulated unit outlives the demo; at 200 % the window takes twice the pixels
# each way and the navigation text is twice as tall, so the interface reads the same.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT="$BUILD/demo-shots"
UNITS=4
LAMP_PIXELS=240 # a lit lamp is a 20 px circle: about 270 pixels of pure #00ff00
mkdir -p "$OUT"
fail() { echo "FAIL: $*" >&2; exit 1; }

# The demo at one scale: its picture goes to OUT/<scale>x.png, the window's size to stdout.
demo_at() {
    OCTO_DEMO_SCALE=$1 env -u DISPLAY -u WAYLAND_DISPLAY "$ROOT/scripts/demo.sh" "$BUILD" \
        >"$OUT/demo-$1x.log" &&
        cp "$BUILD/demo/screenshot.png" "$OUT/$1x.png" && cat "$BUILD/demo/window-size"
}

# Height in pixels of the text of the "Preamps" button (white on the black navigation bar),
# whose area is the left half of 7/12 of the window's width and 40 pixels high, at scale s.
text_height() {
    local picture=$1 scale=$2
    convert "$picture" -crop "$((466 * scale))x$((40 * scale))+0+0" +repage -colorspace Gray \
        -threshold 50% -trim -format '%h' info:
}

size1=$(demo_at 1)
! pgrep -f "corvane-unit-sim 127.0.0.101" >/dev/null || fail "the simulated units outlived the demo"
lit=$(convert "$OUT/1x.png" -fill black +opaque '#00ff00' -fill white -opaque '#00ff00' \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
size2=$(demo_at 2)
h1=$(text_height "$OUT/1x.png" 1)
h2=$(text_height "$OUT/2x.png" 2)
echo "lit lamp pixels: $lit; window: $size1 at 100 %, $size2 at 200 %; text: $h1 px, $h2 px"
[ "$lit" -ge $((UNITS * LAMP_PIXELS)) ] || fail "the demo does not show $UNITS answering units"
[ "$size1" = 1600x900 ] && [ "$size2" = 3200x1800 ] ||
    fail "the window is not 1600x900 and 3200x1800 device pixels"
[ "$h1" -ge 10 ] && [ "$h2" -ge $((2 * h1 - 2)) ] && [ "$h2" -le $((2 * h1 + 2)) ] ||
    fail "the text is not twice as tall at 200 %"
