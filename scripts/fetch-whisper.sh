#!/usr/bin/env bash
# Fetches whisper.cpp's source (MIT) for the embedded recognizer: the copy that ships inside the npm
# package nodejs-whisper, pinned to one version and checked against its SHA-256 before it is unpacked.
# The package's install scripts never run: `npm pack` only downloads the archive. Nothing of it is
# committed; the build (speech/whisper/) finds it in the shared cache below, or in $ORVANTA_WHISPER_SOURCE.
# Without it the project still builds, with PocketSphinx alone.
# Usage: scripts/fetch-whisper.sh   (prints the source folder)
set -euo pipefail
package=nodejs-whisper
version=0.3.1
sha256=92041caf2b26c74b7f489fedf37bd093f216eebd61df512045ec2d19d0531d37
whisper_version=1.9.1
dest="${ORVANTA_WHISPER_SOURCE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvanta/whisper.cpp-$whisper_version}"

if [ -f "$dest/include/whisper.h" ] && [ -f "$dest/.orvanta-sha256" ] &&
    [ "$(cat "$dest/.orvanta-sha256")" = "$sha256" ]; then
    echo "$dest"
    exit 0
fi
if ! command -v npm >/dev/null; then
    echo "fetch-whisper: npm is missing; building with PocketSphinx only" >&2
    exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent --ignore-scripts "$package@$version" >/dev/null)
archive="$work/$package-$version.tgz"
echo "$sha256  $archive" | sha256sum --check --quiet - || {
    echo "fetch-whisper: $package $version does not match its checksum; not used" >&2
    exit 1
}
tar -xzf "$archive" -C "$work" package/cpp/whisper.cpp
mkdir -p "$(dirname "$dest")"
rm -rf "$dest.partial"
mv "$work/package/cpp/whisper.cpp" "$dest.partial"
echo "$sha256" >"$dest.partial/.orvanta-sha256"
rm -rf "$dest"
mv "$dest.partial" "$dest"
echo "$dest"
