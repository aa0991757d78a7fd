#!/usr/bin/env bash
# Installs the Debian packages Orvanta needs (skipping what is installed), then configures and builds.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"

"$here/install-packages.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ORVANTA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
