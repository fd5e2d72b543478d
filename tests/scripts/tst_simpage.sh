#!/usr/bin/env bash
# tst_simpage.sh SIMULATOR PAGE: the simulator's manual page names every option and SIM_ command
# its --help names, and none that --help does not.
set -euo pipefail
names() { grep -oE -- '(^|[ ,(])--?[a-z][a-z-]*|SIM_[A-Z]{4}' | grep -oE -- '-.*|SIM_.*' | sort -u; }
diff <("$1" --help | names) <(sed 's/\\-/-/g' "$2" | names) ||
    { echo "FAIL: --help (<) and $2 (>) differ" >&2; exit 1; }
