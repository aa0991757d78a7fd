#!/usr/bin/env bash
# Runs a command inside a private desktop: Xvfb, a session D-Bus with the accessibility bus, openbox, a
# tray (trayer), and a PulseAudio server whose default source reads a FIFO (tests write speech into it). Everything
# started here is stopped when the command ends.
# Usage: [ORVANTA_DESKTOP_ACCESSIBILITY=off] scripts/with-desktop.sh COMMAND [ARGS...]
set -uo pipefail

work="$(mktemp -d /tmp/orvanta-desktop.XXXXXX)"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    if [ -n "${PULSE_STARTED:-}" ]; then pulseaudio --kill 2>/dev/null; fi
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# X server
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

# Settings written during the run (the accessibility bus launcher keeps org.a11y.Status in GSettings)
# stay in memory: the user's own settings are never touched.
export GSETTINGS_BACKEND=memory

# Session bus; the accessibility bus is activated through it on first use.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --fork --address="unix:path=$XDG_RUNTIME_DIR/bus" --print-pid >"$work/dbus.pid"
pids+=("$(cat "$work/dbus.pid")")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 || true
# Accessibility is switched on as a desktop with a screen reader or an accessibility setting has it;
# ORVANTA_DESKTOP_ACCESSIBILITY=off leaves it off, as on a fresh desktop (Orvanta then switches it on).
# Applications start as users start them: Qt without QT_LINUX_ACCESSIBILITY_ALWAYS_ON.
a11y_status() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
        string:org.a11y.Status "string:$1" "variant:boolean:$2" >/dev/null 2>&1 || true
}
if [ "${ORVANTA_DESKTOP_ACCESSIBILITY:-on}" = off ]; then
    a11y_status IsEnabled false
    a11y_status ScreenReaderEnabled false
else
    a11y_status IsEnabled true
fi
export NO_AT_BRIDGE=0
export GTK_MODULES=gail:atk-bridge

# A window manager gives windows a real active state.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)

# A system tray (XEmbed) at the top right, where tray icons dock.
if command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true --SetPartialStrut true \
        --transparent false --tint 0x404040 >"$work/trayer.log" 2>&1 &
    pids+=($!)
    # Its panel window exists once it owns the tray selection.
    for _ in $(seq 50); do xwininfo -root -tree 2>/dev/null | grep -q '"panel": ("panel" "trayer")' && break; sleep 0.1; done
fi

# Sound server with a FIFO-fed default source, and a second FIFO-fed source (a headset beside the built-in
# microphone).
export ORVANTA_TEST_MIC_FIFO="$work/mic.fifo"
export ORVANTA_TEST_MIC2_FIFO="$work/mic2.fifo"
# module-pipe-source makes the FIFO itself.
if command -v pulseaudio >/dev/null; then
    cat >"$work/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=orvanta_null
load-module module-pipe-source source_name=orvanta_mic file=$ORVANTA_TEST_MIC_FIFO format=s16le rate=16000 channels=1 source_properties='device.description="Test Microphone"'
load-module module-pipe-source source_name=orvanta_mic2 file=$ORVANTA_TEST_MIC2_FIFO format=s16le rate=16000 channels=1 source_properties='device.description="Test Headset"'
set-default-source orvanta_mic
set-default-sink orvanta_null
PA
    if pulseaudio --daemonize=yes --exit-idle-time=-1 -n --system=false --disallow-exit \
        -F "$work/pulse.pa" --log-target=file:"$work/pulse.log" 2>/dev/null; then
        PULSE_STARTED=1
        export ORVANTA_TEST_PULSE=1
        # Tests that stop the sound server start it again with the same configuration.
        export ORVANTA_TEST_PULSE_CONFIG="$work/pulse.pa"
    fi
fi
export ORVANTA_TEST_DESKTOP=1

sleep 0.3
"$@"
status=$?
[ -n "${ORVANTA_KEEP_LOGS:-}" ] && cp -r "$work" "$ORVANTA_KEEP_LOGS"
exit $status
