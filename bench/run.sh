#!/usr/bin/env bash
# Builds the benchmarks into build-bench/ (optimised, with debug symbols for profilers) and runs
# all nine, printing one table; the table also goes to build-bench/bench-results.md and the
# measurements' diagnostics to build-bench/bench.log.
#
#   bench/run.sh                 5 runs of 30 s for benchmarks 1-4 and 6, 5 recalls of each kind
#                                (7) and 5 holds of each kind (8), 5 runs of three 60 s windows for
#                                9, a 10-minute soak (about 65 min)
#   bench/run.sh --quick         1 run of 5 s, 1 recall of each kind, 1 run of 10 s windows for 9,
#                                a soak of 2 windows of 15 s (about 4 min)
#   bench/run.sh [--runs N] [--seconds S] [--storm-seconds S] [--soak-minutes M]
#                [--parts load,commands,interface,soak,showlog]
#
# Parts: load = 1-3 (engine, bare client and wrk against twelve units), commands = 6-8 (command
# latency of one unit in the serial profile at 0, 20 and 60 ms of service, the recall of a
# preset to twelve such units at 0 and 20 ms, and a held gain button on one such unit: one
# channel at 300 ms, eight grouped channels at 60 ms), interface = 4, soak = 5, showlog = 9 (the
# program in a clip storm on all 96 channels beside the same run without it). Load and commands
# take turns run by run, so `--parts load,commands` measures them side by side.
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

runs=5
seconds=30
soak_windows=10
soak_window_seconds=60
soak_silence_seconds=20
storm_seconds=60
parts=load,commands,interface,soak,showlog
while [ $# -gt 0 ]; do
    case "$1" in
        --quick) runs=1 seconds=5 soak_windows=2 soak_window_seconds=15 soak_silence_seconds=5
                 storm_seconds=10; shift ;;
        --runs) runs=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --storm-seconds) storm_seconds=$2; shift 2 ;;
        --soak-minutes) soak_windows=$2; shift 2 ;;
        --parts) parts=$2; shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

# wrk measures what a bare C client pays per request against the same units.
ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}" wrk
build="$OCTO_ROOT/build-bench"
cmake -S "$OCTO_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOCTO_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target octo-bench corvane-unit-sim

: >"$build/bench.log"
"$build/bench/octo-bench" all --runs "$runs" --seconds "$seconds" --parts "$parts" \
    --soak-windows "$soak_windows" --soak-window-seconds "$soak_window_seconds" \
    --soak-silence-seconds "$soak_silence_seconds" --storm-seconds "$storm_seconds" \
    --log "$build/bench.log" |
    tee "$build/bench-results.md"
