#!/usr/bin/env bash
# Builds the unit-page harness into build/ and saves a screenshot of one unit page with moving
# meters, fed by a simulated unit, to build/screenshots/unit-page.png.
# Extra arguments go to the harness, e.g. --pages 2 or --peak-mode 2 (see its --help).
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}" \
    "${OCTO_TEST_PACKAGES[@]}"
cmake -S "$OCTO_ROOT" -B "$OCTO_ROOT/build" -DOCTO_BUILD_TESTS=ON
cmake --build "$OCTO_ROOT/build" --target octo-unit-page-harness -j "$(nproc)"

shot="$OCTO_ROOT/build/screenshots/unit-page.png"
mkdir -p "$(dirname "$shot")"
# A real X server with Mesa GL: the software scene graph would draw no drop shadows. The basic
# render loop keeps animations and timers on the wall clock where nothing paces the frames.
xvfb-run -a -s "-screen 0 1920x1080x24" \
    env QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QSG_RENDER_LOOP=basic \
    "$OCTO_ROOT/build/tests/qml/octo-unit-page-harness" --seconds 2 --screenshot "$shot" "$@"
