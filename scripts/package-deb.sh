#!/usr/bin/env bash
# Builds the Debian package orvanta_<version>_amd64.deb into build-deb/ (the program only, with Debian's
# compiler and linker flags, installed under /usr) and checks it with lintian, which must report no error.
# Usage: scripts/package-deb.sh
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_DEB_BUILD_DIR:-$root/build-deb}"

"$here/install-packages.sh" run package >&2
# Debian's hardening flags; CMake reads CFLAGS, CXXFLAGS and LDFLAGS but not CPPFLAGS.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
CPPFLAGS="$(dpkg-buildflags --get CPPFLAGS)"
export CFLAGS="$(dpkg-buildflags --get CFLAGS) $CPPFLAGS"
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DORVANTA_UNITY_BUILD=ON -DORVANTA_BUILD_TESTS=OFF -DORVANTA_BUILD_BENCH=OFF ${ORVANTA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/orvanta_*.deb
(cd "$build" && cpack -G DEB)

deb="$(ls "$build"/orvanta_*_amd64.deb)"
# Errors fail the build; the warnings and notes that remain are listed in docs/building.md.
lintian --fail-on error --display-info "$deb"
echo "$deb"
