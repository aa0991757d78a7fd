#!/usr/bin/env bash
# Installs the Debian package with apt-get as a user would, runs the installed program (--version, --help,
# and `transcribe` on a recording made with flite), removes the package and checks that nothing of it is
# left outside the user's folders. Needs root (or sudo) and a machine where Orvanta is not installed.
# Usage: scripts/check-deb.sh build-deb/orvanta_<version>_amd64.deb
set -euo pipefail
deb="$(realpath "$1")"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
work="$(mktemp -d /tmp/orvanta-check-deb.XXXXXX)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Everything outside the users' folders that a package could leave behind; apt's and dpkg's own records,
# caches and logs change with any installation and are left out.
snapshot() {
    find /usr /etc /opt /var -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache \
        -o -path /var/log -o -path /var/tmp -o -path /var/lib/systemd \) -prune -o -print 2>/dev/null | sort
}
dpkg-query -W orvanta >/dev/null 2>&1 && fail "orvanta is installed already; remove it first"
snapshot >"$work/before"

DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$deb"
dpkg-query -L orvanta >"$work/files"
grep -q '^/usr/local' "$work/files" && fail "the package installs under /usr/local"
for path in /usr/bin/orvanta /usr/share/applications/io.orvanta.Orvanta.desktop \
    /usr/share/metainfo/io.orvanta.Orvanta.metainfo.xml /usr/share/man/man1/orvanta.1.gz \
    /usr/share/icons/hicolor/scalable/apps/io.orvanta.Orvanta.svg \
    /usr/share/icons/hicolor/256x256/apps/io.orvanta.Orvanta.png /usr/share/doc/orvanta/copyright; do
    grep -qx "$path" "$work/files" || fail "the package does not install $path"
done

# The installed program, as the user, with a home of its own so that no real library is read.
version="$(HOME="$work" /usr/bin/orvanta --version)" || fail "orvanta --version failed"
echo "installed: $version"
HOME="$work" /usr/bin/orvanta --help >/dev/null || fail "orvanta --help failed"
sentence="please send the quarterly report to the finance team by friday"
flite -voice slt -t "$sentence" -o "$work/example.wav"
text="$(cd "$work" && HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    /usr/bin/orvanta transcribe --mode verbatim "$work/example.wav")" || fail "orvanta transcribe failed"
echo "flite said: $sentence"
echo "orvanta transcribed: $text"
[[ "${text,,}" == *report* ]] || fail "the transcription missed the sentence"

DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq orvanta
dpkg-query -W orvanta >/dev/null 2>&1 && fail "orvanta is still installed"
while read -r path; do
    [ -d "$path" ] || [ ! -e "$path" ] || fail "$path is left after removal"
done <"$work/files"
snapshot >"$work/after"
# Shared caches the desktop's triggers rebuild after any package with icons or desktop entries.
if comm -13 "$work/before" "$work/after" |
    grep -v -E '^/usr/share/icons/[^/]+/icon-theme\.cache$|^/usr/share/applications/mimeinfo\.cache$|/__pycache__(/|$)' \
        >"$work/left"; then
    cat "$work/left" >&2
    fail "these appeared outside the user's folders and stayed after removal"
fi
echo "orvanta installed, ran and was removed without a trace outside the user's folders"
