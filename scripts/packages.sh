# Debian 12 packages the project needs, and a check that installs the missing ones.
# Sourced by run.sh and test.sh.

OCTO_BUILD_PACKAGES=(
    build-essential cmake pkg-config
    qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev libcpp-httplib-dev
)
# What the window needs at run time; the Debian package depends on exactly these
# (cmake/Packaging.cmake reads the list from here).
OCTO_RUNTIME_PACKAGES=(
    qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts
    qml-module-qtquick-controls2 qml-module-qtquick-dialogs qml-module-qtquick-controls
    qml-module-qtgraphicaleffects fonts-liberation
)
# x11-utils: xprop and xwininfo, for the high-density screen of the demo and its window size;
# libxcb1-dev and xdotool: the close suite's window-manager request and its clicks;
# lintian, appstream and man-db: the package test's checks of the package, its metadata and pages;
# python3: its csv module reads back the show log's export.
OCTO_TEST_PACKAGES=(qml-module-qttest xvfb xauth x11-utils libxcb1-dev xdotool libgl1-mesa-dri
    imagemagick debootstrap lintian appstream man-db groff-base python3)
# The sanitizer and fuzzing build: clang with its sanitizer and libFuzzer runtimes, and
# llvm-symbolizer for readable reports.
OCTO_SANITIZE_PACKAGES=(clang libclang-rt-14-dev llvm)

# ensure_packages NAME... : installs what is missing when run as root; otherwise prints the
# exact install line and exits non-zero.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local build_dir=$1
    shift
    cmake -S "$OCTO_ROOT" -B "$build_dir" "$@"
    cmake --build "$build_dir" -j "$(nproc)"
}

# configure_and_build_sanitized BUILD_DIR [cmake options...]: everything built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzz targets.
configure_and_build_sanitized() {
    local build_dir=$1
    shift
    configure_and_build "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DOCTO_SANITIZE=ON \
        -DOCTO_FUZZ=ON "$@"
}
