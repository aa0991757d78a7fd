#!/usr/bin/env bash
# Takes screenshots of the onboarding pages, the main window, the tray menu, the recording panel and the
# Overview page after a dictation on a private desktop, in the light palette and the dark one, into
# docs/screenshots/.
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

uuid() { tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid; }
json() { # a JSON string: backslashes, quotes and line feeds escaped
    local text="${1//\\/\\\\}"
    text="${text//\"/\\\"}"
    printf '"%s"' "${text//$'\n'/\\n}"
}

# A library as a user has it after a few days: a dozen dictations, twenty dictionary entries.
write_library() {
    local now=$(($(date +%s) - 978307200)) # seconds since 2001-01-01, as the library counts
    local outputs=(
        "Thanks for the quick turnaround. I'll review the pull request this afternoon and merge it once the tests pass."
        "Reminder: the Kubernetes upgrade window is Thursday at 9 pm. Please drain the staging nodes beforehand."
        "Can we move our one-on-one to Friday? Something came up on Wednesday."
        $'Meeting notes:\nWe agreed to ship the PostgreSQL migration next sprint.\nJohn owns the rollback plan.'
        "Dear Ms. O'Connor, thank you for your letter of March 3rd. I have attached the signed contract."
        "Buy oat milk, coffee beans, and batteries for the kitchen clock."
        "The flaky test in the billing service fails only when the time zone is not UTC."
        "Let's use kubectl rollout restart instead of deleting the pods by hand."
        "I think the dashboard should show the last 24 hours by default, not the last 7 days."
        "Happy birthday, Anna! I hope you have a wonderful day."
        "Draft reply: yes, Tuesday works for me. I'll bring the printed agenda."
        "Note to self: renew the TLS certificate for grafana before the 15th."
    )
    local apps=("Thunderbird" "Slack" "Thunderbird" "LibreOffice Writer" "Thunderbird" "Text Editor" "Terminal"
        "Slack" "Firefox" "Signal" "Thunderbird" "Text Editor")
    local entries=(
        "cube control|kubectl|1|4" "post gress|PostgreSQL|1|3" "jon|John|1|2" "graph ana|Grafana|1|2"
        "o connor|O'Connor|0|1" "tls|TLS|1|1" "get hub|GitHub|1|5" "pie test|pytest|1|2" "engine x|nginx|0|1"
        "cafe|café|1|1" "anna|Anna|0|1" "java script|JavaScript|1|3" "type script|TypeScript|1|2"
        "red is|Redis|1|1" "mac leod|MacLeod|0|1" "sequel|SQL|1|2" "oh auth|OAuth|1|1" "web hook|webhook|1|1"
        "kafka|Kafka|1|1" "dev ops|DevOps|0|2"
    )
    local history="" dictionary="" i
    for i in "${!outputs[@]}"; do
        history+="${history:+,}{\"id\":\"$(uuid)\",\"date\":$((now - 3600 - i * 14000)),\"original\":$(json "${outputs[i]}"),"
        history+="\"output\":$(json "${outputs[i]}"),\"duration\":$((4 + i % 9)),\"applicationName\":\"${apps[i]}\","
        history+="\"formatter\":\"Built-in rules\"}"
    done
    for i in "${!entries[@]}"; do
        IFS='|' read -r heard spelling automatic count <<<"${entries[i]}"
        dictionary+="${dictionary:+,}{\"id\":\"$(uuid)\",\"heard\":$(json "$heard"),\"replacement\":$(json "$spelling"),"
        dictionary+="\"occurrenceCount\":$count,\"modifiedAt\":$((now - i * 9000)),"
        dictionary+="\"automatic\":$([ "$automatic" = 1 ] && echo true || echo false)}"
    done
    mkdir -p "$XDG_DATA_HOME/orvanta"
    printf '{"preferences":{"localeIdentifier":"en-US","mode":"Clean","autoLearn":true,"retainHistory":true},' \
        >"$XDG_DATA_HOME/orvanta/library.json"
    printf '"history":[%s],"dictionary":[%s]}\n' "$history" "$dictionary" >>"$XDG_DATA_HOME/orvanta/library.json"
}

