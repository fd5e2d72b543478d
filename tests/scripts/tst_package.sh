#!/usr/bin/env bash
# tst_package.sh BUILD_DIR: builds the Debian package, installs it with apt into a fresh minimal
# Debian 12 tree that holds nothing but the package's declared dependencies, and starts the
# installed program offscreen against the installed simulator. A QML module or library missing
# from the dependencies shows here, as it would on an operator's machine. Lintian checks the
# package, appstreamcli its metadata and man its manual pages.
# Needs root, dpkg-deb and debootstrap (and the Debian mirror); skipped (exit 77) without them.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SKIP=77
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg-deb >/dev/null || ! command -v debootstrap >/dev/null; then
    echo "SKIP: the package smoke test needs root, dpkg-deb and debootstrap"
    exit $SKIP
fi

WORK="$BUILD/package-test"
BASE="$WORK/base" # the minimal tree as debootstrap left it, kept between runs
ROOT="$WORK/root" # a fresh copy of it for each run
mkdir -p "$WORK"
(cd "$BUILD" && cpack -G DEB -B "$WORK" >/dev/null)
deb=$(ls "$WORK"/corvane-octo-remote_*_amd64.deb)
echo "package: $deb"
# Debian's checks of the package: no errors or warnings (informational tags are fine).
lintian --fail-on error,warning "$deb"

if [ ! -f "$BASE/.complete" ]; then
    rm -rf "$BASE"
    echo "creating a minimal Debian 12 tree (about a minute)"
    debootstrap --variant=minbase bookworm "$BASE" http://deb.debian.org/debian >"$WORK/debootstrap.log" 2>&1 ||
        { tail -20 "$WORK/debootstrap.log"; exit 1; }
    touch "$BASE/.complete"
fi
rm -rf "$ROOT"
cp -a "$BASE" "$ROOT"

mount -t proc proc "$ROOT/proc"
trap 'umount "$ROOT/proc" 2>/dev/null || true' EXIT
cp "$deb" "$ROOT/tmp/octo.deb"
chroot "$ROOT" apt-get update -qq >"$WORK/apt.log" 2>&1
DEBIAN_FRONTEND=noninteractive chroot "$ROOT" apt-get install -y -qq --no-install-recommends \
    /tmp/octo.deb >>"$WORK/apt.log" 2>&1 || { tail -20 "$WORK/apt.log"; exit 1; }

# The installed metadata as software centres read it, and the installed manual pages rendered
# without a warning.
appstreamcli validate --no-net --pedantic "$ROOT"/usr/share/metainfo/*.metainfo.xml
for page in corvane-octo-remote corvane-unit-sim; do
    warnings=$(MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "FAIL: manual page $page: $warnings" >&2; exit 1; }
done

# Inside the tree: one simulated unit on loopback, a saved state that lists it, and the program
# offscreen for a few seconds; the window pings the listed unit when it fills its setup list.
cat >"$ROOT/tmp/smoke.sh" <<'SMOKE'
set -eu
corvane-unit-sim --stop-with-stdin 127.0.0.201:18080 >/tmp/sim.log 2>&1 </dev/zero &
for i in $(seq 50); do grep -qx ready /tmp/sim.log && break; sleep 0.1; done
mkdir -p /tmp/data/Corvane/octo-remote
printf '1\n127.0.0.201:18080\nfile:///tmp\n' >/tmp/data/Corvane/octo-remote/lastState.conf
XDG_DATA_HOME=/tmp/data QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
    timeout 8 corvane-octo-remote >/tmp/app.log 2>&1 || true
kill %1 2>/dev/null || true
cat /tmp/app.log
SMOKE
chroot "$ROOT" bash /tmp/smoke.sh >"$WORK/smoke.log" 2>&1 || true
if grep -q 'Ping Received' "$WORK/smoke.log" && ! grep -qE 'is not installed|Cannot start' "$WORK/smoke.log"; then
    echo "installed program loaded its window and reached the installed simulator"
    exit 0
fi
echo "FAIL: the installed program did not come up:" >&2
tail -30 "$WORK/smoke.log" >&2
exit 1
