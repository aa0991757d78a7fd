#!/usr/bin/env bash
# Installs the Debian packages of the named sections of scripts/packages.txt (all sections when none is
# named) that are not installed yet.
# Usage: scripts/install-packages.sh [run] [test] [package]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

mapfile -t wanted < <(awk -v sections=" $* " '
    /^[[:space:]]*(#|$)/ { next }
    /^\[.*\]$/ { section = substr($0, 2, length($0) - 2); next }
    sections == "  " || index(sections, " " section " ") { print $1 }
' "$here/packages.txt")
# What installed packages provide counts too (a nodejs from another archive that carries its own npm).
provided="$(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null | sed -n 's/^ii *|//p' |
    tr ',' '\n' | sed 's/(.*)//; s/ //g')"
missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' &&
        ! grep -qxF "$pkg" <<<"$provided"; then
        missing+=("$pkg")
    fi
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
