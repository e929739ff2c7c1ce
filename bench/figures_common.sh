# Shared by the figures scripts (sourced, after `set -euo pipefail` and setting `figures_name`):
# a scratch folder (kept when FIGURES_KEEP is set) and the children to end with it, waiting with
# a deadline, a private X display and a private sound server with a null sink as the default,
# CPU time, frame pacing and a minute of music.

work=$(mktemp -d)
children=()
cleanup() {
    for pid in "${children[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "${FIGURES_KEEP:-}" ]; then
        echo "$figures_name: the runs' files are kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

# Says what went wrong and stops.
fail() {
    echo "$figures_name: $*" >&2
    exit 1
}

# Fails unless every program named is on PATH.
require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed"
    done
}

# Fails unless every file named is an executable (a built program).
require_built() {
    for program in "$@"; do
        [ -x "$program" ] || fail "$program is not built"
    done
}

# Polls COMMAND every 50 ms for up to SECONDS; fails with DESCRIPTION if it never succeeds.
wait_for() {
    local seconds=$1 description=$2
    shift 2
    local tries=$((seconds * 20))
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || fail "$description"
        sleep 0.05
    done
}

# The display (1920x1080): Xvfb writes its number to the descriptor once it accepts clients.
# Sets DISPLAY and xvfb_pid.
start_display() {
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    children+=("$xvfb_pid")
    wait_for 15 "Xvfb did not start" test -s "$work/display"
    export DISPLAY=":$(head -n 1 "$work/display")"
    unset WAYLAND_DISPLAY
}

# A Wayland compositor with no X11 (headless sway: it refuses to run as root, so it runs as
# nobody in a runtime folder of its own) and OUTPUTS outputs of 1920x1080. Clients reach it
# through WAYLAND_DISPLAY, a full path, so XDG_RUNTIME_DIR stays the sound server's. Sets
# SWAYSOCK, WAYLAND_DISPLAY and xvfb_pid (sway's), unsets DISPLAY. CONFIG_LINES are added to sway's configuration.
start_compositor() {
    local outputs=$1 config_lines=${2:-}
    require_tools sway swaymsg runuser
    local folder="$work/sway"
    mkdir -m 700 "$folder"
    chown nobody "$folder"
    chmod 755 "$work"
    {
        for ((i = 1; i <= outputs; i++)); do
            echo "output HEADLESS-$i resolution 1920x1080 position $(((i - 1) * 1920)),0"
        done
        echo "default_border none"
        echo "$config_lines"
    } >"$work/sway.config"
    chmod 644 "$work/sway.config"
    runuser -u nobody -- env -i PATH="$PATH" HOME="$folder" XDG_RUNTIME_DIR="$folder" \
        WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$work/sway.config" 2>"$work/sway.log" &
    local runner=$!
    children+=("$runner")
    wait_for 15 "sway did not start" test -S "$folder/wayland-1"
    xvfb_pid=$(pgrep -P "$runner" -x sway) # the display server, as start_display's
    export WAYLAND_DISPLAY="$folder/wayland-1"
    SWAYSOCK=$(echo "$folder"/sway-ipc.*.sock)
    export SWAYSOCK
    for ((i = 2; i <= outputs; i++)); do
        swaymsg create_output >/dev/null
    done
    wait_for 15 "sway did not make $outputs outputs" outputs_are "$outputs"
    unset DISPLAY
}

