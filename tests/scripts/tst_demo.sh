#!/usr/bin/env bash
# tst_demo.sh BUILD_DIR: runs the README's demo headless and checks what it shows: every unit
# answered its ping (program log), and the picture holds one lit activity lamp per unit row.
set -euo pipefail
BUILD=$1
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
UNITS=4
LAMP_PIXELS=240 # a lit lamp is a 20 px circle: about 270 pixels of pure #00ff00

env -u DISPLAY -u WAYLAND_DISPLAY "$ROOT/scripts/demo.sh" "$BUILD"
shot="$BUILD/demo/screenshot.png"
answered=$(grep -c 'Ping Received' "$BUILD/demo/octo-remote.log")
lit=$(convert "$shot" -fill black +opaque '#00ff00' -fill white -opaque '#00ff00' \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
echo "answered: $answered, lit lamp pixels: $lit"
if [ "$answered" -lt "$UNITS" ] || [ "$lit" -lt $((UNITS * LAMP_PIXELS)) ]; then
    echo "FAIL: the demo does not show $UNITS answering units" >&2
    exit 1
fi
if pgrep -f "corvane-unit-sim 127.0.0.101" >/dev/null; then
    echo "FAIL: the simulated units outlived the demo" >&2
    exit 1
fi
