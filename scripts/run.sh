#!/usr/bin/env bash
# Installs what the program needs, builds only the orvanta program (no tests, no benchmarks) into
# build-run/, then starts it with its windows and tray icon. Where no X display can be reached it
# transcribes an example recording made with flite instead, the way a dictation is transcribed; extra
# arguments then go to `orvanta transcribe` (e.g. --mode verbatim).
# Usage: scripts/run.sh [--mode verbatim|clean|structured] [--language ID] [--library FILE]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_RUN_BUILD_DIR:-$root/build-run}"
program="$build/app/orvanta"

"$here/install-packages.sh" run >&2
# Optimized without debugging information, each library compiled in a few batches of sources: the
# quickest build of the program from nothing (see docs/building.md).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" -DORVANTA_UNITY_BUILD=ON \
    -DORVANTA_BUILD_TESTS=OFF -DORVANTA_BUILD_BENCH=OFF ${ORVANTA_CMAKE_ARGS:-} >&2
cmake --build "$build" -j "$(nproc)" --target orvanta >&2

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$program"
fi

echo "No X display is reachable here (DISPLAY is unset or does not answer), so instead of starting the windows this transcribes an example recording." >&2
example="$(mktemp /tmp/orvanta-example.XXXXXX.wav)"
trap 'rm -f "$example"' EXIT
flite -voice slt -t "please send the quarterly report to the finance team by friday" -o "$example"
echo "Transcribing an example made with flite: \"please send the quarterly report to the finance team by friday\"" >&2
"$program" transcribe "$@" "$example"
