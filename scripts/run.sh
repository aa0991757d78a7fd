#!/usr/bin/env bash
# Sets up and builds Orvanta, makes an example recording with flite and transcribes it the way a
# dictation is transcribed. Extra arguments go to `orvanta transcribe` (e.g. --mode verbatim).
# Usage: scripts/run.sh [--mode verbatim|clean|structured] [--language ID] [--library FILE]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_BUILD_DIR:-$root/build}"
"$here/setup.sh" "$build" >&2

example="$(mktemp /tmp/orvanta-example.XXXXXX.wav)"
trap 'rm -f "$example"' EXIT
flite -voice slt -t "please send the quarterly report to the finance team by friday" -o "$example"
echo "Transcribing an example made with flite: \"please send the quarterly report to the finance team by friday\"" >&2
"$build/app/orvanta" transcribe "$@" "$example"
