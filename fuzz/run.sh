#!/usr/bin/env bash
# fuzz/run.sh [--build-dir DIR] [--no-build] TARGET|all SECONDS
# fuzz/run.sh [--build-dir DIR] [--no-build] --runs N TARGET|all [SECONDS]
#
# Builds the sanitized fuzz targets into DIR (default build/sanitize, as test.sh does) and runs
# each named target (reply, preset, state or all) for SECONDS, or for N inputs (at most SECONDS,
# when given), on a scratch copy of its committed corpus under fuzz/corpus/, with the protocol
# dictionary fuzz/octo.dict. Prints per target the inputs run and their rate, the coverage
# (libFuzzer's cov and ft), the corpus growth and the findings. A crash, memory error, undefined
# behaviour or failed check ends that target; its input is kept under DIR/fuzz/findings/TARGET/
# and the script exits 1. The grown corpus is kept as DIR/fuzz/corpus-TARGET.last and the log as
# DIR/fuzz/logs/TARGET.log; the committed corpus changes by hand.
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$OCTO_ROOT/build/sanitize"
BUILD_FIRST=1
ALL_TARGETS=(reply preset state)

RUNS=0

usage() {
    sed -n '2,3p' "$0" | sed 's/^# //' >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case $1 in
    --build-dir) BUILD=$(realpath -m "$2"); shift 2 ;;
    --no-build) BUILD_FIRST=0; shift ;;
    --runs) RUNS=$2; shift 2 ;;
    -h | --help) usage ;;
    *) break ;;
    esac
done
[[ $RUNS =~ ^[0-9]+$ ]] || usage
if [ "$RUNS" = 0 ]; then [ $# -eq 2 ] || usage; else [ $# -eq 1 ] || [ $# -eq 2 ] || usage; fi
case $1 in
all) targets=("${ALL_TARGETS[@]}") ;;
reply | preset | state) targets=("$1") ;;
*) usage ;;
esac
seconds=${2:-0}
[[ $seconds =~ ^[0-9]+$ ]] && { [ "$RUNS" != 0 ] || [ "$seconds" != 0 ]; } || usage
limits=(-max_total_time="$seconds")
[ "$RUNS" = 0 ] || limits+=(-runs="$RUNS")

if [ "$BUILD_FIRST" = 1 ]; then
    source "$OCTO_ROOT/scripts/packages.sh"
    ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_SANITIZE_PACKAGES[@]}"
    cmake -S "$OCTO_ROOT" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DOCTO_SANITIZE=ON \
        -DOCTO_FUZZ=ON >/dev/null
    cmake --build "$BUILD" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
fi

# The sanitizers' runtime options, as CTest sets them (tests/sanitizers/), unless given.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=0:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# stat VALUE_NAME LOG: a number from libFuzzer's final statistics, or from its progress lines.
stat() {
    local value
    value=$(sed -n "s/^stat::$1: *//p" "$2" | tail -1)
    if [ -z "$value" ] && [ "$1" = number_of_executed_units ]; then
        value=$(grep -o '^#[0-9]*' "$2" | tail -1 | tr -d '#')
    fi
    echo "${value:-0}"
}

# progress FIELD LOG: a field of libFuzzer's last progress line: cov (code edges reached), ft
# (features) or corp (inputs in its corpus, which keeps the smallest input of each feature).
progress() {
    local value
    value=$(grep -E '^#[0-9]+' "$2" | grep -o " $1: [0-9]*" | tail -1 | sed 's/.*: //')
    echo "${value:-0}"
}

failed=0
for target in "${targets[@]}"; do
    fuzzer="$BUILD/fuzz/fuzz_$target"
    [ -x "$fuzzer" ] || { echo "fuzz_$target: not built in $BUILD" >&2; exit 1; }
    mkdir -p "$BUILD/fuzz/findings/$target" "$BUILD/fuzz/logs"
    scratch=$(mktemp -d "$BUILD/fuzz/corpus-$target.XXXXXX")
    cp "$OCTO_ROOT/fuzz/corpus/$target"/* "$scratch"/
    seeds=$(find "$scratch" -type f | wc -l)
    log="$BUILD/fuzz/logs/$target.log"
    # No leak check (tests/sanitizers/Sanitizers.cmake says why).
    set +e
    start=$(date +%s.%N)
    "$fuzzer" "$scratch" -dict="$OCTO_ROOT/fuzz/octo.dict" "${limits[@]}" \
        -rss_limit_mb=2048 -timeout=30 -detect_leaks=0 -print_final_stats=1 \
        -artifact_prefix="$BUILD/fuzz/findings/$target/" >"$log" 2>&1
    status=$?
    set -e
    elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    corpus=$(find "$scratch" -type f | wc -l)
    rm -rf "$BUILD/fuzz/corpus-$target.last"
    mv "$scratch" "$BUILD/fuzz/corpus-$target.last"
    findings=$(sed -n 's/.*Test unit written to //p' "$log")
    inputs=$(stat number_of_executed_units "$log")
    echo "fuzz_$target: $inputs inputs in $(printf %.0f "$elapsed") s" \
        "($(awk -v n="$inputs" -v s="$elapsed" 'BEGIN { printf "%d", n / s }')/s, peak $(stat peak_rss_mb "$log") MB)," \
        "cov $(progress cov "$log") ft $(progress ft "$log") corp $(progress corp "$log")," \
        "corpus $seeds -> $corpus files, findings: ${findings:-none}"
    if [ $status -ne 0 ]; then
        failed=1
        echo "fuzz_$target failed with status $status; log: $log" >&2
        grep -E -m 5 'ERROR:|runtime error:|fuzz check failed' "$log" >&2 || true
    fi
done
exit $failed
