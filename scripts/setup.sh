#!/usr/bin/env bash
# Installs every Debian package Orvanta's development needs (skipping what is installed), then
# configures and builds everything: the program, the tests and the benchmarks.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"

"$here/install-packages.sh"
# whisper.cpp's source for the embedded recognizer; without it the build has PocketSphinx alone.
"$here/fetch-whisper.sh" >/dev/null || echo "setup: no whisper.cpp source; building with PocketSphinx only" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ORVANTA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
