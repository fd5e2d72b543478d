#!/usr/bin/env bash
# Builds everything into build/ and runs every test suite; then builds everything again with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer into build/sanitize/ and runs every
# suite there too, with the fuzzers replaying their corpora and fuzzing 60 s each.
# OCTO_WERROR=ON turns compiler warnings into errors (CI does this).
#
#   ./scripts/test.sh           everything, as CI runs it
#   ./scripts/test.sh --quick   the normal build's suites only (no sanitized build, no fuzzing)
set -euo pipefail
QUICK=0
case "${1:-}" in
    --quick) QUICK=1 ;;
    "") ;;
    *) echo "usage: test.sh [--quick]" >&2; exit 2 ;;
esac
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

packages=("${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}" "${OCTO_TEST_PACKAGES[@]}")
[ "$QUICK" = 1 ] || packages+=("${OCTO_SANITIZE_PACKAGES[@]}")
ensure_packages "${packages[@]}"
configure_and_build "$OCTO_ROOT/build" -DOCTO_BUILD_TESTS=ON -DOCTO_WERROR="${OCTO_WERROR:-OFF}"

unset QT_QPA_PLATFORMTHEME
# The suites that need a window system start an X server of their own (Xvfb with Mesa GL: the
# software backend draws no shader effects); none of them, nor any other suite, reaches the
# display of the desktop this runs on.
run_suites() {
    (cd "$1" && env -u DISPLAY -u WAYLAND_DISPLAY ctest --output-on-failure -j 2 --timeout 300)
}
run_suites "$OCTO_ROOT/build"
if [ "$QUICK" = 1 ]; then exit 0; fi

# One after the other: the suites of both builds listen on the same loopback addresses.
configure_and_build_sanitized "$OCTO_ROOT/build/sanitize" -DOCTO_BUILD_TESTS=ON \
    -DOCTO_WERROR="${OCTO_WERROR:-OFF}"
run_suites "$OCTO_ROOT/build/sanitize"
