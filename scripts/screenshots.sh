#!/usr/bin/env bash
# Saves pictures of the complete program against simulated units, under Xvfb with Mesa GL, into
# build/screenshots/: the setup view with answering units, the unit view with two pages and
# moving meters, the recall dialog, the recall preview with changes and one channel where 48 V
# would go onto a ribbon microphone (recall-preview.png), the "Find units" panel during and after
# a search of simulated units on loopback (find-units-searching.png, find-units-found.png), the
# unit view with the show log's alarm mark and the show log after a scenario of faults
# (show-log-alarm.png, show-log.png), and the setup view on a screen at 200 %
# (setup-view@2x.png). The three pictures the README shows are copied to docs/ as well.
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}" "${OCTO_TEST_PACKAGES[@]}"
cmake -S "$OCTO_ROOT" -B "$OCTO_ROOT/build" -DOCTO_BUILD_TESTS=ON >/dev/null
cmake --build "$OCTO_ROOT/build" -j "$(nproc)" --target tst_mainwindow tst_findunits \
    tst_showlogrun corvane-octo-remote corvane-unit-sim

shots="$OCTO_ROOT/build/screenshots"
mkdir -p "$shots"
# The end-to-end window suite drives the program and saves a picture at each stage, the recall
# preview among them.
OCTO_SCREENSHOT_DIR="$shots" xvfb-run -a -s "-screen 0 1920x1080x24" \
    env QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QSG_RENDER_LOOP=basic \
    "$OCTO_ROOT/build/tests/tst_mainwindow" >"$shots/mainwindow.log" 2>&1
# The Find units panel: its suite sets the range to its simulated units' loopback addresses
# (127.0.51.1-20) before it presses "Start"; the pre-filled range is never searched.
OCTO_SCREENSHOT_DIR="$shots" xvfb-run -a -s "-screen 0 1920x1080x24" \
    env QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QSG_RENDER_LOOP=basic \
    "$OCTO_ROOT/build/tests/tst_findunits" >"$shots/findunits.log" 2>&1
# The show log: its suite plays a scenario of faults on two simulated units (about 35 s) and
# saves the window with the alarm mark lit and with the log open.
OCTO_SCREENSHOT_DIR="$shots" xvfb-run -a -s "-screen 0 1920x1080x24" \
    env QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QSG_RENDER_LOOP=basic \
    "$OCTO_ROOT/build/tests/tst_showlogrun" >"$shots/showlog.log" 2>&1
# The setup view with answering units on a 3840x2160 screen at 200 %.
OCTO_DEMO_SCALE=2 env -u DISPLAY -u WAYLAND_DISPLAY "$OCTO_ROOT/scripts/demo.sh" \
    "$OCTO_ROOT/build" >"$shots/demo-2x.log"
cp "$OCTO_ROOT/build/demo/screenshot.png" "$shots/setup-view@2x.png"
cp "$shots/find-units-found.png" "$OCTO_ROOT/docs/find-units.png"
cp "$shots/recall-preview.png" "$shots/show-log.png" "$OCTO_ROOT/docs/"
ls -1 "$shots"/*.png
