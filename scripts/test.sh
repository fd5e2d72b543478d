#!/usr/bin/env bash
# Builds everything into build/ and runs every test suite.
# OCTO_WERROR=ON turns compiler warnings into errors (CI does this).
set -euo pipefail
OCTO_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$OCTO_ROOT/scripts/packages.sh"

ensure_packages "${OCTO_BUILD_PACKAGES[@]}" "${OCTO_RUNTIME_PACKAGES[@]}" "${OCTO_TEST_PACKAGES[@]}"
configure_and_build "$OCTO_ROOT/build" -DOCTO_BUILD_TESTS=ON -DOCTO_WERROR="${OCTO_WERROR:-OFF}"

cd "$OCTO_ROOT/build"
unset QT_QPA_PLATFORMTHEME
# Under Xvfb the QML suites get a real GL context (the software backend draws no shader effects).
xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 2 --timeout 300
