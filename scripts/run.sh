#!/usr/bin/env bash
# Sets up and builds Orvanta, then starts it with its windows and tray icon. Where no X display can be
# reached it transcribes an example recording made with flite instead, the way a dictation is
# transcribed; extra arguments then go to `orvanta transcribe` (e.g. --mode verbatim).
# Usage: scripts/run.sh [--mode verbatim|clean|structured] [--language ID] [--library FILE]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_BUILD_DIR:-$root/build}"
"$here/setup.sh" "$build" >&2

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$build/app/orvanta"
fi

echo "No X display is reachable here (DISPLAY is unset or does not answer), so instead of starting the windows this transcribes an example recording." >&2
example="$(mktemp /tmp/orvanta-example.XXXXXX.wav)"
trap 'rm -f "$example"' EXIT
flite -voice slt -t "please send the quarterly report to the finance team by friday" -o "$example"
echo "Transcribing an example made with flite: \"please send the quarterly report to the finance team by friday\"" >&2
"$build/app/orvanta" transcribe "$@" "$example"
