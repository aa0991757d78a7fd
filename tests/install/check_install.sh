#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop finds there: the program, a valid
# desktop entry, valid AppStream metadata and the application icon in every hicolor size.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d /tmp/orvanta-install.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
id=io.orvanta.Orvanta
[ -x "$prefix/bin/orvanta" ] || fail "bin/orvanta is missing or not executable"
desktop="$prefix/share/applications/$id.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
grep -qx 'Exec=orvanta' "$desktop" || fail "the entry does not start orvanta"
grep -qx "Icon=$id" "$desktop" || fail "the entry does not name the icon $id"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metadata"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli refused $metainfo"
fi
[ -f "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    # PNG header: width and height as big-endian words at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4, $7*256+$8}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}"
done
echo "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
