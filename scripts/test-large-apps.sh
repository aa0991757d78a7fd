#!/usr/bin/env bash
# Delivery into LibreOffice Writer and Chromium (started without accessibility flags), which are too
# large for CI: installs them when missing, builds the desktop delivery tests and runs the two cases on
# the private desktop. Each case prints its figures ("figure: ...").
# Usage: scripts/test-large-apps.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-${ORVANTA_BUILD_DIR:-$root/build}}"

wanted=(libreoffice-writer libreoffice-gtk3 chromium)
missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target test_delivery_apps
ORVANTA_LARGE_APPS=1 "$here/with-desktop.sh" "$build/tests/delivery/desktop/test_delivery_apps" \
    --gtest_filter='LargeApps.*'
