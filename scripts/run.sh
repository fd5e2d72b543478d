#!/usr/bin/env bash
# Builds the program and the simulated units, starts four simulated units on loopback and runs
# the program against them with a private application-data folder under build/demo, so the
# user's own saved state is never touched. Without a display the program runs offscreen for a
# few seconds. Stopping the program stops the simulated units.
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}"
BUILD="$OCTO_ROOT/build"
cmake -S "$OCTO_ROOT" -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target corvane-octo-remote corvane-unit-sim

DEMO="$BUILD/demo"
DATA="$DEMO/data"
STATE_DIR="$DATA/Corvane/octo-remote"
SIM_LOG="$DEMO/unit-sim.log"
APP_LOG="$DEMO/octo-remote.log"
HEADLESS_SECONDS=${OCTO_HEADLESS_SECONDS:-6}
mkdir -p "$STATE_DIR"

# Port 80 needs root; otherwise each unit takes a free port and is addressed as host:port.
listen=()
for n in 101 102 103 104; do
    if [ "$(id -u)" -eq 0 ]; then listen+=("127.0.0.$n"); else listen+=("127.0.0.$n:0"); fi
done

"$BUILD/corvane-unit-sim" "${listen[@]}" >"$SIM_LOG" 2>&1 &
SIM_PID=$!
stop_units() { kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null || true; }
trap stop_units EXIT

for _ in $(seq 100); do
    grep -qx ready "$SIM_LOG" && break
    kill -0 "$SIM_PID" 2>/dev/null || { cat "$SIM_LOG" >&2; exit 1; }
    sleep 0.1
done
grep -qx ready "$SIM_LOG" || { echo "The simulated units did not start:" >&2; cat "$SIM_LOG" >&2; exit 1; }

# A unit on port 80 is addressed by its plain IPv4 address.
mapfile -t units < <(sed -n 's/^unit [0-9]* id [0-9]* listening on //p' "$SIM_LOG" | sed 's/:80$//')
{
    echo "${#units[@]}"
    printf '%s\n' "${units[@]}"
    echo "file://$DEMO/presets"
} >"$STATE_DIR/lastState.conf"
mkdir -p "$DEMO/presets"
echo "Simulated units: ${units[*]} (log: $SIM_LOG)"

export XDG_DATA_HOME="$DATA"
unset QT_QPA_PLATFORMTHEME
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running the program offscreen for $HEADLESS_SECONDS s."
    status=0
    QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
        timeout --signal=TERM "$HEADLESS_SECONDS" "$BUILD/corvane-octo-remote" >"$APP_LOG" 2>&1 || status=$?
    # timeout's 124 is the planned end of the headless run.
    [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || { echo "The program failed ($status); see $APP_LOG" >&2; exit "$status"; }
    echo "Program log: $APP_LOG"
else
    "$BUILD/corvane-octo-remote" 2>&1 | tee "$APP_LOG"
fi
