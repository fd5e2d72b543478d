#!/usr/bin/env bash
# own-display.sh COMMAND [ARGS...]: runs COMMAND on an X server of its own (Xvfb, 1920x1080x24)
# and exits with its status.
#
# CTest runs suites in parallel. Suites that share one X server take each other's keyboard focus
# and pointer: a click or a key meant for one window lands in another, and a suite fails for a
# reason that is not its own. So every suite that needs a window system starts this wrapper and
# has a server to itself. The server picks a free display number and writes it to a pipe
# (-displayfd), so two suites starting at the same moment never race for a number.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: own-display.sh COMMAND [ARGS...]" >&2; exit 2; }

dir=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/display" 2>"$dir/server.log" &
server=$!
if ! read -r -t 30 number <"$dir/display"; then
    echo "own-display.sh: the X server did not start:" >&2
    cat "$dir/server.log" >&2
    exit 1
fi
status=0
DISPLAY=":$number" "$@" || status=$?
exit "$status"