outputs_are() { [ "$(swaymsg -t get_outputs | grep -c '"name": "HEADLESS-')" -eq "$1" ]; }

# A display of COUNT monitors of 1920x1080 side by side, which Xvfb cannot have (its one output
# stays one monitor): Xorg with the dummy driver (xserver-xorg-video-dummy; as root), its outputs
# lit with xrandr. Sets DISPLAY and xvfb_pid (the X server's) as start_display does.
start_monitors_display() {
    local count=$1
    require_tools Xorg xrandr
    cat >"$work/xorg.conf" <<EOF_CONF
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual $((1920 * count)) 1080
        Modes "1920x1080"
    EndSubSection
EndSection
EOF_CONF
    Xorg -displayfd 3 -noreset -nolisten tcp -config "$work/xorg.conf" -logfile "$work/xorg.log" \
        3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    children+=("$xvfb_pid")
    wait_for 15 "Xorg with the dummy driver did not start" test -s "$work/display"
    export DISPLAY=":$(head -n 1 "$work/display")"
    unset WAYLAND_DISPLAY
    for ((i = 1; i < count; ++i)); do
        xrandr --addmode "DUMMY$i" 1920x1080
        xrandr --output "DUMMY$i" --mode 1920x1080 --right-of "DUMMY$((i - 1))"
    done
    [ "$(xrandr --listactivemonitors | head -n 1)" = "Monitors: $count" ] ||
        fail "the dummy display has not $count monitors: $(xrandr --listactivemonitors)"
}

# The sound server with the null sink SINK as its default, in a private runtime folder; clients
# never start one of their own. FIGURES_SOUND_SERVER=pipewire makes it PipeWire (with WirePlumber
# and pipewire-pulse on a session bus of their own) instead of PulseAudio.
start_sound_server() {
    local sink=$1
    mkdir -m 700 "$work/pulse"
    printf 'autospawn = no\n' >"$work/pulse/client.conf"
    local server=(env -u PULSE_SERVER -u DISPLAY -u PIPEWIRE_REMOTE -u PIPEWIRE_RUNTIME_DIR
        -u PULSE_RUNTIME_PATH XDG_RUNTIME_DIR="$work/pulse" HOME="$work/pulse"
        XDG_CONFIG_HOME="$work/pulse/config" XDG_STATE_HOME="$work/pulse/state")
    if [ "${FIGURES_SOUND_SERVER:-pulseaudio}" = pipewire ]; then
        require_tools pipewire wireplumber pipewire-pulse dbus-daemon
        # The session manager leaves the machine's devices alone: the null sink is the only one.
        mkdir -p "$work/pulse/config/wireplumber/main.lua.d" \
            "$work/pulse/config/wireplumber/bluetooth.lua.d"
        printf '%s\n' "alsa_monitor.enabled = false" "v4l2_monitor.enabled = false" \
            "libcamera_monitor.enabled = false" \
            >"$work/pulse/config/wireplumber/main.lua.d/51-figures.lua"
        echo "bluez_monitor.enabled = false" \
            >"$work/pulse/config/wireplumber/bluetooth.lua.d/51-figures.lua"
        dbus-daemon --session --nofork --print-address=3 3>"$work/bus" 2>"$work/bus.log" &
        children+=($!)
        wait_for 15 "dbus-daemon did not start" test -s "$work/bus"
        server+=(DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus")")
        "${server[@]}" pipewire 2>"$work/pipewire.log" &
        children+=($!)
        wait_for 15 "PipeWire did not start" test -S "$work/pulse/pipewire-0"
        "${server[@]}" wireplumber 2>"$work/wireplumber.log" &
        children+=($!)
        "${server[@]}" pipewire-pulse 2>"$work/pipewire-pulse.log" &
        children+=($!)
    else
        require_tools pulseaudio
        "${server[@]}" pulseaudio --daemonize=no --exit-idle-time=-1 -n \
            --load="module-native-protocol-unix auth-anonymous=1" \
            --load="module-null-sink sink_name=$sink" 2>"$work/pulse.log" &
        children+=($!)
    fi
    export PULSE_SERVER="unix:$work/pulse/pulse/native" PULSE_CLIENTCONFIG="$work/pulse/client.conf"
    export XDG_RUNTIME_DIR="$work/pulse" XDG_CONFIG_HOME="$work/config"
    unset SDL_AUDIODRIVER
    wait_for 15 "the sound server did not answer" pactl info
    if [ "${FIGURES_SOUND_SERVER:-pulseaudio}" = pipewire ]; then
        pactl load-module module-null-sink sink_name="$sink" >/dev/null
    fi
    pactl set-default-sink "$sink"
    # PipeWire's session manager makes a sink the default in its own time.
    wait_for 15 "$sink did not become the default sink" default_sink_is "$sink"
}

default_sink_is() { [ "$(pactl get-default-sink)" = "$1" ]; }

# Runs a command and prints its user plus system CPU seconds, then its wall seconds.
cpu_and_wall() {
    local TIMEFORMAT='%U %S %R' times
    times=$({ time "$@" >/dev/null 2>>"$work/errors.log"; } 2>&1) || {
        echo "$figures_name: $* failed:" >&2
        cat "$work/errors.log" >&2
        exit 1
    }
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' <<<"$times"
}

# CPU seconds a running process has used so far (user plus system).
cpu_of() { awk -v tick="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15) / tick }' "/proc/$1/stat"; }

# Frame count and rate, then median, p99 and largest interval between presented frames of a
# timing log.
pacing() {
    local frames
    frames=$(wc -l <"$1")
    [ "$frames" -gt 1 ] || fail "$1 holds $frames frames"
    awk 'NR > 1 { print ($1 - previous) / 1e6 } { previous = $1 }' "$1" | sort -n |
        awk -v frames="$frames" '{ v[NR] = $1; sum += $1 } END {
            printf "%d frames, %.1f frames/s; median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                frames, 1000 * NR / sum, v[int((NR + 1) / 2)], v[int(NR * 0.99 + 0.999999)], v[NR]
        }'
}

# A minute of music-like sound (a bass, a melody and pink noise), as in
# bench/lumacore_vs_ffmpeg.sh, into FILE.
make_minute() {
    ffmpeg -v error -filter_complex \
        "sine=frequency=55:duration=60,volume=0.6[a];sine=frequency=440:duration=60,volume=0.2[b];anoisesrc=d=60:c=pink:a=0.08[c];[a][b][c]amix=inputs=3" \
        -ar 44100 -ac 2 "$1"
}
