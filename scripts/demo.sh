#!/usr/bin/env bash
# demo.sh BUILD_DIR: starts four simulated units on loopback and the program built in BUILD_DIR
# against them, with a private application-data folder under BUILD_DIR/demo whose saved state
# lists the units. With a display the window opens; without one the program runs under Xvfb
# until the units have answered, a picture of the window is saved and everything stops.
# Stopping the program stops the simulated units.
#
# OCTO_DEMO_SCALE=2 makes the headless run a high-density screen: 3840x2160 with the X resource
# Xft.dpi set to 192, as desktops set it at 200 %. The window's size on screen goes to
# BUILD_DIR/demo/window-size.
set -euo pipefail
if [ "${1:-}" = "--shoot" ]; then SHOOT_ONLY=1; shift; else SHOOT_ONLY=0; fi
BUILD=$(cd "${1:?usage: demo.sh BUILD_DIR}" && pwd)
DEMO="$BUILD/demo"
DATA="$DEMO/data"
STATE_DIR="$DATA/Corvane/octo-remote"
SIM_LOG="$DEMO/unit-sim.log"
APP_LOG="$DEMO/octo-remote.log"
SHOT="$DEMO/screenshot.png"
UNITS=4
SCALE=${OCTO_DEMO_SCALE:-1}
case "$SCALE" in
    1) SCREEN=1600x900 ;;
    2) SCREEN=3840x2160 ;;
    *) echo "OCTO_DEMO_SCALE is 1 or 2" >&2; exit 2 ;;
esac
# The window's title begins with the product's name, which the build took from the project.
WINDOW_TITLE=$(sed -n 's/^CMAKE_PROJECT_DESCRIPTION:STATIC=//p' "$BUILD/CMakeCache.txt")

# Runs inside Xvfb (demo.sh --shoot BUILD_DIR): the program until every unit has answered its
# ping, then a picture of the screen.
shoot() {
    if [ "$SCALE" = 2 ]; then
        xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192"
    fi
    "$BUILD/corvane-octo-remote" >"$APP_LOG" 2>&1 &
    local app=$!
    for _ in $(seq 300); do
        [ "$(grep -c 'Ping Received' "$APP_LOG")" -ge "$UNITS" ] && break
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    sleep 1 # let the answered rows be drawn
    import -window root "$SHOT"
    xwininfo -root -tree |
        sed -n "s/.*\"$WINDOW_TITLE[^\"]*\": ([^)]*) *\([0-9]*x[0-9]*\)+.*/\1/p" >"$DEMO/window-size"
    kill "$app" 2>/dev/null
    wait "$app" 2>/dev/null || true
}
if [ "$SHOOT_ONLY" = 1 ]; then
    export XDG_DATA_HOME="$DATA"
    shoot
    exit 0
fi

rm -rf "$DEMO"
mkdir -p "$STATE_DIR" "$DEMO/presets"

# Port 80 needs root; otherwise each unit takes a free port and is addressed as host:port.
listen=()
for n in $(seq 101 $((100 + UNITS))); do
    if [ "$(id -u)" -eq 0 ]; then listen+=("127.0.0.$n"); else listen+=("127.0.0.$n:0"); fi
done

"$BUILD/corvane-unit-sim" "${listen[@]}" >"$SIM_LOG" 2>&1 &
SIM_PID=$!
APP_PID=""
stop_all() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    return 0
}
trap stop_all EXIT

for _ in $(seq 100); do
    grep -qx ready "$SIM_LOG" && break
    kill -0 "$SIM_PID" 2>/dev/null || break
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
echo "Simulated units: ${units[*]} (log: $SIM_LOG)"

export XDG_DATA_HOME="$DATA"
unset QT_QPA_PLATFORMTHEME
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$BUILD/corvane-octo-remote" 2>&1 | tee "$APP_LOG"
    exit 0
fi

# Headless: the program runs on a private Xvfb display until every unit has answered its ping,
# then the screen is saved.
echo "No display: running the program under Xvfb."
# No server reset when a client leaves: the density resource set first has to outlive its setter.
QSG_RENDER_LOOP=basic OCTO_DEMO_SCALE=$SCALE xvfb-run -a -s "-noreset -screen 0 ${SCREEN}x24" \
    "$0" --shoot "$BUILD"

answered=$(grep -c 'Ping Received' "$APP_LOG" || true)
echo "Units answered: $answered of $UNITS"
echo "Screenshot: $SHOT"
echo "Program log: $APP_LOG"
[ "$answered" -ge "$UNITS" ] && [ -s "$SHOT" ]
