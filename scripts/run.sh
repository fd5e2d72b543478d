#!/usr/bin/env bash
# Builds the program and the simulated units, then runs the demo (scripts/demo.sh): four
# simulated units on loopback and the program against them, with a private application-data
# folder under build/demo so the user's own saved state is never touched.
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # the headless run and its picture
    ensure_packages xvfb xauth x11-utils libgl1-mesa-dri imagemagick
fi
cmake -S "$OCTO_ROOT" -B "$OCTO_ROOT/build" >/dev/null
cmake --build "$OCTO_ROOT/build" -j "$(nproc)" --target corvane-octo-remote corvane-unit-sim
exec "$OCTO_ROOT/scripts/demo.sh" "$OCTO_ROOT/build"
