#!/usr/bin/env bash
# Sets up, builds and runs every test with CTest inside a private desktop (X server, D-Bus,
# accessibility bus, sound server), all started and stopped here. Tests labelled `wayland` start their
# own headless Wayland desktops (scripts/with-wayland.sh, as a test account when run as root).
# Usage: scripts/test.sh [ctest arguments, e.g. -L unit]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_BUILD_DIR:-$root/build}"
"$here/setup.sh" "$build"
cd "$build"
"$here/with-desktop.sh" ctest --output-on-failure --timeout 600 "$@"
