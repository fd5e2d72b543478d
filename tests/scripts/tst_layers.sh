#!/usr/bin/env bash
# The layers of the controller, each on the ones below it: device/ (the logging categories
# included), model/, system/, then app/. A file includes headers of its own layer and of the
# layers below, never of one above: the transport and the unit models know nothing of the slots,
# presets or window, and the slots and presets know nothing of the window.
# Prints every include that breaks the rule and fails.
set -u
cd "$1" || exit 2
status=0
above() { # folder, then the folders above it
    local folder=$1
    shift
    for upper in "$@"; do
        if grep -rnE "^\s*#\s*include\s+[\"<]$upper/" "$folder"; then
            echo "FAIL: $folder/ includes $upper/, a layer above it" >&2
            status=1
        fi
    done
}
above device model system app
above model system app
above system app
exit $status
