#!/bin/sh
# Builds the Debian package into dist/wavplayer_<version>_<arch>.deb.
# Installs the build dependencies of debian/control first (as root, or through sudo).
# The build runs in a temporary copy of the tree, since dpkg-buildpackage writes its results
# beside the source folder: nothing is left beside this checkout or inside it but dist/.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd -P)"
cd "$ROOT"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
        echo "build-deb: run as root (or install sudo) to install: $*" >&2
        return 1
    fi
}

# The tools, then the build dependencies straight from debian/control.
export DEBIAN_FRONTEND=noninteractive
if ! command -v dpkg-buildpackage >/dev/null || ! command -v fakeroot >/dev/null ||
    ! dpkg-checkbuilddeps 2>/dev/null; then
    as_root apt-get update -qq
    as_root apt-get install -y -qq --no-install-recommends build-essential dpkg-dev fakeroot
    as_root apt-get build-dep -y -qq --no-install-recommends "$ROOT"
fi

VERSION="$(dpkg-parsechangelog -S Version)"
ARCH="$(dpkg-architecture -q DEB_HOST_ARCH)"
DEB="wavplayer_${VERSION}_${ARCH}.deb"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/wavplayer-deb.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
SRC="$WORK/wavplayer-$VERSION"
mkdir "$SRC"
tar -C "$ROOT" --exclude=./.git --exclude='./build*' --exclude=./dist --exclude='./obj-*' \
    --exclude=./.cache -cf - . | tar -C "$SRC" -xf -

# parallel=2: the build machines have two cores; noddebs: no separate debug-symbol package.
(cd "$SRC" && DEB_BUILD_OPTIONS="parallel=2 noddebs ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b)

mkdir -p "$ROOT/dist"
mv "$WORK/$DEB" "$ROOT/dist/$DEB"
echo "build-deb: dist/$DEB"
