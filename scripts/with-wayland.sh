#!/usr/bin/env bash
# Runs a command inside a private headless Wayland desktop, as a user who is not root (sway refuses root;
# as root the account orvanta-test is made if missing): its own runtime folder, session D-Bus with the
# accessibility bus, a sound server, and the compositor with a keyboard on its seat. Everything started
# here is stopped when the command ends.
#   mutter: GNOME's compositor (no XWayland) with an IBus daemon; applications talk to IBus directly.
#   sway:   a wlroots compositor without any input method (virtual keyboard and data-control offered).
#   sway-ibus: sway with an IBus daemon that the applications talk to.
# Usage: scripts/with-wayland.sh mutter|sway|sway-ibus COMMAND [ARGS...]
set -uo pipefail

desktop="${1:?usage: with-wayland.sh mutter|sway|sway-ibus COMMAND [ARGS...]}"
shift
compositor="${desktop%-ibus}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Re-run as the test account when started as root; the rest of the script runs as that account.
if [ "$(id -u)" = 0 ] && [ -z "${ORVANTA_WAYLAND_AS_USER:-}" ]; then
    user=orvanta-test
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin "$user" || exit 2
    # CI runs as root from wherever it cloned, often under /root: the test account is let through the
    # folders above the checkout (search only, by an ACL entry of its own), and nothing else changes.
    reach() {
        local dir
        dir="$(dirname "$(readlink -f "$1")")"
        while [ "$dir" != / ]; do
            runuser -u "$user" -- test -x "$dir" || setfacl -m "u:$user:x" "$dir" 2>/dev/null || return 1
            dir="$(dirname "$dir")"
        done
    }
    for needed in "$here/with-wayland.sh" "$1"; do
        reach "$needed"
        if ! runuser -u "$user" -- test -x "$needed"; then
            echo "$user cannot run $needed: put the checkout and build where other accounts may read them" >&2
            exit 2
        fi
    done
    exec runuser -u "$user" -- env -i PATH="$PATH" HOME=/tmp LANG="${LANG:-C.UTF-8}" ORVANTA_WAYLAND_AS_USER=1 \
        ORVANTA_KEEP_LOGS="${ORVANTA_KEEP_LOGS:-}" ORVANTA_SEAT_KEYBOARD="${ORVANTA_SEAT_KEYBOARD:-}" "$here/with-wayland.sh" "$desktop" "$@"
fi

work="$(mktemp -d /tmp/orvanta-wayland.XXXXXX)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    if [ -n "${PULSE_STARTED:-}" ]; then pulseaudio --kill 2>/dev/null; fi
    wait 2>/dev/null
    [ -n "${ORVANTA_KEEP_LOGS:-}" ] && cp -r "$work" "$ORVANTA_KEEP_LOGS" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

unset DISPLAY WAYLAND_DISPLAY
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_SESSION_TYPE=wayland
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export GSETTINGS_BACKEND=memory

# Session bus; the accessibility bus is activated through it, and switched on as with a screen reader.
dbus-daemon --session --fork --address="unix:path=$XDG_RUNTIME_DIR/bus" --print-pid >"$work/dbus.pid"
pids+=("$(cat "$work/dbus.pid")")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null 2>&1 || true
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge GTK_A11Y=atspi

# Compositor
export WAYLAND_DISPLAY=wayland-orvanta
case "$compositor" in
mutter)
    XDG_CURRENT_DESKTOP=GNOME mutter --headless --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
        --virtual-monitor 1280x720 >"$work/mutter.log" 2>&1 &
    pids+=($!)
    export XDG_CURRENT_DESKTOP=GNOME
    ;;
sway)
    cat >"$work/sway.conf" <<'CONF'
output HEADLESS-1 resolution 1280x720
focus_follows_mouse no
xwayland disable
CONF
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway --config "$work/sway.conf" \
        >"$work/sway.log" 2>&1 &
    pids+=($!)
    export XDG_CURRENT_DESKTOP=sway
    ;;
*)
    echo "unknown compositor: $compositor" >&2
    exit 2
    ;;
esac
# sway names its socket itself (wayland-1 in this runtime folder).
for _ in $(seq 100); do
    socket="$(ls "$XDG_RUNTIME_DIR" | grep -m1 '^wayland-[a-z0-9]*$' || true)"
    [ -n "$socket" ] && [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
    sleep 0.05
done
if [ -z "$socket" ]; then
    echo "$compositor did not start" >&2
    cat "$work"/*.log >&2
    exit 2
fi
export WAYLAND_DISPLAY="$socket"

# A keyboard on the seat: GTK windows become active only once the seat has one.
if [ "$compositor" = mutter ]; then
    python3 "$here/../tests/support/wayland/mutter_seat_keyboard.py" >"$work/keyboard.log" 2>&1 &
else
    "${ORVANTA_SEAT_KEYBOARD:-$here/../build/tests/support/wayland_seat_keyboard}" >"$work/keyboard.log" 2>&1 &
fi
pids+=($!)

if [ "$compositor" = mutter ] || [ "$desktop" = sway-ibus ]; then
    # IBus serves the session; applications reach it through their toolkits' IBus modules.
    ibus-daemon --panel=disable --xim=false --verbose >"$work/ibus.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do ibus address >/dev/null 2>&1 && [ "$(ibus address)" != "(null)" ] && break; sleep 0.05; done
    export GTK_IM_MODULE=ibus QT_IM_MODULE=ibus
    export ORVANTA_TEST_IBUS=1
fi

# Sound server with a FIFO-fed default source (tests write speech into it).
export ORVANTA_TEST_MIC_FIFO="$work/mic.fifo"
if command -v pulseaudio >/dev/null; then
    cat >"$work/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=orvanta_null
load-module module-pipe-source source_name=orvanta_mic file=$ORVANTA_TEST_MIC_FIFO format=s16le rate=16000 channels=1 source_properties='device.description="Test Microphone"'
set-default-source orvanta_mic
set-default-sink orvanta_null
PA
    if pulseaudio --daemonize=yes --exit-idle-time=-1 -n --system=false --disallow-exit \
        -F "$work/pulse.pa" --log-target=file:"$work/pulse.log" 2>/dev/null; then
        PULSE_STARTED=1
        export ORVANTA_TEST_PULSE=1 ORVANTA_TEST_PULSE_CONFIG="$work/pulse.pa"
    fi
fi
export ORVANTA_TEST_WAYLAND="$compositor" QT_QPA_PLATFORM=wayland GDK_BACKEND=wayland QT_ACCESSIBILITY=1

sleep 0.3
"$@"
status=$?
exit $status