# Starts Orvanta with a fresh home; prints its pid. $1: "setup" to start with setup already done, with a
# realistic library.
start() {
    home="$(mktemp -d /tmp/orvanta-shots.XXXXXX)"
    export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
    if [ "$1" = setup ]; then
        mkdir -p "$XDG_CONFIG_HOME/orvanta"
        printf '[General]\norvanta.onboarding.complete=true\norvanta.onboarding.step=2\n' \
            >"$XDG_CONFIG_HOME/orvanta/orvanta.conf"
        write_library
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

# The sidebar has the keyboard: Down shows the next page.
next_page() { # window-id name
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    xdotool key --window "$1" Down
    shot "$1" "$2"
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

# The pages over a library in use.
start setup
wid="$(window)"
next_page "$wid" history
next_page "$wid" dictionary
# A steady tone into the default microphone, so that the Settings page's meter shows a level.
tone="$(mktemp /tmp/orvanta-tone.XXXXXX)"
sox -n -r 16000 -e signed -b 16 -c 1 -t raw "$tone" synth 0.1 sine 220 vol 0.5
(for _ in $(seq 50); do cat "$tone" >"$ORVANTA_TEST_MIC_FIFO"; sleep 0.1; done) &
hum=$!
next_page "$wid" settings
kill "$hum" 2>/dev/null; wait "$hum" 2>/dev/null; rm -f "$tone"
xdotool mousemove --window "$wid" 600 400 click --repeat 20 --delay 20 5 # the wheel, down to the last card
shot "$wid" settings-choices
stop

# Settings with the embedded Whisper chosen over a multilingual model (random weights: it recognizes
# nothing, but the application lists its languages), then the language list open.
home="$(mktemp -d /tmp/orvanta-shots.XXXXXX)"
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
mkdir -p "$XDG_CONFIG_HOME/orvanta" "$XDG_DATA_HOME/orvanta/models"
printf '[General]\norvanta.onboarding.complete=true\norvanta.onboarding.step=2\n\n[speech]\nengine=whisper\n' \
    >"$XDG_CONFIG_HOME/orvanta/orvanta.conf"
write_library
"$build/scripts/screens/render_screens" whisper-model "$XDG_DATA_HOME/orvanta/models/ggml-base.bin"
"$program" >/dev/null 2>&1 &
pid=$!
wid="$(window)"
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
for _ in 1 2 3; do xdotool key --window "$wid" Down; done
xdotool mousemove --window "$wid" 600 400 click --repeat 20 --delay 20 5
shot "$wid" settings-whisper
xdotool mousemove --window "$wid" 600 400 click --repeat 20 --delay 20 4
sleep 0.5
xdotool mousemove --window "$wid" 480 308 click 1
sleep 0.8
import -window root "$out/settings-whisper-languages.png"
echo "$out/settings-whisper-languages.png"
xdotool key Escape
stop

# The recording panel while recording and while processing, and the Overview page after a dictation that
# could only be copied: the windows over the model's fakes, in the state each shot needs.
scenes="$build/scripts/screens/render_screens"
"$scenes" recording "$out/panel-recording.png"
"$scenes" processing "$out/panel-processing.png"
"$scenes" overview "$out/overview.png"
"$scenes" downloading "$out/overview-downloading.png"
# As a compositing desktop draws the panel: rounded and translucent.
if command -v xcompmgr >/dev/null; then
    xcompmgr >/dev/null 2>&1 &
    compositor=$!
    sleep 0.5
    "$scenes" recording "$out/panel-recording-composited.png" --translucent
    kill "$compositor"
    wait "$compositor" 2>/dev/null
fi
GTK_THEME=Adwaita:dark "$scenes" recording "$out/panel-recording-dark.png"
GTK_THEME=Adwaita:dark "$scenes" overview "$out/overview-dark.png"

# Dark: the first onboarding page and the main window.
export GTK_THEME=Adwaita:dark
start fresh
wid="$(window)"
shot "$wid" onboarding-welcome-dark
stop
start setup
wid="$(window)"
shot "$wid" main-window-dark
next_page "$wid" history-dark
stop
