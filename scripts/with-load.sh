#!/usr/bin/env bash
# Runs a command while every core is kept busy by a process at the same priority, as when a build or a
# video call takes the machine: what the command checks must not depend on an idle computer.
# Usage: scripts/with-load.sh COMMAND [ARGS...]
set -uo pipefail
hogs=()
for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    hogs+=($!)
done
trap 'kill "${hogs[@]}" 2>/dev/null; wait "${hogs[@]}" 2>/dev/null' EXIT
"$@"
