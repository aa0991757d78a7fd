#!/usr/bin/env bash
# Takes screenshots of the onboarding pages, the main window and the tray menu on a private desktop, in
# the light palette and the dark one, into docs/screenshots/.
# Usage: scripts/screenshots.sh [build-dir]
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-${ORVANTA_BUILD_DIR:-$root/build}}"
if [ -z "${ORVANTA_TEST_DESKTOP:-}" ]; then
    exec "$here/with-desktop.sh" "$0" "$build"
fi
out="$root/docs/screenshots"
mkdir -p "$out"
program="$build/app/orvanta"

# Starts Orvanta with a fresh home; prints its pid. $1: "setup" to start with setup already done.
start() {
    home="$(mktemp -d /tmp/orvanta-shots.XXXXXX)"
    export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
    if [ "$1" = setup ]; then
        mkdir -p "$XDG_CONFIG_HOME/orvanta"
        printf '[General]\norvanta.onboarding.complete=true\norvanta.onboarding.step=2\n' \
            >"$XDG_CONFIG_HOME/orvanta/orvanta.conf"
    fi
    "$program" >/dev/null 2>&1 &
    pid=$!
}

# Orvanta's visible windows wider (main window) or narrower (tray icon) than 100 pixels.
orvanta_window() { # wide|narrow
    for _ in $(seq 100); do
        for w in $(xdotool search --onlyvisible --classname '^orvanta$' 2>/dev/null); do
            width="$(xdotool getwindowgeometry "$w" | awk '/Geometry/ {split($2, s, "x"); print s[1]}')"
            if { [ "$1" = wide ] && [ "$width" -gt 100 ]; } || { [ "$1" = narrow ] && [ "$width" -le 100 ]; }; then
                echo "$w"
                return
            fi
        done
        sleep 0.1
    done
}

window() {
    orvanta_window wide
}

shot() { # window-id name
    sleep 0.6 # let the window settle and repaint
    import -window "$1" "$out/$2.png"
    echo "$out/$2.png"
}

stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -rf "$home"
}

next() { # presses Return in the window (the next button)
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    xdotool key --window "$1" Return
}

# Light: onboarding, main window, tray menu.
unset GTK_THEME
start fresh
wid="$(window)"
shot "$wid" onboarding-welcome
next "$wid"; shot "$wid" onboarding-permissions
next "$wid"; shot "$wid" onboarding-keys
next "$wid"; shot "$wid" main-window
tray="$(orvanta_window narrow)"
if [ -n "$tray" ]; then
    xdotool mousemove --window "$tray" 12 12 click 3
    sleep 0.8
    import -window root -crop 360x240+920+0 "$out/tray-menu.png"
    echo "$out/tray-menu.png"
    xdotool key Escape
fi
stop

# Dark: the first onboarding page and the main window.
export GTK_THEME=Adwaita:dark
start fresh
wid="$(window)"
shot "$wid" onboarding-welcome-dark
stop
start setup
wid="$(window)"
shot "$wid" main-window-dark
stop
